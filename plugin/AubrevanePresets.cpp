#include "plugin/Aubrevane.h"

#include "framework/AppSupportPath.h"
#include "offline/PresetFormat.h"
#include "plugin/EditorSize.h"
#include "wendlebrak/files/Files.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <exception>
#include <mutex>

using aubrevane::offline::kPresetFormat;
using namespace aubrevane::plugin;

namespace
{

constexpr float kEditorScaleTolerance = 0.01f;

} // namespace

std::string Aubrevane::withoutOuterBlanks(const std::string& name)
{
    const auto first = name.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return name.substr(first, name.find_last_not_of(" \t") - first + 1);
}

std::filesystem::path Aubrevane::presetDirectory() const
{
    WDL_String base;
    iplug::AppSupportPath(base);
    return wendlebrak::presets::userPresetDirectory(kPresetFormat, base.Get());
}

std::filesystem::path Aubrevane::presetFileForSave(const std::string& name) const
{
    const std::string trimmed = withoutOuterBlanks(name);
    const std::filesystem::path folder = presetDirectory();
    if (trimmed.empty() || !folder.is_absolute())
        return {};
    return wendlebrak::presets::presetPathForName(kPresetFormat, folder, trimmed);
}

std::vector<wendlebrak::presets::SavedPreset> Aubrevane::savedPresets() const
{
    try
    {
        return wendlebrak::presets::listPresets(kPresetFormat, presetDirectory());
    }
    catch (const std::exception&)
    {
        return {};
    }
}

std::string Aubrevane::presetName() const
{
    std::lock_guard lock(labelMutex);
    return presetLabel;
}

std::vector<double> Aubrevane::soundSnapshot()
{
    TargetValues target;
    if (!publishedTarget.tryRead(target))
        return {};
    std::vector<double> snapshot;
    snapshot.reserve(kNumParams + 2 * kTargetBands + 2);
    for (int index = 0; index < kNumParams; ++index)
        snapshot.push_back(GetParam(index)->Value());
    snapshot.insert(snapshot.end(), target.offsetDecibels.begin(), target.offsetDecibels.end());
    snapshot.insert(snapshot.end(), target.balance.begin(), target.balance.end());
    snapshot.push_back(target.valid ? 1.0 : 0.0);
    snapshot.push_back(referenceName() != snapshotReferenceName ? 1.0 : 0.0);
    return snapshot;
}

bool Aubrevane::presetModified() const
{
    return modifiedSinceSnapshot || modifiedCarried;
}

void Aubrevane::retakePresetSnapshot(bool modified)
{
    modifiedCarried = modified;
    presetSnapshot.clear();
    modifiedSinceSnapshot = false;
    presetSnapshotRetake.store(true);
}

void Aubrevane::loadPreset(const wendlebrak::presets::SavedPreset& preset)
{
    try
    {
        loadPresetFile(preset);
    }
    catch (const std::exception& error)
    {
        tell(std::string("Could not load the preset: ") + error.what(), "Load preset");
    }
}

void Aubrevane::savePreset(const std::string& name, bool confirm)
{
    try
    {
        savePresetFile(name, confirm);
    }
    catch (const std::exception& error)
    {
        tell(std::string("Could not save the preset: ") + error.what(), "Save preset");
    }
}

void Aubrevane::removePreset(const wendlebrak::presets::SavedPreset& preset)
{
    try
    {
        removePresetFile(preset);
    }
    catch (const std::exception& error)
    {
        tell(std::string("Could not delete the preset: ") + error.what(), "Delete preset");
    }
}

void Aubrevane::loadPresetFile(const wendlebrak::presets::SavedPreset& preset)
{
    // The file as it is now counts, not the copy listed when the menu opened.
    wendlebrak::presets::SavedPreset fresh;
    std::string message;
    if (!wendlebrak::presets::readPreset(kPresetFormat, preset.file, fresh, message))
    {
        tell("Could not load the preset: " + message, "Load preset");
        return;
    }
    const std::vector<std::uint8_t>& bytes = fresh.state;
    if (bytes.size() < 4 || std::memcmp(bytes.data(), "1SVA", 4) != 0)
    {
        tell("Could not load the preset: it does not hold an Aubrevane state.", "Load preset");
        return;
    }

    // The whole state is read before any of it is applied, so a damaged preset leaves the user's sound as it was.
    StoredState parsed;
    iplug::IByteChunk chunk;
    const bool whole = bytes.size() <= static_cast<std::size_t>(INT_MAX) &&
                       readState(bytes.data(), bytes.size(), 0, parsed) == StateReading::Whole &&
                       chunk.PutBytes(bytes.data(), static_cast<int>(bytes.size())) > 0;
    if (!whole || UnserializeState(chunk, 0) < 0)
    {
        tell("Could not load the preset: its state is damaged.", "Load preset");
        return;
    }

    // Host automation lanes and the editor's controls learn every restored value.
    const auto normalisedValue = [this](int index) { return std::clamp(GetParam(index)->GetNormalized(), 0.0, 1.0); };
    for (int index = 0; index < kNumParams; ++index)
        BeginInformHostOfParamChange(index);
    for (int index = 0; index < kNumParams; ++index)
        SendParameterValueFromUI(index, normalisedValue(index));
    for (int index = 0; index < kNumParams; ++index)
        EndInformHostOfParamChange(index);

    if (savedEditorWidth > 0 && GetUI() != nullptr)
    {
        const float scale = static_cast<float>(savedEditorWidth) / kEditorWidth;
        if (std::fabs(scale - editorScale()) > kEditorScaleTolerance)
            applyEditorScale(scale);
    }

    {
        std::lock_guard lock(labelMutex);
        presetLabel = fresh.name;
    }
    retakePresetSnapshot(false);
}

void Aubrevane::savePresetFile(const std::string& name, bool confirm)
{
    const std::string trimmed = withoutOuterBlanks(name);
    if (trimmed.empty())
        return;
    const std::filesystem::path folder = presetDirectory();

    if (const std::filesystem::path path = presetFileForSave(trimmed); confirm && !path.empty())
    {
        // The chosen file exists only when it already holds a preset of exactly this name.
        std::error_code error;
        if (std::filesystem::exists(path, error) &&
            !ask("A preset named \"" + trimmed + "\" already exists. Replace it?", "Save preset"))
            return;
    }

    const std::string oldName = presetName();
    const bool oldMark = presetModified();
    const auto restore = [&]
    {
        {
            std::lock_guard lock(labelMutex);
            presetLabel = oldName;
        }
        retakePresetSnapshot(oldMark);
    };
    // Set before serialising, so the saved state carries the new name and a cleared mark.
    {
        std::lock_guard lock(labelMutex);
        presetLabel = trimmed;
    }
    retakePresetSnapshot(false);

    std::string message;
    bool saved = false;
    try
    {
        iplug::IByteChunk chunk;
        if (SerializeState(chunk))
        {
            const std::vector<std::uint8_t> bytes(chunk.GetData(), chunk.GetData() + chunk.Size());
            saved = wendlebrak::presets::writePreset(kPresetFormat, folder, trimmed, bytes, message);
        }
    }
    catch (const std::exception&)
    {
        restore();
        throw;
    }
    if (!saved)
    {
        restore();
        tell("Could not save the preset: " + (message.empty() ? std::string("the state could not be taken") : message),
             "Save preset");
    }
}

void Aubrevane::removePresetFile(const wendlebrak::presets::SavedPreset& preset)
{
    std::string message;
    if (!wendlebrak::files::deleteNamedFile(preset.file, message))
        tell("Could not delete the preset: " + message, "Delete preset");
}
