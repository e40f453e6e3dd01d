#include "CorrectionHarness.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{

using namespace aubrevane::test;
using aubrevane::dsp::kBandHertz;

constexpr double kSettleSeconds = 8.0;
constexpr int kFirstMid = 2, kLastMid = 8;

ToneSettings fullAmount()
{
    ToneSettings s;
    s.amount = 1.0;
    return s;
}

TEST(ToneCorrection, ColouredPinkNoiseConvergesToTheBuiltInTarget)
{
    ToneCorrector engine;
    prepareWith(engine, fullAmount(), 48000);
    const BandReadings r = settleAndMeasure(engine, testColour, kSettleSeconds);
    for (int k = kFirstMid; k <= kLastMid; ++k)
        EXPECT_TRUE(settledNear(r.outputBalance[k], 0.0, r.inputBalance[k])) << "band " << k;
    EXPECT_GT(std::abs(r.inputBalance[3]), 4.0); // the colour was there to begin with
}

TEST(ToneCorrection, GainsStayWithinMaxBoostAndMaxCut)
{
    ToneSettings s = fullAmount();
    s.maxBoostDecibels = 4.0;
    s.maxCutDecibels = 5.0;
    ToneCorrector engine;
    prepareWith(engine, s, 48000);
    const auto colour = [](double f)
    { return peakDecibels(f, 1007.94, -14.0, 3.0) + peakDecibels(f, 2539.84, 14.0, 3.0); };
    const BandReadings r = settleAndMeasure(engine, colour, kSettleSeconds);
    for (int k = 0; k < 12; ++k)
    {
        EXPECT_LE(r.change(k), s.maxBoostDecibels + 0.75) << "band " << k;
        EXPECT_GE(r.change(k), -s.maxCutDecibels - 0.75) << "band " << k;
    }
    EXPECT_GT(r.change(5), s.maxBoostDecibels - 1.5); // the limits were reached, not just respected
    EXPECT_LT(r.change(7), -s.maxCutDecibels + 1.5);
}

TEST(ToneCorrection, GainsGlideAtMostFiveHundredthsOfADecibelPerTickAndStopAtTwentyFour)
{
    ToneSettings s = fullAmount();
    s.speed = 1.0;
    s.maxBoostDecibels = 60.0;
    ToneCorrector engine;
    prepareWith(engine, s, 48000);
    aubrevane::dsp::Balance target{};
    target[6] = 50.0;
    engine.learnFromBalance(target);
    const std::vector<double> noise = pinkNoise(frames(4.0, 48000), 48000, 3);
    auto previous = engine.appliedGainDecibels;
    double largest = 0.0;
    for (std::size_t start = 0; start + 32 <= noise.size(); start += 32)
    {
        runBlocks(engine, {std::vector<double>(noise.begin() + start, noise.begin() + start + 32)}, 32);
        for (int k = 0; k < 12; ++k)
        {
            ASSERT_LE(std::abs(engine.appliedGainDecibels[k] - previous[k]), 0.05 + 1e-12) << "band " << k;
            ASSERT_LE(std::abs(engine.appliedGainDecibels[k]), 24.0) << "band " << k;
            largest = std::max(largest, engine.appliedGainDecibels[k]);
        }
        previous = engine.appliedGainDecibels;
    }
    EXPECT_EQ(largest, 24.0);
}

TEST(ToneCorrection, AmountZeroReturnsEveryGainToZeroAndStopsTheCorrection)
{
    ToneCorrector engine;
    prepareWith(engine, fullAmount(), 48000);
    settleAndMeasure(engine, testColour, 2.0);
    ASSERT_TRUE(engine.correctionRunning());

    engine.settings.amount = 0.0;
    engine.applySettings();
    settleAndMeasure(engine, testColour, 3.0);
    EXPECT_FALSE(engine.correctionRunning());
    for (double gain : engine.appliedGainDecibels)
        EXPECT_EQ(gain, 0.0);
    const std::vector<double> after = pinkNoise(4096, 48000, 9);
    EXPECT_EQ(runBlocks(engine, {after}, 512)[0], after);
}

