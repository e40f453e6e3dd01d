#include "plugin/Aubrevane.h"

#include "offline/PresetFormat.h"

#include <mutex>
#include <system_error>

// The preset bar's hooks: names in, the plug-in's preset operations out. Main thread.

std::vector<std::string> Aubrevane::listPresetNames() const
{
    std::vector<std::string> names;
    for (const auto& preset : savedPresets())
        names.push_back(preset.name);
    return names;
}

void Aubrevane::loadPresetNamed(const std::string& name)
{
    for (const auto& preset : savedPresets())
    {
        if (preset.name == name)
        {
            loadPreset(preset);
            return;
        }
    }
}

void Aubrevane::removePresetNamed(const std::string& name)
{
    for (const auto& preset : savedPresets())
    {
        if (preset.name == name)
        {
            removePreset(preset);
            return;
        }
    }
}

void Aubrevane::savePresetNamed(const std::string& name)
{
    if (name == presetName())
    {
        savePreset(name, false);
        return;
    }
    const auto file =
        wendlebrak::presets::presetPathForName(aubrevane::offline::kPresetFormat, presetDirectory(), name);
    std::error_code error;
    const auto status = std::filesystem::status(file, error);
    if (std::filesystem::status_known(status) && status.type() != std::filesystem::file_type::not_found)
        pendingPresetSave = name; // replacing another preset asks first, from the next idle tick
    else
        savePreset(name, false);
}
