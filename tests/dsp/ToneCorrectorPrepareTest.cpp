#include "EngineHarness.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{

using namespace aubrevane::test;

struct TickCase
{
    double sampleRate;
    int makeupPeriod, delayTicks, holdTicks;
};

class ToneCorrectorTicks : public testing::TestWithParam<TickCase>
{
};

TEST_P(ToneCorrectorTicks, TickCountsFollowTheRate)
{
    ToneCorrector engine;
    engine.prepare(GetParam().sampleRate);
    EXPECT_EQ(ToneCorrectorProbe::makeupPeriod(engine), GetParam().makeupPeriod);
    EXPECT_EQ(ToneCorrectorProbe::delayTicks(engine), GetParam().delayTicks);
    EXPECT_EQ(ToneCorrectorProbe::holdTicks(engine), GetParam().holdTicks);
}

INSTANTIATE_TEST_SUITE_P(Rates, ToneCorrectorTicks,
                         testing::Values(TickCase{48000, 150, 75, 23}, TickCase{44100, 138, 69, 21},
                                         TickCase{384000, 1200, 511, 180}, TickCase{500, 2, 1, 1},
                                         TickCase{100, 1, 1, 1}));

TEST(ToneCorrectorPrepare, PinkNoiseReadsTheSameLevelInEveryBand)
{
    for (double rate : {44100.0, 48000.0, 96000.0})
    {
        ToneCorrector engine;
        engine.prepare(rate);
        const std::vector<double> noise = pinkNoise(frames(4.0, rate), rate, 5);
        std::array<double, 12> meanPower{};
        for (std::size_t start = 0; start + 32 <= noise.size(); start += 32)
        {
            runBlocks(engine, {std::vector<double>(noise.begin() + start, noise.begin() + start + 32)}, 32);
            for (int k = 0; k < 12; ++k)
                meanPower[k] += std::pow(10.0, engine.bandFrameDecibels[k] / 10.0);
        }
        for (int k = 1; k < 12; ++k)
            EXPECT_NEAR(10 * std::log10(meanPower[k] / meanPower[0]), 0.0, 0.5) << rate << " Hz, band " << k;
    }
}

TEST(ToneCorrectorPrepare, SecondPrepareResetsRunningStateAndKeepsTheTarget)
{
    ToneSettings s;
    s.amount = 1.0;
    ToneCorrector engine;
    prepareWith(engine, s, 48000);
    aubrevane::dsp::Balance target{};
    target[3] = 4.0;
    engine.learnFromBalance(target);
    const Channels noise = {pinkNoise(frames(2.0, 48000), 48000, 8)};
    runBlocks(engine, noise, 480);
    ASSERT_TRUE(engine.correctionRunning());
    const auto calibration = ToneCorrectorProbe::bandCalibration(engine);

    engine.prepare(48000);
    EXPECT_EQ(ToneCorrectorProbe::bandCalibration(engine), calibration);
    EXPECT_FALSE(engine.correctionRunning());
    for (double gain : engine.appliedGainDecibels)
        EXPECT_EQ(gain, 0.0);
    EXPECT_TRUE(engine.targetValid);
    EXPECT_EQ(engine.targetBalance, target);

    // Nothing is corrected until the gate has been open for delay + hold ticks, then the correction heads for
    // the target again.
    const std::vector<double> head(noise[0].begin(), noise[0].begin() + 96 * 32);
    EXPECT_EQ(runBlocks(engine, {head}, 64)[0], head);
    runBlocks(engine, noise, 480);
    EXPECT_TRUE(engine.correctionRunning());
}

TEST(ToneCorrectorPrepare, OutputGainAppliesAtOnceWithoutFadeIn)
{
    ToneSettings s;
    s.outputDecibels = 6.0;
    ToneCorrector engine;
    prepareWith(engine, s, 48000);
    const std::vector<double> in = uniformNoise(64, 2);
    const auto out = runBlocks(engine, {in}, 64)[0];
    const double gain = std::pow(10.0, 6.0 / 20.0);
    for (std::size_t i = 0; i < in.size(); ++i)
        EXPECT_EQ(out[i], in[i] * gain);
}

TEST(ToneCorrectorPrepare, PreEqAtZeroGainDoesNotRun)
{
    ToneSettings s;
    s.preEq[1].q = 3.0; // a shape but no gain
    ToneCorrector engine;
    prepareWith(engine, s, 48000);
    EXPECT_FALSE(engine.preEqRunning());
    s.preEq[1].gainDecibels = -0.1;
    prepareWith(engine, s, 48000);
    EXPECT_TRUE(engine.preEqRunning());
}

} // namespace
