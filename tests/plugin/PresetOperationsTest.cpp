#include "OperationsSupport.h"

#include "offline/PresetFormat.h"
#include "plugin/StateChunk.h"
#include "support/TestFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

namespace
{

namespace fs = std::filesystem;
using aubrevane::offline::kPresetFormat;
using namespace aubrevane::test;
using testing::ElementsAre;
using wendlebrak::presets::SavedPreset;

class PresetOperations : public testing::Test
{
protected:
    std::unique_ptr<Aubrevane> plugin = preparedPlugin();
    const fs::path folder = fs::path(std::getenv("XDG_DATA_HOME")) / "Aubrevane" / "Presets";

    /** A sound of its own: a few parameters away from their defaults and a factory target installed. */
    void shapeSound(Aubrevane& p, double amount = 73.0)
    {
        p.GetParam(kAmount)->Set(amount);
        p.GetParam(kTilt)->Set(-1.7);
        p.GetParam(kPreEqFirst)->Set(4.5);
        p.loadTarget(factoryTarget("Male speech"));
        runBlocks(p);
    }

    SavedPreset listed(const std::string& name)
    {
        for (const auto& preset : plugin->savedPresets())
            if (preset.name == name)
                return preset;
        ADD_FAILURE() << "no preset " << name;
        return {};
    }

