#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <memory>
#include <string>
#include <vector>

namespace aubrevane::host
{

/** What a host shows of one parameter. */
struct ParamInfo
{
    std::string name;
    std::string unit;
    double defaultValue = 0.0;
    double minimum = 0.0;
    double maximum = 1.0;
    double step = 0.0;
    bool isSwitch = false;
};

/** A message box the plug-in showed, as the host answered it. */
struct ShownMessageBox
{
    std::string title;
    std::string text;
    bool question = false; // it had Yes and No buttons
    bool answeredYes = false;
};

/**
 * One plug-in instance in a loaded bundle, reached the way an Audio Unit host reaches it: the bundle's exported
 * factory builds the instance, and everything after goes through the factory record's host calls. Destroying it
 * closes the instance through the record and unloads the bundle. Main thread, except render.
 */
class HostedPlugin
{
public:
    /** Loads the bundle (the shared library) and builds one instance through its factory. */
    [[nodiscard]] static std::unique_ptr<HostedPlugin> load(const std::filesystem::path& bundle, std::string& error);
    ~HostedPlugin();
    HostedPlugin(const HostedPlugin&) = delete;
    HostedPlugin& operator=(const HostedPlugin&) = delete;

    int paramCount() const;
    ParamInfo paramInfo(int index) const;
    /** The index of the parameter with this exact name, or -1. */
    int findParam(const std::string& name) const;
    double paramValue(int index) const;
    /** Sets a plain value; false for an index out of range or a value that is not finite. */
    bool setParamValue(int index, double value);

    /** The host's initialisation: rate, largest block and the channel route; the plug-in resets for them. */
    [[nodiscard]] bool initialise(double sampleRate, int maxBlockFrames, int inputChannels, int outputChannels,
                                  std::string& error);
    bool render(double** inputs, double** outputs, int frames);
    /** The host's bypass property: the plug-in resets at the next render, and while it is on the input passes
     *  through unchanged. */
    void setBypass(bool bypassed);

    [[nodiscard]] bool saveState(std::vector<std::uint8_t>& bytes) const;
    /** False when the plug-in could not read the state (what it could read may still have been applied). */
    [[nodiscard]] bool restoreState(const std::vector<std::uint8_t>& bytes);

    void idle();
    bool openEditor();
    void closeEditor();
    /** How the host answers the plug-in's questions (message boxes with Yes and No); No unless set. */
    void answerQuestionsYes(bool yes);
    /** The boxes shown since the last call, oldest first; taking them empties the list. */
    std::vector<ShownMessageBox> takeMessageBoxes();
    /** Takes the boxes shown since the last call and prints each as a line on stderr. */
    void printMessageBoxes();

    /** Runs the plug-in's background work (its update check's network step) once on this instance's background
     *  thread and waits for it; false when it did not run. Main thread, which then waits for the network. */
    bool runBackgroundWork();
    /** Starts the same work on the background thread and returns at once; false when it could not be started.
     *  Destroying the instance ends work under way early and joins the thread before the bundle is unloaded. */
    bool startBackgroundWork();

    /** How the host answers the plug-in's file dialogs: `answer` fills the path and returns true, or returns false
     *  for a cancelled dialog. Cancelled unless set. */
    void answerFileDialogs(std::function<bool(std::string& path)> answer);

    /** The plug-in's object of `Interface`, an abstract class it implements for the operations that are not host
     *  calls, named by Interface::kInterfaceId; null when the plug-in has no such interface. */
    template <class Interface> Interface* hostInterface() const
    {
        return static_cast<Interface*>(hostInterface(Interface::kInterfaceId));
    }

    struct Impl;

private:
    explicit HostedPlugin(std::unique_ptr<Impl> impl);
    void* hostInterface(std::uint32_t interfaceId) const;
    std::unique_ptr<Impl> impl;
};

/** The bundle `chosen` names (--plugin), else $AUBREVANE_PLUGIN, else the one next to this program; a name without a
 *  slash is a file in the current folder. */
std::filesystem::path bundlePath(const std::optional<std::string>& chosen, const char* argv0);
/** What chose the bundle, as messages name it: "--plugin", "$AUBREVANE_PLUGIN" or "the plug-in bundle". */
std::string bundleSource(const std::optional<std::string>& chosen);

} // namespace aubrevane::host
