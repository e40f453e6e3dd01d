#include "EditorTestSupport.h"

#include "editor/LearnPillControl.h"
#include "framework/IParam.h"
#include "plugin/AubrevaneCallbacks.h"
#include "support/GraphicsTestDelegate.h"
#include "support/OfflineUpdateCheck.h"
#include "support/TestFolder.h"
#include "wendlebrak/controls/UpdatePillControl.h"
#include "wendlebrak/updates/UpdateCheck.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using namespace aubrevane::plugin;
using namespace iplug::igraphics;
using aubrevane::test::boxesShown;
using aubrevane::test::EditorUser;
using aubrevane::test::findControl;
using aubrevane::test::readFileBytes;
using aubrevane::test::RecordingAubrevane;

namespace
{

namespace fs = std::filesystem;

constexpr const char* kCouldNotLearn = "COULD NOT LEARN: ";

class EditorCallbacks : public ::testing::Test
{
protected:
    void SetUp() override { editor.emplace(plugin); }

    ToneDisplayControl::Reading reading() const { return toneDisplayReading(&plugin)(); }

    fs::path presetFile(const std::string& name) const { return plugin.presetDirectory() / (name + ".avpreset"); }

    /** Fails a reference analysis (the file does not exist) and waits for the worker. */
    void failAnalysis()
    {
        plugin.learnFromFile((aubrevane::test::testFolder() / "missing.wav").string());
        editor->waitForAnalysis();
        ASSERT_EQ(reading().message.rfind(kCouldNotLearn, 0), 0u);
    }

    RecordingAubrevane plugin;
    std::optional<EditorUser> editor;
};

} // namespace

TEST_F(EditorCallbacks, ChoosingTheSameAccentRebuildsNothingAnotherRebuildsOnce)
{
    const auto actions = settingsMenuActions(&plugin, nullptr);
    actions.setAccent(2);
    editor->tick();
    plugin.sentToEditor.clear();

    actions.setAccent(2);
    editor->tick();
    EXPECT_TRUE(plugin.sentToEditor.empty());

    actions.setAccent(3);
    EXPECT_TRUE(plugin.sentToEditor.empty()) << "the rebuild waits for the idle tick";
    editor->tick();
    editor->tick();
    EXPECT_EQ(plugin.sentToEditor.size(), static_cast<std::size_t>(kNumParams)) << "exactly one rebuild";
    EXPECT_EQ(actions.currentAccent(), 3);
}

TEST_F(EditorCallbacks, SavingAPresetAsksOnlyBeforeReplacingAnotherOne)
{
    const auto hooks = presetHooks(&plugin);
    hooks.save("Warm"); // a new name saves at once
    ASSERT_TRUE(readFileBytes(presetFile("Warm")));
    EXPECT_EQ(hooks.currentName(), "Warm");

    plugin.GetParam(kAmount)->Set(20.0);
    const auto before = readFileBytes(presetFile("Warm"));
    hooks.save("Warm"); // the current preset is replaced without a question
    EXPECT_NE(readFileBytes(presetFile("Warm")), before);
    EXPECT_TRUE(boxesShown(plugin).empty());

    hooks.save("Bright");
    const auto warm = readFileBytes(presetFile("Warm"));
    plugin.GetParam(kAmount)->Set(70.0);
    hooks.save("Warm"); // another preset's name: deferred to the idle tick, which asks
    EXPECT_EQ(readFileBytes(presetFile("Warm")), warm);
    EXPECT_TRUE(boxesShown(plugin).empty());
    editor->ui().QueueMessageBoxAnswer(iplug::igraphics::kYES);
    editor->tick();
    EXPECT_EQ(boxesShown(plugin).size(), 1u);
    EXPECT_NE(readFileBytes(presetFile("Warm")), warm);
    EXPECT_EQ(hooks.currentName(), "Warm");
}

TEST_F(EditorCallbacks, UnknownPresetNamesLoadAndRemoveNothing)
{
    const auto hooks = presetHooks(&plugin);
    hooks.save("Warm");
    plugin.GetParam(kAmount)->Set(33.0);
    hooks.load("warm");
    hooks.remove("Warm ");
    EXPECT_DOUBLE_EQ(plugin.GetParam(kAmount)->Value(), 33.0);
    EXPECT_EQ(hooks.listNames(), std::vector<std::string>{"Warm"});
    EXPECT_TRUE(boxesShown(plugin).empty());
}

