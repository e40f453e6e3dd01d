#include "wendlebrak/files/Files.h"

#include "wendlebrak/files/SystemCalls.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <string_view>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wendlebrak::files
{
namespace
{

constexpr std::size_t kMaxNameBytes = 80;

bool forbiddenInName(unsigned char byte)
{
    switch (byte)
    {
    case '"':
    case '*':
    case '/':
    case ':':
    case '<':
    case '>':
    case '?':
    case '\\':
    case '|':
        return true;
    default:
        return byte < 0x20;
    }
}

/** Replaces forbidden bytes, cuts to 80 bytes without splitting a UTF-8 character and trims dots and spaces, so
    that what is left can never name a parent folder, a hidden file or a path with more than one component. */
std::string cleanName(const std::string& name)
{
    std::string cleaned = name;
    for (char& byte : cleaned)
        if (forbiddenInName(static_cast<unsigned char>(byte)))
            byte = '-';
    if (cleaned.size() > kMaxNameBytes)
    {
        std::size_t length = kMaxNameBytes;
        while (length > 0 && (static_cast<unsigned char>(cleaned[length]) & 0xC0) == 0x80)
            --length;
        cleaned.resize(length);
    }
    const auto first = cleaned.find_first_not_of(". ");
    if (first == std::string::npos)
        return {};
    const auto last = cleaned.find_last_not_of(". ");
    return cleaned.substr(first, last - first + 1);
}

bool isReservedDeviceName(const std::string& name)
{
    std::string stem = name.substr(0, name.find('.'));
    for (char& byte : stem)
        if (byte >= 'a' && byte <= 'z')
            byte = static_cast<char>(byte - 'a' + 'A');
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL")
        return true;
    return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) && stem[3] >= '1' && stem[3] <= '9';
}

bool writeAll(const SystemCalls& calls, int descriptor, const std::string& text)
{
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0)
    {
        const ssize_t written = calls.write(descriptor, data, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written == 0)
            errno = EIO; // a write that takes nothing sets no reason of its own
        if (written <= 0)
            return false;
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

/** Makes the rename itself durable. The new contents are already in place, so a failure here is not reported. */
void syncFolder(const SystemCalls& calls, const std::filesystem::path& folder)
{
    const int descriptor = calls.open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (descriptor < 0)
        return;
    calls.fsync(descriptor);
    calls.close(descriptor);
}

} // namespace

std::vector<std::filesystem::path> filesWithExtension(const std::filesystem::path& folder, const std::string& extension)
{
    std::vector<std::filesystem::path> files;
    std::error_code error;
    if (!std::filesystem::is_directory(std::filesystem::status(folder, error)))
        return files;
    std::filesystem::directory_iterator entry(folder, error);
    if (error)
        return files;
    const std::filesystem::path wanted(extension);
    for (; entry != std::filesystem::directory_iterator(); ++entry)
    {
        std::error_code statusError;
        const bool regular = entry->is_regular_file(statusError);
        if (!statusError && regular && entry->path().extension() == wanted)
            files.push_back(entry->path());
    }
    return files;
}

std::string withoutLineBreaks(std::string text)
{
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    return text;
}

std::filesystem::path pathForName(const std::filesystem::path& folder, const std::string& name,
                                  const std::string& extension, const std::string& fallback)
{
    std::string fileName = cleanName(name);
    if (fileName.empty())
    {
        // The fallback is the caller's constant and normally clean already; cleaning it too keeps the result inside
        // the folder whatever it holds.
        fileName = cleanName(fallback);
        if (fileName.empty())
            fileName = "-";
    }
    if (isReservedDeviceName(fileName))
        fileName += '-';
    return folder / (fileName + extension);
}

std::string asMessageReason(std::string reason)
{
    if (!reason.empty() && reason.back() == '.')
        reason.pop_back();
    // Only an ordinary word goes lower-case: a name ("Opus only supports ...") or an abbreviation ("MPEG-1/2/2.5",
    // "WAV", "G723") keeps its letters.
    static const std::string_view kNames[] = {"Ogg", "Opus", "Vorbis", "Psion", "Apple", "Amiga", "Sun"};
    const std::string_view first = std::string_view(reason).substr(0, reason.find_first_of(" :,"));
    const bool abbreviation = std::any_of(first.begin() + (first.empty() ? 0 : 1), first.end(),
                                          [](unsigned char c) { return std::isupper(c) || std::isdigit(c); });
    const bool name = std::find(std::begin(kNames), std::end(kNames), first) != std::end(kNames);
    if (!first.empty() && !abbreviation && !name)
        reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    return reason;
}

std::string systemReason(int number)
{
    return asMessageReason(std::strerror(number));
}

bool replaceFile(const std::filesystem::path& path, const std::string& text, std::string& message)
{
    const auto fail = [&](int number)
    {
        message = "could not write " + path.string() + (number != 0 ? ": " + systemReason(number) : "");
        return false;
    };
    // A relative path would land wherever the host's working folder happens to be.
    if (!path.is_absolute() || !path.has_filename())
        return fail(0);

    std::error_code ignored;
    std::filesystem::create_directories(path.parent_path(), ignored);

    const SystemCalls& calls = systemCalls();
    const std::string temporary = path.string() + ".partial";
    // A leftover of an interrupted save, or a link planted under the temporary name, goes first; the exclusive
    // create then makes a fresh file of our own and never writes through a link.
    calls.unlink(temporary.c_str());
    const int descriptor = calls.open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (descriptor < 0)
        return fail(errno);

    // The first call that fails gives the reason the user reads.
    int reason = -1;
    if (!writeAll(calls, descriptor, text) || calls.fsync(descriptor) != 0)
        reason = errno;
    if (calls.close(descriptor) != 0 && reason < 0)
        reason = errno;
    if (reason < 0 && calls.rename(temporary.c_str(), path.c_str()) != 0)
        reason = errno;
    if (reason >= 0)
    {
        calls.unlink(temporary.c_str());
        return fail(reason);
    }
    syncFolder(calls, path.parent_path());
    return true;
}

bool replaceSmallFile(const std::filesystem::path& path, const std::string& text, std::size_t maxBytes,
                      std::string& message)
{
    if (text.size() > maxBytes)
    {
        message = "could not write " + path.string() + ": the file would be too large to read back";
        return false;
    }
    return replaceFile(path, text, message);
}

bool readSmallFile(const std::filesystem::path& path, std::size_t maxBytes, std::string& text)
{
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0)
        return false;
    struct stat status
    {
    };
    bool readable = ::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) &&
                    static_cast<unsigned long long>(status.st_size) <= maxBytes;
    text.clear();
    char chunk[16384];
    while (readable)
    {
        const ssize_t got = ::read(descriptor, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
        {
            readable = got == 0;
            break;
        }
        text.append(chunk, static_cast<std::size_t>(got));
        readable = text.size() <= maxBytes;
    }
    ::close(descriptor);
    return readable;
}

bool deleteNamedFile(const std::filesystem::path& path, std::string& message)
{
    // unlink never removes a folder; a symbolic link goes, not what it points to.
    if (path.is_absolute() && systemCalls().unlink(path.c_str()) == 0)
        return true;
    message = "could not delete " + path.filename().string();
    return false;
}

} // namespace wendlebrak::files
