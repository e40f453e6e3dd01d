#include "offline/ReferenceDecoder.h"

#include "support/FileBytes.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <future>
#include <iterator>
#include <limits>

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace aubrevane::offline
{
namespace
{

namespace fs = std::filesystem;
using test::readFileBytes;
using test::writeFileBytes;

/** Writes interleaved frames with libsndfile; false when this libsndfile cannot write the format. */
bool writeSound(const fs::path& path, int format, int channels, int sampleRate, const std::vector<float>& interleaved)
{
    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = sampleRate;
    if (!sf_format_check(&info))
        return false;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr)
        return false;
    const sf_count_t frames = static_cast<sf_count_t>(interleaved.size()) / channels;
    const bool written = sf_writef_float(file, interleaved.data(), frames) == frames;
    return sf_close(file) == 0 && written;
}

/** Frame i of channel c is (i % 200 - 100 + 17c) / 256, so each channel and the mean of three differ. */
std::vector<float> rampFrames(int channels, int frames)
{
    std::vector<float> interleaved;
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            interleaved.push_back(static_cast<float>(i % 200 - 100 + 17 * c) / 256.0f);
    return interleaved;
}

class ReferenceDecoding : public testing::Test
{
protected:
    const fs::path folder = test::testFolder();
    DecodedAudio audio;
    std::string message;
};

struct LosslessCase
{
    const char* fileName;
    int format;
};

class LosslessFormats : public ReferenceDecoding, public testing::WithParamInterface<LosslessCase>
{
};

TEST_P(LosslessFormats, DecodeToTheChannelMeanAtTheFileRate)
{
    const fs::path path = folder / GetParam().fileName;
    const int frames = 3 * 4096 + 123;
    ASSERT_TRUE(writeSound(path, GetParam().format, 3, 22050, rampFrames(3, frames)));

    ASSERT_TRUE(decodeAudioFile(path.string(), audio, message)) << message;
    EXPECT_EQ(audio.sampleRate, 22050.0);
    EXPECT_EQ(audio.channels, 3u);
    ASSERT_EQ(audio.samples.size(), static_cast<std::size_t>(frames));
    for (int i = 0; i < frames; ++i)
        ASSERT_NEAR(audio.samples[static_cast<std::size_t>(i)], (i % 200 - 100 + 17) / 256.0, 1e-4) << "frame " << i;

    // The same bytes from memory decode the same.
    const std::string bytes = readFileBytes(path).value_or("");
    DecodedAudio fromMemory;
    ASSERT_TRUE(decodeAudioMemory(bytes.data(), bytes.size(), GetParam().fileName, fromMemory, message)) << message;
    EXPECT_EQ(fromMemory.samples, audio.samples);
}

INSTANTIATE_TEST_SUITE_P(Containers, LosslessFormats,
                         testing::Values(LosslessCase{"pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
                                         LosslessCase{"pcm24.WAVE", SF_FORMAT_WAV | SF_FORMAT_PCM_24},
                                         LosslessCase{"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
                                         LosslessCase{"pcm16.aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
                                         LosslessCase{"pcm24.Aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
                                         LosslessCase{"float.aifc", SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
                                         LosslessCase{"pcm16.FLAC", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
                                         LosslessCase{"pcm24.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24}),
                         [](const testing::TestParamInfo<LosslessCase>& info)
                         {
                             std::string name = info.param.fileName;
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name;
                         });

TEST_F(ReferenceDecoding, StereoOfOneAndZeroDecodesToOneHalf)
{
    std::vector<float> frames;
    for (int i = 0; i < 1000; ++i)
        frames.insert(frames.end(), {1.0f, 0.0f});
    ASSERT_TRUE(writeSound(folder / "half.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 48000, frames));
    ASSERT_TRUE(decodeAudioFile((folder / "half.wav").string(), audio, message)) << message;
    EXPECT_EQ(audio.samples, std::vector<float>(1000, 0.5f));
}

TEST_F(ReferenceDecoding, NonFiniteSamplesBecomeSilence)
{
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> frames = {0.25f, std::nanf(""), 0.5f, inf, -inf, 0.75f};
    ASSERT_TRUE(writeSound(folder / "odd.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 8000, frames));
    ASSERT_TRUE(decodeAudioFile((folder / "odd.wav").string(), audio, message)) << message;
    EXPECT_EQ(audio.samples, (std::vector<float>{0.25f, 0.0f, 0.5f, 0.0f, 0.0f, 0.75f}));
}

TEST_F(ReferenceDecoding, Mp3DecodesToAboutItsLengthAndLevelFromItsFirstFrame)
{
    std::vector<float> sine;
    for (int i = 0; i < 44100; ++i)
        sine.push_back(0.5f * static_cast<float>(std::sin(2.0 * 3.14159265358979 * 1000.0 * i / 44100.0)));
    if (!writeSound(folder / "tone.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 1, 44100, sine))
        GTEST_SKIP() << "this libsndfile cannot write MP3, so no MP3 file can be made to decode";

    ASSERT_TRUE(decodeAudioFile((folder / "tone.mp3").string(), audio, message)) << message;
    EXPECT_EQ(audio.sampleRate, 44100.0);
    EXPECT_NEAR(static_cast<double>(audio.samples.size()), 44100.0, 2304.0); // codec delay and frame padding
    double sum = 0.0;
    for (float s : audio.samples)
        sum += double(s) * s;
    const double rmsDecibels = 10.0 * std::log10(sum / static_cast<double>(audio.samples.size()));
    EXPECT_NEAR(rmsDecibels, 20.0 * std::log10(0.5 / std::sqrt(2.0)), 1.0);

    // Bytes the decoder does not expect before the first frame: the same samples as the clean file.
    const std::string clean = readFileBytes(folder / "tone.mp3").value_or("");
    const std::string tag = std::string("ID3\x03\0\0\0\0\0\x0f", 10) + std::string("TIT2\0\0\0\x05\0\0\0Tone", 15);
    for (const auto& [name, bytes] :
         {std::pair{"padded.mp3", tag + std::string(1000, '\0') + clean}, std::pair{"stray.mp3", "\r\nab" + clean}})
    {
        writeFileBytes(folder / name, bytes);
        DecodedAudio padded;
        ASSERT_TRUE(decodeAudioFile((folder / name).string(), padded, message)) << name << ": " << message;
        EXPECT_EQ(padded.samples, audio.samples) << name;
        DecodedAudio fromMemory;
        ASSERT_TRUE(decodeAudioMemory(bytes.data(), bytes.size(), name, fromMemory, message)) << message;
        EXPECT_EQ(fromMemory.samples, audio.samples) << name;
    }
}

TEST_F(ReferenceDecoding, KeepsExactlyTheLongestDurationAndAllOfAShorterFile)
{
    ASSERT_TRUE(writeSound(folder / "long.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 8000, rampFrames(2, 3 * 8000)));
    const std::string path = (folder / "long.wav").string();

    ASSERT_TRUE(decodeAudioFile(path, audio, message, 1.2345)) << message;
    EXPECT_EQ(audio.samples.size(), 9876u); // 1.2345 x 8000, mid-block
    ASSERT_TRUE(decodeAudioFile(path, audio, message, 2.048)) << message;
    EXPECT_EQ(audio.samples.size(), 16384u); // a whole number of blocks
    ASSERT_TRUE(decodeAudioFile(path, audio, message, 480.0)) << message;
    EXPECT_EQ(audio.samples.size(), 24000u);

    for (double tooShort : {0.0, 0.0001, -1.0, std::nan("")})
    {
        message.clear();
        EXPECT_FALSE(decodeAudioFile(path, audio, message, tooShort));
        EXPECT_EQ(message, "could not read long.wav");
    }
}

TEST_F(ReferenceDecoding, TheExtensionDecidesWhichContainerIsAccepted)
{
    const auto frames = rampFrames(1, 5000);
    ASSERT_TRUE(writeSound(folder / "flac.wav", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 8000, frames));
    ASSERT_TRUE(writeSound(folder / "wave.flac", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000, frames));
    ASSERT_TRUE(writeSound(folder / "wave.mp3", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000, frames));
    ASSERT_TRUE(writeSound(folder / "aiff.wav", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1, 8000, frames));
    ASSERT_TRUE(writeSound(folder / "wave.aiff", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000, frames));
    ASSERT_TRUE(writeSound(folder / "sun.wav", SF_FORMAT_AU | SF_FORMAT_PCM_16, 1, 8000, frames));

    for (const char* name : {"flac.wav", "wave.flac", "wave.mp3", "sun.wav"})
    {
        EXPECT_FALSE(decodeAudioFile((folder / name).string(), audio, message)) << name;
        EXPECT_EQ(message, std::string("could not read ") + name);
    }
    // WAV and AIFF share one decoder, which tells them apart by content.
    EXPECT_TRUE(decodeAudioFile((folder / "aiff.wav").string(), audio, message)) << message;
    EXPECT_TRUE(decodeAudioFile((folder / "wave.aiff").string(), audio, message)) << message;
}

TEST_F(ReferenceDecoding, WhatIsNotAudioCannotBeRead)
{
    std::ofstream(folder / "empty.wav").close();
    std::ofstream(folder / "text.wav") << "RIFF but not really a wave file at all";
    fs::create_directory(folder / "folder.flac");
    fs::create_directory(folder / "folder");
    const std::pair<const char*, std::string> cases[] = {
        {"empty.wav", "could not read empty.wav"},
        {"text.wav", "could not read text.wav"},
        {"folder.flac", "could not read folder.flac: it is a folder"},
        {"folder", "could not read folder: it is a folder"}, // not an unsupported file type
        {"missing.aif", "could not read missing.aif: no such file or directory"},
    };
    for (const auto& [name, expected] : cases)
    {
        EXPECT_FALSE(decodeAudioFile((folder / name).string(), audio, message)) << name;
        EXPECT_EQ(message, expected);
    }
    EXPECT_FALSE(decodeAudioMemory(nullptr, 0, "nothing.mp3", audio, message));
    EXPECT_EQ(message, "could not read nothing.mp3");
}

TEST_F(ReferenceDecoding, AFifoFailsAtOnceInsteadOfWaitingForAWriter)
{
    const fs::path fifo = folder / "pipe.wav";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto decoding =
        std::async(std::launch::async,
                   [&]
                   {
                       DecodedAudio fifoAudio;
                       std::string fifoMessage;
                       return decodeAudioFile(fifo.string(), fifoAudio, fifoMessage) ? "decoded" : fifoMessage;
                   });
    if (decoding.wait_for(std::chrono::seconds(10)) != std::future_status::ready)
    {
        ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK)); // releases the blocked reader so the test can end
        FAIL() << "decoding a FIFO blocked";
    }
    EXPECT_EQ(decoding.get(), "could not read pipe.wav");
}

TEST_F(ReferenceDecoding, UnsupportedExtensionsAreNamedWithoutOpeningTheFile)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/music/notes.txt", "unsupported file type .txt (WAV, AIFF, MP3 or FLAC)"},
        {"/music/Song.OGG", "unsupported file type .ogg (WAV, AIFF, MP3 or FLAC)"},
        {"/music/no-extension", "unsupported file type  (WAV, AIFF, MP3 or FLAC)"},
        {"/music/.wav", "unsupported file type  (WAV, AIFF, MP3 or FLAC)"},
        {"/music/song.w\xC3\x84V", "unsupported file type .w\xC3\x84v (WAV, AIFF, MP3 or FLAC)"},
    };
    for (const auto& [path, expected] : cases)
    {
        EXPECT_FALSE(decodeAudioFile(path, audio, message)) << path;
        EXPECT_EQ(message, expected);
    }
}

TEST(ReferenceFileNames, AreTheSevenExtensionsInAnyAsciiCase)
{
    for (const char* name : {"a.wav", "A.WAV", "b.wave", "c.aif", "d.Aiff", "e.aifc", "f.mp3", "g.FLAC", "/x.y/h.wav"})
        EXPECT_TRUE(isReferenceFileName(name)) << name;
    for (const char* name : {"a.txt", ".wav", "wav", "a.wav.bak", "a.ogg", "/x.wav/readme", "a.m4a", ""})
        EXPECT_FALSE(isReferenceFileName(name)) << name;
}

TEST_F(ReferenceDecoding, ARaisedCancelFlagStopsBeforeTheFirstBlock)
{
    ASSERT_TRUE(writeSound(folder / "c.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000, rampFrames(1, 9000)));
    const std::atomic<bool> cancel{true};
    EXPECT_FALSE(decodeAudioFile((folder / "c.wav").string(), audio, message, 480.0, &cancel));
    EXPECT_EQ(message, kCancelledMessage);
}

} // namespace
} // namespace aubrevane::offline
