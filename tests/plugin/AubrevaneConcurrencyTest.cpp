#include "OperationsSupport.h"
#include "StateBuilder.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <random>
#include <thread>
#include <vector>

using aubrevane::plugin::TargetSnapshot;
using aubrevane::plugin::TargetValues;
using aubrevane::test::preparedPlugin;

namespace
{

/** Every value of a write carries its generation, so a copy that mixes two writes shows at once. */
TargetValues stamped(std::uint32_t generation)
{
    TargetValues values;
    const double stamp = (generation % 4000) * 0.01;
    values.offsetDecibels.fill(stamp);
    values.balance.fill(stamp);
    values.valid = generation % 2 == 1;
    return values;
}

bool consistent(const TargetValues& values)
{
    const TargetValues expected = stamped(static_cast<std::uint32_t>(std::lround(values.balance[0] / 0.01)));
    return values.offsetDecibels == expected.offsetDecibels && values.balance == expected.balance &&
           values.valid == expected.valid;
}

bool uniform(const std::array<double, 12>& values)
{
    for (double value : values)
        if (value != values[0])
            return false;
    return true;
}

} // namespace

TEST(TargetSnapshotStress, TwoClaimingWritersAndTwoReadersNeverSeeAMixedRecord)
{
    TargetSnapshot record;
    record.write(stamped(0));
    constexpr int kWrites = 20000;
    std::atomic<int> writersDone{0};
    std::atomic<long> goodReads{0};
    std::atomic<long> badReads{0};

    const auto writer = [&](std::uint32_t first)
    {
        for (std::uint32_t g = first; g < first + 2 * kWrites; g += 2)
            while (!record.tryWrite(stamped(g)))
                std::this_thread::yield();
        writersDone.fetch_add(1);
    };
    const auto reader = [&]
    {
        for (int attempt = 0; writersDone.load() < 2 || attempt < 1000; ++attempt)
        {
            TargetValues copy;
            if (record.tryRead(copy))
                (consistent(copy) ? goodReads : badReads).fetch_add(1);
        }
    };
    std::thread a(writer, 1u), b(writer, 2u), c(reader), d(reader);
    a.join();
    b.join();
    c.join();
    d.join();
    EXPECT_EQ(badReads.load(), 0);
    EXPECT_GT(goodReads.load(), 0);
    EXPECT_EQ(record.version.load() % 2, 0u);
}

TEST(AubrevaneStress, AudioBlocksWhileTheMainThreadRestoresRequestsAndReads)
{
    const auto plugin = preparedPlugin(48000.0, 64);
    constexpr int kBlocks = 6000;
    std::atomic<bool> audioDone{false};

    std::thread audio(
        [&]
        {
            // Quiet input: learning from it never completes, so every published balance is a stamped one or zeros.
            std::vector<double> left(64), right(64);
            std::mt19937 random(3);
            std::uniform_real_distribution<double> uniformNoise(-1e-4, 1e-4);
            for (int block = 0; block < kBlocks; ++block)
            {
                for (int i = 0; i < 64; ++i)
                {
                    left[i] = uniformNoise(random);
                    right[i] = uniformNoise(random);
                }
                double* channels[2] = {left.data(), right.data()};
                plugin->ProcessBlock(channels, channels, 64);
            }
            audioDone.store(true);
        });

    long reads = 0, mixed = 0, saves = 0;
    for (std::uint32_t g = 1; !audioDone.load(); ++g)
    {
        plugin->GetParam(kAmount)->Set(g % 101);
        switch (g % 6)
        {
        case 0:
            plugin->onLearnFromInput();
            break;
        case 1:
            plugin->onCancelLearning();
            break;
        case 2:
            plugin->onClearLearnedTarget();
            break;
        case 3:
            AubrevaneProbe::loadedBalance(*plugin).write(stamped(g | 1));
            AubrevaneProbe::loadedTargetPending(*plugin).store(true);
            break;
        case 4:
        {
            aubrevane::test::StateSpec spec;
            spec.headTarget = stamped(g).offsetDecibels;
            spec.balance = stamped(g).balance;
            spec.tailParams.assign(22, 1.0);
            const auto bytes = aubrevane::test::stateBytes(spec);
            EXPECT_EQ(aubrevane::test::restoreState(*plugin, bytes), static_cast<int>(bytes.size()));
            break;
        }
        default:
        {
            aubrevane::test::stateBytes(*plugin);
            ++saves;
            break;
        }
        }
        plugin->OnIdle();
        TargetValues copy;
        if (AubrevaneProbe::published(*plugin).tryRead(copy))
        {
            ++reads;
            mixed += uniform(copy.balance) ? 0 : 1;
        }
    }
    audio.join();
    EXPECT_GT(reads, 0);
    EXPECT_GT(saves, 0);
    EXPECT_EQ(mixed, 0);
}

TEST(AubrevaneStress, LoadsWhileTheHostAutomatesTiltPublishWhatTheEnginePlays)
{
    const auto plugin = preparedPlugin(48000.0, 64);
    constexpr int kLoads = 300;
    std::atomic<int> loadsReturned{0};
    std::atomic<int> loadsChecked{0};
    std::atomic<bool> stop{false};
    int mismatches = 0; // the audio thread's until it is joined

    std::thread audio(
        [&]
        {
            const auto& engine = AubrevaneProbe::engine(*plugin);
            for (int block = 0; !stop.load(); ++block)
            {
                plugin->GetParam(kTilt)->Set(-6.0 + (block % 121) * 0.1);
                aubrevane::test::runBlocks(*plugin, 1, 64);
                const int returned = loadsReturned.load();
                if (returned == loadsChecked.load() || AubrevaneProbe::loadedTargetPending(*plugin).load())
                    continue;
                // The last load has returned and a block has taken it; the main thread waits for this check.
                TargetValues shown;
                if (!AubrevaneProbe::published(*plugin).tryRead(shown) ||
                    shown.offsetDecibels != engine.targetOffsetDecibels)
                    ++mismatches;
                loadsChecked.store(returned);
            }
        });

    const std::array targets = {aubrevane::test::factoryTarget("Male speech"),
                                aubrevane::test::factoryTarget("Female speech")};
    for (int load = 1; load <= kLoads; ++load)
    {
        plugin->loadTarget(targets[load % 2]);
        loadsReturned.store(load);
        while (loadsChecked.load() != load)
            std::this_thread::yield();
    }
    stop.store(true);
    audio.join();
    EXPECT_EQ(mismatches, 0) << "of " << kLoads << " loads";
}
