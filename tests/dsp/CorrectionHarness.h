#pragma once

// Runs coloured noise through an engine long enough for the correction to settle, and measures input and output
// band levels independently of the engine (FFT over whole noise periods).

#include "EngineHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>

namespace aubrevane::test
{

struct BandReadings
{
    std::array<double, 12> inputLevels, outputLevels, inputBalance, outputBalance;

    /** Output level minus input level per band: what the engine did to each band, in dB. */
    double change(int band) const { return outputLevels[band] - inputLevels[band]; }
};

/** The noise period at a rate: the power of two nearest above one second, so FFT bins are about 1 Hz apart. */
inline std::size_t noisePeriod(double sampleRate)
{
    return std::bit_ceil(static_cast<std::size_t>(sampleRate));
}

/** `settleSeconds` (rounded up to whole periods) then two more periods of stereo pink noise times `colour`. */
inline BandReadings settleAndMeasure(ToneCorrector& engine, const Colour& colour, double settleSeconds,
                                     std::uint32_t seed = 1, double rmsDecibels = -20.0)
{
    const double rate = engine.sampleRate;
    const std::size_t period = noisePeriod(rate);
    const std::size_t settlePeriods = static_cast<std::size_t>(std::ceil(settleSeconds * rate / period));
    const std::size_t total = (settlePeriods + 2) * period;
    const Channels input = {pinkNoise(total, rate, seed, colour, rmsDecibels, period),
                            pinkNoise(total, rate, seed + 1, colour, rmsDecibels, period)};
    const Channels output = runBlocks(engine, input, 512);
    const std::size_t start = settlePeriods * period;
    BandReadings r;
    r.inputLevels = measureBandLevels(input[0].data() + start, 2 * period, rate, period);
    r.outputLevels = measureBandLevels(output[0].data() + start, 2 * period, rate, period);
    r.inputBalance = measureBalance(input[0].data() + start, 2 * period, rate, period);
    r.outputBalance = measureBalance(output[0].data() + start, 2 * period, rate, period);
    return r;
}

/**
 * How close a settled band must come to its goal. The correction peaks are designed from band-centre responses
 * while the measurement integrates each 2/3-octave band, so a share of a deviation remains: at least 55 % of it
 * must be gone and no band may stay more than 2 dB off (half a decibel is always allowed).
 */
inline ::testing::AssertionResult settledNear(double output, double goal, double start)
{
    const double error = std::abs(output - goal);
    const double allowed = std::min(2.0, std::max(0.5, 0.45 * std::abs(start - goal)));
    if (error <= allowed)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "settled at " << output << " dB for a goal of " << goal << " dB from "
                                         << start << " dB (allowed error " << allowed << " dB)";
}

/** The known EQ of the convergence tests: +6 dB at 400 Hz and -6 dB at 4 kHz. */
inline double testColour(double hertz)
{
    return peakDecibels(hertz, 400.0, 6.0) + peakDecibels(hertz, 4000.0, -6.0);
}

} // namespace aubrevane::test
