#include "host/SoundFile.h"

#include "offline/ByteSource.h"
#include "offline/ContentCheck.h"
#include "offline/Mp3Stream.h"
#include "wendlebrak/files/Files.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>
#include <string_view>

namespace aubrevane::host
{
namespace
{

using wendlebrak::files::asMessageReason;
using wendlebrak::files::systemReason;

/** What libsndfile noted while reading the header, one field a line. */
std::string headerLog(SNDFILE* file)
{
    std::string log(16384, '\0');
    sf_command(file, SFC_GET_LOG_INFO, log.data(), static_cast<int>(log.size()));
    return log.c_str();
}

/**
 * Whether libsndfile's header log says the audio chunk is longer than the file ("data : 576000 (should be 299956)"
 * in WAV and CAF, "SSND : ..." in AIFF). libsndfile then shortens the length it reports, so the log is the only
 * place the promise survives.
 */
bool logSaysCutShort(SNDFILE* file)
{
    std::istringstream lines(headerLog(file));
    for (std::string line; std::getline(lines, line);)
    {
        const auto start = line.find_first_not_of(' ');
        if (start == std::string::npos || line.find("(should be") == std::string::npos)
            continue;
        if (line.compare(start, 6, "data :") == 0 || line.compare(start, 6, "SSND :") == 0)
            return true;
    }
    return false;
}

// libsndfile's virtual I/O onto a written descriptor. The MP3 encoder drops the result of its own writes, so a full
// device or a size limit would pass unseen through sf_open_fd; here the first failure is kept with its errno, and
// nothing more is written after it.
SoundFile::Descriptor& descriptorOf(void* data)
{
    return *static_cast<SoundFile::Descriptor*>(data);
}

sf_count_t noteFailure(SoundFile::Descriptor& descriptor, int number)
{
    if (descriptor.failure == 0)
        descriptor.failure = number;
    return -1;
}

sf_count_t lengthOf(void* data)
{
    struct stat status
    {
    };
    return ::fstat(descriptorOf(data).number, &status) == 0 ? status.st_size : 0;
}

sf_count_t seekTo(sf_count_t offset, int whence, void* data)
{
    SoundFile::Descriptor& descriptor = descriptorOf(data);
    const off_t position = ::lseek(descriptor.number, offset, whence);
    return position < 0 ? noteFailure(descriptor, errno) : position;
}

sf_count_t readFrom(void* bytes, sf_count_t count, void* data)
{
    const ssize_t got = ::read(descriptorOf(data).number, bytes, static_cast<std::size_t>(count));
    return got < 0 ? 0 : got;
}

sf_count_t writeTo(const void* bytes, sf_count_t count, void* data)
{
    SoundFile::Descriptor& descriptor = descriptorOf(data);
    sf_count_t done = 0;
    while (descriptor.failure == 0 && done < count)
    {
        const ssize_t wrote =
            ::write(descriptor.number, static_cast<const char*>(bytes) + done, static_cast<std::size_t>(count - done));
        if (wrote < 0 && errno != EINTR)
            noteFailure(descriptor, errno);
        else if (wrote == 0)
            noteFailure(descriptor, EIO); // a device that takes nothing would never finish
        done += wrote > 0 ? wrote : 0;
    }
    return done;
}

sf_count_t positionOf(void* data)
{
    return seekTo(0, SEEK_CUR, data);
}

sigset_t stopSignals()
{
    sigset_t stops;
    sigemptyset(&stops);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&stops, signal);
    return stops;
}

// Read by a signal handler, so lock-free atomics. libsndfile (and any decoder) retries a read a signal broke off,
// so a stop cannot just interrupt the wait: the descriptor itself is made to read as ended.
std::atomic<int> stoppableInput{-1};
std::atomic<int> endedInput{-1}; // a pipe whose write end is closed; made once and kept
static_assert(std::atomic<int>::is_always_lock_free);

/**
 * Lets one signal end a read that waits on a pipe or a device: `descriptor`, open for reading, is replaced by an
 * ended pipe when endStoppableInput() runs (or now, when `stopSignal` is already raised), so the call waiting on it
 * returns and every later read finds the end, whichever decoder reads it. Regular files need none of this. Main
 * thread; at most one input at a time.
 */
void makeInputStoppable(int descriptor, const std::atomic<int>* stopSignal)
{
    if (endedInput.load() < 0)
    {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            return; // without one, a stalled writer still holds the read, as it would anyway
        ::close(ends[1]);
        endedInput.store(ends[0]);
    }
    stoppableInput.store(descriptor);
    // a stop handled before the line above found no input to end
    if (stopSignal != nullptr && stopSignal->load() != 0)
        endStoppableInput();
}

/** Undoes makeInputStoppable(); called before the descriptor closes, so a late signal cannot reach its number once
 *  it names another file. */
void releaseStoppableInput(int descriptor)
{
    // held back, so no handler on this thread runs between reading the number and replacing what it names
    const sigset_t stops = stopSignals();
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &stops, &previous);
    int expected = descriptor;
    stoppableInput.compare_exchange_strong(expected, -1);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

/**
 * The input's bytes through its descriptor, which it closes. A regular file seeks as it is; a stream (a named pipe)
 * keeps what it gave while the input is being recognised and opened, so the decoders may go back over its header, and
 * lets the kept bytes go once reading has passed them.
 */
class InputSource final : public aubrevane::offline::DescriptorSource
{
public:
    InputSource(int descriptor, bool regular) : DescriptorSource(descriptor), regular(regular) {}
    ~InputSource() override
    {
        releaseStoppableInput(descriptor);
        ::close(descriptor);
    }
    InputSource(const InputSource&) = delete;
    InputSource& operator=(const InputSource&) = delete;

