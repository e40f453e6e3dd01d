#include "offline/FactoryTargets.h"
#include "offline/SavedTarget.h"

#include "support/FileBytes.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <future>
#include <locale>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace aubrevane::offline
{
namespace
{

namespace fs = std::filesystem;
using test::readFileBytes;
using test::writeFileBytes;

const dsp::Balance kSample = {1.31649, -22.0324, 0.0,      -0.0004, 2.69,   1.6,
                              5.93,    -9.76,    999.9994, -1000.0, 0.0005, 12.3456};

class SavedTargetFiles : public testing::Test
{
protected:
    fs::path folder = test::testFolder() / "data" / "Aubrevane" / "Targets";
    std::string message;
};

/** Comma decimals and dot grouping, as many European locales have; built here so no installed locale is needed. */
struct CommaPunctuation : std::numpunct<char>
{
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

/** Makes the comma locale the global one (every new stream starts in it), and restores the previous one. */
class CommaLocale
{
public:
    CommaLocale() : previous(std::locale::global(std::locale(std::locale::classic(), new CommaPunctuation))) {}
    ~CommaLocale() { std::locale::global(previous); }

private:
    std::locale previous;
};

TEST_F(SavedTargetFiles, WritesTheExactTextAndReadsItBackToThreeDecimalsUnderACommaLocale)
{
    CommaLocale comma;
    std::ostringstream probe;
    probe << 1234.5;
    ASSERT_EQ(probe.str(), "1.234,5");

    ASSERT_TRUE(writeTarget(folder, "a\nb\r", "song.wav", kSample, message)) << message;
    const fs::path path = folder / "a-b-.avtarget"; // the file name comes from the name as passed in
    EXPECT_EQ(readFileBytes(path), "Aubrevane target 1\nname=a b \nsource=song.wav\n"
                                   "balance=1.316 -22.032 0.000 -0.000 2.690 1.600 5.930 -9.760 999.999 -1000.000 "
                                   "0.001 12.346\n");

    SavedTarget target;
    ASSERT_TRUE(readTarget(path, target, message)) << message;
    EXPECT_EQ(target.name, "a b ");
    EXPECT_EQ(target.source, "song.wav");
    EXPECT_EQ(target.path, path);
    EXPECT_FALSE(target.factory);
    for (int k = 0; k < dsp::kNumBands; ++k)
        EXPECT_NEAR(target.balance[k], kSample[k], 0.0005 + 1e-12) << "band " << k;
    EXPECT_TRUE(std::signbit(target.balance[3])); // "-0.000" reads back as negative zero
}

TEST_F(SavedTargetFiles, SavingTheSameNameReplacesItsFileAndAnotherNameForTheSameFileGetsASibling)
{
    ASSERT_TRUE(writeTarget(folder, "My/voice", "one.wav", kSample, message));
    ASSERT_TRUE(writeTarget(folder, "My:voice", "two.wav", kSample, message));
    ASSERT_TRUE(writeTarget(folder, "My:voice", "three.wav", kSample, message));
    EXPECT_EQ(targetPathForName(folder, "My/voice"), folder / "My-voice.avtarget");
    EXPECT_EQ(targetPathForName(folder, "My:voice"), folder / "My-voice-1.avtarget");
    EXPECT_EQ(targetPathForName(folder, "My?voice"), folder / "My-voice-2.avtarget");

    const auto targets = listTargets(folder);
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_EQ(targets[0].name, "My/voice");
    EXPECT_EQ(targets[0].source, "one.wav");
    EXPECT_EQ(targets[1].name, "My:voice");
    EXPECT_EQ(targets[1].source, "three.wav");

    // An unreadable file in the way is passed over and left as it was.
    writeFileBytes(folder / "Voice.avtarget", "scribbles");
    ASSERT_TRUE(writeTarget(folder, "Voice", "", kSample, message));
    EXPECT_EQ(readFileBytes(folder / "Voice.avtarget"), "scribbles");
    EXPECT_TRUE(fs::exists(folder / "Voice-1.avtarget"));
}

TEST_F(SavedTargetFiles, RefusesWhatCouldNotBeReadBackAndLeavesTheOldFile)
{
    ASSERT_TRUE(writeTarget(folder, "Voice", "", kSample, message));
    const auto before = readFileBytes(folder / "Voice.avtarget");

    dsp::Balance bad = kSample;
    bad[4] = std::nan("");
    EXPECT_FALSE(writeTarget(folder, "Voice", "", bad, message));
    EXPECT_EQ(message, "the target has no complete curve: Voice");
    bad[4] = 1000.5;
    EXPECT_FALSE(writeTarget(folder, "Voice", "", bad, message));
    const std::string longName(kMaxTargetFileBytes, 'x');
    EXPECT_FALSE(writeTarget(folder, longName, "", kSample, message));
    EXPECT_EQ(message, "could not write " + targetPathForName(folder, longName).string() +
                           ": the file would be too large to read back");
    EXPECT_EQ(readFileBytes(folder / "Voice.avtarget"), before);

    {
        const test::FreshWorkingFolder working;
        EXPECT_FALSE(writeTarget("relative", "Voice", "", kSample, message));
        EXPECT_EQ(message, "could not write relative/Voice.avtarget");
        EXPECT_TRUE(working.empty());
    }

    writeFileBytes(test::testFolder() / "plain", "x");
    EXPECT_FALSE(writeTarget(test::testFolder() / "plain", "Voice", "", kSample, message));
    EXPECT_EQ(message,
              "could not write " + (test::testFolder() / "plain" / "Voice.avtarget").string() + ": not a directory");
}

struct ReadCase
{
    const char* text;
    const char* expectedMessage; // empty: the file reads
    const char* expectedName = "";
    double band0 = 0.0;
};

class ReadingTargetFiles : public SavedTargetFiles, public testing::WithParamInterface<ReadCase>
{
};

TEST_P(ReadingTargetFiles, ReadsOrRejectsWithTheExactMessage)
{
    fs::create_directories(folder);
    const fs::path path = folder / "Stem.avtarget";
    writeFileBytes(path, GetParam().text);
    SavedTarget target;
    target.name = "untouched";
    const bool read = readTarget(path, target, message);
    if (*GetParam().expectedMessage == '\0')
    {
        ASSERT_TRUE(read) << message;
        EXPECT_EQ(target.name, GetParam().expectedName);
        EXPECT_EQ(target.balance[0], GetParam().band0);
        EXPECT_EQ(target.balance[11], 11.0);
    }
    else
    {
        EXPECT_FALSE(read);
        EXPECT_EQ(message, GetParam().expectedMessage);
        if (std::string(GetParam().expectedMessage).starts_with("not an"))
        {
            EXPECT_EQ(target.name, "untouched");
        }
    }
}

#define TWELVE "0 1 2 3 4 5 6 7 8 9 10 11"
INSTANTIATE_TEST_SUITE_P(
    Cases, ReadingTargetFiles,
    testing::Values(
        ReadCase{"Aubrevane target 1\r\nname=Voice\r\nbalance=" TWELVE "\r\n", "", "Voice", 0.0},
        ReadCase{"Aubrevane target 1\rname=Voice\rbalance=" TWELVE "\r", "not an Aubrevane target: Stem"},
        ReadCase{"Aubrevane target 2\nbalance=" TWELVE "\n", "not an Aubrevane target: Stem"},
        ReadCase{"\xEF\xBB\xBF"
                 "Aubrevane target 1\nbalance=" TWELVE "\n",
                 "not an Aubrevane target: Stem"},
        ReadCase{"Aubrevane target 1 \nbalance=" TWELVE "\n", "not an Aubrevane target: Stem"},
        ReadCase{"", "not an Aubrevane target: Stem"},
        ReadCase{"Aubrevane target 1\nname=Voice\n", "the target has no complete curve: Stem"},
        ReadCase{"Aubrevane target 1\nbalance=0 1 2 3 4 5 6 7 8 9 10\n", "the target has no complete curve: Stem"},
        ReadCase{"Aubrevane target 1\nbalance=0 1 2 3 4 five 6 7 8 9 10 11\n",
                 "the target has no complete curve: Stem"},
        ReadCase{"Aubrevane target 1\nbalance=0 1 2 3 nan 5 6 7 8 9 10 11\n", "the target has no complete curve: Stem"},
        ReadCase{"Aubrevane target 1\nbalance=0 1 2 3 1e400 5 6 7 8 9 10 11\n",
                 "the target has no complete curve: Stem"},
        ReadCase{"Aubrevane target 1\nbalance=0 1 2 3 -1000.001 5 6 7 8 9 10 11\n",
                 "the target has no complete curve: Stem"},
        ReadCase{"Aubrevane target 1\nbalance=" TWELVE "\nbalance=1 2\n", "the target has no complete curve: Stem"},
        ReadCase{"Aubrevane target 1\nbalance=1 2\nbalance=-1000 1 2 3 4 5 6 7 8 9 10 11", "", "Stem", -1000.0},
        ReadCase{"Aubrevane target 1\nbalance=5 1 2 3 4 5 6 7 8 9 10 11 12 x\nname=\n", "", "Stem", 5.0},
        ReadCase{"Aubrevane target 1\nName=Capital\nname= spaced=out\n\nnoise\nother=1\nbalance=" TWELVE, "",
                 " spaced=out", 0.0}));

TEST_F(SavedTargetFiles, RefusesAFifoAtOnceAndAnOversizedFile)
{
    fs::create_directories(folder);
    const fs::path fifo = folder / "Pipe.avtarget";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto reading = std::async(std::launch::async,
                              [&]
                              {
                                  SavedTarget target;
                                  std::string fifoMessage;
                                  return readTarget(fifo, target, fifoMessage) ? std::string("read") : fifoMessage;
                              });
    if (reading.wait_for(std::chrono::seconds(10)) != std::future_status::ready)
    {
        ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK)); // lets the blocked reader go, so the test can end
        FAIL() << "reading a FIFO blocked";
    }
    EXPECT_EQ(reading.get(), "not an Aubrevane target: Pipe");

    const std::string valid = "Aubrevane target 1\nbalance=" TWELVE "\n";
    writeFileBytes(folder / "Big.avtarget", valid + std::string(kMaxTargetFileBytes - valid.size() + 1, '\n'));
    writeFileBytes(folder / "Edge.avtarget", valid + std::string(kMaxTargetFileBytes - valid.size(), '\n'));
    fs::create_directory(folder / "Folder.avtarget");
    const auto targets = listTargets(folder);
    ASSERT_EQ(targets.size(), 1u);
    EXPECT_EQ(targets[0].name, "Edge");
}

TEST_F(SavedTargetFiles, ListsReadableTargetsByNameThenPathAndCreatesNoFolder)
{
    EXPECT_TRUE(listTargets(folder).empty());
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_TRUE(listTargets({}).empty());

    fs::create_directories(folder);
    const auto target = [](const std::string& name)
    { return "Aubrevane target 1\nname=" + name + "\nbalance=" TWELVE "\n"; };
    writeFileBytes(folder / "z.avtarget", target("Same"));
    writeFileBytes(folder / "c.avtarget", target("a"));
    writeFileBytes(folder / "b.avtarget", target("B"));
    writeFileBytes(folder / "y.avtarget", target("A"));
    writeFileBytes(folder / "a.avtarget", target("Same"));
    writeFileBytes(folder / "bad.avtarget", "Aubrevane target 1\n");
    writeFileBytes(folder / "upper.AVTARGET", target("Upper"));
    writeFileBytes(folder / "backup.avtarget.bak", target("Backup"));

    std::vector<std::string> listed;
    for (const auto& t : listTargets(folder))
        listed.push_back(t.name + "@" + t.path.filename().string());
    EXPECT_EQ(listed, (std::vector<std::string>{"A@y.avtarget", "B@b.avtarget", "Same@a.avtarget", "Same@z.avtarget",
                                                "a@c.avtarget"}));
}

TEST(UserTargetDirectory, IsUnderAnAbsoluteBaseOnly)
{
    EXPECT_EQ(userTargetDirectory("/home/u/.local/share"), fs::path("/home/u/.local/share/Aubrevane/Targets"));
    EXPECT_TRUE(userTargetDirectory("").empty());
    EXPECT_TRUE(userTargetDirectory("share").empty());
}

TEST(FactoryTargets, ParseToTheBuiltInTableInNameOrder)
{
    const std::vector<std::pair<std::string, dsp::Balance>> expected = {
        {"Female speech",
         {-10.973, 1.316, 2.213, 2.973, 4.772, 5.145, -0.022, -5.152, -9.929, -11.856, -10.865, -22.032}},
        {"Female vocals pop",
         {-16.951, -3.814, 2.559, 2.690, 0.768, 1.600, 1.708, -3.106, -6.219, -6.482, -5.313, -14.984}},
        {"Female vocals rock",
         {-28.622, -16.667, -3.687, -0.241, 1.455, 5.930, 3.156, -0.623, -5.990, -7.389, -7.231, -20.129}},
        {"Male speech", {-1.322, 1.174, 2.931, 6.236, 5.584, 2.962, -0.038, -7.165, -10.511, -9.760, -10.371, -23.382}},
        {"Male vocals pop",
         {-16.209, -3.047, 1.036, 0.548, 5.059, 3.928, 1.613, -4.560, -7.625, -7.506, -8.378, -15.707}},
        {"Male vocals rock",
         {-27.419, -14.612, -3.615, -0.955, 0.706, 0.882, 4.623, 2.649, -3.017, -5.567, -11.852, -28.264}},
    };
    const auto targets = factoryTargets();
    ASSERT_EQ(targets.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
    {
        EXPECT_EQ(targets[i].name, expected[i].first);
        EXPECT_EQ(targets[i].balance, expected[i].second) << targets[i].name;
        EXPECT_TRUE(targets[i].factory);
        EXPECT_TRUE(targets[i].source.empty());
        EXPECT_TRUE(targets[i].path.empty());

        // Each built-in text is what the writer itself would write for that target, minus the source line.
        std::string written = formatTarget(expected[i].first, "", expected[i].second);
        written.erase(written.find("source=\n"), 8);
        EXPECT_EQ(written, kFactoryTargetTexts[i]);
    }
    EXPECT_EQ(kFactoryTargetTexts[expected.size()], nullptr);
}

} // namespace
} // namespace aubrevane::offline
