#include "dsp/ToneCorrector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace
{

using aubrevane::dsp::balanceFromPowers;
using aubrevane::dsp::ToneCorrector;
using aubrevane::dsp::ToneSettings;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(ToneSettings, NaNNeverComparesEqualButSignedZerosDo)
{
    ToneSettings a, b;
    EXPECT_EQ(a, b);
    a.tiltDecibelsPerOctave = kNaN;
    b.tiltDecibelsPerOctave = kNaN;
    EXPECT_NE(a, b);

    ToneSettings c, d;
    c.outputDecibels = 0.0;
    d.outputDecibels = -0.0;
    EXPECT_EQ(c, d);
    c.regions[2].gainDecibels = kNaN;
    EXPECT_NE(c, d);
}

TEST(ToneSettings, ShelfFlagsOfTheMiddleNodesStillTakePartInTheComparison)
{
    // The engine ignores them, but a preset that differs only there is a different preset.
    for (int node : {1, 2})
    {
        ToneSettings changed;
        changed.preEq[node].shelf = true;
        EXPECT_NE(changed, ToneSettings{}) << "node " << node;
    }
}

struct ActiveBandsCase
{
    double sampleRate;
    int activeBands;
};

class ToneBandsAtRate : public testing::TestWithParam<ActiveBandsCase>
{
};

TEST_P(ToneBandsAtRate, BandsBelowFortyFivePercentOfTheRateAreActive)
{
    ToneCorrector engine;
    engine.prepare(GetParam().sampleRate);
    for (int k = 0; k < aubrevane::dsp::kNumBands; ++k)
        EXPECT_EQ(engine.bandActive[k], k < GetParam().activeBands) << "band " << k;
}

INSTANTIATE_TEST_SUITE_P(Rates, ToneBandsAtRate,
                         testing::Values(ActiveBandsCase{8000, 8}, ActiveBandsCase{22050, 10},
                                         ActiveBandsCase{32000, 11}, ActiveBandsCase{44100, 12},
                                         ActiveBandsCase{48000, 12}, ActiveBandsCase{192000, 12}));

TEST(ToneBands, ABandCentredExactlyOnFortyFivePercentOfTheRateIsInactive)
{
    double rate = 6400.0 / 0.45;
    while (0.45 * rate < 6400.0)
        rate = std::nextafter(rate, 1e9);
    while (0.45 * rate > 6400.0)
        rate = std::nextafter(rate, 0.0);
    ASSERT_EQ(0.45 * rate, 6400.0);
    ToneCorrector engine;
    engine.prepare(rate);
    EXPECT_TRUE(engine.bandActive[8]);
    EXPECT_FALSE(engine.bandActive[9]);
}

TEST(BalanceFromPowers, LevelsAreRelativeToTheMeanOfTheMaskedMidBands)
{
    std::array<double, 12> powers{};
    powers.fill(1e-3); // -30 dB
    powers[4] = 1e-2;  // -20 dB
    std::array<bool, 12> mask{};
    mask.fill(true);
    mask[11] = false;
    const auto balance = balanceFromPowers(powers, mask);
    const double mean = (6 * -30.0 - 20.0) / 7.0;
    EXPECT_NEAR(balance[0], -30.0 - mean, 1e-9);
    EXPECT_NEAR(balance[4], -20.0 - mean, 1e-9);
    EXPECT_EQ(balance[11], 0.0);

    mask.fill(false);
    mask[0] = true; // no mid band masked: the mean is taken as 0
    EXPECT_NEAR(balanceFromPowers(powers, mask)[0], -30.0, 1e-9);
}

} // namespace
