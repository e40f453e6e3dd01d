#include "PluginProbe.h"

#include "framework/igraphics/IGraphics.h"
#include "framework/igraphics/ITextControl.h"
#include "offline/SavedTarget.h"
#include "support/FileBytes.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

using aubrevane::test::preparedPlugin;
using iplug::igraphics::ITextControl;

namespace
{

struct ResizeCase
{
    int width;
    int height;
    bool accepted;
    int expectedWidth;
    int expectedHeight;
};

std::string statusLine(Aubrevane& plugin)
{
    auto* status = dynamic_cast<ITextControl*>(plugin.GetUI()->GetControlWithTag(kStatusTag));
    return status ? status->GetStr() : "<no status control>";
}

/** The editor size a state holds: the two integers after the tag, the version and the accent. */
std::pair<int, int> sizeInState(const std::vector<std::uint8_t>& state)
{
    std::int32_t size[2] = {};
    std::memcpy(size, state.data() + 12, sizeof size);
    return {size[0], size[1]};
}

void installValidTarget(Aubrevane& plugin)
{
    aubrevane::plugin::TargetValues values;
    values.valid = true;
    AubrevaneProbe::published(plugin).write(values);
}

} // namespace

TEST(AubrevaneEditorSize, ConstrainEditorResizeKeepsLimitsAndProportions)
{
    const ResizeCase cases[] = {
        {720, 532, true, 720, 532},
        {1000, 500, false, 677, 500},
        {2000, 2000, false, 1440, 1064},
        {300, 200, false, 540, 399},
        {1080, 798, true, 1080, 798},
        {720, 600, false, 720, 532},
        // 1082 / 805 is a little narrow; the height for 1082, 799.48, rounds down and leaves it a little wide
        {1082, 805, false, 1081, 799},
        {1081, 799, true, 1081, 799},
    };
    const auto plugin = preparedPlugin();
    for (const auto& c : cases)
    {
        int width = c.width, height = c.height;
        EXPECT_EQ(plugin->ConstrainEditorResize(width, height), c.accepted) << c.width << " x " << c.height;
        EXPECT_EQ(width, c.expectedWidth);
        EXPECT_EQ(height, c.expectedHeight);
    }
}

TEST(AubrevaneEditorSize, LargestWindowGrowsWithThePlatformScale)
{
    const auto plugin = preparedPlugin();
    AubrevaneProbe::cachedPlatformScale(*plugin) = 2.0f;
    int width = 4000, height = 4000;
    EXPECT_FALSE(plugin->ConstrainEditorResize(width, height));
    EXPECT_EQ(width, 2880);
    EXPECT_EQ(height, 2128);
}

TEST(AubrevaneEditorSize, ApplyEditorScaleClampsToTheWindowLimits)
{
    const std::pair<float, float> cases[] = {{1.5f, 1.5f}, {0.5f, 0.75f}, {2.5f, 2.0f}, {1.0f, 1.0f}};
    const auto plugin = preparedPlugin();
    plugin->applyEditorScale(1.5f); // no editor: nothing happens
    ASSERT_NE(plugin->OpenWindow(nullptr), nullptr);
    for (const auto& [asked, given] : cases)
    {
        plugin->applyEditorScale(asked);
        EXPECT_FLOAT_EQ(plugin->GetUI()->GetDrawScale(), given) << asked;
        EXPECT_FLOAT_EQ(plugin->editorScale(), given) << asked;
    }
}

TEST(AubrevaneEditorSize, HostResizeStoresTheCorrectedSizeAndRescales)
{
    const auto plugin = preparedPlugin();
    plugin->OnParentWindowResize(1080, 798); // no editor: not stored
    EXPECT_EQ(plugin->GetEditorWidth(), 720);
    ASSERT_NE(plugin->OpenWindow(nullptr), nullptr);
    plugin->OnParentWindowResize(1080, 798);
    EXPECT_FLOAT_EQ(plugin->GetUI()->GetDrawScale(), 1.5f);
    EXPECT_EQ(plugin->GetEditorWidth(), 1080);
    EXPECT_EQ(plugin->GetEditorHeight(), 798);
    plugin->OnParentWindowResize(1000, 500);
    EXPECT_EQ(plugin->GetEditorWidth(), 677);
    EXPECT_EQ(plugin->GetEditorHeight(), 500);
    EXPECT_NEAR(plugin->GetUI()->GetDrawScale(), 500.0f / 532.0f, 1e-5f);
}