    std::int64_t read(void* into, std::size_t count) override
    {
        if (regular)
            return DescriptorSource::read(into, count);
        auto* bytes = static_cast<char*>(into);
        std::size_t done = 0;
        if (position < streamed)
        {
            const auto keptFrom = streamed - static_cast<std::int64_t>(kept.size());
            done = std::min(count, static_cast<std::size_t>(streamed - position));
            std::memcpy(bytes, kept.data() + (position - keptFrom), done);
        }
        if (done < count)
        {
            const std::int64_t got = DescriptorSource::read(bytes + done, count - done);
            if (got < 0 && done == 0)
                return -1;
            if (got > 0)
            {
                if (keeping)
                    kept.append(bytes + done, static_cast<std::size_t>(got));
                streamed += got;
                done += static_cast<std::size_t>(got);
            }
        }
        position += static_cast<std::int64_t>(done);
        if (!keeping && position >= streamed && !kept.empty())
            std::string().swap(kept);
        return static_cast<std::int64_t>(done);
    }

    std::int64_t seek(std::int64_t offset, int whence) override
    {
        if (regular)
            return DescriptorSource::seek(offset, whence);
        const std::int64_t target = whence == SEEK_SET ? offset : whence == SEEK_CUR ? position + offset : -1;
        if (target < streamed - static_cast<std::int64_t>(kept.size()) || whence == SEEK_END)
            return -1;
        if (target <= streamed)
        {
            position = target;
            return position;
        }
        // forward past what came so far: read up to there
        position = streamed;
        char skipped[4096];
        while (position < target)
        {
            const std::int64_t got =
                read(skipped, static_cast<std::size_t>(std::min<std::int64_t>(sizeof skipped, target - position)));
            if (got <= 0)
                return -1;
        }
        return position;
    }

    std::int64_t length() override { return regular ? DescriptorSource::length() : -1; }

    /** The input is open: from here on a stream keeps nothing more. */
    void endKeeping() { keeping = false; }

private:
    const bool regular;
    bool keeping = true;
    std::string kept;                        // a stream's bytes from streamed - kept.size() to streamed
    std::int64_t position = 0, streamed = 0; // streamed: bytes the stream gave so far
};

/** libsndfile's reason without the heading some of its reasons carry ("Error : bad data offset"). */
std::string withoutHeading(std::string_view reason)
{
    const std::string_view heading = "Error : ";
    return std::string(reason.starts_with(heading) ? reason.substr(heading.size()) : reason);
}

/** Waits until a named pipe has a writer that wrote or left; false when `stopSignal` was raised first. The stop
 *  signals are held back from the check of the flag until the wait has begun, so one arriving in between still ends
 *  the wait. */
bool awaitWriter(int descriptor, const std::atomic<int>* stopSignal)
{
    const auto stopped = [&] { return stopSignal != nullptr && stopSignal->load() != 0; };
    const sigset_t stops = stopSignals();
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &stops, &previous);
    pollfd waiting{descriptor, POLLIN, 0};
    while (!stopped() && ::ppoll(&waiting, 1, nullptr, &previous) < 0 && errno == EINTR)
    {
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return !stopped();
}

} // namespace

