#include "editor/ThresholdHandle.h"
#include "GraphicsControlParams.h"

#include <gtest/gtest.h>

using namespace iplug::igraphics;
using namespace aubrevane::test;

namespace
{
const IColor kAccent{255, 21, 232, 121};
const IColor kBox{255, 20, 20, 20};
const IRECT kMeter{18, 328, 92, 436};
const IRECT kTrack{58, 344, 72, 436};

class Threshold : public testing::Test
{
protected:
    Threshold()
    {
        editor.graphics->EnableMouseOver(true);
        handle = static_cast<ThresholdHandle*>(editor.graphics->AttachControl(new ThresholdHandle(
            kMeter, kThresholdParam, kTrack, -54, 6, IText(11.5f, kAccent, "Roboto-Regular"), kAccent, kBox)));
    }
    double threshold() const { return editor.delegate.plain(kThresholdParam); }
    /** The y of the drawn triangle's tip. */
    float markerY()
    {
        editor.draw();
        for (const DrawRecord& record : editor.graphics->GetDrawLog())
            if (record.kind == DrawRecord::Kind::FillTriangle)
                return record.rect.MH();
        return NAN;
    }

    ControlHarness editor;
    ThresholdHandle* handle = nullptr;
};
} // namespace

TEST_F(Threshold, PressAboveOnAndBelowTheTrackSetsTheLevelThere)
{
    struct Case
    {
        float y;
        double decibels;
    };
    // The track's top is +6 dB and its bottom -54 dB; the parameter stops the level at -10 dB, so a press on the
    // readout strip above the track sets -10 dB. Levels between steps take the nearest 0.5 dB step (y 400 is
    // -30.52 dB).
    for (const Case& c : {Case{330, -10}, Case{344 + 92 * 28 / 60.0f, -22}, Case{344 + 92 * 40 / 60.0f, -34},
                          Case{400, -30.5}, Case{392, -25.5}})
    {
        editor.delegate.calls.clear();
        editor.click(80, c.y);
        EXPECT_EQ(threshold(), c.decibels) << c.y;
        EXPECT_EQ(editor.delegate.count(GestureCall::Begin, kThresholdParam), 1);
        EXPECT_TRUE(editor.delegate.gesturesBalanced());
    }
}

TEST_F(Threshold, DragBelowTheTrackSetsItsBottomInOneGesture)
{
    editor.graphics->OnMouseDown(80, 400, IMouseMod(true));
    editor.graphics->OnMouseDrag(80, 420, 0, 20, IMouseMod(true));
    editor.graphics->OnMouseDrag(80, 500, 0, 80, IMouseMod(true));
    editor.graphics->OnMouseUp(80, 500, IMouseMod(true));
    EXPECT_DOUBLE_EQ(threshold(), -54);
    EXPECT_EQ(editor.delegate.count(GestureCall::Begin, kThresholdParam), 1);
    EXPECT_EQ(editor.delegate.count(GestureCall::Send, kThresholdParam), 3);
    EXPECT_TRUE(editor.delegate.gesturesBalanced());
}

TEST_F(Threshold, DoubleClickRestoresMinusForty)
{
    editor.setPlain(kThresholdParam, -20);
    editor.graphics->OnMouseDblClick(80, 350, IMouseMod(true));
    EXPECT_DOUBLE_EQ(threshold(), -40);
    EXPECT_TRUE(editor.delegate.gesturesBalanced());
}

TEST_F(Threshold, TrackAndScaleAreNotTheHandles)
{
    editor.setPlain(kThresholdParam, -30);
    editor.click(65, 400); // the track
    editor.click(30, 400); // the scale
    EXPECT_DOUBLE_EQ(threshold(), -30);
    EXPECT_TRUE(editor.delegate.calls.empty());
}

TEST_F(Threshold, MarkerStandsAtTheValueAndAtTheBottomBelowTheRange)
{
    editor.setPlain(kThresholdParam, -24);
    EXPECT_NEAR(markerY(), 344 + 92 * 30 / 60.0f, 1e-3);
    editor.setPlain(kThresholdParam, -70);
    EXPECT_NEAR(markerY(), 436, 1e-3);
}

TEST_F(Threshold, ReadoutShowsWhileHoveredOrDraggedAndHidesOnLeaving)
{
    editor.setPlain(kThresholdParam, -40);
    editor.draw();
    EXPECT_TRUE(editor.texts().empty());

    editor.graphics->OnMouseOver(80, 400, IMouseMod());
    editor.draw();
    EXPECT_EQ(editor.texts(), (std::vector<std::string>{"threshold -40.0 dB"}));
    const auto& log = editor.graphics->GetDrawLog();
    EXPECT_TRUE(std::any_of(log.begin(), log.end(),
                            [](const DrawRecord& r) {
                                return r.kind == DrawRecord::Kind::FillRect && r.color == kBox &&
                                       r.rect == IRECT(18, 328, 92, 344);
                            }));

    editor.graphics->OnMouseDown(80, 380, IMouseMod(true));
    editor.graphics->OnMouseOver(200, 200, IMouseMod()); // the pointer leaves mid-drag
    editor.draw();
    EXPECT_TRUE(editor.texts().empty());
    editor.graphics->OnMouseUp(200, 200, IMouseMod(true));
    EXPECT_TRUE(editor.delegate.gesturesBalanced());
}
