#include "editor/LevelMeterControl.h"
#include "GraphicsControlParams.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace iplug::igraphics;
using namespace aubrevane::test;

namespace
{
const IColor kPeak{209, 250, 250, 250};
const IColor kClip{255, 235, 64, 52};
const IColor kTrack{18, 250, 250, 250};
const IColor kTick{33, 250, 250, 250};
const IColor kBright{255, 250, 250, 250};
constexpr int kInputTag = 2;

class LevelMeter : public testing::Test
{
protected:
    LevelMeterControl* attach(const IRECT& bounds, int side, int tag = kInputTag)
    {
        const IVStyle style = DEFAULT_STYLE.WithShowLabel(false)
                                  .WithShowValue(false)
                                  .WithDrawFrame(false)
                                  .WithDrawShadows(false)
                                  .WithColor(kBG, COLOR_TRANSPARENT)
                                  .WithColor(kFG, IColor(255, 21, 232, 121));
        return static_cast<LevelMeterControl*>(editor.graphics->AttachControl(
            new LevelMeterControl(bounds, style, kPeak, kClip, kTrack, kTick, 16, 14,
                                  IText(11.5f, kBright, "Roboto-Regular"),
                                  IText(8.5f, IColor(77, 250, 250, 250), "Roboto-Regular", EAlign::Near), side),
            tag));
    }
    /** Sends one reading of the peak and average, in dB (-inf for silence), as the idle tick does. */
    void send(float peakDecibels, float averageDecibels = -30.0f)
    {
        iplug::PeakAvgData<1> data;
        data.ctrlTag = kInputTag;
        data.peaks[0] = std::isnan(peakDecibels) ? peakDecibels : std::pow(10.0f, peakDecibels / 20.0f);
        data.vals[0] = std::pow(10.0f, averageDecibels / 20.0f);
        editor.graphics->SendControlMsgFromDelegate(kInputTag, iplug::kUpdateMessage, sizeof data, &data);
    }
    std::vector<DrawRecord> recordsIn(const IColor& color, DrawRecord::Kind kind) const
    {
        std::vector<DrawRecord> found;
        for (const DrawRecord& record : editor.graphics->GetDrawLog())
            if (record.color == color && record.kind == kind)
                found.push_back(record);
        return found;
    }
    const DrawRecord* readout() const
    {
        for (const DrawRecord& record : editor.graphics->GetDrawLog())
            if (record.kind == DrawRecord::Kind::Text && record.rect == IRECT(18, 328, 92, 344))
                return &record;
        return nullptr;
    }

    ControlHarness editor;
};
} // namespace

TEST_F(LevelMeter, ReadoutShowsThePeakWithTheClipColourFromZeroDecibels)
{
    attach({18, 328, 92, 436}, LevelMeterControl::kScaleLeft);
    struct Case
    {
        float peakDecibels;
        const char* text;
        IColor color;
    };
    for (const Case& c : {Case{-INFINITY, "-inf", kBright}, Case{-53.6f, "-inf", kBright},
                          Case{-53.4f, "-53.4 dB", kBright}, Case{0.0f, "0.0 dB", kClip}, Case{2.0f, "2.0 dB", kClip},
                          Case{8.0f, "6.0 dB", kClip}, Case{-0.04f, "-0.0 dB", kBright}})
    {
        send(c.peakDecibels);
        editor.draw();
        ASSERT_NE(readout(), nullptr) << c.text;
        EXPECT_EQ(readout()->text, c.text);
        EXPECT_EQ(readout()->color, c.color) << c.text;
    }
}

