#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace aubrevane::host
{

/** A file named on the command line and the option (or operand, "IN") that named it. */
struct NamedFile
{
    std::string option;
    std::string path;
};

/** Checks every written file against every read file and every other written file, by device and inode where it
 *  exists and by its resolved path where it does not. False, with the one-line message naming both, on the first
 *  pair that is one file. */
[[nodiscard]] bool checkNoClash(const std::vector<NamedFile>& written, const std::vector<NamedFile>& read,
                                std::string& error);

/**
 * An output a command replaces. A regular file (or what a symbolic link leads to; the link stays) is written under
 * a partial name beside it (shortened to fit the folder's name limit) and renamed over it, keeping its owner,
 * group and permission bits; a character device such as /dev/null is written in place and never removed; a pipe,
 * socket, block device or folder is refused before anything opens it, so a pipe without a reader cannot hang the host.
 * The partial file is made by prepare() and goes when the object does, unless commit() renamed it.
 */
class OutputFile
{
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    /** Checks `path` and makes the empty partial file beside it; false with "could not write PATH: reason". */
    [[nodiscard]] bool prepare(const std::string& path, std::string& error);
    /** Where the contents go: the partial file, or the device itself. */
    const std::filesystem::path& writePath() const { return partial; }
    /** Puts the written partial file in place; nothing to do for a device. */
    [[nodiscard]] bool commit(std::string& error);
    /** Writes `bytes` to writePath() without committing them. */
    [[nodiscard]] bool writeBytes(const std::string& bytes, std::string& error);
    /** Writes `bytes` to writePath(), then commits. */
    [[nodiscard]] bool writeWhole(const std::string& bytes, std::string& error);

private:
    /** Makes a new empty partial file beside the target; 0, else the errno of the failure. */
    int createPartial();

    std::string named;              // as the user gave it, for messages
    std::filesystem::path target;   // links resolved
    std::filesystem::path partial;  // equals target when written in place
    std::optional<struct stat> old; // the file being replaced: its owner, group and permission bits
    bool inPlace = false, committed = false;
};

} // namespace aubrevane::host
