#include "editor/LearnPillControl.h"

#include "support/GraphicsTestDelegate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

using namespace iplug::igraphics;
using aubrevane::offline::SavedTarget;

namespace
{

std::vector<SavedTarget> targetsNamed(const std::vector<std::string>& names)
{
    std::vector<SavedTarget> targets;
    for (const std::string& name : names)
        targets.push_back(SavedTarget{name, "input", {}, "/presets/" + name + ".avtarget", false});
    return targets;
}

/** One line per item: its text, "-" when disabled, "*" when checked, "[n]" for a submenu of n items. */
std::vector<std::string> describe(const IPopupMenu& menu)
{
    std::vector<std::string> lines;
    for (int i = 0; i < menu.NItems(); ++i)
    {
        const IPopupMenu::Item& item = *menu.GetItem(i);
        if (item.GetIsSeparator())
        {
            lines.push_back("---");
            continue;
        }
        std::string line = item.GetText();
        if (!item.GetEnabled())
            line += " -";
        if (item.GetChecked())
            line += " *";
        if (item.GetSubmenu() != nullptr)
            line += " [" + std::to_string(item.GetSubmenu()->NItems()) + "]";
        lines.push_back(line);
    }
    return lines;
}

class LearnPillControlTest : public testing::Test
{
protected:
    LearnPillControlTest()
    {
        LearnPillControl::Actions actions;
        actions.state = [this] { return state; };
        actions.learnFromInput = [this] { calls.push_back("learnFromInput"); };
        actions.learnFromFile = [this] { calls.push_back("learnFromFile"); };
        actions.cancel = [this] { calls.push_back("cancel"); };
        actions.clear = [this] { calls.push_back("clear"); };
        actions.savedTargets = [this] { return saved; };
        actions.factoryTargets = [this] { return factory; };
        actions.defaultTargetName = [] { return std::string("Mix bus 3"); };
        actions.loadTarget = [this](const SavedTarget& t) { calls.push_back("load " + t.name); };
        actions.saveTarget = [this](const std::string& name) { calls.push_back("save [" + name + "]"); };
        actions.removeTarget = [this](const SavedTarget& t) { calls.push_back("remove " + t.name); };
        pill = attachPill(std::move(actions));
    }

    LearnPillControl* attachPill(LearnPillControl::Actions actions)
    {
        return static_cast<LearnPillControl*>(editor.graphics->AttachControl(
            new LearnPillControl(kBounds, labelStyle, entryStyle, accent, std::move(actions))));
    }

    const IPopupMenu& openMenu()
    {
        editor.graphics->OnMouseDown(kBounds.MW(), kBounds.MH(), IMouseMod(true));
        EXPECT_TRUE(editor.graphics->HasPendingPopupMenu());
        return *editor.graphics->GetPendingPopupMenu();
    }

    std::vector<std::string> drawnTexts()
    {
        editor.draw();
        return editor.texts();
    }

    static inline const IRECT kBounds{470.0f, 49.0f, 582.0f, 79.0f};
    const IText labelStyle{11.5f, IColor(255, 250, 250, 250), "Roboto-Regular", EAlign::Center};
    const IText entryStyle{13.0f, IColor(255, 250, 250, 250), "Roboto-Regular", EAlign::Near};
    const IColor accent{255, 21, 232, 121};

