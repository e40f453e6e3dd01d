// aubrevane-host: a command-line stand-in for an Audio Unit host. It loads the plug-in bundle, builds an instance
// through the bundle's factory and drives it through the framework's host-facing calls only.

#include "framework/IPlugAPIBase.h"
#include "host/EditorCommand.h"
#include "host/HostedPlugin.h"
#include "host/OutputFile.h"
#include "host/OutputFormat.h"
#include "host/ProductOperations.h"
#include "host/SoundFile.h"
#include "host/StateFile.h"
#include "wendlebrak/files/Files.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace
{

using aubrevane::host::HostedPlugin;
using aubrevane::host::NamedFile;
using aubrevane::host::ParamInfo;
using aubrevane::host::ProductOperations;
using aubrevane::host::restoreStateFile;
using aubrevane::host::SoundFile;
using wendlebrak::files::systemReason;

constexpr int kDefaultBlockFrames = 512;
constexpr int kMaxBlockFrames = 8192;
constexpr double kProgressAfterSeconds = 20.0; // shorter files render without a progress line
constexpr double kIdleSeconds = iplug::IPlugAPIBase::kIdleIntervalMs / 1000.0; // as a host's timer calls it
constexpr int kLoggedProgressStep = 25; // without a terminal, progress is a plain line every quarter

/** A failure the user sees as one line on stderr. */
struct Failure
{
    std::string message;
};

/** A render stopped by SIGINT, SIGTERM or SIGHUP; the process ends with 128 plus the signal's number, as a shell
 *  reports. */
struct Interrupted
{
    int signal;
    std::string message;
};

// Set by the signal handler and read between blocks (a lock-free atomic is safe to store from a handler); the
// handler also ends a read waiting on a pipe or device input, whose writer may never act.
std::atomic<int> stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void noteStopSignal(int signal)
{
    stopSignal.store(signal);
    aubrevane::host::endStoppableInput();
}

/** Catches SIGINT, SIGTERM and SIGHUP (a closed terminal), except one the caller ignores (a background job's SIGINT,
 *  nohup), as a shell expects. The calls they interrupt are not restarted, so a blocked read gives way to them. */
void catchStopSignals()
{
    struct sigaction action
    {
    };
    action.sa_handler = noteStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
    {
        struct sigaction previous
        {
        };
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
            sigaction(signal, &action, nullptr);
    }
}

/** `written` is the output when it is already in place, else empty. */
void stopIfSignalled(const std::string& written = {})
{
    if (const int signal = stopSignal.load(); signal != 0)
        throw Interrupted{signal, written.empty()
                                      ? "interrupted; nothing was written"
                                      : "interrupted after " + written + " was written; nothing more was saved"};
}

/** For a call a stop signal may have broken off: the stop is what the user hears of, not the broken call. */
[[noreturn]] void failUnlessStopped(const std::string& message)
{
    stopIfSignalled();
    throw Failure{message};
}

// A terminal's progress line ends without a newline while it is updated in place; a message after it starts anew.
bool progressLineOpen = false;

void endProgressLine()
{
    if (progressLineOpen)
        std::fputc('\n', stderr);
    progressLineOpen = false;
}

const char* const kRenderUsage =
    "  aubrevane-host render IN OUT [--set NAME=VALUE ...] [--block N] [--learn] [--reference FILE]\n"
    "                               [--target NAME] [--save-target NAME] [--preset NAME] [--save-preset NAME]\n"
    "                               [--state FILE] [--save-state FILE] [--yes] [--plugin BUNDLE]\n";
const char* const kBundleNote =
    "The bundle is found next to this program, or named by --plugin or $AUBREVANE_PLUGIN.\n";
const char* const kQuestionsNote = "Questions from the plug-in are answered No unless --yes is given.\n";

const std::vector<std::string> kCommands = {"render", "params", "targets", "presets", "status", "check-updates"};

/** The usage of one command, or of every command for any other word. */
std::string usage(const std::string& command)
{
    if (command == "render")
        return std::string("usage:\n") + kRenderUsage + kBundleNote + kQuestionsNote;
    if (std::find(kCommands.begin(), kCommands.end(), command) != kCommands.end())
        return "usage:\n  aubrevane-host " + command + " [--plugin BUNDLE]\n" + kBundleNote;
    return std::string("usage:\n") + kRenderUsage +
           "  aubrevane-host params | targets | presets | status | check-updates [--plugin BUNDLE]\n"
           "  aubrevane-host editor --png OUT.png [--scale S] [--click X,Y ...] ... (editor alone lists its options)\n"
           "  aubrevane-host editor --window [--play IN.wav] [--state FILE] [--scale S] [--yes] [--plugin BUNDLE]\n" +
           kBundleNote + kQuestionsNote;
}

struct Options
{
    std::string command;
    bool help = false;
    std::vector<std::string> files;
    std::vector<std::pair<std::string, std::string>> settings;
    int blockFrames = kDefaultBlockFrames;
    bool learn = false;
    bool yes = false;
    std::optional<std::string> stateIn, stateOut, bundle;
    std::optional<std::string> reference, target, saveTarget, preset, savePreset;

    bool needsProduct() const { return learn || reference || target || saveTarget || preset || savePreset; }
};

std::string takeValue(int& i, int argc, char** argv)
{
    const std::string option = argv[i];
    if (i + 1 >= argc)
        throw Failure{option + " needs a value"};
    return argv[++i];
}

bool isHelpOption(const std::string& argument)
{
    return argument == "--help" || argument == "-h";
}

Options parseOptions(int argc, char** argv)
{
    const std::string commands = "(use render, editor, params, targets, presets, status or check-updates)";
    if (argc < 2)
        throw Failure{"no command given " + commands};
    Options options;
    options.command = argv[1];
    if (isHelpOption(options.command) || options.command == "help")
    {
        options.help = true;
        return options;
    }
    if (std::find(kCommands.begin(), kCommands.end(), options.command) == kCommands.end())
        throw Failure{"unknown command " + options.command + " " + commands};

    for (int i = 2; i < argc; ++i)
    {
        const std::string argument = argv[i];
        if (isHelpOption(argument))
        {
            options.help = true;
            return options;
        }
        if (argument == "--set")
        {
            const std::string assignment = takeValue(i, argc, argv);
            const auto equals = assignment.find('=');
            if (equals == std::string::npos || equals == 0)
                throw Failure{"--set takes NAME=VALUE, not " + assignment};
            options.settings.emplace_back(assignment.substr(0, equals), assignment.substr(equals + 1));
        }
        else if (argument == "--block")
        {
            const std::string text = takeValue(i, argc, argv);
            char* end = nullptr;
            errno = 0;
            const long frames = std::strtol(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || errno != 0 || frames < 1 || frames > kMaxBlockFrames)
                throw Failure{"--block takes a whole number of frames from 1 to " + std::to_string(kMaxBlockFrames)};
            options.blockFrames = static_cast<int>(frames);
        }
        else if (argument == "--learn")
            options.learn = true;
        else if (argument == "--yes")
            options.yes = true;
        else if (argument == "--state")
            options.stateIn = takeValue(i, argc, argv);
        else if (argument == "--save-state")
            options.stateOut = takeValue(i, argc, argv);
        else if (argument == "--plugin")
            options.bundle = takeValue(i, argc, argv);
        else if (argument == "--reference")
            options.reference = takeValue(i, argc, argv);
        else if (argument == "--target")
            options.target = takeValue(i, argc, argv);
        else if (argument == "--save-target")
            options.saveTarget = takeValue(i, argc, argv);
        else if (argument == "--preset")
            options.preset = takeValue(i, argc, argv);
        else if (argument == "--save-preset")
            options.savePreset = takeValue(i, argc, argv);
        else if (argument.size() > 1 && argument[0] == '-')
            throw Failure{"unknown option " + argument};
        else
            options.files.push_back(argument);
    }

    if (int(options.learn) + int(options.reference.has_value()) + int(options.target.has_value()) > 1)
        throw Failure{"--target, --reference and --learn each choose the target; give only one of them"};
    const std::size_t wanted = options.command == "render" ? 2 : 0;
    if (options.files.size() != wanted)
        throw Failure{options.command == "render" ? "render takes an input and an output file"
                                                  : options.command + " takes no file names"};
    if (options.command != "render" &&
        (!options.settings.empty() || options.learn || options.stateIn || options.stateOut || options.needsProduct() ||
         options.yes || options.blockFrames != kDefaultBlockFrames))
        throw Failure{options.command + " takes only --plugin"};
    for (const auto& [option, name] :
         {std::pair{"--save-target", options.saveTarget}, {"--save-preset", options.savePreset}})
        if (name && name->find_first_not_of(" \t") == std::string::npos)
            throw Failure{std::string("nothing was rendered or saved: the name given to ") + option + " is empty"};
    if (options.bundle && options.bundle->empty())
        throw Failure{"the name given to --plugin is empty"};
    return options;
}

std::string formatNumber(double value)
{
    std::ostringstream text;
    text << value;
    return text.str();
}

std::unique_ptr<HostedPlugin> loadPlugin(const Options& options, const char* argv0)
{
    std::string error;
    auto plugin = HostedPlugin::load(aubrevane::host::bundlePath(options.bundle, argv0), error);
    if (!plugin)
        throw Failure{error};
    plugin->answerQuestionsYes(options.yes);
    return plugin;
}

std::unique_ptr<ProductOperations> attachProduct(HostedPlugin& plugin)
{
    std::string error;
    auto product = ProductOperations::attach(plugin, error);
    if (!product)
        throw Failure{error};
    return product;
}

void printParams(const HostedPlugin& plugin)
{
    std::printf("%-5s %-24s %10s %10s %10s  %s\n", "index", "name", "default", "minimum", "maximum", "unit");
    for (int i = 0; i < plugin.paramCount(); ++i)
    {
        const ParamInfo info = plugin.paramInfo(i);
        std::printf("%-5d %-24s %10s %10s %10s  %s\n", i, info.name.c_str(), formatNumber(info.defaultValue).c_str(),
                    formatNumber(info.minimum).c_str(), formatNumber(info.maximum).c_str(), info.unit.c_str());
    }
}

std::string validNames(const HostedPlugin& plugin)
{
    std::string names;
    for (int i = 0; i < plugin.paramCount(); ++i)
        names += (i > 0 ? ", " : "") + plugin.paramInfo(i).name;
    return names;
}

void applySetting(HostedPlugin& plugin, const std::string& name, const std::string& text)
{
    const int index = plugin.findParam(name);
    if (index < 0)
        throw Failure{"unknown parameter \"" + name + "\"; valid names: " + validNames(plugin)};
    const ParamInfo info = plugin.paramInfo(index);
    const std::string range = "from " + formatNumber(info.minimum) + " to " + formatNumber(info.maximum) +
                              (info.unit.empty() ? "" : " " + info.unit);

    double value = 0.0;
    const bool isSwitch = info.isSwitch;
    if (isSwitch && (text == "on" || text == "off"))
        value = text == "on" ? 1.0 : 0.0;
    else
    {
        char* end = nullptr;
        value = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !std::isfinite(value))
            throw Failure{"\"" + name + "\" takes a number " + range + (isSwitch ? " (or on, off)" : "") + ", not \"" +
                          text + "\""};
    }
    if (value < info.minimum || value > info.maximum)
        throw Failure{"\"" + name + "\" = " + text + " is out of range; valid values run " + range};
    if (!plugin.setParamValue(index, value))
        throw Failure{"the plug-in refused \"" + name + "\" = " + text};
}

