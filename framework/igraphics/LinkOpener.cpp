#include "framework/igraphics/LinkOpener.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <string_view>

namespace iplug
{
namespace igraphics
{
namespace
{

constexpr std::string_view kOpenerName = "xdg-open";

bool startsWithNoCase(const std::string& text, std::string_view prefix)
{
    return text.size() > prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char p, char t) { return p == std::tolower(static_cast<unsigned char>(t)); });
}

/** An http or https link without spaces or control characters, so it reads as one link wherever it is shown. */
bool isWebLink(const std::string& url)
{
    const bool printable = std::none_of(url.begin(), url.end(),
                                        [](char c)
                                        {
                                            const auto byte = static_cast<unsigned char>(c);
                                            return byte <= 0x20 || byte == 0x7f;
                                        });
    return printable && (startsWithNoCase(url, "http://") || startsWithNoCase(url, "https://"));
}

/** The first executable regular file named `name` in the PATH-style list. Only absolute folders count: an empty
 *  or relative entry would run whatever the working folder holds under that name. */
std::optional<std::string> findOnPath(std::string_view name, const std::string& searchPath)
{
    std::size_t start = 0;
    for (;;)
    {
        const std::size_t end = std::min(searchPath.find(':', start), searchPath.size());
        const std::string folder = searchPath.substr(start, end - start);
        const std::string candidate = folder + "/" + std::string(name);
        std::error_code ignored;
        if (!folder.empty() && folder.front() == '/' && std::filesystem::is_regular_file(candidate, ignored) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (end == searchPath.size())
            return std::nullopt;
        start = end + 1;
    }
}

/** Runs `program url` as a grandchild in a session of its own; true once exec succeeded. */
bool spawnDetached(std::string program, std::string url)
{
    // The exec's outcome comes back through a pipe that closes on a successful exec.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0)
        return false;
    char* const argv[] = {program.data(), url.data(), nullptr};
    const pid_t child = fork();
    if (child == 0)
    {
        setsid();
        const pid_t grandchild = fork();
        if (grandchild == 0)
        {
            close_range(3, ~0U, CLOSE_RANGE_CLOEXEC); // the editor's display and files stay ours
            execv(argv[0], argv);
            const int failure = errno;
            [[maybe_unused]] const ssize_t written = write(report[1], &failure, sizeof failure);
            _exit(127);
        }
        _exit(grandchild < 0 ? 1 : 0);
    }
    close(report[1]);
    bool started = false;
    if (child > 0)
    {
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR)
        {
        }
        int failure = 0;
        ssize_t got = 0;
        while ((got = read(report[0], &failure, sizeof failure)) < 0 && errno == EINTR)
        {
        }
        started = WIFEXITED(status) && WEXITSTATUS(status) == 0 && got == 0;
    }
    close(report[0]);
    return started;
}

} // namespace

LinkOpening openLink(const std::string& url, const std::string& searchPath)
{
    if (!isWebLink(url))
        return LinkOpening::kRefused;
    const std::optional<std::string> opener = findOnPath(kOpenerName, searchPath);
    if (!opener)
        return LinkOpening::kNoOpener;
    return spawnDetached(*opener, url) ? LinkOpening::kStarted : LinkOpening::kFailed;
}

} // namespace igraphics
} // namespace iplug
