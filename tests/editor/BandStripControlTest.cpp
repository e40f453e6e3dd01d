#include "editor/BandStripControl.h"
#include "GraphicsControlParams.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace iplug::igraphics;
using namespace aubrevane::test;

namespace
{
const IColor kAccent{255, 0, 184, 255};
const IColor kTrack{18, 250, 250, 250};
const IColor kOn{255, 250, 250, 250};
const IColor kOff{56, 250, 250, 250};
// The layout's strip (112, 471, 608, 491): the span runs from 118 to 602, its middle at 360, its centre line 481.
constexpr float kLeft = 118, kRight = 602, kMiddle = 360, kCentre = 481;

class BandStrip : public testing::Test
{
protected:
    BandStrip()
    {
        strip = static_cast<BandStripControl*>(editor.graphics->AttachControl(
            new BandStripControl({112, 471, 608, 491}, kHighPassFreqParam, kLowPassFreqParam, kHighPassOnParam,
                                 kLowPassOnParam, 1.0f, kAccent)));
    }
    std::vector<DrawRecord> drawn(DrawRecord::Kind kind, const IColor& color)
    {
        std::vector<DrawRecord> found;
        for (const DrawRecord& record : editor.graphics->GetDrawLog())
            if (record.kind == kind && record.color == color)
                found.push_back(record);
        return found;
    }
    void drag(float from, float to)
    {
        editor.graphics->OnMouseDown(from, kCentre, IMouseMod(true));
        editor.graphics->OnMouseDrag(to, kCentre, to - from, 0, IMouseMod(true));
        editor.graphics->OnMouseUp(to, kCentre, IMouseMod(true));
    }

    ControlHarness editor;
    BandStripControl* strip = nullptr;
};
} // namespace

TEST_F(BandStrip, WholeBarIsPassbandWithBothFiltersOpenAndOn)
{
    editor.draw();
    const auto passband = drawn(DrawRecord::Kind::FillRect, kAccent);
    ASSERT_EQ(passband.size(), 2u);
    EXPECT_EQ(passband[0].rect, IRECT(kLeft, kCentre - 1.5f, kMiddle - 3, kCentre + 1.5f));
    EXPECT_EQ(passband[1].rect, IRECT(kMiddle + 3, kCentre - 1.5f, kRight, kCentre + 1.5f));
    const auto handles = drawn(DrawRecord::Kind::FillCircle, kOn);
    ASSERT_EQ(handles.size(), 2u);
    EXPECT_EQ(handles[0].rect.MW(), kLeft);
    EXPECT_EQ(handles[1].rect.MW(), kRight);
}

TEST_F(BandStrip, SwitchedOffFilterOpensThePassbandToItsEnd)
{
    editor.setPlain(kHighPassFreqParam, std::sqrt(20.0 * 1000.0)); // halfway along the high-pass half
    editor.setPlain(kHighPassOnParam, 0);
    editor.draw();
    const auto passband = drawn(DrawRecord::Kind::FillRect, kAccent);
    ASSERT_EQ(passband.size(), 2u);
    EXPECT_EQ(passband[0].rect.L, kLeft);
    const auto dim = drawn(DrawRecord::Kind::FillCircle, kOff);
    ASSERT_EQ(dim.size(), 1u);
    EXPECT_NEAR(dim[0].rect.MW(), kLeft + 0.25f * (kRight - kLeft), 1e-3); // the off handle stays at its frequency

    editor.setPlain(kHighPassOnParam, 1);
    editor.draw();
    EXPECT_NEAR(drawn(DrawRecord::Kind::FillRect, kAccent).at(0).rect.L, kLeft + 0.25f * (kRight - kLeft), 1e-3);
}

TEST_F(BandStrip, FollowsSwitchesChangedByOtherControls)
{
    editor.graphics->DrawFrame();
    EXPECT_FALSE(editor.graphics->DrawFrame());
    editor.delegate.GetParam(kLowPassOnParam)->Set(0); // no value of the strip changed
    EXPECT_TRUE(editor.graphics->DrawFrame());
    EXPECT_FALSE(editor.graphics->DrawFrame());
}

TEST_F(BandStrip, ClickMovesTheNearerHandleAndTiesGoToHighPass)
{
    editor.click(kMiddle, kCentre);
    EXPECT_NEAR(editor.delegate.plain(kHighPassFreqParam), 1000, 1e-6);
    EXPECT_DOUBLE_EQ(editor.delegate.plain(kLowPassFreqParam), 20000);

    const float x = kLeft + 0.75f * (kRight - kLeft) + 1; // now nearer the low-pass handle
    editor.click(x, kCentre);
    const double t = 2.0 * ((x - kLeft) / (kRight - kLeft) - 0.5);
    EXPECT_NEAR(editor.delegate.plain(kLowPassFreqParam), 1000.0 * std::pow(20.0, t), 0.01);
    EXPECT_NEAR(editor.delegate.plain(kHighPassFreqParam), 1000, 1e-6);
}

TEST_F(BandStrip, HandlesStopAtTheirOwnEnds)
{
    drag(kLeft, kRight + 40);
    EXPECT_NEAR(editor.delegate.plain(kHighPassFreqParam), 1000, 1e-6);
    drag(kRight, kLeft - 40);
    EXPECT_NEAR(editor.delegate.plain(kLowPassFreqParam), 1000, 1e-6);
    EXPECT_NEAR(editor.delegate.plain(kHighPassFreqParam), 1000, 1e-6);
}

TEST_F(BandStrip, EachDragIsOneGestureOnItsOwnParameter)
{
    drag(kLeft, 200);
    drag(kRight, 500);
    EXPECT_EQ(editor.delegate.count(GestureCall::Begin, kHighPassFreqParam), 1);
    EXPECT_EQ(editor.delegate.count(GestureCall::Begin, kLowPassFreqParam), 1);
    EXPECT_TRUE(editor.delegate.gesturesBalanced());
}

TEST_F(BandStrip, EditorRebuildMidDragClosesTheOpenGesture)
{
    editor.graphics->OnMouseDown(kLeft, kCentre, IMouseMod(true));
    editor.graphics->OnMouseDrag(200, kCentre, 82, 0, IMouseMod(true));
    editor.graphics->RemoveAllControls();
    editor.graphics->OnMouseDrag(300, kCentre, 100, 0, IMouseMod(true));
    editor.graphics->OnMouseUp(300, kCentre, IMouseMod(true));
    EXPECT_EQ(editor.delegate.count(GestureCall::End, kHighPassFreqParam), 1);
    EXPECT_TRUE(editor.delegate.gesturesBalanced());
}
