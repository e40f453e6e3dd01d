#include "ToneDisplayTestFixture.h"

#include <cmath>
#include <cstdlib>

using namespace tonedisplaytest;
using Kind = DrawRecord::Kind;

namespace
{
const IColor kTextDim{107, 250, 250, 250};
const IColor kTextBright{255, 250, 250, 250};
const IColor kDimOutline{102, 250, 250, 250};
const IColor kCorrectionLine{209, 250, 250, 250};
const IColor kCutFill{41, 250, 250, 250};
const IColor kPreEqColour{255, 240, 163, 58};
const IColor kBoostFill = kAccent.WithAlpha(71);
} // namespace

class ToneDisplayDrawing : public ToneDisplayFixture
{
protected:
    const std::vector<DrawRecord>& frame()
    {
        editor.draw();
        return graphics->GetDrawLog();
    }
    const DrawRecord* find(Kind kind, const IColor& color)
    {
        for (const DrawRecord& record : graphics->GetDrawLog())
            if (record.kind == kind && record.color == color)
                return &record;
        return nullptr;
    }
    /** The first text drawn as `text`, in `colour` when one is given. */
    const DrawRecord* findText(const std::string& text, const IColor* colour = nullptr)
    {
        for (const DrawRecord& record : graphics->GetDrawLog())
            if (record.kind == Kind::Text && record.text == text && (!colour || record.color == *colour))
                return &record;
        return nullptr;
    }
    /** True when the pixel is within `tolerance` of the opaque colour in each channel. */
    bool pixelNear(float x, float y, const IColor& colour, int tolerance = 6)
    {
        const IColor pixel = graphics->GetPixel(static_cast<int>(x), static_cast<int>(y));
        return std::abs(pixel.R - colour.R) <= tolerance && std::abs(pixel.G - colour.G) <= tolerance &&
               std::abs(pixel.B - colour.B) <= tolerance;
    }
};

struct StatusCase
{
    const char* name;
    void (*setUp)(ToneDisplayControl::Reading&);
    const char* status;
    IColor statusColour;
    const char* target;
    IColor targetColour;
};

class ToneDisplayStatus : public ToneDisplayDrawing, public ::testing::WithParamInterface<StatusCase>
{
};

TEST_P(ToneDisplayStatus, ShowsWhatTheEngineIsDoingAndWhichTargetItFollows)
{
    GetParam().setUp(reading);
    frame();
    const DrawRecord* status = findText(GetParam().status);
    ASSERT_NE(status, nullptr) << GetParam().status;
    EXPECT_EQ(status->color, GetParam().statusColour);
    EXPECT_EQ(status->rect, IRECT(52.0f, 118.0f, 330.0f, 132.0f));
    const bool adapting = GetParam().statusColour == kTextBright;
    EXPECT_NE(find(Kind::FillCircle, adapting ? kAccent : IColor(56, 250, 250, 250)), nullptr);

    const DrawRecord* target = findText(GetParam().target);
    ASSERT_NE(target, nullptr) << GetParam().target;
    EXPECT_EQ(target->color, GetParam().targetColour);
    EXPECT_EQ(target->rect, IRECT(270.0f, 118.0f, 680.0f, 132.0f));
}