TEST_F(EditorCallbacks, TheReadingFollowsAmountBypassAndTheSampleRate)
{
    plugin.GetParam(kAmount)->Set(0.0);
    EXPECT_TRUE(reading().idle);
    plugin.GetParam(kAmount)->Set(0.5);
    EXPECT_FALSE(reading().idle);
    plugin.GetParam(kBypass)->Set(1.0);
    EXPECT_TRUE(reading().bypassed);

    EXPECT_EQ(reading().sampleRate, 48000.0);
    plugin.SetSampleRate(96000.0);
    EXPECT_EQ(reading().sampleRate, 96000.0);
    plugin.SetSampleRate(0.0); // no rate known yet
    EXPECT_EQ(reading().sampleRate, 48000.0);

    plugin.GetParam(kHighPassOn)->Set(1.0);
    plugin.GetParam(kHighPassFreq)->Set(80.0);
    EXPECT_TRUE(reading().highPassOn);
    EXPECT_DOUBLE_EQ(reading().highPassHertz, 80.0);
}

TEST_F(EditorCallbacks, AFailedAnalysisShowsItsReasonUntilLearningFromTheInput)
{
    failAnalysis();
    EXPECT_GT(reading().message.size(), std::string(kCouldNotLearn).size()) << "the reason follows the prefix";
    EXPECT_FALSE(reading().analysingFile);
    learnPillActions(&plugin).learnFromInput();
    EXPECT_EQ(reading().message, "");
    EXPECT_EQ(plugin.learningState(), Aubrevane::kLearnIdle);
}

TEST_F(EditorCallbacks, ClearingTheTargetOrRestoringAStateEndsAFailureNotice)
{
    const auto state = aubrevane::test::stateBytes(plugin);
    failAnalysis();
    settingsMenuActions(&plugin, nullptr).clearLearnedTarget();
    EXPECT_EQ(reading().message, "");
    EXPECT_EQ(plugin.learningState(), Aubrevane::kLearnIdle);

    failAnalysis();
    EXPECT_GT(aubrevane::test::restoreState(plugin, state), 0);
    EXPECT_EQ(reading().message, "");
}

TEST_F(EditorCallbacks, AReadThatMeetsATargetWriterSaysNoTarget)
{
    TargetValues values;
    values.valid = true;
    AubrevaneProbe::published(plugin).write(values);
    const auto actions = settingsMenuActions(&plugin, nullptr);
    EXPECT_TRUE(actions.hasLearnedTarget());
    EXPECT_TRUE(learnPillActions(&plugin).state().hasLearnedTarget);

    AubrevaneProbe::published(plugin).version.fetch_add(1); // a writer is busy
    EXPECT_FALSE(actions.hasLearnedTarget());
    EXPECT_FALSE(learnPillActions(&plugin).state().hasLearnedTarget);
    EXPECT_FALSE(reading().targetValid);
    AubrevaneProbe::published(plugin).version.fetch_add(1);
    EXPECT_TRUE(reading().targetValid);
}

TEST_F(EditorCallbacks, OnlyTheFirstUpdateItemSwitchesTheCheck)
{
    auto* pill = findControl<wendlebrak::controls::UpdatePillControl>(editor->ui());
    auto updates = plugin.updates();
    ASSERT_TRUE(pill && updates);
    EXPECT_EQ(pill->updateCheck(), updates.get()); // the menu item switches the plug-in's own check
    const bool enabled = updates->state().enabled;
    onUpdateMenuItem(pill, 1);
    EXPECT_EQ(updates->state().enabled, enabled);
    onUpdateMenuItem(pill, 0);
    EXPECT_EQ(updates->state().enabled, !enabled);
    onUpdateMenuItem(pill, 0);
    EXPECT_EQ(updates->state().enabled, enabled);
}

TEST_F(EditorCallbacks, ATargetSaveIsLeftForTheIdleTick)
{
    const auto actions = learnPillActions(&plugin);
    actions.loadTarget(aubrevane::test::factoryTarget("Male speech"));
    editor->play();
    actions.saveTarget("Mine");
    actions.saveTarget("Ours"); // replaces the name still waiting
    EXPECT_TRUE(plugin.savedTargets().empty());
    editor->tick();
    const auto saved = plugin.savedTargets();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].name, "Ours");
}

TEST_F(EditorCallbacks, ADeferredPresetSaveAfterTheEditorClosedReplacesNothing)
{
    const auto hooks = presetHooks(&plugin);
    hooks.save("Warm");
    hooks.save("Bright");
    const auto warm = readFileBytes(presetFile("Warm"));
    plugin.GetParam(kAmount)->Set(70.0);
    hooks.save("Warm");
    plugin.CloseWindow();
    plugin.OnIdle(); // no editor to ask in: the answer is No
    EXPECT_EQ(readFileBytes(presetFile("Warm")), warm);
}

