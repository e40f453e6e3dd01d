#include "ChildProcess.h"
#include "support/FileBytes.h"
#include "support/RunProgram.h"
#include "support/Signals.h"
#include "support/SoundFiles.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <ostream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace
{

namespace fs = std::filesystem;

using aubrevane::test::ChildProcess;
using aubrevane::test::readText;
using HostRun = aubrevane::test::ProgramRun;

using aubrevane::test::readSound;
using aubrevane::test::Sound;
using aubrevane::test::writeSound;

/** The MP3 stream `mp3` of stereo 44.1 kHz audio, `frames` long, held in a WAV (format tag 0x55), which libsndfile
 *  decodes through libmpg123 itself. */
std::string mp3InWav(const std::string& mp3, std::uint32_t frames)
{
    const auto little = [](std::uint32_t value, int bytes)
    {
        std::string text;
        for (int i = 0; i < bytes; ++i)
            text += static_cast<char>((value >> (8 * i)) & 0xFF);
        return text;
    };
    // MPEGLAYER3WAVEFORMAT: tag, channels, rate, bytes a second, block align, bits, then its 12 bytes of extension
    const std::string format = little(0x55, 2) + little(2, 2) + little(44100, 4) + little(16000, 4) + little(1, 2) +
                               little(0, 2) + little(12, 2) + little(1, 2) + little(2, 4) + little(417, 2) +
                               little(1, 2) + little(1393, 2);
    const std::string body = "WAVEfmt " + little(static_cast<std::uint32_t>(format.size()), 4) + format + "fact" +
                             little(4, 4) + little(frames, 4) + "data" +
                             little(static_cast<std::uint32_t>(mp3.size()), 4) + mp3;
    return "RIFF" + little(static_cast<std::uint32_t>(body.size()), 4) + body;
}

/** Noise with a strong low-frequency lean, so the correction has something to do. */
std::vector<double> colouredStereo(int rate, double seconds)
{
    const auto frames = static_cast<std::size_t>(rate * seconds);
    const auto left = aubrevane::test::pinkNoise(frames, rate, 7);
    const auto right = aubrevane::test::pinkNoise(frames, rate, 11);
    std::vector<double> interleaved(2 * frames);
    for (std::size_t i = 0; i < frames; ++i)
    {
        interleaved[2 * i] = 0.25 * left[i];
        interleaved[2 * i + 1] = 0.25 * right[i];
    }
    return interleaved;
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::string line;
    for (std::istringstream in(text); std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class HostRender : public testing::Test
{
protected:
    void SetUp() override
    {
        folder = aubrevane::test::testFolder();
        input = folder / "in.wav";
        output = folder / "out.wav";
        ASSERT_TRUE(writeSound(input, colouredStereo(48000, 3.0), 2, 48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    }

    HostRun host(const std::vector<std::string>& args) const
    {
        return aubrevane::test::runProgram(AUBREVANE_HOST_EXE, args, folder);
    }

    bool leftoverPartials() const
    {
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path().string().find(".partial") != std::string::npos)
                return true;
        return false;
    }

    /** Starts `render` with `args` from a copy of the host and its bundle that every user may run, as nobody when the
     *  tests run as root (whom no permission check stops); the test's folder, the input and `errors`, where the host
     *  says what it says, are opened to every user. */
    ChildProcess renderAsNobody(std::vector<std::string> args, const fs::path& errors) const
    {
        fs::permissions(folder, fs::perms(0755));
        fs::permissions(input, fs::perms(0644));
        aubrevane::test::writeFileBytes(errors, "");
        fs::permissions(errors, fs::perms(0666));
        const auto copy = aubrevane::test::hostCopyForEveryUser(AUBREVANE_HOST_EXE, folder / "program");
        args.insert(args.begin(), {copy.program.string(), "render"});
        args.insert(args.end(), {"--plugin", copy.bundle.string()});
        return ChildProcess(args, errors, aubrevane::test::runAsNobodyUnderRoot);
    }

    fs::path folder, input, output;
};

TEST_F(HostRender, FullAmountChangesTheSignalAndWritesTheInputFormat)
{
    const HostRun run = host({"render", input, output, "--set", "Amount=100"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Sound in, out;
    ASSERT_TRUE(readSound(input, in));
    ASSERT_TRUE(readSound(output, out));
    EXPECT_EQ(out.info.format, in.info.format);
    EXPECT_EQ(out.info.channels, 2);
    EXPECT_EQ(out.info.samplerate, 48000);
    ASSERT_EQ(out.info.frames, in.info.frames);

    double difference = 0.0, level = 0.0;
    for (std::size_t i = in.samples.size() / 2; i < in.samples.size(); ++i) // the settled second half
    {
        ASSERT_TRUE(std::isfinite(out.samples[i]));
        difference += (out.samples[i] - in.samples[i]) * (out.samples[i] - in.samples[i]);
        level += in.samples[i] * in.samples[i];
    }
    EXPECT_GT(10.0 * std::log10(difference / level), -40.0); // the correction is audible, not rounding noise
    EXPECT_FALSE(leftoverPartials());
}

TEST_F(HostRender, ACopyOfTheBundleRendersTheSameAndEndsCleanly)
{
    // The host links the bundle it was built with, so a copy elsewhere is a second library of the same symbols.
    const fs::path copy = folder / "plug" / "Aubrevane.so";
    fs::create_directories(copy.parent_path());
    fs::copy_file(fs::path(AUBREVANE_HOST_EXE).parent_path() / "Aubrevane.so", copy);
    const HostRun own = host({"render", input, output});
    ASSERT_EQ(own.exitCode, 0) << own.err;
    const fs::path other = folder / "other.wav";
    const HostRun copied = host({"render", input, other, "--plugin", copy});
    EXPECT_EQ(copied.exitCode, 0) << copied.err;
    Sound a, b;
    ASSERT_TRUE(readSound(output, a) && readSound(other, b));
    EXPECT_EQ(a.samples, b.samples);
}

TEST_F(HostRender, BypassPassesMonoSixteenBitThroughUnchanged)
{
    const fs::path mono = folder / "mono.wav";
    std::vector<double> samples = aubrevane::test::sine(440.0, 44100.0, 44100, 0.5);
    for (double& s : samples)
        s = std::round(s * 32767.0) / 32768.0; // exactly representable in 16 bits
    ASSERT_TRUE(writeSound(mono, samples, 1, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    const HostRun run = host({"render", mono, output, "--set", "Bypass=on", "--block", "100"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Sound in, out;
    ASSERT_TRUE(readSound(mono, in));
    ASSERT_TRUE(readSound(output, out));
    EXPECT_EQ(out.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(out.samples, in.samples);
}

TEST_F(HostRender, SavedStateRestoresIntoAFreshInstanceAndRendersTheSame)
{
    const fs::path first = folder / "first.wav", second = folder / "second.wav";
    const fs::path state = folder / "a.state", again = folder / "b.state";
    ASSERT_EQ(
        host({"render", input, first, "--set", "Amount=80", "--set", "Tilt=-1.5", "--save-state", state}).exitCode, 0);
    const HostRun run = host({"render", input, second, "--state", state, "--save-state", again});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(readText(state).substr(0, 4), "1SVA");
    EXPECT_EQ(readText(again), readText(state));
    Sound a, b;
    ASSERT_TRUE(readSound(first, a));
    ASSERT_TRUE(readSound(second, b));
    EXPECT_EQ(a.samples, b.samples);
}

TEST_F(HostRender, ParamsListsEveryParameterWithItsRange)
{
    const HostRun run = host({"params"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto lines = linesOf(run.out);
    ASSERT_EQ(lines.size(), 47u); // a heading and 46 parameters
    EXPECT_NE(lines[1].find("Amount"), std::string::npos);
    EXPECT_NE(lines[19].find("HP On"), std::string::npos);
    EXPECT_NE(lines[20].find("LP Freq"), std::string::npos);
    EXPECT_NE(lines[20].find("20000"), std::string::npos);
    EXPECT_NE(lines[46].find("Pre-EQ Respect"), std::string::npos);
}

TEST_F(HostRender, TargetsListsTheFactoryTargets)
{
    const HostRun run = host({"targets"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto names = linesOf(run.out);
    EXPECT_NE(std::find(names.begin(), names.end(), "Male speech"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "Female vocals pop"), names.end());
}

TEST_F(HostRender, AFactoryTargetLoadsByNameAndEveryRenderEndsWithTheStatusLine)
{
    const std::string head = "Aubrevane 0.9.14 \xC2\xB7 0 samples latency \xC2\xB7 target: ";
    EXPECT_EQ(linesOf(host({"status"}).out), std::vector<std::string>{head + "balanced"});
    const auto lastLine = [](const HostRun& run)
    { return linesOf(run.out).empty() ? std::string("<nothing printed>") : linesOf(run.out).back(); };

    const fs::path plain = folder / "plain.wav", toward = folder / "toward.wav";
    const HostRun first = host({"render", input, plain, "--set", "Amount=100"});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(lastLine(first), "status: " + head + "balanced");

    const HostRun second = host({"render", input, toward, "--set", "Amount=100", "--target", "Male speech"});
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(lastLine(second), "status: " + head + "learned from Male speech");
    Sound a, b;
    ASSERT_TRUE(readSound(plain, a));
    ASSERT_TRUE(readSound(toward, b));
    EXPECT_NE(a.samples, b.samples); // the loaded target steers the correction

    const fs::path none = folder / "none.wav";
    const HostRun unknown = host({"render", input, none, "--target", "No such target"});
    EXPECT_NE(unknown.exitCode, 0);
    EXPECT_EQ(unknown.err, "aubrevane-host: no target named \"No such target\" (aubrevane-host targets lists them)\n");
    EXPECT_FALSE(fs::exists(none));
}

TEST_F(HostRender, LearnedTargetAndPresetAreSavedAndComeBack)
{
    const fs::path reference = folder / "reference.wav", first = folder / "first.wav", second = folder / "second.wav";
    ASSERT_TRUE(writeSound(reference, colouredStereo(44100, 4.0), 2, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_24));
    const HostRun learned =
        host({"render", input, first, "--reference", reference, "--save-target", "Ref", "--save-preset", "Bright"});
    ASSERT_EQ(learned.exitCode, 0) << learned.err;
    const auto targets = linesOf(host({"targets"}).out);
    EXPECT_NE(std::find(targets.begin(), targets.end(), "Ref"), targets.end());
    EXPECT_EQ(linesOf(host({"presets"}).out), std::vector<std::string>{"Bright"});

    const HostRun restored = host({"render", input, second, "--preset", "Bright"});
    ASSERT_EQ(restored.exitCode, 0) << restored.err;
    Sound a, b;
    ASSERT_TRUE(readSound(first, a));
    ASSERT_TRUE(readSound(second, b));
    EXPECT_EQ(a.samples, b.samples); // the preset carries the learned target
}

TEST_F(HostRender, ReplacingAPresetNeedsYes)
{
    ASSERT_EQ(host({"render", input, output, "--set", "Amount=10", "--save-preset", "Mine"}).exitCode, 0);
    const HostRun refused = host({"render", input, output, "--set", "Amount=90", "--save-preset", "Mine"});
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_NE(refused.err.find("answered No"), std::string::npos) << refused.err;

    const fs::path state = folder / "mine.state";
    ASSERT_EQ(host({"render", input, output, "--preset", "Mine", "--save-state", state}).exitCode, 0);
    const std::string kept = readText(state);
    ASSERT_EQ(host({"render", input, output, "--set", "Amount=90", "--save-preset", "Mine", "--yes"}).exitCode, 0);
    ASSERT_EQ(host({"render", input, output, "--preset", "Mine", "--save-state", state}).exitCode, 0);
    EXPECT_NE(readText(state), kept); // replaced only once the question was answered Yes
}

TEST_F(HostRender, PresetLoadedBackSavesTheSameStateBytes)
{
    // values at the ends of exponential ranges are the ones a lossy normalised round trip would move
    const fs::path saved = folder / "saved.state", loaded = folder / "loaded.state";
    const HostRun save =
        host({"render", input, output, "--set", "Pre-EQ 1 Freq=20000", "--set", "Range Low=20", "--set",
              "Pre-EQ 2 Q=10", "--set", "Tilt=0.3", "--save-preset", "Edges", "--save-state", saved});
    ASSERT_EQ(save.exitCode, 0) << save.err;
    const HostRun load = host({"render", input, output, "--preset", "Edges", "--save-state", loaded});
    ASSERT_EQ(load.exitCode, 0) << load.err;
    EXPECT_EQ(readText(loaded), readText(saved));
}

/** The preset-modified flag a saved state ends with. */
bool savedAsModified(const fs::path& state)
{
    const std::string bytes = readText(state);
    return bytes.size() >= 4 && bytes.compare(bytes.size() - 4, 4, std::string(4, '\0')) != 0;
}

TEST_F(HostRender, ChangesAfterALoadedPresetOrStateMarkItModified)
{
    const fs::path clean = folder / "clean.state", saved = folder / "saved.state";
    ASSERT_EQ(host({"render", input, output, "--save-preset", "Mine", "--save-state", clean}).exitCode, 0);
    ASSERT_FALSE(savedAsModified(clean));
    const std::vector<std::pair<std::vector<std::string>, bool>> cases = {
        {{"--preset", "Mine"}, false},
        {{"--preset", "Mine", "--set", "Amount=10"}, true},
        {{"--state", clean, "--set", "Amount=10"}, true},
        {{"--preset", "Mine", "--target", "Male speech"}, true},
    };
    for (const auto& [extra, modified] : cases)
    {
        std::vector<std::string> args = {"render", input, output, "--save-state", saved};
        args.insert(args.end(), extra.begin(), extra.end());
        const HostRun run = host(args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(savedAsModified(saved), modified) << extra.back();
    }
}

TEST_F(HostRender, RefusesToWriteOverItsOwnInputByAnyName)
{
    const std::string original = readText(input);
    fs::create_hard_link(input, folder / "hard.wav");
    fs::create_symlink(input, folder / "soft.wav");
    for (const fs::path& same : {input, folder / "hard.wav", folder / "soft.wav", folder / "." / "in.wav"})
    {
        const HostRun run = host({"render", input, same, "--set", "Amount=100"});
        EXPECT_EQ(run.exitCode, 1) << same;
        EXPECT_NE(run.err.find("OUT and IN name the same file"), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    EXPECT_EQ(readText(input), original);
    EXPECT_FALSE(leftoverPartials());
}

TEST_F(HostRender, RefusesToWriteOverItsOwnProgram)
{
    // a copy with its bundle, so a failure here cannot spoil the program the other tests run
    const fs::path program = aubrevane::test::hostCopyForEveryUser(AUBREVANE_HOST_EXE, folder / "program").program;
    const std::string bytes = readText(program);
    for (const auto& [args, option] : {std::pair{std::vector<std::string>{"render", input, program}, "OUT"},
                                       {std::vector<std::string>{"editor", "--png", program}, "--png"}})
    {
        const HostRun run = aubrevane::test::runProgram(program, args, folder);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, "aubrevane-host: " + std::string(option) + " and the host program name the same file (" +
                               program.string() + "); nothing was written\n");
    }
    EXPECT_EQ(readText(program), bytes);
}

TEST_F(HostRender, ADeviceIsWrittenInPlaceAndAPipeIsRefusedBothKeptAsTheyAre)
{
    if (access("/dev/null", W_OK) != 0)
        GTEST_SKIP() << "/dev/null is not writable here";
    const HostRun devNull = host({"render", input, "/dev/null"});
    EXPECT_EQ(devNull.exitCode, 0) << devNull.err;
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    const fs::path pipe = folder / "pipe.wav";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
    // a reader held open, so a host that opened the pipe would not block on it
    const int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const HostRun piped = host({"render", input, pipe});
    close(reader);
    EXPECT_EQ(piped.exitCode, 1);
    EXPECT_NE(piped.err.find("could not write " + pipe.string() + ": it is a named pipe"), std::string::npos)
        << piped.err;
    EXPECT_TRUE(fs::is_fifo(pipe));

    // a pipe without a name, reached through /proc as /dev/stdout would be
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const HostRun unnamed =
        host({"render", input, "/proc/" + std::to_string(getpid()) + "/fd/" + std::to_string(ends[1])});
    close(ends[0]);
    close(ends[1]);
    EXPECT_EQ(unnamed.exitCode, 1);
    EXPECT_NE(unnamed.err.find(": it is a named pipe"), std::string::npos) << unnamed.err;
}

TEST_F(HostRender, AReplacedOutputKeepsItsLinkAndItsPermissionBits)
{
    const fs::path real = folder / "real.wav", link = folder / "link.wav";
    aubrevane::test::writeFileBytes(real, "old output");
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(real, link);
    const HostRun run = host({"render", input, link});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(fs::is_symlink(link));
    Sound sound;
    ASSERT_TRUE(readSound(real, sound));
    EXPECT_EQ(sound.info.frames, 3 * 48000);
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::mask, fs::perms(0640));
    EXPECT_FALSE(leftoverPartials());
}

TEST_F(HostRender, AReplacedOutputKeepsItsOwnerAndGroup)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "only root may give a file to another owner";
    aubrevane::test::writeFileBytes(output, "old output");
    ASSERT_EQ(chown(output.c_str(), 1234, 5678), 0);
    const HostRun run = host({"render", input, output});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    struct stat status
    {
    };
    ASSERT_EQ(stat(output.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, 1234u);
    EXPECT_EQ(status.st_gid, 5678u);
}

TEST_F(HostRender, AFullDeviceIsNamedWithTheSystemsReason)
{
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no writable /dev/full here";
    // a device has no extension, so it is written in the input's format: Vorbis as well as WAV
    const fs::path vorbis = folder / "in.ogg";
    ASSERT_TRUE(writeSound(vorbis, colouredStereo(48000, 1.0), 2, 48000, SF_FORMAT_OGG | SF_FORMAT_VORBIS));
    for (const fs::path& in : {input, vorbis})
    {
        const HostRun run = host({"render", in, "/dev/full"});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, "aubrevane-host: could not write /dev/full: no space left on device\n");
        EXPECT_EQ(run.out, "");
    }
}

struct NamedFormat
{
    int input;              // the input's libsndfile format
    const char* outputName; // in the test folder
    int written;            // the format the output must be read back in
    bool samplesMayChange;  // the host says so in one line
};

TEST_F(HostRender, AnOutputsNameChoosesItsFormatAndTheNearestSampleFormat)
{
    const NamedFormat cases[] = {
        {SF_FORMAT_WAV | SF_FORMAT_PCM_16, "out.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, false},
        {SF_FORMAT_WAV | SF_FORMAT_FLOAT, "out.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, true},
        {SF_FORMAT_FLAC | SF_FORMAT_PCM_24, "OUT.AIF", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, false},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_16, "out.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, true},
        {SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, "out.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, false},
        {SF_FORMAT_WAV | SF_FORMAT_FLOAT, "out", SF_FORMAT_WAV | SF_FORMAT_FLOAT, false},
    };
    for (const auto& [inputFormat, outputName, written, samplesMayChange] : cases)
    {
        SCOPED_TRACE(outputName);
        const fs::path in = folder / "in.sound", out = folder / outputName;
        if (!writeSound(in, colouredStereo(44100, 1.0), 2, 44100, inputFormat))
        {
            EXPECT_EQ(inputFormat & SF_FORMAT_TYPEMASK, SF_FORMAT_MPEG); // only MP3 is optional in libsndfile
            continue;
        }
        const HostRun run = host({"render", in, out});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        Sound sound;
        ASSERT_TRUE(readSound(out, sound));
        EXPECT_EQ(sound.info.format, written);
        if (samplesMayChange)
            EXPECT_TRUE(run.err.starts_with("aubrevane-host: " + out.string() + " holds ") &&
                        run.err.ends_with("; samples may change\n") && linesOf(run.err).size() == 1)
                << run.err;
        else
            EXPECT_EQ(run.err, "");
        fs::remove(out);
    }
}

TEST_F(HostRender, AFlacOrMp3DamagedInTheMiddleSaysWhereDecodingStopped)
{
    const struct
    {
        const char* name;
        int format;
        bool lengthStored;
        bool inWav; // libsndfile's own MPEG decoding, whose libmpg123 notes stay off the terminal too
    } cases[] = {{"damaged.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, true, false},
                 {"unmeasured.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, false, false},
                 {"damaged.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, true, false},
                 {"mp3-inside.wav", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, true, true}};
    for (const auto& [name, format, lengthStored, inWav] : cases)
    {
        const fs::path damaged = folder / name;
        if (!writeSound(damaged, colouredStereo(44100, 6.0), 2, 44100, format))
        {
            EXPECT_EQ(format & SF_FORMAT_TYPEMASK, SF_FORMAT_MPEG); // only MP3 is optional in libsndfile
            continue;
        }
        if (inWav)
            aubrevane::test::writeFileBytes(damaged, mp3InWav(readText(damaged), 6 * 44100));
        {
            std::fstream bytes(damaged, std::ios::in | std::ios::out | std::ios::binary);
            if (!lengthStored)
            {
                // the 36-bit total sample count of STREAMINFO, 0 as an encoder writing to a pipe may leave it
                char field[5];
                bytes.seekg(21);
                bytes.read(field, 5);
                field[0] = static_cast<char>(field[0] & 0xF0);
                std::fill(field + 1, field + 5, '\0');
                bytes.seekp(21);
                bytes.write(field, 5);
            }
            bytes.seekp(static_cast<std::streamoff>(fs::file_size(damaged) * 2 / 5));
            bytes << std::string(4000, 'Z');
        }
        const HostRun run = host({"render", damaged, output});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(std::regex_match(
            run.err, std::regex("aubrevane-host: " + damaged.string() + " is damaged: decoding stopped at 2\\.[0-9] s" +
                                (lengthStored ? " of 6\\.0 s" : "") + "; the rest was not rendered\n")))
            << run.err;
    }
}

TEST_F(HostRender, ASaveFailingAfterTheAudioGivesTheReasonAndSaysTheOutputWasWritten)
{
    aubrevane::test::writeFileBytes(folder / "data" / "Aubrevane", "a file where the data folder should be");
    const struct
    {
        std::vector<std::string> extra;
        std::string what, reason; // the line ends with the reason
    } cases[] = {
        {{"--save-preset", "Mine"}, "preset", ": not a directory"},
        {{"--reference", input, "--save-target", "Mine"}, "target", ": not a directory"},
    };
    for (const auto& [extra, what, reason] : cases)
    {
        fs::remove(output);
        std::vector<std::string> args = {"render", input, output};
        args.insert(args.end(), extra.begin(), extra.end());
        const HostRun run = host(args);
        EXPECT_EQ(run.exitCode, 1) << what;
        EXPECT_EQ(run.err.rfind("aubrevane-host: the output was written, but the " + what + " was not saved: ", 0), 0u)
            << run.err;
        EXPECT_TRUE(run.err.ends_with(reason + "\n")) << run.err;
        EXPECT_TRUE(fs::exists(output)) << what;
    }
}

TEST_F(HostRender, IntegerOutputsReportTheirClippedSamplesAndFloatOutputsKeepTheOvers)
{
    const std::vector<double> tone = aubrevane::test::sine(440.0, 48000.0, 48000, 0.5);
    for (const int format : {SF_FORMAT_WAV | SF_FORMAT_PCM_16, SF_FORMAT_WAV | SF_FORMAT_FLOAT})
    {
        ASSERT_TRUE(writeSound(input, tone, 1, 48000, format));
        const HostRun run = host({"render", input, output, "--set", "Output=12", "--set", "Bypass=off"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        Sound out;
        ASSERT_TRUE(readSound(output, out));
        const double peak = std::abs(*std::max_element(out.samples.begin(), out.samples.end(),
                                                       [](double a, double b) { return std::abs(a) < std::abs(b); }));
        if ((format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16)
        {
            EXPECT_NE(run.err.find("samples clipped"), std::string::npos) << run.err;
            EXPECT_NE(run.err.find("dBFS"), std::string::npos) << run.err;
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        }
        else
        {
            EXPECT_EQ(run.err, "");
            EXPECT_GT(peak, 1.5);
        }
    }
}

TEST_F(HostRender, AnInputCutShortIsRenderedAsFarAsItGoesWithANote)
{
    for (const int format : {SF_FORMAT_WAV | SF_FORMAT_PCM_16, SF_FORMAT_FLAC | SF_FORMAT_PCM_16})
    {
        const fs::path cut = folder / ((format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC ? "cut.flac" : "cut.wav");
        ASSERT_TRUE(writeSound(cut, colouredStereo(48000, 2.0), 2, 48000, format));
        fs::resize_file(cut, fs::file_size(cut) / 2);
        const fs::path out = cut.string() + ".out" + cut.extension().string();
        const HostRun run = host({"render", cut, out});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NE(run.err.find("holds less audio than its header says"), std::string::npos) << run.err;
        Sound rendered;
        ASSERT_TRUE(readSound(out, rendered));
        EXPECT_GT(rendered.info.frames, 48000 / 2);
        EXPECT_LT(rendered.info.frames, 2 * 48000);
    }
}

TEST_F(HostRender, ACutMp3IsNotedOnceAndTheDecoderKeepsQuietOnEveryPath)
{
    const fs::path mp3 = folder / "cut.mp3";
    if (!writeSound(mp3, colouredStereo(44100, 8.0), 2, 44100, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III))
        GTEST_SKIP() << "this libsndfile cannot write MP3";
    fs::resize_file(mp3, fs::file_size(mp3) / 2);

    const HostRun learned = host({"render", input, output, "--reference", mp3});
    EXPECT_EQ(learned.exitCode, 0);
    EXPECT_EQ(learned.err, "");

    const HostRun render = host({"render", mp3, output});
    ASSERT_EQ(render.exitCode, 0) << render.err;
    const auto lines = linesOf(render.err);
    ASSERT_EQ(lines.size(), 1u) << render.err;
    EXPECT_EQ(lines[0].rfind("aubrevane-host: " + mp3.string() + " holds less audio than its header says", 0), 0u);
}

TEST_F(HostRender, AnMp3IsReadFromItsFirstFrameAfterPaddingOrStrayBytes)
{
    const fs::path clean = folder / "clean.mp3";
    if (!writeSound(clean, colouredStereo(44100, 3.0), 2, 44100, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III))
        GTEST_SKIP() << "this libsndfile cannot write MP3";
    const std::string bytes = readText(clean);
    const std::string tag = std::string("ID3\x03\0\0\0\0\0\x0f", 10) + std::string("TIT2\0\0\0\x05\0\0\0Song", 15);
    const fs::path cleanOut = folder / "clean.wav";
    ASSERT_EQ(host({"render", clean, cleanOut}).exitCode, 0);
    Sound expected;
    ASSERT_TRUE(readSound(cleanOut, expected));
    EXPECT_NEAR(static_cast<double>(expected.info.frames), 3.0 * 44100, 2304.0);

    for (const auto& [name, padded] :
         {std::pair{"padded.mp3", tag + std::string(1000, '\0') + bytes}, std::pair{"stray.mp3", "\r\nab" + bytes}})
    {
        const fs::path in = folder / name;
        aubrevane::test::writeFileBytes(in, padded);
        const HostRun run = host({"render", in, output});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        Sound rendered;
        ASSERT_TRUE(readSound(output, rendered));
        EXPECT_EQ(rendered.info.frames, expected.info.frames) << name;
        EXPECT_EQ(rendered.samples, expected.samples) << name;
        const HostRun learned = host({"render", input, output, "--reference", in});
        EXPECT_EQ(learned.exitCode, 0) << learned.err;
    }
}

TEST_F(HostRender, ANamedPipeRendersAsTheFileItCarries)
{
    // the decoders go back over what the pipe gave while they recognise and open it
    const fs::path flac = folder / "in.flac", mp3 = folder / "in.mp3", pipe = folder / "pipe";
    ASSERT_TRUE(writeSound(flac, colouredStereo(44100, 2.0), 2, 44100, SF_FORMAT_FLAC | SF_FORMAT_PCM_16));
    std::vector<std::pair<fs::path, std::string>> inputs = {{input, readText(input)}, {flac, readText(flac)}};
    if (writeSound(mp3, colouredStereo(44100, 2.0), 2, 44100, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III))
        inputs.emplace_back(mp3, "\r\nab" + readText(mp3));
    for (const auto& [file, bytes] : inputs)
    {
        aubrevane::test::writeFileBytes(file, bytes);
        ASSERT_EQ(host({"render", file, output}).exitCode, 0) << file;
        Sound expected, piped;
        ASSERT_TRUE(readSound(output, expected));

        ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
        std::thread writer(
            [&]
            {
                sigset_t pipeSignal;
                sigemptyset(&pipeSignal);
                sigaddset(&pipeSignal, SIGPIPE);
                pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr); // a host that stops reading fails the write
                const int end = ::open(pipe.c_str(), O_WRONLY);
                for (std::size_t done = 0; end >= 0 && done < bytes.size();)
                {
                    const ssize_t wrote = ::write(end, bytes.data() + done, bytes.size() - done);
                    if (wrote <= 0)
                        break;
                    done += static_cast<std::size_t>(wrote);
                }
                ::close(end);
            });
        const HostRun run = host({"render", pipe, output});
        ::close(::open(pipe.c_str(), O_RDONLY | O_NONBLOCK)); // releases a writer the host never met
        writer.join();
        fs::remove(pipe);
        ASSERT_EQ(run.exitCode, 0) << file << ": " << run.err;
        ASSERT_TRUE(readSound(output, piped));
        EXPECT_EQ(piped.info.frames, expected.info.frames) << file;
        EXPECT_EQ(piped.samples, expected.samples) << file;
    }
}

TEST_F(HostRender, ReadingOpensNothingButTheInput)
{
    const fs::path mp3 = folder / "m.mp3", junk = folder / "junk.wav", errors = folder / "errors.txt";
    if (!writeSound(mp3, colouredStereo(44100, 3.0), 2, 44100, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III))
        GTEST_SKIP() << "this libsndfile cannot write MP3";
    aubrevane::test::writeFileBytes(junk, std::string(5000, 'j'));
    // where libsndfile looks for a Macintosh resource fork: in the current folder for what it reads through a
    // descriptor, beside the file for what it opens by name
    for (const char* other : {"._", "._m.mp3", "._junk.wav", "._in.wav"})
        aubrevane::test::writeFileBytes(folder / other, "not a resource fork");
    const auto inFolder = [&](const std::vector<std::string>& args)
    {
        std::vector<std::string> argv = {AUBREVANE_HOST_EXE};
        argv.insert(argv.end(), args.begin(), args.end());
        ChildProcess run(argv, errors,
                         [&]
                         {
                             if (chdir(folder.c_str()) != 0)
                                 _exit(126);
                         });
        const int code = run.wait();
        return std::pair{code, readText(errors)};
    };

    EXPECT_EQ(inFolder({"render", mp3, output}), std::pair(0, std::string()));
    EXPECT_EQ(inFolder({"render", input, output, "--reference", mp3}), std::pair(0, std::string()));
    EXPECT_EQ(inFolder({"render", input, output}), std::pair(0, std::string()));
    EXPECT_EQ(inFolder({"render", junk, output}),
              std::pair(1, "aubrevane-host: could not decode " + junk.string() + ": format not recognised\n"));
}

TEST_F(HostRender, AnUndecodableFileIsNamedInOneLineWhetherRenderedOrLearnedFrom)
{
    std::mt19937 random(5);
    std::string junk(20000, '\0');
    for (char& c : junk)
        c = static_cast<char>(random());
    const std::pair<const char*, std::string> files[] = {
        {"junk.wav", junk},
        {"program.mp3", readText(AUBREVANE_HOST_EXE)},
        {"tagged.mp3", std::string("ID3\x03\0\0\0\0\0\x08", 10) + junk},
        {"text.flac", "these are words, not sound\n"},
    };
    for (const auto& [name, bytes] : files)
    {
        const fs::path file = folder / name;
        aubrevane::test::writeFileBytes(file, bytes);
        const HostRun render = host({"render", file, output});
        EXPECT_EQ(render.exitCode, 1) << name;
        EXPECT_EQ(linesOf(render.err).size(), 1u) << render.err;
        EXPECT_EQ(render.err.rfind("aubrevane-host: could not decode " + file.string() + ": ", 0), 0u) << render.err;

        const HostRun learned = host({"render", input, output, "--reference", file});
        EXPECT_EQ(learned.exitCode, 1) << name;
        EXPECT_EQ(learned.err,
                  "aubrevane-host: could not learn from " + file.string() + ": could not read " + name + "\n");
    }
}

TEST_F(HostRender, LearningThatNeverFinishesSaysSoAndKeepsTheTarget)
{
    const fs::path quiet = folder / "quiet.wav", loud = folder / "loud.wav";
    ASSERT_TRUE(writeSound(quiet, aubrevane::test::sine(440.0, 48000.0, 5 * 48000, 1e-5), 1, 48000,
                           SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    ASSERT_TRUE(writeSound(loud, colouredStereo(48000, 5.0), 2, 48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT));

    const HostRun unfinished = host({"render", quiet, output, "--learn"});
    ASSERT_EQ(unfinished.exitCode, 0) << unfinished.err;
    EXPECT_EQ(unfinished.err, "aubrevane-host: learning from " + quiet.string() +
                                  " did not finish: the input was above the Analysis Threshold for less than 3 "
                                  "seconds; the target is unchanged\n");
    EXPECT_NE(unfinished.out.find("target: balanced"), std::string::npos) << unfinished.out;

    const HostRun bypassed = host({"render", loud, output, "--learn", "--set", "Bypass=on"});
    ASSERT_EQ(bypassed.exitCode, 0) << bypassed.err;
    EXPECT_EQ(bypassed.err, "aubrevane-host: learning from " + loud.string() +
                                " did not start: Bypass is on; the target is unchanged\n");

    const HostRun finished = host({"render", loud, output, "--learn"});
    ASSERT_EQ(finished.exitCode, 0) << finished.err;
    EXPECT_EQ(finished.err, "");
    EXPECT_NE(finished.out.find("target: learned from input"), std::string::npos) << finished.out;
}

TEST_F(HostRender, EveryFormOfHelpPrintsTheUsageOnStdoutAndACommandsHelpOnlyItsOwn)
{
    for (const std::string form :
         {"--help", "-h", "help", "render --help", "params -h", "targets --help", "presets --help", "status --help",
          "check-updates --help", "editor --help", "editor -h"})
    {
        std::istringstream words(form);
        const HostRun run = host({std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()});
        EXPECT_EQ(run.exitCode, 0) << form;
        EXPECT_EQ(run.out.rfind("usage:", 0), 0u) << form << ": " << run.out;
        EXPECT_EQ(run.err, "") << form;
        if (form.find(' ') == std::string::npos)
        {
            EXPECT_NE(run.out.find("render IN OUT"), std::string::npos) << run.out;
            EXPECT_NE(run.out.find("editor --window"), std::string::npos) << run.out;
            continue;
        }
        const std::string command = "aubrevane-host " + form.substr(0, form.find(' ')) + " ";
        EXPECT_NE(run.out.find(command), std::string::npos) << form << ": " << run.out;
        for (const std::string& line : linesOf(run.out)) // every usage line is the command's own
        {
            if (line.find("aubrevane-host ") == std::string::npos)
                continue;
            EXPECT_NE(line.find(command), std::string::npos) << form << ": " << line;
        }
    }
}

TEST_F(HostRender, ProgressWithoutATerminalIsAFewPlainLines)
{
    ASSERT_TRUE(writeSound(input, std::vector<double>(8000 * 30, 0.1), 1, 8000, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    const HostRun run = host({"render", input, output});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("rendering"), std::string::npos);
    EXPECT_EQ(run.err.find('\r'), std::string::npos);
    EXPECT_LE(std::count(run.err.begin(), run.err.end(), '\n'), 5) << run.err;
}

/** A test run as a background job, or under nohup, would otherwise hand down an ignored SIGINT or SIGHUP. */
void defaultStopSignals()
{
    signal(SIGINT, SIG_DFL);
    signal(SIGHUP, SIG_DFL);
}

TEST_F(HostRender, AnInterruptedRenderLeavesNoPartialOutputAndSavesNothing)
{
    // ten minutes in blocks of one frame, so the render is still running when the signal arrives
    ASSERT_TRUE(writeSound(input, std::vector<double>(8000 * 600, 0.1), 1, 8000, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    const fs::path state = folder / "saved.state", errors = folder / "errors.txt";
    for (const auto& [sent, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}, std::pair{SIGHUP, 129}})
    {
        ChildProcess render({AUBREVANE_HOST_EXE, "render", input, output, "--block", "1", "--save-preset", "Mine",
                             "--save-state", state},
                            errors, defaultStopSignals);
        EXPECT_TRUE(render.awaitUnnamedFileIn(folder));
        render.sendSignal(sent);
        EXPECT_EQ(render.wait(), status) << "signal " << sent;
        EXPECT_NE(readText(errors).find("aubrevane-host: interrupted; nothing was written\n"), std::string::npos);
        EXPECT_FALSE(leftoverPartials());
        EXPECT_FALSE(fs::exists(output));
        EXPECT_FALSE(fs::exists(state));
        EXPECT_TRUE(linesOf(host({"presets"}).out).empty());
    }
}

TEST_F(HostRender, AStopSignalEndsARenderWaitingOnANamedPipeWhoseWriterStalls)
{
    const fs::path pipe = folder / "pipe.wav", errors = folder / "errors.txt";
    ASSERT_TRUE(writeSound(input, std::vector<double>(8000 * 10, 0.1), 1, 8000, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    const std::string sound = readText(input);
    ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
    // nobody writes; a writer stalls within the header; a writer stalls within the audio
    const std::optional<std::string> sent[] = {std::nullopt, sound.substr(0, 20), sound.substr(0, 4096)};
    for (const auto& bytes : sent)
    {
        for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}, std::pair{SIGHUP, 129}})
        {
            // the test holds the pipe open for writing and never reads it
            const int writer = bytes ? open(pipe.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC) : -1;
            if (bytes)
            {
                ASSERT_EQ(write(writer, bytes->data(), bytes->size()), static_cast<ssize_t>(bytes->size()));
            }
            ChildProcess render({AUBREVANE_HOST_EXE, "render", pipe, output}, errors, defaultStopSignals);
            // the output is prepared just before the input opens; then the host takes what was sent
            render.awaitUnnamedFileIn(folder);
            int queued = 0;
            for (int polls = 0; writer >= 0 && polls < 2000 && ioctl(writer, FIONREAD, &queued) == 0 && queued > 0;
                 ++polls)
                usleep(5000);
            // one signal, also one that comes just before a wait starts
            render.sendSignal(signal);
            const std::optional<int> code = render.waitUpTo(10000);
            if (!code)
                render.sendSignal(SIGKILL);
            EXPECT_EQ(code, status) << "signal " << signal << " after " << (bytes ? bytes->size() : 0) << " bytes";
            EXPECT_EQ(readText(errors), "aubrevane-host: interrupted; nothing was written\n");
            EXPECT_FALSE(leftoverPartials());
            EXPECT_FALSE(fs::exists(output));
            if (writer >= 0)
                close(writer);
        }
    }
}

TEST_F(HostRender, AFileSizeLimitFailsTheWriteWithOneLineAndLeavesNoPartial)
{
    const fs::path state = folder / "saved.state", errors = folder / "errors.txt";
    ChildProcess render({AUBREVANE_HOST_EXE, "render", input, output, "--save-state", state}, errors,
                        aubrevane::test::limitFileSize(64 * 1024)); // the 3 s input is over a megabyte
    EXPECT_EQ(render.wait(), 1);
    const std::string message = readText(errors);
    EXPECT_EQ(message.rfind("aubrevane-host: could not write " + output.string() + ": ", 0), 0u) << message;
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
    EXPECT_FALSE(leftoverPartials());
    EXPECT_FALSE(fs::exists(output));
    EXPECT_FALSE(fs::exists(state));
}

TEST_F(HostRender, AFolderTurnedReadOnlyMidRenderFailsTheWriteAndKeepsNothing)
{
    // root passes every permission check, so the host runs as nobody there, from a copy in this test's folder:
    // nobody may be unable to reach the build folder
    const fs::path outputs = folder / "outputs", written = outputs / "out.wav";
    fs::create_directory(outputs);
    fs::permissions(outputs, fs::perms::all);
    ASSERT_TRUE(writeSound(input, std::vector<double>(8000 * 600, 0.1), 1, 8000, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    const fs::path errors = folder / "errors.txt";
    ChildProcess render = renderAsNobody({input, written, "--block", "4"}, errors);
    render.awaitUnnamedFileIn(outputs);
    fs::permissions(outputs, fs::perms(0555));
    EXPECT_EQ(render.wait(), 1);
    const std::string message = readText(errors); // after the progress lines
    EXPECT_TRUE(message.ends_with("\naubrevane-host: could not write " + written.string() + ": permission denied\n"))
        << message;
    EXPECT_TRUE(fs::is_empty(outputs));
}

TEST_F(HostRender, AnotherUsersFileInAStickyFolderIsRefusedBeforeTheAudio)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can leave another user's file here";
    // as in /tmp: anyone may write the file, only its owner may replace it; the host runs as nobody
    const fs::path shared = folder / "shared", theirs = shared / "out.wav", errors = folder / "errors.txt";
    fs::create_directory(shared);
    fs::permissions(shared, fs::perms(01777));
    aubrevane::test::writeFileBytes(theirs, "their file");
    fs::permissions(theirs, fs::perms(0666));
    // long enough for progress lines, which would show that audio was rendered
    ASSERT_TRUE(writeSound(input, std::vector<double>(8000 * 30, 0.1), 1, 8000, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    ChildProcess render = renderAsNobody({input, theirs}, errors);
    EXPECT_EQ(render.wait(), 1);
    EXPECT_EQ(readText(errors), "aubrevane-host: could not write " + theirs.string() +
                                    ": operation not permitted: it belongs to another user, and only its owner may "
                                    "replace it in this sticky folder\n");
    EXPECT_EQ(readText(theirs), "their file");
    EXPECT_EQ(std::distance(fs::directory_iterator(shared), fs::directory_iterator()), 1);
}

TEST_F(HostRender, AReferenceTheUserMayNotReadGivesTheSystemsReason)
{
    // root passes every permission check, so the host runs as nobody there
    const fs::path outputs = folder / "outputs", secret = folder / "secret.wav";
    fs::create_directory(outputs);
    fs::permissions(outputs, fs::perms::all);
    ASSERT_TRUE(writeSound(secret, colouredStereo(48000, 3.0), 2, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    fs::permissions(secret, fs::perms::none);
    const fs::path errors = folder / "errors.txt";
    ChildProcess render = renderAsNobody({input, outputs / "out.wav", "--reference", secret}, errors);
    EXPECT_EQ(render.wait(), 1);
    EXPECT_EQ(readText(errors), "aubrevane-host: could not learn from " + secret.string() +
                                    ": could not read secret.wav: permission denied\n");
}

TEST_F(HostRender, OutputNamesAtTheFoldersLimitRenderAndSave)
{
    // both partial names are shortened to the same stem, and still apart
    const std::string stem(240, 'a');
    const fs::path longOutput = folder / (stem + "-output.wav"), longState = folder / (stem + "-saved.state");
    const HostRun run = host({"render", input, longOutput, "--save-state", longState});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Sound sound;
    ASSERT_TRUE(readSound(longOutput, sound));
    EXPECT_EQ(sound.info.frames, 3 * 48000);
    EXPECT_EQ(readText(longState).substr(0, 4), "1SVA");
    EXPECT_FALSE(leftoverPartials());
}

TEST_F(HostRender, AMissingOrUnknownCommandListsEveryCommand)
{
    for (const std::vector<std::string>& args : {std::vector<std::string>{}, std::vector<std::string>{"mix"}})
    {
        const HostRun run = host(args);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find("(use render, editor, params, targets, presets, status or check-updates)"),
                  std::string::npos)
            << run.err;
    }
}

/** A render whose output outgrows the file size limit of its process. */
class HostWriteFailure : public HostRender, public testing::WithParamInterface<std::pair<const char*, int>>
{
};

TEST_P(HostWriteFailure, GivesTheReasonInOneLineAndKeepsTheOldFile)
{
    const auto& [name, format] = GetParam();
    SF_INFO info{};
    info.channels = 2;
    info.samplerate = 48000;
    info.format = format;
    if (!sf_format_check(&info))
        GTEST_SKIP() << "this libsndfile cannot write " << name;
    const fs::path old = folder / name, errors = folder / "errors.txt";
    const std::string oldBytes(20000, 'o');
    aubrevane::test::writeFileBytes(old, oldBytes);
    constexpr rlim_t kLimitBytes = 16384; // above the old file, far below three seconds in any of the formats
    ChildProcess render({AUBREVANE_HOST_EXE, "render", input, old}, errors,
                        aubrevane::test::limitFileSize(kLimitBytes));
    EXPECT_EQ(render.wait(), 1);
    EXPECT_EQ(readText(errors), "aubrevane-host: could not write " + old.string() + ": file too large\n");
    EXPECT_EQ(readText(old), oldBytes);
    EXPECT_FALSE(leftoverPartials());
}

INSTANTIATE_TEST_SUITE_P(Formats, HostWriteFailure,
                         testing::Values(std::pair{"old.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
                                         std::pair{"old.aiff", SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
                                         std::pair{"old.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
                                         std::pair{"old.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
                                         std::pair{"old.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III}),
                         [](const auto& info) { return std::string(info.param.first).substr(4); });

struct BadInput
{
    const char* what;
    std::vector<std::string> extra; // after "render IN OUT"; a leading '@' names a file in the test folder
    const char* message;            // part of the one-line error
    const char* inputName = "in.wav";
    const char* outputName = "out.wav";
    friend void PrintTo(const BadInput& c, std::ostream* os) { *os << c.what; }
};

class HostBadInput : public HostRender, public testing::WithParamInterface<BadInput>
{
};

TEST_P(HostBadInput, FailsWithOneLineAndLeavesTheOldOutputAlone)
{
    {
        std::ofstream old(output);
        old << "old output";
    }
    std::ofstream(folder / "text.wav") << "this is not audio";
    std::string newer = "1SVA";
    newer += std::string{7, 0, 0, 0} + std::string(120, '\0');
    aubrevane::test::writeFileBytes(folder / "newer.state", newer);
    aubrevane::test::writeFileBytes(folder / "data/Aubrevane/Presets/Q.avpreset",
                                    "Aubrevane preset 1\nname=Q\nstate=MVNWQQ==\n");
    aubrevane::test::writeFileBytes(folder / "data/Aubrevane/Targets/T.avtarget",
                                    "Aubrevane target 1\nname=T\nbalance=0 0 0 0 0 0 0 0 0 0 0 0\n");
    ASSERT_TRUE(writeSound(folder / "three.wav", std::vector<double>(3 * 480, 0.1), 3, 48000,
                           SF_FORMAT_WAV | SF_FORMAT_PCM_16));

    const auto folderBytes = [this]
    {
        std::map<fs::path, std::string> bytes;
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            if (entry.is_regular_file())
                bytes[entry.path()] = readText(entry.path());
        return bytes;
    };
    const auto before = folderBytes();

    std::vector<std::string> args = {"render", (folder / GetParam().inputName).string(),
                                     (folder / GetParam().outputName).string()};
    for (const std::string& arg : GetParam().extra)
        args.push_back(arg.starts_with('@') ? (folder / arg.substr(1)).string() : arg);
    const HostRun run = host(args);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_EQ(run.err.rfind("aubrevane-host: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(GetParam().message), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(readText(output), "old output");
    EXPECT_EQ(folderBytes(), before); // nothing written: no input, state or reference touched, no file left behind
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostBadInput,
    testing::Values(
        BadInput{"missing", {}, "no such file", "missing.wav"},
        BadInput{"undecodable", {}, "could not decode", "text.wav"},
        BadInput{"three channels", {}, "only mono and stereo", "three.wav"},
        BadInput{"input folder", {}, ": it is a folder", "."},
        BadInput{"unknown option", {"--loud"}, "unknown option --loud"},
        BadInput{"unknown parameter", {"--set", "Volume=3"}, "valid names: Amount, Speed"},
        BadInput{"out of range", {"--set", "Amount=150"}, "out of range; valid values run from 0 to 100"},
        BadInput{"not a number", {"--set", "Amount=lots"}, "takes a number"},
        BadInput{"bad block", {"--block", "0"}, "--block takes a whole number"},
        BadInput{"damaged state", {"--state", "@text.wav"}, "does not hold an Aubrevane state"},
        BadInput{"state folder", {"--state", "@"}, "it is a folder"},
        BadInput{"empty preset name", {"--save-preset", ""}, "--save-preset is empty"},
        BadInput{"target and learn", {"--target", "Male speech", "--learn"}, "give only one of them"},
        BadInput{
            "reference and target", {"--reference", "@in.wav", "--target", "Male speech"}, "give only one of them"},
        BadInput{"missing folder", {}, "no such file or directory", "in.wav", "absent/out.wav"},
        BadInput{"state over the input", {"--save-state", "@in.wav"}, "--save-state and IN name the same file"},
        BadInput{"output over the reference", {"--reference", "@out.wav"}, "OUT and --reference name the same file"},
        BadInput{"state over the state read",
                 {"--state", "@text.wav", "--save-state", "@text.wav"},
                 "--save-state and --state name the same file"},
        BadInput{"state over the output", {"--save-state", "@./out.wav"}, "OUT and --save-state name the same file"},
        BadInput{"state into a missing folder",
                 {"--save-state", "@absent/s.state"},
                 "absent/s.state: no such file or directory"},
        BadInput{"folder is a file", {}, "not a directory", "in.wav", "text.wav/out.wav"},
        BadInput{"state where no file can be made", {"--save-state", "/proc/x.state"}, "could not write /proc/x.state"},
        BadInput{"output over the bundle", {"--plugin", "@out.wav"}, "OUT and --plugin name the same file"},
        BadInput{"output over the preset",
                 {"--preset", "Q"},
                 "OUT and --preset name the same file",
                 "in.wav",
                 "data/Aubrevane/Presets/Q.avpreset"},
        BadInput{"state over the target",
                 {"--target", "T", "--save-state", "@data/Aubrevane/Targets/T.avtarget"},
                 "--save-state and --target name the same file"},
        BadInput{"empty target name", {"--save-target", "  "}, "--save-target is empty"},
        BadInput{"empty plugin name", {"--plugin", ""}, "the name given to --plugin is empty"},
        BadInput{"output over the saved preset",
                 {"--save-preset", "Q", "--yes"},
                 "OUT and --save-preset name the same file",
                 "in.wav",
                 "data/Aubrevane/Presets/Q.avpreset"},
        BadInput{"state over a new preset",
                 {"--save-preset", " Other ", "--save-state", "@data/Aubrevane/Presets/Other.avpreset"},
                 "--save-state and --save-preset name the same file"},
        BadInput{"output over the saved target",
                 {"--learn", "--save-target", "T"},
                 "OUT and --save-target name the same file",
                 "in.wav",
                 "data/Aubrevane/Targets/T.avtarget"},
        BadInput{"missing reference", {"--reference", "@absent.wav"}, "absent.wav: no such file or directory"},
        BadInput{"reference folder", {"--reference", "@data"}, "data: could not read data: it is a folder"},
        BadInput{"newer state",
                 {"--state", "@newer.state"},
                 "newer.state: the state was saved by a newer version (state version 7); this one reads up to "
                 "version 5"}),
    [](const auto& info)
    {
        std::string name = info.param.what;
        for (char& c : name)
            if (c == ' ')
                c = '_';
        return name;
    });

} // namespace
