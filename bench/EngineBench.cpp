// Tone engine speed at 48 kHz: the plug-in's audio road (stereo, 512-frame blocks through process<double>), the
// offline analysis (mono, 32-frame calls through process<float>), the arithmetic floor of 64 plain sections per
// frame, and sox running a comparable static chain over the same 480 s stereo file.
#include "dsp/ToneCorrector.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace
{

using aubrevane::dsp::Biquad;
using aubrevane::dsp::ToneCorrector;
using aubrevane::dsp::ToneSettings;

constexpr double kSampleRate = 48000.0;
constexpr int kBlockFrames = 512;
constexpr int kOfflineFrames = 32;
constexpr std::size_t kFileFrames = 480 * 48000;
constexpr std::size_t kLoopFrames = 10 * 48000; // the block benchmarks cycle over the first 10 s

/**
 * 480 s of stereo pink-like noise at about -18 dBFS as 16-bit samples, interleaved; fixed seed. Six one-pole
 * low-passes of white noise, two octaves apart and weighted by 1/sqrt(cutoff), sum to a spectrum falling about
 * 3 dB per octave.
 */
const std::vector<std::int16_t>& benchSignal()
{
    static const std::vector<std::int16_t> samples = []
    {
        constexpr int kPoles = 6;
        double coefficient[kPoles], weight[kPoles], low[2][kPoles] = {};
        for (int j = 0; j < kPoles; ++j)
        {
            coefficient[j] = 1.0 - std::exp(-2.0 * 3.14159265358979323846 * 20.0 * std::pow(4.0, j) / kSampleRate);
            weight[j] = 1.0 / std::sqrt(coefficient[j]);
        }
        std::minstd_rand random(20261209);
        std::uniform_real_distribution<double> uniform(-1.0, 1.0);
        std::vector<double> mixed(kFileFrames * 2);
        double power = 0.0;
        for (std::size_t i = 0; i < mixed.size(); ++i)
        {
            const double white = uniform(random);
            double sum = 0.0;
            for (int j = 0; j < kPoles; ++j)
            {
                double& pole = low[i % 2][j];
                pole += (white - pole) * coefficient[j];
                sum += pole * weight[j];
            }
            mixed[i] = sum;
            power += sum * sum;
        }
        const double scale = std::pow(10.0, -18.0 / 20.0) / std::sqrt(power / static_cast<double>(mixed.size()));
        std::vector<std::int16_t> quantised(mixed.size());
        for (std::size_t i = 0; i < mixed.size(); ++i)
            quantised[i] =
                static_cast<std::int16_t>(std::clamp(std::lround(mixed[i] * scale * 32768.0), -32768L, 32767L));
        return quantised;
    }();
    return samples;
}

/** Channel-planar double copy of the first `frames` frames. */
std::vector<std::vector<double>> planar(std::size_t frames)
{
    const auto& interleaved = benchSignal();
    std::vector<std::vector<double>> channels(2, std::vector<double>(frames));
    for (std::size_t i = 0; i < frames; ++i)
    {
        channels[0][i] = interleaved[2 * i] / 32768.0;
        channels[1][i] = interleaved[2 * i + 1] / 32768.0;
    }
    return channels;
}

/** (a) The plug-in's parameter defaults: amount 50 %, high-pass and low-pass on. */
ToneSettings pluginDefaults()
{
    ToneSettings s;
    s.amount = 0.5;
    s.highPassOn = true;
    s.lowPassOn = true;
    return s;
}

/** (b) Every stage on: high-pass 40 Hz, low-pass 18 kHz, four pre-EQ gains, a tilt and the correction. */
ToneSettings everyStage()
{
    ToneSettings s = pluginDefaults();
    s.highPassHertz = 40.0;
    s.lowPassHertz = 18000.0;
    const double gains[4] = {3.0, -2.0, 2.0, -3.0};
    for (int n = 0; n < 4; ++n)
        s.preEq[n].gainDecibels = gains[n];
    s.tiltDecibelsPerOctave = -1.0;
    return s;
}

void prepareEngine(ToneCorrector& engine, const ToneSettings& s)
{
    engine.settings = s;
    engine.prepare(kSampleRate);
}

/** Runs `seconds` of the signal through the engine so the gate is open and the correction has moved. */
void warmUp(ToneCorrector& engine, const std::vector<std::vector<double>>& channels, double seconds)
{
    std::vector<double> left(kBlockFrames), right(kBlockFrames);
    double* outputs[2] = {left.data(), right.data()};
    const auto frames = static_cast<std::size_t>(seconds * kSampleRate);
    for (std::size_t start = 0; start + kBlockFrames <= frames; start += kBlockFrames)
    {
        const std::size_t offset = start % (channels[0].size() - kBlockFrames);
        const double* inputs[2] = {channels[0].data() + offset, channels[1].data() + offset};
        engine.process(inputs, outputs, 2, kBlockFrames);
    }
}

/** The next block's start in the looped signal. */
std::size_t nextBlock(std::size_t offset, std::size_t blockFrames)
{
    offset += blockFrames;
    return offset + blockFrames > kLoopFrames ? 0 : offset;
}

void reportRates(benchmark::State& state, double framesPerIteration)
{
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * framesPerIteration));
    state.counters["time_per_frame"] = benchmark::Counter(
        framesPerIteration, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["x_real_time"] =
        benchmark::Counter(framesPerIteration / kSampleRate, benchmark::Counter::kIsIterationInvariantRate);
}

