#include "wendlebrak/controls/PresetBarControl.h"

#include "support/GraphicsTestDelegate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace iplug::igraphics;
using wendlebrak::controls::PresetBarControl;

namespace
{

PresetBarControl::Style editorStyle()
{
    const IColor white{255, 250, 250, 250};
    return {
        IColor(255, 20, 20, 20),
        IColor(77, 250, 250, 250),
        white,
        IColor(107, 250, 250, 250),
        IColor(20, 250, 250, 250),
        IColor(255, 255, 157, 46),
        IText(11.0f, white, "Roboto-Regular", EAlign::Center, EVAlign::Middle, 0.0f, IColor(255, 30, 30, 30), white),
        1.0f,
        "",
        IColor(255, 17, 17, 17),
        IColor(26, 250, 250, 250),
        28.0f,
        24.0f};
}

class PresetBarControlTest : public testing::Test
{
protected:
    PresetBarControlTest() { bar = attach(true); }

    PresetBarControl* attach(bool withMenu)
    {
        wendlebrak::controls::PresetHooks hooks;
        hooks.listNames = [this] { return names; };
        hooks.currentName = [this] { return current; };
        hooks.load = [this](const std::string& name)
        {
            calls.push_back("load " + name);
            current = name;
        };
        hooks.save = [this](const std::string& name) { calls.push_back("save [" + name + "]"); };
        hooks.remove = [this](const std::string& name) { calls.push_back("remove " + name); };
        hooks.modified = [this] { return modified; };
        std::function<void(const IRECT&)> onMenu;
        if (withMenu)
            onMenu = [this](const IRECT& r) { menuOpenedAt.push_back(r); };
        return static_cast<PresetBarControl*>(editor.graphics->AttachControl(
            new PresetBarControl(IRECT(0.0f, 0.0f, 720.0f, 32.0f), editorStyle(), std::move(hooks), onMenu), 4));
    }

    void click(const IRECT& region) { editor.graphics->OnMouseDown(region.MW(), region.MH(), IMouseMod(true)); }

    /** The texts and their colours drawn by one frame. */
    std::vector<std::pair<std::string, IColor>> drawnTexts()
    {
        editor.draw();
        std::vector<std::pair<std::string, IColor>> texts;
        for (const DrawRecord& record : editor.graphics->GetDrawLog())
            if (record.kind == DrawRecord::Kind::Text)
                texts.emplace_back(record.text, record.color);
        return texts;
    }

    float measure(const std::string& text) const
    {
        IRECT ignored;
        return editor.graphics->MeasureText(editorStyle().text, text.c_str(), ignored);
    }

