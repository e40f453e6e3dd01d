#include "ProbePlug.h"

#include "framework/LockFreeQueue.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>
#include <vector>

namespace
{

using namespace iplug;
using aubrevane::test::OpenedProbe;
using aubrevane::test::ProbePlug;

TEST(FrameworkConcurrency, BypassAndResetFromTheMainThreadAreTakenOnTheAudioThread)
{
    OpenedProbe probe;
    ASSERT_EQ(probe.initialize(48000.0, 128, 2, 2), kAUNoErr);
    std::atomic<bool> stop{false};
    std::atomic<int> resetsAsked{0};
    std::thread::id audioThread;
    std::thread audio(
        [&]
        {
            audioThread = std::this_thread::get_id();
            std::vector<double> left(128, 0.25), right(128, -0.25);
            std::array<double*, 2> channels = {left.data(), right.data()};
            // On a busy machine the main thread may not have run yet after 20000 blocks: keep rendering until it
            // has asked for resets, and render once more after seeing that, so the last request is taken here.
            bool enoughAsked = false;
            for (int i = 0; i < 20000 || !enoughAsked; ++i)
            {
                enoughAsked = resetsAsked.load() >= 20;
                ASSERT_EQ(probe.render(channels.data(), channels.data(), 128), kAUNoErr);
            }
            stop = true;
        });
    auto reset = probe.proc<AUResetProc>(kAUResetSelect);
    auto bypass = probe.proc<AUSetBypassProc>(kAUSetBypassSelect);
    auto setParameter = probe.proc<AUSetParameterProc>(kAUSetParameterSelect);
    for (int i = 0; !stop; ++i)
    {
        bypass(probe.record, i % 2);
        if (i % 7 == 0)
        {
            reset(probe.record);
            ++resetsAsked;
        }
        setParameter(probe.record, 0, (i % 48) - 24.0);
        std::this_thread::yield();
    }
    audio.join();
    EXPECT_GT(probe.plug().resets, 1);
    EXPECT_EQ(probe.plug().resetThread, audioThread); // every reset after initialising ran on the audio thread
}

TEST(FrameworkConcurrency, InitialiseDuringRenderIsRefusedNotRaced)
{
    OpenedProbe probe;
    ASSERT_EQ(probe.initialize(48000.0, 64, 2, 2), kAUNoErr);
    std::atomic<bool> stop{false};
    std::thread audio(
        [&]
        {
            std::vector<double> left(64), right(64);
            std::array<double*, 2> channels = {left.data(), right.data()};
            while (!stop)
            {
                const OSStatus status = probe.render(channels.data(), channels.data(), 64);
                ASSERT_TRUE(status == kAUNoErr || status == kAUErrBusy);
            }
        });
    for (int i = 0; i < 2000; ++i)
    {
        const OSStatus status = probe.initialize(48000.0, 64, 2, 2);
        ASSERT_TRUE(status == kAUNoErr || status == kAUErrBusy);
    }
    stop = true;
    audio.join();
    std::vector<double> left(64), right(64);
    std::array<double*, 2> channels = {left.data(), right.data()};
    EXPECT_EQ(probe.render(channels.data(), channels.data(), 64), kAUNoErr);
}

TEST(FrameworkConcurrency, QueueHandsOverEveryItemInOrder)
{
    LockFreeQueue<int, 64> queue;
    constexpr int kItems = 200000;
    std::thread producer(
        [&]
        {
            for (int i = 0; i < kItems; ++i)
                while (!queue.Push(i))
                    std::this_thread::yield();
        });
    int expected = 0;
    int item = 0;
    while (expected < kItems)
        if (queue.Pop(item))
        {
            ASSERT_EQ(item, expected);
            ++expected;
        }
    producer.join();
    EXPECT_FALSE(queue.Pop(item));
}

TEST(FrameworkConcurrency, ParameterReadsSeeWholeValues)
{
    IParam param;
    param.InitFrequency("Freq", 1000.0, 20.0, 20000.0, 0.1);
    std::atomic<bool> stop{false};
    std::thread writer(
        [&]
        {
            for (int i = 0; i < 100000; ++i)
                param.Set(i % 2 ? 20.0 : 20000.0);
            stop = true;
        });
    while (!stop)
    {
        const double value = param.Value();
        ASSERT_TRUE(value == 20.0 || value == 20000.0 || value == 1000.0) << value;
    }
    writer.join();
}

TEST(FrameworkConcurrency, CloseStopsBackgroundWorkUnderWayAndDestroysOnlyAfterIt)
{
    ProbePlug::destroyed = 0;
    ProbePlug::destroyedDuringBackgroundWork = false;
    OpenedProbe probe;
    ProbePlug& plug = probe.plug();
    plug.backgroundBlocksUntilStopped = true;
    iplug::OSStatus status = kAUErrFailure;
    std::thread host([&] { status = probe.proc<AURunBackgroundWorkProc>(kAURunBackgroundWorkSelect)(probe.record); });
    while (!plug.backgroundRunning.load())
        std::this_thread::yield();
    EXPECT_EQ(probe.record->Close(probe.record), kAUNoErr);
    probe.record = nullptr;
    EXPECT_EQ(ProbePlug::destroyed, 1);
    host.join();
    EXPECT_EQ(status, kAUNoErr);
    EXPECT_FALSE(ProbePlug::destroyedDuringBackgroundWork);
}

} // namespace
