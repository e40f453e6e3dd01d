#include "wendlebrak/files/Files.h"

#include "support/FileBytes.h"
#include "support/TestFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <utility>

#include <sys/stat.h>

namespace fs = std::filesystem;
using aubrevane::test::readFileBytes;
using aubrevane::test::writeFileBytes;
using wendlebrak::files::deleteNamedFile;
using wendlebrak::files::filesWithExtension;
using wendlebrak::files::pathForName;

namespace
{

std::string fileNameFor(const std::string& name)
{
    return pathForName("/presets", name, ".avpreset", "Preset").filename().string();
}

struct NameCase
{
    std::string name;
    std::string fileName;
};

class PathForName : public testing::TestWithParam<NameCase>
{
};

TEST_P(PathForName, GivesTheSafeFileName)
{
    EXPECT_EQ(fileNameFor(GetParam().name), GetParam().fileName);
}

const std::string kTwoByteA = "\xC3\xA4"; // "ä"

INSTANTIATE_TEST_SUITE_P(
    Names, PathForName,
    testing::Values(NameCase{"My: preset?", "My- preset-.avpreset"},
                    NameCase{"a\"b*c/d:e<f>g?h\\i|j", "a-b-c-d-e-f-g-h-i-j.avpreset"},
                    NameCase{std::string("tab\there\x01\x1F\0end", 14), "tab-here---end.avpreset"},
                    NameCase{std::string(100, 'x'), std::string(80, 'x') + ".avpreset"},
                    NameCase{std::string(79, 'x') + kTwoByteA + "tail", std::string(79, 'x') + ".avpreset"},
                    NameCase{std::string(78, 'x') + kTwoByteA + "tail", std::string(78, 'x') + kTwoByteA + ".avpreset"},
                    NameCase{"...", "Preset.avpreset"}, NameCase{"   ", "Preset.avpreset"},
                    NameCase{"", "Preset.avpreset"}, NameCase{" .name. ", "name.avpreset"},
                    NameCase{"..", "Preset.avpreset"}, NameCase{"../../etc/passwd", "-..-etc-passwd.avpreset"},
                    NameCase{std::string(70, 'x') + std::string(20, ' ') + "end", std::string(70, 'x') + ".avpreset"},
                    NameCase{"con", "con-.avpreset"}, NameCase{"Con.old", "Con.old-.avpreset"},
                    NameCase{"LPT3", "LPT3-.avpreset"}, NameCase{"com9", "com9-.avpreset"},
                    NameCase{"nul.", "nul-.avpreset"}, NameCase{"COM0", "COM0.avpreset"},
                    NameCase{"CONSOLE", "CONSOLE.avpreset"}, NameCase{"LPT10", "LPT10.avpreset"},
                    NameCase{"Warm " + kTwoByteA + " vocal", "Warm " + kTwoByteA + " vocal.avpreset"}));

bool isValidUtf8(const std::string& text)
{
    for (std::size_t i = 0; i < text.size();)
    {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80         ? 1
                                   : (lead >> 5) == 6  ? 2
                                   : (lead >> 4) == 14 ? 3
                                   : (lead >> 3) == 30 ? 4
                                                       : 0;
        if (length == 0 || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        i += length;
    }
    return true;
}

TEST(AsMessageReason, LowersOnlyAnOrdinaryFirstWordAndDropsTheFullStop)
{
    const std::pair<std::string, std::string> cases[] = {
        {"No such file or directory", "no such file or directory"},
        {"Read-only file system", "read-only file system"},
        {"Input/output error", "input/output error"},
        {"Format not recognised.", "format not recognised"},
        {"MPEG-1/2/2.5 only supports sample rates of 8000", "MPEG-1/2/2.5 only supports sample rates of 8000"},
        {"WAV files cannot hold this", "WAV files cannot hold this"},
        {"G723 encoder failed", "G723 encoder failed"},
        {"Opus only supports sample rates of 8000, 12000", "Opus only supports sample rates of 8000, 12000"},
        {"Vorbis: bad header", "Vorbis: bad header"},
        {"", ""},
    };
    for (const auto& [reason, expected] : cases)
        EXPECT_EQ(wendlebrak::files::asMessageReason(reason), expected);
}

TEST(PathForNameHostile, LongUtf8NamesAreCutOnACharacterBoundary)
{
    std::string euros;
    for (int i = 0; i < 100; ++i)
        euros += "\xE2\x82\xAC"; // 300 bytes of three-byte characters
    std::string emoji;
    for (int i = 0; i < 75; ++i)
        emoji += "\xF0\x9F\x8E\xB5"; // 300 bytes of four-byte characters
    for (const std::string& name : {euros, emoji, "a" + euros, "ab" + emoji})
    {
        const std::string stem = pathForName("/presets", name, ".avpreset", "Preset").stem().string();
        EXPECT_LE(stem.size(), 80u);
        EXPECT_GT(stem.size(), 76u);
        EXPECT_TRUE(isValidUtf8(stem)) << stem;
        EXPECT_EQ(name.compare(0, stem.size(), stem), 0);
    }
}

TEST(PathForNameHostile, ResultAlwaysStaysDirectlyInsideTheFolder)
{
    const fs::path folder = "/data/Aubrevane/Presets";
    std::vector<std::string> names = {"/",
                                      "/etc/passwd",
                                      "..",
                                      "../..",
                                      "./.",
                                      ". . .",
                                      "a/../../b",
                                      "\\..\\..",
                                      std::string(1, '\0'),
                                      std::string("..\0/..", 6),
                                      "\n..\n",
                                      "~",
                                      "-",
                                      std::string(300, '.'),
                                      std::string(300, '/'),
                                      "\xC0\xAF..\xC0\xAF"};
    std::mt19937 random(1234);
    std::uniform_int_distribution<int> byte(0, 255), length(0, 300);
    for (int i = 0; i < 2000; ++i)
    {
        std::string name(static_cast<std::size_t>(length(random)), ' ');
        for (char& c : name)
            c = static_cast<char>(byte(random) % 3 == 0 ? "./\\ \0"[byte(random) % 5] : byte(random));
        names.push_back(name);
    }
    for (const auto& name : names)
    {
        const fs::path path = pathForName(folder, name, ".avpreset", "Preset");
        const std::string fileName = path.filename().string();
        ASSERT_EQ(path.parent_path(), folder) << name;
        ASSERT_EQ(fileName.find('/'), std::string::npos);
        ASSERT_EQ(fileName.find('\0'), std::string::npos);
        ASSERT_NE(fileName.front(), '.') << name;
        ASSERT_LE(fileName.size(), 81u + 9u);
        ASSERT_EQ(path.lexically_normal().parent_path(), folder);
    }
}

TEST(PathForNameHostile, AHostileFallbackCannotLeaveTheFolder)
{
    EXPECT_EQ(pathForName("/p", "", ".x", "Target"), fs::path("/p/Target.x"));
    EXPECT_EQ(pathForName("/p", "", ".x", "../up").parent_path(), fs::path("/p"));
    EXPECT_EQ(pathForName("/p", "..", "", "..").parent_path(), fs::path("/p"));
}

class FilesFolder : public testing::Test
{
protected:
    const fs::path folder = aubrevane::test::testFolder() / "files";
    void SetUp() override { fs::create_directories(folder); }
};

using FilesWithExtension = FilesFolder;

TEST_F(FilesWithExtension, ListsOnlyRegularFilesWithTheExactExtension)
{
    writeFileBytes(folder / "a.avpreset", "a");
    writeFileBytes(folder / "b.avpreset", "b");
    writeFileBytes(folder / "a.AVPRESET", "x");
    writeFileBytes(folder / "a.avpreset.bak", "x");
    writeFileBytes(folder / "avpreset", "x");
    fs::create_directory(folder / "x.avpreset");
    fs::create_directory(folder / "sub");
    writeFileBytes(folder / "sub" / "deep.avpreset", "x");
    fs::create_symlink(folder / "a.avpreset", folder / "link.avpreset");
    fs::create_symlink(folder / "missing", folder / "dangling.avpreset");
    fs::create_directory_symlink(folder / "sub", folder / "dirlink.avpreset");

    auto files = filesWithExtension(folder, ".avpreset");
    std::sort(files.begin(), files.end());
    EXPECT_THAT(files, testing::ElementsAre(folder / "a.avpreset", folder / "b.avpreset", folder / "link.avpreset"));
}

TEST_F(FilesWithExtension, AFolderThatIsMissingOrAFileGivesNothing)
{
    writeFileBytes(folder / "plain.avpreset", "x");
    EXPECT_TRUE(filesWithExtension(folder / "missing", ".avpreset").empty());
    EXPECT_TRUE(filesWithExtension(folder / "plain.avpreset", ".avpreset").empty());
    EXPECT_TRUE(filesWithExtension("", ".avpreset").empty());
    EXPECT_FALSE(fs::exists(folder / "missing"));
}

using ReadSmallFile = FilesFolder;

TEST_F(ReadSmallFile, ReadsRegularFilesUpToTheLimitOnly)
{
    writeFileBytes(folder / "edge", std::string(100, 'e'));
    writeFileBytes(folder / "over", std::string(101, 'o'));
    fs::create_symlink(folder / "edge", folder / "link");
    fs::create_directory(folder / "folder");
    ASSERT_EQ(mkfifo((folder / "fifo").c_str(), 0600), 0); // a reader that waited for a writer would hang here

    std::string text = "stale";
    EXPECT_TRUE(wendlebrak::files::readSmallFile(folder / "edge", 100, text));
    EXPECT_EQ(text, std::string(100, 'e'));
    EXPECT_TRUE(wendlebrak::files::readSmallFile(folder / "link", 100, text));
    for (const char* name : {"over", "folder", "fifo", "missing"})
        EXPECT_FALSE(wendlebrak::files::readSmallFile(folder / name, 100, text)) << name;
}

using DeleteNamedFile = FilesFolder;

TEST_F(DeleteNamedFile, RemovesTheFile)
{
    writeFileBytes(folder / "a.avpreset", "a");
    std::string message;
    EXPECT_TRUE(deleteNamedFile(folder / "a.avpreset", message));
    EXPECT_FALSE(fs::exists(folder / "a.avpreset"));
}

TEST_F(DeleteNamedFile, AMissingFileFailsWithItsName)
{
    std::string message;
    EXPECT_FALSE(deleteNamedFile(folder / "gone.avpreset", message));
    EXPECT_EQ(message, "could not delete gone.avpreset");
}

TEST_F(DeleteNamedFile, NeverRemovesAFolder)
{
    fs::create_directory(folder / "empty.avpreset");
    fs::create_directory(folder / "full.avpreset");
    writeFileBytes(folder / "full.avpreset" / "inside", "keep");
    for (const char* name : {"empty.avpreset", "full.avpreset"})
    {
        std::string message;
        EXPECT_FALSE(deleteNamedFile(folder / name, message));
        EXPECT_EQ(message, std::string("could not delete ") + name);
        EXPECT_TRUE(fs::is_directory(folder / name));
    }
    EXPECT_TRUE(fs::exists(folder / "full.avpreset" / "inside"));
}

TEST_F(DeleteNamedFile, RemovesALinkButNotWhatItPointsTo)
{
    writeFileBytes(folder / "target", "keep");
    fs::create_symlink(folder / "target", folder / "link.avpreset");
    std::string message;
    EXPECT_TRUE(deleteNamedFile(folder / "link.avpreset", message));
    EXPECT_FALSE(fs::is_symlink(fs::symlink_status(folder / "link.avpreset")));
    EXPECT_TRUE(fs::exists(folder / "target"));
}

TEST_F(DeleteNamedFile, ARelativePathIsRefused)
{
    const fs::path previous = fs::current_path();
    fs::current_path(folder);
    writeFileBytes(folder / "here.avpreset", "keep");
    std::string message;
    EXPECT_FALSE(deleteNamedFile("here.avpreset", message));
    EXPECT_EQ(message, "could not delete here.avpreset");
    fs::current_path(previous);
    EXPECT_TRUE(fs::exists(folder / "here.avpreset"));
}

} // namespace
