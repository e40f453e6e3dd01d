#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

/** The maker's shared file functions: safe file names, atomic replacement, listing and deletion.
    They hold no state and run on the caller's thread (the main thread in the plug-ins). */
namespace wendlebrak::files
{

/** The regular files (symbolic links to them included) directly in the folder whose extension equals the given one
    byte for byte, in the directory's order. A missing or unreadable folder gives an empty list; an error while
    stepping through the folder throws std::filesystem::filesystem_error. */
std::vector<std::filesystem::path> filesWithExtension(const std::filesystem::path& folder,
                                                      const std::string& extension);

/** A file in the folder named after what a user typed: characters that are not allowed in file names become "-",
    the name is cut to 80 bytes on a UTF-8 boundary, dots and spaces are trimmed from both ends, reserved device
    names get a trailing "-", and a name with nothing left becomes the fallback. The result is always directly
    inside the folder. */
std::filesystem::path pathForName(const std::filesystem::path& folder, const std::string& name,
                                  const std::string& extension, const std::string& fallback);

/** Replaces the file's contents with the text through a sibling file whose name ends in ".partial", made durable
    before it is renamed over the old file. On failure the old file is left as it was, no ".partial" file remains
    and the message becomes "could not write " and the path, then the system's reason after ": " when a call
    failed. A path that is not absolute is never written. */
[[nodiscard]] bool replaceFile(const std::filesystem::path& path, const std::string& text, std::string& message);

/** replaceFile for a file that is read with readSmallFile and the same maxBytes: a text longer than that is not
    written, since it could never be read back, and the message becomes "could not write ", the path and ": the file
    would be too large to read back". */
[[nodiscard]] bool replaceSmallFile(const std::filesystem::path& path, const std::string& text, std::size_t maxBytes,
                                    std::string& message);

/** A reason as the messages read it: without a closing full stop, its first word lower-case where it is an ordinary
    word ("no such file or directory") and as it was where it is a name or an abbreviation ("MPEG-1/2/2.5 only
    supports ..."). systemReason gives strerror's text for an errno value that way. */
std::string asMessageReason(std::string reason);
std::string systemReason(int number);

/** The text on one line: every line feed and carriage return becomes a space (names and sources in text files). */
std::string withoutLineBreaks(std::string text);

/** Reads a whole regular file (a link to one included) of at most maxBytes bytes into text. Opened without
    blocking, so a FIFO or a device carrying a known extension fails at once instead of waiting. False for anything
    else: missing, not a regular file, unreadable, or larger than maxBytes (also when it grows while being read). */
[[nodiscard]] bool readSmallFile(const std::filesystem::path& path, std::size_t maxBytes, std::string& text);

/** Removes a file (or a symbolic link itself), never a folder. On failure, also when there is nothing to delete,
    the message becomes "could not delete " and the file's name. */
[[nodiscard]] bool deleteNamedFile(const std::filesystem::path& path, std::string& message);

} // namespace wendlebrak::files
