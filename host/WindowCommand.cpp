// `aubrevane-host editor --window`: the real editor in an X11 window, where a Mac host would embed its Cocoa view.
#include "host/WindowCommand.h"

#include "framework/IPlugAPIBase.h"
#include "host/EditorCommand.h"
#include "host/HostedPlugin.h"
#include "host/SoundFile.h"
#include "host/StateFile.h"
#include "plugin/ProductInterface.h"

#include <chrono>
#include <cstdio>

namespace aubrevane::host
{
namespace
{

constexpr double kSilentSampleRate = 48000.0; // without --play the plug-in still runs, at a common rate
constexpr int kSilentChannels = 2;
constexpr auto kResyncAfter = std::chrono::milliseconds(500); // a stalled thread skips ahead instead of racing

/** A failure the user sees as one line on stderr. */
int fail(const std::string& message)
{
    std::fprintf(stderr, "aubrevane-host: %s\n", message.c_str());
    return 1;
}

} // namespace

bool LoopPlayer::load(const std::filesystem::path& path, std::string& error)
{
    SoundFile file;
    if (!file.openRead(path, error))
        return false;
    const SF_INFO info = file.info();
    if (info.channels != 1 && info.channels != 2)
    {
        error = path.string() + " has " + std::to_string(info.channels) + " channels; only mono and stereo play";
        return false;
    }
    std::vector<double> interleaved(static_cast<std::size_t>(kBlockFrames) * info.channels);
    samples.assign(static_cast<std::size_t>(info.channels), {});
    for (;;)
    {
        const std::int64_t got = file.read(interleaved.data(), kBlockFrames);
        if (got < 0)
        {
            error = "could not read " + path.string() + ": " + file.lastError();
            return false;
        }
        if (got == 0)
            break;
        for (std::int64_t n = 0; n < got; ++n)
            for (int c = 0; c < info.channels; ++c)
                samples[static_cast<std::size_t>(c)].push_back(
                    interleaved[static_cast<std::size_t>(n * info.channels + c)]);
    }
    if (samples[0].empty())
    {
        error = path.string() + " holds no audio";
        return false;
    }
    rate = info.samplerate;
    return true;
}

void LoopPlayer::start(HostedPlugin& plugin)
{
    if (samples.empty() || thread.joinable())
        return;
    stopRequested = false;
    thread = std::thread([this, &plugin] { play(plugin); });
}

void LoopPlayer::stop()
{
    stopRequested = true;
    if (thread.joinable())
        thread.join();
}

void LoopPlayer::play(HostedPlugin& plugin)
{
    using Clock = std::chrono::steady_clock;
    const auto channelCount = samples.size();
    const std::size_t length = samples[0].size();
    std::vector<std::vector<double>> in(channelCount, std::vector<double>(kBlockFrames));
    std::vector<std::vector<double>> out(in);
    std::vector<double*> inPointers, outPointers;
    for (std::size_t c = 0; c < channelCount; ++c)
    {
        inPointers.push_back(in[c].data());
        outPointers.push_back(out[c].data());
    }

    std::size_t position = 0;
    std::int64_t framesPlayed = 0;
    auto start = Clock::now();
    while (!stopRequested.load())
    {
        for (int n = 0; n < kBlockFrames; ++n)
        {
            for (std::size_t c = 0; c < channelCount; ++c)
                in[c][static_cast<std::size_t>(n)] = samples[c][position];
            position = position + 1 < length ? position + 1 : 0; // the file loops without a gap
        }
        plugin.render(inPointers.data(), outPointers.data(), kBlockFrames);
        framesPlayed += kBlockFrames;
        const auto due = start + std::chrono::duration_cast<Clock::duration>(
                                     std::chrono::duration<double>(static_cast<double>(framesPlayed) / rate));
        const auto now = Clock::now();
        if (now - due > kResyncAfter)
        {
            start = now;
            framesPlayed = 0;
        }
        else
            std::this_thread::sleep_until(due);
    }
}

int runEditorWindow(const EditorOptions& options, const char* argv0)
{
    LoopPlayer player;
    std::string error;
    if (options.play && !player.load(*options.play, error))
        return fail(error);

    auto plugin = HostedPlugin::load(bundlePath(options.bundle, argv0), error);
    if (!plugin)
        return fail(error);
    if (options.stateIn && !restoreStateFile(*plugin, *options.stateIn, error))
        return fail(error);
    const bool playing = options.play.has_value();
    if (!plugin->initialise(playing ? player.sampleRate() : kSilentSampleRate, LoopPlayer::kBlockFrames,
                            playing ? player.channels() : kSilentChannels,
                            playing ? player.channels() : kSilentChannels, error))
        return fail(error);

    auto* product = plugin->hostInterface<aubrevane::plugin::ProductInterface>();
    if (product == nullptr)
        return fail("the editor needs the Aubrevane bundle the host was built with");
    iplug::igraphics::IEditorView& editor = product->editor();
    if (!plugin->openEditor() || !editor.isOpen())
        return fail("the plug-in could not open its editor");
    if (options.scale)
        editor.setScale(*options.scale);

    // The window answers the editor's questions itself, as the platform's own dialogs would, until it goes.
    auto window = editor.openWindow("Aubrevane", error);
    if (!window)
    {
        plugin->closeEditor();
        return fail(error);
    }

    // The update check's network step runs once beside the open window; the pill shows what it finds. Closing the
    // instance at the end stops a transfer still under way.
    plugin->startBackgroundWork();
    player.start(*plugin);
    window->run([](void* context) { static_cast<HostedPlugin*>(context)->idle(); }, plugin.get(),
                iplug::IPlugAPIBase::kIdleIntervalMs);
    player.stop();

    window.reset();
    plugin->closeEditor();
    return 0;
}

} // namespace aubrevane::host