void endStoppableInput() noexcept
{
    const int saved = errno;
    const int input = stoppableInput.load(), ended = endedInput.load();
    if (input >= 0 && ended >= 0)
        ::dup2(ended, input);
    errno = saved;
}

SoundFile::SoundFile() = default;

SoundFile::~SoundFile()
{
    if (file != nullptr)
        sf_close(file);
}

bool SoundFile::openRead(const std::filesystem::path& path, std::string& error, const std::atomic<int>* stopSignal)
{
    fileInfo = SF_INFO{};
    // without waiting for a named pipe's writer, which awaitWriter then does where a stop can end it
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
    {
        error = "could not read " + path.string() + ": " + systemReason(errno);
        return false;
    }
    struct stat status
    {
    };
    const bool known = ::fstat(descriptor, &status) == 0;
    const char* refusal = known && S_ISDIR(status.st_mode)                                            ? "it is a folder"
                          : known && S_ISFIFO(status.st_mode) && !awaitWriter(descriptor, stopSignal) ? "interrupted"
                                                                                                      : nullptr;
    if (refusal != nullptr)
    {
        ::close(descriptor);
        error = "could not read " + path.string() + ": " + refusal;
        return false;
    }
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    // a writer may stall anywhere in the header or the audio
    if (!known || !S_ISREG(status.st_mode))
        makeInputStoppable(descriptor, stopSignal);
    this->descriptor.number = descriptor;
    auto* input = new InputSource(descriptor, known && S_ISREG(status.st_mode));
    source.reset(input);
    // Read by the content alone, as the plug-in's reference decoder does, and never by name: given a name ending in
    // .mp3 libsndfile would hand any bytes to libmpg123, which then "decodes" a program or a text file. A format with
    // a marker of its own comes first, so that samples which happen to read as MPEG frames stay what they are.
    bool recognised = false;
    file = aubrevane::offline::openSoundFile(*source, fileInfo, recognised);
    if (file != nullptr)
        cutShort = logSaysCutShort(file);
    else if (!recognised && source->seek(0, SEEK_SET) == 0)
    {
        auto stream = std::make_unique<aubrevane::offline::Mp3Stream>();
        if (stream->open(*source))
        {
            mpeg = std::move(stream);
            fileInfo = SF_INFO{};
            fileInfo.samplerate = mpeg->sampleRate();
            fileInfo.channels = mpeg->channels();
            fileInfo.frames = mpeg->frames() >= 0 ? mpeg->frames() : SF_COUNT_MAX;
            fileInfo.format = SF_FORMAT_MPEG | (mpeg->layer() == 1   ? SF_FORMAT_MPEG_LAYER_I
                                                : mpeg->layer() == 2 ? SF_FORMAT_MPEG_LAYER_II
                                                                     : SF_FORMAT_MPEG_LAYER_III);
        }
    }
    input->endKeeping();
    if (file == nullptr && !mpeg)
    {
        error = "could not decode " + path.string() + ": " + (recognised ? lastError() : "format not recognised");
        return false;
    }
    return true;
}

bool SoundFile::openWrite(int written, const SF_INFO& like, std::string& error, const std::vector<int>& channelMap)
{
    fileInfo = SF_INFO{};
    fileInfo.samplerate = like.samplerate;
    fileInfo.channels = like.channels;
    fileInfo.format = like.format;
    descriptor = Descriptor{written};
    SF_VIRTUAL_IO io{lengthOf, seekTo, readFrom, writeTo, positionOf};
    file = sf_open_virtual(&io, SFM_WRITE, &fileInfo, &descriptor);
    if (file == nullptr)
    {
        error = failureReason();
        return false;
    }
    // The header is written again when the file is closed, with the positions of a format that stores them; the others
    // refuse them.
    if (static_cast<int>(channelMap.size()) == fileInfo.channels)
        sf_command(file, SFC_SET_CHANNEL_MAP_INFO, const_cast<int*>(channelMap.data()),
                   static_cast<int>(channelMap.size() * sizeof(int)));
    // Samples beyond full scale are clipped when the file holds integers, instead of wrapping around.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    return true;
}