TEST(AubrevaneEditorSize, UnusablePlatformScalesAreIgnoredAndNeverReachTheSavedSize)
{
    const auto plugin = preparedPlugin();
    ASSERT_NE(plugin->OpenWindow(nullptr), nullptr);
    iplug::igraphics::IGraphics& graphics = *plugin->GetUI();
    graphics.SetPlatformWindowScale(2.0f);
    plugin->OnParentWindowResize(1440, 1064);
    plugin->OnIdle();
    ASSERT_EQ(AubrevaneProbe::cachedPlatformScale(*plugin), 2.0f);

    for (const float bad : {0.0f, -1.5f, std::nanf(""), std::numeric_limits<float>::infinity()})
    {
        graphics.SetPlatformWindowScale(bad);
        EXPECT_EQ(graphics.GetPlatformWindowScale(), 2.0f) << bad;
        plugin->OnParentWindowResize(1440, 1064);
        plugin->OnIdle();
        EXPECT_EQ(AubrevaneProbe::cachedPlatformScale(*plugin), 2.0f) << bad;
    }

    // With the editor closed the saved size comes from the cached scale: 1440 x 1064 at scale 2 is the logical size.
    plugin->CloseWindow();
    plugin->OnIdle();
    const auto saved = aubrevane::test::stateBytes(*plugin);
    AubrevaneProbe::cachedPlatformScale(*plugin) = 1.0f;
    ASSERT_EQ(aubrevane::test::restoreState(*plugin, saved), static_cast<int>(saved.size()));
    EXPECT_EQ(AubrevaneProbe::savedEditorWidth(*plugin), 720);
    EXPECT_EQ(AubrevaneProbe::savedEditorHeight(*plugin), 532);
}

namespace
{

/** Saves the open editor's size, then ten times restores it into a new instance, reopens and saves again. */
void expectSizeHoldsThroughReopening(Aubrevane& resized, const std::string& label)
{
    auto state = aubrevane::test::stateBytes(resized);
    const auto size = sizeInState(state);
    EXPECT_EQ(size, std::make_pair(resized.GetEditorWidth(), resized.GetEditorHeight())) << label;
    for (int reopened = 1; reopened <= 10; ++reopened)
    {
        const auto plugin = preparedPlugin();
        ASSERT_EQ(aubrevane::test::restoreState(*plugin, state), static_cast<int>(state.size()));
        ASSERT_NE(plugin->OpenWindow(nullptr), nullptr);
        state = aubrevane::test::stateBytes(*plugin);
        EXPECT_EQ(sizeInState(state), size) << label << ", reopened " << reopened;
        plugin->CloseWindow();
        EXPECT_EQ(sizeInState(aubrevane::test::stateBytes(*plugin)), size) << label << ", closed";
    }
}

} // namespace

TEST(AubrevaneEditorSize, ASavedSizeStaysThroughEveryReopenAndSave)
{
    // Windows the host sizes; 1082 x 805 is corrected to a height that rounds down.
    for (const auto& [width, height] :
         {std::pair{690, 510}, std::pair{1082, 805}, std::pair{1000, 739}, std::pair{541, 400}})
    {
        const auto plugin = preparedPlugin();
        ASSERT_NE(plugin->OpenWindow(nullptr), nullptr);
        plugin->OnParentWindowResize(width, height);
        expectSizeHoldsThroughReopening(*plugin, std::to_string(width) + " x " + std::to_string(height));
    }
    // Scales the corner sets: the window follows in whole pixels, and the draw scale may stay a little off it.
    for (const float scale : {0.7507f, 0.9592f, 1.2345f})
    {
        const auto plugin = preparedPlugin();
        ASSERT_NE(plugin->OpenWindow(nullptr), nullptr);
        plugin->GetUI()->Resize(720, 532, scale, true);
        expectSizeHoldsThroughReopening(*plugin, "scale " + std::to_string(scale));
    }
}

TEST(AubrevaneEditorSize, ScaleWithoutAnEditorComesFromTheStoredWidth)
{
    const auto plugin = preparedPlugin();
    plugin->SetEditorSize(1080, 798);
    EXPECT_FLOAT_EQ(plugin->editorScale(), 1.5f);
    plugin->SetEditorSize(0, 0);
    EXPECT_FLOAT_EQ(plugin->editorScale(), 1.0f);
}

