#include "ChildProcess.h"
#include "support/FileBytes.h"
#include "support/OfflineUpdateCheck.h"
#include "support/RunProgram.h"
#include "support/Signals.h"
#include "support/SoundFiles.h"
#include "support/TestFolder.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// aubrevane-host editor, run as a user runs it: the whole editor scripted from the command line.

namespace
{

namespace fs = std::filesystem;

const std::string kStatusPrefix = "Aubrevane 0.9.14 \xC2\xB7 0 samples latency \xC2\xB7 target: ";

struct EditorRun
{
    int exitCode = -1;
    std::vector<std::string> lines; // stdout
    std::string err;
};

/** An image read back from a PNG as 32-bit pixels; empty when it could not be read. */
struct Picture
{
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
};

Picture readPicture(const fs::path& path)
{
    Picture picture;
    cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS)
    {
        cairo_surface_flush(surface);
        const cairo_format_t format = cairo_image_surface_get_format(surface);
        picture.width = cairo_image_surface_get_width(surface);
        picture.height = cairo_image_surface_get_height(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x)
            {
                std::uint32_t pixel = reinterpret_cast<const std::uint32_t*>(data + y * stride)[x];
                picture.pixels.push_back(format == CAIRO_FORMAT_RGB24 ? pixel | 0xFF000000u : pixel);
            }
    }
    cairo_surface_destroy(surface);
    return picture;
}

/** How far two pictures of the same size differ: the share of pixels whose largest channel step is above 24. */
double differingShare(const Picture& a, const Picture& b)
{
    std::size_t differing = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i)
    {
        int largest = 0;
        for (int shift = 0; shift < 32; shift += 8)
            largest = std::max(largest, std::abs(static_cast<int>((a.pixels[i] >> shift) & 0xFF) -
                                                 static_cast<int>((b.pixels[i] >> shift) & 0xFF)));
        differing += largest > 24 ? 1 : 0;
    }
    return static_cast<double>(differing) / static_cast<double>(a.pixels.size());
}

/** A command line that must fail, and what its one error line says. */
struct FailingRun
{
    std::vector<std::string> args;
    std::string message;
};

class EditorCommand : public ::testing::Test
{
protected:
    /** Runs `c`, expecting exit status 1 and its message; the run, for what a test checks beyond that. */
    EditorRun expectFails(const FailingRun& c) const
    {
        EditorRun run = editor(c.args);
        EXPECT_EQ(run.exitCode, 1) << c.message;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        return run;
    }

    EditorRun editor(std::vector<std::string> args) const
    {
        args.insert(args.begin(), "editor");
        const auto run = aubrevane::test::runProgram(AUBREVANE_HOST_EXE, args, folder);
        EditorRun result{run.exitCode, {}, run.err};
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);)
            result.lines.push_back(line);
        return result;
    }

    /** Three seconds of mono pink noise at 44.1 kHz. */
    std::string reference(const std::string& name) const
    {
        const fs::path path = folder / name;
        EXPECT_TRUE(aubrevane::test::writeMonoWav(path, aubrevane::test::pinkNoise(3 * 44100, 44100.0, 3), 44100));
        return path.string();
    }

    std::string in(const std::string& name) const { return (folder / name).string(); }

    fs::path folder = aubrevane::test::testFolder();
};

/** Compares the editor's picture with its golden, or rewrites the golden when AUBREVANE_UPDATE_GOLDENS is set. */
void expectGolden(const fs::path& rendered, const std::string& goldenName)
{
    const fs::path golden = fs::path(AUBREVANE_GOLDEN_DIR) / goldenName;
    if (std::getenv("AUBREVANE_UPDATE_GOLDENS") != nullptr)
        fs::copy_file(rendered, golden, fs::copy_options::overwrite_existing);
    const Picture expected = readPicture(golden), actual = readPicture(rendered);
    ASSERT_FALSE(expected.pixels.empty()) << "no golden " << golden;
    ASSERT_EQ(actual.width, expected.width);
    ASSERT_EQ(actual.height, expected.height);
    EXPECT_LT(differingShare(actual, expected), 0.0005) << goldenName << " changed; look at " << rendered;
}

} // namespace