void runStereoBlocks(benchmark::State& state, const ToneSettings& s, bool expectStagesActive)
{
    const auto channels = planar(kLoopFrames);
    ToneCorrector engine;
    prepareEngine(engine, s);
    warmUp(engine, channels, 3.0);
    if (expectStagesActive && !(engine.preEqRunning() && engine.correctionRunning()))
    {
        state.SkipWithError("the pre-EQ or the correction is not running after the warm-up");
        return;
    }
    std::vector<double> left(kBlockFrames), right(kBlockFrames);
    double* outputs[2] = {left.data(), right.data()};
    std::size_t offset = 0;
    for (auto _ : state)
    {
        const double* inputs[2] = {channels[0].data() + offset, channels[1].data() + offset};
        engine.process(inputs, outputs, 2, kBlockFrames);
        benchmark::DoNotOptimize(left.data());
        benchmark::DoNotOptimize(right.data());
        offset = nextBlock(offset, kBlockFrames);
    }
    reportRates(state, kBlockFrames);
}

void BM_EnginePluginDefaults(benchmark::State& state)
{
    runStereoBlocks(state, pluginDefaults(), false);
}
BENCHMARK(BM_EnginePluginDefaults);

void BM_EngineEveryStage(benchmark::State& state)
{
    runStereoBlocks(state, everyStage(), true);
}
BENCHMARK(BM_EngineEveryStage);

void BM_EngineAnalysisOnly(benchmark::State& state)
{
    runStereoBlocks(state, ToneSettings{}, false);
}
BENCHMARK(BM_EngineAnalysisOnly);

/** How the offline measurement drives its private engine: mono float, 32 frames per call. */
void BM_EngineOfflineFloatMono(benchmark::State& state)
{
    const auto channels = planar(kLoopFrames);
    std::vector<float> mono(channels[0].begin(), channels[0].end());
    ToneCorrector engine;
    prepareEngine(engine, ToneSettings{});
    float output[kOfflineFrames];
    float* outputs[1] = {output};
    std::size_t offset = 0;
    for (auto _ : state)
    {
        const float* inputs[1] = {mono.data() + offset};
        engine.process(inputs, outputs, 1, kOfflineFrames);
        benchmark::DoNotOptimize(output);
        offset = nextBlock(offset, kOfflineFrames);
    }
    reportRates(state, kOfflineFrames);
}
BENCHMARK(BM_EngineOfflineFloatMono);

/**
 * The arithmetic floor of the design: the 64 sections the engine runs per stereo frame with every stage on
 * (2 x 18 in the channels, 24 in the analysis, 4 in the loudness taps), as plain Biquad calls in a row.
 */
