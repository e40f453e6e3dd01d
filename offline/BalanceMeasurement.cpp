#include "offline/BalanceMeasurement.h"

#include "dsp/ToneCorrector.h"
#include "offline/ReferenceDecoder.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>

namespace aubrevane::offline
{
namespace
{

constexpr double kBlockSeconds = 0.05;
constexpr double kMinBlocks = 40.0;
constexpr double kSilenceDecibels = -80.0;
constexpr double kThresholdBelowLoudDecibels = 20.0;
constexpr double kWarmUpSeconds = 0.5;
constexpr double kMinLoudSeconds = 2.0;
constexpr std::size_t kChunk = dsp::ToneCorrector::kTickSamples;
constexpr std::size_t kChunksPerCancelCheck = 2048; // 65536 samples, a fraction of a second of work

/** A non-finite sample would poison the block levels and the engine's filters; it counts as silence. */
inline float finiteOrZero(float sample)
{
    return std::isfinite(sample) ? sample : 0.0f;
}

/** The level that about a tenth of the 50 ms blocks exceed: index floor(9m/10) of the sorted block levels. */
double loudLevelDecibels(const std::vector<float>& samples, std::size_t blockSamples)
{
    const std::size_t blocks = samples.size() / blockSamples;
    std::vector<double> levels(blocks);
    for (std::size_t b = 0; b < blocks; ++b)
    {
        double sum = 0.0;
        const float* block = samples.data() + b * blockSamples;
        for (std::size_t i = 0; i < blockSamples; ++i)
        {
            const double x = finiteOrZero(block[i]);
            sum += x * x;
        }
        levels[b] = 10.0 * std::log10(sum / static_cast<double>(blockSamples) + 1e-30);
    }
    const auto percentile = levels.begin() + static_cast<std::ptrdiff_t>(9 * blocks / 10);
    std::nth_element(levels.begin(), percentile, levels.end());
    return *percentile;
}

} // namespace

bool measureBalance(const std::vector<float>& samples, double sampleRate, dsp::Balance& balance, std::string& message,
                    const std::atomic<bool>* cancel)
{
    if (!std::isfinite(sampleRate) || sampleRate <= 0.0)
    {
        message = "the file has no usable sample rate";
        return false;
    }

    // Compared as doubles first, so an absurd rate cannot overflow the conversion to a sample count.
    const double blockLength = std::max(1.0, std::floor(kBlockSeconds * sampleRate));
    if (static_cast<double>(samples.size()) < kMinBlocks * blockLength)
    {
        message = "the file is too short to learn from";
        return false;
    }
    const auto blockSamples = static_cast<std::size_t>(blockLength);

    const double loudDecibels = loudLevelDecibels(samples, blockSamples);
    if (loudDecibels < kSilenceDecibels)
    {
        message = "the file is silent or too quiet to learn from";
        return false;
    }

    // About 60 kB of state: on the heap, not on the worker's stack. With the default amount of 0 it only measures.
    auto engine = std::make_unique<dsp::ToneCorrector>();
    engine->prepare(sampleRate);
    dsp::ToneSettings settings;
    settings.thresholdDecibels = loudDecibels - kThresholdBelowLoudDecibels;
    settings.highPassOn = false;
    settings.lowPassOn = false;
    engine->settings = settings;
    engine->applySettings();

    const auto warmUpSamples = static_cast<std::size_t>(kWarmUpSeconds * sampleRate);
    std::array<double, dsp::kNumBands> powerSums{};
    std::size_t loudChunks = 0;
    float chunk[kChunk];
    float scratch[kChunk] = {};
    const float* input = chunk;
    float* output = scratch;
    for (std::size_t start = 0, chunkIndex = 0; start + kChunk <= samples.size(); start += kChunk, ++chunkIndex)
    {
        if (cancel != nullptr && chunkIndex % kChunksPerCancelCheck == 0 && cancel->load(std::memory_order_relaxed))
        {
            message = kCancelledMessage;
            return false;
        }
        for (std::size_t i = 0; i < kChunk; ++i)
            chunk[i] = finiteOrZero(samples[start + i]);
        engine->process<float>(&input, &output, 1, static_cast<int>(kChunk));
        if (start >= warmUpSamples && engine->aboveThreshold)
        {
            for (int k = 0; k < dsp::kNumBands; ++k)
                powerSums[k] += std::pow(10.0, engine->bandFrameDecibels[k] / 10.0);
            ++loudChunks;
        }
    }

    if (static_cast<double>(loudChunks) * static_cast<double>(kChunk) / sampleRate < kMinLoudSeconds)
    {
        message = "less than two seconds of the file was loud enough to learn from";
        return false;
    }

    // Only the bands the engine analyses at this rate: the others have no level, and must not enter the mid mean.
    balance = dsp::balanceFromPowers(powerSums, engine->bandActive);
    return true;
}

} // namespace aubrevane::offline
