#include "PluginProbe.h"
#include "StateBuilder.h"

#include "support/AllocationCounter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

using aubrevane::plugin::TargetValues;
using aubrevane::test::AllocationScope;
using aubrevane::test::preparedPlugin;

namespace
{

/** Channel buffers with the pointer arrays a host hands to ProcessBlock. */
struct Buffers
{
    std::vector<std::vector<double>> channels;
    std::vector<double*> pointers;

    Buffers(int count, int frames, double fill = 0.0) : channels(count, std::vector<double>(frames, fill))
    {
        for (auto& channel : channels)
            pointers.push_back(channel.data());
    }
    double** data() { return pointers.data(); }
};

/** Seeded white noise at the given peak. */
Buffers noise(int count, int frames, double peak, unsigned seed = 7)
{
    Buffers buffers(count, frames);
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> uniform(-peak, peak);
    for (auto& channel : buffers.channels)
        for (double& sample : channel)
            sample = uniform(random);
    return buffers;
}

void runBlocks(Aubrevane& plugin, int blocks, int frames, int channels = 2, double peak = 0.5)
{
    for (int block = 0; block < blocks; ++block)
    {
        Buffers in = noise(channels, frames, peak, static_cast<unsigned>(block));
        Buffers out(channels, frames);
        plugin.ProcessBlock(in.data(), out.data(), frames);
    }
}

TargetValues balanceTarget(double tilt)
{
    TargetValues values;
    for (int k = 0; k < 12; ++k)
        values.offsetDecibels[k] = values.balance[k] = tilt * (k - 5.5);
    values.valid = true;
    return values;
}

} // namespace

TEST(AubrevaneAudioRoad, MonoInputFeedsBothOutputChannels)
{
    const auto plugin = preparedPlugin(48000.0, 512, 1, 2);
    plugin->GetParam(kAmount)->Set(100.0);
    Buffers in = noise(1, 512, 0.5);
    Buffers out(2, 512, 9.0);
    plugin->ProcessBlock(in.data(), out.data(), 512);
    EXPECT_EQ(out.channels[1], out.channels[0]);
    EXPECT_NE(out.channels[0], in.channels[0]); // processed: the high-pass is on by default
}

TEST(AubrevaneAudioRoad, BypassCopiesTheInputExactly)
{
    const auto plugin = preparedPlugin();
    plugin->GetParam(kBypass)->Set(1.0);
    Buffers in = noise(2, 256, 0.8);
    Buffers out(2, 256, 9.0);
    plugin->ProcessBlock(in.data(), out.data(), 256);
    EXPECT_EQ(out.channels, in.channels);

    Buffers shared = noise(2, 256, 0.8, 3);
    const auto original = shared.channels;
    plugin->ProcessBlock(shared.data(), shared.data(), 256); // in place: nothing to copy, nothing may change
    EXPECT_EQ(shared.channels, original);
}

TEST(AubrevaneAudioRoad, MissingInputArrayGivesSilence)
{
    for (const bool bypassed : {true, false})
    {
        const auto plugin = preparedPlugin();
        plugin->GetParam(kBypass)->Set(bypassed ? 1.0 : 0.0);
        Buffers out(2, 128, 9.0);
        plugin->ProcessBlock(nullptr, out.data(), 128);
        EXPECT_EQ(out.channels, Buffers(2, 128).channels) << "bypassed " << bypassed;
        EXPECT_TRUE(AubrevaneProbe::meterReadings(*plugin, false).empty()); // no input, no input meter
    }
}

TEST(AubrevaneAudioRoad, MissingOutputArrayRunsNothingButStillPublishes)
{
    const auto plugin = preparedPlugin();
    Buffers in = noise(2, 480, 0.5);
    AubrevaneProbe::learnStartRequested(*plugin).store(true);
    plugin->ProcessBlock(in.data(), nullptr, 480);
    EXPECT_TRUE(AubrevaneProbe::view(*plugin).learning.load()); // the view was published
    EXPECT_TRUE(AubrevaneProbe::meterReadings(*plugin, true).empty());
}

TEST(AubrevaneAudioRoad, LearnRequestWhileBypassedIsDropped)
{
    const auto plugin = preparedPlugin();
    plugin->GetParam(kBypass)->Set(1.0);
    AubrevaneProbe::learnStartRequested(*plugin).store(true);
    runBlocks(*plugin, 1, 256);
    plugin->GetParam(kBypass)->Set(0.0);
    runBlocks(*plugin, 1, 256);
    EXPECT_FALSE(AubrevaneProbe::engine(*plugin).learning);
}