/** The progress of a long render on stderr: one line updated in place on a terminal, a plain line every quarter
 *  elsewhere, so a log does not fill with carriage returns. */
class Progress
{
public:
    Progress(const std::string& inPath, std::int64_t totalFrames, bool shown)
        : inPath(inPath), totalFrames(std::max<std::int64_t>(totalFrames, 1)), shown(shown),
          terminal(isatty(STDERR_FILENO) != 0)
    {
    }

    void update(std::int64_t doneFrames)
    {
        if (!shown)
            return;
        const int percent = static_cast<int>(std::min<std::int64_t>(100, 100 * doneFrames / totalFrames));
        if (terminal && percent != shownPercent)
        {
            std::fprintf(stderr, "\rrendering %s: %3d%%", inPath.c_str(), percent);
            progressLineOpen = true;
        }
        else if (!terminal && percent / kLoggedProgressStep != shownPercent / kLoggedProgressStep)
            std::fprintf(stderr, "rendering %s: %d%%\n", inPath.c_str(), percent);
        shownPercent = percent;
    }

private:
    std::string inPath;
    std::int64_t totalFrames;
    bool shown, terminal;
    int shownPercent = -1;
};

/** The samples an integer output format clips, counted before they are written. */
struct ClipTally
{
    std::int64_t count = 0;
    double peak = 0.0;

