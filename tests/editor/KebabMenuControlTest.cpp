#include "editor/KebabMenuControl.h"

#include "support/GraphicsTestDelegate.h"
#include "support/OfflineUpdateCheck.h"
#include "wendlebrak/controls/UpdatePillControl.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
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

/** The settings menu and the update pill wired as the editor wires them, over a real update check. */
class KebabMenuUpdateTest : public KebabMenuControlTest
{
protected:
    KebabMenuUpdateTest()
    {
        EXPECT_TRUE(aubrevane::test::offerUpdate(*check, "0.10.0", "/aubrevane/download"));

        pill = new wendlebrak::controls::UpdatePillControl(kPillBounds, check.get(),
                                                           IText(11.5f, IColor(255, 250, 250, 250)),
                                                           [this](const IRECT& r) { resizes.push_back(r); });
        KebabMenuControl::Actions actions = recordingActions();
        actions.addUpdateItems = [p = pill](IPopupMenu& menu) { p->addMenuItems(menu); };
        actions.updateItemChosen = [p = pill, c = check.get()](int index)
        {
            if (index != 0)
                return;
            c->setEnabled(!c->state().enabled);
            p->SetDirty(false);
        };
        settings = &attach(std::move(actions));
        editor.graphics->AttachControl(pill);
        editor.graphics->EnableMouseOver(true);
    }

    static inline const IRECT kPillBounds{300.0f, 49.0f, 460.0f, 79.0f};
    std::unique_ptr<wendlebrak::updates::UpdateCheck> check = aubrevane::test::offlineUpdateCheck();
    wendlebrak::controls::UpdatePillControl* pill = nullptr;
    KebabMenuControl* settings = nullptr;
    std::vector<IRECT> resizes;
};

TEST_F(KebabMenuUpdateTest, SwitchingUpdatesOffHidesTheNoticeUnderTheMouse)
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

    EXPECT_EQ(checkedItems(open(*settings)), (std::vector<std::string>{"DAW color", "Window 1x", "Check for updates"}));
    ASSERT_TRUE(editor.graphics->SelectPopupItemByText({"Check for updates"}));
    EXPECT_TRUE(std::filesystem::exists(check->offFile()));

    EXPECT_TRUE(editor.graphics->DrawFrame());
    ASSERT_EQ(resizes.size(), 2u);
    EXPECT_TRUE(resizes[1].Empty());
    EXPECT_FALSE(pill->IsHit(shown.R - 2.0f, shown.MH()));
    EXPECT_EQ(editor.graphics->GetMouseCursor(), ECursor::ARROW);
    EXPECT_FALSE(pill->isHovered());
    EXPECT_EQ(checkedItems(open(*settings)), (std::vector<std::string>{"DAW color", "Window 1x"}));

    ASSERT_TRUE(editor.graphics->SelectPopupItemByText({"Check for updates"}));
    editor.graphics->DrawFrame();
    ASSERT_EQ(resizes.size(), 3u);
    EXPECT_EQ(resizes[2], shown);
}

} // namespace