TEST(ToneCorrection, ABandNearItsNoiseFloorGetsCutsButNoBoost)
{
    ToneCorrector engine;
    prepareWith(engine, fullAmount(), 48000);
    settleAndMeasure(engine, testColour, 3.0);
    // Every band now reads as lying on its noise floor; the floor is only followed while the gate is closed.
    ToneCorrectorProbe::noiseFloor(engine).fill(100.0);
    const BandReadings r = settleAndMeasure(engine, testColour, kSettleSeconds);
    EXPECT_LT(r.change(3), -3.0); // 400 Hz is still cut
    EXPECT_LT(r.change(8), 0.5);  // 4 kHz would need a boost and gets none
    EXPECT_LT(r.outputBalance[8], -3.0);
}

TEST(ToneCorrection, QuietPassageSetsTheFloorThatBlocksABoost)
{
    // A band that is notched in the programme but was as loud during the quiet passage stays uncorrected.
    const auto notch = [](double f) { return peakDecibels(f, kBandHertz[9], -30.0, 3.0); };
    const auto onlyBand9 = [](double f) { return f > kBandHertz[9] * 0.8 && f < kBandHertz[9] * 1.25 ? 0.0 : -80.0; };
    const auto boostAtBand9 = [&](bool quietFirst)
    {
        ToneCorrector engine;
        prepareWith(engine, fullAmount(), 48000);
        if (quietFirst)
            settleAndMeasure(engine, onlyBand9, 2.0, 7, -46.0); // below the -40 dB threshold
        return settleAndMeasure(engine, notch, kSettleSeconds).change(9);
    };
    EXPECT_GT(boostAtBand9(false), 4.0);
    EXPECT_LT(std::abs(boostAtBand9(true)), 1.5); // what is left comes from the neighbours' corrections
}

TEST(ToneCorrection, ARegionSwitchedOffAtABandCentreLeavesThatBandUncorrected)
{
    const auto colour = [](double f) { return peakDecibels(f, kBandHertz[7], -8.0); };
    const auto changeAtBand7 = [&](bool regionOn)
    {
        ToneSettings s = fullAmount();
        s.regions[2].hertz = kBandHertz[7];
        s.regions[2].on = regionOn;
        ToneCorrector engine;
        prepareWith(engine, s, 48000);
        return settleAndMeasure(engine, colour, kSettleSeconds).change(7);
    };
    EXPECT_GT(changeAtBand7(true), 2.5);
    EXPECT_LT(std::abs(changeAtBand7(false)), 1.0);
}

TEST(ToneCorrection, InstalledBalanceBecomesTheGoal)
{
    // A target balance of all zeros aims at the expected curve minus the reference curve: with a tilt that
    // is a flat output, although the tilt alone would ask for a slope.
    ToneSettings s = fullAmount();
    s.tiltDecibelsPerOctave = 1.5;
    ToneCorrector engine;
    prepareWith(engine, s, 48000);
    engine.learnFromBalance({});
    for (int k = 0; k < 12; ++k)
        EXPECT_EQ(engine.targetOffsetDecibels[k], -ToneCorrectorProbe::referenceDecibels(engine)[k]);
    const BandReadings r = settleAndMeasure(engine, testColour, kSettleSeconds);
    for (int k = kFirstMid; k <= kLastMid; ++k)
        EXPECT_TRUE(settledNear(r.outputBalance[k], 0.0, r.inputBalance[k])) << "band " << k;
}

class ToneCorrectionAtRate : public testing::TestWithParam<double>
{
};

TEST_P(ToneCorrectionAtRate, ConvergesWithTheActiveBandsAndNothingNaN)
{
    const double rate = GetParam();
    ToneCorrector engine;
    prepareWith(engine, fullAmount(), rate);
    const BandReadings r = settleAndMeasure(engine, testColour, kSettleSeconds);
    for (int k = 0; k < 12; ++k)
    {
        EXPECT_TRUE(std::isfinite(engine.appliedGainDecibels[k]));
        EXPECT_TRUE(std::isfinite(engine.bandPowers[k]));
        if (!engine.bandActive[k])
        {
            EXPECT_EQ(engine.appliedGainDecibels[k], 0.0) << "inactive band " << k;
            EXPECT_EQ(engine.bandFrameDecibels[k], 0.0) << "inactive band " << k;
        }
        else if (k >= kFirstMid && k <= kLastMid)
        {
            EXPECT_TRUE(settledNear(r.outputBalance[k], 0.0, r.inputBalance[k])) << "band " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, ToneCorrectionAtRate,
                         testing::Values(8000.0, 22050.0, 44100.0, 48000.0, 96000.0, 192000.0));

} // namespace