TEST_F(EditorCommand, TheWholeEditorMatchesItsGoldenAtOneAndOneAndAHalf)
{
    const EditorRun plain = editor({"--png", in("editor-1x.png")});
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    ASSERT_EQ(plain.lines, std::vector<std::string>{kStatusPrefix + "balanced"});
    expectGolden(folder / "editor-1x.png", "editor-1x.png");

    const EditorRun larger = editor({"--png", in("editor-1.5x.png"), "--scale", "1.5", "--click", "690,16", "--choose",
                                     "Red", "--click", "45,481"});
    ASSERT_EQ(larger.exitCode, 0) << larger.err;
    expectGolden(folder / "editor-1.5x.png", "editor-1.5x.png");
}

TEST_F(EditorCommand, PlayingAFileFillsBothMetersWithTheAccent)
{
    const EditorRun silent = editor({"--png", in("silent.png")});
    const EditorRun played = editor({"--png", in("played.png"), "--play", reference("mix.wav")});
    ASSERT_EQ(silent.exitCode, 0) << silent.err;
    ASSERT_EQ(played.exitCode, 0) << played.err;
    const Picture quiet = readPicture(folder / "silent.png"), loud = readPicture(folder / "played.png");
    ASSERT_EQ(loud.pixels.size(), quiet.pixels.size());
    // Just above the foot of each meter's track: (58..72) on the left meter, (654..668) on the right one.
    for (const int x : {65, 661})
    {
        const std::uint32_t was = quiet.pixels.at(430 * quiet.width + x), is = loud.pixels.at(430 * loud.width + x);
        const int red = (is >> 16) & 0xFF, green = (is >> 8) & 0xFF;
        EXPECT_EQ((was >> 8) & 0xFF, (was >> 16) & 0xFF) << x; // grey track while nothing plays
        EXPECT_GT(green, red + 100) << x;                      // the default accent, green
    }
}

