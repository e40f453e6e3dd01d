#include "host/OutputFile.h"

#include "wendlebrak/files/Files.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <system_error>

namespace aubrevane::host
{
namespace
{

namespace fs = std::filesystem;
using wendlebrak::files::systemReason;

constexpr int kMaxLinkHops = 40;              // as the kernel's own limit, so a loop of links ends
constexpr std::size_t kFallbackNameMax = 255; // NAME_MAX, for a folder that does not tell its own
constexpr int kPartialAttempts = 100;
constexpr mode_t kNewFileMode = 0666; // less the umask, as any program creates a file

/** `name` cut to at most `bytes` bytes, never inside a UTF-8 sequence. */
std::string fittingStem(const std::string& name, std::size_t bytes)
{
    if (name.size() <= bytes)
        return name;
    std::size_t cut = bytes;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    return name.substr(0, cut);
}

/** The file `path` finally names: every symbolic link followed, also a dangling one, whose target is then created. */
fs::path resolveLinks(const std::string& path)
{
    std::error_code status;
    fs::path resolved = fs::absolute(path, status);
    for (int hop = 0; hop < kMaxLinkHops && fs::is_symlink(fs::symlink_status(resolved, status)); ++hop)
    {
        const fs::path link = fs::read_symlink(resolved, status);
        if (status)
            break;
        resolved = link.is_absolute() ? link : resolved.parent_path() / link;
    }
    const fs::path canonical = fs::weakly_canonical(resolved, status);
    return status ? resolved.lexically_normal() : canonical;
}

/** Device and inode where the file exists; else its resolved path. */
struct FileIdentity
{
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    fs::path resolved;

    explicit FileIdentity(const std::string& path)
    {
        struct stat status
        {
        };
        exists = ::stat(path.c_str(), &status) == 0;
        device = status.st_dev;
        inode = status.st_ino;
        if (!exists)
            resolved = resolveLinks(path);
    }

    bool operator==(const FileIdentity& other) const
    {
        if (exists != other.exists)
            return false;
        return exists ? device == other.device && inode == other.inode : resolved == other.resolved;
    }
};

const char* nodeKind(mode_t mode)
{
    if (S_ISDIR(mode))
        return "it is a folder";
    if (S_ISFIFO(mode))
        return "it is a named pipe";
    if (S_ISSOCK(mode))
        return "it is a socket";
    return "it is a block device";
}

/** Whether this process may act on any user's files (CAP_FOWNER, as root normally may). */
bool actsForAnyOwner()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct sets[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capget, &header, sets) != 0)
        return ::geteuid() == 0;
    return (sets[CAP_FOWNER / 32].effective & (1u << (CAP_FOWNER % 32))) != 0;
}

/** In a sticky folder (as /tmp) only the file's owner, the folder's owner or a process that acts for any owner may
 *  remove a file or rename another over it, though anyone may write into it. */
bool stickyFolderKeeps(const fs::path& folder, const struct stat& file)
{
    struct stat status
    {
    };
    if (::stat(folder.c_str(), &status) != 0 || (status.st_mode & S_ISVTX) == 0)
        return false;
    const uid_t user = ::geteuid();
    return file.st_uid != user && status.st_uid != user && !actsForAnyOwner();
}

} // namespace

bool checkNoClash(const std::vector<NamedFile>& written, const std::vector<NamedFile>& read, std::string& error)
{
    for (std::size_t w = 0; w < written.size(); ++w)
    {
        const FileIdentity writtenFile(written[w].path);
        const auto clashes = [&](const NamedFile& other)
        {
            if (!(FileIdentity(other.path) == writtenFile))
                return false;
            error = written[w].option + " and " + other.option + " name the same file (" + written[w].path +
                    "); nothing was written";
            return true;
        };
        for (std::size_t other = w + 1; other < written.size(); ++other)
            if (clashes(written[other]))
                return false;
        for (const NamedFile& input : read)
            if (clashes(input))
                return false;
    }
    return true;
}

OutputFile::~OutputFile()
{
    if (file >= 0)
        ::close(file);
    if (!committed && !partial.empty())
        ::unlink(partial.c_str());
}

