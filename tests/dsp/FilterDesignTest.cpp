#include "dsp/FilterDesign.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace
{

using namespace aubrevane::dsp;

constexpr double kRate = 48000.0;

double responseAt(const BiquadCoefficients& s, double hertz)
{
    return 10.0 * std::log10(powerResponse(s, 2.0 * std::numbers::pi * hertz / kRate));
}

TEST(FilterDesign, SectionsHaveTheirDesignedGain)
{
    const double w0 = 2.0 * std::numbers::pi * 1000.0 / kRate, cosW0 = std::cos(w0);
    const double amplitude = std::pow(10.0, 6.0 / 40.0), alpha = std::sin(w0) / 2.0;
    EXPECT_NEAR(responseAt(peakingFromAmplitude(amplitude, cosW0, alpha), 1000.0), 6.0, 1e-9);
    EXPECT_NEAR(responseAt(peakingFromAmplitude(amplitude, cosW0, alpha), 20.0), 0.0, 0.01);

    const auto lowShelf = shelfFromAmplitude(false, amplitude, cosW0, alpha);
    EXPECT_NEAR(responseAt(lowShelf, 20.0), 6.0, 0.05);
    EXPECT_NEAR(responseAt(lowShelf, 1000.0), 3.0, 1e-9); // half the gain at the corner
    EXPECT_NEAR(responseAt(lowShelf, 15000.0), 0.0, 0.05);
    const auto highShelf = shelfFromAmplitude(true, amplitude, cosW0, alpha);
    EXPECT_NEAR(responseAt(highShelf, 20.0), 0.0, 0.05);
    EXPECT_NEAR(responseAt(highShelf, 15000.0), 6.0, 0.05);

    const auto high = highPass(1000.0, kRate), low = lowPass(1000.0, kRate);
    EXPECT_NEAR(responseAt(high, 1000.0), -3.0103, 1e-3);
    EXPECT_NEAR(responseAt(low, 1000.0), -3.0103, 1e-3);
    EXPECT_LT(responseAt(high, 100.0), -39.0); // 12 dB per octave
    EXPECT_LT(responseAt(low, 10000.0), -39.0);
}

} // namespace