TEST(AubrevaneAccent, OutOfRangeChoicesBecomeGreenAndOnlyChangesRebuild)
{
    const auto plugin = preparedPlugin();
    auto& rebuild = AubrevaneProbe::editorRebuildRequested(*plugin);
    plugin->setAccentIndex(5);
    EXPECT_FALSE(rebuild.exchange(false));
    plugin->setAccentIndex(6);
    EXPECT_EQ(plugin->currentAccentIndex(), 0);
    EXPECT_TRUE(rebuild.exchange(false));
    plugin->setAccentIndex(-1);
    EXPECT_EQ(plugin->currentAccentIndex(), 0);
    EXPECT_FALSE(rebuild.exchange(false));
    const auto argb = [](const iplug::igraphics::IColor& c) { return std::array<int, 4>{c.A, c.R, c.G, c.B}; };
    plugin->setAccentIndex(2);
    EXPECT_EQ(argb(plugin->resolvedAccent(255)), (std::array<int, 4>{255, 255, 122, 0}));
    plugin->setAccentIndex(5);
    EXPECT_EQ(argb(plugin->resolvedAccent(128)), (std::array<int, 4>{128, 21, 232, 121}));
}

TEST(AubrevaneAccent, NewAccentRebuildsTheOpenEditorOnTheNextTick)
{
    const auto plugin = preparedPlugin();
    ASSERT_NE(plugin->OpenWindow(nullptr), nullptr);
    plugin->OnIdle();
    // A mark that only the old controls carry: a new control may well take the freed place of an old one.
    plugin->GetUI()->GetControlWithTag(kTitleTag)->Hide(true);
    plugin->setAccentIndex(1);
    plugin->OnIdle();
    const auto* titleAfter = plugin->GetUI()->GetControlWithTag(kTitleTag);
    ASSERT_NE(titleAfter, nullptr);
    EXPECT_FALSE(titleAfter->IsHidden()); // the controls were made anew
    EXPECT_FALSE(AubrevaneProbe::editorRebuildRequested(*plugin).load());
}

TEST(AubrevaneMessageBoxes, WithoutAnEditorTellIsSilentAndAskSaysNo)
{
    const auto plugin = preparedPlugin();
    plugin->tell("Could not load the preset: x", "Load preset");
    EXPECT_FALSE(plugin->ask("Replace it?", "Save preset"));

    ASSERT_NE(plugin->OpenWindow(nullptr), nullptr);
    auto* graphics = plugin->GetUI();
    graphics->QueueMessageBoxAnswer(iplug::igraphics::kYES);
    EXPECT_TRUE(plugin->ask("Replace it?", "Save preset"));
    graphics->QueueMessageBoxAnswer(iplug::igraphics::kNO);
    EXPECT_FALSE(plugin->ask("Replace it?", "Save preset"));
    plugin->tell("Could not load the preset: x", "Load preset");
    ASSERT_EQ(graphics->GetMessageBoxes().size(), 3u);
    EXPECT_EQ(graphics->GetMessageBoxes()[2].text, "Could not load the preset: x");
    EXPECT_EQ(graphics->GetMessageBoxes()[2].title, "Load preset");
    EXPECT_EQ(graphics->GetMessageBoxes()[2].type, iplug::igraphics::kMB_OK);
}

struct StatusCase
{
    bool valid;
    std::string reference;
    std::string shown;
};

TEST(AubrevaneStatusLine, NamesTheTargetAndCutsLongNamesAtACharacter)
{
    const std::string head = "Aubrevane 0.9.14 \xC2\xB7 0 samples latency \xC2\xB7 target: ";
    const std::string ellipsis = "\xE2\x80\xA6";
    const std::string twentySix(26, 'a');
    const StatusCase cases[] = {
        {false, "song.wav", "balanced"},
        {true, "", "learned from input"},
        {true, std::string(28, 'x'), "learned from " + std::string(28, 'x')},
        {true, std::string(29, 'x'), "learned from " + std::string(27, 'x') + ellipsis},
        {true, twentySix + "\xC3\xA9" + "zz", "learned from " + twentySix + ellipsis}, // é spans bytes 26 and 27
    };
    for (const auto& c : cases)
    {
        const auto plugin = preparedPlugin();
        ASSERT_NE(plugin->OpenWindow(nullptr), nullptr);
        if (c.valid)
            installValidTarget(*plugin);
        AubrevaneProbe::setReferenceName(*plugin, c.reference);
        plugin->OnIdle();
        EXPECT_EQ(statusLine(*plugin), head + c.shown);
    }
}

TEST(AubrevaneStatusLine, ClosedEditorLeavesTheLineForTheNextOne)
{
    const auto plugin = preparedPlugin();
    plugin->OnIdle();
    EXPECT_TRUE(AubrevaneProbe::statusText(*plugin).empty());
    ASSERT_NE(plugin->OpenWindow(nullptr), nullptr);
    plugin->OnIdle();
    EXPECT_EQ(statusLine(*plugin), AubrevaneProbe::statusText(*plugin));
    EXPECT_NE(statusLine(*plugin).find("target: balanced"), std::string::npos);
}