TEST_F(EditorCommand, APendingMenuIsListedWithItsMarks)
{
    const EditorRun run = editor({"--png", in("menu.png"), "--click", "690,16"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> expected = {
        kStatusPrefix + "balanced",
        "menu:",
        "  Green",
        "  Red",
        "  Orange",
        "  Blue",
        "  Purple",
        "  DAW color [ticked]",
        "  ----",
        "  Window 0.75x",
        "  Window 1x [ticked]",
        "  Window 1.5x",
        "  Window 2x",
        "  ----",
        "  Clear learned target (use the balanced target) [disabled]",
        "  ----",
        "  Check for updates [ticked]",
        "  ----",
        "  Aubrevane 0.9.14 [disabled]",
    };
    EXPECT_EQ(run.lines, expected);

    const EditorRun learn = editor({"--png", in("menu.png"), "--click", "526,64", "--choose", "Factory"});
    ASSERT_EQ(learn.exitCode, 0) << learn.err;
    ASSERT_GE(learn.lines.size(), 6u);
    EXPECT_EQ(learn.lines[5], "  Factory targets >");
    EXPECT_EQ(learn.lines[6], "    Female speech");
}

TEST_F(EditorCommand, LearnsFromAChosenFileAndTheStateCarriesTheTargetToTheNextRun)
{
    const std::string ref = reference("warm mix.wav"), state = in("learned.state");
    const EditorRun learned = editor({"--png", in("a.png"), "--click", "526,64", "--file", ref, "--choose",
                                      "Learn from reference", "--save-state", state});
    ASSERT_EQ(learned.exitCode, 0) << learned.err;
    EXPECT_EQ(learned.lines.at(0), kStatusPrefix + "learned from warm mix.wav");

    const EditorRun cleared =
        editor({"--png", in("b.png"), "--state", state, "--click", "690,16", "--choose", "Clear learned"});
    ASSERT_EQ(cleared.exitCode, 0) << cleared.err;
    EXPECT_EQ(cleared.lines.at(0), kStatusPrefix + "balanced");
}

TEST_F(EditorCommand, AReferenceThatCannotBeLearnedFromIsReportedWithItsReason)
{
    const std::string junk = in("junk.wav");
    aubrevane::test::writeFileBytes(junk, "not a sound file");
    for (const auto& [file, reason] : {std::pair{junk, "could not read junk.wav"},
                                       {in("none.wav"), "could not read none.wav: no such file or directory"}})
    {
        const EditorRun run = editor(
            {"--png", in("failed.png"), "--click", "526,64", "--file", file, "--choose", "Learn from reference"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.lines,
                  (std::vector<std::string>{kStatusPrefix + "balanced", "learning failed: " + std::string(reason)}));
        EXPECT_EQ(run.err, "");
    }
}

TEST_F(EditorCommand, QuestionsAreAnsweredYesOnlyWhenAsked)
{
    const std::vector<std::string> twoPresets = {"--click", "391,16", "--type", "Warm",
                                                 "--click", "391,16", "--type", "Bright"};
    auto replaceWarm = twoPresets;
    replaceWarm.insert(replaceWarm.end(), {"--click", "391,16", "--type", "Warm", "--png", in("q.png")});

    const EditorRun no = editor(replaceWarm);
    ASSERT_EQ(no.exitCode, 0) << no.err;
    ASSERT_EQ(no.lines.size(), 2u);
    EXPECT_EQ(no.lines[1].rfind("message: ", 0), 0u);
    EXPECT_NE(no.lines[1].find("[answered No]"), std::string::npos);

    // a new run has no current preset, so saving under the existing name asks
    const EditorRun yes = editor({"--click", "391,16", "--type", "Warm", "--png", in("q.png"), "--yes"});
    ASSERT_EQ(yes.lines.size(), 2u);
    EXPECT_NE(yes.lines[1].find("[answered Yes]"), std::string::npos);
}

TEST_F(EditorCommand, AnOpenCaptionEntryShowsItsTextOnTheEntryBox)
{
    const EditorRun run = editor({"--png", in("entry.png"), "--click", "618,430"}); // the Output knob's value
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.lines.back(), "text entry: 0.0");
    const Picture picture = readPicture(folder / "entry.png");
    ASSERT_EQ(picture.width, 720);
    // The caption's box, (563, 423) to (673, 437): a light box with dark text on it.
    int light = 0, dark = 0, inside = 0;
    for (int y = 424; y < 436; ++y)
        for (int x = 564; x < 672; ++x, ++inside)
        {
            const std::uint32_t pixel = picture.pixels.at(static_cast<std::size_t>(y * picture.width + x));
            const int red = (pixel >> 16) & 0xFF, green = (pixel >> 8) & 0xFF, blue = pixel & 0xFF;
            light += std::min({red, green, blue}) > 230;
            dark += std::max({red, green, blue}) < 100;
        }
    EXPECT_GT(light, inside / 2);
    EXPECT_GT(dark, 15);
}

TEST_F(EditorCommand, TheUpdatePillsLinkIsPrintedAfterTheStatusLine)
{
    const std::string feed = R"({"aubrevane":{"version":"0.10.0","page":"/aubrevane/download"}})";
    ASSERT_TRUE(aubrevane::test::offlineUpdateCheck()->writeRecord({1'800'000'000LL, feed})); // the plug-in's record
    const EditorRun run = editor({"--png", in("pill.png"), "--click", "455,64"});             // the pill's right end
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(run.lines.size(), 2u);
    EXPECT_EQ(run.lines[0].rfind(kStatusPrefix, 0), 0u);
    EXPECT_EQ(run.lines[1], "link: https://updates.wendlebrak.com/aubrevane/download");
}

TEST_F(EditorCommand, StepsWithNothingToActOnFailWithOneLineNamingThem)
{
    const FailingRun cases[] = {
        {{"--png", in("x.png"), "--file", "mix.wav", "--click", "690,16"}, "no file dialog opened for --file mix.wav"},
        {{"--png", in("x.png"), "--click", "690,16", "--type", "Name"}, "no text entry is open for --type Name"},
        {{"--png", in("x.png"), "--choose", "Red"}, "no menu is open for --choose Red"},
    };
    for (const FailingRun& c : cases)
    {
        const EditorRun run = expectFails(c);
        EXPECT_EQ(run.err, "aubrevane-host: " + c.message + "\n");
        EXPECT_FALSE(fs::exists(folder / "x.png")) << c.message;
    }
}

TEST_F(EditorCommand, TheCornerSizeIsStoredAndReopens)
{
    const std::string state = in("large.state");
    const EditorRun dragged = editor({"--png", in("dragged.png"), "--drag", "712,524,120,0", "--save-state", state});
    ASSERT_EQ(dragged.exitCode, 0) << dragged.err;
    const EditorRun reopened = editor({"--png", in("reopened.png"), "--state", state});
    ASSERT_EQ(reopened.exitCode, 0) << reopened.err;
    const Picture first = readPicture(folder / "dragged.png"), second = readPicture(folder / "reopened.png");
    EXPECT_GT(first.width, 800);
    EXPECT_NEAR(second.width, first.width, 1);
    EXPECT_NEAR(second.height, first.height, 1);
}

TEST_F(EditorCommand, AnOutputNamingAnInputOrAnotherOutputIsRefusedAndNothingIsWritten)
{
    const std::string state = in("s.state"), sound = reference("play.wav");
    ASSERT_EQ(editor({"--png", in("first.png"), "--save-state", state}).exitCode, 0);
    const std::string stateBytes = aubrevane::test::readText(state), soundBytes = aubrevane::test::readText(sound);
    const FailingRun cases[] = {
        {{"--png", sound, "--play", sound}, "--png and --play name the same file"},
        {{"--png", in("x.png"), "--state", state, "--save-state", state},
         "--save-state and --state name the same file"},
        {{"--png", in("x.png"), "--save-state", in("x.png")}, "--png and --save-state name the same file"},
        {{"--png", in("x.png"), "--click", "526,64", "--file", in("x.png")}, "--png and --file name the same file"},
        {{"--png", in("x.png"), "--save-state", sound, "--plugin", sound},
         "--save-state and --plugin name the same file"},
    };
    for (const FailingRun& c : cases)
        expectFails(c);
    EXPECT_EQ(aubrevane::test::readText(state), stateBytes);
    EXPECT_EQ(aubrevane::test::readText(sound), soundBytes);
    EXPECT_FALSE(fs::exists(in("x.png")));
}

TEST_F(EditorCommand, APictureThatCannotBeWrittenSaysWhyAndThatTheStateWasNotWritten)
{
    const fs::path errors = folder / "errors.txt";
    aubrevane::test::ChildProcess run(
        {AUBREVANE_HOST_EXE, "editor", "--png", in("x.png"), "--save-state", in("s.state")}, errors,
        aubrevane::test::limitFileSize(4096)); // the state fits, the picture does not
    EXPECT_EQ(run.wait(), 1);
    EXPECT_EQ(aubrevane::test::readText(errors), "aubrevane-host: could not write " + in("x.png") +
                                                     ": file too large; --save-state " + in("s.state") +
                                                     " was not written\n");
    EXPECT_FALSE(fs::exists(in("s.state")));
    for (const auto& entry : fs::directory_iterator(folder))
        EXPECT_EQ(entry.path().string().find(".partial"), std::string::npos) << entry.path();
}

TEST_F(EditorCommand, ThePictureGoesThroughALinkOrIntoADevice)
{
    fs::create_symlink(in("real.png"), in("link.png"));
    ASSERT_EQ(editor({"--png", in("link.png")}).exitCode, 0);
    EXPECT_TRUE(fs::is_symlink(in("link.png")));
    EXPECT_EQ(readPicture(in("real.png")).width, 720);
    if (access("/dev/null", W_OK) != 0)
        GTEST_SKIP() << "/dev/null is not writable here";
    const EditorRun devNull = editor({"--png", "/dev/null"});
    EXPECT_EQ(devNull.exitCode, 0) << devNull.err;
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST_F(EditorCommand, ScriptMistakesFailWithAMessage)
{
    const FailingRun cases[] = {
        {{"--png", in("x.png"), "--click", "690,16", "--choose", "Teal"}, "no item of the open menu starts with"},
        {{"--png", in("x.png"), "--click", "690"}, "--click takes X,Y, not 690"},
        {{"--png", in("x.png"), "--scale", "-1"}, "--scale takes a number above 0"},
        {{"--png", in("x.png"), "--state", in("none.state")}, "could not read"},
        {{"--png", in("x.png"), "--plugin", ""}, "the name given to --plugin is empty"},
        {{"--window", "--state", reference("mix.wav")}, "mix.wav does not hold an Aubrevane state"},
        {{"--frobnicate"}, "unknown option --frobnicate"},
        {{}, "editor needs --png"},
    };
    for (const FailingRun& c : cases)
        expectFails(c);
}