    void add(const double* samples, std::size_t numSamples)
    {
        for (std::size_t i = 0; i < numSamples; ++i)
        {
            const double magnitude = std::fabs(samples[i]);
            if (magnitude > 1.0)
            {
                ++count;
                peak = std::max(peak, magnitude);
            }
        }
    }
};

int render(const Options& options, const char* argv0)
{
    const std::string& inPath = options.files[0];
    const std::string& outPath = options.files[1];
    catchStopSignals();

    std::string error;
    std::vector<NamedFile> written = {{"OUT", outPath}};
    std::vector<NamedFile> read = {
        {"IN", inPath},
        {aubrevane::host::bundleSource(options.bundle), aubrevane::host::bundlePath(options.bundle, argv0).string()},
        aubrevane::host::hostProgram()};
    if (options.stateOut)
        written.push_back({"--save-state", *options.stateOut});
    if (options.reference)
        read.push_back({"--reference", *options.reference});
    if (options.stateIn)
        read.push_back({"--state", *options.stateIn});
    if (!aubrevane::host::checkNoClash(written, read, error))
        throw Failure{error};
    // the plug-in's decoder would only say it could not read the file
    if (options.reference && ::access(options.reference->c_str(), F_OK) != 0)
        throw Failure{"could not learn from " + *options.reference + ": " + systemReason(errno)};
    aubrevane::host::OutputFile output, stateOutput;
    if (!output.prepare(outPath, error) || (options.stateOut && !stateOutput.prepare(*options.stateOut, error)))
        throw Failure{error};

    SoundFile input;
    if (!input.openRead(inPath, error, &stopSignal))
        failUnlessStopped(error); // a stop signal ends the wait for a named pipe nobody writes to
    const SF_INFO info = input.info();
    if (info.channels != 1 && info.channels != 2)
        throw Failure{inPath + " has " + std::to_string(info.channels) +
                      " channels; only mono and stereo files can be rendered"};

    auto plugin = loadPlugin(options, argv0);
    // Aubrevane's own operations, so every render ends with the status line; another bundle renders without them
    std::unique_ptr<ProductOperations> product =
        options.needsProduct() ? attachProduct(*plugin) : ProductOperations::attach(*plugin, error);
    // The preset and target files are found by name only now, through the plug-in's own lists and file names. A
    // preset or target loaded and saved back under its own name is one file on purpose: it is read before the audio.
    std::vector<NamedFile> loaded, saved = written;
    if (options.preset)
        loaded.push_back({"--preset", product->presetFile(*options.preset).string()});
    if (options.target)
        loaded.push_back({"--target", product->targetFile(*options.target).string()});
    if (options.saveTarget)
        saved.push_back({"--save-target", product->targetFileForSave(*options.saveTarget).string()});
    if (options.savePreset)
        saved.push_back({"--save-preset", product->presetFileForSave(*options.savePreset).string()});
    // empty: unknown, a factory target, or a save the plug-in has no folder for
    const auto unnamed = [](const NamedFile& file) { return file.path.empty(); };
    std::erase_if(loaded, unnamed);
    std::erase_if(saved, unnamed);
    if (!aubrevane::host::checkNoClash(written, loaded, error) || !aubrevane::host::checkNoClash(saved, read, error))
        throw Failure{error};
    // The idle tick after a state or preset takes the sound the preset mark compares with, as a host's timer would
    // before the user changes anything; the changes below then mark the preset modified.
    if (options.stateIn)
    {
        if (!restoreStateFile(*plugin, *options.stateIn, error))
            throw Failure{error};
        plugin->idle();
    }
    if (options.preset)
    {
        if (!product->loadPreset(*options.preset, error))
            throw Failure{error};
        plugin->idle();
    }
    if (options.target && !product->loadTarget(*options.target, error))
        throw Failure{error};
    if (options.reference && !product->learnFromReference(*options.reference, error))
        throw Failure{error};
    for (const auto& [name, value] : options.settings)
        applySetting(*plugin, name, value);
    stopIfSignalled();

    const int channels = info.channels;
    const int block = options.blockFrames;
    if (!plugin->initialise(info.samplerate, block, channels, channels, error))
        throw Failure{error};
    // the plug-in drops a learn request that arrives while it is bypassed
    const int bypass = plugin->findParam("Bypass");
    const bool learnDropped = options.learn && bypass >= 0 && plugin->paramValue(bypass) >= 0.5;
    if (options.learn)
        product->startLearningFromInput();

    const auto format = aubrevane::host::chooseOutputFormat(outPath, info, input.isAifc(), error);
    SoundFile sound;
    if (!format || !sound.openWrite(output.descriptor(), format->info, error, input.channelMap()))
        throw Failure{"could not write " + outPath + ": " + error};

    std::vector<double> interleaved(static_cast<std::size_t>(block) * channels);
    std::vector<std::vector<double>> in(channels, std::vector<double>(block)), out(in);
    std::vector<double*> inPointers(channels), outPointers(channels);
    for (int c = 0; c < channels; ++c)
    {
        inPointers[c] = in[c].data();
        outPointers[c] = out[c].data();
    }

    const std::int64_t total = info.frames;
    Progress progress(inPath, total, total > kProgressAfterSeconds * info.samplerate);
    ClipTally clipped;
    const auto idleFrames = static_cast<std::int64_t>(kIdleSeconds * info.samplerate);
    std::int64_t done = 0, sinceIdle = 0;
    bool cutShort = input.isCutShort(), damaged = false;
    for (;;)
    {
        stopIfSignalled();
        const std::int64_t got = input.read(interleaved.data(), block);
        if (got < 0 && done > 0 && done < total)
        {
            // the decoder lost the stream part-way: what came before it is rendered; with bytes left after where it
            // stopped, the file is damaged there rather than cut short
            damaged = input.hasUnreadBytes();
            cutShort = !damaged;
            break;
        }
        if (got < 0)
            failUnlessStopped("could not read " + inPath + ": " + input.lastError());
        if (got == 0)
        {
            cutShort = cutShort || input.endedShort(done);
            break;
        }
        const int frames = static_cast<int>(got);
        for (int n = 0; n < frames; ++n)
            for (int c = 0; c < channels; ++c)
                in[c][n] = interleaved[static_cast<std::size_t>(n) * channels + c];
        if (!plugin->render(inPointers.data(), outPointers.data(), frames))
            throw Failure{"the plug-in failed to render " + inPath};
        for (int n = 0; n < frames; ++n)
            for (int c = 0; c < channels; ++c)
                interleaved[static_cast<std::size_t>(n) * channels + c] = out[c][n];
        if (sound.clipsOvers())
            clipped.add(interleaved.data(), static_cast<std::size_t>(frames) * channels);
        if (!sound.write(interleaved.data(), frames, error))
            failUnlessStopped("could not write " + outPath + ": " + error);

        done += frames;
        sinceIdle += frames;
        if (sinceIdle >= idleFrames)
        {
            plugin->idle();
            sinceIdle = 0;
        }
        progress.update(done);
    }
    endProgressLine();
    plugin->idle();
    stopIfSignalled();

    if (!sound.close(error))
        throw Failure{"could not write " + outPath + ": " + error};
    if (!output.commit(error))
        throw Failure{error};

    if (damaged)
    {
        // a FLAC written to a pipe, or an MP3 without a length header, does not say how long it is: the largest count
        char length[48] = "";
        if (total != SF_COUNT_MAX)
            std::snprintf(length, sizeof length, " of %.1f s", static_cast<double>(total) / info.samplerate);
        std::fprintf(stderr, "aubrevane-host: %s is damaged: decoding stopped at %.1f s%s; the rest was not rendered\n",
                     inPath.c_str(), static_cast<double>(done) / info.samplerate, length);
    }
    if (cutShort)
        std::fprintf(stderr,
                     "aubrevane-host: %s holds less audio than its header says; rendered the %lld frames it "
                     "holds\n",
                     inPath.c_str(), static_cast<long long>(done));
    if (learnDropped)
        std::fprintf(stderr, "aubrevane-host: learning from %s did not start: Bypass is on; the target is unchanged\n",
                     inPath.c_str());
    else if (options.learn && product->isLearningFromInput())
        std::fprintf(stderr,
                     "aubrevane-host: learning from %s did not finish: the input was above the Analysis Threshold "
                     "for less than 3 seconds; the target is unchanged\n",
                     inPath.c_str());
    if (format->samplesMayChange)
        std::fprintf(stderr, "aubrevane-host: %s holds %s, not the %s of %s; samples may change\n", outPath.c_str(),
                     aubrevane::host::describeSamples(format->info.format).c_str(),
                     aubrevane::host::describeSamples(info.format).c_str(), inPath.c_str());
    if (clipped.count > 0)
        std::fprintf(stderr,
                     "aubrevane-host: %lld samples clipped in %s (peak %+.1f dBFS); lower Output (--set Output=-N) "
                     "or render to a float file\n",
                     static_cast<long long>(clipped.count), outPath.c_str(), 20.0 * std::log10(clipped.peak));

    stopIfSignalled(outPath);
    if (options.saveTarget && !product->saveTarget(*options.saveTarget, error))
        throw Failure{"the output was written, but the target was not saved: " + error};
    stopIfSignalled(outPath);
    if (options.savePreset && !product->savePreset(*options.savePreset, error))
        throw Failure{"the output was written, but the preset was not saved: " + error};
    stopIfSignalled(outPath);
    if (options.stateOut)
    {
        std::vector<std::uint8_t> state;
        if (!plugin->saveState(state))
            throw Failure{"the output was written, but the state was not saved: the plug-in gave no state"};
        if (!stateOutput.writeWhole(std::string(state.begin(), state.end()), error))
            throw Failure{"the output was written, but the state was not saved: " + error};
    }

    plugin->printMessageBoxes();
    std::printf("rendered %s -> %s: %lld frames, %d channel%s at %d Hz, block %d\n", inPath.c_str(), outPath.c_str(),
                static_cast<long long>(done), channels, channels == 1 ? "" : "s", info.samplerate, block);
    if (product)
        std::printf("status: %s\n", product->statusLine().c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // A file size limit then fails the write with EFBIG, which is reported and cleaned up like any failed write,
    // instead of killing the host with its partial output left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    if (argc >= 2 && std::strcmp(argv[1], "editor") == 0)
        return aubrevane::host::runEditorCommand({argv + 2, argv + argc}, argv[0]);
    try
    {
        const Options options = parseOptions(argc, argv);
        if (options.help)
        {
            std::fputs(usage(options.command).c_str(), stdout);
            return 0;
        }
        if (options.command == "render")
            return render(options, argv[0]);
        auto plugin = loadPlugin(options, argv[0]);
        if (options.command == "params")
        {
            printParams(*plugin);
            return 0;
        }
        auto product = attachProduct(*plugin);
        if (options.command == "targets" || options.command == "presets")
            for (const std::string& name :
                 options.command == "targets" ? product->targetNames() : product->presetNames())
                std::printf("%s\n", name.c_str());
        else if (options.command == "status")
            std::printf("%s\n", product->statusLine().c_str());
        else
        {
            std::string line, error;
            if (!product->checkForUpdates(line, error))
                throw Failure{error};
            std::printf("%s\n", line.c_str());
        }
        return 0;
    }
    catch (const Interrupted& interrupted)
    {
        endProgressLine();
        std::fprintf(stderr, "aubrevane-host: %s\n", interrupted.message.c_str());
        return 128 + interrupted.signal;
    }
    catch (const Failure& failure)
    {
        endProgressLine();
        std::fprintf(stderr, "aubrevane-host: %s\n", failure.message.c_str());
        if (failure.message.rfind("no command", 0) == 0)
            std::fputs(usage({}).c_str(), stderr);
        return 1;
    }
    catch (const std::exception& exception)
    {
        endProgressLine();
        std::fprintf(stderr, "aubrevane-host: %s\n", exception.what());
        return 1;
    }
}
