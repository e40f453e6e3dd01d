#include "host/EditorCommand.h"

#include "framework/IPlugAPIBase.h"
#include "host/HostedPlugin.h"
#include "host/OutputFile.h"
#include "host/ProductOperations.h"
#include "host/SoundFile.h"
#include "host/StateFile.h"
#include "plugin/ProductInterface.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <exception>
#include <filesystem>
#include <memory>
#include <thread>

namespace aubrevane::host
{
namespace
{

using aubrevane::plugin::ProductInterface;
using EditorView = iplug::igraphics::IEditorView;
using MenuItem = iplug::igraphics::IEditorView::MenuItem;

constexpr double kSilentRate = 48000.0; // the rate the editor runs at when no file is played
constexpr int kBlockFrames = 512;
constexpr double kIdleSeconds = iplug::IPlugAPIBase::kIdleIntervalMs / 1000.0; // as a host's timer calls it
constexpr double kSilenceSeconds = 0.1; // lets the audio thread take what the steps asked for
constexpr int kSettleTicks = 3;         // idle ticks before the picture, so every reading has arrived
constexpr double kAnalysisTimeoutSeconds = 120.0;
constexpr int kDragMoves = 8; // a scripted drag arrives as this many mouse moves

struct Failure
{
    std::string message;
};

const char* const kEditorUsage =
    "usage: aubrevane-host editor --png OUT.png [--scale S] [--state FILE] [--save-state FILE] [--play IN.wav]\n"
    "                             [--click X,Y ...] [--drag X,Y,DX,DY ...] [--choose TEXT ...] [--type TEXT]\n"
    "                             [--file PATH] [--yes] [--plugin BUNDLE]\n"
    "       aubrevane-host editor --window [--play IN.wav] [--state FILE] [--scale S] [--yes] [--plugin BUNDLE]\n"
    "Steps run in the order given; X and Y are editor units (720 x 532). --choose picks the first item of the open\n"
    "menu whose text starts with TEXT; --file answers the next file dialog; questions are answered No unless --yes.\n";

/** "X,Y" or "X,Y,DX,DY": exactly `count` finite numbers. */
bool parseNumbers(const std::string& text, std::size_t count, std::vector<float>& numbers)
{
    numbers.clear();
    const char* cursor = text.c_str();
    while (numbers.size() < count)
    {
        char* end = nullptr;
        const float value = std::strtof(cursor, &end);
        if (end == cursor || !std::isfinite(value))
            return false;
        numbers.push_back(value);
        cursor = end;
        if (*cursor == ',' && numbers.size() < count)
            ++cursor;
        else
            break;
    }
    return numbers.size() == count && *cursor == '\0';
}

std::unique_ptr<HostedPlugin> loadPlugin(const EditorOptions& options, const char* argv0)
{
    std::string error;
    auto plugin = HostedPlugin::load(bundlePath(options.bundle, argv0), error);
    if (!plugin)
        throw Failure{error};
    plugin->answerQuestionsYes(options.yes);
    return plugin;
}

/** The hosted instance with its editor open, driven as a user and a host would drive it. */
class EditorSession
{
public:
    EditorSession(const EditorOptions& options, const char* argv0)
        : options(options), plugin(loadPlugin(options, argv0))
    {
        product = plugin->hostInterface<ProductInterface>();
        if (product == nullptr)
            throw Failure{"the editor needs the Aubrevane bundle the host was built with"};
    }

    ~EditorSession()
    {
        if (editorOpen)
            plugin->closeEditor();
    }

    EditorSession(const EditorSession&) = delete;
    EditorSession& operator=(const EditorSession&) = delete;

    void run()
    {
        std::string error;
        if ((options.stateOut && !stateOutput.prepare(*options.stateOut, error)) ||
            (options.png && !pictureOutput.prepare(*options.png, error)))
            throw Failure{error};
        restoreState();
        prepareAudio();
        if (!plugin->openEditor() || !product->editor().isOpen())
            throw Failure{"the plug-in could not open its editor"};
        editorOpen = true;
        // File dialogs take the --file answers in order; one without an answer waiting is cancelled.
        plugin->answerFileDialogs(
            [this](std::string& path)
            {
                if (fileAnswers.empty())
                    return false;
                path = std::filesystem::absolute(fileAnswers.front()->text).string();
                fileAnswers.pop_front();
                return true;
            });
        if (options.scale)
            product->editor().setScale(*options.scale);
        settle();

        for (const EditorStep& step : options.steps)
        {
            perform(step);
            settle();
        }
        if (!fileAnswers.empty())
            throw Failure{"no file dialog opened for --file " + fileAnswers.front()->text};
        waitForAnalysis();
        playThrough();
        for (int tick = 0; tick < kSettleTicks; ++tick)
            settle();

        savePictureAndState();
        report();
    }

private:
    EditorView& ui() const
    {
        EditorView& view = product->editor();
        if (!view.isOpen())
            throw Failure{"the editor closed"};
        return view;
    }

