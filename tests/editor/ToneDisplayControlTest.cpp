#include "ToneDisplayTestFixture.h"

#include <cmath>

using namespace tonedisplaytest;

namespace
{
constexpr int kBodyTarget = kRegionFirst + 3, kBodyFreq = kRegionFirst + 4, kBodyOn = kRegionFirst + 5;
constexpr int kLowFreq = kRegionFirst + 1;
constexpr int kNode2Gain = kPreEqFirst + 4, kNode2Freq = kPreEqFirst + 5, kNode2Q = kPreEqFirst + 6;
constexpr int kNode2On = kPreEqFirst + 7;
} // namespace

class ToneDisplayMatch : public ToneDisplayFixture
{
};

TEST_F(ToneDisplayMatch, DraggingARegionHandleSetsExactlyItsFrequencyAndTarget)
{
    set(kTilt, 2.0); // the handle sits on the tilted target curve: Target + 2 dB per octave from 1 kHz
    const ToneDisplayGeometry geo = geometry();
    const float x = geo.xOfHertz(300.0), y = geo.yOfDecibels(2.0 * std::log2(0.3));
    press(x + 2.0f, y + 3.0f); // grabbed off-centre: the handle keeps that offset
    dragTo(geo.xOfHertz(700.0) + 2.0f, geo.yOfDecibels(-1.6) + 3.0f);
    dragTo(geo.xOfHertz(500.0) + 2.0f, geo.yOfDecibels(2.5) + 3.0f);
    release(0.0f, 0.0f);

    EXPECT_NEAR(value(kBodyFreq), 500.0, 0.01);
    EXPECT_EQ(value(kBodyTarget), 4.5); // 2.5 dB on screen less the tilt's -2 dB at 500 Hz
    EXPECT_EQ(sentParams(), (std::vector<int>{kBodyFreq, kBodyTarget}));
    ASSERT_GE(host.calls.size(), 4u);
    EXPECT_EQ(host.calls[0].kind, aubrevane::test::GestureCall::Begin);
    EXPECT_EQ(host.calls[0].paramIdx, kBodyTarget);
    EXPECT_EQ(host.calls[1].paramIdx, kBodyFreq);
    EXPECT_TRUE(host.gesturesBalanced());
}

TEST_F(ToneDisplayMatch, RegionDragStaysInsideTheRegionsRanges)
{
    const ToneDisplayGeometry geo = geometry();
    press(geo.xOfHertz(120.0), geo.midY());
    dragTo(geo.xOfHertz(5000.0), kBounds.T - 200.0f);
    release(0.0f, 0.0f);
    EXPECT_NEAR(value(kLowFreq), 300.0, 1e-6);
    EXPECT_EQ(value(kRegionFirst), 18.0);
    EXPECT_TRUE(host.gesturesBalanced());
}

TEST_F(ToneDisplayMatch, ShiftPressTogglesARegionWithoutDragging)
{
    const ToneDisplayGeometry geo = geometry();
    press(geo.xOfHertz(300.0), geo.midY(), IMouseMod(true, false, true));
    dragTo(geo.xOfHertz(600.0), geo.midY() - 30.0f);
    release(0.0f, 0.0f);
    EXPECT_EQ(value(kBodyOn), 0.0);
    EXPECT_EQ(sentParams(), std::vector<int>{kBodyOn});
    EXPECT_EQ(value(kBodyFreq), 300.0);
    EXPECT_TRUE(host.gesturesBalanced());
}

TEST_F(ToneDisplayMatch, RegionLabelOpensATextEntryForTheTarget)
{
    const ToneDisplayGeometry geo = geometry();
    const float x = geo.xOfHertz(300.0);
    press(x, geo.midY() - 20.0f); // the label box spans 25 to 11 units above the handle
    release(x, geo.midY() - 20.0f);
    ASSERT_TRUE(graphics->HasPendingTextEntry());
    EXPECT_EQ(graphics->GetPendingTextEntryText(), "0.0");
    EXPECT_EQ(graphics->GetPendingTextEntryBounds(), geo.labelBox(x, geo.midY(), 45.0f));
    EXPECT_EQ(graphics->GetPendingTextEntryLength(), 16);
    // the bright label colour is not the entry's: the entry box keeps the framework's black on white
    EXPECT_EQ(graphics->GetPendingTextEntryStyle().textEntryFGColor, iplug::igraphics::COLOR_BLACK);
    graphics->CommitTextEntry("-3.5 dB");
    EXPECT_EQ(value(kBodyTarget), -3.5);
    press(x, geo.yOfDecibels(-3.5) - 20.0f); // the label moved down with its handle
    graphics->CommitTextEntry("-30");
    EXPECT_EQ(value(kBodyTarget), -18.0);

    set(kBodyTarget, 18.0); // a handle high up has its label underneath
    EXPECT_EQ(display->regionLabelAt(x, geo.yOfDecibels(18.0) + 15.0f), 1);
    EXPECT_EQ(display->regionLabelAt(x, geo.yOfDecibels(18.0) - 15.0f), -1);
    EXPECT_TRUE(host.gesturesBalanced());
}

