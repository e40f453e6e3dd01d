#pragma once

#include <sndfile.h>

#include <filesystem>
#include <vector>

namespace aubrevane::test
{

/** A sound file as libsndfile reads it back. */
struct Sound
{
    SF_INFO info{};
    std::vector<double> samples; // interleaved, every frame the file gives
    std::vector<int> channelMap; // the speaker positions, where the file names them
};

/** Reads every frame the file gives; false when it cannot be opened or gives other than the frames it counts. */
inline bool readSound(const std::filesystem::path& path, Sound& sound)
{
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &sound.info);
    if (file == nullptr)
        return false;
    const auto channels = static_cast<std::size_t>(sound.info.channels);
    std::vector<double> block(4096 * channels);
    for (sf_count_t got; (got = sf_readf_double(file, block.data(), 4096)) > 0;)
        sound.samples.insert(sound.samples.end(), block.begin(), block.begin() + got * sound.info.channels);
    sound.channelMap.resize(channels);
    if (sf_command(file, SFC_GET_CHANNEL_MAP_INFO, sound.channelMap.data(),
                   static_cast<int>(sound.channelMap.size() * sizeof(int))) != SF_TRUE)
        sound.channelMap.clear();
    sf_close(file);
    return sound.samples.size() == static_cast<std::size_t>(sound.info.frames) * channels;
}

/** Writes interleaved samples in libsndfile's `format`, with the speaker positions `channelMap` where it is not
 *  empty; false when the file could not be written whole. */
inline bool writeSound(const std::filesystem::path& path, const std::vector<double>& interleaved, int channels,
                       int sampleRate, int format, const std::vector<int>& channelMap = {})
{
    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = sampleRate;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr)
        return false;
    if (!channelMap.empty())
        sf_command(file, SFC_SET_CHANNEL_MAP_INFO, const_cast<int*>(channelMap.data()),
                   static_cast<int>(channelMap.size() * sizeof(int)));
    const auto frames = static_cast<sf_count_t>(interleaved.size()) / channels;
    const bool written = sf_writef_double(file, interleaved.data(), frames) == frames;
    return sf_close(file) == 0 && written;
}

/** Writes `samples` as a mono 32-bit float WAV file; false when the file could not be written whole. */
inline bool writeMonoWav(const std::filesystem::path& path, const std::vector<double>& samples, int sampleRate)
{
    return writeSound(path, samples, 1, sampleRate, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
}

} // namespace aubrevane::test
