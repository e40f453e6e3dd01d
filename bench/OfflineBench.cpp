// Learning from a reference file, 60 s of stereo 16-bit WAV at 44.1 kHz: decoding to the mono mix against reading
// the interleaved frames with libsndfile alone, and the balance measurement against the bare engine pass it rests on.
#include "dsp/ToneCorrector.h"
#include "offline/BalanceMeasurement.h"
#include "offline/ReferenceDecoder.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <sndfile.h>

namespace
{

constexpr int kSampleRate = 44100;
constexpr int kSeconds = 60;
constexpr std::size_t kFrames = std::size_t(kSampleRate) * kSeconds;

/** The reference file, written once into the build folder and reused. */
const std::string& referenceFile()
{
    static const std::string path = []
    {
        const std::string file = std::string(AUBREVANE_BENCH_DATA_DIR) + "/offline-reference.wav";
        if (std::filesystem::exists(file))
            return file;
        std::vector<float> interleaved(kFrames * 2);
        std::minstd_rand random(7);
        std::uniform_real_distribution<float> uniform(-0.25f, 0.25f);
        for (float& sample : interleaved)
            sample = uniform(random);
        SF_INFO info{};
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        info.channels = 2;
        info.samplerate = kSampleRate;
        if (SNDFILE* out = sf_open(file.c_str(), SFM_WRITE, &info))
        {
            sf_writef_float(out, interleaved.data(), static_cast<sf_count_t>(kFrames));
            sf_close(out);
        }
        return file;
    }();
    return path;
}

void decodeReference(benchmark::State& state)
{
    aubrevane::offline::DecodedAudio audio;
    std::string message;
    for (auto _ : state)
    {
        if (!aubrevane::offline::decodeAudioFile(referenceFile(), audio, message))
            state.SkipWithError(message.c_str());
        benchmark::DoNotOptimize(audio.samples.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kFrames));
}
BENCHMARK(decodeReference)->Unit(benchmark::kMillisecond);

/** Baseline: libsndfile reading all interleaved frames into one buffer, no mixing. */
void readWithLibsndfileAlone(benchmark::State& state)
{
    std::vector<float> interleaved(kFrames * 2);
    for (auto _ : state)
    {
        SF_INFO info{};
        SNDFILE* file = sf_open(referenceFile().c_str(), SFM_READ, &info);
        if (file == nullptr)
        {
            state.SkipWithError("the reference file could not be opened");
            break;
        }
        benchmark::DoNotOptimize(sf_readf_float(file, interleaved.data(), static_cast<sf_count_t>(kFrames)));
        sf_close(file);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kFrames));
}
BENCHMARK(readWithLibsndfileAlone)->Unit(benchmark::kMillisecond);

const std::vector<float>& monoReference()
{
    static const std::vector<float> samples = []
    {
        aubrevane::offline::DecodedAudio audio;
        std::string message;
        (void)aubrevane::offline::decodeAudioFile(referenceFile(), audio, message);
        return audio.samples;
    }();
    return samples;
}

void measureReference(benchmark::State& state)
{
    aubrevane::dsp::Balance balance{};
    std::string message;
    for (auto _ : state)
    {
        if (!aubrevane::offline::measureBalance(monoReference(), kSampleRate, balance, message))
            state.SkipWithError(message.c_str());
        benchmark::DoNotOptimize(balance.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * monoReference().size()));
}
BENCHMARK(measureReference)->Unit(benchmark::kMillisecond);

/** Baseline: the same engine pass in 32-sample calls, without block levels, gating or power sums. */
void bareEnginePass(benchmark::State& state)
{
    const auto& samples = monoReference();
    auto engine = std::make_unique<aubrevane::dsp::ToneCorrector>();
    float scratch[32] = {};
    float* output = scratch;
    for (auto _ : state)
    {
        engine->prepare(kSampleRate);
        engine->applySettings();
        for (std::size_t start = 0; start + 32 <= samples.size(); start += 32)
        {
            const float* input = samples.data() + start;
            engine->process<float>(&input, &output, 1, 32);
        }
        benchmark::DoNotOptimize(engine->bandFrameDecibels.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * samples.size()));
}
BENCHMARK(bareEnginePass)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