TEST(AubrevaneIdle, LearnedFromInputClearsTheReferenceName)
{
    const auto plugin = preparedPlugin();
    AubrevaneProbe::setReferenceName(*plugin, "song.wav");
    AubrevaneProbe::referenceCleared(*plugin).store(true);
    plugin->OnIdle();
    EXPECT_EQ(plugin->referenceName(), "");
}

TEST(AubrevaneIdle, DeferredTargetSaveRunsAfterTheEditorClosedButReplacesNoFile)
{
    const auto plugin = preparedPlugin();
    installValidTarget(*plugin);
    const auto file = aubrevane::offline::targetPathForName(plugin->targetDirectory(), "Closed early");

    ASSERT_NE(plugin->OpenWindow(nullptr), nullptr);
    plugin->onSaveTarget("Closed early");
    plugin->CloseWindow();
    plugin->OnIdle(); // a new name needs no question
    const auto saved = aubrevane::test::readFileBytes(file);
    ASSERT_TRUE(saved.has_value());

    aubrevane::plugin::TargetValues other;
    other.valid = true;
    other.balance[3] = 4.5;
    AubrevaneProbe::published(*plugin).write(other);
    ASSERT_NE(plugin->OpenWindow(nullptr), nullptr);
    plugin->onSaveTarget("Closed early");
    plugin->CloseWindow();
    plugin->OnIdle(); // replacing asks first, and with no editor to ask the answer is No
    EXPECT_EQ(aubrevane::test::readFileBytes(file), saved);
}

TEST(AubrevaneIdle, IdleTickDrainsTheMeterQueues)
{
    const auto plugin = preparedPlugin();
    std::vector<double> signal(4800, 0.5);
    double* channels[2] = {signal.data(), signal.data()};
    plugin->ProcessBlock(channels, channels, 256);
    plugin->OnIdle(); // no editor: the readings are passed on and dropped
    EXPECT_TRUE(AubrevaneProbe::meterReadings(*plugin, false).empty());
    EXPECT_TRUE(AubrevaneProbe::meterReadings(*plugin, true).empty());

    plugin->ProcessBlock(channels, channels, 256); // the same block without an idle tick leaves readings queued
    EXPECT_FALSE(AubrevaneProbe::meterReadings(*plugin, false).empty());
    EXPECT_FALSE(AubrevaneProbe::meterReadings(*plugin, true).empty());
}

TEST(AubrevaneEditorHooks, UpdatePillMovesTheTitlesRightEdge)
{
    const auto plugin = preparedPlugin();
    ASSERT_NE(plugin->OpenWindow(nullptr), nullptr);
    auto* title = plugin->GetUI()->GetControlWithTag(kTitleTag);
    plugin->onUpdatePillResized({300.0f, 40.0f, 420.0f, 60.0f});
    EXPECT_EQ(title->GetRECT().R, 290.0f);
    plugin->onUpdatePillResized({});
    EXPECT_EQ(title->GetRECT().R, 428.0f);
}

TEST(AubrevaneEditorHooks, ToneDisplayReadingFollowsTheParameters)
{
    struct Reading
    {
        std::array<float, 12> gainDecibels{};
        std::array<float, 12> bandDecibels{};
        bool aboveThreshold = false, idle = false, bypassed = false, learning = false;
        float learnProgress = 0.0f;
        bool targetValid = false, analysingFile = false;
        std::string targetName, message;
        double sampleRate = 0.0;
        bool highPassOn = false;
        double highPassHertz = 0.0;
        bool lowPassOn = false;
        double lowPassHertz = 0.0;
    };
    const auto plugin = preparedPlugin(44100.0);
    plugin->GetParam(kAmount)->Set(0.0);
    plugin->GetParam(kHighPassFreq)->Set(80.0);
    AubrevaneProbe::setReferenceName(*plugin, "song.wav");
    const auto reading = plugin->toneDisplayReading<Reading>();
    EXPECT_TRUE(reading.idle);
    EXPECT_FALSE(reading.bypassed);
    EXPECT_EQ(reading.sampleRate, 44100.0);
    EXPECT_EQ(reading.highPassHertz, 80.0);
    EXPECT_TRUE(reading.highPassOn);
    EXPECT_EQ(reading.targetName, "song.wav");
    EXPECT_EQ(reading.bandDecibels[0], -120.0f);
    EXPECT_TRUE(reading.message.empty());
}
