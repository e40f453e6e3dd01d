#pragma once

#include "dsp/Bands.h"

#include <cstddef>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace aubrevane::offline
{

/** One target as listed, loaded and saved: a named balance, from a user's file or built in. */
struct SavedTarget
{
    std::string name;           // the file's "name=" value, else the display name the reader was given
    std::string source;         // the reference file, the loaded target or "input"; empty for factory targets
    dsp::Balance balance{};     // dB, band k at kBandHertz[k]
    std::filesystem::path path; // the file it was read from; empty for factory targets
    bool factory = false;       // built in: no file, never re-read
};

inline constexpr const char* kTargetExtension = ".avtarget";
inline constexpr const char* kTargetHeader = "Aubrevane target 1";
inline constexpr const char* kTargetFallbackName = "Target";

/** A target file is a few hundred bytes; anything beyond this is not read (nor written). */
inline constexpr std::size_t kMaxTargetFileBytes = 65536;

/** A balance value beyond this many dB either way counts as no value at all. */
inline constexpr double kMaxTargetDecibels = 1000.0;

/**
 * Reads one target from a text stream into `target`. The display name names the input in messages and stands in for
 * a missing name. Fails with "not an Aubrevane target: " (first line missing or wrong; `target` untouched) or "the
 * target has no complete curve: " (no last "balance=" line of 12 finite numbers within ±kMaxTargetDecibels).
 */
[[nodiscard]] bool parseTarget(std::istream& in, SavedTarget& target, std::string& message,
                               const std::string& displayName);

/** Reads a target file (a regular file of at most kMaxTargetFileBytes); the display name is the file's stem. */
[[nodiscard]] bool readTarget(const std::filesystem::path& path, SavedTarget& target, std::string& message);

/** The four-line text of a target file; line breaks in the name and the source become spaces. */
std::string formatTarget(const std::string& name, const std::string& source, const dsp::Balance& balance);

/**
 * The file a target of this name is saved to: the safe file name for it, or, when that file exists and holds a
 * target of another name (or no readable target), the first numbered sibling ("Voice-1.avtarget", up to 999) that
 * is free or holds this very name. An existing result therefore always holds this name. Empty when all are taken.
 */
std::filesystem::path targetPathForName(const std::filesystem::path& folder, const std::string& name);

/**
 * Writes a target file into the folder at targetPathForName, atomically. Fails with "could not write " and the
 * path (and the reason, also for a file that would exceed kMaxTargetFileBytes), or with "the target has no complete
 * curve: " and the name for a balance that could not be read back.
 */
[[nodiscard]] bool writeTarget(const std::filesystem::path& folder, const std::string& name, const std::string& source,
                               const dsp::Balance& balance, std::string& message);

/** base / "Aubrevane" / "Targets"; empty when the base is not an absolute path, so nothing lands in the work folder. */
std::filesystem::path userTargetDirectory(const std::string& base);

/**
 * Every readable target file directly in the folder, sorted by name and then by path. A missing folder gives an
 * empty list; an error while stepping through the folder throws std::filesystem::filesystem_error.
 */
std::vector<SavedTarget> listTargets(const std::filesystem::path& folder);

} // namespace aubrevane::offline
