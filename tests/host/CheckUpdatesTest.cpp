#include "plugin/Version.h"
#include "support/LoopbackHttpServer.h"
#include "support/RunProgram.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>

#include <ctime>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <regex>
#include <string>

namespace
{

namespace fs = std::filesystem;
using aubrevane::test::HttpReply;
using aubrevane::test::LoopbackHttpServer;
using aubrevane::test::ProgramRun;

/** The maker's feed offering `version` of this product on its download page. */
std::string feedOffering(const std::string& version)
{
    return R"({"aubrevane":{"version":")" + version + R"(","page":"/aubrevane/download"}})";
}

/** A feed that parses and fits the transport's limit, but whose quoted copy in the record would not fit. */
std::string feedTooLargeToKeep()
{
    std::string body = "{";
    for (int i = 0; i < 5000; ++i)
        body += "\"" + std::to_string(i) + "\":\"\",";
    return body + feedOffering("1.0.0").substr(1);
}

/** Runs `aubrevane-host check-updates` against the server; the test main already points the data folder at the
 * test's own folder. */
ProgramRun checkUpdates(const LoopbackHttpServer& server)
{
    setenv("WENDLEBRAK_UPDATES_URL", server.url().c_str(), 1);
    ProgramRun run = aubrevane::test::runProgram(AUBREVANE_HOST_EXE, {"check-updates"}, aubrevane::test::testFolder());
    unsetenv("WENDLEBRAK_UPDATES_URL");
    return run;
}

HttpReply answer(int status, const std::string& body)
{
    HttpReply reply;
    reply.bytes = LoopbackHttpServer::response(status, body);
    return reply;
}

struct UpdateCase
{
    const char* name;
    int status;
    std::string body;
    int exitCode;
    std::string out;
    std::string err;
};

void PrintTo(const UpdateCase& c, std::ostream* out)
{
    *out << c.name;
}

class CheckUpdates : public testing::TestWithParam<UpdateCase>
{
};

TEST_P(CheckUpdates, PrintsWhatTheServerOffers)
{
    const UpdateCase& c = GetParam();
    LoopbackHttpServer server(answer(c.status, c.body));
    const ProgramRun run = checkUpdates(server);
    server.stop();
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
    ASSERT_EQ(server.requests(), 1);
    EXPECT_EQ(server.requestHeads()[0].rfind("GET /updates.json HTTP/1.1\r\n", 0), 0u) << server.requestHeads()[0];
}

INSTANTIATE_TEST_SUITE_P(
    Answers, CheckUpdates,
    testing::Values(
        UpdateCase{"NewerVersion", 200, feedOffering("1.0.0"), 0,
                   "newer version: 1.0.0 https://updates.wendlebrak.com/aubrevane/download\n", ""},
        UpdateCase{"SameVersion", 200, feedOffering(aubrevane::plugin::kVersionText), 0,
                   "no newer version is available\n", ""},
        UpdateCase{"OlderVersion", 200, feedOffering("0.1.0"), 0, "no newer version is available\n", ""},
        UpdateCase{"ServerError", 500, R"({"error":"down"})", 1, "",
                   "aubrevane-host: the update check failed: the server answered 500\n"},
        UpdateCase{"NotAFeed", 200, "<html>maintenance</html>", 1, "",
                   "aubrevane-host: the update check failed: the server's answer is not an update feed\n"},
        UpdateCase{"FeedTooLargeToKeep", 200, feedTooLargeToKeep(), 1, "",
                   "aubrevane-host: the update check failed: the server's update feed is too large to keep\n"},
        UpdateCase{"FeedOverTheTransportsLimit", 200, feedOffering("1.0.0") + std::string(70000, ' '), 1, "",
                   "aubrevane-host: the update check failed: the server's update feed is too large to keep\n"}),
    [](const testing::TestParamInfo<UpdateCase>& info) { return std::string(info.param.name); });

TEST(CheckUpdatesRecord, AskedAgainWithinTenMinutesTheStoredNoticeStandsWithoutARequest)
{
    {
        LoopbackHttpServer server(answer(200, feedOffering("2.3.4")));
        ASSERT_EQ(checkUpdates(server).exitCode, 0);
    }
    // The server now fails, but the check is not due: the last good feed still gives the notice.
    LoopbackHttpServer failing(answer(500, ""));
    const ProgramRun again = checkUpdates(failing);
    failing.stop();
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(again.out, "newer version: 2.3.4 https://updates.wendlebrak.com/aubrevane/download\n");
    EXPECT_EQ(failing.requests(), 0);
}

TEST(CheckUpdatesRecord, AskedAgainSoonAfterAFailureSaysWhenTheNextCheckIsDue)
{
    {
        LoopbackHttpServer failing(answer(500, ""));
        ASSERT_EQ(checkUpdates(failing).exitCode, 1);
    }
    LoopbackHttpServer server(answer(200, feedOffering("1.0.0")));
    const ProgramRun again = checkUpdates(server);
    server.stop();
    EXPECT_EQ(server.requests(), 0);
    EXPECT_EQ(again.exitCode, 0) << again.err;

    const std::string record = aubrevane::test::readText(fs::path(std::getenv("WENDLEBRAK_DATA_DIR")) / "updates.json");
    std::smatch stamp;
    ASSERT_TRUE(std::regex_search(record, stamp, std::regex(R"("checked_at":([0-9]+),)"))) << record;
    const auto due = static_cast<std::time_t>(std::stoll(stamp[1]) + 600);
    std::tm local{};
    char clock[32] = "";
    ASSERT_NE(localtime_r(&due, &local), nullptr);
    std::strftime(clock, sizeof clock, "%Y-%m-%d %H:%M:%S", &local);
    const std::regex expected("the feed was checked recently; the next check is due at " + std::string(clock) +
                              R"( \(in [0-9]+ seconds\)\n)");
    EXPECT_TRUE(std::regex_match(again.out, expected)) << again.out;
}

TEST(CheckUpdatesRecord, NoServerListeningIsAFailureNamingTheAddress)
{
    std::string url;
    {
        LoopbackHttpServer closed(answer(200, ""));
        url = closed.url();
    } // the port is free again, so the connection is refused
    setenv("WENDLEBRAK_UPDATES_URL", url.c_str(), 1);
    const ProgramRun run =
        aubrevane::test::runProgram(AUBREVANE_HOST_EXE, {"check-updates"}, aubrevane::test::testFolder());
    unsetenv("WENDLEBRAK_UPDATES_URL");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "aubrevane-host: the update check failed: no answer from " + url + "\n");
}

} // namespace
