#include "OperationsSupport.h"

#include "support/Signals.h"
#include "support/SoundFiles.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace
{

using namespace aubrevane::test;

TEST(TargetHandOff, WorkerAudioAndMainThreadsMeetOnlyInTheirRecords)
{
    const auto reference = testFolder() / "reference.wav";
    ASSERT_TRUE(writeMonoWav(reference, pinkNoise(3 * 16000, 16000.0, 21), 16000));

    auto plugin = preparedPlugin(48000.0, 64);
    std::atomic<bool> stop{false};
    std::thread audio(
        [&]
        {
            while (!stop.load())
                runBlocks(*plugin, 1, 64);
        });

    const auto speech = factoryTarget("Male speech");
    for (int round = 0; round < 3; ++round)
    {
        plugin->learnFromFile(reference.string());
        // The main thread keeps loading, listing and ticking while the worker and the audio thread run.
        do
        {
            plugin->loadTarget(speech);
            plugin->OnIdle();
            EXPECT_TRUE(plugin->savedTargets().empty());
            (void)plugin->hasLearnedTarget();
        } while (plugin->learningState() == Aubrevane::kLearnAnalysing);
        EXPECT_EQ(plugin->learningState(), Aubrevane::kLearnIdle);
    }
    stop.store(true);
    audio.join();

    runBlocks(*plugin, 2);
    EXPECT_TRUE(plugin->hasLearnedTarget());
    const std::string name = plugin->referenceName();
    EXPECT_TRUE(name == "reference.wav" || name == "Male speech") << name;
}

} // namespace
