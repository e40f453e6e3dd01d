#pragma once

#include "framework/IGEditorDelegate.h"
#include "framework/IParam.h"
#include "framework/igraphics/IGraphics.h"

#include <algorithm>
#include <set>
#include <vector>

namespace aubrevane::test
{

/** One call from the editor to the host about a parameter. */
struct GestureCall
{
    enum Kind
    {
        Begin,
        Send,
        End
    };
    Kind kind;
    int paramIdx;
    double normalized; // Send only
};

/** An editor delegate that records the gesture calls the editor makes; parameters are set as the host would. */
class RecordingDelegate : public iplug::igraphics::IGEditorDelegate
{
public:
    explicit RecordingDelegate(int nParams) : IGEditorDelegate(nParams) {}

    void BeginInformHostOfParamChangeFromUI(int paramIdx) override
    {
        calls.push_back({GestureCall::Begin, paramIdx, 0.0});
        IGEditorDelegate::BeginInformHostOfParamChangeFromUI(paramIdx);
    }
    void SendParameterValueFromUI(int paramIdx, double normalized) override
    {
        calls.push_back({GestureCall::Send, paramIdx, normalized});
        IGEditorDelegate::SendParameterValueFromUI(paramIdx, normalized);
    }
    void EndInformHostOfParamChangeFromUI(int paramIdx) override
    {
        calls.push_back({GestureCall::End, paramIdx, 0.0});
        IGEditorDelegate::EndInformHostOfParamChangeFromUI(paramIdx);
    }

    /** True when every Send lies inside an open gesture of its parameter and every gesture was closed once. */
    bool gesturesBalanced() const
    {
        std::multiset<int> open;
        for (const GestureCall& call : calls)
        {
            if (call.kind == GestureCall::Begin)
                open.insert(call.paramIdx);
            else if (!open.contains(call.paramIdx))
                return false;
            else if (call.kind == GestureCall::End)
                open.erase(open.find(call.paramIdx));
        }
        return open.empty();
    }

    int count(GestureCall::Kind kind, int paramIdx) const
    {
        return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                              [&](const GestureCall& call)
                                              { return call.kind == kind && call.paramIdx == paramIdx; }));
    }

    double plain(int paramIdx) const { return GetParam(paramIdx)->Value(); }

    std::vector<GestureCall> calls;
};

/** A delegate with its open editor, a 720 x 532 graphics object at scale 1, with the draw log on. */
struct EditorHarness
{
    explicit EditorHarness(int nParams, float scale = 1.0f) : delegate(nParams)
    {
        delegate.SetMakeGraphicsFunc([this, scale]
                                     { return new iplug::igraphics::IGraphics(delegate, 720, 532, 60, scale); });
        graphics = static_cast<iplug::igraphics::IGraphics*>(delegate.OpenWindow(nullptr));
        graphics->EnableDrawLog(true);
    }

    /** Draws a full frame with a fresh draw log. */
    void draw()
    {
        graphics->ClearDrawLog();
        graphics->DrawFrame(true);
    }

    /** The texts drawn in the last frame, in order. */
    std::vector<std::string> texts() const
    {
        std::vector<std::string> found;
        for (const auto& record : graphics->GetDrawLog())
            if (record.kind == iplug::igraphics::DrawRecord::Kind::Text)
                found.push_back(record.text);
        return found;
    }

    void click(float x, float y, const iplug::igraphics::IMouseMod& mod = iplug::igraphics::IMouseMod(true))
    {
        graphics->OnMouseDown(x, y, mod);
        graphics->OnMouseUp(x, y, mod);
    }

    RecordingDelegate delegate;
    iplug::igraphics::IGraphics* graphics = nullptr; // owned by the delegate, as an editor's graphics are
};

} // namespace aubrevane::test
