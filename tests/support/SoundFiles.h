#pragma once

#include <sndfile.h>

#include <filesystem>
#include <vector>

namespace aubrevane::test
{

/** Writes `samples` as a mono 32-bit float WAV file; false when the file could not be written whole. */
inline bool writeMonoWav(const std::filesystem::path& path, const std::vector<double>& samples, int sampleRate)
{
    SF_INFO info{};
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    info.channels = 1;
    info.samplerate = sampleRate;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr)
        return false;
    const auto count = static_cast<sf_count_t>(samples.size());
    const bool written = sf_write_double(file, samples.data(), count) == count;
    return sf_close(file) == 0 && written;
}

} // namespace aubrevane::test