void BM_PlainBiquads64(benchmark::State& state)
{
    const auto channels = planar(kLoopFrames);
    std::vector<Biquad> sections(64);
    for (std::size_t i = 0; i < sections.size(); ++i)
    {
        // A mild, stable peak at a different angle per section.
        const double w0 = 0.01 + 0.02 * static_cast<double>(i % 32), cosW0 = std::cos(w0), alpha = std::sin(w0) / 4.3;
        const double d = 1.0 + alpha / 1.1;
        sections[i].b0 = (1.0 + alpha * 1.1) / d;
        sections[i].b1 = sections[i].a1 = -2.0 * cosW0 / d;
        sections[i].b2 = (1.0 - alpha * 1.1) / d;
        sections[i].a2 = (1.0 - alpha / 1.1) / d;
    }
    std::vector<double> left(kBlockFrames), right(kBlockFrames);
    std::size_t offset = 0;
    for (auto _ : state)
    {
        for (int n = 0; n < kBlockFrames; ++n)
        {
            double y0 = channels[0][offset + n], y1 = channels[1][offset + n];
            for (int s = 0; s < 18; ++s)
            {
                y0 = sections[s].process(y0);
                y1 = sections[18 + s].process(y1);
            }
            const double mono = 0.5 * (y0 + y1);
            double bands = 0.0;
            for (int k = 0; k < 12; ++k)
                bands += sections[36 + 12 + k].process(sections[36 + k].process(mono));
            const double taps = sections[61].process(sections[60].process(mono)) +
                                sections[63].process(sections[62].process(0.5 * (y0 + y1)));
            left[n] = y0 + 1e-30 * bands;
            right[n] = y1 + 1e-30 * taps;
        }
        benchmark::DoNotOptimize(left.data());
        benchmark::DoNotOptimize(right.data());
        offset = nextBlock(offset, kBlockFrames);
    }
    reportRates(state, kBlockFrames);
}
BENCHMARK(BM_PlainBiquads64);

// ---- sox on the same 480 s file ----

std::filesystem::path comparisonFile()
{
    return std::filesystem::path(AUBREVANE_BENCH_DATA_DIR) / "engine-bench-480s-stereo-48k-pcm16.wav";
}

template <typename T> void writeLittleEndian(std::ofstream& out, T value)
{
    for (std::size_t i = 0; i < sizeof(T); ++i)
        out.put(static_cast<char>((static_cast<std::uint64_t>(value) >> (8 * i)) & 0xff));
}

/** Writes the signal as a 16-bit WAV unless a file of the right size is already there. */
bool ensureComparisonFile()
{
    const auto path = comparisonFile();
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(kFileFrames * 2 * sizeof(std::int16_t));
    std::error_code error;
    if (std::filesystem::file_size(path, error) == dataBytes + 44u)
        return true;
    const auto partial = path.string() + ".partial";
    {
        std::ofstream out(partial, std::ios::binary);
        out.write("RIFF", 4);
        writeLittleEndian<std::uint32_t>(out, dataBytes + 36);
        out.write("WAVEfmt ", 8);
        writeLittleEndian<std::uint32_t>(out, 16);
        writeLittleEndian<std::uint16_t>(out, 1); // integer PCM
        writeLittleEndian<std::uint16_t>(out, 2);
        writeLittleEndian<std::uint32_t>(out, 48000);
        writeLittleEndian<std::uint32_t>(out, 48000 * 4);
        writeLittleEndian<std::uint16_t>(out, 4);
        writeLittleEndian<std::uint16_t>(out, 16);
        out.write("data", 4);
        writeLittleEndian<std::uint32_t>(out, dataBytes);
        const auto& samples = benchSignal(); // little-endian on every machine we build for
        out.write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(dataBytes));
        if (!out.flush())
            return false;
    }
    std::filesystem::rename(partial, path, error);
    return !error;
}

