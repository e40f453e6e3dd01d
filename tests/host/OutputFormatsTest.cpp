#include "ChildProcess.h"
#include "support/FileBytes.h"
#include "support/RunProgram.h"
#include "support/Signals.h"
#include "support/SoundFiles.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;

using aubrevane::test::ChildProcess;

constexpr int kRates[] = {8000,  11025, 12000, 16000, 22050,  24000,  32000,
                          44100, 48000, 88200, 96000, 176400, 192000, 384000};
constexpr int kInputSamples[] = {SF_FORMAT_PCM_U8, SF_FORMAT_PCM_16, SF_FORMAT_PCM_24, SF_FORMAT_PCM_32,
                                 SF_FORMAT_FLOAT};
constexpr double kSeconds = 0.2;

using aubrevane::test::readSound;
using aubrevane::test::Sound;

/** A sine on each channel, at half of full scale; `channelMap` gives the speaker positions where it is not empty. */
bool writeSine(const fs::path& path, int channels, int rate, int format, const std::vector<int>& channelMap = {})
{
    const auto sine = aubrevane::test::sine(441.0, rate, static_cast<std::size_t>(rate * kSeconds), 0.5);
    std::vector<double> interleaved;
    for (const double sample : sine)
        interleaved.insert(interleaved.end(), static_cast<std::size_t>(channels), sample);
    return aubrevane::test::writeSound(path, interleaved, channels, rate, format, channelMap);
}

using aubrevane::test::readText;

/** Every file in `folder` with its bytes. */
std::map<fs::path, std::string> filesIn(const fs::path& folder)
{
    std::map<fs::path, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        files[entry.path().lexically_relative(folder)] = entry.is_regular_file() ? readText(entry.path()) : "";
    return files;
}

/** Renders in the folder the outputs go to, as its current folder, so a stray file written beside would show. */
class RenderedOutput : public testing::Test
{
protected:
    void SetUp() override
    {
        outputs = aubrevane::test::testFolder() / "outputs";
        fs::create_directory(outputs);
        // a file of this name was once emptied by an output written beside it
        aubrevane::test::writeFileBytes(outputs / "._", "kept as it is");
    }

    /** The exit code; what the host said is in `said`. */
    int render(const fs::path& in, const std::string& outName, const std::vector<std::string>& extra = {})
    {
        std::vector<std::string> args = {AUBREVANE_HOST_EXE, "render", in.string(), (outputs / outName).string()};
        args.insert(args.end(), extra.begin(), extra.end());
        const fs::path errors = aubrevane::test::testFolder() / "said.txt";
        ChildProcess host(args, errors,
                          [this]
                          {
                              if (chdir(outputs.c_str()) != 0)
                                  _exit(126);
                          });
        const int exitCode = host.wait();
        said = readText(errors);
        return exitCode;
    }

    fs::path outputs;
    std::string said;
};

/** A format the host writes, and the rates its codec takes (every rate for plain samples). */
struct WrittenFormat
{
    const char* extension;
    int container;              // the major format read back
    int codec;                  // the codec read back; 0 where the input's samples are written
    std::vector<int> onlyRates; // where the codec takes only these of kRates
    int highestRate = 384000;
    std::vector<int> changedInputs = {}; // input samples written in a coarser form, where the codec is the input's
    friend void PrintTo(const WrittenFormat& format, std::ostream* os) { *os << format.extension; }
};

class OutputFormats : public RenderedOutput, public testing::WithParamInterface<WrittenFormat>
{
};

