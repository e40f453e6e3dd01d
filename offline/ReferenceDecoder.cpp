#include "offline/ReferenceDecoder.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
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

bool containerAccepts(Container container, int format)
{
    const int major = format & SF_FORMAT_TYPEMASK;
    switch (container)
    {
    case Container::WaveOrAiff:
        return major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX || major == SF_FORMAT_RF64 ||
               major == SF_FORMAT_W64 || major == SF_FORMAT_AIFF;
    case Container::Mp3:
        return major == SF_FORMAT_MPEG;
    case Container::Flac:
        return major == SF_FORMAT_FLAC;
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

/** libsndfile reads through these callbacks, so it never opens anything itself and never sees a FIFO. */
struct DescriptorSource
{
    int descriptor = -1;

    static sf_count_t length(void* user)
    {
        struct stat status
        {
        };
        if (fstat(static_cast<DescriptorSource*>(user)->descriptor, &status) != 0)
            return -1;
        return static_cast<sf_count_t>(status.st_size);
    }
    static sf_count_t seek(sf_count_t offset, int whence, void* user)
    {
        return static_cast<sf_count_t>(lseek(static_cast<DescriptorSource*>(user)->descriptor, offset, whence));
    }
    static sf_count_t read(void* destination, sf_count_t count, void* user)
    {
        const int descriptor = static_cast<DescriptorSource*>(user)->descriptor;
        sf_count_t done = 0;
        while (done < count)
        {
            const ssize_t got =
                ::read(descriptor, static_cast<char*>(destination) + done, static_cast<std::size_t>(count - done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            done += got;
        }
        return done;
    }
    static sf_count_t write(const void*, sf_count_t, void*) { return 0; }
    static sf_count_t tell(void* user)
    {
        return static_cast<sf_count_t>(lseek(static_cast<DescriptorSource*>(user)->descriptor, 0, SEEK_CUR));
    }
};

struct MemorySource
{
    const unsigned char* data = nullptr;
    sf_count_t size = 0;
    sf_count_t position = 0;

    static sf_count_t length(void* user) { return static_cast<MemorySource*>(user)->size; }
    static sf_count_t seek(sf_count_t offset, int whence, void* user)
    {
        auto& source = *static_cast<MemorySource*>(user);
        sf_count_t base = 0;
        if (whence == SEEK_CUR)
            base = source.position;
        else if (whence == SEEK_END)
            base = source.size;
        else if (whence != SEEK_SET)
            return -1;
        if ((offset < 0 && -offset > base) || (offset > 0 && offset > std::numeric_limits<sf_count_t>::max() - base))
            return -1;
        source.position = base + offset;
        return source.position;
    }
    static sf_count_t read(void* destination, sf_count_t count, void* user)
    {
        auto& source = *static_cast<MemorySource*>(user);
        if (count <= 0 || source.position >= source.size)
            return 0;
        const sf_count_t n = std::min(count, source.size - source.position);
        std::memcpy(destination, source.data + source.position, static_cast<std::size_t>(n));
        source.position += n;
        return n;
    }
    static sf_count_t write(const void*, sf_count_t, void*) { return 0; }
    static sf_count_t tell(void* user) { return static_cast<MemorySource*>(user)->position; }
};

template <typename Source> SF_VIRTUAL_IO callbacksFor()
{
    return SF_VIRTUAL_IO{&Source::length, &Source::seek, &Source::read, &Source::write, &Source::tell};
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
 * Decodes through libsndfile in blocks of kDecodeBlockFrames frames, appending each frame's channel mean, until the
 * data ends or at least `limit` frames were read (the last block may overshoot; the caller trims).
 */
Outcome decodeThrough(SF_VIRTUAL_IO& io, void* user, Container container, DecodedAudio& audio, double maxSeconds,
                      const std::atomic<bool>* cancel)
{
    SF_INFO info{};
    const std::unique_ptr<SNDFILE, SoundFileCloser> file(sf_open_virtual(&io, SFM_READ, &info, user));
    if (!file || !containerAccepts(container, info.format) || info.channels <= 0 || info.samplerate <= 0)
        return Outcome::Failed;

    audio.sampleRate = static_cast<double>(info.samplerate);
    audio.channels = static_cast<std::uint32_t>(info.channels);
    const auto channels = static_cast<std::size_t>(info.channels);
    const std::uint64_t limit = frameLimit(maxSeconds, audio.sampleRate);

    // Reserve only what both the header and the limit allow, and never on the word of a header alone beyond 64M.
    if (info.frames > 0 && static_cast<std::uint64_t>(info.frames) <= (std::uint64_t{1} << 26))
        audio.samples.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(limit, info.frames)));

    std::vector<float> block(kDecodeBlockFrames * channels, 0.0f);
    std::uint64_t framesRead = 0;
    while (framesRead < limit)
    {
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed))
            return Outcome::Cancelled;
        const sf_count_t got = sf_readf_float(file.get(), block.data(), static_cast<sf_count_t>(kDecodeBlockFrames));
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

    const Outcome outcome = decodeOpened(container);
    if (outcome == Outcome::Cancelled)
    {
        message = kCancelledMessage;
        return false;
    }
    if (outcome == Outcome::Failed || audio.samples.empty() || !(audio.sampleRate > 0.0))
    {
        message = "could not read " + std::filesystem::path(path).filename().string();
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
    return decodeWith(path, audio, message, maxSeconds,
                      [&](Container container)
                      {
                          // Non-blocking, so a FIFO or a device named like a reference file neither blocks the open nor
                          // gets read.
                          DescriptorCloser opened{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
                          struct stat status
                          {
                          };
                          if (opened.descriptor < 0 || fstat(opened.descriptor, &status) != 0 ||
                              !S_ISREG(status.st_mode))
                              return Outcome::Failed;
                          DescriptorSource source{opened.descriptor};
                          SF_VIRTUAL_IO io = callbacksFor<DescriptorSource>();
                          return decodeThrough(io, &source, container, audio, maxSeconds, cancel);
                      });
}

bool decodeAudioMemory(const void* data, std::size_t size, const std::string& fileName, DecodedAudio& audio,
                       std::string& message, double maxSeconds, const std::atomic<bool>* cancel)
{
    return decodeWith(
        fileName, audio, message, maxSeconds,
        [&](Container container)
        {
            MemorySource source{static_cast<const unsigned char*>(data), static_cast<sf_count_t>(size), 0};
            if (data == nullptr)
                source.size = 0;
            SF_VIRTUAL_IO io = callbacksFor<MemorySource>();
            return decodeThrough(io, &source, container, audio, maxSeconds, cancel);
        });
}

} // namespace aubrevane::offline
