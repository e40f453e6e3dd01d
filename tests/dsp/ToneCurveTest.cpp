#include "EngineHarness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace
{

using namespace aubrevane::test;
using aubrevane::dsp::kBandHertz;

class ToneCurve : public testing::Test
{
protected:
    ToneCorrector engine;
    ToneSettings s;

    void apply()
    {
        engine.settings = s;
        engine.applySettings();
    }

    void SetUp() override { engine.prepare(48000); }
};

TEST_F(ToneCurve, DefaultsGiveFlatReferenceAndExpectedCurves)
{
    for (int k = 0; k < 12; ++k)
    {
        EXPECT_EQ(ToneCorrectorProbe::referenceDecibels(engine)[k], 0.0);
        EXPECT_EQ(ToneCorrectorProbe::expectedDecibels(engine)[k], 0.0);
        EXPECT_EQ(ToneCorrectorProbe::regionWeight(engine)[k], 1.0);
        EXPECT_EQ(ToneCorrectorProbe::rangeFade(engine)[k], 1.0);
    }
}

TEST_F(ToneCurve, SpeedSetsTheTimeConstants)
{
    s.speed = 0.5;
    apply();
    EXPECT_NEAR(ToneCorrectorProbe::measureCoefficient(engine), 0.0035153, 5e-8);
    EXPECT_NEAR(ToneCorrectorProbe::slowCoefficient(engine), 0.00070405, 5e-9);
    EXPECT_NEAR(ToneCorrectorProbe::fastCoefficient(engine), 0.0066445, 5e-8);

    const auto slowAt = [&](double speed)
    {
        s.speed = speed;
        apply();
        return ToneCorrectorProbe::slowCoefficient(engine);
    };
    EXPECT_EQ(slowAt(3.0), slowAt(1.0));
    EXPECT_EQ(slowAt(-0.5), slowAt(0.0));
    EXPECT_NEAR(slowAt(0.0), 1.0 - std::exp(-32.0 / (5.6 * 48000.0)), 1e-15);
}

TEST_F(ToneCurve, FrontFilterAndPreEqTargetsAreKeptInRange)
{
    s.highPassHertz = 5.0;
    s.lowPassHertz = 30000.0;
    s.preEq[2].q = 50.0;
    s.preEq[1].q = 0.01;
    s.preEq[3].hertz = 40000.0;
    s.preEq[0].gainDecibels = 4.0;
    s.preEq[0].on = false;
    apply();
    EXPECT_EQ(ToneCorrectorProbe::filterTargetHertz(engine)[0], 10.0);
    EXPECT_EQ(ToneCorrectorProbe::filterTargetHertz(engine)[1], 0.45 * 48000.0);
    EXPECT_EQ(ToneCorrectorProbe::preEqTarget(engine)[2].q, 20.0);
    EXPECT_EQ(ToneCorrectorProbe::preEqTarget(engine)[1].q, 0.1);
    EXPECT_EQ(ToneCorrectorProbe::preEqTarget(engine)[3].hertz, 0.45 * 48000.0);
    EXPECT_EQ(ToneCorrectorProbe::preEqTarget(engine)[0].gainDecibels, 0.0); // off acts as 0 dB
}

struct FadeCase
{
    double octavesOutside;
    double fade;
};

class ToneRangeFade : public ToneCurve, public testing::WithParamInterface<FadeCase>
{
};

TEST_P(ToneRangeFade, RaisedCosineOverAThirdOfAnOctaveOutsideTheRange)
{
    const double band9 = kBandHertz[9];
    s.rangeLowHertz = 20.0;
    s.rangeHighHertz = band9 / std::exp2(GetParam().octavesOutside);
    apply();
    EXPECT_NEAR(ToneCorrectorProbe::rangeFade(engine)[9], GetParam().fade, 1e-12);
    EXPECT_EQ(ToneCorrectorProbe::rangeFade(engine)[8], GetParam().octavesOutside < 2.0 / 3.0 ? 1.0 : 0.0);

    std::swap(s.rangeLowHertz, s.rangeHighHertz); // swapped edges are the same range
    const auto before = ToneCorrectorProbe::rangeFade(engine);
    apply();
    EXPECT_EQ(ToneCorrectorProbe::rangeFade(engine), before);

    s.rangeLowHertz = kBandHertz[2] * std::exp2(GetParam().octavesOutside); // the lower edge fades the same way
    s.rangeHighHertz = 20000.0;
    apply();
    EXPECT_NEAR(ToneCorrectorProbe::rangeFade(engine)[2], GetParam().fade, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(Edges, ToneRangeFade,
                         testing::Values(FadeCase{0.0, 1.0}, FadeCase{1.0 / 6.0, 0.5}, FadeCase{1.0 / 3.0, 0.0},
                                         FadeCase{1.0, 0.0},
                                         FadeCase{1.0 / 12.0, (std::cos(std::numbers::pi / 4) + 1) / 2}));

TEST_F(ToneCurve, RegionSwitchedOffAtABandCentreZeroesItsWeight)
{
    s.regions[2].hertz = kBandHertz[7];
    s.regions[2].on = false;
    apply();
    EXPECT_EQ(ToneCorrectorProbe::regionWeight(engine)[7], 0.0);
    EXPECT_GT(ToneCorrectorProbe::regionWeight(engine)[5], 0.7); // 1.33 octaves away: hardly touched
    EXPECT_LT(ToneCorrectorProbe::regionWeight(engine)[6], 0.6);
}

TEST_F(ToneCurve, TiltAndRegionBumpsShapeTheReferenceCurve)
{
    s.tiltDecibelsPerOctave = -1.0;
    s.regions[2].hertz = kBandHertz[7];
    s.regions[2].gainDecibels = 6.0;
    apply();
    const auto& reference = ToneCorrectorProbe::referenceDecibels(engine);
    EXPECT_NEAR(reference[7], -std::log2(kBandHertz[7] / 1000.0) + 6.0, 1e-12);
    EXPECT_NEAR(reference[0], -std::log2(0.1) + 6.0 * std::exp(-std::pow(std::log2(100.0 / kBandHertz[7]), 2) / 0.98),
                1e-12);
    EXPECT_EQ(ToneCorrectorProbe::expectedDecibels(engine), reference); // filters off, pre-EQ flat
}

TEST_F(ToneCurve, ExpectedCurveAddsTheFrontFiltersAndTheRespectedPreEq)
{
    s.highPassOn = true;
    s.highPassHertz = kBandHertz[0];
    s.preEq[1].gainDecibels = 6.0;
    s.preEq[1].hertz = kBandHertz[3];
    s.preEqRespect = 0.5;
    apply();
    const auto expected = ToneCorrectorProbe::expectedDecibels(engine);
    s.preEqRespect = 0.0;
    apply();
    const auto withoutPreEq = ToneCorrectorProbe::expectedDecibels(engine);
    EXPECT_NEAR(withoutPreEq[0], -3.0103, 1e-4); // a Butterworth high-pass at its corner
    EXPECT_NEAR(withoutPreEq[3], 0.0, 0.02);
    EXPECT_NEAR(withoutPreEq[11], 0.0, 1e-4);
    EXPECT_NEAR(expected[3] - withoutPreEq[3], 3.0, 1e-9); // half of a +6 dB peak at its centre
}

TEST_F(ToneCurve, ApplyingTheSameSettingsTwiceChangesNothing)
{
    s.amount = 1.0;
    s.tiltDecibelsPerOctave = 2.0;
    s.highPassOn = true;
    s.highPassHertz = 300.0;
    s.preEq[1].gainDecibels = 5.0;
    const Channels noise = {pinkNoise(frames(1.0, 48000), 48000, 4)};
    ToneCorrector once, twice;
    prepareWith(once, ToneSettings{}, 48000);
    prepareWith(twice, ToneSettings{}, 48000);
    runBlocks(once, noise, 256);
    runBlocks(twice, noise, 256);
    once.settings = s;
    once.applySettings();
    twice.settings = s;
    twice.applySettings();
    twice.applySettings();
    EXPECT_EQ(runBlocks(once, noise, 256), runBlocks(twice, noise, 256));
}

} // namespace
