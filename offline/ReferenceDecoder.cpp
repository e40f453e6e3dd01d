#include "offline/ReferenceDecoder.h"

#include "offline/ByteSource.h"
#include "offline/ContentCheck.h"
#include "offline/Mp3Stream.h"
#include "wendlebrak/files/Files.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace aubrevane::offline
{
namespace
{

/** Which containers an extension admits; libsndfile recognises files by content, so the name is checked after. */
enum class Container
{
    None,
    WaveOrAiff,
    Mp3,
    Flac
};

/** The path's extension as std::filesystem splits it, with ASCII letters lowered (other bytes unchanged). */
std::string lowerExtension(const std::string& path)
{
    std::string extension = std::filesystem::path(path).filename().extension().string();
    for (char& c : extension)
    {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return extension;
}

Container containerForExtension(const std::string& extension)
{
    if (extension == ".wav" || extension == ".wave" || extension == ".aif" || extension == ".aiff" ||
        extension == ".aifc")
        return Container::WaveOrAiff;
    if (extension == ".mp3")
        return Container::Mp3;
    if (extension == ".flac")
        return Container::Flac;
    return Container::None;
}

/** Whether libsndfile's format is one the container admits; MPEG audio is decoded apart from libsndfile. */
bool containerAccepts(Container container, int format)
{
    const int major = format & SF_FORMAT_TYPEMASK;
    switch (container)
    {
    case Container::WaveOrAiff:
        return major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX || major == SF_FORMAT_RF64 ||
               major == SF_FORMAT_W64 || major == SF_FORMAT_AIFF;
    case Container::Flac:
        return major == SF_FORMAT_FLAC;
    case Container::Mp3:
    case Container::None:
        break;
    }
    return false;
}

/** maxSeconds x sampleRate truncated to whole frames; 0 for a negative or NaN duration. */
std::uint64_t frameLimit(double maxSeconds, double sampleRate)
{
    const double frames = maxSeconds * sampleRate;
    if (!(frames >= 1.0))
        return 0;
    if (frames >= 18446744073709549568.0) // the largest double below 2^64
        return std::numeric_limits<std::uint64_t>::max();
    return static_cast<std::uint64_t>(frames);
}

struct SoundFileCloser
{
    void operator()(SNDFILE* file) const noexcept { sf_close(file); }
};

struct DescriptorCloser
{
    int descriptor = -1;
    ~DescriptorCloser()
    {
        if (descriptor >= 0)
            ::close(descriptor);
    }
};

enum class Outcome
{
    Decoded,
    Failed,
    Cancelled
};

/**
 * Appends the channel mean of each frame that `readBlock` delivers, kDecodeBlockFrames frames at a time, until the
 * data ends or at least `limit` frames were read (the last block may overshoot; the caller trims).
 */
template <typename ReadBlock>
Outcome decodeBlocks(DecodedAudio& audio, std::int64_t framesPromised, double maxSeconds,
                     const std::atomic<bool>* cancel, ReadBlock&& readBlock)
{
    const auto channels = static_cast<std::size_t>(audio.channels);
    const std::uint64_t limit = frameLimit(maxSeconds, audio.sampleRate);

    // Reserve only what both the header and the limit allow, and never on the word of a header alone beyond 64M.
    if (framesPromised > 0 && static_cast<std::uint64_t>(framesPromised) <= (std::uint64_t{1} << 26))
        audio.samples.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(limit, framesPromised)));

    std::vector<float> block(kDecodeBlockFrames * channels, 0.0f);
    std::uint64_t framesRead = 0;
    while (framesRead < limit)
    {
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed))
            return Outcome::Cancelled;
        const std::int64_t got = readBlock(block.data(), static_cast<std::int64_t>(kDecodeBlockFrames));
        if (got <= 0)
            break;
        const std::size_t appended = audio.samples.size();
        audio.samples.resize(appended + static_cast<std::size_t>(got));
        float* mix = audio.samples.data() + appended;
        for (std::size_t frame = 0; frame < static_cast<std::size_t>(got); ++frame)
        {
            const float* values = block.data() + frame * channels;
            double sum = 0.0;
            for (std::size_t c = 0; c < channels; ++c)
                sum += std::isfinite(values[c]) ? static_cast<double>(values[c]) : 0.0;
            mix[frame] = static_cast<float>(sum / static_cast<double>(channels));
        }
        framesRead += static_cast<std::uint64_t>(got);
    }
    return audio.samples.empty() ? Outcome::Failed : Outcome::Decoded;
}

