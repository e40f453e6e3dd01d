#include "editor/KebabMenuControl.h"

#include "support/GraphicsTestDelegate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace iplug::igraphics;

namespace
{

std::vector<std::string> checkedItems(const IPopupMenu& menu)
{
    std::vector<std::string> texts;
    for (int i = 0; i < menu.NItems(); ++i)
        if (menu.GetItem(i)->GetChecked())
            texts.emplace_back(menu.GetItem(i)->GetText());
    return texts;
}

class KebabMenuControlTest : public testing::Test
{
protected:
    KebabMenuControl::Actions recordingActions()
    {
        KebabMenuControl::Actions actions;
        actions.currentScale = [this] { return scale; };
        actions.setScale = [this](float s) { calls.push_back("scale " + std::to_string(s).substr(0, 4)); };
        actions.currentAccent = [this] { return accent; };
        actions.setAccent = [this](int index) { calls.push_back("accent " + std::to_string(index)); };
        actions.hasLearnedTarget = [this] { return hasTarget; };
        actions.clearLearnedTarget = [this] { calls.push_back("clear"); };
        actions.addUpdateItems = [](IPopupMenu& menu)
        {
            menu.AddItem("Check for updates", -1, IPopupMenu::Item::kChecked);
            menu.AddSeparator();
        };
        actions.updateItemChosen = [this](int index) { calls.push_back("update " + std::to_string(index)); };
        return actions;
    }

    KebabMenuControl& attach(KebabMenuControl::Actions actions)
    {
        return *static_cast<KebabMenuControl*>(
            editor.graphics->AttachControl(new KebabMenuControl(std::move(actions), "0.9.14")));
    }

    const IPopupMenu& open(KebabMenuControl& control)
    {
        control.OpenAt(kAnchor);
        EXPECT_TRUE(editor.graphics->HasPendingPopupMenu());
        EXPECT_EQ(editor.graphics->GetPendingPopupBounds(), kAnchor);
        return *editor.graphics->GetPendingPopupMenu();
    }

    static inline const IRECT kAnchor{681.05f, 5.76f, 701.53f, 26.24f};
    aubrevane::test::EditorHarness editor{0};
    float scale = 1.0f;
    int accent = 5;
    bool hasTarget = false;
    std::vector<std::string> calls;
};

TEST_F(KebabMenuControlTest, TicksTheCurrentAccentAndWindowSize)
{
    KebabMenuControl& menu = attach(recordingActions());
    const struct
    {
        int accent;
        float scale;
        std::vector<std::string> checked;
    } cases[] = {
        {5, 1.0f, {"DAW color", "Window 1x", "Check for updates"}},
        {1, 1.49f, {"Red", "Window 1.5x", "Check for updates"}},
        {0, 1.25f, {"Green", "Check for updates"}},
        {3, 0.7601f, {"Blue", "Window 0.75x", "Check for updates"}},
        {6, 2.0f, {"Window 2x", "Check for updates"}}, // outside the table: no accent ticked, nothing read
        {-1, 1.985f, {"Window 2x", "Check for updates"}},
    };
    for (const auto& c : cases)
    {
        accent = c.accent;
        scale = c.scale;
        EXPECT_EQ(checkedItems(open(menu)), c.checked) << c.accent << " " << c.scale;
    }
}

TEST_F(KebabMenuControlTest, ChoicesCallTheirActions)
{
    KebabMenuControl& menu = attach(recordingActions());
    hasTarget = true;
    for (const char* text : {"Red", "DAW color", "Window 0.75x", "Window 2x",
                             "Clear learned target (use the balanced target)", "Check for updates"})
    {
        open(menu);
        ASSERT_TRUE(editor.graphics->SelectPopupItemByText({text})) << text;
    }
    open(menu);
    editor.graphics->DismissPopupMenu();
    EXPECT_EQ(calls,
              (std::vector<std::string>{"accent 1", "accent 5", "scale 0.75", "scale 2.00", "clear", "update 0"}));
}

TEST_F(KebabMenuControlTest, ClearIsDisabledWithoutALearnedTargetAndTheVersionLineIsLastAndDisabled)
{
    KebabMenuControl& menu = attach(recordingActions());
    const IPopupMenu& items = open(menu);
    ASSERT_EQ(items.NItems(), 17);
    EXPECT_STREQ(items.GetItem(12)->GetText(), "Clear learned target (use the balanced target)");
    EXPECT_FALSE(items.GetItem(12)->GetEnabled());
    EXPECT_STREQ(items.GetItem(16)->GetText(), "Aubrevane 0.9.14");
    EXPECT_FALSE(items.GetItem(16)->GetEnabled());
    EXPECT_FALSE(editor.graphics->SelectPopupItem({12}));
    EXPECT_FALSE(editor.graphics->SelectPopupItem({16}));
    EXPECT_TRUE(menu.IsHidden());
    EXPECT_TRUE(menu.GetIgnoreMouse());
}

TEST_F(KebabMenuControlTest, EmptyActionsTickDefaultsAndCallNothing)
{
    KebabMenuControl& menu = attach({});
    const IPopupMenu& items = open(menu);
    EXPECT_EQ(checkedItems(items), (std::vector<std::string>{"Green", "Window 1x"}));
    EXPECT_FALSE(items.GetItem(12)->GetEnabled());
    // Without update items the version line moves up and still cannot be taken for one of them.
    EXPECT_STREQ(items.GetItem(items.NItems() - 1)->GetText(), "Aubrevane 0.9.14");
    EXPECT_TRUE(editor.graphics->SelectPopupItemByText({"Purple"}));
    open(menu);
    EXPECT_TRUE(editor.graphics->SelectPopupItemByText({"Window 1.5x"}));
}

} // namespace