    std::vector<std::uint8_t> stateInFile(const fs::path& file)
    {
        SavedPreset preset;
        std::string message;
        EXPECT_TRUE(wendlebrak::presets::readPreset(kPresetFormat, file, preset, message)) << message;
        return preset.state;
    }
};

TEST_F(PresetOperations, TheFolderIsUnderTheUsersDataFolder)
{
    EXPECT_EQ(plugin->presetDirectory(), folder);
    EXPECT_TRUE(plugin->savedPresets().empty());
    EXPECT_FALSE(fs::exists(folder));
}

TEST_F(PresetOperations, ASavedPresetRestoresTheSameStateByteForByteInAFreshInstance)
{
    shapeSound(*plugin);
    plugin->savePreset("  Vocal\t ", false);
    EXPECT_EQ(plugin->presetName(), "Vocal");
    const auto saved = stateBytes(*plugin);
    EXPECT_EQ(stateInFile(folder / "Vocal.avpreset"), saved);

    auto fresh = preparedPlugin();
    fresh->loadPreset(listed("Vocal"));
    EXPECT_EQ(fresh->presetName(), "Vocal");
    EXPECT_FALSE(fresh->presetModified());
    EXPECT_EQ(fresh->GetParam(kAmount)->Value(), 73.0);
    EXPECT_EQ(stateBytes(*fresh), saved);

    // The target reaches the fresh instance's engine too.
    runBlocks(*fresh);
    EXPECT_EQ(AubrevaneProbe::engine(*fresh).targetBalance, AubrevaneProbe::engine(*plugin).targetBalance);
    EXPECT_TRUE(fresh->hasLearnedTarget());
}

TEST_F(PresetOperations, ANameOfOnlyBlanksSavesNothingAndSaysNothing)
{
    openEditor(*plugin);
    plugin->savePreset(" \t  ", false);
    plugin->savePreset("", true);
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_TRUE(boxesShown(*plugin).empty());
    EXPECT_EQ(plugin->presetName(), "");
}

TEST_F(PresetOperations, ReplacingAPresetNeedsAYesAndNoLeavesItByteForByte)
{
    shapeSound(*plugin, 10.0);
    plugin->savePreset("Rock", false);
    const auto before = readFileBytes(folder / "Rock.avpreset");
    ASSERT_TRUE(before);
    shapeSound(*plugin, 90.0);

    plugin->savePreset("Rock", true); // no editor: no one to say yes
    EXPECT_EQ(readFileBytes(folder / "Rock.avpreset"), before);

    auto& graphics = openEditor(*plugin);
    graphics.QueueMessageBoxAnswer(iplug::igraphics::kNO);
    plugin->savePreset("Rock", true);
    EXPECT_EQ(readFileBytes(folder / "Rock.avpreset"), before);
    graphics.QueueMessageBoxAnswer(iplug::igraphics::kYES);
    plugin->savePreset(" Rock ", true);
    EXPECT_NE(readFileBytes(folder / "Rock.avpreset"), before);
    EXPECT_EQ(stateInFile(folder / "Rock.avpreset"), stateBytes(*plugin));

    const std::string question = "Save preset: A preset named \"Rock\" already exists. Replace it?";
    EXPECT_THAT(boxesShown(*plugin), ElementsAre(question, question));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST_F(PresetOperations, ADifferentNameForTheSameFileGetsItsOwnFileWithoutAQuestion)
{
    openEditor(*plugin);
    plugin->savePreset("My/preset", true);
    plugin->savePreset("My:preset", true);
    EXPECT_TRUE(boxesShown(*plugin).empty());
    EXPECT_TRUE(fs::exists(folder / "My-preset.avpreset"));
    EXPECT_TRUE(fs::exists(folder / "My-preset-1.avpreset"));
}

struct BadPreset
{
    const char* what;
    std::function<std::string()> fileText; // made when the test runs, inside its own data folder
    std::string message;
};

void PrintTo(const BadPreset& preset, std::ostream* out)
{
    *out << preset.what;
}

class LoadingABadPreset : public PresetOperations, public testing::WithParamInterface<BadPreset>
{
};

TEST_P(LoadingABadPreset, ShowsWhyAndChangesNothing)
{
    shapeSound(*plugin);
    plugin->savePreset("Current", false);
    plugin->GetParam(kOutput)->Set(-3.0); // unsaved work that a failed load must keep
    openEditor(*plugin);
    const auto before = stateBytes(*plugin);

    writeFileBytes(folder / "Bad.avpreset", GetParam().fileText());
    plugin->loadPreset(SavedPreset{"Bad", {1}, folder / "Bad.avpreset"});
    EXPECT_THAT(boxesShown(*plugin), ElementsAre("Load preset: Could not load the preset: " + GetParam().message));
    EXPECT_EQ(stateBytes(*plugin), before);
    EXPECT_EQ(plugin->presetName(), "Current");
}

std::string presetFileWith(std::vector<std::uint8_t> state)
{
    return "Aubrevane preset 1\nname=Bad\nstate=" + wendlebrak::presets::toBase64(state) + "\n";
}

std::vector<std::uint8_t> validState()
{
    auto source = preparedPlugin();
    source->GetParam(kAmount)->Set(12.0);
    return stateBytes(*source);
}

std::vector<std::uint8_t> cut(std::vector<std::uint8_t> bytes, std::size_t keep)
{
    bytes.resize(keep);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoadingABadPreset,
    testing::Values(
        BadPreset{"NotAPresetFile", [] { return std::string("scribbles"); }, "not an Aubrevane preset: Bad.avpreset"},
        BadPreset{"NoState", [] { return std::string("Aubrevane preset 1\nname=Bad\n"); },
                  "the preset has no readable state: Bad.avpreset"},
        BadPreset{"AnotherProductsState",
                  [] {
                      return presetFileWith({'S', 'T', 'A', 'T', 0, 0, 0, 0});
                  },
                  "it does not hold an Aubrevane state."},
        BadPreset{"ThreeBytes",
                  [] {
                      return presetFileWith({'1', 'S', 'V'});
                  },
                  "it does not hold an Aubrevane state."},
        BadPreset{"ShortHead", [] { return presetFileWith(cut(validState(), 60)); }, "its state is damaged."},
        BadPreset{"ParametersCutShort", [] { return presetFileWith(cut(validState(), 200)); }, "its state is damaged."},
        BadPreset{"TailCutShort", [] { return presetFileWith(cut(validState(), validState().size() - 180)); },
                  "its state is damaged."}),
    [](const testing::TestParamInfo<BadPreset>& info) { return info.param.what; });

TEST_F(PresetOperations, TheFileAsItIsNowIsLoadedUnderTheNameInTheFile)
{
    shapeSound(*plugin, 20.0);
    plugin->savePreset("Lead", false);
    const SavedPreset listedBefore = listed("Lead");

    // Edited on disk after the menu listed it: another sound, and a name line that differs from the state's.
    auto other = preparedPlugin();
    other->GetParam(kAmount)->Set(64.0);
    other->savePreset("Inner name", false);
    auto state = stateInFile(folder / "Inner name.avpreset");
    writeFileBytes(listedBefore.file,
                   "Aubrevane preset 1\nname=Lead v2\nstate=" + wendlebrak::presets::toBase64(state) + "\n");

    plugin->loadPreset(listedBefore);
    EXPECT_EQ(plugin->GetParam(kAmount)->Value(), 64.0);
    EXPECT_EQ(plugin->presetName(), "Lead v2");
    EXPECT_FALSE(plugin->presetModified());
}

TEST_F(PresetOperations, AFailedSaveKeepsTheOldNameAndMarkAndSaysWhy)
{
    plugin->savePreset("Old", false);
    plugin->OnIdle();
    plugin->GetParam(kAmount)->Set(99.0);
    plugin->OnIdle();
    ASSERT_TRUE(plugin->presetModified());

    fs::remove_all(folder);
    writeFileBytes(folder, "a file where the preset folder should be");
    openEditor(*plugin);
    plugin->savePreset("New", false);
    EXPECT_EQ(plugin->presetName(), "Old");
    EXPECT_TRUE(plugin->presetModified());
    EXPECT_THAT(boxesShown(*plugin), ElementsAre("Save preset: Could not save the preset: could not write " +
                                                 (folder / "New.avpreset").string() + ": not a directory"));

    // A state with a reference name of 1.1 MB makes a preset that could never be listed or loaded.
    fs::remove(folder);
    AubrevaneProbe::setReferenceName(*plugin, std::string(1'100'000, 'r'));
    plugin->savePreset("New", false);
    plugin->savePreset("New", false);
    EXPECT_EQ(plugin->presetName(), "Old");
    EXPECT_FALSE(fs::exists(folder / "New.avpreset"));
    EXPECT_FALSE(fs::exists(folder / "New-1.avpreset"));
    const std::string tooLarge = "Save preset: Could not save the preset: could not write " +
                                 (folder / "New.avpreset").string() + ": the file would be too large to read back";
    EXPECT_THAT(boxesShown(*plugin), ElementsAre(testing::_, tooLarge, tooLarge));
}

TEST_F(PresetOperations, DeletingRemovesTheFileButKeepsTheCurrentName)
{
    plugin->savePreset("Gone soon", false);
    const auto preset = listed("Gone soon");
    plugin->removePreset(preset);
    EXPECT_FALSE(fs::exists(preset.file));
    EXPECT_EQ(plugin->presetName(), "Gone soon");

    openEditor(*plugin);
    plugin->removePreset(preset);
    EXPECT_THAT(boxesShown(*plugin),
                ElementsAre("Delete preset: Could not delete the preset: could not delete Gone soon.avpreset"));
}

TEST_F(PresetOperations, TheMarkFollowsChangesBeyondTheToleranceOnly)
{
    shapeSound(*plugin);
    plugin->savePreset("Mark", false);
    plugin->OnIdle(); // takes the snapshot
    EXPECT_EQ(plugin->soundSnapshot().size(), 72u);
    plugin->GetParam(kThreshold)->Set(plugin->GetParam(kThreshold)->Value() * (1.0 + 5e-7));
    plugin->OnIdle();
    EXPECT_FALSE(plugin->presetModified());

    plugin->GetParam(kThreshold)->Set(plugin->GetParam(kThreshold)->Value() + 0.5);
    plugin->OnIdle();
    EXPECT_TRUE(plugin->presetModified());
    plugin->GetParam(kThreshold)->Set(plugin->GetParam(kThreshold)->Value() - 0.5);
    plugin->OnIdle();
    EXPECT_TRUE(plugin->presetModified()); // stays until the next load or save

    // The mark travels with the host's project.
    auto reopened = preparedPlugin();
    ASSERT_GT(restoreState(*reopened, stateBytes(*plugin)), 0);
    reopened->OnIdle();
    EXPECT_TRUE(reopened->presetModified());

    // Saving again under the current name clears it.
    plugin->savePreset("Mark", false);
    plugin->OnIdle();
    EXPECT_FALSE(plugin->presetModified());
}

TEST_F(PresetOperations, ANewReferenceNameAloneMarksThePresetModified)
{
    shapeSound(*plugin);
    plugin->savePreset("Ref", false);
    plugin->OnIdle();
    AubrevaneProbe::setReferenceName(*plugin, "song.wav");
    plugin->OnIdle();
    EXPECT_TRUE(plugin->presetModified());
}

TEST_F(PresetOperations, WithoutALoadedPresetNothingIsEverMarked)
{
    plugin->OnIdle();
    plugin->GetParam(kAmount)->Set(3.0);
    plugin->OnIdle();
    EXPECT_FALSE(plugin->presetModified());
}

TEST_F(PresetOperations, LoadingAPresetSavedAtAnotherEditorScaleResizesTheOpenEditor)
{
    openEditor(*plugin);
    plugin->applyEditorScale(1.5f);
    ASSERT_NEAR(plugin->editorScale(), 1.5f, 0.01f);
    plugin->savePreset("Big", false);
    plugin->applyEditorScale(1.005f);
    plugin->savePreset("Nearly", false);

    auto other = preparedPlugin();
    openEditor(*other);
    ASSERT_NEAR(other->editorScale(), 1.0f, 0.001f);
    other->loadPreset(listed("Nearly"));
    EXPECT_NEAR(other->editorScale(), 1.0f, 0.001f);
    other->loadPreset(listed("Big"));
    EXPECT_NEAR(other->editorScale(), 1.5f, 0.01f);
}

} // namespace