/** Decodes the source as the container its extension names: MP3 through libmpg123, the others through libsndfile. */
Outcome decodeThrough(ByteSource& source, Container container, DecodedAudio& audio, double maxSeconds,
                      const std::atomic<bool>* cancel)
{
    if (container == Container::Mp3)
    {
        Mp3Stream stream;
        if (!stream.open(source))
            return Outcome::Failed;
        audio.sampleRate = static_cast<double>(stream.sampleRate());
        audio.channels = static_cast<std::uint32_t>(stream.channels());
        return decodeBlocks(audio, stream.frames(), maxSeconds, cancel,
                            [&](float* block, std::int64_t frames) { return stream.read(block, frames); });
    }

    SF_INFO info{};
    bool recognised = false;
    const std::unique_ptr<SNDFILE, SoundFileCloser> file(openSoundFile(source, info, recognised));
    if (!file || !containerAccepts(container, info.format) || info.channels <= 0 || info.samplerate <= 0)
        return Outcome::Failed;
    audio.sampleRate = static_cast<double>(info.samplerate);
    audio.channels = static_cast<std::uint32_t>(info.channels);
    return decodeBlocks(audio, info.frames, maxSeconds, cancel,
                        [&](float* block, std::int64_t frames)
                        { return std::int64_t{sf_readf_float(file.get(), block, frames)}; });
}

/** The steps every entry point shares once it knows how to reach the bytes. */
template <typename Open>
bool decodeWith(const std::string& path, DecodedAudio& audio, std::string& message, double maxSeconds,
                Open&& decodeOpened)
{
    std::vector<float>().swap(audio.samples);
    audio.sampleRate = 0.0;
    audio.channels = 0;

    const std::string extension = lowerExtension(path);
    const Container container = containerForExtension(extension);
    if (container == Container::None)
    {
        message = "unsupported file type " + extension + " (WAV, AIFF, MP3 or FLAC)";
        return false;
    }

    std::string reason; // why the file could not be opened, where the system says
    const Outcome outcome = decodeOpened(container, reason);
    if (outcome == Outcome::Cancelled)
    {
        message = kCancelledMessage;
        return false;
    }
    if (outcome == Outcome::Failed || audio.samples.empty() || !(audio.sampleRate > 0.0))
    {
        message =
            "could not read " + std::filesystem::path(path).filename().string() + (reason.empty() ? "" : ": " + reason);
        return false;
    }

    const std::uint64_t limit = frameLimit(maxSeconds, audio.sampleRate);
    if (audio.samples.size() > limit)
        audio.samples.resize(static_cast<std::size_t>(limit));
    return true;
}

} // namespace

bool isReferenceFileName(const std::string& fileName)
{
    return containerForExtension(lowerExtension(fileName)) != Container::None;
}

bool decodeAudioFile(const std::string& path, DecodedAudio& audio, std::string& message, double maxSeconds,
                     const std::atomic<bool>* cancel)
{
    // a folder is named as one, whatever its name ends in
    struct stat named
    {
    };
    if (::stat(path.c_str(), &named) == 0 && S_ISDIR(named.st_mode))
    {
        std::vector<float>().swap(audio.samples);
        audio.sampleRate = 0.0;
        audio.channels = 0;
        message = "could not read " + std::filesystem::path(path).filename().string() + ": it is a folder";
        return false;
    }
    return decodeWith(path, audio, message, maxSeconds,
                      [&](Container container, std::string& reason)
                      {
                          // Non-blocking, so a FIFO or a device named like a reference file neither blocks the open nor
                          // gets read.
                          DescriptorCloser opened{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
                          if (opened.descriptor < 0)
                              reason = wendlebrak::files::systemReason(errno);
                          struct stat status
                          {
                          };
                          if (opened.descriptor < 0 || fstat(opened.descriptor, &status) != 0 ||
                              !S_ISREG(status.st_mode))
                              return Outcome::Failed;
                          DescriptorSource source{opened.descriptor};
                          return decodeThrough(source, container, audio, maxSeconds, cancel);
                      });
}

bool decodeAudioMemory(const void* data, std::size_t size, const std::string& fileName, DecodedAudio& audio,
                       std::string& message, double maxSeconds, const std::atomic<bool>* cancel)
{
    return decodeWith(fileName, audio, message, maxSeconds,
                      [&](Container container, std::string&)
                      {
                          MemorySource source{data, size};
                          return decodeThrough(source, container, audio, maxSeconds, cancel);
                      });
}

} // namespace aubrevane::offline
