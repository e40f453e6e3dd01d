#pragma once

#include "framework/igraphics/IControl.h"
#include "framework/igraphics/IGraphics.h"
#include "framework/igraphics/IPopupMenu.h"

#include <functional>
#include <string>
#include <vector>

namespace aubrevane::test
{

/** A control that fills its rectangle and writes down every event it hears, prefixed by its name. */
class ProbeControl : public iplug::igraphics::IControl
{
public:
    ProbeControl(const iplug::igraphics::IRECT& bounds, std::string name, std::vector<std::string>& journal,
                 int paramIdx = iplug::igraphics::kNoParameter)
        : IControl(bounds, paramIdx), name(std::move(name)), journal(journal)
    {
    }
    ProbeControl(const iplug::igraphics::IRECT& bounds, std::string name, std::vector<std::string>& journal,
                 std::initializer_list<int> params)
        : IControl(bounds, params), name(std::move(name)), journal(journal)
    {
    }

    void Draw(iplug::igraphics::IGraphics& g) override
    {
        note("draw");
        g.FillRect(color, rect);
    }
    bool IsDirty() override
    {
        note("poll");
        return IControl::IsDirty();
    }
    void OnMouseDown(float, float, const iplug::igraphics::IMouseMod&) override
    {
        note("down");
        run(onDown);
    }
    void OnMouseUp(float, float, const iplug::igraphics::IMouseMod&) override { note("up"); }
    void OnMouseDrag(float, float, float, float, const iplug::igraphics::IMouseMod&) override
    {
        note("drag");
        run(onDrag);
    }
    void OnMouseDblClick(float, float, const iplug::igraphics::IMouseMod&) override
    {
        note("dblclick");
        run(onDblClick);
    }
    void OnMouseWheel(float, float, const iplug::igraphics::IMouseMod&, float) override
    {
        note("wheel");
        run(onWheel);
    }
    void OnMouseOver(float x, float y, const iplug::igraphics::IMouseMod& mod) override
    {
        note("over");
        IControl::OnMouseOver(x, y, mod);
    }
    void OnMouseOut() override
    {
        note("out");
        IControl::OnMouseOut();
        run(onOut);
    }
    void OnPopupMenuSelection(iplug::igraphics::IPopupMenu* chosen, int) override
    {
        note(chosen ? std::string("menu ") + chosen->GetItem(chosen->GetChosenItemIdx())->GetText() : "menu none");
    }
    void OnTextEntryCompletion(const char* str, int) override { note(std::string("text ") + str); }

    /** Sets value `valIdx` and sends it, as a control's own action does. */
    void change(double normalized, int valIdx = 0)
    {
        SetValue(normalized, valIdx);
        SetDirty(true, valIdx);
    }

    std::string name;
    iplug::igraphics::IColor color{255, 200, 40, 40};
    std::function<void()> onDown, onDrag, onDblClick, onWheel, onOut;
    iplug::igraphics::IPopupMenu menu;

private:
    void note(const std::string& event) { journal.push_back(name + " " + event); }
    static void run(const std::function<void()>& action)
    {
        if (action)
            action();
    }

    std::vector<std::string>& journal;
};

} // namespace aubrevane::test