    const IColor white{255, 250, 250, 250};
    const IColor dim{107, 250, 250, 250};
    aubrevane::test::EditorHarness editor{0};
    std::vector<std::string> names{"Air", "Body", "Crisp", "Dark"};
    std::string current = "Body";
    bool modified = false;
    std::vector<std::string> calls;
    std::vector<IRECT> menuOpenedAt;
    PresetBarControl* bar = nullptr;
};

TEST_F(PresetBarControlTest, LaysOutTheEditorsBar)
{
    const PresetBarControl::Regions r = bar->layout();
    const struct
    {
        const IRECT& rect;
        float left, right;
    } expected[] = {{r.prev, 22.27f, 42.75f},   {r.name, 42.75f, 252.75f},    {r.next, 252.75f, 273.23f},
                    {r.save, 283.47f, 353.10f}, {r.saveAs, 356.37f, 426.01f}, {r.remove, 429.28f, 498.92f},
                    {r.menu, 681.05f, 701.53f}};
    for (const auto& e : expected)
    {
        EXPECT_NEAR(e.rect.L, e.left, 0.006f);
        EXPECT_NEAR(e.rect.R, e.right, 0.006f);
        EXPECT_NEAR(e.rect.T, 5.76f, 0.006f);
        EXPECT_NEAR(e.rect.B, 26.24f, 0.006f);
    }
    for (int region = PresetBarControl::kPrevRegion; region <= PresetBarControl::kMenuRegion; ++region)
    {
        const IRECT& rect = expected[region - 1].rect;
        EXPECT_EQ(bar->regionAt(rect.MW(), rect.MH()), region);
    }
    EXPECT_EQ(bar->regionAt(r.save.R + 1.0f, 16.0f), PresetBarControl::kNoRegion); // the gap between buttons
    EXPECT_EQ(bar->regionAt(r.name.MW(), 2.0f), PresetBarControl::kNoRegion);      // above the field
}

TEST_F(PresetBarControlTest, ArrowsStepAndWrapAtBothEnds)
{
    const PresetBarControl::Regions r = bar->layout();
    const struct
    {
        std::string from;
        bool forward;
        std::string loaded;
    } cases[] = {{"Body", true, "Crisp"},  {"Body", false, "Air"},     {"Dark", true, "Air"}, {"Air", false, "Dark"},
                 {"Unknown", true, "Air"}, {"Unknown", false, "Dark"}, {"", true, "Air"},     {"", false, "Dark"}};
    for (const auto& c : cases)
    {
        current = c.from;
        calls.clear();
        click(c.forward ? r.next : r.prev);
        EXPECT_EQ(calls, std::vector<std::string>{"load " + c.loaded}) << c.from << (c.forward ? " +1" : " -1");
    }
}

TEST_F(PresetBarControlTest, WithoutPresetsTheArrowsAreDimAndNothingOpens)
{
    names.clear();
    const PresetBarControl::Regions r = bar->layout();
    click(r.prev);
    click(r.next);
    click(r.name);
    EXPECT_FALSE(editor.graphics->HasPendingPopupMenu());
    EXPECT_TRUE(calls.empty());
    editor.draw();
    int arrows = 0;
    for (const DrawRecord& record : editor.graphics->GetDrawLog())
    {
        if (record.kind == DrawRecord::Kind::FillTriangle)
        {
            EXPECT_EQ(record.color, dim);
            ++arrows;
        }
    }
    EXPECT_EQ(arrows, 2);
}

TEST_F(PresetBarControlTest, TheListTicksTheCurrentPresetAndLoadsTheChoice)
{
    click(bar->layout().name);
    ASSERT_TRUE(editor.graphics->HasPendingPopupMenu());
    EXPECT_EQ(editor.graphics->GetPendingPopupBounds(), bar->layout().name);
    const IPopupMenu& menu = *editor.graphics->GetPendingPopupMenu();
    ASSERT_EQ(menu.NItems(), 4);
    for (int i = 0; i < 4; ++i)
    {
        EXPECT_EQ(menu.GetItem(i)->GetText(), names[static_cast<size_t>(i)]);
        EXPECT_EQ(menu.GetItem(i)->GetChecked(), i == 1);
    }
    names = {"Zed"}; // the open menu keeps the names it showed
    ASSERT_TRUE(editor.graphics->SelectPopupItem({3}));
    click(bar->layout().name);
    editor.graphics->DismissPopupMenu();
    EXPECT_EQ(calls, std::vector<std::string>{"load Dark"});
}

TEST_F(PresetBarControlTest, DeleteTakesTwoClicksOnTheSamePreset)
{
    const PresetBarControl::Regions r = bar->layout();
    click(r.remove);
    EXPECT_EQ(bar->armed(), "Body");
    const auto texts = drawnTexts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), std::make_pair(std::string("Sure?"), IColor(255, 255, 157, 46))),
              texts.end());
    EXPECT_TRUE(calls.empty());
    click(r.remove);
    EXPECT_EQ(calls, std::vector<std::string>{"remove Body"});
    EXPECT_TRUE(bar->armed().empty());

    // Another click between the two disarms, so the next Delete arms again.
    calls.clear();
    click(r.remove);
    click(r.saveAs);
    editor.graphics->CancelTextEntry();
    click(r.remove);
    EXPECT_EQ(bar->armed(), "Body");
    EXPECT_TRUE(calls.empty());

    // So does moving onto another button, and leaving the bar.
    editor.graphics->EnableMouseOver(true);
    editor.graphics->OnMouseOver(r.remove.MW(), r.remove.MH(), IMouseMod());
    editor.graphics->OnMouseOver(r.save.MW(), r.save.MH(), IMouseMod());
    EXPECT_TRUE(bar->armed().empty());
    click(r.remove);
    editor.graphics->OnMouseOut();
    EXPECT_TRUE(bar->armed().empty());

    current.clear();
    click(r.remove);
    click(r.remove);
    EXPECT_TRUE(bar->armed().empty());
    EXPECT_TRUE(calls.empty());
}

TEST_F(PresetBarControlTest, SaveUsesTheCurrentNameAndSaveAsTrimsTheTypedOne)
{
    const PresetBarControl::Regions r = bar->layout();
    click(r.save);
    click(r.saveAs);
    ASSERT_TRUE(editor.graphics->HasPendingTextEntry());
    EXPECT_EQ(editor.graphics->GetPendingTextEntryText(), "Body");
    EXPECT_EQ(editor.graphics->GetPendingTextEntryLength(), 80);
    const IRECT entry = editor.graphics->GetPendingTextEntryBounds();
    EXPECT_NEAR(entry.W(), 220.0f, 0.01f);
    EXPECT_NEAR(entry.MW(), r.name.MW(), 0.01f);
    EXPECT_EQ(entry.T, r.name.T);
    editor.graphics->CommitTextEntry(" \tLate night\t ");
    click(r.saveAs);
    editor.graphics->CommitTextEntry(" \t \t");

    current.clear();
    click(r.save);
    EXPECT_EQ(calls, (std::vector<std::string>{"save [Body]", "save [Late night]"}));
}

