#include "offline/BalanceMeasurement.h"

#include "offline/ReferenceDecoder.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace aubrevane::offline
{
namespace
{

std::vector<float> asFloats(const std::vector<double>& samples)
{
    return {samples.begin(), samples.end()};
}

std::vector<float> pink(double seconds, double sampleRate, const test::Colour& colour = test::flatColour,
                        double rmsDecibels = -20.0)
{
    return asFloats(
        test::pinkNoise(static_cast<std::size_t>(seconds * sampleRate), sampleRate, 7, colour, rmsDecibels));
}

const std::string kTooShort = "the file is too short to learn from";
const std::string kTooQuiet = "the file is silent or too quiet to learn from";
const std::string kNotLoudLongEnough = "less than two seconds of the file was loud enough to learn from";

/** Runs the measurement and gives its message, or "" on success. */
std::string failureOf(const std::vector<float>& samples, double sampleRate)
{
    dsp::Balance balance{};
    std::string message;
    return measureBalance(samples, sampleRate, balance, message) ? std::string() : message;
}

TEST(BalanceMeasurement, RejectsShortSilentAndBarelyLoudFilesInThatOrder)
{
    const double rate = 48000.0;
    const auto noise = pink(3.0, rate);
    const auto firstSamples = [&](std::size_t n) { return std::vector<float>(noise.begin(), noise.begin() + n); };

    EXPECT_EQ(failureOf(firstSamples(40 * 2400 - 1), rate), kTooShort);
    EXPECT_EQ(failureOf(firstSamples(40 * 2400), rate), kNotLoudLongEnough); // long enough, but 1.5 s after warm-up
    EXPECT_EQ(failureOf(std::vector<float>(40 * 2400 - 1), rate), kTooShort);
    EXPECT_EQ(failureOf(std::vector<float>(5 * 48000), rate), kTooQuiet);
    EXPECT_EQ(failureOf(firstSamples(static_cast<std::size_t>(2.4 * rate)), rate), kNotLoudLongEnough);
    EXPECT_EQ(failureOf(noise, rate), "");
    EXPECT_EQ(failureOf(pink(3.0, rate, test::flatColour, -85.0), rate), kTooQuiet);
    EXPECT_EQ(failureOf(std::vector<float>(40), 10.0), kTooQuiet); // at 10 Hz a block is one sample
    EXPECT_EQ(failureOf(std::vector<float>(39), 10.0), kTooShort);
}

TEST(BalanceMeasurement, TheLoudLevelIsTheTenthLoudestOfAHundredBlocks)
{
    const double rate = 48000.0;
    const auto noise = pink(5.0, rate);
    for (int loudBlocks : {9, 10})
    {
        std::vector<float> samples(100 * 2400, 0.0f);
        std::copy(noise.begin(), noise.begin() + loudBlocks * 2400, samples.begin() + 2400 * 40);
        // Ten loud blocks (half a second) clear the silence check but are far too little to learn from.
        EXPECT_EQ(failureOf(samples, rate), loudBlocks == 10 ? kNotLoudLongEnough : kTooQuiet) << loudBlocks;
    }
}

double midMean(const dsp::Balance& values)
{
    double sum = 0.0;
    for (int k = dsp::kFirstMidBand; k <= dsp::kLastMidBand; ++k)
        sum += values[k];
    return sum / (dsp::kLastMidBand - dsp::kFirstMidBand + 1);
}

TEST(BalanceMeasurement, AColouredReferenceShowsTheShapeOfItsColouring)
{
    const double rate = 48000.0;
    const test::Colour colour = [](double hertz)
    { return test::peakDecibels(hertz, 400.0, 8.0, 0.7) + test::peakDecibels(hertz, 6400.0, -9.0, 0.7); };
    dsp::Balance flat{}, coloured{};
    std::string message;
    ASSERT_TRUE(measureBalance(pink(8.0, rate), rate, flat, message)) << message;
    ASSERT_TRUE(measureBalance(pink(8.0, rate, colour), rate, coloured, message)) << message;

    // The colouring's response at the band centres, relative to its own mid-band mean, is what the balance must move.
    dsp::Balance shape{};
    for (int k = 0; k < dsp::kNumBands; ++k)
        shape[k] = colour(dsp::kBandHertz[k]);
    const double shapeMean = midMean(shape);
    for (int k = 0; k < dsp::kNumBands; ++k)
        EXPECT_NEAR(coloured[k] - flat[k], shape[k] - shapeMean, 1.5) << "band " << k;
    EXPECT_NEAR(midMean(coloured), 0.0, 1e-9);
}

TEST(BalanceMeasurement, AGainChangeOfTheFileLeavesTheBalance)
{
    const double rate = 44100.0;
    const test::Colour colour = [](double hertz) { return test::peakDecibels(hertz, 2500.0, 6.0); };
    dsp::Balance loud{}, quiet{};
    std::string message;
    ASSERT_TRUE(measureBalance(pink(4.0, rate, colour, -6.0), rate, loud, message)) << message;
    ASSERT_TRUE(measureBalance(pink(4.0, rate, colour, -50.0), rate, quiet, message)) << message;
    for (int k = 0; k < dsp::kNumBands; ++k)
        EXPECT_NEAR(loud[k], quiet[k], 0.05) << "band " << k;
}

TEST(BalanceMeasurement, BandsAboveTheFileRateReadZeroAndLeaveTheMidMeanAlone)
{
    const double rate = 16000.0;
    dsp::Balance balance{};
    std::string message;
    ASSERT_TRUE(measureBalance(pink(4.0, rate), rate, balance, message)) << message;
    for (int k = 0; k < dsp::kNumBands; ++k)
    {
        if (dsp::kBandHertz[k] < 0.45 * rate)
            EXPECT_LT(std::fabs(balance[k]), 20.0) << "band " << k;
        else
            EXPECT_EQ(balance[k], 0.0) << "band " << k;
    }
    EXPECT_NEAR(midMean(balance), 0.0, 1e-9);

    // A file at 8 kHz has no 4 kHz band; the mean of the remaining mid bands is still the reference.
    ASSERT_TRUE(measureBalance(pink(4.0, 8000.0), 8000.0, balance, message)) << message;
    EXPECT_EQ(balance[8], 0.0);
    double sum = 0.0;
    for (int k = 2; k <= 7; ++k)
        sum += balance[k];
    EXPECT_NEAR(sum / 6.0, 0.0, 1e-9);
}

TEST(BalanceMeasurement, NonFiniteSamplesDoNotPoisonTheResult)
{
    const double rate = 44100.0;
    auto samples = pink(4.0, rate);
    dsp::Balance clean{}, poisoned{};
    std::string message;
    ASSERT_TRUE(measureBalance(samples, rate, clean, message)) << message;
    for (std::size_t i = 1000; i < samples.size(); i += 44100)
        samples[i] = i % 2 ? std::numeric_limits<float>::infinity() : std::nanf("");
    ASSERT_TRUE(measureBalance(samples, rate, poisoned, message)) << message;
    for (int k = 0; k < dsp::kNumBands; ++k)
    {
        ASSERT_TRUE(std::isfinite(poisoned[k])) << "band " << k;
        EXPECT_NEAR(poisoned[k], clean[k], 0.5) << "band " << k;
    }
}

TEST(BalanceMeasurement, FailureLeavesTheBalanceAndACancelStopsIt)
{
    dsp::Balance balance{};
    balance.fill(3.25);
    std::string message;
    EXPECT_FALSE(measureBalance(std::vector<float>(100), 48000.0, balance, message));
    const std::atomic<bool> cancel{true};
    EXPECT_FALSE(measureBalance(pink(3.0, 48000.0), 48000.0, balance, message, &cancel));
    EXPECT_EQ(message, kCancelledMessage);
    for (double value : balance)
        EXPECT_EQ(value, 3.25);
}

} // namespace
} // namespace aubrevane::offline
