#pragma once

#include "host/HostedPlugin.h"
#include "plugin/ProductInterface.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace aubrevane::host
{

/** Why the last reference analysis failed, starting lower-case; empty when it did not fail. Main thread. */
std::string learningFailure(const aubrevane::plugin::ProductInterface& product);

/**
 * The product's own operations on a hosted instance, for the work an Audio Unit host has no call for (learning,
 * targets, presets, the status line, the update check). It reaches them through the product interface that the
 * instance hands out through the factory's record, so it works only with a bundle that has that interface. Each
 * operation opens the editor around itself, as a user would, so the plug-in's messages and questions reach the
 * host. Main thread.
 */
class ProductOperations
{
public:
    /** Null with a message when the hosted plug-in is not this host's own Aubrevane. */
    [[nodiscard]] static std::unique_ptr<ProductOperations> attach(HostedPlugin& plugin, std::string& error);

    /** Asks the audio thread to learn a target from the input it renders next. */
    void startLearningFromInput();
    /** Learning from the input has not finished: the input has not yet stayed above the threshold long enough. */
    bool isLearningFromInput() const;
    /** Learns a target from a reference audio file and waits for the analysis. */
    [[nodiscard]] bool learnFromReference(const std::string& path, std::string& error);

    /** The factory targets, then the user's. */
    std::vector<std::string> targetNames() const;
    [[nodiscard]] bool loadTarget(const std::string& name, std::string& error);
    /** The file loadTarget(name) reads; empty for a factory target or an unknown name. */
    std::filesystem::path targetFile(const std::string& name) const;
    [[nodiscard]] bool saveTarget(const std::string& name, std::string& error);
    /** The file saveTarget(name) would write or replace now; empty where the plug-in has no folder for targets. */
    std::filesystem::path targetFileForSave(const std::string& name) const;

    std::vector<std::string> presetNames() const;
    [[nodiscard]] bool loadPreset(const std::string& name, std::string& error);
    /** The file loadPreset(name) reads; empty for an unknown name. */
    std::filesystem::path presetFile(const std::string& name) const;
    [[nodiscard]] bool savePreset(const std::string& name, std::string& error);
    /** The file savePreset(name) would write or replace now; empty where the plug-in has no folder for presets. */
    std::filesystem::path presetFileForSave(const std::string& name) const;

    /** The editor's status line after one idle tick. */
    std::string statusLine();

    /**
     * Runs the plug-in's own network step once on the background thread (it asks the server at most once per 600
     * seconds) and fills the line that reports its update check: the newer version, that there is none, or that the
     * feed was checked recently and when the next check is due. False with a message when the step could not ask
     * the server or the server's answer was a failure.
     */
    [[nodiscard]] bool checkForUpdates(std::string& line, std::string& error);

private:
    ProductOperations(HostedPlugin& plugin, aubrevane::plugin::ProductInterface& product)
        : plugin(plugin), product(product)
    {
    }
    /** Runs `operation` with the editor open; false with the first message the plug-in showed, if any. */
    template <typename Operation> bool withEditor(Operation&& operation, std::string& error);

    HostedPlugin& plugin;
    aubrevane::plugin::ProductInterface& product;
};

} // namespace aubrevane::host
