#include "host/SoundFile.h"

namespace aubrevane::host
{

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
    return true;
}

bool SoundFile::openWrite(const std::filesystem::path& path, const SF_INFO& like, std::string& error)
{
    fileInfo = SF_INFO{};
    fileInfo.samplerate = like.samplerate;
    fileInfo.channels = like.channels;
    fileInfo.format = like.format;
    file = sf_open(path.c_str(), SFM_WRITE, &fileInfo);
    if (file == nullptr)
    {
        error = "could not write " + path.string() + ": " + sf_strerror(nullptr);
        return false;
    }
    // Samples beyond full scale are clipped when the file holds integers, instead of wrapping around.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    return true;
}

std::int64_t SoundFile::read(double* interleaved, std::int64_t frames)
{
    const sf_count_t got = sf_readf_double(file, interleaved, frames);
    if (got < frames && sf_error(file) != SF_ERR_NO_ERROR)
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

} // namespace aubrevane::host
