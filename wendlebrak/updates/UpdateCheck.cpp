#include "wendlebrak/updates/UpdateCheck.h"

#include "wendlebrak/json/Json.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <random>

namespace wendlebrak::updates
{

namespace
{

constexpr int kFeedTimeoutSeconds = 8;
constexpr size_t kMaxVersionDigits = 4;
constexpr size_t kMaxPageBytes = 100;
constexpr int kTemporaryNameAttempts = 8;

std::optional<json::Value> parseDocument(const std::string& text)
{
    json::detail::Reader reader{text};
    return reader.document();
}

const json::Value* firstMember(const json::Value& object, const std::string& key)
{
    for (const auto& [name, value] : object.members)
    {
        if (name == key)
            return &value;
    }
    return nullptr;
}

/** A whole number in the range of a 64-bit integer; anything else (fractional, infinite, too large) reads as 0. */
long long stampFromNumber(double number)
{
    constexpr double kTwoToThe63 = 9223372036854775808.0; // exact in a double; every double below it fits
    if (!std::isfinite(number) || number != std::trunc(number) || number >= kTwoToThe63 || number < -kTwoToThe63)
        return 0;
    return static_cast<long long>(number);
}

/** Due after 600 seconds, or at once when the clock went back; the difference is taken without overflow. */
bool isDue(long long now, long long checkedAt)
{
    if (now < checkedAt)
        return true;
    const unsigned long long elapsed =
        static_cast<unsigned long long>(now) - static_cast<unsigned long long>(checkedAt);
    return elapsed >= static_cast<unsigned long long>(kCheckIntervalSeconds);
}

bool isPageByte(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' || c == '#' ||
           c == '-' || c == '_';
}

/** A path on the maker's web origin: it cannot name another host, leave the origin's folder tree or add a query. */
bool isValidPage(const std::string& page)
{
    if (page.empty() || page.size() > kMaxPageBytes || page[0] != '/' || (page.size() > 1 && page[1] == '/'))
        return false;
    for (const char c : page)
    {
        if (!isPageByte(c))
            return false;
    }
    return true;
}

/** A number for the temporary file's name; when the random device fails, the clock, process and a counter. */
uint32_t temporaryNumber() noexcept
{
    try
    {
        std::random_device device;
        return device();
    }
    catch (...)
    {
    }
    static std::atomic<uint64_t> counter{0};
    uint64_t mixed = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    mixed ^= static_cast<uint64_t>(getpid()) << 32;
    mixed += (counter.fetch_add(1) + 1) * 0x9E3779B97F4A7C15ull;
    mixed = (mixed ^ (mixed >> 31)) * 0xBF58476D1CE4E5B9ull; // splitmix64's finaliser spreads the bits
    return static_cast<uint32_t>(mixed ^ (mixed >> 32));
}

bool writeAll(int descriptor, const std::string& text)
{
    for (size_t written = 0; written < text.size();)
    {
        const ssize_t put = write(descriptor, text.data() + written, text.size() - written);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        written += static_cast<size_t>(put);
    }
    return true;
}

/** Closes a descriptor when the scope ends, unless it was closed (and checked) already. */
struct Descriptor
{
    int value = -1;
    ~Descriptor()
    {
        if (value >= 0)
            close(value);
    }
};

} // namespace

std::filesystem::path defaultDirectory(const std::filesystem::path& dataBase)
{
    return dataBase.is_absolute() ? dataBase / "Wendlebrak" : std::filesystem::path();
}

std::optional<std::array<int, 3>> parseVersion(const std::string& text)
{
    std::array<int, 3> parts{};
    size_t at = 0;
    for (size_t part = 0; part < parts.size(); ++part)
    {
        if (part > 0)
        {
            if (at >= text.size() || text[at] != '.')
                return std::nullopt;
            ++at;
        }
        size_t digits = 0;
        int value = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < kMaxVersionDigits)
        {
            value = value * 10 + (text[at] - '0');
            ++at;
            ++digits;
        }
        if (digits == 0)
            return std::nullopt;
        parts[part] = value;
    }
    if (at != text.size())
        return std::nullopt;
    return parts;
}

UpdateCheck::UpdateCheck(Config settings) : config(withDefaults(std::move(settings)))
{
    reload();
}