TEST_F(PresetBarControlTest, TheFieldShowsTheFittedNameTheMarkOrNoPreset)
{
    modified = true;
    auto texts = drawnTexts();
    EXPECT_EQ(texts[0], std::make_pair(std::string("Body*"), white));
    EXPECT_EQ(texts[1].first, "Save");
    EXPECT_EQ(texts[3], std::make_pair(std::string("Delete"), white));

    current.clear();
    texts = drawnTexts();
    EXPECT_EQ(texts[0], std::make_pair(std::string("no preset"), dim));
    EXPECT_EQ(texts[1], std::make_pair(std::string("Save"), dim));
    EXPECT_EQ(texts[2], std::make_pair(std::string("Save as"), white));
    EXPECT_EQ(texts[3], std::make_pair(std::string("Delete"), dim));

    // A long name ending in multi-byte characters is cut by whole characters, leaving room for the mark.
    current = std::string(60, 'W') + "\u00e9\u00e9\u00e9\u4e2d\u4e2d";
    texts = drawnTexts();
    const std::string& shown = texts[0].first;
    ASSERT_GE(shown.size(), 4u);
    EXPECT_EQ(shown.substr(shown.size() - 4), "\u2026*");
    const std::string kept = shown.substr(0, shown.size() - 4);
    EXPECT_EQ(current.compare(0, kept.size(), kept), 0);
    const float room = bar->layout().name.W() - 2.0f * 5.76f - measure("*");
    EXPECT_LE(measure(kept + "\u2026"), room);
    EXPECT_GT(measure(current.substr(0, kept.size() + 1) + "\u2026"), room); // the next character would not fit
}

TEST_F(PresetBarControlTest, FittingKeepsTheLongestPrefixThatFitsAndNeverEmptiesPastNothing)
{
    IGraphics& g = *editor.graphics;
    const IText style = editorStyle().text;
    const std::string name = "Vocal \u00e9t\u00e9 \u4e2d\u6587 take 12";
    const float fullWidth = measure(name);
    ASSERT_GT(fullWidth, 60.0f);
    EXPECT_EQ(bar->fitted(g, style, name, fullWidth + 1.0f), name);
    for (float width = 4.0f; width < fullWidth; width += 3.0f)
    {
        const std::string fit = bar->fitted(g, style, name, width);
        ASSERT_GE(fit.size(), 3u);
        const std::string kept = fit.substr(0, fit.size() - 3);
        EXPECT_EQ(fit.substr(kept.size()), "\u2026");
        EXPECT_EQ(name.compare(0, kept.size(), kept), 0);
        if (!kept.empty())
        {
            EXPECT_LE(measure(fit), width);
        }
        size_t next = kept.size() + 1;
        while (next < name.size() && (static_cast<unsigned char>(name[next]) & 0xC0) == 0x80)
            ++next;
        EXPECT_GT(measure(name.substr(0, next) + "\u2026"), width) << width;
    }
    EXPECT_EQ(bar->fitted(g, style, "\x80\xbf\x80\x80\xbf\x80\x80\x80\xbf\x80", 1.0f), "\u2026");
    EXPECT_LE(measure(bar->fitted(g, style, std::string(200000, 'm'), 300.0f)), 300.0f);
}

TEST_F(PresetBarControlTest, TheMenuIconOpensTheSettingsAtItsRectangleOnlyWithACallback)
{
    click(bar->layout().menu);
    ASSERT_EQ(menuOpenedAt.size(), 1u);
    EXPECT_EQ(menuOpenedAt[0], bar->layout().menu);

    editor.graphics->RemoveAllControls();
    PresetBarControl* plain = attach(false);
    EXPECT_TRUE(plain->layout().menu.Empty());
    EXPECT_EQ(plain->regionAt(691.0f, 16.0f), PresetBarControl::kNoRegion);
    editor.graphics->OnMouseDown(691.0f, 16.0f, IMouseMod(true));
    EXPECT_EQ(menuOpenedAt.size(), 1u);
}

TEST_F(PresetBarControlTest, EmptyHooksFallBackQuietly)
{
    editor.graphics->RemoveAllControls();
    auto* quiet = static_cast<PresetBarControl*>(editor.graphics->AttachControl(
        new PresetBarControl(IRECT(0.0f, 0.0f, 720.0f, 32.0f), editorStyle(), {}, nullptr)));
    const PresetBarControl::Regions r = quiet->layout();
    for (const IRECT* region : {&r.prev, &r.next, &r.name, &r.save, &r.saveAs, &r.remove, &r.remove})
        click(*region);
    EXPECT_FALSE(editor.graphics->HasPendingPopupMenu());
    EXPECT_FALSE(editor.graphics->HasPendingTextEntry());
    EXPECT_EQ(drawnTexts()[0].first, "no preset");
}

} // namespace