TEST_P(OutputFormats, KeepRateChannelsAndLengthOrRefuseBeforeTheAudioAndWriteOnlyTheNamedFile)
{
    const WrittenFormat& format = GetParam();
    const auto before = filesIn(outputs);
    const std::string outName = std::string("out.") + format.extension;
    std::size_t written = 0;
    for (const int rate : kRates)
        for (const int channels : {1, 2})
        {
            const bool held = rate <= format.highestRate &&
                              (format.onlyRates.empty() || std::find(format.onlyRates.begin(), format.onlyRates.end(),
                                                                     rate) != format.onlyRates.end());
            const int samples = kInputSamples[written % std::size(kInputSamples)];
            std::ostringstream trace;
            trace << rate << " Hz, " << channels << " channels, input samples 0x" << std::hex << samples;
            SCOPED_TRACE(trace.str());
            const fs::path in = aubrevane::test::testFolder() / "in.wav";
            ASSERT_TRUE(writeSine(in, channels, rate, SF_FORMAT_WAV | samples));
            const int exitCode = render(in, outName, {"--set", "Bypass=on"});
            auto after = filesIn(outputs);
            if (!held)
            {
                EXPECT_EQ(exitCode, 1);
                EXPECT_NE(said.find(" cannot hold " + std::to_string(rate) + " Hz; it holds "), std::string::npos)
                    << said;
                EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
                EXPECT_EQ(after, before);
                continue;
            }
            ++written;
            ASSERT_EQ(exitCode, 0) << said;
            Sound input, output;
            ASSERT_TRUE(readSound(in, input));
            ASSERT_TRUE(readSound(outputs / outName, output)) << sf_strerror(nullptr);
            EXPECT_EQ(output.info.samplerate, rate);
            EXPECT_EQ(output.info.channels, channels);
            EXPECT_EQ(output.info.frames, input.info.frames);
            EXPECT_EQ(output.samples.size(), input.samples.size()); // every frame it says it has
            EXPECT_EQ(output.info.format & SF_FORMAT_TYPEMASK, format.container);
            if (format.codec != 0)
            {
                EXPECT_EQ(output.info.format & SF_FORMAT_SUBMASK, format.codec);
            }
            else
            {
                const bool mayChange = std::find(format.changedInputs.begin(), format.changedInputs.end(), samples) !=
                                       format.changedInputs.end();
                EXPECT_EQ(said.find("samples may change") != std::string::npos, mayChange) << said;
                if (!mayChange)
                {
                    EXPECT_EQ(output.samples, input.samples); // Bypass passes them through, and the format kept them
                }
            }
            after.erase(outName);
            EXPECT_EQ(after, before);
            fs::remove(outputs / outName);
        }
    EXPECT_GE(written, std::size(kInputSamples)); // every input sample format reached the format
}

const std::vector<int> kOpusRates = {8000, 12000, 16000, 24000, 48000};
const std::vector<int> kMpegRates = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};

INSTANTIATE_TEST_SUITE_P(
    Written, OutputFormats,
    testing::Values(WrittenFormat{"wav", SF_FORMAT_WAV, 0, {}}, WrittenFormat{"aiff", SF_FORMAT_AIFF, 0, {}},
                    WrittenFormat{"flac", SF_FORMAT_FLAC, 0, {}, 384000, {SF_FORMAT_PCM_32, SF_FORMAT_FLOAT}},
                    WrittenFormat{"ogg", SF_FORMAT_OGG, SF_FORMAT_VORBIS, {}, 192000},
                    WrittenFormat{"opus", SF_FORMAT_OGG, SF_FORMAT_OPUS, kOpusRates},
                    WrittenFormat{"mp3", SF_FORMAT_MPEG, SF_FORMAT_MPEG_LAYER_III, kMpegRates},
                    WrittenFormat{"caf", SF_FORMAT_CAF, 0, {}}, WrittenFormat{"w64", SF_FORMAT_W64, 0, {}},
                    WrittenFormat{"rf64", SF_FORMAT_RF64, 0, {}}, WrittenFormat{"au", SF_FORMAT_AU, 0, {}}),
    [](const auto& info) { return std::string(info.param.extension); });

/** An output's name and the input it is rendered from. */
struct NamedOutput
{
    const char* outName;
    int input;          // the input's libsndfile format
    int written;        // the format read back; 0 where the name is refused with nothing written
    const char* header; // the four bytes at offset 8 of what was written, where the form is the point
    friend void PrintTo(const NamedOutput& named, std::ostream* os) { *os << named.outName; }
};

class OutputNames : public RenderedOutput, public testing::WithParamInterface<NamedOutput>
{
};