Config UpdateCheck::withDefaults(Config config)
{
    if (!config.now)
    {
        config.now = []
        {
            using namespace std::chrono;
            return static_cast<long long>(duration_cast<seconds>(system_clock::now().time_since_epoch()).count());
        };
    }
    if (!config.fetch)
        config.fetch = [](const std::string& url) { return net::getJson(url, kFeedTimeoutSeconds); };
    if (!config.mayUseNetwork)
        config.mayUseNetwork = [] { return net::mayUseNetwork(); };
    if (const char* url = std::getenv("WENDLEBRAK_UPDATES_URL"); url != nullptr && *url != '\0')
        config.feedUrl = url;
    // A relative folder is resolved against the working directory once, here, so a later change of directory
    // cannot move the record; when that fails the folder is empty and the check keeps nothing.
    if (const char* folder = std::getenv("WENDLEBRAK_DATA_DIR"); folder != nullptr && *folder != '\0')
    {
        std::error_code error;
        config.directory = std::filesystem::absolute(folder, error);
    }
    return config;
}

std::filesystem::path UpdateCheck::offFile() const
{
    return config.directory / "updates-off";
}

std::filesystem::path UpdateCheck::recordFile() const
{
    return config.directory / "updates.json";
}

bool UpdateCheck::offSwitchPresent() const
{
    if (!hasFolder())
        return false;
    std::error_code error;
    const auto type = std::filesystem::status(offFile(), error).type();
    return type != std::filesystem::file_type::none && type != std::filesystem::file_type::not_found;
}

UpdateCheck::State UpdateCheck::state() const
{
    const std::lock_guard lock(mutex);
    return {generation, notice, enabled};
}

UpdateCheck::StepReport UpdateCheck::lastStep() const
{
    const std::lock_guard lock(mutex);
    return step;
}

void UpdateCheck::checkIfDue()
{
    StepReport report;
    try
    {
        report.outcome = fetchIfDue(report);
    }
    catch (...)
    {
        // A replaced clock, transport or permission that throws counts as a failed check.
    }
    const std::lock_guard lock(mutex);
    step = report;
}

UpdateCheck::Outcome UpdateCheck::fetchIfDue(StepReport& report)
{
    if (offSwitchPresent())
        return Outcome::kSwitchedOff;
    if (!config.mayUseNetwork())
        return Outcome::kNoPermission;
    Record record = readRecord();
    const long long now = config.now();
    report.checkedAt = record.checkedAt;
    if (!isDue(now, record.checkedAt))
        return Outcome::kNotDue;
    // The stamp goes to disk before the request, so no other instance fetches again while this one waits.
    record.checkedAt = now;
    if (!writeRecord(record))
        return Outcome::kStampNotWritten;
    report.checkedAt = now;
    report.outcome = Outcome::kNoAnswer; // what a transport that throws leaves behind
    const net::HttpResult result = config.fetch(config.feedUrl);
    report.status = result.status;
    if (result.status == 0)
        return result.bodyTooLarge ? Outcome::kFeedTooLarge : Outcome::kNoAnswer;
    if (result.status != 200)
        return Outcome::kFailedStatus;
    if (result.body.size() > kMaxTextBytes)
        return Outcome::kFeedTooLarge;
    const auto feed = parseDocument(result.body);
    if (!feed || feed->kind != json::Value::kObject)
        return Outcome::kNotAFeed;
    record.feed = result.body;
    const std::string line = recordLine(record);
    if (line.size() > kMaxTextBytes)
        return Outcome::kFeedTooLarge;
    // On failure the stamp stays, with the old feed.
    return writeFile(recordFile(), line) ? Outcome::kFetched : Outcome::kFeedNotWritten;
}

void UpdateCheck::reload()
{
    try
    {
        const std::lock_guard serial(reloadMutex);
        const bool nowEnabled = !offSwitchPresent();
        std::optional<Notice> fresh;
        if (nowEnabled)
            fresh = noticeFrom(readRecord());

        const std::lock_guard lock(mutex);
        const bool changed = nowEnabled != enabled || fresh != notice;
        enabled = nowEnabled;
        notice = std::move(fresh);
        if (changed)
            ++generation;
    }
    catch (...)
    {
        // Only memory exhaustion gets here; the previous state stays.
    }
}

void UpdateCheck::setEnabled(bool on)
{
    if (hasFolder())
    {
        if (on)
        {
            std::error_code ignored;
            std::filesystem::remove(offFile(), ignored);
        }
        else
        {
            [[maybe_unused]] const bool written = writeFile(offFile(), kOffFileText);
        }
    }
    reload();
}