TEST_F(EditorCallbacks, ARebuildWithAMenuOpenDropsTheMenu)
{
    editor->click(EditorUser::kLearnPillX, EditorUser::kLearnPillY);
    ASSERT_TRUE(editor->ui().HasPendingPopupMenu());
    settingsMenuActions(&plugin, nullptr).setAccent(4);
    editor->tick();
    EXPECT_FALSE(editor->ui().HasPendingPopupMenu());
    EXPECT_FALSE(editor->ui().SelectPopupItemByText({"Learn from input"}));
    EXPECT_FALSE(AubrevaneProbe::learnStartRequested(plugin));
}

namespace
{

/** The settings menu and an update pill wired by the layout's own callbacks, over a check that offers 0.10.0. */
class SettingsMenuUpdateItems : public ::testing::Test
{
protected:
    SettingsMenuUpdateItems()
    {
        EXPECT_TRUE(aubrevane::test::offerUpdate(*check, "0.10.0", "/aubrevane/download"));
        pill = new wendlebrak::controls::UpdatePillControl(kPillBounds, check.get(),
                                                           IText(11.5f, IColor(255, 250, 250, 250)),
                                                           [this](const IRECT& r) { resizes.push_back(r); });
        settings = static_cast<KebabMenuControl*>(
            editor.graphics->AttachControl(new KebabMenuControl(settingsMenuActions(&plugin, pill), "0.9.14")));
        editor.graphics->AttachControl(pill);
        editor.graphics->EnableMouseOver(true);
    }

    /** The ticked items of the settings menu, opened as the preset bar's menu button opens it. */
    std::vector<std::string> openedAndTicked()
    {
        openKebabMenu(settings)(kAnchor);
        std::vector<std::string> texts;
        if (const IPopupMenu* menu = editor.graphics->GetPendingPopupMenu())
            for (int i = 0; i < menu->NItems(); ++i)
                if (menu->GetItem(i)->GetChecked())
                    texts.emplace_back(menu->GetItem(i)->GetText());
        return texts;
    }

    static inline const IRECT kPillBounds{300.0f, 49.0f, 460.0f, 79.0f};
    static inline const IRECT kAnchor{681.05f, 5.76f, 701.53f, 26.24f};
    RecordingAubrevane plugin;
    std::unique_ptr<wendlebrak::updates::UpdateCheck> check = aubrevane::test::offlineUpdateCheck();
    aubrevane::test::EditorHarness editor{0};
    wendlebrak::controls::UpdatePillControl* pill = nullptr;
    KebabMenuControl* settings = nullptr;
    std::vector<IRECT> resizes;
};

} // namespace

TEST_F(SettingsMenuUpdateItems, SwitchingUpdatesOffHidesTheNoticeUnderTheMouse)
{
    ASSERT_TRUE(check->state().notice.has_value());
    EXPECT_TRUE(editor.graphics->DrawFrame());
    ASSERT_EQ(resizes.size(), 1u);
    const IRECT shown = resizes[0];
    EXPECT_EQ(shown.R, kPillBounds.R);
    EXPECT_LT(shown.L, kPillBounds.R - 20.0f);
    EXPECT_EQ(pill->labelText(), "0.10.0 AVAILABLE");

    editor.graphics->OnMouseOver(shown.R - 2.0f, shown.MH(), IMouseMod());
    EXPECT_EQ(editor.graphics->GetMouseCursor(), ECursor::HAND);
    editor.graphics->OnMouseDown(shown.R - 2.0f, shown.MH(), IMouseMod(true));
    EXPECT_EQ(editor.graphics->GetOpenedURLs(),
              std::vector<std::string>{"https://updates.wendlebrak.com/aubrevane/download"});

    EXPECT_EQ(openedAndTicked(), (std::vector<std::string>{"DAW color", "Window 1x", "Check for updates"}));
    ASSERT_TRUE(editor.graphics->SelectPopupItemByText({"Check for updates"}));
    EXPECT_TRUE(std::filesystem::exists(check->offFile()));

    EXPECT_TRUE(editor.graphics->DrawFrame());
    ASSERT_EQ(resizes.size(), 2u);
    EXPECT_TRUE(resizes[1].Empty());
    EXPECT_FALSE(pill->IsHit(shown.R - 2.0f, shown.MH()));
    EXPECT_EQ(editor.graphics->GetMouseCursor(), ECursor::ARROW);
    EXPECT_FALSE(pill->isHovered());
    EXPECT_EQ(openedAndTicked(), (std::vector<std::string>{"DAW color", "Window 1x"}));

    ASSERT_TRUE(editor.graphics->SelectPopupItemByText({"Check for updates"}));
    editor.graphics->DrawFrame();
    ASSERT_EQ(resizes.size(), 3u);
    EXPECT_EQ(resizes[2], shown);
}
