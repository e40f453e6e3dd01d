#include "wendlebrak/presets/Presets.h"

#include "wendlebrak/files/Files.h"

#include <algorithm>
#include <optional>
#include <tuple>

namespace wendlebrak::presets
{
namespace
{

constexpr int kNumberedCandidates = 1000;

std::string notAPreset(const Format& format, const std::filesystem::path& file)
{
    return std::string("not an ") + format.product + " preset: " + file.filename().string();
}

/** Splits text into lines as reading a line at a time does: a last line without "\n" still counts. */
class LineReader
{
public:
    explicit LineReader(std::string_view text) : text(text) {}

    bool next(std::string_view& line)
    {
        if (position >= text.size())
            return false;
        const std::size_t end = std::min(text.find('\n', position), text.size());
        line = text.substr(position, end - position);
        position = end + 1;
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        return true;
    }

private:
    std::string_view text;
    std::size_t position = 0;
};

/** The first candidate that is free or holds a preset of exactly this name; none when all are taken. */
std::optional<std::filesystem::path> findPresetPath(const Format& format, const std::filesystem::path& folder,
                                                    const std::string& name, std::filesystem::path& base)
{
    base = files::pathForName(folder, name, format.extension, "Preset");
    const std::string stem = base.stem().string();
    for (int n = 0; n < kNumberedCandidates; ++n)
    {
        const std::filesystem::path candidate =
            n == 0 ? base : folder / (stem + "-" + std::to_string(n) + format.extension);
        std::error_code error;
        const auto status = std::filesystem::status(candidate, error);
        if (error || !std::filesystem::exists(status))
            return candidate;
        SavedPreset existing;
        std::string ignored;
        // the stored name is the one written: line breaks become spaces
        if (readPreset(format, candidate, existing, ignored) && existing.name == files::withoutLineBreaks(name))
            return candidate;
    }
    return std::nullopt;
}

} // namespace

std::filesystem::path userPresetDirectory(const Format& format, const std::string& base)
{
    const std::filesystem::path basePath(base);
    if (!basePath.is_absolute())
        return {};
    return basePath / format.folder / "Presets";
}

std::vector<SavedPreset> listPresets(const Format& format, const std::filesystem::path& folder)
{
    std::vector<SavedPreset> presets;
    for (const auto& file : files::filesWithExtension(folder, format.extension))
    {
        SavedPreset preset;
        std::string ignored;
        if (readPreset(format, file, preset, ignored))
            presets.push_back(std::move(preset));
    }
    // Equal names are ordered by file, so that each stays reachable at a stable place in menus.
    std::sort(presets.begin(), presets.end(),
              [](const SavedPreset& a, const SavedPreset& b)
              { return std::tie(a.name, a.file) < std::tie(b.name, b.file); });
    return presets;
}

bool readPreset(const Format& format, const std::filesystem::path& file, SavedPreset& preset, std::string& message)
{
    std::string text;
    if (!files::readSmallFile(file, kMaxPresetBytes, text))
    {
        message = notAPreset(format, file);
        return false;
    }
    return readPresetText(format, text, file, preset, message);
}

bool readPresetText(const Format& format, std::string_view text, const std::filesystem::path& file, SavedPreset& preset,
                    std::string& message)
{
    LineReader lines(text);
    std::string_view line;
    if (text.size() > kMaxPresetBytes || !lines.next(line) || line != format.header)
    {
        message = notAPreset(format, file);
        return false;
    }
    preset.name.clear();
    preset.state.clear();
    preset.file.clear();
    bool stateReadable = false;
    while (lines.next(line))
    {
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string_view key = line.substr(0, equals);
        const std::string_view value = line.substr(equals + 1);
        if (key == "name")
            preset.name = value;
        else if (key == "state")
            stateReadable = fromBase64(std::string(value), preset.state) && !preset.state.empty();
    }
    if (!stateReadable)
    {
        message = "the preset has no readable state: " + file.filename().string();
        return false;
    }
    if (preset.name.empty())
        preset.name = file.stem().string();
    preset.file = file;
    return true;
}

std::string presetText(const Format& format, const std::string& name, const std::vector<uint8_t>& state)
{
    return std::string(format.header) + "\nname=" + files::withoutLineBreaks(name) + "\nstate=" + toBase64(state) +
           "\n";
}

bool writePreset(const Format& format, const std::filesystem::path& folder, const std::string& name,
                 const std::vector<uint8_t>& state, std::string& message)
{
    std::filesystem::path base;
    const auto path = findPresetPath(format, folder, name, base);
    if (!path)
    {
        // Every numbered name holds another preset; overwriting one of them would lose it.
        message = "could not write " + base.string();
        return false;
    }
    return files::replaceSmallFile(*path, presetText(format, name, state), kMaxPresetBytes, message);
}

std::filesystem::path presetPathForName(const Format& format, const std::filesystem::path& folder,
                                        const std::string& name)
{
    std::filesystem::path base;
    return findPresetPath(format, folder, name, base).value_or(base);
}

} // namespace wendlebrak::presets
