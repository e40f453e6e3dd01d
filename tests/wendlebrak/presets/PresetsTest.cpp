#include "wendlebrak/presets/Presets.h"

#include "support/FileBytes.h"
#include "support/TestFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace wendlebrak::presets;
using aubrevane::test::readFileBytes;
using aubrevane::test::writeFileBytes;

namespace
{

constexpr Format kFormat{".avpreset", "Aubrevane preset 1", "Aubrevane", "Aubrevane"};

std::vector<uint8_t> everyByte()
{
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 256; ++i)
        bytes.push_back(static_cast<uint8_t>(255 - i));
    return bytes;
}

std::vector<std::string> namesOf(const std::vector<SavedPreset>& presets)
{
    std::vector<std::string> names;
    for (const auto& preset : presets)
        names.push_back(preset.name);
    return names;
}

class PresetStore : public testing::Test
{
protected:
    const fs::path folder = userPresetDirectory(kFormat, std::getenv("XDG_DATA_HOME"));

    void SetUp() override { fs::create_directories(folder); }

    void writePresetFile(const std::string& fileName, const std::string& name, const std::string& stateText = "QQ==")
    {
        writeFileBytes(folder / fileName,
                       std::string(kFormat.header) + "\nname=" + name + "\nstate=" + stateText + "\n");
    }