TEST(AubrevaneAudioRoad, BypassDuringLearningStopsItWithoutClearingTheReference)
{
    const auto plugin = preparedPlugin();
    plugin->onLearnFromInput();
    runBlocks(*plugin, 2, 256);
    ASSERT_TRUE(AubrevaneProbe::engine(*plugin).learning);
    plugin->GetParam(kBypass)->Set(1.0);
    runBlocks(*plugin, 1, 256);
    EXPECT_FALSE(AubrevaneProbe::engine(*plugin).learning);
    EXPECT_FALSE(AubrevaneProbe::referenceCleared(*plugin).load());
}

TEST(AubrevaneAudioRoad, LearningThatEndsByItselfInstallsTheTargetAndClearsTheReferenceOnce)
{
    const auto plugin = preparedPlugin();
    plugin->onLearnFromInput();
    runBlocks(*plugin, 160, 1024); // 3.4 s of loud noise: learning takes 3 s above the threshold
    ASSERT_FALSE(AubrevaneProbe::engine(*plugin).learning);
    EXPECT_TRUE(plugin->hasLearnedTarget());
    EXPECT_TRUE(AubrevaneProbe::referenceCleared(*plugin).exchange(false));
    runBlocks(*plugin, 4, 1024);
    EXPECT_FALSE(AubrevaneProbe::referenceCleared(*plugin).load());
}

TEST(AubrevaneAudioRoad, LearningStoppedByRequestKeepsTheReference)
{
    const auto plugin = preparedPlugin();
    plugin->onLearnFromInput();
    runBlocks(*plugin, 20, 1024);
    plugin->onCancelLearning();
    runBlocks(*plugin, 2, 1024);
    EXPECT_FALSE(AubrevaneProbe::engine(*plugin).learning);
    EXPECT_FALSE(AubrevaneProbe::referenceCleared(*plugin).load());
    EXPECT_FALSE(plugin->hasLearnedTarget());
}

TEST(AubrevaneAudioRoad, AResetThatEndsLearningKeepsTheHeldTargetAndItsReference)
{
    const auto plugin = preparedPlugin();
    AubrevaneProbe::loadedBalance(*plugin).write(balanceTarget(0.5));
    AubrevaneProbe::loadedTargetPending(*plugin).store(true);
    AubrevaneProbe::setReferenceName(*plugin, "Male speech");
    runBlocks(*plugin, 1, 256);
    plugin->onLearnFromInput();
    runBlocks(*plugin, 2, 256);
    ASSERT_TRUE(AubrevaneProbe::engine(*plugin).learning);

    plugin->OnReset(); // a host reset (new transport run, bypass switch) prepares the engine, which ends learning
    // While the host's bypass is on no block follows, so the editor must hear of it from the reset itself.
    EXPECT_FALSE(AubrevaneProbe::view(*plugin).learning.load());
    EXPECT_EQ(AubrevaneProbe::view(*plugin).learnProgress.load(), 0.0f);
    runBlocks(*plugin, 2, 256);
    plugin->OnIdle();
    EXPECT_FALSE(AubrevaneProbe::engine(*plugin).learning);
    EXPECT_EQ(AubrevaneProbe::engine(*plugin).targetBalance, balanceTarget(0.5).balance);
    EXPECT_EQ(plugin->referenceName(), "Male speech");
}

TEST(AubrevaneAudioRoad, ARestoredStateEndsLearningAndKeepsItsTargetAndReference)
{
    for (const int version : {1, 5})
    {
        const auto plugin = preparedPlugin();
        plugin->onLearnFromInput();
        runBlocks(*plugin, 2, 256);
        ASSERT_TRUE(AubrevaneProbe::engine(*plugin).learning);

        aubrevane::test::StateSpec spec;
        spec.version = version;
        spec.headTarget = spec.balance = balanceTarget(0.5).balance;
        spec.headParams[kAmount] = 50.0;
        spec.headParams[kThreshold] = -40.0; // the noise below is well above it, so learning would complete
        spec.tailParams.assign(22, 0.0);
        const auto bytes = aubrevane::test::stateBytes(spec);
        ASSERT_EQ(aubrevane::test::restoreState(*plugin, bytes), static_cast<int>(bytes.size())) << version;

        runBlocks(*plugin, 200, 1024); // loud noise for longer than learning takes: nothing may be learned now
        plugin->OnIdle();
        EXPECT_FALSE(AubrevaneProbe::engine(*plugin).learning) << version;
        EXPECT_EQ(AubrevaneProbe::engine(*plugin).targetBalance, balanceTarget(0.5).balance) << version;
        EXPECT_EQ(plugin->referenceName(), version >= 2 ? "song.wav" : "") << version;
    }
}

