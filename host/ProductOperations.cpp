#include "host/ProductOperations.h"

#include "wendlebrak/updates/UpdateCheck.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <thread>

namespace aubrevane::host
{
namespace
{

using aubrevane::plugin::ProductInterface;

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

} // namespace

std::string learningFailure(const ProductInterface& product)
{
    if (product.learning() != ProductInterface::Learning::kFailed)
        return {};
    // the editor shows the reason after a capitalised prefix; the host's line starts lower-case
    std::string reason = product.learningMessage();
    if (const auto colon = reason.find(": "); colon != std::string::npos)
        reason.erase(0, colon + 2);
    return reason;
}

std::unique_ptr<ProductOperations> ProductOperations::attach(HostedPlugin& plugin, std::string& error)
{
    auto* product = plugin.hostInterface<ProductInterface>();
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
    product.learnFromInput();
}

bool ProductOperations::learnFromReference(const std::string& path, std::string& error)
{
    product.learnFromFile(path);
    while (product.learning() == ProductInterface::Learning::kAnalysing)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (product.learning() == ProductInterface::Learning::kFailed)
    {
        const std::string reason = learningFailure(product);
        error = "could not learn from " + path + (reason.empty() ? "" : ": " + reason);
        return false;
    }
    return true;
}

bool ProductOperations::isLearningFromInput() const
{
    return product.isLearningFromInput();
}

std::vector<std::string> ProductOperations::targetNames() const
{
    std::vector<std::string> names;
    for (const auto& target : product.targets())
        names.push_back(target.name);
    return names;
}

bool ProductOperations::loadTarget(const std::string& name, std::string& error)
{
    bool found = false;
    if (!withEditor([&] { found = product.loadTarget(name); }, error))
        return false;
    if (found)
        return true;
    error = "no target named \"" + name + "\" (aubrevane-host targets lists them)";
    return false;
}

std::filesystem::path ProductOperations::targetFile(const std::string& name) const
{
    for (const auto& target : product.targets())
        if (target.name == name)
            return target.file;
    return {};
}

bool ProductOperations::saveTarget(const std::string& name, std::string& error)
{
    return withEditor([&] { product.saveTarget(name); }, error);
}

std::filesystem::path ProductOperations::targetFileForSave(const std::string& name) const
{
    return product.targetFileForSave(name);
}

std::vector<std::string> ProductOperations::presetNames() const
{
    std::vector<std::string> names;
    for (const auto& preset : product.presets())
        names.push_back(preset.name);
    return names;
}

bool ProductOperations::loadPreset(const std::string& name, std::string& error)
{
    bool found = false;
    if (!withEditor([&] { found = product.loadPreset(name); }, error))
        return false;
    if (found)
        return true;
    error = "no preset named \"" + name + "\" (aubrevane-host presets lists them)";
    return false;
}

std::filesystem::path ProductOperations::presetFile(const std::string& name) const
{
    for (const auto& preset : product.presets())
        if (preset.name == name)
            return preset.file;
    return {};
}

bool ProductOperations::savePreset(const std::string& name, std::string& error)
{
    return withEditor([&] { product.savePreset(name); }, error);
}

std::filesystem::path ProductOperations::presetFileForSave(const std::string& name) const
{
    return product.presetFileForSave(name);
}

std::string ProductOperations::statusLine()
{
    std::string line;
    std::string ignored;
    withEditor(
        [&]
        {
            plugin.idle();
            line = product.statusLine();
        },
        ignored);
    return line;
}

bool ProductOperations::checkForUpdates(std::string& line, std::string& error)
{
    const auto noCheck = [&error]
    {
        error = "this plug-in has no update check";
        return false;
    };
    if (!product.updateReport())
        return noCheck();
    // The plug-in's own network step, on the instance's background thread; the main thread waits for it here.
    if (!plugin.runBackgroundWork())
    {
        error = "the update check could not be started";
        return false;
    }

    using Outcome = wendlebrak::updates::UpdateCheck::Outcome;
    const auto report = product.updateReport();
    if (!report)
        return noCheck();
    const auto& step = report->step;
    const std::string failed = "the update check failed: ";
    switch (step.outcome)
    {
    case Outcome::kFetched:
    case Outcome::kNotDue:
        if (report->notice)
            line = "newer version: " + report->notice->version + " " + report->notice->url;
        else if (step.outcome == Outcome::kFetched)
            line = "no newer version is available";
        else
            line = checkedRecently(step.checkedAt, report->now);
        return true;
    case Outcome::kSwitchedOff:
        error = "the update check is switched off";
        break;
    case Outcome::kNoPermission:
        error = "the update check may not use the network";
        break;
    case Outcome::kStampNotWritten:
    case Outcome::kFeedNotWritten:
        error = report->directory.empty() ? "the update check has no folder for its record"
                                          : failed + "could not write " + report->recordFile.string();
        break;
    case Outcome::kNoAnswer:
        error = failed + "no answer from " + report->feedUrl;
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
