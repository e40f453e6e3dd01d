#pragma once

#include <sndfile.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace aubrevane::offline
{
class ByteSource;
class Mp3Stream;
} // namespace aubrevane::offline

namespace aubrevane::host
{

/** For the handler of a stop signal (async-signal-safe): the stoppable input, if any, reads as ended from now on. */
void endStoppableInput() noexcept;

/** An audio file open for reading or writing through libsndfile (MPEG audio is read through libmpg123, from its
 *  first frame); closed when destroyed. */
class SoundFile
{
public:
    SoundFile();
    ~SoundFile();
    SoundFile(const SoundFile&) = delete;
    SoundFile& operator=(const SoundFile&) = delete;

    /** A named pipe is waited on until its writer writes or leaves, or until `stopSignal` (set by a handler of SIGINT,
     *  SIGTERM or SIGHUP) is raised; the message then ends in "interrupted". A pipe or device is read as a stoppable
     *  input, so a writer that stalls later, within the header or the audio, cannot hold a
     *  stopped read either. Only the input is opened and read: what libsndfile does not recognise by its content is
     *  refused before libsndfile would look for other files. */
    [[nodiscard]] bool openRead(const std::filesystem::path& path, std::string& error,
                                const std::atomic<int>* stopSignal = nullptr);
    /** Writes into the open `written` (the caller's, which closes it) with the channel count, rate and format of
     *  `like`; false with libsndfile's reason (a format it cannot write). Every byte goes through this object, so a
     *  failed write fails write() or close() with the system's reason, also where the encoder itself would not say. */
    [[nodiscard]] bool openWrite(int written, const SF_INFO& like, std::string& error,
                                 const std::vector<int>& channelMap = {});

    /** Reads up to `frames` interleaved frames; returns the number read, 0 at the end, -1 when a read error came
     *  before any frame of this call (frames decoded before an error are returned first). */
    std::int64_t read(double* interleaved, std::int64_t frames);
    [[nodiscard]] bool write(const double* interleaved, std::int64_t frames, std::string& error);
    /** Completes a file opened for writing and makes a regular file durable; false when any of that failed, with the
     *  system's reason where a call failed. */
    [[nodiscard]] bool close(std::string& error);

    const SF_INFO& info() const { return fileInfo; }
    /** libsndfile's reason for the last failure, in the host's words (lower-case, without its own heading). */
    std::string lastError() const;
    /** The header of the file opened for reading gives more audio than the file holds; reading ends early. */
    bool isCutShort() const { return cutShort; }
    /** Reading ended after `framesRead` frames, well before the length an MP3's header gave. */
    bool endedShort(std::int64_t framesRead) const;
    /** Bytes of the file opened for reading lie beyond where the decoder got to: a read error there is damage in
     *  the middle of the file, not the end of a file cut short. */
    bool hasUnreadBytes() const;
    /** The speaker position of each channel (SF_CHANNEL_MAP_...) where the header names them, as a WAVEX channel
     *  mask does; else empty. openWrite() gives them to a format that stores them. */
    std::vector<int> channelMap() const;
    /** The file opened for reading is an AIFC, which libsndfile reports as AIFF. */
    bool isAifc() const;
    /** The format stores integers, so samples beyond full scale are clipped when written. */
    bool clipsOvers() const;

    /** The descriptor written through and the system's reason for its first failed call, 0 while none failed. */
    struct Descriptor
    {
        int number = -1;
        int failure = 0;
    };

private:
    /** The system's reason for the first failed call on the written descriptor, else libsndfile's. */
    [[nodiscard]] std::string failureReason() const;

    SNDFILE* file = nullptr;
    Descriptor descriptor; // the one read is closed with its source; the one written is the caller's
    std::unique_ptr<offline::ByteSource> source; // the input's bytes, read by libsndfile or `mpeg`
    std::unique_ptr<offline::Mp3Stream> mpeg;
    std::vector<float> decoded; // a block of `mpeg`, before it becomes doubles
    SF_INFO fileInfo{};
    bool cutShort = false;
};

} // namespace aubrevane::host