#if defined(__SSE__) || defined(__x86_64__)
TEST(AubrevaneAudioRoad, BlocksFlushDenormalsAndGiveTheCallerItsFloatingPointModeBack)
{
    constexpr unsigned kFlushBits = 0x8040u; // flush-to-zero and denormals-are-zero
    const auto plugin = preparedPlugin();
    const unsigned original = _mm_getcsr();
    for (const unsigned callerMode : {original & ~kFlushBits, original | kFlushBits})
    {
        _mm_setcsr(callerMode);
        Buffers in = noise(2, 256, 0.5);
        Buffers out(2, 256);
        plugin->ProcessBlock(in.data(), out.data(), 256);
        const unsigned after = _mm_getcsr();
        _mm_setcsr(original);
        EXPECT_EQ(after & ~0x3Fu, callerMode & ~0x3Fu); // the exception flags (low six bits) may be raised
    }

    // Inside a block a denormal input reads as zero, so a flat engine that has heard nothing else puts out zeros.
    const auto flat = preparedPlugin();
    flat->GetParam(kAmount)->Set(0.0);
    flat->GetParam(kHighPassOn)->Set(0.0);
    flat->GetParam(kLowPassOn)->Set(0.0);
    Buffers tiny(2, 256, 1e-310);
    Buffers out(2, 256, 9.0);
    _mm_setcsr(original & ~kFlushBits);
    flat->ProcessBlock(tiny.data(), out.data(), 256);
    _mm_setcsr(original);
    EXPECT_EQ(out.channels, Buffers(2, 256).channels);
}
#endif

TEST(AubrevaneAudioRoad, TargetsHandedOverAreInstalledAndPublished)
{
    for (const bool fromFile : {true, false})
    {
        const auto plugin = preparedPlugin();
        auto& record = fromFile ? AubrevaneProbe::fileBalance(*plugin) : AubrevaneProbe::loadedBalance(*plugin);
        auto& pending =
            fromFile ? AubrevaneProbe::fileBalancePending(*plugin) : AubrevaneProbe::loadedTargetPending(*plugin);
        record.write(balanceTarget(0.5));
        pending.store(true);
        runBlocks(*plugin, 1, 64);
        EXPECT_TRUE(AubrevaneProbe::engine(*plugin).targetValid);
        EXPECT_EQ(AubrevaneProbe::engine(*plugin).targetBalance, balanceTarget(0.5).balance);
        TargetValues published;
        ASSERT_TRUE(AubrevaneProbe::published(*plugin).tryRead(published));
        EXPECT_TRUE(published.valid);
        EXPECT_EQ(published.balance, balanceTarget(0.5).balance);

        plugin->onClearLearnedTarget();
        runBlocks(*plugin, 1, 64);
        EXPECT_FALSE(plugin->hasLearnedTarget());
    }
}

TEST(AubrevaneAudioRoad, ARecordCaughtMidWriteIsTakenWhenItsWriterRaisesItAgain)
{
    // Only a newer request of the same kind writes a record, and its writer raises the request when done. Raising it
    // again on the audio thread could bring back a request that an even newer one of another kind withdrew.
    const auto plugin = preparedPlugin();
    auto& record = AubrevaneProbe::fileBalance(*plugin);
    record.write(balanceTarget(1.0));
    record.version.fetch_add(1); // a writer is in the middle of its write
    AubrevaneProbe::fileBalancePending(*plugin).store(true);
    runBlocks(*plugin, 1, 64);
    EXPECT_FALSE(AubrevaneProbe::fileBalancePending(*plugin).load());
    plugin->onClearLearnedTarget(); // the newer request
    runBlocks(*plugin, 3, 64);
    EXPECT_FALSE(AubrevaneProbe::engine(*plugin).targetValid);

    record.version.fetch_add(1);
    AubrevaneProbe::fileBalancePending(*plugin).store(true);
    runBlocks(*plugin, 1, 64);
    EXPECT_TRUE(AubrevaneProbe::engine(*plugin).targetValid);
    EXPECT_FALSE(AubrevaneProbe::fileBalancePending(*plugin).load());
}

TEST(AubrevaneAudioRoad, SettingsReachTheEngineOnlyWhenTheyChange)
{
    const auto plugin = preparedPlugin();
    runBlocks(*plugin, 1, 64);
    auto& engine = AubrevaneProbe::engine(*plugin);
    ASSERT_EQ(engine.settings, plugin->settingsFromParameters());

    engine.settings.tiltDecibelsPerOctave = 3.25; // a mark that a re-application would overwrite
    runBlocks(*plugin, 2, 64);
    EXPECT_EQ(engine.settings.tiltDecibelsPerOctave, 3.25);

    plugin->GetParam(kSpeed)->Set(80.0);
    runBlocks(*plugin, 1, 64);
    EXPECT_EQ(engine.settings, plugin->settingsFromParameters());
    EXPECT_EQ(AubrevaneProbe::lastApplied(*plugin), plugin->settingsFromParameters());

    engine.settings.tiltDecibelsPerOctave = 3.25;
    plugin->OnReset(); // a reset applies the settings again even when none changed
    runBlocks(*plugin, 1, 64);
    EXPECT_EQ(engine.settings.tiltDecibelsPerOctave, 0.0);
}

