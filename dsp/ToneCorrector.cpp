#include "dsp/ToneCorrector.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "dsp/FilterDesign.h"
#include "dsp/Lanes.h"

namespace aubrevane::dsp
{

namespace
{

constexpr double kPi = 3.14159265358979323846;
constexpr double kUnset = -1000.0;             // marks a level not yet measured
constexpr double kTargetLimitDecibels = 100.0; // installed targets are kept within +-100 dB
constexpr double kGainLimitDecibels = 24.0;
constexpr double kGainStepDecibels = 0.05; // the most a correction gain moves in one tick

double decibels(double power) noexcept
{
    return 10.0 * std::log10(power + 1e-30);
}

/** Nearest integer with halves away from zero. */
std::int32_t nearest(double x) noexcept
{
    return static_cast<std::int32_t>(std::lround(x));
}

double saneTargetDecibels(double value) noexcept
{
    return std::isfinite(value) ? std::clamp(value, -kTargetLimitDecibels, kTargetLimitDecibels) : 0.0;
}

void incrementSaturating(std::int32_t& count) noexcept
{
    if (count < std::numeric_limits<std::int32_t>::max())
        ++count;
}

void replaceNonFinite(double& value, double fallback) noexcept
{
    if (!std::isfinite(value))
        value = fallback;
}

void replaceNonPositive(double& value, double fallback) noexcept
{
    if (!std::isfinite(value) || value <= 0.0)
        value = fallback;
}

/** The settings with every non-finite number (and every non-positive region or range frequency) at its default. */
ToneSettings finiteSettings(const ToneSettings& given) noexcept
{
    const ToneSettings defaults{};
    ToneSettings s = given;
    replaceNonFinite(s.amount, defaults.amount);
    replaceNonFinite(s.speed, defaults.speed);
    replaceNonFinite(s.thresholdDecibels, defaults.thresholdDecibels);
    replaceNonFinite(s.maxBoostDecibels, defaults.maxBoostDecibels);
    replaceNonFinite(s.maxCutDecibels, defaults.maxCutDecibels);
    for (std::size_t r = 0; r < s.regions.size(); ++r)
    {
        replaceNonPositive(s.regions[r].hertz, kDefaultRegions[r].hertz);
        replaceNonFinite(s.regions[r].gainDecibels, kDefaultRegions[r].gainDecibels);
    }
    replaceNonFinite(s.highPassHertz, defaults.highPassHertz);
    replaceNonFinite(s.lowPassHertz, defaults.lowPassHertz);
    replaceNonFinite(s.outputDecibels, defaults.outputDecibels);
    replaceNonFinite(s.tiltDecibelsPerOctave, defaults.tiltDecibelsPerOctave);
    replaceNonPositive(s.rangeLowHertz, defaults.rangeLowHertz);
    replaceNonPositive(s.rangeHighHertz, defaults.rangeHighHertz);
    for (std::size_t n = 0; n < s.preEq.size(); ++n)
    {
        replaceNonFinite(s.preEq[n].hertz, kDefaultPreEq[n].hertz);
        replaceNonFinite(s.preEq[n].gainDecibels, kDefaultPreEq[n].gainDecibels);
        replaceNonFinite(s.preEq[n].q, kDefaultPreEq[n].q);
    }
    replaceNonFinite(s.preEqRespect, defaults.preEqRespect);
    return s;
}

template <typename T> double finiteSample(T sample) noexcept
{
    const double x = static_cast<double>(sample);
    return std::isfinite(x) ? x : 0.0;
}

} // namespace

ToneCorrector::ToneCorrector() noexcept
{
    appliedSettings = settings;
}

BiquadCoefficients ToneCorrector::preEqDesign(int node, const PreEqState& state) const noexcept
{
    // low shelf at node 0, high shelf at node 3
    const bool shelf = (node == 0 || node == 3) && appliedSettings.preEq[node].shelf;
    return preEqSection(shelf, node == 3, state.hertz, state.gainDecibels, state.q, sampleRate);
}

void ToneCorrector::designPreEq() noexcept
{
    preEqActive = false;
    for (int n = 0; n < 4; ++n)
    {
        const BiquadCoefficients c = preEqDesign(n, preEqCurrent[n]);
        for (auto& channel : preEqFilters)
            channel[n].setCoefficients(c);
        if (preEqCurrent[n].gainDecibels != 0.0) // a NaN counts as not 0
            preEqActive = true;
    }
    if (!preEqActive)
        for (auto& channel : preEqFilters)
            for (auto& section : channel)
                section.clearState();
}

void ToneCorrector::designFrontFilters() noexcept
{
    const BiquadCoefficients high = highPass(filterHertz[0], sampleRate);
    const BiquadCoefficients low = lowPass(filterHertz[1], sampleRate);
    for (int c = 0; c < kMaxChannels; ++c)
    {
        highPassFilters[c].setCoefficients(high);
        lowPassFilters[c].setCoefficients(low);
    }
}

void ToneCorrector::designLoudnessWeighting() noexcept
{
    // K-weighting (ITU-R BS.1770) formed at any rate from its prototype: a high shelf, then a high-pass.
    const double fs = sampleRate;
    BiquadCoefficients shelf;
    {
        const double K = std::tan(5284.078578647628 / fs), Q1 = 0.7071752369554196;
        const double Vh = 1.5848647011308556, Vb = 1.2587209302325617;
        const double a0 = 1.0 + K / Q1 + K * K;
        shelf.b0 = (Vh + Vb * K / Q1 + K * K) / a0;
        shelf.b1 = 2.0 * (K * K - Vh) / a0;
        shelf.b2 = (Vh - Vb * K / Q1 + K * K) / a0;
        shelf.a1 = 2.0 * (K * K - 1.0) / a0;
        shelf.a2 = (1.0 - K / Q1 + K * K) / a0;
    }
    BiquadCoefficients highPassStage;
    {
        const double K = std::tan(119.8061151453059 / fs), Q2 = 0.5003270373238773;
        const double a0 = 1.0 + K / Q2 + K * K;
        highPassStage.b0 = 1.0;
        highPassStage.b1 = -2.0;
        highPassStage.b2 = 1.0;
        highPassStage.a1 = 2.0 * (K * K - 1.0) / a0;
        highPassStage.a2 = (1.0 - K / Q2 + K * K) / a0;
    }
    for (auto* weighting : {&inputWeighting, &outputWeighting})
    {
        (*weighting)[0].setCoefficients(shelf);
        (*weighting)[1].setCoefficients(highPassStage);
    }
}

void ToneCorrector::calibrateBands() noexcept
{
    if (sampleRate == calibratedSampleRate)
        return;
    calibratedSampleRate = sampleRate;

    // Power gain of the two-section cascade for a signal of equal power per unit of ln f between 10 Hz and
    // 0.499 fs (midpoint rule), so that pink noise reads the same level in every band.
    const double fs = sampleRate, L0 = std::log(10.0);
    const double step = (std::log(0.499 * fs) - L0) / 4000.0;
    for (int k = 0; k < kNumBands; ++k)
    {
        bandCalibration[k] = 0.0;
        calibrationGain[k] = 1.0;
        if (!bandActive[k])
            continue;
        const double w0 = 2.0 * kPi * kBandHertz[k] / fs;
        const BiquadCoefficients c = bandPass(std::cos(w0), std::sin(w0) / 4.289815435887515);
        double S = 0.0;
        for (int n = 0; n < 4000; ++n)
        {
            const double f = std::exp((n + 0.5) * step + L0);
            const double p = powerResponse(c, 2.0 * kPi * f / fs);
            S += p * p * step;
        }
        bandCalibration[k] = 10.0 * std::log10(S);
        calibrationGain[k] = 1.0 / S;
    }
}

void ToneCorrector::buildInverseInteraction() noexcept
{
    // M[i][j]: the response at band i's centre of a +6 dB correction peak at band j, per dB.
    std::array<BandArray, kNumBands> m{}, inverse{};
    for (int i = 0; i < kNumBands; ++i)
    {
        if (!bandActive[i])
        {
            m[i][i] = 1.0;
            continue;
        }
        const double wi = 2.0 * kPi * kBandHertz[i] / sampleRate;
        for (int j = 0; j < kNumBands; ++j)
        {
            if (!bandActive[j])
                continue;
            const BiquadCoefficients peak =
                peakingFromAmplitude(1.4125375446227544, bandDesign[j].cosW0, bandDesign[j].alpha);
            m[i][j] = 10.0 * std::log10(powerResponse(peak, wi)) / 6.0;
        }
    }
    for (int i = 0; i < kNumBands; ++i)
        inverse[i][i] = 1.0;

    // Gauss-Jordan on [M | I] with partial pivoting; the first of equally large pivots wins.
    for (int k = 0; k < kNumBands; ++k)
    {
        int pivot = k;
        for (int r = k + 1; r < kNumBands; ++r)
            if (std::abs(m[r][k]) > std::abs(m[pivot][k]))
                pivot = r;
        std::swap(m[k], m[pivot]);
        std::swap(inverse[k], inverse[pivot]);
        const double divisor = m[k][k];
        for (int j = 0; j < kNumBands; ++j)
        {
            m[k][j] /= divisor;
            inverse[k][j] /= divisor;
        }
        for (int r = 0; r < kNumBands; ++r)
        {
            if (r == k)
                continue;
            const double factor = m[r][k];
            for (int j = 0; j < kNumBands; ++j)
            {
                m[r][j] -= factor * m[k][j];
                inverse[r][j] -= factor * inverse[k][j];
            }
        }
    }
    inverseInteraction = inverse;
}

void ToneCorrector::prepare(double rate) noexcept
{
    sampleRate = rate;
    const double fs = sampleRate;

    numActiveBands = 0;
    for (int k = 0; k < kNumBands; ++k)
    {
        bandActive[k] = kBandHertz[k] < 0.45 * fs;
        numActiveBands += bandActive[k] ? 1 : 0; // the centres rise, so the active bands are the lowest ones
        if (!bandActive[k])
            continue; // an inactive band's sections keep their coefficients
        const double w0 = 2.0 * kPi * kBandHertz[k] / fs;
        bandDesign[k] = {std::cos(w0), std::sin(w0) / 4.289815435887515};
        const BiquadCoefficients c = bandPass(bandDesign[k].cosW0, bandDesign[k].alpha);
        analysisStageA[k].setCoefficients(c);
        analysisStageB[k].setCoefficients(c);
    }
    buildInverseInteraction();
    calibrateBands();
    designLoudnessWeighting();

    makeupPeriod = nearest(0.1 * fs / kTickSamples);
    if (makeupPeriod < 2)
        makeupPeriod = 1;
    delayTicks = nearest(0.05 * fs / kTickSamples);
    if (delayTicks < 2)
        delayTicks = 1;
    delayTicks = std::min(delayTicks, kRingFrames - 1);
    holdTicks = nearest(0.015 * fs / kTickSamples);
    if (holdTicks < 2)
        holdTicks = 1;

    gateCoefficient = outputGainCoefficient = 1.0 - std::exp(-1.0 / (0.01 * fs));
    bandCoefficient = 1.0 - std::exp(-1.0 / (0.015 * fs));
    floorCoefficient = 1.0 - std::exp(-kTickSamples / (2.0 * fs));
    makeupCoefficient = 0.048770575499285984; // 1 - e^-0.05 per makeup period, whatever the rate

    filterHertz[0] = 0.0; // so applySettings designs the front filters and the pre-EQ straight at their targets
    preEqPrimed = false;
    applySettings();
    resetRunningState();
}

void ToneCorrector::resetRunningState() noexcept
{
    for (int k = 0; k < kNumBands; ++k)
    {
        analysisStageA[k].clearState();
        analysisStageB[k].clearState();
        for (auto& channel : correctionFilters)
            channel[k].makeIdentity();
    }
    bandPowers.fill(0.0);
    measuredBalance.fill(kUnset);
    smoothedPowers.fill(-1.0);
    bandLevels.fill(kUnset);
    noiseFloor.fill(kUnset);
    appliedGainDecibels.fill(0.0);
    glideGainDecibels.fill(0.0);

    for (int c = 0; c < kMaxChannels; ++c)
    {
        highPassFilters[c].clearState();
        lowPassFilters[c].clearState();
        for (auto& section : preEqFilters[c])
            section.clearState();
    }
    for (auto& section : inputWeighting)
        section.clearState();
    for (auto& section : outputWeighting)
        section.clearState();

    inputEnergy = outputEnergy = 0.0;
    makeupSums = {};
    makeupCount = 0;
    makeupEstimate = kUnset;
    makeupDecibels = 0.0;
    outputGain.current = outputGain.target = std::pow(10.0, appliedSettings.outputDecibels / 20.0);
    learning = false;
    learnSums.fill(0.0);
    gatePower = 0.0;
    sampleCounter = 0;
    correctionActive = false;
    aboveThreshold = false;
    learnCount = 0;
    writeIndex = 0;
    aboveCount = 0;
    belowCount = 0;
}

void ToneCorrector::applySettings() noexcept
{
    appliedSettings = finiteSettings(settings);
    const ToneSettings& s = appliedSettings;
    const double fs = sampleRate;

    // Adaptation time constant: 5.6 s at speed 0, 0.947 s at 0.5, 0.16 s at 1.
    const double tau = s.speed < 0.0 ? 5.6 : 5.6 * std::pow(1.0 / 35.0, std::min(1.0, s.speed));
    const double measureSeconds = std::clamp(0.2 * tau, 0.05, 0.4);
    measureCoefficient = 1.0 - std::exp(-kTickSamples / (measureSeconds * fs));
    glideCoefficients.slow = 1.0 - std::exp(-kTickSamples / (tau * fs));
    glideCoefficients.fast = 1.0 - std::exp(-kTickSamples / (std::max(0.1, 0.1 * tau) * fs));

    filterTargetHertz = {designHertz(s.highPassHertz, fs), designHertz(s.lowPassHertz, fs)};
    if (filterHertz[0] <= 0.0)
    {
        filterHertz = filterTargetHertz;
        designFrontFilters();
    }

    outputGain.target = std::pow(10.0, (s.outputDecibels + makeupDecibels) / 20.0);

    for (int n = 0; n < 4; ++n)
    {
        const PreEqNode& node = s.preEq[n];
        preEqTarget[n].hertz = designHertz(node.hertz, fs);
        preEqTarget[n].gainDecibels = node.on ? node.gainDecibels : 0.0;
        preEqTarget[n].q = std::clamp(node.q, 0.1, 20.0);
    }
    if (!preEqPrimed)
    {
        preEqCurrent = preEqTarget;
        designPreEq();
        preEqPrimed = true;
    }

    // The expected curve follows the targets of the front filters at once, while the filters glide toward them.
    const BiquadCoefficients high = highPass(filterTargetHertz[0], fs), low = lowPass(filterTargetHertz[1], fs);
    std::array<BiquadCoefficients, 4> preEqTargetDesign;
    for (int n = 0; n < 4; ++n)
        preEqTargetDesign[n] = preEqDesign(n, preEqTarget[n]);

    const double rangeLow = std::min(s.rangeLowHertz, s.rangeHighHertz);
    const double rangeHigh = std::max(s.rangeLowHertz, s.rangeHighHertz);
    for (int k = 0; k < kNumBands; ++k)
    {
        const double f = kBandHertz[k];

        // Switched-on regions add a Gaussian bump (0.7 octave); switched-off ones carve a notch into the weight.
        double bump = 0.0, weight = 1.0;
        for (const ToneRegion& region : s.regions)
        {
            const double octaves = std::log2(f / region.hertz);
            if (region.on)
                bump += std::exp(-octaves * octaves / 0.98) * region.gainDecibels;
            else
                weight *= 1.0 - std::exp(-octaves * octaves / 0.605);
        }
        regionWeight[k] = weight;

        // Raised-cosine fade over the third of an octave outside the corrected range.
        const double outside = std::max({0.0, std::log2(f / rangeHigh), std::log2(rangeLow / f)});
        rangeFade[k] = outside >= 1.0 / 3.0 ? 0.0 : (std::cos(outside * kPi / (1.0 / 3.0)) + 1.0) / 2.0;

        referenceDecibels[k] = std::log2(f / 1000.0) * s.tiltDecibelsPerOctave + bump;

        if (!bandActive[k])
        {
            expectedDecibels[k] = referenceDecibels[k];
            continue;
        }
        const double w = 2.0 * kPi * f / fs;
        double filters = 0.0;
        if (s.highPassOn)
            filters += decibelResponse(high, w);
        if (s.lowPassOn)
            filters += decibelResponse(low, w);
        if (s.preEqRespect == 0.0)
        {
            expectedDecibels[k] = referenceDecibels[k] + filters;
            continue;
        }
        double pre = 0.0;
        for (int n = 0; n < 4; ++n)
            if (preEqTarget[n].gainDecibels != 0.0)
                pre += decibelResponse(preEqTargetDesign[n], w);
        expectedDecibels[k] = pre * s.preEqRespect + (referenceDecibels[k] + filters);
    }
}

void ToneCorrector::learnFromBalance(const Balance& balance) noexcept
{
    for (int k = 0; k < kNumBands; ++k)
    {
        const double value = saneTargetDecibels(balance[k]);
        targetOffsetDecibels[k] = bandActive[k] ? value - referenceDecibels[k] : 0.0;
        targetBalance[k] = value;
    }
    targetValid = true;
}

template <typename T>
void ToneCorrector::process(const T* const* inputs, T* const* outputs, int numChannels, int numFrames) noexcept
{
    if (numChannels < 1 || numFrames < 1)
        return;
    for (int c = kMaxChannels; c < numChannels; ++c)
        if (inputs[c] != outputs[c])
            std::copy_n(inputs[c], numFrames, outputs[c]);

    // Runs end at each control tick, so coefficients are constant within a run and its state can live in locals.
    for (int offset = 0; offset < numFrames;)
    {
        const int count = std::min(numFrames - offset, kTickSamples - sampleCounter);
        if (numChannels >= 2)
            processRun<2>(inputs, outputs, offset, count);
        else
            processRun<1>(inputs, outputs, offset, count);
        offset += count;
        sampleCounter += count;
        if (sampleCounter >= kTickSamples)
        {
            sampleCounter = 0;
            controlTick();
        }
    }
}

template <int Channels, typename T>
void ToneCorrector::processRun(const T* const* inputs, T* const* outputs, int offset, int count) noexcept
{
    constexpr bool stereo = Channels == 2;
    constexpr double inv = stereo ? 0.5 : 1.0;
    const ToneSettings& s = appliedSettings;
    const double c10 = gateCoefficient, c15 = bandCoefficient;

    // The channel path, both channels side by side: the front sections that run, then the correction sections.
    // A mono call runs the second lane on silence from zero state and never stores it.
    PairSection path[kMaxPathSections];
    Biquad* pathSections[kMaxPathSections][kMaxChannels];
    int numPath = 0;
    const auto addToPath = [&](Biquad& left, Biquad& right)
    {
        path[numPath].load(0, left);
        path[numPath].load(1, right, stereo);
        pathSections[numPath][0] = &left;
        pathSections[numPath][1] = &right;
        ++numPath;
    };
    if (s.highPassOn)
        addToPath(highPassFilters[0], highPassFilters[1]);
    if (s.lowPassOn)
        addToPath(lowPassFilters[0], lowPassFilters[1]);
    if (preEqActive)
        for (int n = 0; n < 4; ++n)
            addToPath(preEqFilters[0][n], preEqFilters[1][n]);
    const int numFront = numPath;
    if (correctionActive)
        for (int k = 0; k < numActiveBands; ++k)
            addToPath(correctionFilters[0][k], correctionFilters[1][k]);

    // Lane 0 is the input tap, lane 1 the output tap.
    PairSection loudness1, loudness2;
    loudness1.load(0, inputWeighting[0]);
    loudness1.load(1, outputWeighting[0]);
    loudness2.load(0, inputWeighting[1]);
    loudness2.load(1, outputWeighting[1]);
    Pair energy = {inputEnergy, outputEnergy};

    // The channel path over the whole run first: x is the input, y after the front sections, z after the
    // correction.
    Pair x[kTickSamples], y[kTickSamples], z[kTickSamples];
    for (int i = 0; i < count; ++i)
        x[i] =
            Pair{finiteSample(inputs[0][offset + i]), stereo ? finiteSample(inputs[stereo ? 1 : 0][offset + i]) : 0.0};
    runCascade<kMaxPathSections>(path, numPath, numFront, x, y, z, count);

    double mono[kTickSamples];
    double gate = gatePower, gain = outputGain.current;
    const double gainTarget = outputGain.target;
    for (int i = 0; i < count; ++i)
    {
        const double raw = stereo ? x[i][0] + x[i][1] : x[i][0];
        const double sum = stereo ? y[i][0] + y[i][1] : y[i][0];
        const double square = stereo ? y[i][0] * y[i][0] + y[i][1] * y[i][1] : y[i][0] * y[i][0];

        gate += (square * inv - gate) * c10;

        mono[i] = sum * inv;

        if (gain != gainTarget)
        {
            gain += (gainTarget - gain) * c10;
            if (std::abs(gain - gainTarget) < 1e-6)
                gain = gainTarget;
        }

        outputs[0][offset + i] = static_cast<T>(z[i][0] * gain);
        if constexpr (stereo)
            outputs[1][offset + i] = static_cast<T>(z[i][1] * gain);
        const double out = stereo ? z[i][0] + z[i][1] : z[i][0];

        const Pair taps = loudness2.run(loudness1.run(Pair{raw * inv, out * inv}));
        energy += taps * taps;
    }

    for (int p = 0; p < numPath; ++p)
        for (int c = 0; c < Channels; ++c)
            path[p].store(c, *pathSections[p][c]);
    // The analysis bank over the mono signal, four bands per quad.
    constexpr int kBandQuads = kNumBands / 4;
    AnalysisQuad analysis[kBandQuads];
    for (int k = 0; k < kNumBands; ++k)
    {
        AnalysisQuad& quad = analysis[k / 4];
        const int lane = k % 4;
        const Biquad& a = analysisStageA[k];
        quad.b0[lane] = a.b0;
        quad.b1[lane] = a.b1;
        quad.b2[lane] = a.b2;
        quad.a1[lane] = a.a1;
        quad.a2[lane] = a.a2;
        quad.az1[lane] = a.z1;
        quad.az2[lane] = a.z2;
        quad.bz1[lane] = analysisStageB[k].z1;
        quad.bz2[lane] = analysisStageB[k].z2;
        quad.powers[lane] = bandPowers[k];
    }

    analyseRun(analysis, (numActiveBands + 3) / 4, mono, count, c15);
    for (int k = 0; k < numActiveBands; ++k)
    {
        const AnalysisQuad& quad = analysis[k / 4];
        const int lane = k % 4;
        analysisStageA[k].z1 = quad.az1[lane];
        analysisStageA[k].z2 = quad.az2[lane];
        analysisStageB[k].z1 = quad.bz1[lane];
        analysisStageB[k].z2 = quad.bz2[lane];
        bandPowers[k] = quad.powers[lane];
    }
    loudness1.store(0, inputWeighting[0]);
    loudness1.store(1, outputWeighting[0]);
    loudness2.store(0, inputWeighting[1]);
    loudness2.store(1, outputWeighting[1]);
    gatePower = gate;
    outputGain.current = gain;
    inputEnergy = energy[0];
    outputEnergy = energy[1];
}

void ToneCorrector::glideFilters() noexcept
{
    if (filterHertz == filterTargetHertz)
        return;
    for (int f = 0; f < 2; ++f)
    {
        double next = filterHertz[f] * std::pow(filterTargetHertz[f] / filterHertz[f], 0.05);
        if (std::abs(next / filterTargetHertz[f] - 1.0) < 0.001)
            next = filterTargetHertz[f];
        filterHertz[f] = next;
    }
    designFrontFilters();
}

void ToneCorrector::glidePreEq() noexcept
{
    const auto geometric = [](double current, double target)
    {
        const double next = current * std::pow(target / current, 0.05);
        return std::abs(next / target - 1.0) < 0.001 ? target : next;
    };
    bool moved = false;
    for (int n = 0; n < 4; ++n)
    {
        PreEqState& current = preEqCurrent[n];
        const PreEqState& target = preEqTarget[n];
        if (current.hertz == target.hertz && current.gainDecibels == target.gainDecibels && current.q == target.q)
            continue;
        current.hertz = geometric(current.hertz, target.hertz);
        current.q = geometric(current.q, target.q);
        const double gainDecibels = current.gainDecibels + (target.gainDecibels - current.gainDecibels) * 0.05;
        current.gainDecibels = std::abs(gainDecibels - target.gainDecibels) < 0.01 ? target.gainDecibels : gainDecibels;
        moved = true;
    }
    if (moved || preEqShelfChanged)
    {
        preEqShelfChanged = false;
        designPreEq();
    }
}

void ToneCorrector::sanitizeState() noexcept
{
    // A non-finite value anywhere makes the sum non-finite, so the common case costs one pass of additions.
    double sum = gatePower + inputEnergy + outputEnergy;
    const auto addState = [&sum](const Biquad& b) { sum += b.z1 + b.z2; };
    for (int k = 0; k < kNumBands; ++k)
    {
        addState(analysisStageA[k]);
        addState(analysisStageB[k]);
        addState(correctionFilters[0][k]);
        addState(correctionFilters[1][k]);
        sum += bandPowers[k] + smoothedPowers[k] + bandLevels[k];
    }
    for (int c = 0; c < kMaxChannels; ++c)
    {
        addState(highPassFilters[c]);
        addState(lowPassFilters[c]);
        for (const auto& section : preEqFilters[c])
            addState(section);
        addState(inputWeighting[c]);
        addState(outputWeighting[c]);
    }
    if (std::isfinite(sum))
        return;

    // A sample that overflowed inside a section (a finite but enormous input) must not keep it producing NaN.
    const auto clearIfNonFinite = [](Biquad& b)
    {
        if (!std::isfinite(b.z1) || !std::isfinite(b.z2))
            b.clearState();
    };
    for (int k = 0; k < kNumBands; ++k)
    {
        clearIfNonFinite(analysisStageA[k]);
        clearIfNonFinite(analysisStageB[k]);
        for (auto& channel : correctionFilters)
            clearIfNonFinite(channel[k]);
        if (!std::isfinite(bandPowers[k]))
            bandPowers[k] = 0.0;
        if (!std::isfinite(smoothedPowers[k]) || !std::isfinite(bandLevels[k]))
        {
            smoothedPowers[k] = -1.0; // measured afresh from the next frame
            bandLevels[k] = kUnset;
        }
    }
    for (int c = 0; c < kMaxChannels; ++c)
    {
        clearIfNonFinite(highPassFilters[c]);
        clearIfNonFinite(lowPassFilters[c]);
        for (auto& section : preEqFilters[c])
            clearIfNonFinite(section);
        clearIfNonFinite(inputWeighting[c]);
        clearIfNonFinite(outputWeighting[c]);
    }
    for (double* value : {&gatePower, &inputEnergy, &outputEnergy})
        if (!std::isfinite(*value))
            *value = 0.0;
}

void ToneCorrector::controlTick() noexcept
{
    const ToneSettings& s = appliedSettings;
    sanitizeState();
    glideFilters();
    glidePreEq();

    aboveThreshold = decibels(gatePower) > s.thresholdDecibels;

    // Calibrated band levels of this tick.
    writeIndex = (writeIndex + 1) % kRingFrames;
    LevelFrame& frame = levelRing[writeIndex];
    int numMid = 0;
    for (int k = 0; k < kNumBands; ++k)
    {
        frame.decibels[k] = frame.powers[k] = 0.0;
        if (!bandActive[k])
            continue;
        frame.decibels[k] = decibels(bandPowers[k]) - bandCalibration[k];
        frame.powers[k] = (bandPowers[k] + 1e-30) * calibrationGain[k];
        if (k >= kFirstMidBand && k <= kLastMidBand)
            ++numMid;
    }
    numMid = std::max(numMid, 1);
    const BandArray& levels = frame.decibels;
    bandFrameDecibels = levels;

    if (aboveThreshold)
    {
        incrementSaturating(aboveCount);
        belowCount = 0;
    }
    else
    {
        incrementSaturating(belowCount);
        aboveCount = 0;
    }
    // The frame measured is the one written delayTicks ago, so the tail of a passage before the gate closes is
    // never used; the first holdTicks frames after it opens are skipped as well.
    const int readIndex = ((writeIndex - delayTicks) % kRingFrames + kRingFrames) % kRingFrames;
    const bool sustained = aboveCount > delayTicks + holdTicks;

    const double cm = measureCoefficient;
    if (sustained)
    {
        const LevelFrame& delayed = levelRing[readIndex];
        for (int k = 0; k < kNumBands; ++k)
        {
            if (!bandActive[k])
                continue;
            const double v = delayed.decibels[k], p = delayed.powers[k]; // p = 10^(v / 10)
            if (learning)
                learnSums[k] += p;
            smoothedPowers[k] = smoothedPowers[k] < 0.0 ? p : smoothedPowers[k] + (p - smoothedPowers[k]) * cm;
            bandLevels[k] = bandLevels[k] <= kUnset ? v : bandLevels[k] + (v - bandLevels[k]) * cm;
        }
        measuredBalance = balanceFromPowers(smoothedPowers, bandActive);
        if (learning)
        {
            ++learnCount;
            if (learnCount >= ticksToLearn())
            {
                const Balance learned = balanceFromPowers(learnSums, bandActive);
                for (int k = 0; k < kNumBands; ++k)
                {
                    const double value = bandActive[k] ? saneTargetDecibels(learned[k]) : 0.0;
                    targetOffsetDecibels[k] = bandActive[k] ? value - expectedDecibels[k] : 0.0;
                    targetBalance[k] = bandActive[k] ? value - expectedDecibels[k] + referenceDecibels[k] : 0.0;
                }
                targetValid = true;
                learning = false;
            }
        }
    }
    else if (belowCount > delayTicks)
    {
        // The floor follows the current levels, and only after more than delayTicks quiet ticks.
        for (int k = 0; k < kNumBands; ++k)
            if (bandActive[k])
                noiseFloor[k] = noiseFloor[k] <= kUnset
                                    ? levels[k]
                                    : noiseFloor[k] + (levels[k] - noiseFloor[k]) * floorCoefficient;
    }

    // Desired gains: the goal is the target offsets plus the expected curve, scaled by amount.
    BandArray desired{};
    double shift = 0.0;
    if (measuredBalance[0] > kUnset)
    {
        double sumDesired = 0.0, sumMoved = 0.0;
        for (int k = 0; k < kNumBands; ++k)
        {
            if (!bandActive[k])
                continue;
            double d = (targetOffsetDecibels[k] + expectedDecibels[k] - measuredBalance[k]) * s.amount;
            if (!std::isfinite(d))
                d = 0.0;
            desired[k] = d;
            if (kBandHertz[k] >= 200.0 && kBandHertz[k] <= 5000.0)
            {
                sumDesired += d;
                const double moved = targetOffsetDecibels[k] + referenceDecibels[k] - targetBalance[k];
                if (std::isfinite(moved))
                    sumMoved += moved;
            }
        }
        shift = (sumDesired - sumMoved * s.amount) / numMid;
        if (!std::isfinite(shift))
            shift = 0.0;
    }

    // Limits: Max Boost / Max Cut, no boost near the noise floor, region weights and the range fade.
    for (int k = 0; k < kNumBands; ++k)
    {
        if (!bandActive[k])
            continue;
        const double v = desired[k] - shift;
        double c = v < -s.maxCutDecibels ? -s.maxCutDecibels : std::min(s.maxBoostDecibels, v);
        if (c > 0.0 && noiseFloor[k] > kUnset && bandLevels[k] > kUnset)
        {
            const double r = std::clamp((bandLevels[k] - noiseFloor[k] - 6.0) / 12.0, 0.0, 1.0);
            c = std::min(s.maxBoostDecibels * r, c);
        }
        c = c * regionWeight[k] * rangeFade[k];
        desired[k] = std::isfinite(c) ? c : 0.0;
    }

    // Gains: undo the overlap of neighbouring peaks, then glide at most 0.05 dB per tick.
    bool anyApplied = false;
    for (int i = 0; i < kNumBands; ++i)
    {
        double goal = 0.0;
        if (bandActive[i])
            for (int j = 0; j < kNumBands; ++j)
                goal += inverseInteraction[i][j] * desired[j];
        if (!std::isfinite(goal)) // std::min would turn a NaN into a full boost
            goal = 0.0;
        goal = goal < -kGainLimitDecibels ? -kGainLimitDecibels : std::min(kGainLimitDecibels, goal);

        const double current = glideGainDecibels[i];
        const bool fast = current * goal < 0.0 || std::abs(current) > std::abs(goal);
        const double coefficient = fast ? glideCoefficients.fast : glideCoefficients.slow;
        const double step =
            std::clamp(((goal - current) * coefficient + current) - current, -kGainStepDecibels, kGainStepDecibels);
        double next = current + step;
        if (std::abs(goal - next) < 0.005)
            next = goal;
        glideGainDecibels[i] = next;

        if (std::abs(next - appliedGainDecibels[i]) >= 0.01 || (next == goal && next != appliedGainDecibels[i]))
        {
            appliedGainDecibels[i] = next;
            const BiquadCoefficients c = peaking(next, bandDesign[i].cosW0, bandDesign[i].alpha);
            for (auto& channel : correctionFilters)
                channel[i].setCoefficients(c);
        }
        anyApplied = anyApplied || appliedGainDecibels[i] != 0.0;
    }
    if (correctionActive && !anyApplied)
        for (auto& channel : correctionFilters)
            for (auto& section : channel)
                section.clearState();
    correctionActive = anyApplied;

    updateMakeup(sustained, readIndex);
}

void ToneCorrector::updateMakeup(bool sustained, int readIndex) noexcept
{
    energyRing[writeIndex] = {inputEnergy, outputEnergy};
    inputEnergy = outputEnergy = 0.0;

    if (sustained)
    {
        makeupSums.input += energyRing[readIndex].input;
        makeupSums.output += energyRing[readIndex].output;
        if (++makeupCount >= makeupPeriod)
        {
            if (makeupSums.input > 0.0 && makeupSums.output > 0.0)
            {
                const double m = 10.0 * std::log10(makeupSums.input / makeupSums.output);
                makeupEstimate =
                    makeupEstimate <= kUnset ? m : makeupEstimate + (m - makeupEstimate) * makeupCoefficient;
            }
            makeupCount = 0;
            makeupSums = {};
        }
    }

    double goal = 0.0;
    if (appliedSettings.autoGain && makeupEstimate > kUnset)
        goal = std::clamp(makeupEstimate, -12.0, kMakeupBoostDecibels);
    const double step = std::clamp(goal - makeupDecibels, -0.01, 0.01);
    if (makeupDecibels + step != makeupDecibels)
    {
        makeupDecibels += step;
        outputGain.target = std::pow(10.0, (makeupDecibels + appliedSettings.outputDecibels) / 20.0);
    }
}

template void ToneCorrector::process<double>(const double* const*, double* const*, int, int) noexcept;
template void ToneCorrector::process<float>(const float* const*, float* const*, int, int) noexcept;

} // namespace aubrevane::dsp