std::int64_t SoundFile::read(double* interleaved, std::int64_t frames)
{
    if (mpeg)
    {
        decoded.resize(static_cast<std::size_t>(frames * fileInfo.channels));
        const std::int64_t got = mpeg->read(decoded.data(), frames);
        std::copy_n(decoded.begin(), std::max<std::int64_t>(got, 0) * fileInfo.channels, interleaved);
        return got;
    }
    const sf_count_t got = sf_readf_double(file, interleaved, frames);
    if (got == 0 && sf_error(file) != SF_ERR_NO_ERROR)
        return -1;
    return got;
}

bool SoundFile::write(const double* interleaved, std::int64_t frames, std::string& error)
{
    if (sf_writef_double(file, interleaved, frames) != frames || descriptor.failure != 0)
    {
        error = failureReason();
        return false;
    }
    return true;
}

bool SoundFile::close(std::string& error)
{
    if (file == nullptr)
        return true;
    // The encoders write their last frames and the headers their lengths here.
    const int result = sf_close(file);
    file = nullptr;
    // sf_error_number prints on stdout for a number outside its table, as sf_strerror does
    error = descriptor.failure != 0 ? systemReason(descriptor.failure)
            : result > 0            ? asMessageReason(sf_error_number(result))
            : result < 0            ? "the encoder could not complete the file"
                                    : std::string();
    struct stat status
    {
    };
    // a device such as /dev/null cannot be synced, and needs not be
    const bool regular = ::fstat(descriptor.number, &status) == 0 && S_ISREG(status.st_mode);
    if (error.empty() && regular && ::fsync(descriptor.number) != 0)
        error = systemReason(errno);
    return error.empty();
}

std::string SoundFile::failureReason() const
{
    if (descriptor.failure != 0)
        return systemReason(descriptor.failure);
    // sf_strerror prints on stdout for a number outside its table, such as the -1 of a failed Vorbis write
    if (file != nullptr && sf_error(file) < 0)
        return "the encoder could not write the file";
    return lastError();
}

bool SoundFile::hasUnreadBytes() const
{
    struct stat status
    {
    };
    const off_t position = ::lseek(descriptor.number, 0, SEEK_CUR);
    return position >= 0 && ::fstat(descriptor.number, &status) == 0 && position < status.st_size;
}

bool SoundFile::endedShort(std::int64_t framesRead) const
{
    // WAV, AIFF and FLAC are caught by isCutShort or a read error. For MPEG the length comes from libmpg123: exact
    // from a Xing or LAME header, estimated from the file size without one, so only a shortfall beyond libmpg123's
    // own 1% margin counts.
    const std::int64_t promised = fileInfo.frames;
    if ((fileInfo.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_MPEG || promised == SF_COUNT_MAX)
        return false;
    return promised - framesRead > promised / 100;
}

std::string SoundFile::lastError() const
{
    if (mpeg)
        return mpeg->lastError();
    return asMessageReason(withoutHeading(sf_strerror(file)));
}

std::vector<int> SoundFile::channelMap() const
{
    std::vector<int> positions(static_cast<std::size_t>(std::max(fileInfo.channels, 0)));
    if (file == nullptr || positions.empty() ||
        sf_command(file, SFC_GET_CHANNEL_MAP_INFO, positions.data(),
                   static_cast<int>(positions.size() * sizeof(int))) != SF_TRUE)
        return {};
    return positions;
}

bool SoundFile::isAifc() const
{
    // the log names the form on the line after FORM's size
    if (file == nullptr || (fileInfo.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_AIFF)
        return false;
    std::istringstream lines(headerLog(file));
    for (std::string line; std::getline(lines, line);)
        if (line == " AIFC")
            return true;
    return false;
}

bool SoundFile::clipsOvers() const
{
    switch (fileInfo.format & SF_FORMAT_SUBMASK)
    {
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
    case SF_FORMAT_VORBIS:
    case SF_FORMAT_OPUS:
    case SF_FORMAT_MPEG_LAYER_I:
    case SF_FORMAT_MPEG_LAYER_II:
    case SF_FORMAT_MPEG_LAYER_III:
        return false;
    default:
        return true;
    }
}

} // namespace aubrevane::host
