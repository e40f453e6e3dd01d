#include "wendlebrak/controls/UpdatePillControl.h"

#include "support/GraphicsTestDelegate.h"
#include "support/OfflineUpdateCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using namespace iplug::igraphics;
using wendlebrak::controls::UpdatePillControl;

namespace
{

class UpdatePillControlTest : public testing::Test
{
protected:
    UpdatePillControlTest() { editor.graphics->EnableMouseOver(true); }

    UpdatePillControl* attach(const IRECT& bounds)
    {
        auto* pill =
            new UpdatePillControl(bounds, check.get(), style, [this](const IRECT& r) { resizes.push_back(r); });
        editor.graphics->AttachControl(pill);
        return pill;
    }

    void offer(const std::string& version) { ASSERT_TRUE(aubrevane::test::offerUpdate(*check, version)); }

    std::vector<DrawRecord> frame()
    {
        editor.draw();
        return editor.graphics->GetDrawLog();
    }

    float measure(const std::string& text) const
    {
        IRECT ignored;
        return editor.graphics->MeasureText(style, text.c_str(), ignored);
    }

    static inline const IRECT kBounds{300.0f, 49.0f, 460.0f, 79.0f};
    const IText style{11.5f, IColor(255, 250, 250, 250), "Roboto-Regular", EAlign::Center, EVAlign::Middle};
    std::unique_ptr<wendlebrak::updates::UpdateCheck> check =
        aubrevane::test::offlineUpdateCheck(); // outlives the pill
    aubrevane::test::EditorHarness editor{0};
    std::vector<IRECT> resizes;
};

TEST_F(UpdatePillControlTest, WithoutANoticeItIsInvisibleAndInert)
{
    UpdatePillControl* pill = attach(kBounds);
    EXPECT_TRUE(frame().empty());
    EXPECT_TRUE(pill->pillRect().Empty());
    EXPECT_FALSE(pill->IsHit(kBounds.R - 1.0f, kBounds.MH()));
    editor.graphics->OnMouseOver(kBounds.R - 1.0f, kBounds.MH(), IMouseMod());
    editor.graphics->OnMouseDown(kBounds.R - 1.0f, kBounds.MH(), IMouseMod(true));
    pill->OnMouseOver(kBounds.R - 1.0f, kBounds.MH(), IMouseMod());
    pill->OnMouseDown(kBounds.R - 1.0f, kBounds.MH(), IMouseMod(true));
    EXPECT_EQ(editor.graphics->GetMouseCursor(), ECursor::ARROW);
    EXPECT_TRUE(editor.graphics->GetOpenedURLs().empty());
    EXPECT_TRUE(resizes.empty());
}

TEST_F(UpdatePillControlTest, ANewNoticeShowsARightAlignedPillAndOpensItsPage)
{
    UpdatePillControl* pill = attach(kBounds);
    frame();
    offer("0.10.0");
    const auto drawn = frame();

    const float width = 2.0f * kBounds.H() / 3.0f + measure("0.10.0 AVAILABLE");
    const IRECT expected{kBounds.R - width, kBounds.T, kBounds.R, kBounds.B};
    ASSERT_EQ(resizes.size(), 1u);
    EXPECT_EQ(resizes[0], expected);
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_EQ(drawn[0].kind, DrawRecord::Kind::FillRoundRect);
    EXPECT_EQ(drawn[0].color, IColor(255, 252, 120, 92));
    EXPECT_EQ(drawn[0].rect, IRECT(expected.L, 52.0f, expected.R, 76.0f));
    EXPECT_EQ(drawn[1].text, "0.10.0 AVAILABLE");
    EXPECT_EQ(drawn[1].color, IColor(255, 10, 10, 10));

    editor.graphics->OnMouseOver(expected.L - 1.0f, expected.MH(), IMouseMod());
    EXPECT_EQ(editor.graphics->GetMouseCursor(), ECursor::ARROW);
    editor.graphics->OnMouseOver(expected.L + 1.0f, expected.MH(), IMouseMod());
    EXPECT_EQ(editor.graphics->GetMouseCursor(), ECursor::HAND);
    EXPECT_EQ(frame()[0].color, IColor(255, 253, 146, 124));
    editor.graphics->OnMouseDown(expected.L + 1.0f, expected.MH(), IMouseMod(true));
    EXPECT_EQ(editor.graphics->GetOpenedURLs(), std::vector<std::string>{"https://updates.wendlebrak.com/aubrevane"});
    editor.graphics->OnMouseOut();
    EXPECT_EQ(editor.graphics->GetMouseCursor(), ECursor::ARROW);
    EXPECT_FALSE(pill->isHovered());
}

TEST_F(UpdatePillControlTest, TheNoticeVanishingUnderTheMouseDropsHoverAndHand)
{
    offer("1.0.0");
    UpdatePillControl* pill = attach(kBounds);
    frame();
    const IRECT shown = pill->pillRect();
    editor.graphics->OnMouseOver(shown.MW(), shown.MH(), IMouseMod());
    ASSERT_EQ(editor.graphics->GetMouseCursor(), ECursor::HAND);

    check->setEnabled(false);
    EXPECT_TRUE(frame().empty());
    EXPECT_TRUE(resizes.back().Empty());
    EXPECT_FALSE(pill->isHovered());
    EXPECT_EQ(editor.graphics->GetMouseCursor(), ECursor::ARROW);
    editor.graphics->OnMouseDown(shown.MW(), shown.MH(), IMouseMod(true));
    EXPECT_TRUE(editor.graphics->GetOpenedURLs().empty());
}

TEST_F(UpdatePillControlTest, ALabelWiderThanTheBoundsFillsThemUnshortened)
{
    offer("1000.2000.3000");
    const IRECT narrow{300.0f, 49.0f, 340.0f, 79.0f};
    UpdatePillControl* pill = attach(narrow);
    const auto drawn = frame();
    EXPECT_EQ(pill->pillRect(), narrow);
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_EQ(drawn[1].text, "1000.2000.3000 AVAILABLE");
}

TEST_F(UpdatePillControlTest, LaysOutOnlyOnceAttachedAndAgainAfterAResizeOrNewStyle)
{
    offer("0.10.0");
    auto* pill = new UpdatePillControl(kBounds, check.get(), style, [this](const IRECT& r) { resizes.push_back(r); });
    pill->relayout();
    EXPECT_TRUE(pill->pillRect().Empty());
    EXPECT_TRUE(resizes.empty());
    editor.graphics->AttachControl(pill);
    frame();
    ASSERT_EQ(resizes.size(), 1u);

    pill->SetTargetAndDrawRECTs(IRECT(200.0f, 49.0f, 400.0f, 79.0f));
    pill->OnResize();
    ASSERT_EQ(resizes.size(), 2u);
    EXPECT_EQ(resizes[1].R, 400.0f);
    pill->SetText(style.WithSize(20.0f));
    ASSERT_EQ(resizes.size(), 3u);
    EXPECT_GT(resizes[2].W(), resizes[1].W());
}

TEST_F(UpdatePillControlTest, TheMenuItemIsTickedExactlyWhileTheCheckIsEnabled)
{
    UpdatePillControl* pill = attach(kBounds);
    for (const bool enabled : {true, false, true})
    {
        check->setEnabled(enabled);
        IPopupMenu menu;
        pill->addMenuItems(menu);
        ASSERT_EQ(menu.NItems(), 2);
        EXPECT_STREQ(menu.GetItem(0)->GetText(), "Check for updates");
        EXPECT_EQ(menu.GetItem(0)->GetChecked(), enabled);
        EXPECT_TRUE(menu.GetItem(1)->GetIsSeparator());
    }
}

} // namespace
