#include "host/ProductOperations.h"

#include "editor/LearnPillControl.h"
#include "editor/ToneDisplayControl.h"
#include "framework/igraphics/IGraphics.h"
#include "framework/igraphics/ITextControl.h"
#include "offline/FactoryTargets.h"
#include "offline/PresetFormat.h"
#include "offline/SavedTarget.h"
#include "plugin/Aubrevane.h"
#include "wendlebrak/updates/UpdateCheck.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <thread>

namespace aubrevane::host
{
namespace
{

/** The line for a check that was not due: when the stored stamp allows the next fetch, in local time. */
std::string checkedRecently(long long checkedAt, long long now)
{
    const long long due = checkedAt + wendlebrak::updates::kCheckIntervalSeconds;
    const auto dueTime = static_cast<std::time_t>(due);
    std::tm local{};
    char clock[32] = "";
    if (localtime_r(&dueTime, &local) != nullptr)
        std::strftime(clock, sizeof clock, "%Y-%m-%d %H:%M:%S", &local);
    return "the feed was checked recently; the next check is due at " + std::string(clock) + " (in " +
           std::to_string(std::max(0LL, due - now)) + " seconds)";
}

/** The name as the plug-in stores it: blanks and tabs at either end dropped. */
std::string storedName(const std::string& name)
{
    const auto first = name.find_first_not_of(" \t");
    return first == std::string::npos ? std::string() : name.substr(first, name.find_last_not_of(" \t") - first + 1);
}

} // namespace

std::string learningFailure(const Aubrevane& product)
{
    if (product.learningState() != Aubrevane::kLearnFailed)
        return {};
    // the editor shows the reason after a capitalised prefix; the host's line starts lower-case
    std::string reason = product.toneDisplayReading<ToneDisplayControl::Reading>().message;
    if (const auto colon = reason.find(": "); colon != std::string::npos)
        reason.erase(0, colon + 2);
    return reason;
}

std::unique_ptr<ProductOperations> ProductOperations::attach(HostedPlugin& plugin, std::string& error)
{
    auto* product = dynamic_cast<Aubrevane*>(static_cast<iplug::IPlugAU*>(plugin.object()));
    if (product == nullptr)
    {
        error = "this operation needs the Aubrevane bundle the host was built with";
        return nullptr;
    }
    return std::unique_ptr<ProductOperations>(new ProductOperations(plugin, *product));
}

template <typename Operation> bool ProductOperations::withEditor(Operation&& operation, std::string& error)
{
    plugin.printMessageBoxes(); // boxes from before belong to no operation here
    const bool opened = plugin.openEditor();
    operation();
    if (opened)
        plugin.closeEditor();
    // the plug-in reports failures in OK boxes; a question answered No cancelled the operation
    for (const ShownMessageBox& box : plugin.takeMessageBoxes())
    {
        if (!box.question)
            error = box.text;
        else if (!box.answeredYes)
            error = box.text + " (answered No; --yes answers Yes)";
        else
            continue;
        return false;
    }
    return true;
}

void ProductOperations::startLearningFromInput()
{
    product.onLearnFromInput();
}

bool ProductOperations::learnFromReference(const std::string& path, std::string& error)
{
    product.learnFromFile(path);
    while (product.learningState() == Aubrevane::kLearnAnalysing)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (product.learningState() == Aubrevane::kLearnFailed)
    {
        const std::string reason = learningFailure(product);
        error = "could not learn from " + path + (reason.empty() ? "" : ": " + reason);
        return false;
    }
    return true;
}

bool ProductOperations::isLearningFromInput() const
{
    return product.learnPillState<LearnPillControl::State>().learning;
}

std::vector<aubrevane::offline::SavedTarget> ProductOperations::allTargets() const
{
    auto targets = aubrevane::offline::factoryTargets();
    for (auto& target : product.savedTargets())
        targets.push_back(std::move(target));
    return targets;
}

std::vector<std::string> ProductOperations::targetNames() const
{
    std::vector<std::string> names;
    for (const auto& target : allTargets())
        names.push_back(target.name);
    return names;
}

bool ProductOperations::loadTarget(const std::string& name, std::string& error)
{
    for (const auto& target : allTargets())
        if (target.name == name)
            return withEditor([&] { product.loadTarget(target); }, error);
    error = "no target named \"" + name + "\" (aubrevane-host targets lists them)";
    return false;
}

std::filesystem::path ProductOperations::targetFile(const std::string& name) const
{
    for (const auto& target : allTargets())
        if (target.name == name)
            return target.path;
    return {};
}

bool ProductOperations::saveTarget(const std::string& name, std::string& error)
{
    return withEditor([&] { product.saveTarget(name); }, error);
}

std::filesystem::path ProductOperations::targetFileForSave(const std::string& name) const
{
    // the plug-in writes no target into a relative folder
    const std::filesystem::path folder = product.targetDirectory();
    return folder.is_absolute() ? aubrevane::offline::targetPathForName(folder, storedName(name))
                                : std::filesystem::path();
}

std::vector<std::string> ProductOperations::presetNames() const
{
    std::vector<std::string> names;
    for (const auto& preset : product.savedPresets())
        names.push_back(preset.name);
    return names;
}

bool ProductOperations::loadPreset(const std::string& name, std::string& error)
{
    for (const auto& preset : product.savedPresets())
        if (preset.name == name)
            return withEditor([&] { product.loadPreset(preset); }, error);
    error = "no preset named \"" + name + "\" (aubrevane-host presets lists them)";
    return false;
}

std::filesystem::path ProductOperations::presetFile(const std::string& name) const
{
    for (const auto& preset : product.savedPresets())
        if (preset.name == name)
            return preset.file;
    return {};
}

bool ProductOperations::savePreset(const std::string& name, std::string& error)
{
    return withEditor([&] { product.savePreset(name, true); }, error);
}

std::filesystem::path ProductOperations::presetFileForSave(const std::string& name) const
{
    // the plug-in writes no preset into a relative folder
    const std::filesystem::path folder = product.presetDirectory();
    return folder.is_absolute()
               ? wendlebrak::presets::presetPathForName(aubrevane::offline::kPresetFormat, folder, storedName(name))
               : std::filesystem::path();
}

std::string ProductOperations::statusLine()
{
    std::string line;
    std::string ignored;
    withEditor(
        [&]
        {
            plugin.idle();
            if (const auto* graphics = product.GetUI())
                if (const auto* status =
                        dynamic_cast<const iplug::igraphics::ITextControl*>(graphics->GetControlWithTag(kStatusTag)))
                    line = status->GetStr();
        },
        ignored);
    return line;
}

bool ProductOperations::checkForUpdates(std::string& line, std::string& error)
{
    const auto updates = product.updates();
    if (!updates)
    {
        error = "this plug-in has no update check";
        return false;
    }
    // The plug-in's own network step, on the instance's background thread; the main thread waits for it here.
    if (!plugin.runBackgroundWork())
    {
        error = "the update check could not be started";
        return false;
    }

    using Outcome = wendlebrak::updates::UpdateCheck::Outcome;
    const auto step = updates->lastStep();
    const auto state = updates->state();
    const std::string failed = "the update check failed: ";
    switch (step.outcome)
    {
    case Outcome::kFetched:
    case Outcome::kNotDue:
        if (state.notice)
            line = "newer version: " + state.notice->version + " " + state.notice->url;
        else if (step.outcome == Outcome::kFetched)
            line = "no newer version is available";
        else
            line = checkedRecently(step.checkedAt, updates->config.now());
        return true;
    case Outcome::kSwitchedOff:
        error = "the update check is switched off";
        break;
    case Outcome::kNoPermission:
        error = "the update check may not use the network";
        break;
    case Outcome::kStampNotWritten:
    case Outcome::kFeedNotWritten:
        error = updates->config.directory.empty() ? "the update check has no folder for its record"
                                                  : failed + "could not write " + updates->recordFile().string();
        break;
    case Outcome::kNoAnswer:
        error = failed + "no answer from " + updates->config.feedUrl;
        break;
    case Outcome::kFailedStatus:
        error = failed + "the server answered " + std::to_string(step.status);
        break;
    case Outcome::kNotAFeed:
        error = failed + "the server's answer is not an update feed";
        break;
    case Outcome::kFeedTooLarge:
        error = failed + "the server's update feed is too large to keep";
        break;
    case Outcome::kNotRun:
        error = "the update check did not run";
        break;
    }
    return false;
}

} // namespace aubrevane::host
