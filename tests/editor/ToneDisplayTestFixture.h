#pragma once

#include "editor/ToneDisplayControl.h"
#include "framework/IGEditorDelegate.h"
#include "framework/igraphics/IGraphics.h"
#include "plugin/Parameters.h"
#include "support/GraphicsTestDelegate.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tonedisplaytest
{
using namespace iplug::igraphics;

/** Gives `host` the region, tilt, range and pre-EQ parameters the display edits, with the plug-in's ranges. */
inline void initDisplayParams(aubrevane::test::RecordingDelegate& host)
{
    const char* regions[] = {"Low", "Body", "Presence", "Air"};
    const double regionHertz[][3] = {{120, 60, 300}, {300, 150, 800}, {3000, 1000, 6000}, {10000, 6000, 16000}};
    for (int r = 0; r < 4; ++r)
    {
        const std::string name = regions[r];
        host.GetParam(kRegionFirst + 3 * r)->InitDouble((name + " Target").c_str(), 0.0, -18.0, 18.0, 0.5, "dB");
        host.GetParam(kRegionFirst + 3 * r + 1)
            ->InitFrequency((name + " Freq").c_str(), regionHertz[r][0], regionHertz[r][1], regionHertz[r][2], 0.1);
        host.GetParam(kRegionFirst + 3 * r + 2)->InitBool((name + " On").c_str(), true);
    }
    host.GetParam(kTilt)->InitDouble("Tilt", 0.0, -6.0, 6.0, 0.1, "dB/oct");
    host.GetParam(kRangeLow)->InitFrequency("Range Low", 20.0, 20.0, 20000.0, 0.1);
    host.GetParam(kRangeHigh)->InitFrequency("Range High", 20000.0, 20.0, 20000.0, 0.1);
    const double nodeDefaults[][2] = {{100, 0.707}, {400, 1}, {2500, 1}, {8000, 0.707}};
    for (int n = 0; n < 4; ++n)
    {
        const std::string name = "Pre-EQ " + std::to_string(n + 1);
        host.GetParam(kPreEqFirst + 4 * n)->InitDouble((name + " Gain").c_str(), 0.0, -18.0, 18.0, 0.1, "dB");
        host.GetParam(kPreEqFirst + 4 * n + 1)
            ->InitFrequency((name + " Freq").c_str(), nodeDefaults[n][0], 20, 20000, 0.1);
        host.GetParam(kPreEqFirst + 4 * n + 2)
            ->InitDouble((name + " Q").c_str(), nodeDefaults[n][1], 0.3, 10.0, 0.01, "", 0, "",
                         iplug::IParam::ShapeExp());
        host.GetParam(kPreEqFirst + 4 * n + 3)->InitBool((name + " On").c_str(), true);
    }
    host.GetParam(kPreEq1Shelf)->InitBool("Pre-EQ 1 Shelf", true);
    host.GetParam(kPreEq4Shelf)->InitBool("Pre-EQ 4 Shelf", true);
}

inline const IRECT kBounds{30.0f, 112.0f, 690.0f, 308.0f};
inline const IColor kAccent{255, 21, 232, 121};
inline const IText kLabelText{10.0f, IColor(107, 250, 250, 250), "Roboto-Regular", EAlign::Near};
inline const IText kSmallText{10.0f, IColor(255, 250, 250, 250), "Roboto-Regular", EAlign::Center};

/** A headless editor holding one tone display at the layout's place. */
class ToneDisplayFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        initDisplayParams(host);
        display = static_cast<ToneDisplayControl*>(graphics->AttachControl(
            new ToneDisplayControl(kBounds, kRegionFirst, kTilt, kRangeLow, kRangeHigh, kPreEqFirst, kPreEq1Shelf,
                                   kPreEq4Shelf, kAccent, kLabelText, kSmallText, [this] { return reading; })));
    }

    double value(int paramIdx) const { return host.GetParam(paramIdx)->Value(); }
    void set(int paramIdx, double plain) { host.GetParam(paramIdx)->Set(plain); }
    ToneDisplayGeometry geometry() const { return ToneDisplayGeometry(kBounds); }

    void press(float x, float y, const IMouseMod& mod = IMouseMod(true)) { graphics->OnMouseDown(x, y, mod); }
    void dragTo(float x, float y) { graphics->OnMouseDrag(x, y, 0.0f, 0.0f, IMouseMod(true)); }
    void release(float x, float y) { graphics->OnMouseUp(x, y, IMouseMod(true)); }
    void switchToPreEq()
    {
        press(360.0f, 125.0f);
        release(360.0f, 125.0f);
    }

    /** The parameters that received values, in the order of their first value. */
    std::vector<int> sentParams() const
    {
        std::vector<int> params;
        for (const aubrevane::test::GestureCall& call : host.calls)
            if (call.kind == aubrevane::test::GestureCall::Send &&
                std::find(params.begin(), params.end(), call.paramIdx) == params.end())
                params.push_back(call.paramIdx);
        return params;
    }

    aubrevane::test::EditorHarness editor{kNumParams};
    aubrevane::test::RecordingDelegate& host = editor.delegate;
    IGraphics* graphics = editor.graphics;
    ToneDisplayControl* display = nullptr;
    ToneDisplayControl::Reading reading;
};
} // namespace tonedisplaytest