UpdateCheck::Record UpdateCheck::readRecord() const
{
    Record record;
    if (!hasFolder())
        return record;
    const auto text = readFile(recordFile());
    if (!text || text->size() > kMaxTextBytes)
        return record;
    const auto document = parseDocument(*text);
    if (!document || document->kind != json::Value::kObject)
        return record;
    if (const json::Value* stamp = firstMember(*document, "checked_at"); stamp && stamp->kind == json::Value::kNumber)
        record.checkedAt = stampFromNumber(stamp->number);
    if (const json::Value* feed = firstMember(*document, "feed"); feed && feed->kind == json::Value::kString)
    {
        if (feed->text.size() <= kMaxTextBytes && parseDocument(feed->text))
            record.feed = feed->text;
    }
    return record;
}

std::string UpdateCheck::recordLine(const Record& record)
{
    return "{\"version\":1,\"checked_at\":" + std::to_string(record.checkedAt) +
           ",\"feed\":" + json::quote(record.feed) + "}\n";
}

bool UpdateCheck::writeRecord(const Record& record) const
{
    if (!hasFolder())
        return false;
    const std::string line = recordLine(record);
    // A longer line would read back as no record at all, and every check would then be due at once.
    if (line.size() > kMaxTextBytes)
        return false;
    return writeFile(recordFile(), line);
}

std::optional<Notice> UpdateCheck::noticeFrom(const Record& record) const
{
    if (record.feed.size() > kMaxTextBytes)
        return std::nullopt;
    const auto feed = parseDocument(record.feed);
    if (!feed || feed->kind != json::Value::kObject || feed->members.empty())
        return std::nullopt;
    const json::Value* entry = firstMember(*feed, config.product);
    if (entry == nullptr)
        return std::nullopt;
    const auto version = entry->string("version");
    const auto page = entry->string("page");
    if (!version || !page || !isValidPage(*page))
        return std::nullopt;
    const auto offered = parseVersion(*version);
    const auto running = parseVersion(config.version);
    if (!offered || !running || *offered <= *running)
        return std::nullopt;
    return Notice{*version, std::string(kWebOrigin) + *page};
}

std::optional<std::string> UpdateCheck::readFile(const std::filesystem::path& path)
{
    try
    {
        // Non-blocking, so that a FIFO in place of the file cannot hold the thread; only a regular file is read.
        Descriptor file{open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
        struct stat info
        {
        };
        if (file.value < 0 || fstat(file.value, &info) != 0 || !S_ISREG(info.st_mode))
            return std::nullopt;
        std::string text(kMaxTextBytes + 1, '\0');
        size_t filled = 0;
        while (filled < text.size())
        {
            const ssize_t got = read(file.value, text.data() + filled, text.size() - filled);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return std::nullopt;
            if (got == 0)
                break;
            filled += static_cast<size_t>(got);
        }
        if (filled > kMaxTextBytes)
            return std::nullopt;
        text.resize(filled);
        return text;
    }
    catch (...)
    {
        return std::nullopt;
    }
}

bool UpdateCheck::writeFile(const std::filesystem::path& path, const std::string& text)
{
    std::filesystem::path temporary;
    bool created = false;
    try
    {
        if (!path.is_absolute() || !path.has_filename())
            return false;
        std::error_code ignored;
        std::filesystem::create_directories(path.parent_path(), ignored);

        // Created exclusively and never through a link, so nothing already in the folder is written into.
        Descriptor file;
        for (int attempt = 0; attempt < kTemporaryNameAttempts && file.value < 0; ++attempt)
        {
            temporary = path;
            temporary += ".tmp-" + std::to_string(temporaryNumber());
            file.value = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
            if (file.value < 0 && errno != EEXIST)
                return false;
        }
        if (file.value < 0)
            return false;
        created = true;

        bool written = writeAll(file.value, text) && fsync(file.value) == 0;
        written = close(file.value) == 0 && written;
        file.value = -1;
        if (written)
        {
            std::error_code error;
            std::filesystem::rename(temporary, path, error);
            written = !error;
        }
        if (!written)
            unlink(temporary.c_str());
        return written;
    }
    catch (...)
    {
        if (created)
            unlink(temporary.c_str());
        return false;
    }
}

} // namespace wendlebrak::updates
