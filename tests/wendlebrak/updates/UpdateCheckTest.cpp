#include "wendlebrak/updates/UpdateCheck.h"

#include "support/LoopbackHttpServer.h"
#include "support/TestFolder.h"
#include "wendlebrak/json/Json.h"
#include "wendlebrak/updates/BackgroundRunner.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;
using wendlebrak::net::HttpResult;
using wendlebrak::updates::Config;
using wendlebrak::updates::Notice;
using wendlebrak::updates::UpdateCheck;

constexpr long long kStart = 1'800'000'000;

std::string feedWith(const std::string& version, const std::string& page)
{
    return "{\"other\":{\"version\":\"9.9.9\",\"page\":\"/other\"},\"aubrevane\":{\"version\":\"" + version +
           "\",\"page\":\"" + page + "\"}}";
}

std::string recordLine(long long checkedAt, const std::string& feed)
{
    return "{\"version\":1,\"checked_at\":" + std::to_string(checkedAt) + ",\"feed\":" + wendlebrak::json::quote(feed) +
           "}\n";
}

std::string readText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeText(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

/** A check on the test's own folder with a clock, transport and permission the test drives and counts. */
class UpdateCheckTest : public testing::Test
{
protected:
    std::unique_ptr<UpdateCheck> make(const std::string& runningVersion = "0.9.14")
    {
        Config config;
        config.product = "aubrevane";
        config.version = runningVersion;
        config.directory = folder;
        config.now = [this]
        {
            ++clockReads;
            return clock;
        };
        config.fetch = [this](const std::string& url)
        {
            ++fetches;
            fetchedUrl = url;
            return reply;
        };
        config.mayUseNetwork = [this]
        {
            ++permissionAsks;
            return allowed;
        };
        return std::make_unique<UpdateCheck>(std::move(config));
    }

    std::vector<std::string> folderNames() const
    {
        std::vector<std::string> names;
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(folder, ignored))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    const fs::path folder = std::getenv("WENDLEBRAK_DATA_DIR");
    long long clock = kStart;
    bool allowed = true;
    HttpResult reply{200, feedWith("0.10.0", "/download"), 0};
    int fetches = 0, clockReads = 0, permissionAsks = 0;
    std::string fetchedUrl;
};

TEST_F(UpdateCheckTest, FirstCheckFetchesAndStoresTheRecordByteForByte)
{
    auto check = make();
    check->checkIfDue();
    EXPECT_EQ(fetches, 1);
    EXPECT_EQ(fetchedUrl, "https://updates.wendlebrak.com/updates.json");
    EXPECT_EQ(readText(check->recordFile()), recordLine(kStart, reply.body));
    EXPECT_EQ(folderNames(), std::vector<std::string>{"updates.json"});

    EXPECT_FALSE(check->state().notice); // the network step recomputes the notice with reload
    check->reload();
    const auto state = check->state();
    EXPECT_TRUE(state.enabled);
    EXPECT_EQ(state.notice, (Notice{"0.10.0", "https://updates.wendlebrak.com/download"}));
}

TEST_F(UpdateCheckTest, FetchesOnlyWhenTheStampIsAtLeast600SecondsOldOrInTheFuture)
{
    const std::pair<long long, bool> table[] = {
        {kStart + 599, false}, {kStart + 600, true}, {kStart, false}, {kStart - 1, true}, {kStart * 1000, true},
    };
    for (const auto& [now, due] : table)
    {
        auto check = make();
        ASSERT_TRUE(check->writeRecord({kStart, "{}"}));
        fetches = 0;
        clock = now;
        check->checkIfDue();
        EXPECT_EQ(fetches, due ? 1 : 0) << now;
        EXPECT_EQ(check->readRecord().checkedAt, due ? now : kStart) << now;
        const auto step = check->lastStep();
        EXPECT_EQ(step.outcome, due ? UpdateCheck::Outcome::kFetched : UpdateCheck::Outcome::kNotDue) << now;
        EXPECT_EQ(step.checkedAt, due ? now : kStart) << now;
    }
}

TEST_F(UpdateCheckTest, ExtremeStampsAndClocksAreDueWithoutOverflow)
{
    const std::pair<long long, long long> table[] = {
        {LLONG_MIN, LLONG_MAX}, {1LL << 62, LLONG_MIN}, {LLONG_MIN, 0}, {-1, LLONG_MAX}};
    for (const auto& [stamp, now] : table)
    {
        auto check = make();
        ASSERT_TRUE(check->writeRecord({stamp, ""}));
        ASSERT_EQ(check->readRecord().checkedAt, stamp);
        fetches = 0;
        clock = now;
        check->checkIfDue();
        EXPECT_EQ(fetches, 1) << stamp << " " << now;
    }
}

TEST_F(UpdateCheckTest, TheOffSwitchStopsEverythingWithoutTouchingAFile)
{
    writeText(folder / "updates-off", "");
    writeText(folder / "updates.json", recordLine(0, feedWith("1.0.0", "/download")));
    auto check = make();
    const auto state = check->state();
    EXPECT_FALSE(state.enabled);
    EXPECT_FALSE(state.notice);

    check->checkIfDue();
    EXPECT_EQ(fetches + clockReads + permissionAsks, 0);
    EXPECT_EQ(readText(check->recordFile()), recordLine(0, feedWith("1.0.0", "/download")));
    EXPECT_EQ(folderNames(), (std::vector<std::string>{"updates-off", "updates.json"}));
}

TEST_F(UpdateCheckTest, WithoutPermissionNothingIsFetchedOrWritten)
{
    allowed = false;
    auto check = make();
    check->checkIfDue();
    EXPECT_EQ(fetches, 0);
    EXPECT_FALSE(fs::exists(check->recordFile()));
}

TEST_F(UpdateCheckTest, AnUnusableAnswerKeepsTheStoredFeedButTakesTheNewStamp)
{
    using Outcome = UpdateCheck::Outcome;
    const std::string goodFeed = feedWith("0.10.0", "/download");
    const std::pair<HttpResult, Outcome> answers[] = {
        {{200, "[1,2]", 0}, Outcome::kNotAFeed},
        {{200, "{\"aubrevane\":", 0}, Outcome::kNotAFeed},
        {{200, "", 0}, Outcome::kNotAFeed},
        {{404, "{}", 0}, Outcome::kFailedStatus},
        {{500, "{}", 0}, Outcome::kFailedStatus},
        {{0, "", 0}, Outcome::kNoAnswer},
        {{200, "{\"a\":\"" + std::string(65536, 'x') + "\"}", 0}, Outcome::kFeedTooLarge},
    };
    for (const auto& [answer, outcome] : answers)
    {
        auto check = make();
        ASSERT_TRUE(check->writeRecord({kStart - 600, goodFeed}));
        check->reload();
        reply = answer;
        check->checkIfDue();
        check->reload();
        EXPECT_EQ(readText(check->recordFile()), recordLine(kStart, goodFeed)) << answer.status << answer.body;
        EXPECT_TRUE(check->state().notice) << answer.status;
        EXPECT_EQ(check->lastStep().outcome, outcome) << answer.status << answer.body.substr(0, 20);
        EXPECT_EQ(check->lastStep().status, answer.status);
    }
}

TEST_F(UpdateCheckTest, AFetchThatThrowsCountsAsAFailedCheck)
{
    Config config;
    config.product = "aubrevane";
    config.version = "0.9.14";
    config.now = [] { return kStart; };
    config.fetch = [](const std::string&) -> HttpResult { throw std::runtime_error("transport broke"); };
    config.mayUseNetwork = [] { return true; };
    UpdateCheck check(std::move(config));
    EXPECT_NO_THROW(check.checkIfDue());
    EXPECT_EQ(check.readRecord().checkedAt, kStart);
}

TEST_F(UpdateCheckTest, AFailedStampWriteSkipsTheFetch)
{
    fs::create_directories(folder / "updates.json"); // a folder where the record should be: rename must fail
    auto check = make();
    check->checkIfDue();
    EXPECT_EQ(fetches, 0);
    EXPECT_EQ(folderNames(), std::vector<std::string>{"updates.json"}); // no temporary file left behind
}

TEST_F(UpdateCheckTest, RecordFieldsReadAsTheirStartValuesWhenUnusable)
{
    const std::string feed = "{\"a\":1}";
    const struct
    {
        std::string file;
        long long checkedAt;
        std::string feed;
    } table[] = {
        {recordLine(-42, feed), -42, feed},
        {"{\"checked_at\":1.5,\"feed\":\"{}\"}", 0, "{}"},
        {"{\"checked_at\":\"100\",\"feed\":\"{}\"}", 0, "{}"},
        {"{\"checked_at\":1e300}", 0, ""},
        {"{\"checked_at\":-1e300}", 0, ""},
        {"{\"checked_at\":9223372036854775807}", 0, ""}, // rounds to 2^63, beyond the range
        {"{\"checked_at\":-9223372036854775808}", LLONG_MIN, ""},
        {"{\"checked_at\":1e3,\"checked_at\":5}", 1000, ""},
        {"{\"checked_at\":7,\"feed\":\"{\\\"a\\\":\"}", 7, ""}, // a stored feed that no longer parses
        {"{\"checked_at\":7,\"feed\":\"[]\"}", 7, "[]"},
        {"{\"checked_at\":7,\"feed\":{}}", 7, ""},
        {"[7]", 0, ""},
        {"{\"checked_at\":7", 0, ""},
        {"", 0, ""},
        {recordLine(7, feed).substr(0, 30), 0, ""},
        {recordLine(7, "{\"a\":\"" + std::string(65600, 'x') + "\"}"), 0, ""},
    };
    for (const auto& row : table)
    {
        writeText(folder / "updates.json", row.file);
        auto check = make();
        const auto record = check->readRecord();
        EXPECT_EQ(record.checkedAt, row.checkedAt) << row.file.substr(0, 80);
        EXPECT_EQ(record.feed, row.feed) << row.file.substr(0, 80);
    }
}

TEST_F(UpdateCheckTest, WriteRecordRefusesALineTheReaderWouldReject)
{
    auto check = make();
    const std::string overhead = recordLine(kStart, "{\"a\":\"\"}");
    const std::string fits = "{\"a\":\"" + std::string(65536 - overhead.size(), 'x') + "\"}";
    ASSERT_TRUE(check->writeRecord({kStart, fits}));
    EXPECT_EQ(readText(check->recordFile()).size(), 65536u);
    EXPECT_EQ(check->readRecord().feed, fits);

    // Quoting can grow a feed: its stored line would pass 65536 bytes although the feed alone does not.
    const std::string grows = "{\"a\":\"" + std::string(20000, '\x01') + "\"}";
    EXPECT_FALSE(check->writeRecord({kStart + 1, grows}));
    EXPECT_FALSE(check->writeRecord({kStart + 1, fits + " "}));
    EXPECT_EQ(check->readRecord().checkedAt, kStart);
    EXPECT_EQ(folderNames(), std::vector<std::string>{"updates.json"});
}

TEST_F(UpdateCheckTest, AFetchedFeedWhoseRecordWouldBeTooLargeKeepsTheOldFeed)
{
    auto check = make();
    ASSERT_TRUE(check->writeRecord({0, "{}"}));
    // A body that parses and fits, but whose quoted form in the record would not: every quote gains a backslash.
    std::string body = "{";
    for (int i = 0; i < 5000; ++i)
        body += "\"" + std::to_string(i) + "\":\"\",";
    body += "\"end\":\"\"}";
    ASSERT_LE(body.size(), 65536u);
    reply.body = body;
    check->checkIfDue();
    EXPECT_EQ(fetches, 1);
    EXPECT_EQ(check->readRecord().checkedAt, kStart);
    EXPECT_EQ(check->readRecord().feed, "{}");
    EXPECT_EQ(check->lastStep().outcome, UpdateCheck::Outcome::kFeedTooLarge); // not reported as a non-feed
}

struct NoticeCase
{
    std::string version;
    std::string page;
    bool shown;
};

class UpdateCheckNotice : public UpdateCheckTest, public testing::WithParamInterface<NoticeCase>
{
};

TEST_P(UpdateCheckNotice, AppearsOnlyForANewerVersionOnAPlainPage)
{
    auto check = make("0.9.14");
    const auto notice = check->noticeFrom({0, feedWith(GetParam().version, GetParam().page)});
    ASSERT_EQ(notice.has_value(), GetParam().shown);
    if (notice)
    {
        EXPECT_EQ(notice->version, GetParam().version);
        EXPECT_EQ(notice->url, "https://updates.wendlebrak.com" + GetParam().page);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, UpdateCheckNotice,
    testing::Values(NoticeCase{"0.10.0", "/download", true}, NoticeCase{"1.0.0", "/download", true},
                    NoticeCase{"0.9.15", "/a-b_C/9#x", true}, NoticeCase{"0000.0009.0015", "/d", true},
                    NoticeCase{"9999.9999.9999", "/d", true}, NoticeCase{"0.9.14", "/download", false},
                    NoticeCase{"0.9.9", "/download", false}, NoticeCase{"0.9.014", "/download", false},
                    NoticeCase{"0.9", "/download", false}, NoticeCase{"0.9.14a", "/download", false},
                    NoticeCase{"00001.0.0", "/download", false}, NoticeCase{"1.0.0.0", "/download", false},
                    NoticeCase{"1..0", "/download", false}, NoticeCase{" 1.0.0", "/download", false},
                    NoticeCase{"+1.0.0", "/download", false}, NoticeCase{"1.0.-0", "/download", false},
                    NoticeCase{"", "/download", false}, NoticeCase{"1.0.0", "download", false},
                    NoticeCase{"1.0.0", "//host", false}, NoticeCase{"1.0.0", "/a.b", false},
                    NoticeCase{"1.0.0", "/a?b", false}, NoticeCase{"1.0.0", "/a:b", false},
                    NoticeCase{"1.0.0", "/a b", false}, NoticeCase{"1.0.0", "/a\\\\b", false},
                    NoticeCase{"1.0.0", "", false}, NoticeCase{"1.0.0", "/" + std::string(99, 'p'), true},
                    NoticeCase{"1.0.0", "/" + std::string(100, 'p'), false}));

TEST_F(UpdateCheckTest, AnEntryMissingAStringVersionOrPageGivesNoNotice)
{
    auto check = make();
    for (const std::string feed : {
             "{}",
             "[]",
             "{\"other\":{\"version\":\"1.0.0\",\"page\":\"/d\"}}",
             "{\"aubrevane\":{\"version\":\"1.0.0\"}}",
             "{\"aubrevane\":{\"page\":\"/d\"}}",
             "{\"aubrevane\":{\"version\":1,\"page\":\"/d\"}}",
             "{\"aubrevane\":[\"1.0.0\",\"/d\"]}",
             "{\"aubrevane\":\"1.0.0\"}",
             "{\"aubrevane\":null,\"aubrevane\":{\"version\":\"1.0.0\",\"page\":\"/d\"}}",
             "{\"aubrevane\":{\"version\":1,\"version\":\"1.0.0\",\"page\":\"/d\"}}",
         })
        EXPECT_FALSE(check->noticeFrom({0, feed})) << feed;
    EXPECT_FALSE(make("0.9")->noticeFrom({0, feedWith("1.0.0", "/d")}));
}

TEST_F(UpdateCheckTest, GenerationChangesOnlyWhenWhatTheEditorShowsChanges)
{
    ASSERT_TRUE(make()->writeRecord({kStart, feedWith("0.10.0", "/download")}));
    auto check = make();
    const auto first = check->state();
    ASSERT_TRUE(first.notice);
    check->reload();
    check->reload();
    EXPECT_EQ(check->state().generation, first.generation);

    check->setEnabled(false);
    const auto off = check->state();
    EXPECT_FALSE(off.enabled);
    EXPECT_FALSE(off.notice);
    EXPECT_EQ(off.generation, first.generation + 1);
    EXPECT_EQ(readText(check->offFile()),
              "The Wendlebrak plug-ins do not check for updates while this file is here.\n");
    EXPECT_EQ(readText(check->offFile()).size(), 74u);
    check->setEnabled(false);
    EXPECT_EQ(check->state().generation, off.generation);

    check->setEnabled(true);
    EXPECT_FALSE(fs::exists(check->offFile()));
    const auto on = check->state();
    EXPECT_TRUE(on.enabled);
    EXPECT_EQ(on.notice, first.notice);
    EXPECT_EQ(on.generation, off.generation + 1);

    ASSERT_TRUE(check->writeRecord({kStart, feedWith("0.10.1", "/download")})); // same presence, new version
    check->reload();
    EXPECT_EQ(check->state().generation, on.generation + 1);
    ASSERT_TRUE(check->writeRecord({kStart, feedWith("0.10.1", "/download2")})); // same version, new page
    check->reload();
    EXPECT_EQ(check->state().generation, on.generation + 2);
}

TEST_F(UpdateCheckTest, EnvironmentReplacesTheFolderAndANonEmptyFeedAddress)
{
    setenv("WENDLEBRAK_UPDATES_URL", "", 1);
    make()->checkIfDue();
    EXPECT_EQ(fetchedUrl, "https://updates.wendlebrak.com/updates.json");

    clock += 600;
    setenv("WENDLEBRAK_UPDATES_URL", "http://127.0.0.1:9/feed.json", 1);
    auto check = make();
    EXPECT_EQ(check->recordFile(), folder / "updates.json");
    check->checkIfDue();
    EXPECT_EQ(fetchedUrl, "http://127.0.0.1:9/feed.json");
    unsetenv("WENDLEBRAK_UPDATES_URL");

    Config config;
    config.directory = folder / "ignored";
    EXPECT_EQ(UpdateCheck(std::move(config)).offFile(), folder / "updates-off");

    unsetenv("WENDLEBRAK_DATA_DIR");
    EXPECT_EQ(wendlebrak::updates::defaultDirectory("/home/u/.local/share"), "/home/u/.local/share/Wendlebrak");
    EXPECT_TRUE(wendlebrak::updates::defaultDirectory("share").empty());
    Config relative;
    relative.directory = "share";
    relative.now = [] { return kStart; };
    relative.fetch = [this](const std::string&)
    {
        ++fetches;
        return reply;
    };
    fetches = 0;
    {
        const aubrevane::test::FreshWorkingFolder working;
        UpdateCheck nowhere(std::move(relative));
        nowhere.checkIfDue();
        nowhere.setEnabled(false);
        EXPECT_TRUE(working.empty());
        EXPECT_TRUE(nowhere.state().enabled);
    }
    EXPECT_EQ(fetches, 0);
}

TEST_F(UpdateCheckTest, ARelativeDataFolderIsTakenFromTheWorkingDirectoryOnce)
{
    const fs::path before = fs::current_path();
    fs::create_directories(folder / "work");
    fs::current_path(folder / "work");
    setenv("WENDLEBRAK_DATA_DIR", "shared/wendlebrak", 1);
    auto check = make();
    fs::current_path(before); // a later change of directory does not move the record
    check->checkIfDue();
    EXPECT_EQ(check->recordFile(), folder / "work/shared/wendlebrak/updates.json");
    EXPECT_EQ(fetches, 1);
    EXPECT_EQ(readText(folder / "work/shared/wendlebrak/updates.json"), recordLine(kStart, reply.body));
}

TEST_F(UpdateCheckTest, ReadFileTakesOnlyRegularFilesUpTo65536Bytes)
{
    writeText(folder / "limit", std::string(65536, 'a'));
    writeText(folder / "over", std::string(65537, 'a'));
    writeText(folder / "empty", "");
    ASSERT_EQ(mkfifo((folder / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(UpdateCheck::readFile(folder / "limit"), std::string(65536, 'a'));
    EXPECT_FALSE(UpdateCheck::readFile(folder / "over"));
    EXPECT_EQ(UpdateCheck::readFile(folder / "empty"), "");
    EXPECT_FALSE(UpdateCheck::readFile(folder / "fifo")); // returns at once: nobody writes to it
    EXPECT_FALSE(UpdateCheck::readFile(folder));
    EXPECT_FALSE(UpdateCheck::readFile(folder / "missing"));
}

TEST_F(UpdateCheckTest, WriteFileReplacesWholeAndLeavesNothingBehindOnFailure)
{
    const fs::path target = folder / "deeper" / "file.json";
    ASSERT_TRUE(UpdateCheck::writeFile(target, "first"));
    ASSERT_TRUE(UpdateCheck::writeFile(target, "second"));
    EXPECT_EQ(readText(target), "second");
    EXPECT_EQ(fs::directory_iterator(folder / "deeper")->path().filename(), "file.json");

    fs::create_directories(folder / "deeper" / "taken"); // renaming a file over a folder fails
    EXPECT_FALSE(UpdateCheck::writeFile(folder / "deeper" / "taken", "x"));
    writeText(folder / "plain", "");
    EXPECT_FALSE(UpdateCheck::writeFile(folder / "plain" / "child", "x")); // the parent is a file
    {
        const aubrevane::test::FreshWorkingFolder working;
        EXPECT_FALSE(UpdateCheck::writeFile("relative.json", "x"));
        EXPECT_TRUE(working.empty());
    }

    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        names.push_back(entry.path().lexically_relative(folder).string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"deeper", "deeper/file.json", "deeper/taken", "plain"}));
}

TEST_F(UpdateCheckTest, WriteFileDoesNotWriteThroughALinkToAnotherFile)
{
    const fs::path outside = aubrevane::test::testFolder() / "outside.txt";
    writeText(outside, "keep");
    fs::create_directories(folder);
    fs::create_symlink(outside, folder / "updates.json");
    ASSERT_TRUE(UpdateCheck::writeFile(folder / "updates.json", "new"));
    EXPECT_EQ(readText(outside), "keep"); // the link itself was replaced
    EXPECT_FALSE(fs::is_symlink(folder / "updates.json"));
    EXPECT_EQ(readText(folder / "updates.json"), "new");
}

TEST(UpdateCheckEndToEnd, FetchesTheFeedFromTheAddressInTheEnvironmentOnce)
{
    using aubrevane::test::HttpReply;
    using aubrevane::test::LoopbackHttpServer;
    const std::string feed = feedWith("0.10.0", "/download");
    LoopbackHttpServer server({HttpReply::Mode::Answer, LoopbackHttpServer::response(200, feed), false});
    setenv("WENDLEBRAK_UPDATES_URL", server.url().c_str(), 1);

    Config config;
    config.product = "aubrevane";
    config.version = "0.9.14";
    const auto check = std::make_shared<UpdateCheck>(std::move(config));
    wendlebrak::updates::BackgroundRunner runner;
    const auto networkStep = [check]
    {
        check->checkIfDue();
        check->reload();
    };
    ASSERT_TRUE(runner.runAndWait(networkStep));
    ASSERT_TRUE(runner.runAndWait(networkStep)); // within 600 seconds: no second request
    runner.stop();
    server.stop();
    unsetenv("WENDLEBRAK_UPDATES_URL");

    EXPECT_EQ(server.requests(), 1);
    EXPECT_EQ(check->readRecord().feed, feed);
    EXPECT_EQ(check->state().notice, (Notice{"0.10.0", "https://updates.wendlebrak.com/download"}));
}

} // namespace
