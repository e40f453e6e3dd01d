#pragma once

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace aubrevane::host
{

class HostedPlugin;

/**
 * Plays a sound file through the plug-in in a loop at real-time pace on an audio thread of its own, as a host's
 * transport would, so the editor's meters, spectrum and correction move. The output is discarded. The file is read
 * whole before the thread starts, so the thread only copies, renders and sleeps.
 */
class LoopPlayer
{
public:
    static constexpr int kBlockFrames = 512;

    /** Main thread: reads `path` (mono or stereo); false with a lower-case message when it cannot. */
    [[nodiscard]] bool load(const std::filesystem::path& path, std::string& error);
    int channels() const { return static_cast<int>(samples.size()); }
    int sampleRate() const { return rate; }

    /** Main thread, after the plug-in was initialised for sampleRate(), kBlockFrames and channels(). */
    void start(HostedPlugin& plugin);
    /** Main thread: stops and joins the audio thread; nothing when it never started. */
    void stop();
    ~LoopPlayer() { stop(); }

private:
    void play(HostedPlugin& plugin); // audio thread

    std::vector<std::vector<double>> samples; // per channel, the whole file
    int rate = 0;
    std::atomic<bool> stopRequested{false};
    std::thread thread;
};

} // namespace aubrevane::host
