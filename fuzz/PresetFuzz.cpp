// Fuzzes the preset reader and the base64 coder with one input read both as a preset file and as base64 text.
#include "fuzz/FuzzCheck.h"
#include "wendlebrak/presets/Presets.h"

#include <algorithm>

using aubrevane::fuzz::check;

namespace
{

constexpr wendlebrak::presets::Format kFormat{".avpreset", "Aubrevane preset 1", "Aubrevane", "Aubrevane"};

void checkPresetReader(std::string_view text)
{
    using namespace wendlebrak::presets;
    const std::filesystem::path file = "/fuzz/Input.avpreset";
    SavedPreset preset;
    std::string message;
    if (!readPresetText(kFormat, text, file, preset, message))
    {
        check(message == "not an Aubrevane preset: Input.avpreset" ||
              message == "the preset has no readable state: Input.avpreset");
        return;
    }
    check(!preset.state.empty() && !preset.name.empty() && preset.file == file);

    // What was read, written again, reads back the same (the writer turns line breaks in the name into spaces).
    SavedPreset again;
    check(readPresetText(kFormat, presetText(kFormat, preset.name, preset.state), file, again, message));
    std::string writtenName = preset.name;
    std::replace(writtenName.begin(), writtenName.end(), '\r', ' ');
    check(again.name == writtenName && again.state == preset.state);
}

void checkBase64(const uint8_t* data, size_t size)
{
    using namespace wendlebrak::presets;
    const std::vector<uint8_t> bytes(data, data + size);
    std::vector<uint8_t> decoded;
    check(fromBase64(toBase64(bytes), decoded) && decoded == bytes);

    // Accepted text re-encodes to the same length; only the unused bits of a padded group may differ.
    const std::string text(bytes.begin(), bytes.end());
    if (fromBase64(text, decoded))
    {
        check(decoded.size() == (size / 4) * 3 - std::count(text.end() - std::min<size_t>(size, 2), text.end(), '='));
        check(toBase64(decoded).size() == size);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    checkPresetReader(std::string_view(reinterpret_cast<const char*>(data), size));
    checkBase64(data, size);
    return 0;
}
