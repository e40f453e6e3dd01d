#pragma once

#include <sndfile.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace aubrevane::host
{

/** An audio file open for reading or writing through libsndfile; closed when destroyed. */
class SoundFile
{
public:
    SoundFile() = default;
    ~SoundFile();
    SoundFile(const SoundFile&) = delete;
    SoundFile& operator=(const SoundFile&) = delete;

    [[nodiscard]] bool openRead(const std::filesystem::path& path, std::string& error);
    /** Creates `path` (or writes into it, a device) with the channel count, rate and format of `like`; false with
     *  the reason alone: the system's (a missing folder, a refused permission) or libsndfile's (a format it cannot
     *  write). What it created stays for the caller to remove. */
    [[nodiscard]] bool openWrite(const std::filesystem::path& path, const SF_INFO& like, std::string& error);

    /** Reads up to `frames` interleaved frames; returns the number read, 0 at the end, -1 when a read error came
     *  before any frame of this call (frames decoded before an error are returned first). */
    std::int64_t read(double* interleaved, std::int64_t frames);
    [[nodiscard]] bool write(const double* interleaved, std::int64_t frames, std::string& error);
    /** Flushes and closes; false when the file could not be completed. */
    [[nodiscard]] bool close(std::string& error);

    const SF_INFO& info() const { return fileInfo; }
    std::string lastError() const;
    /** The header of the file opened for reading gives more audio than the file holds; reading ends early. */
    bool isCutShort() const { return cutShort; }
    /** Reading ended after `framesRead` frames, well before the length an MP3's header gave. */
    bool endedShort(std::int64_t framesRead) const;
    /** The format stores integers, so samples beyond full scale are clipped when written. */
    bool clipsOvers() const;

private:
    SNDFILE* file = nullptr;
    SF_INFO fileInfo{};
    bool cutShort = false;
};

} // namespace aubrevane::host