    aubrevane::test::EditorHarness editor{0};
    LearnPillControl::State state;
    std::vector<SavedTarget> saved = targetsNamed({"Podcast", "Vocal", "Bright"});
    std::vector<SavedTarget> factory = targetsNamed({"Speech", "Warm vocal"});
    std::vector<std::string> calls;
    LearnPillControl* pill = nullptr;
};

struct MenuCase
{
    const char* name;
    LearnPillControl::State state;
    bool withTargets;
    std::vector<std::string> items;
};

const MenuCase kMenuCases[] = {
    {"IdleWithoutTargets",
     {},
     false,
     {"Learn from input", "Learn from reference file\u2026", "---", "Factory targets - [0]", "Load target - [0]",
      "Save target\u2026 -", "Delete target - [0]"}},
    {"IdleWithTargets",
     {},
     true,
     {"Learn from input", "Learn from reference file\u2026", "---", "Factory targets [2]", "Load target [3]",
      "Save target\u2026 -", "Delete target [3]"}},
    {"Learning",
     {true, false, false, 0.3f},
     true,
     {"Learn from input -", "Learn from reference file\u2026 -", "---", "Factory targets - [2]", "Load target - [3]",
      "Save target\u2026 -", "Delete target [3]", "---", "Cancel learning"}},
    {"AnalysingWithLearnedTarget",
     {false, true, true, 0.0f},
     true,
     {"Learn from input -", "Learn from reference file\u2026 -", "---", "Factory targets - [2]", "Load target - [3]",
      "Save target\u2026 -", "Delete target [3]", "---", "Clear learned target (use the balanced target)"}},
    {"Learned",
     {false, true, false, 0.0f},
     true,
     {"Learn from input", "Learn from reference file\u2026", "---", "Factory targets [2]", "Load target [3]",
      "Save target\u2026", "Delete target [3]", "---", "Clear learned target (use the balanced target)"}},
};

class LearnPillMenuTest : public LearnPillControlTest, public testing::WithParamInterface<MenuCase>
{
};

TEST_P(LearnPillMenuTest, ItemsAndFlagsFollowTheState)
{
    state = GetParam().state;
    if (!GetParam().withTargets)
        saved.clear(), factory.clear();
    const IPopupMenu& menu = openMenu();
    EXPECT_EQ(describe(menu), GetParam().items);
    EXPECT_EQ(editor.graphics->GetPendingPopupBounds(), kBounds);

    // Target items: tagged by list and index; loading and factory picks wait while busy, deleting never does.
    const bool busy = state.learning || state.analysingFile;
    const struct
    {
        int position;
        int tagBase;
        bool disabledWhenBusy;
    } submenus[] = {{3, 30000, true}, {4, 10000, true}, {6, 20000, false}};
    for (const auto& sub : submenus)
    {
        const IPopupMenu& items = *menu.GetItem(sub.position)->GetSubmenu();
        for (int i = 0; i < items.NItems(); ++i)
        {
            EXPECT_EQ(items.GetItem(i)->GetTag(), sub.tagBase + i);
            EXPECT_EQ(items.GetItem(i)->GetEnabled(), !(busy && sub.disabledWhenBusy));
            EXPECT_FALSE(items.GetItem(i)->GetChecked());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(States, LearnPillMenuTest, testing::ValuesIn(kMenuCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LearnPillControlTest, TargetItemsActOnTheListAsItStoodWhenTheMenuOpened)
{
    openMenu();
    saved = targetsNamed({"Other"}); // changes after opening must not shift the menu's entries
    ASSERT_TRUE(editor.graphics->SelectPopupItemByText({"Delete target", "Bright"}));
    openMenu();
    ASSERT_TRUE(editor.graphics->SelectPopupItem({3, 1}));
    saved = targetsNamed({"Podcast", "Vocal"});
    openMenu();
    ASSERT_TRUE(editor.graphics->SelectPopupItem({4, 1}));
    EXPECT_EQ(calls, (std::vector<std::string>{"remove Bright", "load Warm vocal", "load Vocal"}));
}

TEST_F(LearnPillControlTest, CommandItemsCallTheirActions)
{
    state.hasLearnedTarget = true;
    for (const char* text :
         {"Learn from input", "Learn from reference file\u2026", "Clear learned target (use the balanced target)"})
    {
        openMenu();
        ASSERT_TRUE(editor.graphics->SelectPopupItemByText({text}));
    }
    state = {true, false, false, 0.5f};
    openMenu();
    ASSERT_TRUE(editor.graphics->SelectPopupItemByText({"Cancel learning"}));
    EXPECT_EQ(calls, (std::vector<std::string>{"learnFromInput", "learnFromFile", "clear", "cancel"}));
}

TEST_F(LearnPillControlTest, ATargetNamedLikeACommandIsStillATarget)
{
    saved = targetsNamed({"Learn from input", "Cancel learning"});
    openMenu();
    ASSERT_TRUE(editor.graphics->SelectPopupItem({4, 0}));
    openMenu();
    ASSERT_TRUE(editor.graphics->SelectPopupItem({6, 1}));
    EXPECT_EQ(calls, (std::vector<std::string>{"load Learn from input", "remove Cancel learning"}));
}

TEST_F(LearnPillControlTest, TagsStayDistinctWithTensOfThousandsOfSavedTargets)
{
    saved.clear();
    for (int i = 0; i < 25000; ++i)
        saved.push_back(SavedTarget{"t" + std::to_string(i), "", {}, {}, false});
    const IPopupMenu& menu = openMenu();
    std::set<int> tags;
    int items = 0;
    for (int position : {3, 4, 6})
    {
        const IPopupMenu& sub = *menu.GetItem(position)->GetSubmenu();
        for (int i = 0; i < sub.NItems(); ++i, ++items)
            tags.insert(sub.GetItem(i)->GetTag());
    }
    EXPECT_EQ(tags.size(), static_cast<size_t>(items));

    // Item 10000 of the load menu and item 0 of the delete menu met at tag 20000 with the narrow ranges.
    ASSERT_TRUE(editor.graphics->SelectPopupItem({4, 10000}));
    openMenu();
    ASSERT_TRUE(editor.graphics->SelectPopupItem({6, 0}));
    openMenu();
    ASSERT_TRUE(editor.graphics->SelectPopupItem({6, 24999}));
    EXPECT_EQ(calls, (std::vector<std::string>{"load t10000", "remove t0", "remove t24999"}));
}

TEST_F(LearnPillControlTest, SaveTargetAsksForANameAndPassesItAsTyped)
{
    state.hasLearnedTarget = true;
    openMenu();
    ASSERT_TRUE(editor.graphics->SelectPopupItemByText({"Save target\u2026"}));
    ASSERT_TRUE(editor.graphics->HasPendingTextEntry());
    EXPECT_EQ(editor.graphics->GetPendingTextEntryText(), "Mix bus 3");
    EXPECT_EQ(editor.graphics->GetPendingTextEntryBounds(), IRECT(282.0f, 52.0f, 582.0f, 76.0f));
    EXPECT_EQ(editor.graphics->GetPendingTextEntryLength(), 80);
    EXPECT_EQ(editor.graphics->GetPendingTextEntryStyle().size, entryStyle.size);
    editor.graphics->CommitTextEntry("  Room tone ");

    openMenu();
    ASSERT_TRUE(editor.graphics->SelectPopupItemByText({"Save target\u2026"}));
    editor.graphics->CommitTextEntry("");
    EXPECT_EQ(calls, (std::vector<std::string>{"save [  Room tone ]", "save []"}));
}

TEST_F(LearnPillControlTest, LabelAndDotFollowTheState)
{
    const struct
    {
        LearnPillControl::State state;
        const char* label;
        IColor dot;
    } cases[] = {
        {{}, "LEARN TARGET", IColor(56, 250, 250, 250)},
        {{true, false, false, 0.424f}, "LEARNING 42%", accent.WithAlpha(171)},
        {{true, true, false, 0.996f}, "LEARNING 100%", accent.WithAlpha(254)},
        {{true, false, false, NAN}, "LEARNING 0%", accent.WithAlpha(110)}, // a broken reading shows no progress
        {{false, true, true, 0.0f}, "ANALYSING", accent},
        {{false, true, false, 0.0f}, "LEARNED", accent},
    };
    for (const auto& c : cases)
    {
        state = c.state;
        EXPECT_EQ(drawnTexts(), std::vector<std::string>{c.label});
        const auto& log = editor.graphics->GetDrawLog();
        const auto dot = std::find_if(log.begin(), log.end(),
                                      [](const DrawRecord& r) { return r.kind == DrawRecord::Kind::FillEllipse; });
        ASSERT_NE(dot, log.end());
        EXPECT_EQ(dot->color, c.dot) << c.label;
        EXPECT_EQ(dot->rect, IRECT(479.0f, 61.5f, 484.0f, 66.5f));
    }
}

TEST_F(LearnPillControlTest, EmptyMembersAreSkippedWhileTheGivenOnesAct)
{
    editor.graphics->RemoveAllControls();
    attachPill({});
    EXPECT_EQ(drawnTexts(), std::vector<std::string>{"LEARN TARGET"});
    EXPECT_EQ(describe(openMenu()).back(), "Delete target - [0]");
    EXPECT_TRUE(editor.graphics->SelectPopupItemByText({"Learn from input"}));

    editor.graphics->RemoveAllControls();
    LearnPillControl::Actions some;
    some.state = [] { return LearnPillControl::State{false, true, false, 0.0f}; };
    some.learnFromInput = [this] { calls.push_back("learnFromInput"); };
    some.saveTarget = [this](const std::string& name) { calls.push_back("save [" + name + "]"); };
    attachPill(std::move(some));
    for (const char* text : {"Learn from reference file\u2026", "Clear learned target (use the balanced target)",
                             "Learn from input", "Save target\u2026"})
    {
        openMenu();
        ASSERT_TRUE(editor.graphics->SelectPopupItemByText({text}));
    }
    ASSERT_TRUE(editor.graphics->HasPendingTextEntry());
    EXPECT_EQ(editor.graphics->GetPendingTextEntryText(), ""); // no default name to offer
    editor.graphics->CommitTextEntry("Desk");
    EXPECT_EQ(calls, (std::vector<std::string>{"learnFromInput", "save [Desk]"}));
}

} // namespace