    /** What the user sees between two actions: the timer has ticked and a frame was drawn. */
    void settle()
    {
        plugin->idle();
        product->editor().drawFrame();
    }

    void restoreState()
    {
        if (!options.stateIn)
            return;
        std::string error;
        if (!restoreStateFile(*plugin, *options.stateIn, error))
            throw Failure{error};
    }

    void prepareAudio()
    {
        double rate = kSilentRate;
        channels = 2;
        if (options.play)
        {
            std::string error;
            if (!sound.openRead(*options.play, error))
                throw Failure{error};
            if (sound.info().channels != 1 && sound.info().channels != 2)
                throw Failure{*options.play + " has " + std::to_string(sound.info().channels) +
                              " channels; only mono and stereo files can be played"};
            rate = sound.info().samplerate;
            channels = sound.info().channels;
        }
        sampleRate = rate;
        std::string error;
        if (!plugin->initialise(rate, kBlockFrames, channels, channels, error))
            throw Failure{error};
    }

    void perform(const EditorStep& step)
    {
        EditorView& g = ui();
        switch (step.kind)
        {
        case EditorStep::Kind::Click:
            openMenuPath.clear();
            g.mouseOver(step.x, step.y);
            g.mouseDown(step.x, step.y);
            g.mouseUp(step.x, step.y);
            break;
        case EditorStep::Kind::Drag:
        {
            openMenuPath.clear();
            g.mouseOver(step.x, step.y);
            g.mouseDown(step.x, step.y);
            const float stepX = step.dx / kDragMoves, stepY = step.dy / kDragMoves;
            for (int move = 1; move <= kDragMoves; ++move)
                g.mouseDrag(step.x + stepX * move, step.y + stepY * move, stepX, stepY);
            g.mouseUp(step.x + step.dx, step.y + step.dy);
            break;
        }
        case EditorStep::Kind::Choose:
            choose(g, step.text);
            break;
        case EditorStep::Kind::Type:
            openMenuPath.clear();
            if (!g.pendingTextEntry())
                throw Failure{"no text entry is open for --type " + step.text};
            g.commitTextEntry(step.text);
            break;
        case EditorStep::Kind::File:
            fileAnswers.push_back(&step);
            break;
        }
    }

    void choose(EditorView& g, const std::string& text)
    {
        const auto pending = g.pendingMenu();
        if (!pending)
            throw Failure{"no menu is open for --choose " + text};
        const std::vector<MenuItem>* menu = &*pending;
        for (const int index : openMenuPath)
            menu = &(*menu)[static_cast<std::size_t>(index)].submenu;
        std::string offered;
        for (std::size_t i = 0; i < menu->size(); ++i)
        {
            const MenuItem& item = (*menu)[i];
            if (item.separator)
                continue;
            const std::string& itemText = item.text;
            if (itemText.compare(0, text.size(), text) != 0)
            {
                offered += (offered.empty() ? "" : ", ") + itemText;
                continue;
            }
            std::vector<int> path = openMenuPath;
            path.push_back(static_cast<int>(i));
            if (item.hasSubmenu)
                openMenuPath = path; // the submenu opens; the next --choose picks from it
            else if (!g.selectMenuItem(path))
                throw Failure{"the menu item \"" + itemText + "\" cannot be chosen now"};
            else
                openMenuPath.clear();
            return;
        }
        throw Failure{"no item of the open menu starts with \"" + text + "\" (it offers " + offered + ")"};
    }