const StatusCase kStatusCases[] = {
    {"holding", [](ToneDisplayControl::Reading&) {}, "HOLDING \xC2\xB7 BELOW THRESHOLD", kTextDim,
     "TARGET \xC2\xB7 BALANCED", kTextDim},
    {"learning", [](ToneDisplayControl::Reading& r) { r.learning = true, r.learnProgress = 0.42f; },
     "HOLDING \xC2\xB7 BELOW THRESHOLD", kTextDim, "LEARNING 42%", kTextDim},
    {"analysing", [](ToneDisplayControl::Reading& r) { r.analysingFile = true, r.aboveThreshold = true; }, "ADAPTING",
     kTextBright, "ANALYSING REFERENCE FILE\xE2\x80\xA6", kTextDim},
    {"failed",
     [](ToneDisplayControl::Reading& r) { r.message = "COULD NOT LEARN: no audio in file", r.targetValid = true; },
     "HOLDING \xC2\xB7 BELOW THRESHOLD", kTextDim, "COULD NOT LEARN: no audio in file", IColor(255, 235, 64, 52)},
    {"bypassed", [](ToneDisplayControl::Reading& r) { r.bypassed = true, r.aboveThreshold = true; }, "BYPASSED",
     kTextDim, "TARGET \xC2\xB7 BALANCED", kTextDim},
    {"idle", [](ToneDisplayControl::Reading& r) { r.idle = true, r.aboveThreshold = true; }, "IDLE", kTextDim,
     "TARGET \xC2\xB7 BALANCED", kTextDim},
    {"named", [](ToneDisplayControl::Reading& r) { r.targetValid = true, r.targetName = "Podcast voice"; },
     "HOLDING \xC2\xB7 BELOW THRESHOLD", kTextDim, "TARGET \xC2\xB7 Podcast voice", kAccent},
    {"learnedFromInput", [](ToneDisplayControl::Reading& r) { r.targetValid = true, r.aboveThreshold = true; },
     "ADAPTING", kTextBright, "TARGET \xC2\xB7 LEARNED FROM INPUT", kAccent},
};
INSTANTIATE_TEST_SUITE_P(Readings, ToneDisplayStatus, ::testing::ValuesIn(kStatusCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ToneDisplayDrawing, WithoutAProviderItDrawsTheDefaultReading)
{
    graphics->RemoveAllControls();
    graphics->AttachControl(new ToneDisplayControl(kBounds, kRegionFirst, kTilt, kRangeLow, kRangeHigh, kPreEqFirst,
                                                   kPreEq1Shelf, kPreEq4Shelf, kAccent, kLabelText, kSmallText, {}));
    frame();
    EXPECT_NE(findText("HOLDING \xC2\xB7 BELOW THRESHOLD"), nullptr);
    EXPECT_NE(findText("TARGET \xC2\xB7 BALANCED"), nullptr);
    EXPECT_NE(find(Kind::FillCircle, IColor(56, 250, 250, 250)), nullptr);
}

TEST_F(ToneDisplayDrawing, FlatCorrectionHasNoBoostOrCutArea)
{
    frame();
    EXPECT_EQ(find(Kind::PathFill, kBoostFill), nullptr);
    EXPECT_EQ(find(Kind::PathFill, kCutFill), nullptr);
    const DrawRecord* curve = find(Kind::PathStroke, kCorrectionLine);
    ASSERT_NE(curve, nullptr);
    EXPECT_EQ(curve->rect, IRECT(kBounds.L, 210.0f, kBounds.R, 210.0f));
}

TEST_F(ToneDisplayDrawing, DeepCutStopsAtMinus23Decibels)
{
    reading.gainDecibels.fill(-30.0f);
    frame();
    const DrawRecord* curve = find(Kind::PathStroke, kCorrectionLine);
    ASSERT_NE(curve, nullptr);
    EXPECT_NEAR(curve->rect.B, geometry().yOfDecibels(-23.0), 1e-3);
    EXPECT_NE(find(Kind::PathFill, kCutFill), nullptr);
    EXPECT_EQ(find(Kind::PathFill, kBoostFill), nullptr);
}

TEST_F(ToneDisplayDrawing, BandsAboveTheirRatesLimitAreLeftOut)
{
    reading.gainDecibels[11] = 6.0f; // 16127 Hz
    reading.sampleRate = 32000.0;
    frame();
    EXPECT_EQ(find(Kind::PathFill, kBoostFill), nullptr);

    reading.sampleRate = 44100.0;
    frame();
    const DrawRecord* curve = find(Kind::PathStroke, kCorrectionLine);
    ASSERT_NE(curve, nullptr);
    EXPECT_NE(find(Kind::PathFill, kBoostFill), nullptr);
    EXPECT_LT(curve->rect.T, geometry().yOfDecibels(5.0)); // close to the full 6 dB near the band's centre
}

TEST_F(ToneDisplayDrawing, FiltersShapeTheCorrectionCurveAndItFollowsTheirChanges)
{
    reading.highPassOn = true;
    reading.highPassHertz = 200.0;
    frame();
    ASSERT_NE(find(Kind::PathStroke, kCorrectionLine), nullptr);
    EXPECT_NEAR(find(Kind::PathStroke, kCorrectionLine)->rect.B, geometry().yOfDecibels(-23.0), 1e-3);
    reading.highPassOn = false;
    frame();
    EXPECT_EQ(find(Kind::PathStroke, kCorrectionLine)->rect, IRECT(kBounds.L, 210.0f, kBounds.R, 210.0f));
}

TEST_F(ToneDisplayDrawing, RangeEdgesAtTheirLimitsDrawDimChipsAndNoLines)
{
    frame();
    EXPECT_EQ(find(Kind::Line, kAccent), nullptr);
    EXPECT_EQ(findText("20")->color, kDimOutline);
    EXPECT_EQ(findText("20k")->color, kDimOutline);
    EXPECT_EQ(findText("UNTOUCHED"), nullptr);

    set(kRangeLow, 100.0);
    frame();
    const float x = geometry().xOfHertz(100.0);
    const DrawRecord* line = find(Kind::Line, kAccent);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->rect, IRECT(x, kBounds.T + 24.0f, x, kBounds.B));
    EXPECT_NE(findText("100", &kTextBright), nullptr); // the chip; the grid's "100" stays dim
    EXPECT_EQ(findText("UNTOUCHED")->rect, IRECT(kBounds.L, 240.0f, x, 254.0f));
}

