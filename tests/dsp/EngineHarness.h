#pragma once

// Helpers shared by the engine's tests: a prepared engine, running signals through it in blocks, and a window
// into the engine's derived values.

#include "dsp/ToneCorrector.h"
#include "support/Signals.h"

#include <algorithm>
#include <vector>

namespace aubrevane::dsp
{

/** Read and poke access to the engine's private state for the tests (the class names it its friend). */
struct ToneCorrectorProbe
{
    static const auto& referenceDecibels(const ToneCorrector& e) { return e.referenceDecibels; }
    static const auto& expectedDecibels(const ToneCorrector& e) { return e.expectedDecibels; }
    static const auto& regionWeight(const ToneCorrector& e) { return e.regionWeight; }
    static const auto& rangeFade(const ToneCorrector& e) { return e.rangeFade; }
    static const auto& bandCalibration(const ToneCorrector& e) { return e.bandCalibration; }
    static const auto& filterTargetHertz(const ToneCorrector& e) { return e.filterTargetHertz; }
    static const auto& preEqTarget(const ToneCorrector& e) { return e.preEqTarget; }
    static const auto& measuredBalance(const ToneCorrector& e) { return e.measuredBalance; }
    static double measureCoefficient(const ToneCorrector& e) { return e.measureCoefficient; }
    static double slowCoefficient(const ToneCorrector& e) { return e.glideCoefficients.slow; }
    static double fastCoefficient(const ToneCorrector& e) { return e.glideCoefficients.fast; }
    static double targetOutputGain(const ToneCorrector& e) { return e.outputGain.target; }
    static int makeupPeriod(const ToneCorrector& e) { return e.makeupPeriod; }
    static int delayTicks(const ToneCorrector& e) { return e.delayTicks; }
    static int holdTicks(const ToneCorrector& e) { return e.holdTicks; }
    static std::int32_t& aboveCount(ToneCorrector& e) { return e.aboveCount; }
    static std::int32_t& belowCount(ToneCorrector& e) { return e.belowCount; }
    static auto& noiseFloor(ToneCorrector& e) { return e.noiseFloor; }
};

} // namespace aubrevane::dsp

namespace aubrevane::test
{

using dsp::ToneCorrector;
using dsp::ToneCorrectorProbe;
using dsp::ToneSettings;
using Channels = std::vector<std::vector<double>>;

inline void prepareWith(ToneCorrector& engine, const ToneSettings& settings, double sampleRate)
{
    engine.settings = settings;
    engine.prepare(sampleRate);
}

/** Runs `input` through the engine in calls of `blockFrames` frames (the last call may be shorter). */
inline Channels runBlocks(ToneCorrector& engine, const Channels& input, int blockFrames)
{
    Channels output(input.size(), std::vector<double>(input[0].size()));
    std::vector<const double*> in(input.size());
    std::vector<double*> out(input.size());
    const int total = static_cast<int>(input[0].size());
    for (int start = 0; start < total; start += blockFrames)
    {
        for (std::size_t c = 0; c < input.size(); ++c)
        {
            in[c] = input[c].data() + start;
            out[c] = output[c].data() + start;
        }
        engine.process(in.data(), out.data(), static_cast<int>(input.size()), std::min(blockFrames, total - start));
    }
    return output;
}

inline Channels stereo(const std::vector<double>& left, const std::vector<double>& right)
{
    return {left, right};
}

/** Seconds at `sampleRate` as a frame count. */
inline std::size_t frames(double seconds, double sampleRate)
{
    return static_cast<std::size_t>(seconds * sampleRate);
}

} // namespace aubrevane::test