TEST_F(ToneDisplayMatch, LowEdgeStopsOneThirdOfAnOctaveBelowTheHighEdge)
{
    set(kRangeHigh, 1000.0);
    press(51.0f, 280.0f); // the low edge's chip, kept inside the display while the edge sits on its left side
    dragTo(600.0f, 280.0f);
    release(600.0f, 280.0f);
    EXPECT_NEAR(value(kRangeLow), 1000.0 / std::cbrt(2.0), 1e-3);
    EXPECT_EQ(sentParams(), std::vector<int>{kRangeLow});
    EXPECT_TRUE(host.gesturesBalanced());

    const float highChip = geometry().xOfHertz(1000.0);
    press(highChip, 280.0f);
    dragTo(40.0f, 280.0f);
    release(40.0f, 280.0f);
    EXPECT_NEAR(value(kRangeHigh), value(kRangeLow) * std::cbrt(2.0), 1e-3);
    EXPECT_TRUE(host.gesturesBalanced());
}

TEST_F(ToneDisplayMatch, EdgeLinesAreGrabbedOnlyWhileTheEdgeHasMoved)
{
    EXPECT_EQ(display->edgeAt(33.0f, 200.0f), -1); // at its minimum the low edge is reached by its chip only
    EXPECT_EQ(display->edgeAt(51.0f, 280.0f), 0);
    set(kRangeLow, 100.0);
    const float x = geometry().xOfHertz(100.0);
    EXPECT_EQ(display->edgeAt(x + 6.0f, 200.0f), 0);
    EXPECT_EQ(display->edgeAt(x + 7.0f, 200.0f), -1);
    EXPECT_EQ(display->edgeAt(x, kBounds.T + 20.0f), -1); // the top strip belongs to the status texts
    press(x + 5.0f, 260.0f);
    dragTo(geometry().xOfHertz(200.0) + 5.0f, 240.0f);
    release(0.0f, 0.0f);
    EXPECT_NEAR(value(kRangeLow), 200.0, 0.01);
}

TEST_F(ToneDisplayMatch, DoubleClicksRestoreDefaultsAndLeaveNoGestureOpen)
{
    set(kRangeLow, 500.0);
    set(kRangeHigh, 5000.0);
    set(kBodyFreq, 500.0);
    set(kBodyTarget, 6.0);
    const ToneDisplayGeometry geo = geometry();
    for (const auto& [x, y] : {std::pair{geo.xOfHertz(500.0), 280.0f}, std::pair{geo.xOfHertz(5000.0), 280.0f},
                               std::pair{geo.xOfHertz(500.0), geo.yOfDecibels(6.0)}})
    {
        press(x, y);
        release(x, y);
        graphics->OnMouseDblClick(x, y, IMouseMod(true));
        release(x, y);
    }
    EXPECT_EQ(value(kRangeLow), 20.0);
    EXPECT_EQ(value(kRangeHigh), 20000.0);
    EXPECT_NEAR(value(kBodyFreq), 300.0, 1e-9);
    EXPECT_EQ(value(kBodyTarget), 0.0);
    EXPECT_TRUE(host.gesturesBalanced());
}

TEST_F(ToneDisplayMatch, WheelDoesNothingInTheMatchView)
{
    const ToneDisplayGeometry geo = geometry();
    graphics->OnMouseWheel(geo.xOfHertz(400.0), geo.midY(), IMouseMod(), 1.0f);
    EXPECT_TRUE(host.calls.empty());
}

class ToneDisplayPreEq : public ToneDisplayFixture
{
protected:
    void SetUp() override
    {
        ToneDisplayFixture::SetUp();
        switchToPreEq();
        host.calls.clear();
    }
    float nodeX(double hertz) const { return geometry().xOfHertz(hertz); }
};

