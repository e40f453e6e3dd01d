#include "CorrectionHarness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace
{

using namespace aubrevane::test;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

ToneSettings busySettings()
{
    ToneSettings s;
    s.amount = 1.0;
    s.highPassOn = s.lowPassOn = true;
    s.highPassHertz = 60.0;
    s.preEq[2].gainDecibels = 4.0;
    return s;
}

bool allFinite(const std::vector<double>& samples)
{
    return std::all_of(samples.begin(), samples.end(), [](double x) { return std::isfinite(x); });
}

class ToneCorrectorBadSample : public testing::TestWithParam<double>
{
};

TEST_P(ToneCorrectorBadSample, DoesNotStickAndTheEngineKeepsCorrecting)
{
    ToneCorrector engine;
    prepareWith(engine, busySettings(), 48000);
    const std::size_t n = frames(3.0, 48000);
    Channels input = {pinkNoise(n, 48000, 1, testColour), pinkNoise(n, 48000, 2, testColour)};
    input[0][frames(1.0, 48000)] = GetParam();
    input[1][frames(1.0, 48000) + 5] = -GetParam();
    const Channels output = runBlocks(engine, input, 256);

    // Only samples up to the next control tick may suffer; from then on everything is finite again.
    const std::size_t settled = frames(1.0, 48000) + 64;
    for (const auto& channel : output)
        EXPECT_TRUE(allFinite(std::vector<double>(channel.begin() + settled, channel.end())));
    EXPECT_TRUE(engine.aboveThreshold);
    EXPECT_TRUE(engine.correctionRunning());
    for (int k = 0; k < 12; ++k)
    {
        EXPECT_TRUE(std::isfinite(engine.bandPowers[k]));
        EXPECT_TRUE(std::isfinite(engine.appliedGainDecibels[k]));
    }
}

INSTANTIATE_TEST_SUITE_P(Values, ToneCorrectorBadSample, testing::Values(kNaN, kInfinity, -kInfinity));

TEST(ToneCorrectorRobustness, OverflowingSampleLeavesNoNaNBehind)
{
    ToneCorrector engine;
    prepareWith(engine, busySettings(), 48000);
    Channels input = {pinkNoise(frames(2.0, 48000), 48000, 1, testColour)};
    input[0][frames(1.0, 48000)] = 1e300; // finite, but its square is not
    const Channels output = runBlocks(engine, input, 256);
    EXPECT_TRUE(allFinite(std::vector<double>(output[0].begin() + frames(1.0, 48000) + 64, output[0].end())));
    for (int k = 0; k < 12; ++k)
        EXPECT_TRUE(std::isfinite(engine.appliedGainDecibels[k]));
}

TEST(ToneCorrectorRobustness, NaNSampleReadsAsSilence)
{
    ToneCorrector a, b;
    prepareWith(a, busySettings(), 48000);
    prepareWith(b, busySettings(), 48000);
    std::vector<double> withNaN = pinkNoise(frames(1.0, 48000), 48000, 4), withZero = withNaN;
    withNaN[1000] = kNaN;
    withZero[1000] = 0.0;
    EXPECT_EQ(runBlocks(a, {withNaN}, 128), runBlocks(b, {withZero}, 128));
}

struct BadSetting
{
    const char* name;
    void (*set)(ToneSettings&, double);
    double defaultValue;
};

class ToneCorrectorBadSetting : public testing::TestWithParam<BadSetting>
{
};

TEST_P(ToneCorrectorBadSetting, NonFiniteValueActsAsTheDefault)
{
    const Channels input = {pinkNoise(frames(2.0, 48000), 48000, 3, testColour)};
    ToneSettings defaulted = busySettings();
    GetParam().set(defaulted, GetParam().defaultValue);
    ToneCorrector reference;
    prepareWith(reference, defaulted, 48000);
    const Channels expected = runBlocks(reference, input, 512);
    for (double bad : {kNaN, kInfinity, -kInfinity})
    {
        ToneSettings s = busySettings();
        GetParam().set(s, bad);
        ToneCorrector engine;
        prepareWith(engine, s, 48000);
        EXPECT_EQ(runBlocks(engine, input, 512), expected) << GetParam().name << " = " << bad;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ToneCorrectorBadSetting,
    testing::Values(BadSetting{"tilt", [](ToneSettings& s, double v) { s.tiltDecibelsPerOctave = v; }, 0.0},
                    BadSetting{"speed", [](ToneSettings& s, double v) { s.speed = v; }, 0.5},
                    BadSetting{"amount", [](ToneSettings& s, double v) { s.amount = v; }, 0.0},
                    BadSetting{"pre-EQ Q", [](ToneSettings& s, double v) { s.preEq[1].q = v; }, 1.0},
                    BadSetting{"pre-EQ gain", [](ToneSettings& s, double v) { s.preEq[2].gainDecibels = v; }, 0.0},
                    BadSetting{"max boost", [](ToneSettings& s, double v) { s.maxBoostDecibels = v; }, 6.0},
                    BadSetting{"region gain", [](ToneSettings& s, double v) { s.regions[1].gainDecibels = v; }, 0.0},
                    BadSetting{"range", [](ToneSettings& s, double v) { s.rangeHighHertz = v; }, 20000.0},
                    BadSetting{"output", [](ToneSettings& s, double v) { s.outputDecibels = v; }, 0.0}),
    [](const testing::TestParamInfo<BadSetting>& info)
    {
        std::string name = info.param.name;
        std::replace_if(
            name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
        return name;
    });

TEST(ToneCorrectorRobustness, InstalledTargetsAreFiniteAndBounded)
{
    ToneCorrector engine;
    engine.prepare(48000);
    aubrevane::dsp::Balance wild{};
    wild[0] = kNaN;
    wild[1] = kInfinity;
    wild[2] = -1e9;
    wild[3] = 7.0;
    engine.learnFromBalance(wild);
    EXPECT_EQ(engine.targetBalance[0], 0.0);
    EXPECT_EQ(engine.targetBalance[1], 0.0);
    EXPECT_EQ(engine.targetBalance[2], -100.0);
    EXPECT_EQ(engine.targetBalance[3], 7.0);
    for (double offset : engine.targetOffsetDecibels)
        EXPECT_TRUE(std::isfinite(offset));
}

TEST(ToneCorrectorRobustness, GateCountersSaturateInsteadOfOverflowing)
{
    ToneSettings s;
    s.amount = 1.0;
    ToneCorrector engine;
    prepareWith(engine, s, 48000);
    runBlocks(engine, {pinkNoise(frames(1.0, 48000), 48000, 5)}, 512); // open and sustained
    ToneCorrectorProbe::aboveCount(engine) = std::numeric_limits<std::int32_t>::max() - 3;
    engine.learning = true;
    engine.learnCount = 0;
    runBlocks(engine, {pinkNoise(32 * 10, 48000, 6)}, 32);
    EXPECT_EQ(ToneCorrectorProbe::aboveCount(engine), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(engine.learnCount, 10); // still sustained on every tick

    runBlocks(engine, {std::vector<double>(frames(1.0, 48000))}, 512); // silence
    ToneCorrectorProbe::belowCount(engine) = std::numeric_limits<std::int32_t>::max() - 3;
    runBlocks(engine, {std::vector<double>(32 * 10)}, 32);
    EXPECT_EQ(ToneCorrectorProbe::belowCount(engine), std::numeric_limits<std::int32_t>::max());
}

} // namespace