TEST_F(ToneDisplayDrawing, RegionLabelsTellActiveOffAndOutside)
{
    set(kRegionFirst, 1.5);
    set(kRegionFirst + 5, 0.0); // Body off
    set(kRangeLow, 140.0);      // Low at 120 Hz lies less than a third of an octave outside: still active
    set(kRangeHigh, 2000.0);    // Presence at 3 kHz lies farther out
    frame();
    const IColor active{204, 250, 250, 250};
    EXPECT_EQ(findText("LOW  +1.5")->color, active);
    EXPECT_EQ(findText("BODY  OFF")->color, kDimOutline);
    EXPECT_EQ(findText("PRESENCE  OUTSIDE")->color, kDimOutline);
    EXPECT_NE(findText("AIR  OUTSIDE"), nullptr);

    const float lowX = geometry().xOfHertz(120.0), bodyX = geometry().xOfHertz(300.0);
    const float lowY = geometry().yOfDecibels(1.5);
    EXPECT_TRUE(pixelNear(lowX, lowY, kAccent));
    EXPECT_TRUE(pixelNear(bodyX, 210.0f, IColor(255, 14, 14, 14), 12)); // inactive: dark fill
}

TEST_F(ToneDisplayDrawing, PreEqViewDimsTheMatchContentAndShowsNodes)
{
    set(kPreEqFirst, 3.0);
    set(kPreEqFirst + 7, 0.0); // node 2 off
    switchToPreEq();
    const float nodeX = geometry().xOfHertz(100.0), nodeY = geometry().yOfDecibels(3.0);
    press(nodeX, nodeY);
    release(nodeX, nodeY);
    frame();
    EXPECT_NE(findText("100  +3.0"), nullptr);
    EXPECT_EQ(findText("OFF")->color, kDimOutline);
    EXPECT_EQ(findText("1")->color, IColor(255, 14, 14, 14)); // selected and on: dark number on a lit node
    EXPECT_EQ(findText("PRE-EQ")->color, IColor(255, 14, 14, 14));
    EXPECT_EQ(findText("MATCH")->color, kTextDim);
    EXPECT_EQ(findText("LOW  +0.0"), nullptr); // region labels belong to the MATCH view
    const DrawRecord* curve = find(Kind::PathStroke, kPreEqColour);
    ASSERT_NE(curve, nullptr);
    EXPECT_NEAR(curve->rect.T, nodeY, 1.0f); // the low shelf reaches its 3 dB on the left

    EXPECT_TRUE(pixelNear(nodeX - 5.0f, nodeY, kPreEqColour)); // beside the node's number
    const IColor handle = graphics->GetPixel(static_cast<int>(geometry().xOfHertz(300.0)), 214);
    EXPECT_LT(handle.G, 60); // the accent-filled Body handle lies under the dimming
}

TEST_F(ToneDisplayDrawing, PopoverShowsTheNodesValues)
{
    switchToPreEq();
    press(geometry().xOfHertz(8000.0), 210.0f, IMouseMod(false, true));
    frame();
    const IRECT popover = display->popoverRect();
    EXPECT_EQ(popover.H(), 92.0f);
    EXPECT_NE(find(Kind::FillRoundRect, IColor(250, 24, 24, 24)), nullptr);
    EXPECT_NE(findText("8.00 kHz"), nullptr);
    EXPECT_NE(findText("+0.0 dB"), nullptr);
    EXPECT_NE(findText("0.71"), nullptr);
    EXPECT_EQ(findText("Freq")->color, IColor(230, 240, 205, 150));
}
