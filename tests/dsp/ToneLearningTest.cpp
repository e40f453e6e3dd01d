#include "CorrectionHarness.h"

#include <gtest/gtest.h>

namespace
{

using namespace aubrevane::test;

void startLearning(ToneCorrector& engine)
{
    engine.learning = true;
    engine.learnCount = 0;
    engine.learnSums.fill(0.0);
}

TEST(ToneLearning, EndsOnTheFourThousandFiveHundredthGatedTickAndQuietPassagesDoNotCount)
{
    ToneSettings s;
    s.amount = 1.0;
    ToneCorrector engine;
    prepareWith(engine, s, 48000);
    startLearning(engine);

    const std::vector<double> loud = pinkNoise(frames(1.0, 48000), 48000, 21);
    const std::vector<double> quiet = pinkNoise(frames(0.5, 48000), 48000, 22, flatColour, -60.0);
    int gatedTicks = 0, ticks = 0;
    const auto runTicks = [&](const std::vector<double>& signal)
    {
        for (std::size_t start = 0; start + 32 <= signal.size() && engine.learning; start += 32)
        {
            const int before = engine.learnCount;
            runBlocks(engine, {std::vector<double>(signal.begin() + start, signal.begin() + start + 32)}, 32);
            ++ticks;
            if (engine.learnCount != before)
                ++gatedTicks;
        }
    };
    const std::vector<double> quietHead(quiet.begin(), quiet.begin() + 32 * 150);
    const std::vector<double> quietTail(quiet.begin() + 32 * 150, quiet.end());
    for (int passage = 0; passage < 10 && engine.learning; ++passage)
    {
        runTicks(loud);
        if (!engine.learning)
            break;
        runTicks(quietHead); // the gate falls within these ticks; frames from before the fall may still count
        const int countInQuiet = engine.learnCount;
        runTicks(quietTail);
        EXPECT_EQ(engine.learnCount, countInQuiet);
        EXPECT_FALSE(engine.aboveThreshold);
    }
    EXPECT_FALSE(engine.learning);
    EXPECT_EQ(engine.learnCount, 4500);
    EXPECT_EQ(gatedTicks, 4500);
    EXPECT_GT(ticks, 4500 + 3 * 750); // quiet passages ran in between
    EXPECT_TRUE(engine.targetValid);
}

TEST(ToneLearning, LearnedColourIsImposedOnOtherMaterial)
{
    ToneSettings s;
    s.amount = 1.0;
    ToneCorrector engine;
    prepareWith(engine, s, 48000);
    startLearning(engine);
    const auto colour = [](double f) { return peakDecibels(f, 634.96, 6.0) + peakDecibels(f, 2539.84, -5.0); };
    const BandReadings learned = settleAndMeasure(engine, colour, 5.0, 31);
    ASSERT_FALSE(engine.learning);

    const BandReadings r = settleAndMeasure(engine, flatColour, 8.0, 41);
    for (int k = 2; k <= 8; ++k)
        EXPECT_TRUE(settledNear(r.outputBalance[k], learned.inputBalance[k], r.inputBalance[k])) << "band " << k;
    EXPECT_GT(learned.inputBalance[4] - learned.inputBalance[7], 8.0); // a colour worth learning
}

TEST(ToneLearning, LearnedTargetIsRelativeToTheExpectedCurve)
{
    // Learning through a pre-EQ records the balance the pre-EQ's respected share does not explain, so the same
    // input with the same settings is then left as it is.
    ToneSettings s;
    s.amount = 1.0;
    s.preEq[1].gainDecibels = 6.0;
    s.preEqRespect = 1.0;
    ToneCorrector engine;
    prepareWith(engine, s, 48000);
    startLearning(engine);
    settleAndMeasure(engine, testColour, 5.0, 51);
    ASSERT_FALSE(engine.learning);
    for (int k = 0; k < 12; ++k)
        EXPECT_NEAR(engine.targetBalance[k] - engine.targetOffsetDecibels[k],
                    ToneCorrectorProbe::referenceDecibels(engine)[k], 1e-9);
    const BandReadings r = settleAndMeasure(engine, testColour, 8.0, 61);
    for (int k = 2; k <= 8; ++k)
        EXPECT_NEAR(r.change(k) - (r.change(5)),
                    ToneCorrectorProbe::expectedDecibels(engine)[k] - ToneCorrectorProbe::expectedDecibels(engine)[5],
                    1.0)
            << "band " << k;
}

} // namespace
