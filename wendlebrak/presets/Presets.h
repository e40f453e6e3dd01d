#pragma once

#include "wendlebrak/presets/Base64.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

/** The maker's preset store: a preset is a small text file holding a display name and a product's state bytes in
    base64. Product-neutral; a Format says which extension, first line, folder and product name to use. The
    functions hold no state and run on the caller's thread (the main thread in the plug-ins). */
namespace wendlebrak::presets
{

/** One product's preset flavour; every field points to a constant zero-terminated string. */
struct Format
{
    const char* extension; // with its dot, ".avpreset"
    const char* header;    // the exact first line of a preset file
    const char* folder;    // the product's folder under the per-user data folder
    const char* product;   // the product name in messages
};

/** One preset as listed or read. */
struct SavedPreset
{
    std::string name;           // the file's "name=" value, else the file's stem
    std::vector<uint8_t> state; // the product's state bytes, never looked into here
    std::filesystem::path file; // the file it was read from
};

/** Preset files larger than this are not presets; reading never takes more. */
constexpr std::size_t kMaxPresetBytes = std::size_t(1) << 20;

/** base / the format's folder / "Presets"; creates nothing. A base that is empty or not absolute gives an empty
    path, so that nothing is ever listed or written relative to the host's working folder. */
std::filesystem::path userPresetDirectory(const Format& format, const std::string& base);

/** Every readable preset file of the folder, sorted by name and then by file; unreadable files are skipped. Throws
    std::filesystem::filesystem_error when stepping through the folder fails. */
std::vector<SavedPreset> listPresets(const Format& format, const std::filesystem::path& folder);

/** Reads one preset file. Only a regular file of at most kMaxPresetBytes is read, so a FIFO or a device never
    blocks the caller. Fails with "not an <product> preset: " or "the preset has no readable state: " and the file's
    name. */
[[nodiscard]] bool readPreset(const Format& format, const std::filesystem::path& file, SavedPreset& preset,
                              std::string& message);

/** Reads a preset from the text of the given file; readPreset's rules and messages. */
[[nodiscard]] bool readPresetText(const Format& format, std::string_view text, const std::filesystem::path& file,
                                  SavedPreset& preset, std::string& message);

/** The text of a preset file: the header, the name (line breaks as spaces) and the state in base64. */
std::string presetText(const Format& format, const std::string& name, const std::vector<uint8_t>& state);

/** Writes a preset into the folder under the file presetPathForName chooses, replacing that file atomically. When
    every numbered file name is taken by other presets, nothing is written and the message is "could not write "
    and the path of the name's first file. A preset file that would exceed kMaxPresetBytes is not written either
    (replaceSmallFile's message): it could not be listed or loaded. */
[[nodiscard]] bool writePreset(const Format& format, const std::filesystem::path& folder, const std::string& name,
                               const std::vector<uint8_t>& state, std::string& message);

/** The file a preset of that name is written to: the name's safe file name, or the first numbered variant
    ("Rock-2.avpreset") that is free or already holds a preset of exactly that name. When all 1000 are taken by
    other presets this is the first one, which writePreset then refuses to overwrite. */
std::filesystem::path presetPathForName(const Format& format, const std::filesystem::path& folder,
                                        const std::string& name);

} // namespace wendlebrak::presets
