#include "plugin/AubrevaneInterface.h"

#include "editor/LearnPillControl.h"
#include "editor/ToneDisplayControl.h"
#include "framework/igraphics/IGraphics.h"
#include "framework/igraphics/ITextControl.h"
#include "offline/FactoryTargets.h"
#include "plugin/Aubrevane.h"
#include "wendlebrak/updates/UpdateCheck.h"

namespace
{

/** The factory targets, then the user's, as the learn menu lists them. */
std::vector<aubrevane::offline::SavedTarget> allTargets(const Aubrevane& plugin)
{
    auto targets = aubrevane::offline::factoryTargets();
    for (auto& target : plugin.savedTargets())
        targets.push_back(std::move(target));
    return targets;
}

} // namespace

AubrevaneInterface::AubrevaneInterface(Aubrevane& plugin) : plugin(plugin), editorView(plugin) {}

void AubrevaneInterface::learnFromInput()
{
    plugin.onLearnFromInput();
}

bool AubrevaneInterface::isLearningFromInput() const
{
    return plugin.learnPillState<LearnPillControl::State>().learning;
}

void AubrevaneInterface::learnFromFile(const std::string& path)
{
    plugin.learnFromFile(path);
}

AubrevaneInterface::Learning AubrevaneInterface::learning() const
{
    switch (plugin.learningState())
    {
    case Aubrevane::kLearnAnalysing:
        return Learning::kAnalysing;
    case Aubrevane::kLearnFailed:
        return Learning::kFailed;
    default:
        return Learning::kIdle;
    }
}

std::string AubrevaneInterface::learningMessage() const
{
    return plugin.toneDisplayReading<ToneDisplayControl::Reading>().message;
}

std::vector<AubrevaneInterface::NamedFile> AubrevaneInterface::targets() const
{
    std::vector<NamedFile> named;
    for (const auto& target : allTargets(plugin))
        named.push_back({target.name, target.path});
    return named;
}

bool AubrevaneInterface::loadTarget(const std::string& name)
{
    for (const auto& target : allTargets(plugin))
        if (target.name == name)
        {
            plugin.loadTarget(target);
            return true;
        }
    return false;
}

void AubrevaneInterface::saveTarget(const std::string& name)
{
    plugin.saveTarget(name);
}

std::filesystem::path AubrevaneInterface::targetFileForSave(const std::string& name) const
{
    return plugin.targetFileForSave(name);
}

std::vector<AubrevaneInterface::NamedFile> AubrevaneInterface::presets() const
{
    std::vector<NamedFile> named;
    for (const auto& preset : plugin.savedPresets())
        named.push_back({preset.name, preset.file});
    return named;
}

bool AubrevaneInterface::loadPreset(const std::string& name)
{
    for (const auto& preset : plugin.savedPresets())
        if (preset.name == name)
        {
            plugin.loadPreset(preset);
            return true;
        }
    return false;
}

void AubrevaneInterface::savePreset(const std::string& name)
{
    plugin.savePreset(name, true);
}

std::filesystem::path AubrevaneInterface::presetFileForSave(const std::string& name) const
{
    return plugin.presetFileForSave(name);
}

std::string AubrevaneInterface::statusLine() const
{
    if (const auto* graphics = plugin.GetUI())
        if (const auto* status =
                dynamic_cast<const iplug::igraphics::ITextControl*>(graphics->GetControlWithTag(kStatusTag)))
            return status->GetStr();
    return {};
}

std::optional<AubrevaneInterface::UpdateReport> AubrevaneInterface::updateReport() const
{
    const auto updates = plugin.updates();
    if (!updates)
        return std::nullopt;
    UpdateReport report;
    report.step = updates->lastStep();
    report.notice = updates->state().notice;
    report.now = updates->config.now();
    report.directory = updates->config.directory;
    report.recordFile = updates->recordFile();
    report.feedUrl = updates->config.feedUrl;
    return report;
}