    std::vector<std::string> fileNames() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST(UserPresetDirectory, IsTheProductFolderUnderAnAbsoluteBaseOnly)
{
    EXPECT_EQ(userPresetDirectory(kFormat, "/home/u/.local/share"), fs::path("/home/u/.local/share/Aubrevane/Presets"));
    EXPECT_EQ(userPresetDirectory(kFormat, ""), fs::path());
    EXPECT_EQ(userPresetDirectory(kFormat, "relative/share"), fs::path());
}

TEST_F(PresetStore, WriteThenReadGivesTheSameBytes)
{
    const std::string name = "Warm \xC3\xA4 vocal = bright";
    std::string message;
    ASSERT_TRUE(writePreset(kFormat, folder, name, everyByte(), message)) << message;

    const fs::path file = folder / "Warm \xC3\xA4 vocal = bright.avpreset";
    EXPECT_EQ(readFileBytes(file), "Aubrevane preset 1\nname=" + name + "\nstate=" + toBase64(everyByte()) + "\n");
    SavedPreset preset;
    ASSERT_TRUE(readPreset(kFormat, file, preset, message)) << message;
    EXPECT_EQ(preset.name, name);
    EXPECT_EQ(preset.state, everyByte());
    EXPECT_EQ(preset.file, file);
    EXPECT_THAT(fileNames(), testing::ElementsAre(file.filename().string()));
}

TEST_F(PresetStore, LineBreaksInTheNameAreWrittenAsSpaces)
{
    std::string message;
    ASSERT_TRUE(writePreset(kFormat, folder, "a\nb\r\nc", {7}, message)) << message;
    ASSERT_TRUE(writePreset(kFormat, folder, "a\nb\r\nc", {8}, message)) << message; // replaces, never numbers
    const auto presets = listPresets(kFormat, folder);
    ASSERT_EQ(presets.size(), 1u);
    EXPECT_EQ(presets[0].name, "a b  c");
    EXPECT_EQ(presets[0].state, (std::vector<uint8_t>{8}));
    EXPECT_EQ(presets[0].file.filename(), "a-b--c.avpreset");
}

TEST_F(PresetStore, AnEmptyNameIsSavedAsPresetAndListedUnderItsStem)
{
    std::string message;
    ASSERT_TRUE(writePreset(kFormat, folder, "", {7}, message)) << message;
    EXPECT_EQ(readFileBytes(folder / "Preset.avpreset"), "Aubrevane preset 1\nname=\nstate=Bw==\n");
    EXPECT_THAT(namesOf(listPresets(kFormat, folder)), testing::ElementsAre("Preset"));
}

struct Malformed
{
    const char* what;
    std::string text;
    std::string messagePrefix;
};

class MalformedPreset : public PresetStore, public testing::WithParamInterface<Malformed>
{
};

TEST_P(MalformedPreset, IsRejectedWithItsMessage)
{
    writeFileBytes(folder / "Bad one.avpreset", GetParam().text);
    SavedPreset preset;
    std::string message;
    EXPECT_FALSE(readPreset(kFormat, folder / "Bad one.avpreset", preset, message));
    EXPECT_EQ(message, GetParam().messagePrefix + "Bad one.avpreset");
    EXPECT_TRUE(listPresets(kFormat, folder).empty());
}

const std::string kNotAPreset = "not an Aubrevane preset: ";
const std::string kNoState = "the preset has no readable state: ";

INSTANTIATE_TEST_SUITE_P(
    Files, MalformedPreset,
    testing::Values(
        Malformed{"Empty", "", kNotAPreset}, Malformed{"OnlyALineFeed", "\n", kNotAPreset},
        Malformed{"HeaderWithTrailingSpace", "Aubrevane preset 1 \nname=a\nstate=QQ==\n", kNotAPreset},
        Malformed{"HeaderInLowerCase", "aubrevane preset 1\nname=a\nstate=QQ==\n", kNotAPreset},
        Malformed{"OtherVersion", "Aubrevane preset 2\nname=a\nstate=QQ==\n", kNotAPreset},
        Malformed{"ByteOrderMark",
                  "\xEF\xBB\xBF"
                  "Aubrevane preset 1\nname=a\nstate=QQ==\n",
                  kNotAPreset},
        Malformed{"OnlyCarriageReturns", "Aubrevane preset 1\rname=a\rstate=QQ==\r", kNotAPreset},
        Malformed{"TargetFile", "Aubrevane target 1\nname=a\nbalance=0 0 0 0 0 0 0 0 0 0 0 0\n", kNotAPreset},
        Malformed{"NoStateLine", "Aubrevane preset 1\nname=a\n", kNoState},
        Malformed{"HeaderOnlyWithoutLineFeed", "Aubrevane preset 1", kNoState},
        Malformed{"EmptyState", "Aubrevane preset 1\nname=a\nstate=\n", kNoState},
        Malformed{"StateBadLength", "Aubrevane preset 1\nname=a\nstate=QQ=\n", kNoState},
        Malformed{"StateBadCharacter", "Aubrevane preset 1\nname=a\nstate=QU!D\n", kNoState},
        Malformed{"StateWithSpace", "Aubrevane preset 1\nname=a\nstate= QQ==\n", kNoState},
        Malformed{"LastStateBad", "Aubrevane preset 1\nstate=QQ==\nname=a\nstate=QQ=A\n", kNoState},
        Malformed{"KeyInCapitals", "Aubrevane preset 1\nname=a\nState=QQ==\n", kNoState},
        Malformed{"KeyWithSpace", "Aubrevane preset 1\nname=a\nstate =QQ==\n", kNoState},
        Malformed{"OverOneMebibyte", "Aubrevane preset 1\nname=a\nstate=QQ==\n" + std::string(kMaxPresetBytes, 'x'),
                  kNotAPreset}),
    [](const testing::TestParamInfo<Malformed>& info) { return info.param.what; });

struct Accepted
{
    const char* what;
    std::string text;
    std::string name;
    std::string state;
};

class AcceptedPreset : public PresetStore, public testing::WithParamInterface<Accepted>
{
};

TEST_P(AcceptedPreset, IsReadAsExpected)
{
    writeFileBytes(folder / "Stem.v2.avpreset", GetParam().text);
    SavedPreset preset;
    std::string message;
    ASSERT_TRUE(readPreset(kFormat, folder / "Stem.v2.avpreset", preset, message)) << message;
    EXPECT_EQ(preset.name, GetParam().name);
    EXPECT_EQ(preset.state, std::vector<uint8_t>(GetParam().state.begin(), GetParam().state.end()));
    EXPECT_EQ(preset.file, folder / "Stem.v2.avpreset");
}

INSTANTIATE_TEST_SUITE_P(
    Files, AcceptedPreset,
    testing::Values(
        Accepted{"CarriageReturnLineFeeds", "Aubrevane preset 1\r\nname=Lead\r\nstate=QUJD\r\n", "Lead", "ABC"},
        Accepted{"LastLineWithoutLineFeed", "Aubrevane preset 1\nname=Lead\nstate=QUJD", "Lead", "ABC"},
        Accepted{"StateBeforeName", "Aubrevane preset 1\nstate=QUJD\nname=Lead\n", "Lead", "ABC"},
        Accepted{"SecondNameWins", "Aubrevane preset 1\nname=First\nname=Second\nstate=QQ==\n", "Second", "A"},
        Accepted{"NameHoldsEquals", "Aubrevane preset 1\nname=a=b\nstate=QQ==\n", "a=b", "A"},
        Accepted{"NoNameGivesStem", "Aubrevane preset 1\nstate=QQ==\n", "Stem.v2", "A"},
        Accepted{"EmptyNameGivesStem", "Aubrevane preset 1\nname=\nstate=QQ==\n", "Stem.v2", "A"},
        Accepted{"NameKeepsSpaces", "Aubrevane preset 1\nname= x \nstate=QQ==\n", " x ", "A"},
        Accepted{"BadStateThenGood", "Aubrevane preset 1\nstate=QQ=A\nstate=QUJD\n", "Stem.v2", "ABC"},
        Accepted{"OtherLinesIgnored", "Aubrevane preset 1\n\ncomment\nversion=3\nNAME=x\nstate=QQ==\n", "Stem.v2",
                 "A"}),
    [](const testing::TestParamInfo<Accepted>& info) { return info.param.what; });

TEST_F(PresetStore, AFileOfExactlyOneMebibyteIsStillRead)
{
    std::string text = "Aubrevane preset 1\nname=Big\nstate=QQ==\n";
    text += std::string(kMaxPresetBytes - text.size() - 1, 'x') + "\n";
    ASSERT_EQ(text.size(), kMaxPresetBytes);
    writeFileBytes(folder / "Big.avpreset", text);
    EXPECT_THAT(namesOf(listPresets(kFormat, folder)), testing::ElementsAre("Big"));
}

TEST_F(PresetStore, FoldersFifosAndMissingFilesAreNotPresets)
{
    ASSERT_EQ(mkfifo((folder / "Pipe.avpreset").c_str(), 0600), 0);
    fs::create_directory(folder / "Folder.avpreset");
    for (const char* name : {"Pipe.avpreset", "Folder.avpreset", "Missing.avpreset"})
    {
        SavedPreset preset;
        std::string message;
        EXPECT_FALSE(readPreset(kFormat, folder / name, preset, message));
        EXPECT_EQ(message, kNotAPreset + name);
    }
    fs::create_symlink(folder / "Pipe.avpreset", folder / "Link.avpreset");
    EXPECT_TRUE(listPresets(kFormat, folder).empty());
}

TEST_F(PresetStore, ListingSortsByNameThenByFile)
{
    writePresetFile("one.avpreset", "B");
    writePresetFile("two.avpreset", "a");
    writePresetFile("three.avpreset", "A");
    writePresetFile("z.avpreset", "Same");
    writePresetFile("b.avpreset", "Same");
    writePresetFile("m.avpreset", "Same");
    writeFileBytes(folder / "broken.avpreset", "Aubrevane preset 1\nname=Broken\n");
    writePresetFile("ignored.txt", "Other");

    const auto presets = listPresets(kFormat, folder);
    EXPECT_THAT(namesOf(presets), testing::ElementsAre("A", "B", "Same", "Same", "Same", "a"));
    EXPECT_EQ(presets[2].file, folder / "b.avpreset");
    EXPECT_EQ(presets[3].file, folder / "m.avpreset");
    EXPECT_EQ(presets[4].file, folder / "z.avpreset");
}

TEST_F(PresetStore, ListingAMissingFolderGivesNothingAndCreatesNothing)
{
    EXPECT_TRUE(listPresets(kFormat, folder / "nowhere").empty());
    EXPECT_FALSE(fs::exists(folder / "nowhere"));
}

TEST_F(PresetStore, SavingTheSameNameAgainReplacesItsFile)
{
    std::string message;
    ASSERT_TRUE(writePreset(kFormat, folder, "My preset", {1}, message)) << message;
    ASSERT_TRUE(writePreset(kFormat, folder, "My preset", {2, 3}, message)) << message;
    EXPECT_THAT(fileNames(), testing::ElementsAre("My preset.avpreset"));
    const auto presets = listPresets(kFormat, folder);
    ASSERT_EQ(presets.size(), 1u);
    EXPECT_EQ(presets[0].state, (std::vector<uint8_t>{2, 3}));
}

TEST_F(PresetStore, NamesSharingAFileNameGetNumberedFiles)
{
    std::string message;
    ASSERT_TRUE(writePreset(kFormat, folder, "My/preset", {1}, message)) << message;
    ASSERT_TRUE(writePreset(kFormat, folder, "My:preset", {2}, message)) << message;
    ASSERT_TRUE(writePreset(kFormat, folder, "My?preset", {3}, message)) << message;
    ASSERT_TRUE(writePreset(kFormat, folder, "My/preset", {4}, message)) << message;
    EXPECT_THAT(fileNames(),
                testing::ElementsAre("My-preset-1.avpreset", "My-preset-2.avpreset", "My-preset.avpreset"));
    EXPECT_EQ(presetPathForName(kFormat, folder, "My:preset"), folder / "My-preset-1.avpreset");
    EXPECT_EQ(presetPathForName(kFormat, folder, "My|preset"), folder / "My-preset-3.avpreset");

    const auto presets = listPresets(kFormat, folder);
    ASSERT_EQ(presets.size(), 3u);
    EXPECT_EQ(presets[0].name, "My/preset");
    EXPECT_EQ(presets[0].state, std::vector<uint8_t>{4});
    EXPECT_EQ(presets[1].file, folder / "My-preset-1.avpreset");
    EXPECT_EQ(presets[2].file, folder / "My-preset-2.avpreset");
}

TEST_F(PresetStore, AFileThatIsNotAPresetIsPassedOverAndKept)
{
    writeFileBytes(folder / "Rock.avpreset", "my notes");
    std::string message;
    ASSERT_TRUE(writePreset(kFormat, folder, "Rock", {1}, message)) << message;
    EXPECT_EQ(readFileBytes(folder / "Rock.avpreset"), "my notes");
    EXPECT_THAT(fileNames(), testing::ElementsAre("Rock-1.avpreset", "Rock.avpreset"));
}

TEST_F(PresetStore, WhenAllNumberedFilesAreTakenNothingIsOverwritten)
{
    writePresetFile("Rock.avpreset", "Other 0");
    for (int n = 1; n < 999; ++n)
        writePresetFile("Rock-" + std::to_string(n) + ".avpreset", "Other " + std::to_string(n));
    std::string message;
    EXPECT_EQ(presetPathForName(kFormat, folder, "Rock"), folder / "Rock-999.avpreset");

    writePresetFile("Rock-999.avpreset", "Other 999");
    EXPECT_EQ(presetPathForName(kFormat, folder, "Rock"), folder / "Rock.avpreset");
    EXPECT_FALSE(writePreset(kFormat, folder, "Rock", {9}, message));
    EXPECT_EQ(message, "could not write " + (folder / "Rock.avpreset").string());
    SavedPreset first;
    ASSERT_TRUE(readPreset(kFormat, folder / "Rock.avpreset", first, message));
    EXPECT_EQ(first.name, "Other 0");
    EXPECT_EQ(fileNames().size(), 1000u);
}

TEST_F(PresetStore, AFolderFromNoBaseIsNeverWritten)
{
    const fs::path previous = fs::current_path();
    fs::current_path(folder);
    std::string message;
    const bool written = writePreset(kFormat, userPresetDirectory(kFormat, ""), "Rock", {1}, message);
    fs::current_path(previous);
    EXPECT_FALSE(written);
    EXPECT_EQ(message, "could not write Rock.avpreset");
    EXPECT_TRUE(fs::is_empty(folder));
}

TEST_F(PresetStore, OnlyAPresetThatCanBeReadBackIsWritten)
{
    // A name that brings the file to exactly the largest size read, then one byte more.
    const std::vector<uint8_t> state(3000, 7);
    const std::string name(kMaxPresetBytes - presetText(kFormat, "", state).size(), 'n');
    std::string message;
    ASSERT_TRUE(writePreset(kFormat, folder, name, state, message)) << message;
    const auto before = readFileBytes(folder / fileNames().front());
    ASSERT_EQ(before->size(), kMaxPresetBytes);
    EXPECT_EQ(listPresets(kFormat, folder).size(), 1u);

    EXPECT_FALSE(writePreset(kFormat, folder, name + "n", state, message));
    EXPECT_EQ(message, "could not write " + presetPathForName(kFormat, folder, name + "n").string() +
                           ": the file would be too large to read back");
    EXPECT_EQ(fileNames().size(), 1u);
    EXPECT_EQ(readFileBytes(folder / fileNames().front()), before);
}

TEST_F(PresetStore, AFailedWriteKeepsTheOldPreset)
{
    std::string message;
    ASSERT_TRUE(writePreset(kFormat, folder, "Keep", {1, 2, 3}, message)) << message;
    const auto before = readFileBytes(folder / "Keep.avpreset");
    fs::create_directory(folder / "Keep.avpreset.partial");
    writeFileBytes(folder / "Keep.avpreset.partial" / "x", "blocks the temporary file");
    EXPECT_FALSE(writePreset(kFormat, folder, "Keep", {4}, message));
    EXPECT_EQ(message, "could not write " + (folder / "Keep.avpreset").string() + ": file exists");
    EXPECT_EQ(readFileBytes(folder / "Keep.avpreset"), before);
}

} // namespace
