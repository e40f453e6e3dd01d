#pragma once

#include "OperationsSupport.h"

#include "framework/igraphics/IGraphics.h"
#include "framework/igraphics/ITextControl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// What the layout, callback and end-to-end tests share: a plug-in that records what it sends to its editor, and a
// user who works the open editor with the mouse, menus and typed text only.
namespace aubrevane::test
{

/** The plug-in, noting every parameter value it sends to its editor. */
class RecordingAubrevane : public Aubrevane
{
public:
    RecordingAubrevane() : Aubrevane(iplug::InstanceInfo{"Aubrevane_View"}) { prepareAsHost(*this); }

    void SendParameterValueFromDelegate(int paramIdx, double value, bool normalized) override
    {
        sentToEditor.push_back(paramIdx);
        Aubrevane::SendParameterValueFromDelegate(paramIdx, value, normalized);
    }

    std::vector<int> sentToEditor;
};

/** The first attached control of type T, or null. */
template <typename T> T* findControl(const iplug::igraphics::IGraphics& graphics)
{
    for (int i = 0; i < graphics.NControls(); ++i)
        if (auto* control = dynamic_cast<T*>(graphics.GetControl(i)))
            return control;
    return nullptr;
}

/** Works the open editor of a plug-in as a user would; the host side runs audio blocks and idle ticks. */
class EditorUser
{
public:
    explicit EditorUser(Aubrevane& plugin) : plugin(plugin) { openEditor(plugin); }

    iplug::igraphics::IGraphics& ui() const { return *plugin.GetUI(); }

    void click(float x, float y)
    {
        ui().OnMouseOver(x, y, {});
        ui().OnMouseDown(x, y, iplug::igraphics::IMouseMod(true));
        ui().OnMouseUp(x, y, iplug::igraphics::IMouseMod(true));
        tick();
    }

    void drag(float x, float y, float dx, float dy)
    {
        const iplug::igraphics::IMouseMod left(true);
        ui().OnMouseDown(x, y, left);
        for (int move = 1; move <= 4; ++move)
            ui().OnMouseDrag(x + dx * move / 4, y + dy * move / 4, dx / 4, dy / 4, left);
        ui().OnMouseUp(x + dx, y + dy, left);
        tick();
    }

    /** Chooses an item of the pending menu by its texts, one per level. */
    void choose(const std::vector<std::string>& path)
    {
        EXPECT_TRUE(ui().SelectPopupItemByText(path)) << path.back();
        tick();
    }

    void type(const std::string& text)
    {
        EXPECT_TRUE(ui().HasPendingTextEntry());
        ui().CommitTextEntry(text.c_str());
        tick();
    }

    /** The host's timer and the next frame. */
    void tick()
    {
        plugin.OnIdle();
        if (plugin.GetUI() != nullptr)
            ui().DrawFrame();
    }

    /** The host's audio thread runs `blocks` blocks, then the timer ticks. */
    void play(int blocks = 4)
    {
        runBlocks(plugin, blocks);
        tick();
    }

    /** Waits for a reference analysis to finish, as the pill stops showing "ANALYSING". */
    void waitForAnalysis() { ASSERT_TRUE(workerFinished(plugin)); }

    std::string statusLine() const
    {
        const auto* status = dynamic_cast<const iplug::igraphics::ITextControl*>(ui().GetControlWithTag(kStatusTag));
        return status ? status->GetStr() : "<no status line>";
    }

    // The fixed places of the design, in editor units.
    static constexpr float kLearnPillX = 526.0f, kLearnPillY = 64.0f;
    static constexpr float kSettingsX = 690.0f, kBarY = 16.0f;

private:
    Aubrevane& plugin;
};

} // namespace aubrevane::test