/** Runs `arguments` (the program found in PATH) to its end with its output discarded; true when it exited with 0. */
bool runQuietly(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const bool started = posix_spawnp(&pid, argv[0], &files, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&files);
    int status = 0;
    return started && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

/** Wall-clock seconds of one run of a program; a negative value when it failed. */
double secondsOf(const std::vector<std::string>& arguments)
{
    const auto start = std::chrono::steady_clock::now();
    if (!runQuietly(arguments))
        return -1.0;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/** sox with the same front chain as (b) and one 2/3-octave peak per band centre, all gains non-zero. */
std::vector<std::string> soxCommand(bool withEffects)
{
    std::vector<std::string> command{"sox", "-D", "--single-threaded", "-V1", comparisonFile(), "-t", "null", "-"};
    if (withEffects)
    {
        for (const char* effect : {"highpass",  "-2",   "40",  "0.7071q", "lowpass",   "-2",  "18000", "0.7071q",
                                   "bass",      "3",    "100", "0.707q",  "equalizer", "400", "1q",    "-2",
                                   "equalizer", "2500", "1q",  "2",       "treble",    "-3",  "8000",  "0.707q"})
            command.push_back(effect);
        for (int k = 0; k < aubrevane::dsp::kNumBands; ++k)
        {
            char centre[32];
            std::snprintf(centre, sizeof centre, "%g", aubrevane::dsp::kBandHertz[k]);
            command.insert(command.end(), {"equalizer", centre, "2.1449q", k % 2 == 0 ? "1.5" : "-1.5"});
        }
    }
    return command;
}

/**
 * Seconds the engine takes for the whole file with every stage on, in 512-frame blocks. Like sox it starts from
 * the 16-bit samples, and the conversion to the doubles a host hands over is timed with the engine.
 */
double engineSecondsOverFile(benchmark::State& state)
{
    ToneCorrector engine;
    prepareEngine(engine, everyStage());
    warmUp(engine, planar(3 * 48000), 2.5);
    if (!(engine.preEqRunning() && engine.correctionRunning()))
    {
        state.SkipWithError("the pre-EQ or the correction is not running after the warm-up");
        return -1.0;
    }
    const auto& interleaved = benchSignal();
    std::vector<double> left(kBlockFrames), right(kBlockFrames);
    double* channels[2] = {left.data(), right.data()};
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t frame = 0; frame + kBlockFrames <= kFileFrames; frame += kBlockFrames)
    {
        const std::int16_t* block = interleaved.data() + 2 * frame;
        for (int i = 0; i < kBlockFrames; ++i)
        {
            left[i] = block[2 * i] / 32768.0;
            right[i] = block[2 * i + 1] / 32768.0;
        }
        engine.process(channels, channels, 2, kBlockFrames);
        benchmark::DoNotOptimize(left.data());
        benchmark::DoNotOptimize(right.data());
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_SoxPeerEveryStage(benchmark::State& state)
{
    if (!runQuietly({"sox", "--version"}))
    {
        state.SkipWithError("sox is not installed");
        return;
    }
    if (!ensureComparisonFile())
    {
        state.SkipWithError("could not write the comparison file");
        return;
    }
    // Best of three rounds, each running sox without and with effects and then the engine, so that all three
    // see the same machine load.
    double engineSeconds = -1.0, soxSeconds = -1.0;
    for (auto _ : state)
    {
        double passThrough = -1.0, chain = -1.0;
        for (int round = 0; round < 3; ++round)
        {
            const double plain = secondsOf(soxCommand(false)), effects = secondsOf(soxCommand(true));
            if (plain < 0.0 || effects < 0.0)
            {
                state.SkipWithError("sox failed");
                return;
            }
            const double engine = engineSecondsOverFile(state);
            if (engine <= 0.0)
                return;
            passThrough = round == 0 ? plain : std::min(passThrough, plain);
            chain = round == 0 ? effects : std::min(chain, effects);
            engineSeconds = round == 0 ? engine : std::min(engineSeconds, engine);
        }
        soxSeconds = chain - passThrough;
        state.SetIterationTime(engineSeconds);
    }
    state.counters["sox_seconds"] = soxSeconds;
    state.counters["engine_seconds"] = engineSeconds;
    state.counters["speedup_vs_sox"] = soxSeconds / engineSeconds;
    state.counters["engine_x_real_time"] = 480.0 / engineSeconds;
}
BENCHMARK(BM_SoxPeerEveryStage)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
