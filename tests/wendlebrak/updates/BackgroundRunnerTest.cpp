#include "wendlebrak/updates/BackgroundRunner.h"

#include "support/LoopbackHttpServer.h"
#include "wendlebrak/net/Http.h"
#include "wendlebrak/updates/UpdateCheck.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>
#include <vector>

namespace
{

using aubrevane::test::HttpReply;
using aubrevane::test::LoopbackHttpServer;
using wendlebrak::updates::BackgroundRunner;

TEST(BackgroundRunner, RunsStepsInOrderOnItsOwnThreadAndSurvivesAThrowingStep)
{
    BackgroundRunner runner;
    std::vector<int> order;
    std::thread::id stepThread;
    ASSERT_TRUE(runner.post([&] { order.push_back(1); }));
    ASSERT_TRUE(runner.post([] { throw std::runtime_error("step failed"); }));
    ASSERT_TRUE(runner.runAndWait(
        [&]
        {
            order.push_back(2);
            stepThread = std::this_thread::get_id();
        }));
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_NE(stepThread, std::this_thread::get_id());
    EXPECT_FALSE(runner.post({}));
}

TEST(BackgroundRunner, StopEndsARunningTransferAndDropsWhatIsQueued)
{
    LoopbackHttpServer server({HttpReply::Mode::Silent, "", false});
    BackgroundRunner runner;
    std::atomic<int> status{-1};
    std::atomic<bool> queuedRan{false};
    ASSERT_TRUE(runner.post([&] { status = wendlebrak::net::send(server.url(), 3600).status; }));
    ASSERT_TRUE(runner.post([&] { queuedRan = true; }));
    while (server.requests() == 0) // the transfer is under way once the server has its request
        std::this_thread::sleep_for(std::chrono::milliseconds(5));

    runner.stop(); // returns only once the transfer gave up and the thread was joined
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(queuedRan);
    EXPECT_FALSE(runner.post([] {}));
    EXPECT_FALSE(runner.runAndWait([] {}));
}

TEST(BackgroundRunner, ReloadsRacingWithTheSettingsMenuNeverKeepAStaleFlag)
{
    namespace fs = std::filesystem;
    wendlebrak::updates::Config config;
    config.product = "aubrevane";
    config.version = "0.9.14";
    config.mayUseNetwork = [] { return false; };
    wendlebrak::updates::UpdateCheck check(std::move(config));
    for (int round = 0; round < 50; ++round)
    {
        std::atomic<bool> menuDone{false};
        std::thread menu(
            [&]
            {
                for (int i = 0; i < 20; ++i)
                    check.setEnabled(i % 2 == round % 2);
                menuDone = true;
            });
        BackgroundRunner runner;
        while (!menuDone)
            runner.runAndWait(
                [&]
                {
                    check.checkIfDue();
                    check.reload();
                });
        menu.join();
        runner.stop();
        ASSERT_EQ(check.state().enabled, !fs::exists(check.offFile())) << round;
    }
}

} // namespace