TEST(AubrevaneAudioRoad, ShelfSwitchAloneReappliesAndFlagsTheRedesign)
{
    const auto plugin = preparedPlugin();
    runBlocks(*plugin, 1, 64);
    auto& engine = AubrevaneProbe::engine(*plugin);
    engine.preEqShelfChanged = false;
    plugin->GetParam(kPreEq4Shelf)->Set(0.0);
    Buffers in(2, 1), out(2, 1);
    plugin->ProcessBlock(in.data(), out.data(), 0); // no frames: the settings step runs, the engine does not
    EXPECT_TRUE(engine.preEqShelfChanged);
    EXPECT_FALSE(engine.settings.preEq[3].shelf);
}

TEST(AubrevaneAudioRoad, MetersReadTheChannelMeanUnlessTheBlockOutgrowsTheMixBuffer)
{
    // Opposite channels cancel in the mean; a block longer than the one the reset sized for meters channel 0.
    const auto plugin = preparedPlugin(48000.0, 256);
    plugin->GetParam(kBypass)->Set(1.0);
    const auto lastReading = [&plugin](int frames, bool output)
    {
        Buffers in(2, frames, 0.5);
        std::fill(in.channels[1].begin(), in.channels[1].end(), -0.5);
        Buffers out(2, frames);
        for (int block = 0; block < 20; ++block)
            plugin->ProcessBlock(in.data(), out.data(), frames);
        const auto readings = AubrevaneProbe::meterReadings(*plugin, output);
        AubrevaneProbe::meterReadings(*plugin, !output); // drained, so the next run's queue has room
        EXPECT_FALSE(readings.empty());
        return readings.empty() ? iplug::PeakAvgData<1>{} : readings.back();
    };
    const auto mixed = lastReading(256, false);
    EXPECT_EQ(mixed.vals[0], 0.0f);
    EXPECT_EQ(mixed.ctrlTag, kInputMeterTag);
    const auto firstChannel = lastReading(512, true);
    EXPECT_NEAR(firstChannel.vals[0], 0.5f, 0.01f);
    EXPECT_EQ(firstChannel.ctrlTag, kOutputMeterTag);
}

TEST(AubrevaneAudioRoad, HundredsOfBlocksWithChangesInBetweenAllocateNothing)
{
    const auto plugin = preparedPlugin(48000.0, 256);
    Buffers in = noise(2, 256, 0.5);
    Buffers out(2, 256);
    const TargetValues target = balanceTarget(0.25);
    const TargetValues withoutTarget; // a state that holds no target clears the engine's
    long allocations = 0;
    {
        const AllocationScope scope;
        for (int block = 0; block < 600; ++block)
        {
            switch (block % 10)
            {
            case 0:
                AubrevaneProbe::restoredTarget(*plugin).write(block % 20 == 0 ? target : withoutTarget);
                AubrevaneProbe::restoredTargetPending(*plugin).store(true);
                break;
            case 1:
                plugin->GetParam(kAmount)->Set(block % 100);
                break;
            case 2:
                plugin->GetParam(kBypass)->Set(block % 20 == 2 ? 1.0 : 0.0);
                break;
            case 3:
                AubrevaneProbe::learnStartRequested(*plugin).store(true);
                break;
            case 4:
                AubrevaneProbe::fileBalance(*plugin).write(target);
                AubrevaneProbe::fileBalancePending(*plugin).store(true);
                break;
            case 5:
                AubrevaneProbe::clearTargetRequested(*plugin).store(true);
                break;
            case 6:
                plugin->GetParam(kPreEq1Shelf)->Set(block % 20 == 6 ? 0.0 : 1.0);
                break;
            case 7:
                AubrevaneProbe::loadedBalance(*plugin).write(target);
                AubrevaneProbe::loadedTargetPending(*plugin).store(true);
                break;
            case 8:
                plugin->OnReset();
                break; // a host reset is taken on the audio thread at the next render
            default:
                plugin->onCancelLearning();
                break;
            }
            plugin->ProcessBlock(in.data(), out.data(), 256);
        }
        allocations = scope.count();
    }
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(aubrevane::plugin::LabelMutex::audioRoadLocks(), 0);
}