TEST_F(ToneDisplayPreEq, NodePressWithoutMovementSendsNothingButClosesItsGestures)
{
    ASSERT_EQ(display->currentView(), ToneDisplayControl::kPreEqView);
    press(nodeX(400.0), 210.0f);
    dragTo(nodeX(400.0) + 2.5f, 212.5f);
    release(nodeX(400.0) + 2.5f, 212.5f);
    EXPECT_TRUE(sentParams().empty());
    EXPECT_EQ(host.calls.size(), 4u);
    EXPECT_TRUE(host.gesturesBalanced());
    EXPECT_EQ(display->selected(), 1);
}

TEST_F(ToneDisplayPreEq, DraggingANodeSetsFrequencyAndGainInTenthsOfADecibel)
{
    press(nodeX(400.0), 210.0f);
    dragTo(nodeX(1000.0), geometry().yOfDecibels(6.04));
    release(0.0f, 0.0f);
    EXPECT_NEAR(value(kNode2Freq), 1000.0, 0.05);
    EXPECT_NEAR(value(kNode2Gain), 6.0, 1e-9);
    EXPECT_EQ(sentParams(), (std::vector<int>{kNode2Freq, kNode2Gain}));
    EXPECT_TRUE(host.gesturesBalanced());
}

TEST_F(ToneDisplayPreEq, TwoNodesInOnePlacePickTheLowerNumber)
{
    set(kPreEqFirst + 9, 400.0); // node 3 onto node 2
    EXPECT_EQ(display->nodeAt(nodeX(400.0) + 1.0f, 210.0f), 1);
    EXPECT_EQ(display->nodeAt(nodeX(400.0) + 14.0f, 210.0f), -1);
}

TEST_F(ToneDisplayPreEq, ShiftPressTogglesANode)
{
    press(nodeX(400.0), 210.0f, IMouseMod(true, false, true));
    release(0.0f, 0.0f);
    EXPECT_EQ(value(kNode2On), 0.0);
    EXPECT_TRUE(host.gesturesBalanced());
}

TEST_F(ToneDisplayPreEq, WheelScalesQOverANodeOrInsideItsPopover)
{
    graphics->OnMouseWheel(nodeX(400.0), 210.0f, IMouseMod(), 1.0f);
    EXPECT_NEAR(value(kNode2Q), 1.1, 1e-9);
    graphics->OnMouseWheel(nodeX(400.0), 210.0f, IMouseMod(), -1.0f);
    graphics->OnMouseWheel(nodeX(400.0), 210.0f, IMouseMod(), -1.0f);
    EXPECT_NEAR(value(kNode2Q), 1.0 / 1.1, 1e-9);

    graphics->OnMouseWheel(nodeX(400.0), 250.0f, IMouseMod(), 1.0f); // empty space
    EXPECT_NEAR(value(kNode2Q), 1.0 / 1.1, 1e-9);
    press(nodeX(400.0), 210.0f, IMouseMod(false, true));
    const IRECT popover = display->popoverRect();
    graphics->OnMouseWheel(popover.L + 5.0f, popover.B - 5.0f, IMouseMod(), 1.0f);
    EXPECT_NEAR(value(kNode2Q), 1.0, 1e-9);
    EXPECT_EQ(sentParams(), std::vector<int>{kNode2Q});
    EXPECT_TRUE(host.gesturesBalanced());
}

TEST_F(ToneDisplayPreEq, DoubleClickOnANodeResetsGainAndFrequencyOnly)
{
    set(kNode2Gain, 5.0);
    set(kNode2Freq, 1000.0);
    set(kNode2Q, 3.0);
    const float x = nodeX(1000.0), y = geometry().yOfDecibels(5.0);
    press(x, y, IMouseMod(false, true));
    ASSERT_FALSE(display->popoverRect().Empty());
    graphics->OnMouseDblClick(x, y, IMouseMod(true));
    EXPECT_TRUE(display->popoverRect().Empty());
    EXPECT_EQ(value(kNode2Gain), 0.0);
    EXPECT_NEAR(value(kNode2Freq), 400.0, 1e-9);
    EXPECT_EQ(value(kNode2Q), 3.0);
    EXPECT_TRUE(host.gesturesBalanced());
}

class ToneDisplayPopover : public ToneDisplayPreEq
{
protected:
    void openFor(int node)
    {
        popoverNode = node;
        const double hertz = value(kPreEqFirst + 4 * node + 1), gain = value(kPreEqFirst + 4 * node);
        press(nodeX(hertz), geometry().yOfDecibels(gain), IMouseMod(false, true));
        release(0.0f, 0.0f);
        host.calls.clear();
    }
    /** Where the popover's parts are while its node sits where its parameters put it. */
    PopoverLayout layout() const
    {
        const double hertz = value(kPreEqFirst + 4 * popoverNode + 1), gain = value(kPreEqFirst + 4 * popoverNode);
        const PopoverLayout p =
            PopoverLayout::forNode(geometry(), popoverNode, nodeX(hertz), geometry().yOfDecibels(gain));
        EXPECT_EQ(p.bounds, display->popoverRect());
        return p;
    }
    void pressField(int field)
    {
        const IRECT box = layout().fields[field];
        press(box.MW(), box.MH());
        release(box.MW(), box.MH());
    }
    int popoverNode = -1;
};