TEST_P(OutputNames, ChooseTheWrittenFormatAndFormOrAreRefusedWithNothingWritten)
{
    const auto& [outName, inputFormat, writtenFormat, header] = GetParam();
    const fs::path in = aubrevane::test::testFolder() / "in.sound";
    // side positions, so a channel mask written anew (front left and right) would differ
    const std::vector<int> sides = {SF_CHANNEL_MAP_SIDE_LEFT, SF_CHANNEL_MAP_SIDE_RIGHT};
    const bool extensible = (inputFormat & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAVEX;
    ASSERT_TRUE(writeSine(in, 2, 48000, inputFormat, extensible ? sides : std::vector<int>{}));
    const auto before = filesIn(outputs);
    const int exitCode = render(in, outName);
    auto after = filesIn(outputs);
    if (writtenFormat == 0)
    {
        EXPECT_EQ(exitCode, 1);
        EXPECT_NE(said.find(" .wav, .aif, .aiff, .aifc, .flac, .ogg, .oga, .opus, .mp3, .caf, .w64, .rf64 and .au\n"),
                  std::string::npos)
            << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        EXPECT_EQ(after, before);
        return;
    }
    ASSERT_EQ(exitCode, 0) << said;
    Sound output;
    ASSERT_TRUE(readSound(outputs / outName, output));
    EXPECT_EQ(output.info.format, writtenFormat);
    if (extensible)
    {
        EXPECT_EQ(output.channelMap, sides);
    }
    if (header != nullptr)
    {
        EXPECT_EQ(after[outName].substr(8, 4), header);
    }
    after.erase(outName);
    EXPECT_EQ(after, before);
}

INSTANTIATE_TEST_SUITE_P(
    Names, OutputNames,
    testing::Values(
        NamedOutput{"out.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, nullptr},
        NamedOutput{"out", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, nullptr},
        NamedOutput{"out.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, SF_FORMAT_WAV | SF_FORMAT_PCM_24, nullptr},
        NamedOutput{"out.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16 | SF_ENDIAN_BIG,
                    SF_FORMAT_WAV | SF_FORMAT_PCM_16 | SF_ENDIAN_BIG, nullptr},
        NamedOutput{"out.aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE,
                    SF_FORMAT_AIFF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE, "AIFC"},
        NamedOutput{"out.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, SF_FORMAT_AIFF | SF_FORMAT_PCM_16, "AIFF"},
        NamedOutput{"out.aifc", SF_FORMAT_WAV | SF_FORMAT_PCM_16, SF_FORMAT_AIFF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE,
                    "AIFC"},
        NamedOutput{"OUT.WAV", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, SF_FORMAT_WAV | SF_FORMAT_PCM_16, nullptr},
        NamedOutput{".wav", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, SF_FORMAT_WAV | SF_FORMAT_PCM_16, nullptr},
        NamedOutput{"out.oga", SF_FORMAT_OGG | SF_FORMAT_OPUS, SF_FORMAT_OGG | SF_FORMAT_OPUS, nullptr},
        NamedOutput{"out", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, nullptr},
        NamedOutput{".sd2", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 0, nullptr},
        NamedOutput{"out.sd2", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, nullptr},
        NamedOutput{"out.xi", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, nullptr},
        NamedOutput{"out.wve", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, nullptr},
        NamedOutput{"out.htk", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, nullptr},
        NamedOutput{"out.voc", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, nullptr},
        NamedOutput{"out.iff", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, nullptr},
        NamedOutput{"out.sds", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, nullptr},
        NamedOutput{"out.m4a", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, nullptr},
        NamedOutput{"out.txt", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, nullptr},
        NamedOutput{"out", SF_FORMAT_IRCAM | SF_FORMAT_PCM_16, 0, nullptr}),
    [](const auto& info)
    {
        std::string name = std::to_string(info.index) + "_";
        for (const char c : std::string(info.param.outName))
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

} // namespace

TEST_F(RenderedOutput, AnAifcWithUncompressedSamplesStaysAnAifc)
{
    // libsndfile writes integer samples as AIFC only little-endian ("sowt"); renamed "NONE", they are big-endian
    const fs::path in = aubrevane::test::testFolder() / "in.aifc";
    ASSERT_TRUE(writeSine(in, 2, 48000, SF_FORMAT_AIFF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE));
    std::string bytes = readText(in);
    const std::size_t compression = bytes.find("sowt");
    ASSERT_NE(compression, std::string::npos);
    bytes.replace(compression, 4, "NONE");
    aubrevane::test::writeFileBytes(in, bytes);
    Sound input;
    ASSERT_TRUE(readSound(in, input));
    ASSERT_EQ(input.info.format, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);

    ASSERT_EQ(render(in, "out.aif"), 0) << said;
    EXPECT_EQ(readText(outputs / "out.aif").substr(8, 4), "AIFC");
}