bool OutputFile::prepare(const std::string& path, std::string& error)
{
    named = path;
    const auto fail = [&](const std::string& reason)
    {
        error = "could not write " + named + ": " + reason;
        return false;
    };
    struct stat status
    {
    };
    // The kernel follows every link, /proc's fd links included (/dev/stdout onto a pipe has no file name to resolve).
    const bool exists = ::stat(path.c_str(), &status) == 0;
    if (!exists && errno != ENOENT)
        return fail(systemReason(errno));
    if (exists && !S_ISREG(status.st_mode) && !S_ISCHR(status.st_mode))
        return fail(nodeKind(status.st_mode));
    inPlace = exists && S_ISCHR(status.st_mode);
    target = inPlace ? fs::path(path) : resolveLinks(path);
    // as the effective user opens it, so a read-only file is refused though the folder would let it be replaced
    if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        return fail(systemReason(errno));
    if (inPlace)
    {
        file = ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        return file >= 0 || fail(systemReason(errno));
    }
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    // the rename in commit() would fail, after all of the audio
    if (exists && stickyFolderKeeps(folder, status))
        return fail(systemReason(EPERM) + ": it belongs to another user, and only its owner may replace it in this "
                                          "sticky folder");
    if (exists)
        old = status;
    // The new file is made now, so a folder that takes no new file (missing, closed, read-only, /proc) is found
    // before the audio rather than after it. Unnamed, it cannot outlive the process; commit() names it through /proc.
    const bool namesThroughProc = ::access("/proc/self/fd", F_OK) == 0;
    if (namesThroughProc)
        file = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, kNewFileMode);
    // a file system without unnamed files says so with one of these
    if (file < 0 && namesThroughProc && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        return fail(systemReason(errno));
    const int failure = file < 0 ? createPartial() : 0;
    return failure == 0 || fail(systemReason(failure));
}

int OutputFile::namePartial(const std::function<int(const fs::path&)>& make)
{
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const long longest = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    const std::size_t nameMax = longest > 0 ? static_cast<std::size_t>(longest) : kFallbackNameMax;
    const std::string name = target.filename().string();
    for (int attempt = 0; attempt < kPartialAttempts; ++attempt)
    {
        // a name taken keeps them apart when two outputs shortened to the same stem
        const std::string suffix =
            "." + std::to_string(getpid()) + (attempt > 0 ? "-" + std::to_string(attempt) : std::string()) + ".partial";
        const fs::path candidate =
            folder / (fittingStem(name, nameMax > suffix.size() ? nameMax - suffix.size() : 0) + suffix);
        if (make(candidate) >= 0)
        {
            partial = candidate;
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

int OutputFile::createPartial()
{
    return namePartial(
        [this](const fs::path& candidate)
        {
            file = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kNewFileMode);
            return file;
        });
}

int OutputFile::linkPartial()
{
    const std::string unnamed = "/proc/self/fd/" + std::to_string(file);
    return namePartial([&unnamed](const fs::path& candidate)
                       { return ::linkat(AT_FDCWD, unnamed.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW); });
}

bool OutputFile::commit(std::string& error)
{
    int failure = 0;
    if (!inPlace)
    {
        // Only root may give the file to another owner; anyone else keeps what the system allows (EPERM). The owner
        // goes first, as a change of owner clears the set-user-ID bit.
        if (old && ::fchown(file, old->st_uid, old->st_gid) != 0 && errno != EPERM)
            failure = errno;
        else if (old && ::fchmod(file, old->st_mode & 07777) != 0)
            failure = errno;
        else if (partial.empty())
            failure = linkPartial();
    }
    if (::close(file) != 0 && failure == 0)
        failure = errno;
    file = -1;
    if (failure == 0 && !inPlace && ::rename(partial.c_str(), target.c_str()) != 0)
        failure = errno;
    if (failure != 0)
    {
        error = "could not write " + named + ": " + systemReason(failure);
        return false;
    }
    committed = true;
    return true;
}

bool OutputFile::writeBytes(const std::string& bytes, std::string& error)
{
    int failure = 0;
    for (std::size_t done = 0; failure == 0 && done < bytes.size();)
    {
        const ssize_t got = ::write(file, bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno != EINTR)
            failure = errno;
        else if (got == 0)
            failure = EIO; // a device that takes nothing would never finish
        done += got > 0 ? static_cast<std::size_t>(got) : 0;
    }
    // a device such as /dev/null cannot be synced, and needs not be
    if (failure == 0 && !inPlace && ::fsync(file) != 0)
        failure = errno;
    if (failure != 0)
    {
        error = "could not write " + named + ": " + systemReason(failure);
        return false;
    }
    return true;
}

bool OutputFile::writeWhole(const std::string& bytes, std::string& error)
{
    return writeBytes(bytes, error) && commit(error);
}

} // namespace aubrevane::host
