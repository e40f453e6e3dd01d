#pragma once

#include "dsp/Bands.h"
#include "dsp/Biquad.h"
#include "dsp/ToneSettings.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace aubrevane::dsp
{

/**
 * The tone engine: high-pass, low-pass and pre-EQ in front, a 12-band analysis bank, 12 adaptive peaking filters
 * that steer the measured balance toward a target, and an output gain. A control tick runs every 32 samples of
 * the stream. One plain object: no heap, no locks, no atomics; prepare() before process().
 *
 * Callers copy a whole ToneSettings into `settings` and then call applySettings(). The public fields below are the
 * ones the plug-in and the offline analysis read or write directly; process(), prepare(), applySettings(),
 * learnFromBalance() and those writes must not overlap.
 */
class ToneCorrector
{
public:
    static constexpr double kMakeupBoostDecibels = 6.0; // upper limit of the automatic makeup gain
    static constexpr int kTickSamples = 32;
    static constexpr int kRingFrames = 512;
    static constexpr int kMaxChannels = 2;                     // channels beyond these pass through untouched
    static constexpr int kMaxPathSections = 2 + 4 + kNumBands; // high-pass, low-pass, pre-EQ, correction

    /** One pre-EQ node as the engine designs it: the current state of the filters, or their glide target. */
    struct PreEqState
    {
        double hertz = 1000.0;
        double gainDecibels = 0.0;
        double q = 0.707;
    };

    ToneCorrector() noexcept;

    /** Main or worker thread, never during process(): designs everything for the rate and clears running state. */
    void prepare(double sampleRate) noexcept;

    /** Derives targets, curves, weights and time constants from `settings`; call after every change of it. */
    void applySettings() noexcept;

    /**
     * Audio thread (or the offline worker): runs numFrames frames. Channels 0 and 1 are processed, any further
     * channel is copied through. Inputs and outputs may be the same buffers.
     */
    template <typename T>
    void process(const T* const* inputs, T* const* outputs, int numChannels, int numFrames) noexcept;

    /** Learning from the input ends after this many gated control ticks: three seconds of them. */
    double ticksToLearn() const noexcept { return std::max(1.0, 3.0 * sampleRate / kTickSamples); }

    /** Installs a target balance (from a file, a factory target or restored state). */
    void learnFromBalance(const Balance& balance) noexcept;

    /** The five coefficients of pre-EQ node `node` (0..3) designed from `state` at the prepared rate. */
    BiquadCoefficients preEqDesign(int node, const PreEqState& state) const noexcept;

    /** Whether the pre-EQ sections and the correction sections currently run in the sample loop. */
    bool preEqRunning() const noexcept { return preEqActive; }
    bool correctionRunning() const noexcept { return correctionActive; }

    // Public fields, in the engine's declaration order (private state is interleaved where it belongs).
    double sampleRate = 48000.0;
    ToneSettings settings;
    std::array<bool, kNumBands> bandActive{}; // a band is active when its centre lies below 0.45 * sampleRate

private:
    friend struct ToneCorrectorProbe; // lets the tests read the derived curves and coefficients

    int numActiveBands = 0; // the centres rise, so the active bands are always bands 0 to numActiveBands - 1

    // The settings as applySettings() took them, with non-finite values replaced by their defaults; the sample
    // loop and the control tick read this copy, so a NaN handed in can never reach a gain or a coefficient.
    ToneSettings appliedSettings;

    struct BandDesign
    {
        double cosW0 = 1.0;
        double alpha = 0.0;
    };
    struct GlideCoefficients
    {
        double slow = 0.0;
        double fast = 0.0;
    };
    struct GainPair
    {
        double current = 1.0;
        double target = 1.0;
    };
    struct EnergyPair
    {
        double input = 0.0;
        double output = 0.0;
    };

    using BandArray = std::array<double, kNumBands>;

    void calibrateBands() noexcept;
    void buildInverseInteraction() noexcept;
    void designPreEq() noexcept;
    void designFrontFilters() noexcept;
    void designLoudnessWeighting() noexcept;
    void resetRunningState() noexcept;
    void sanitizeState() noexcept;
    void controlTick() noexcept;
    void glideFilters() noexcept;
    void glidePreEq() noexcept;
    void updateMakeup(bool sustained, int readIndex) noexcept;

    template <int Channels, typename T>
    void processRun(const T* const* inputs, T* const* outputs, int offset, int count) noexcept;

    std::array<Biquad, kNumBands> analysisStageA, analysisStageB;
    std::array<BandDesign, kNumBands> bandDesign;
    std::array<std::array<Biquad, kNumBands>, kMaxChannels> correctionFilters;
    std::array<BandArray, kNumBands> inverseInteraction{};

public:
    BandArray bandPowers{}; // mean square of each analysis band, smoothed 15 ms

private:
    BandArray measuredBalance{}, bandLevels{}, noiseFloor{};

public:
    BandArray appliedGainDecibels{}; // what the correction sections were last designed with

private:
    BandArray glideGainDecibels{}, regionWeight{}, rangeFade{};
    GlideCoefficients glideCoefficients;
    // Calibrated band levels of one tick, in dB and as powers (the same value, kept both ways so that reading a
    // delayed frame needs no power of ten).
    struct LevelFrame
    {
        BandArray decibels{}, powers{};
    };
    std::array<LevelFrame, kRingFrames> levelRing{};

public:
    BandArray bandFrameDecibels{}; // calibrated band levels of the last control tick; 0 for inactive bands

private:
    BandArray smoothedPowers{};

    std::array<Biquad, kMaxChannels> highPassFilters, lowPassFilters;
    std::array<std::array<Biquad, 4>, kMaxChannels> preEqFilters;
    std::array<PreEqState, 4> preEqCurrent, preEqTarget;
    bool preEqPrimed = false;
    bool preEqActive = false;

public:
    bool preEqShelfChanged = false; // set by the caller when a node's shelf switch changed; cleared on redesign

private:
    std::array<double, 2> filterHertz{}, filterTargetHertz{}; // high-pass, low-pass
    GainPair outputGain;
    double outputGainCoefficient = 0.0;

    std::array<Biquad, 2> inputWeighting, outputWeighting;
    double inputEnergy = 0.0, outputEnergy = 0.0;
    std::array<EnergyPair, kRingFrames> energyRing{};
    EnergyPair makeupSums;
    double makeupEstimate = -1000.0, makeupCoefficient = 0.0;
    std::int32_t makeupCount = 0, makeupPeriod = 1;
    double makeupDecibels = 0.0;

public:
    BandArray targetOffsetDecibels{}; // target balance minus the reference (or expected) curve
    BandArray targetBalance{};        // the installed target balance
    BandArray learnSums{};            // band powers summed while learning

private:
    BandArray referenceDecibels{}, expectedDecibels{}, bandCalibration{};
    BandArray calibrationGain{}; // 10^(-bandCalibration / 10), the calibration as a power factor
    double calibratedSampleRate = 0.0;

public:
    bool targetValid = false;
    bool learning = false;
    std::int32_t learnCount = 0; // gated control ticks counted while learning

private:
    std::int32_t writeIndex = 0, aboveCount = 0, belowCount = 0, delayTicks = 1, holdTicks = 1;
    double gatePower = 0.0, gateCoefficient = 0.0, bandCoefficient = 0.0, measureCoefficient = 0.0;
    double floorCoefficient = 0.0;
    std::int32_t sampleCounter = 0;
    bool correctionActive = false;

public:
    bool aboveThreshold = false; // the gate level was above thresholdDecibels at the last control tick
};

extern template void ToneCorrector::process<double>(const double* const*, double* const*, int, int) noexcept;
extern template void ToneCorrector::process<float>(const float* const*, float* const*, int, int) noexcept;

} // namespace aubrevane::dsp