    void waitForAnalysis()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(kAnalysisTimeoutSeconds);
        while (product->learning() == ProductInterface::Learning::kAnalysing)
        {
            if (std::chrono::steady_clock::now() > deadline)
                throw Failure{"the reference analysis did not finish"};
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    /** Runs the file (or a short silence) through the plug-in, with the idle tick every 20 ms of audio. */
    void playThrough()
    {
        std::vector<double> interleaved(static_cast<std::size_t>(kBlockFrames) * channels, 0.0);
        std::vector<std::vector<double>> in(channels, std::vector<double>(kBlockFrames)), out(in);
        std::vector<double*> inPointers, outPointers;
        for (int c = 0; c < channels; ++c)
        {
            inPointers.push_back(in[c].data());
            outPointers.push_back(out[c].data());
        }
        auto silentFrames = static_cast<std::int64_t>(kSilenceSeconds * sampleRate);
        const auto idleFrames = static_cast<std::int64_t>(kIdleSeconds * sampleRate);
        std::int64_t sinceIdle = 0;
        for (;;)
        {
            std::int64_t got = 0;
            if (options.play)
            {
                got = sound.read(interleaved.data(), kBlockFrames);
                if (got < 0)
                    throw Failure{"could not read " + *options.play + ": " + sound.lastError()};
            }
            else
            {
                got = std::min<std::int64_t>(kBlockFrames, silentFrames);
                silentFrames -= got;
            }
            if (got == 0)
                break;
            for (std::int64_t n = 0; n < got; ++n)
                for (int c = 0; c < channels; ++c)
                    in[c][n] = interleaved[static_cast<std::size_t>(n) * channels + c];
            if (!plugin->render(inPointers.data(), outPointers.data(), static_cast<int>(got)))
                throw Failure{"the plug-in failed to render"};
            sinceIdle += got;
            if (sinceIdle >= idleFrames)
            {
                plugin->idle();
                sinceIdle = 0;
            }
        }
    }

    /** The picture is written before the state and put in place after it, so a picture that cannot be written
     *  leaves the state unsaved too. */
    void savePictureAndState()
    {
        EditorView& g = ui();
        std::string picture, error;
        if (!g.picturePNG(picture))
            throw Failure{"could not draw the picture for " + *options.png};
        const std::string stateNote =
            options.stateOut ? "; --save-state " + *options.stateOut + " was not written" : std::string();
        if (!pictureOutput.writeBytes(picture, error))
            throw Failure{error + stateNote};
        if (options.stateOut)
        {
            std::vector<std::uint8_t> state;
            if (!plugin->saveState(state))
                throw Failure{"could not take the plug-in's state; nothing was written"};
            if (!stateOutput.writeWhole(std::string(state.begin(), state.end()), error))
                throw Failure{error + "; --png " + *options.png + " was not written"};
        }
        if (!pictureOutput.commit(error))
            throw Failure{error + (options.stateOut ? "; --save-state " + *options.stateOut + " was written" : "")};
    }

    void report()
    {
        EditorView& g = ui();
        std::printf("%s\n", product->statusLine().c_str());
        for (const ShownMessageBox& box : plugin->takeMessageBoxes())
            std::printf("message: %s: %s%s\n", box.title.c_str(), box.text.c_str(),
                        !box.question     ? ""
                        : box.answeredYes ? " [answered Yes]"
                                          : " [answered No]");
        if (const std::string reason = learningFailure(*product); !reason.empty())
            std::printf("learning failed: %s\n", reason.c_str());
        for (const std::string& link : g.openedLinks())
            std::printf("link: %s\n", link.c_str());
        if (const auto entry = g.pendingTextEntry())
            std::printf("text entry: %s\n", entry->c_str());
        if (const auto menu = g.pendingMenu())
        {
            std::printf("menu:\n");
            printMenu(*menu, 1);
        }
    }

    static void printMenu(const std::vector<MenuItem>& menu, int depth)
    {
        const std::string indent(static_cast<std::size_t>(2 * depth), ' ');
        for (const MenuItem& item : menu)
        {
            if (item.separator)
            {
                std::printf("%s----\n", indent.c_str());
                continue;
            }
            std::printf("%s%s%s%s%s\n", indent.c_str(), item.text.c_str(), item.checked ? " [ticked]" : "",
                        item.enabled ? "" : " [disabled]", item.hasSubmenu ? " >" : "");
            if (item.hasSubmenu)
                printMenu(item.submenu, depth + 1);
        }
    }

    const EditorOptions& options;
    OutputFile stateOutput, pictureOutput;
    std::unique_ptr<HostedPlugin> plugin;
    ProductInterface* product = nullptr;
    bool editorOpen = false;
    SoundFile sound;
    double sampleRate = kSilentRate;
    int channels = 2;
    std::vector<int> openMenuPath;             // the submenus opened by --choose in the pending menu
    std::deque<const EditorStep*> fileAnswers; // --file steps no file dialog has taken yet
};

} // namespace

std::optional<EditorOptions> parseEditorOptions(const std::vector<std::string>& arguments, std::string& error)
{
    EditorOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i)
    {
        const std::string& argument = arguments[i];
        const auto value = [&]() -> const std::string*
        {
            if (i + 1 >= arguments.size())
            {
                error = argument + " needs a value";
                return nullptr;
            }
            return &arguments[++i];
        };
        const auto numbers = [&](std::size_t count, const char* form) -> std::optional<std::vector<float>>
        {
            const std::string* text = value();
            std::vector<float> parsed;
            if (text == nullptr)
                return std::nullopt;
            if (!parseNumbers(*text, count, parsed))
            {
                error = argument + " takes " + form + ", not " + *text;
                return std::nullopt;
            }
            return parsed;
        };
        const auto into = [&](std::optional<std::string>& field)
        {
            const std::string* text = value();
            if (text != nullptr)
                field = *text;
            return text != nullptr;
        };
        const auto textStep = [&](EditorStep::Kind kind)
        {
            const std::string* text = value();
            if (text != nullptr)
                options.steps.push_back({kind, 0.0f, 0.0f, 0.0f, 0.0f, *text});
            return text != nullptr;
        };

        if (argument == "--help" || argument == "-h")
        {
            options.help = true;
            return options;
        }
        bool ok = true;
        if (argument == "--png")
            ok = into(options.png);
        else if (argument == "--state")
            ok = into(options.stateIn);
        else if (argument == "--save-state")
            ok = into(options.stateOut);
        else if (argument == "--play")
            ok = into(options.play);
        else if (argument == "--plugin")
            ok = into(options.bundle);
        else if (argument == "--yes")
            options.yes = true;
        else if (argument == "--window")
            options.window = true;
        else if (argument == "--scale")
        {
            const auto scale = numbers(1, "a number such as 1.5");
            ok = scale && (*scale)[0] > 0.0f;
            if (ok)
                options.scale = (*scale)[0];
            else if (scale)
                error = "--scale takes a number above 0";
        }
        else if (argument == "--click")
        {
            const auto point = numbers(2, "X,Y");
            ok = point.has_value();
            if (ok)
                options.steps.push_back({EditorStep::Kind::Click, (*point)[0], (*point)[1], 0.0f, 0.0f, {}});
        }
        else if (argument == "--drag")
        {
            const auto drag = numbers(4, "X,Y,DX,DY");
            ok = drag.has_value();
            if (ok)
                options.steps.push_back({EditorStep::Kind::Drag, (*drag)[0], (*drag)[1], (*drag)[2], (*drag)[3], {}});
        }
        else if (argument == "--choose")
            ok = textStep(EditorStep::Kind::Choose);
        else if (argument == "--type")
            ok = textStep(EditorStep::Kind::Type);
        else if (argument == "--file")
            ok = textStep(EditorStep::Kind::File);
        else
        {
            error = "unknown option " + argument + " for editor";
            ok = false;
        }
        if (!ok)
            return std::nullopt;
    }
    if (options.bundle && options.bundle->empty())
        error = "the name given to --plugin is empty";
    else if (options.window && (options.png || options.stateOut || !options.steps.empty()))
        error = "editor --window takes only --play, --state, --scale, --yes and --plugin";
    else if (!options.window && !options.png)
        error = "editor needs --png OUT.png (or --window)";
    else
        return options;
    return std::nullopt;
}

int runEditorCommand(const std::vector<std::string>& arguments, const char* argv0)
{
    try
    {
        std::string error;
        const auto options = parseEditorOptions(arguments, error);
        if (!options)
        {
            std::fprintf(stderr, "aubrevane-host: %s\n%s", error.c_str(), kEditorUsage);
            return 1;
        }
        if (options->help)
        {
            std::fputs(kEditorUsage, stdout);
            return 0;
        }
        std::vector<NamedFile> written,
            read = {{bundleSource(options->bundle), bundlePath(options->bundle, argv0)}, hostProgram()};
        for (const auto& [option, path] : {std::pair{"--png", options->png}, {"--save-state", options->stateOut}})
            if (path)
                written.push_back({option, *path});
        for (const auto& [option, path] : {std::pair{"--state", options->stateIn}, {"--play", options->play}})
            if (path)
                read.push_back({option, *path});
        for (const EditorStep& step : options->steps)
            if (step.kind == EditorStep::Kind::File)
                read.push_back({"--file", step.text});
        if (!checkNoClash(written, read, error))
            throw Failure{error};
        if (options->window)
            return runEditorWindow(*options, argv0);
        EditorSession session(*options, argv0);
        session.run();
        return 0;
    }
    catch (const Failure& failure)
    {
        std::fprintf(stderr, "aubrevane-host: %s\n", failure.message.c_str());
    }
    catch (const std::exception& exception)
    {
        std::fprintf(stderr, "aubrevane-host: %s\n", exception.what());
    }
    return 1;
}

} // namespace aubrevane::host
