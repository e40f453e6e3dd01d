#include "editor/RingKnobControl.h"
#include "GraphicsControlParams.h"

#include <gtest/gtest.h>

using namespace iplug::igraphics;
using namespace aubrevane::test;

namespace
{
const IColor kRing{41, 250, 250, 250};
const IColor kAccent{255, 21, 232, 121};

IVStyle knobStyle()
{
    return DEFAULT_STYLE.WithHideCursor(false)
        .WithShowLabel(false)
        .WithShowValue(false)
        .WithDrawFrame(false)
        .WithDrawShadows(false)
        .WithColor(kBG, COLOR_TRANSPARENT)
        .WithColor(kFG, IColor(255, 30, 30, 30))
        .WithColor(kX1, kAccent);
}

class RingKnob : public testing::Test
{
protected:
    RingKnobControl* attach(int paramIdx, bool centred, float trackSize = 2.0f)
    {
        // The OUTPUT knob's square: size 56 centred at (618, 374).
        return static_cast<RingKnobControl*>(editor.graphics->AttachControl(
            new RingKnobControl({590, 346, 646, 402}, paramIdx, kRing, "", knobStyle(), false, false, -135.0f, 135.0f,
                                centred ? 0.0f : -135.0f, EDirection::Vertical, 4.0, trackSize)));
    }
    std::vector<DrawRecord> arcs(const IColor& color) const
    {
        std::vector<DrawRecord> found;
        for (const DrawRecord& record : editor.graphics->GetDrawLog())
            if (record.kind == DrawRecord::Kind::Arc && record.color == color)
                found.push_back(record);
        return found;
    }

    ControlHarness editor;
};
} // namespace

TEST_F(RingKnob, DoubleClickRestoresTheDefaultInOneGesture)
{
    attach(kOutputParam, true);
    editor.setPlain(kOutputParam, 12);
    editor.graphics->OnMouseDblClick(618, 374, IMouseMod(true));
    EXPECT_DOUBLE_EQ(editor.delegate.plain(kOutputParam), 0);
    EXPECT_EQ(editor.delegate.count(GestureCall::Begin, kOutputParam), 1);
    EXPECT_TRUE(editor.delegate.gesturesBalanced());
}

TEST_F(RingKnob, DraggingUpRaisesTheValueInsideOneGesture)
{
    attach(kAmountParam, false);
    editor.setPlain(kAmountParam, 0);
    editor.graphics->OnMouseDown(618, 374, IMouseMod(true));
    for (int i = 0; i < 10; ++i)
        editor.graphics->OnMouseDrag(618, 374 - 10.0f * (i + 1), 0, -10, IMouseMod(true));
    editor.graphics->OnMouseUp(618, 274, IMouseMod(true));
    EXPECT_NEAR(editor.delegate.plain(kAmountParam), 50, 0.5); // 100 of the 200 units of the whole travel
    EXPECT_EQ(editor.delegate.count(GestureCall::Begin, kAmountParam), 1);
    EXPECT_EQ(editor.delegate.count(GestureCall::Send, kAmountParam), 10);
    EXPECT_TRUE(editor.delegate.gesturesBalanced());
}

TEST_F(RingKnob, RingSpansTheWholeTravelBehindTheValueArc)
{
    attach(kOutputParam, true);
    editor.setPlain(kOutputParam, 12);
    editor.draw();
    const auto ring = arcs(kRing), value = arcs(kAccent);
    ASSERT_EQ(ring.size(), 1u);
    ASSERT_EQ(value.size(), 1u);
    EXPECT_EQ(ring[0].rect, value[0].rect); // same centre and radius
    const auto& log = editor.graphics->GetDrawLog();
    const auto ringAt = std::find_if(log.begin(), log.end(), [](const DrawRecord& r) { return r.color == kRing; });
    const auto valueAt = std::find_if(log.begin(), log.end(), [](const DrawRecord& r) { return r.color == kAccent; });
    EXPECT_LT(ringAt, valueAt);
    // The ring also covers the lower left of the travel, where a centred value arc at +12 dB never goes.
    EXPECT_GT(editor.graphics->GetPixel(596, 387).A, 0);
}

TEST_F(RingKnob, TrackSizeZeroShowsNoRing)
{
    attach(kOutputParam, true, 0.0f);
    editor.draw();
    EXPECT_TRUE(arcs(kRing).empty());
    EXPECT_TRUE(arcs(kAccent).empty());
}
