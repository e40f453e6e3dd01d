#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <filesystem>
#include <functional>
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

/** The running host program, among the files every command reads, so that no output replaces it. */
inline NamedFile hostProgram()
{
    return {"the host program", "/proc/self/exe"};
}

/** Checks every written file against every read file and every other written file, by device and inode where it
 *  exists and by its resolved path where it does not. False, with the one-line message naming both, on the first
 *  pair that is one file. */
[[nodiscard]] bool checkNoClash(const std::vector<NamedFile>& written, const std::vector<NamedFile>& read,
                                std::string& error);

/**
 * An output a command replaces. A regular file (or what a symbolic link leads to; the link stays) is written as a new
 * file in the same folder, unnamed where the file system allows it, and given a partial name beside the target
 * (shortened to fit the folder's name limit) only to be renamed over it, keeping its owner, group and permission
 * bits; so any stop, a kill included, or a folder turned read-only leaves nothing behind. A character device such as
 * /dev/null is written in place and never removed; a pipe, socket, block device or folder is refused before anything
 * opens it, so a pipe without a reader cannot hang the host. The new file is made by prepare() and goes when the
 * object does, unless commit() put it in place.
 */
class OutputFile
{
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    /** Checks `path` and opens the new empty file (or the device); false with "could not write PATH: reason". */
    [[nodiscard]] bool prepare(const std::string& path, std::string& error);
    /** Where the contents go, open for writing: the new file, or the device itself; it stays this object's. */
    int descriptor() const { return file; }
    /** Puts the written file in place and closes it; for a device, closes it. */
    [[nodiscard]] bool commit(std::string& error);
    /** Writes `bytes` to descriptor() and makes them durable, without committing them. */
    [[nodiscard]] bool writeBytes(const std::string& bytes, std::string& error);
    /** Writes `bytes` to descriptor(), then commits. */
    [[nodiscard]] bool writeWhole(const std::string& bytes, std::string& error);

private:
    /** Gives the new file a partial name beside the target, shortened to fit the folder: tries names until `make`
     *  (-1 with errno on failure) takes one not yet there; 0, else the errno of the failure. */
    int namePartial(const std::function<int(const std::filesystem::path&)>& make);
    /** Creates the new file under a partial name, where the file system has no unnamed files. */
    int createPartial();
    /** Links the unnamed new file under a partial name. */
    int linkPartial();

    std::string named;              // as the user gave it, for messages
    std::filesystem::path target;   // links resolved
    std::filesystem::path partial;  // empty while the new file has no name, and for a device
    std::optional<struct stat> old; // the file being replaced: its owner, group and permission bits
    int file = -1;
    bool inPlace = false, committed = false;
};

} // namespace aubrevane::host
