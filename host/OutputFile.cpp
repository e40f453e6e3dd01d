#include "host/OutputFile.h"

#include "wendlebrak/files/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace aubrevane::host
{
namespace
{

namespace fs = std::filesystem;
using wendlebrak::files::systemReason;

constexpr int kMaxLinkHops = 40; // as the kernel's own limit, so a loop of links ends

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
    if (!inPlace && !committed && !partial.empty())
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
    if (!exists)
    {
        // a new file: its folder must take it, so a render is not lost at the end to a missing or closed folder
        const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
        if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
            return fail(systemReason(errno));
    }
    // as the effective user opens it, so a read-only file is refused though the folder would let it be replaced
    else if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        return fail(systemReason(errno));
    else if (!inPlace)
        old = status;
    partial = inPlace ? target : fs::path(target.string() + "." + std::to_string(getpid()) + ".partial");
    return true;
}

bool OutputFile::commit(std::string& error)
{
    if (inPlace)
        return true;
    // Only root may give the file to another owner; anyone else keeps what the system allows (EPERM). The owner
    // goes first, as a change of owner clears the set-user-ID bit.
    const bool ownerKept = !old || ::chown(partial.c_str(), old->st_uid, old->st_gid) == 0 || errno == EPERM;
    if (!ownerKept || (old && ::chmod(partial.c_str(), old->st_mode & 07777) != 0) ||
        ::rename(partial.c_str(), target.c_str()) != 0)
    {
        error = "could not write " + named + ": " + systemReason(errno);
        return false;
    }
    committed = true;
    return true;
}

bool OutputFile::writeWhole(const std::string& bytes, std::string& error)
{
    const int flags = O_WRONLY | O_CLOEXEC | (inPlace ? 0 : O_CREAT | O_TRUNC | O_NOFOLLOW);
    const int descriptor = ::open(partial.c_str(), flags, 0666);
    int failure = descriptor < 0 ? errno : 0;
    for (std::size_t done = 0; failure == 0 && done < bytes.size();)
    {
        const ssize_t got = ::write(descriptor, bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno != EINTR)
            failure = errno;
        else if (got == 0)
            failure = EIO; // a device that takes nothing would never finish
        done += got > 0 ? static_cast<std::size_t>(got) : 0;
    }
    // a device such as /dev/null cannot be synced, and needs not be
    if (failure == 0 && !inPlace && ::fsync(descriptor) != 0)
        failure = errno;
    if (descriptor >= 0 && ::close(descriptor) != 0 && failure == 0)
        failure = errno;
    if (failure != 0)
    {
        error = "could not write " + named + ": " + systemReason(failure);
        return false;
    }
    return commit(error);
}

} // namespace aubrevane::host