TEST_F(LevelMeter, PeakLineStandsAtItsLevelOnTheTrack)
{
    attach({18, 328, 92, 436}, LevelMeterControl::kScaleLeft);
    send(2.0f);
    editor.draw();
    const auto clipLines = recordsIn(kClip, DrawRecord::Kind::FillRect);
    ASSERT_EQ(clipLines.size(), 1u);
    const float y = 436.0f - 92.0f * 56.0f / 60.0f; // the track runs from 344 to 436
    EXPECT_NEAR(clipLines[0].rect.MH(), y, 1e-3);
    EXPECT_NEAR(clipLines[0].rect.H(), 1.68f, 1e-3); // 0.12 of the 14-unit track
    EXPECT_EQ(clipLines[0].rect.L, 58.0f);
    EXPECT_EQ(clipLines[0].rect.R, 72.0f);

    send(8.0f);
    editor.draw();
    EXPECT_NEAR(recordsIn(kClip, DrawRecord::Kind::FillRect).at(0).rect.MH(), 344.0f, 1e-3);
    send(-20.0f);
    editor.draw();
    EXPECT_EQ(recordsIn(kPeak, DrawRecord::Kind::FillRect).size(), 1u);
}

TEST_F(LevelMeter, SilenceAndBrokenReadingsDrawNoPeakLine)
{
    attach({18, 328, 92, 436}, LevelMeterControl::kScaleLeft);
    for (float broken : {-INFINITY, std::nanf(""), INFINITY})
    {
        send(broken, broken);
        editor.draw();
        EXPECT_TRUE(recordsIn(kPeak, DrawRecord::Kind::FillRect).empty()) << broken;
        EXPECT_TRUE(recordsIn(kClip, DrawRecord::Kind::FillRect).empty()) << broken;
        ASSERT_NE(readout(), nullptr);
        EXPECT_EQ(readout()->text, "-inf") << broken;
    }
}

TEST_F(LevelMeter, TrackAndScaleSitOnTheChosenSide)
{
    attach({18, 328, 92, 436}, LevelMeterControl::kScaleLeft);
    attach({640, 328, 704, 436}, LevelMeterControl::kScaleRight, 3);
    editor.draw();
    const auto tracks = recordsIn(kTrack, DrawRecord::Kind::FillRect);
    ASSERT_EQ(tracks.size(), 2u);
    EXPECT_EQ(tracks[0].rect, IRECT(58, 344, 72, 436));
    EXPECT_EQ(tracks[1].rect, IRECT(655, 344, 669, 436));

    std::vector<std::string> labels;
    std::vector<float> leftEdges;
    for (const DrawRecord& record : editor.graphics->GetDrawLog())
        if (record.kind == DrawRecord::Kind::Text && record.rect.H() == 12.0f)
        {
            labels.push_back(record.text);
            leftEdges.push_back(record.rect.L);
        }
    EXPECT_EQ(labels, (std::vector<std::string>{"0", "-12", "-24", "-36", "-48", "0", "-12", "-24", "-36", "-48"}));
    EXPECT_EQ(leftEdges.front(), 36.0f); // left of the IN track
    EXPECT_EQ(leftEdges.back(), 675.0f); // right of the OUT track
    const auto ticks = recordsIn(kTick, DrawRecord::Kind::Line);
    ASSERT_EQ(ticks.size(), 10u);
    EXPECT_EQ(ticks[0].rect, IRECT(53, 436 - 92 * 54 / 60.0f, 57, 436 - 92 * 54 / 60.0f));
    EXPECT_EQ(ticks[5].rect.L, 670.0f);
}

TEST_F(LevelMeter, RightAlignedLabelsOnTheLeftLeftAlignedOnTheRight)
{
    attach({18, 328, 92, 436}, LevelMeterControl::kScaleLeft);
    editor.graphics->LoadFont("Roboto-Regular", "Roboto-Regular.ttf");
    editor.draw();
    // "-48" is about 13 units wide in its 16-unit box (36..52): right-aligned, it leaves the box's left end dark.
    int litFarLeft = 0, litNearRight = 0;
    const int y = static_cast<int>(std::lround(436 - 92 * 6 / 60.0f));
    for (int dy = -4; dy <= 4; ++dy)
    {
        for (int x = 36; x < 38; ++x)
            litFarLeft += editor.graphics->GetPixel(x, y + dy).A > 0;
        for (int x = 48; x < 52; ++x)
            litNearRight += editor.graphics->GetPixel(x, y + dy).A > 0;
    }
    EXPECT_EQ(litFarLeft, 0);
    EXPECT_GT(litNearRight, 0);
}
