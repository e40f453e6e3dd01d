#include "host/SoundFile.h"

#include "host/OutputFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>

namespace aubrevane::host
{
namespace
{

/**
 * Whether libsndfile's header log says the audio chunk is longer than the file ("data : 576000 (should be 299956)"
 * in WAV and CAF, "SSND : ..." in AIFF). libsndfile then shortens the length it reports, so the log is the only
 * place the promise survives.
 */
bool logSaysCutShort(SNDFILE* file)
{
    std::string log(16384, '\0');
    sf_command(file, SFC_GET_LOG_INFO, log.data(), static_cast<int>(log.size()));
    std::istringstream lines(log.c_str());
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

} // namespace

SoundFile::~SoundFile()
{
    if (file != nullptr)
        sf_close(file);
}

bool SoundFile::openRead(const std::filesystem::path& path, std::string& error)
{
    fileInfo = SF_INFO{};
    file = sf_open(path.c_str(), SFM_READ, &fileInfo);
    if (file == nullptr)
    {
        error = "could not read " + path.string() + ": " + sf_strerror(nullptr);
        return false;
    }
    cutShort = logSaysCutShort(file);
    return true;
}

bool SoundFile::openWrite(const std::filesystem::path& path, const SF_INFO& like, std::string& error)
{
    fileInfo = SF_INFO{};
    fileInfo.samplerate = like.samplerate;
    fileInfo.channels = like.channels;
    fileInfo.format = like.format;
    // The file is created here first, so a missing folder or a refused permission keeps the system's own reason;
    // what libsndfile refuses after that is the format.
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (descriptor < 0)
    {
        error = systemReason(errno);
        return false;
    }
    ::close(descriptor);
    file = sf_open(path.c_str(), SFM_WRITE, &fileInfo);
    if (file == nullptr)
    {
        error = sf_strerror(nullptr);
        return false;
    }
    // Samples beyond full scale are clipped when the file holds integers, instead of wrapping around.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    return true;
}

std::int64_t SoundFile::read(double* interleaved, std::int64_t frames)
{
    const sf_count_t got = sf_readf_double(file, interleaved, frames);
    if (got == 0 && sf_error(file) != SF_ERR_NO_ERROR)
        return -1;
    return got;
}

bool SoundFile::write(const double* interleaved, std::int64_t frames, std::string& error)
{
    if (sf_writef_double(file, interleaved, frames) != frames)
    {
        error = lastError();
        return false;
    }
    return true;
}

bool SoundFile::close(std::string& error)
{
    if (file == nullptr)
        return true;
    sf_write_sync(file);
    const int result = sf_close(file);
    file = nullptr;
    if (result != 0)
    {
        error = sf_error_number(result);
        return false;
    }
    return true;
}

std::string SoundFile::lastError() const
{
    return sf_strerror(file);
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
