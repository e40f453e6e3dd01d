#include "host/ProductOperations.h"

#include "framework/igraphics/IGraphics.h"
#include "framework/igraphics/ITextControl.h"
#include "offline/FactoryTargets.h"
#include "plugin/Aubrevane.h"
#include "wendlebrak/updates/BackgroundRunner.h"
#include "wendlebrak/updates/UpdateCheck.h"

#include <array>
#include <chrono>
#include <thread>

namespace aubrevane::host
{
namespace
{

/** The fields of the tone display's reading that the host looks at, plus the rest the plug-in fills. */
struct LearnReading
{
    double sampleRate = 0.0;
    double highPassHertz = 0.0;
    double lowPassHertz = 0.0;
    std::array<float, 12> gainDecibels{};
    std::array<float, 12> bandDecibels{};
    bool aboveThreshold = false;
    bool idle = false;
    bool bypassed = false;
    bool learning = false;
    float learnProgress = 0.0f;
    bool targetValid = false;
    bool analysingFile = false;
    std::string targetName;
    std::string message;
    bool highPassOn = false;
    bool lowPassOn = false;
};

} // namespace

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
        // the editor shows the reason after a capitalised prefix; the host's line starts lower-case
        std::string reason = product.toneDisplayReading<LearnReading>().message;
        if (const auto colon = reason.find(": "); colon != std::string::npos)
            reason.erase(0, colon + 2);
        error = "could not learn from " + path + (reason.empty() ? "" : ": " + reason);
        return false;
    }
    return true;
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

bool ProductOperations::saveTarget(const std::string& name, std::string& error)
{
    return withEditor([&] { product.saveTarget(name); }, error);
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

bool ProductOperations::savePreset(const std::string& name, std::string& error)
{
    return withEditor([&] { product.savePreset(name, true); }, error);
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

bool ProductOperations::checkForUpdates(std::string& notice, std::string& error)
{
    notice.clear();
    const auto updates = product.updates();
    if (!updates)
    {
        error = "this plug-in has no update check";
        return false;
    }

    // The plug-in's own check, with its clock, permission, folder and address, plus a transport that keeps the
    // server's answer: a failed request leaves the record as it was, so the record alone cannot tell it apart.
    wendlebrak::updates::Config config = updates->config;
    int status = -1; // -1: the check made no request (asked less than 600 seconds ago, switched off or no folder)
    std::string body;
    config.fetch = [fetch = config.fetch, &status, &body](const std::string& url)
    {
        auto result = fetch(url);
        status = result.status;
        body = result.body;
        return result;
    };
    {
        wendlebrak::updates::UpdateCheck check(std::move(config));
        // the network step blocks for up to the transport's time-out, so it runs on the process's background runner
        if (!wendlebrak::updates::BackgroundRunner::shared().runAndWait([&check] { check.checkIfDue(); }))
        {
            error = "the update check could not be started";
            return false;
        }
    }
    updates->reload();

    if (status == 0)
    {
        error = "the update check failed: no answer from " + updates->config.feedUrl;
        return false;
    }
    if (status > 0 && status != 200)
    {
        error = "the update check failed: the server answered " + std::to_string(status);
        return false;
    }
    if (status == 200 && updates->readRecord().feed != body)
    {
        error = "the update check failed: the server's answer is not an update feed";
        return false;
    }
    const auto state = updates->state();
    if (!state.enabled)
    {
        error = "the update check is switched off";
        return false;
    }
    if (state.notice)
        notice = state.notice->version + " " + state.notice->url;
    return true;
}

} // namespace aubrevane::host
