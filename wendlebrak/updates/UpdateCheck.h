#pragma once

#include "wendlebrak/net/Http.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace wendlebrak::updates
{

/** The maker's update server: the feed lives at kFeedUrl, and a notice's page is a path on kWebOrigin. */
inline constexpr const char* kWebOrigin = "https://updates.wendlebrak.com";
inline constexpr const char* kFeedUrl = "https://updates.wendlebrak.com/updates.json";

/** The largest record file, stored feed and fetched body the check reads or accepts. */
inline constexpr size_t kMaxTextBytes = 65536;

/** Seconds between two fetches of the feed. */
inline constexpr long long kCheckIntervalSeconds = 600;

/** A newer version than the running one, and the page that offers it. */
struct Notice
{
    std::string version; // exactly as the feed writes it
    std::string url;

    bool operator==(const Notice&) const = default;
};

/** How one product asks for updates; the three functions are filled with the real clock, transport and permission
 * when left empty, and a test or another platform replaces them. */
struct Config
{
    std::string product;
    std::string version;             // the running version, A.B.C
    std::filesystem::path directory; // absolute; without one the check reads and writes nothing
    std::string feedUrl = kFeedUrl;
    std::function<long long()> now; // whole seconds since the Unix epoch
    std::function<net::HttpResult(const std::string& url)> fetch;
    std::function<bool()> mayUseNetwork;
};

/** The maker's shared support folder, "Wendlebrak" under the per-user data base; empty unless the base is absolute. */
[[nodiscard]] std::filesystem::path defaultDirectory(const std::filesystem::path& dataBase);

/** Major, minor and patch of a version written as exactly three dot-separated runs of 1 to 4 digits. */
[[nodiscard]] std::optional<std::array<int, 3>> parseVersion(const std::string& text);

/**
 * Asks the maker's update server, at most once per 600 seconds, for its feed; keeps the last good feed in a record
 * file shared by all the maker's plug-ins, and derives the notice the editor shows. A file "updates-off" beside
 * the record switches it off. Never throws for file or network trouble: a failure leaves the previous state.
 */
class UpdateCheck
{
public:
    /** The contents of the record file. */
    struct Record
    {
        long long checkedAt = 0; // clock value of the last fetch attempt, 0 when none is recorded
        std::string feed;        // the last good feed text, empty when none
    };

    /** Why the last network step did what it did, for a caller that reports on it. */
    enum class Outcome
    {
        kNotRun,          // no step yet, or its clock or permission failed
        kSwitchedOff,     // the off-switch file is there
        kNoPermission,    // the process may not use the network
        kNotDue,          // fetched less than 600 seconds ago; the record stays as it was
        kStampNotWritten, // the stamp could not be written, so nothing was fetched
        kNoAnswer,        // no usable response (refused, time-out, redirect, stopped)
        kFailedStatus,    // the server answered, with a status other than 200
        kNotAFeed,        // a 200 answer that is not a JSON object
        kFeedTooLarge,    // a feed that the record could not hold; the old feed stays
        kFeedNotWritten,  // a good feed, but the record could not be replaced; the old feed stays
        kFetched          // a good feed, now in the record
    };

    struct StepReport
    {
        Outcome outcome = Outcome::kNotRun;
        int status = 0;          // the server's status when it answered
        long long checkedAt = 0; // the record's stamp after the step; the next fetch is due 600 seconds later
    };

    /** What the editor copies under the mutex. */
    struct State
    {
        uint32_t generation = 0;
        std::optional<Notice> notice;
        bool enabled = true;
    };

    explicit UpdateCheck(Config config);
    UpdateCheck(const UpdateCheck&) = delete;
    UpdateCheck& operator=(const UpdateCheck&) = delete;

    /** Background thread only: fetches the feed when due, blocking for the length of one request; lastStep()
     *  then says what it did. */
    void checkIfDue();
    /** Any thread but audio: recomputes the enabled flag and the notice from the files. */
    void reload();
    /** User-interface thread: writes or removes the off-switch file, then reloads. */
    void setEnabled(bool on);
    /** Any thread: a copy of the generation, notice and enabled flag taken under the mutex. */
    [[nodiscard]] State state() const;
    /** Any thread: what the last checkIfDue did, taken under the mutex. */
    [[nodiscard]] StepReport lastStep() const;

    [[nodiscard]] std::filesystem::path offFile() const;
    [[nodiscard]] std::filesystem::path recordFile() const;
    [[nodiscard]] Record readRecord() const;
    /** False when the line would be longer than the record reader accepts, or the file could not be replaced. */
    [[nodiscard]] bool writeRecord(const Record& record) const;
    [[nodiscard]] std::optional<Notice> noticeFrom(const Record& record) const;

    /** The bytes of a regular file of at most 65536 bytes; nothing for anything else, and never blocks. */
    [[nodiscard]] static std::optional<std::string> readFile(const std::filesystem::path& path);
    /** Replaces the file atomically through a fresh temporary sibling; leaves no temporary behind on failure. */
    [[nodiscard]] static bool writeFile(const std::filesystem::path& path, const std::string& text);

    /** The text of the off-switch file. No object of static storage with a destructor: a second copy of the bundle
     *  loaded into the same host would destroy the one the first copy's symbol names. */
    static constexpr const char* kOffFileText =
        "The Wendlebrak plug-ins do not check for updates while this file is here.\n";

    const Config config;
    mutable std::mutex mutex; // guards notice, enabled, generation and step; held only to copy them
    std::optional<Notice> notice;
    bool enabled = true;
    uint32_t generation = 0; // wraps
    StepReport step;

private:
    static Config withDefaults(Config config);
    [[nodiscard]] static std::string recordLine(const Record& record);
    /** checkIfDue's work; fills the report's stamp and status as it goes and returns the outcome. */
    Outcome fetchIfDue(StepReport& report);
    /** Without an absolute folder the check keeps nothing: no file is read, written or removed. */
    [[nodiscard]] bool hasFolder() const { return config.directory.is_absolute(); }
    [[nodiscard]] bool offSwitchPresent() const;

    std::mutex reloadMutex; // one reload at a time, so a slower one cannot store what a newer one replaced
};

} // namespace wendlebrak::updates