TEST_F(ToneDisplayPopover, TypedValuesAreParsedClampedOrIgnored)
{
    openFor(1);
    EXPECT_EQ(display->popoverText(0, false), "400 Hz");
    EXPECT_EQ(display->popoverText(1, false), "+0.0 dB");
    EXPECT_EQ(display->popoverText(2, false), "1.00");

    pressField(PopoverLayout::kFreqField);
    ASSERT_TRUE(graphics->HasPendingTextEntry());
    EXPECT_EQ(graphics->GetPendingTextEntryText(), "400");
    graphics->CommitTextEntry("1.2k");
    EXPECT_NEAR(value(kNode2Freq), 1200.0, 1e-6);
    EXPECT_EQ(display->popoverText(0, false), "1.20 kHz");

    for (const char* rejected : {"abc", "nan", ""})
    {
        host.calls.clear();
        pressField(PopoverLayout::kGainField);
        graphics->CommitTextEntry(rejected);
        EXPECT_TRUE(host.calls.empty()) << rejected;
        EXPECT_EQ(value(kNode2Gain), 0.0) << rejected;
    }
    display->OnTextEntryCompletion("5", 0); // the rejected entry is forgotten, not left waiting
    EXPECT_TRUE(host.calls.empty());
    pressField(PopoverLayout::kGainField);
    graphics->CommitTextEntry("40");
    EXPECT_EQ(value(kNode2Gain), 18.0);
    pressField(PopoverLayout::kGainField);
    graphics->CommitTextEntry("-inf");
    EXPECT_EQ(value(kNode2Gain), -18.0);
    pressField(PopoverLayout::kGainField);
    graphics->CommitTextEntry("1e999");
    EXPECT_EQ(value(kNode2Gain), 18.0);
    EXPECT_FALSE(display->popoverRect().Empty()); // editing inside keeps the popover open
    EXPECT_TRUE(host.gesturesBalanced());
}

TEST_F(ToneDisplayPopover, QSliderSpansItsRangeExponentially)
{
    openFor(1);
    const IRECT track = layout().qTrack;
    press(track.L + track.W() / 2.0f, track.MH());
    EXPECT_NEAR(value(kNode2Q), std::sqrt(0.3 * 10.0), 1e-6);
    dragTo(track.R + 40.0f, track.MH() + 30.0f);
    EXPECT_NEAR(value(kNode2Q), 10.0, 1e-9);
    dragTo(track.L - 10.0f, track.MH());
    release(0.0f, 0.0f);
    EXPECT_NEAR(value(kNode2Q), 0.3, 1e-9);
    EXPECT_EQ(sentParams(), std::vector<int>{kNode2Q});
    EXPECT_TRUE(host.gesturesBalanced());
}

TEST_F(ToneDisplayPopover, ShapeButtonsSetTheShelfSwitchAlsoAboveTheDisplay)
{
    set(kPreEqFirst + 12, 2.0); // node 4 just above the middle: its popover opens upward, past the top edge
    openFor(3);
    const PopoverLayout p = layout();
    ASSERT_TRUE(p.hasShapeRow);
    ASSERT_LT(p.bellButton.T, kBounds.T);
    press(p.bellButton.MW(), p.bellButton.T + 1.0f);
    EXPECT_EQ(value(kPreEq4Shelf), 0.0);
    press(p.shelfButton.MW(), p.shelfButton.MH());
    EXPECT_EQ(value(kPreEq4Shelf), 1.0);
    release(0.0f, 0.0f);
    EXPECT_TRUE(host.gesturesBalanced());
}

TEST_F(ToneDisplayPopover, ClosesOnPressesOutsideAndOnTheViewSwitch)
{
    openFor(1);
    press(nodeX(400.0), 210.0f); // the node itself lies outside its popover
    release(0.0f, 0.0f);
    EXPECT_TRUE(display->popoverRect().Empty());

    openFor(1);
    switchToPreEq();
    EXPECT_TRUE(display->popoverRect().Empty());
    EXPECT_EQ(display->currentView(), ToneDisplayControl::kMatchView);
}
