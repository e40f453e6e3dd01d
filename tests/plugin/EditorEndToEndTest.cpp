#include "EditorTestSupport.h"

#include "editor/RingKnobControl.h"
#include "support/Signals.h"
#include "support/SoundFiles.h"
#include "support/TestFolder.h"
#include "wendlebrak/controls/PresetBarControl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

// The whole editor worked by a user: clicks, menu choices and typed names only, with the host running audio and
// the idle tick. Nothing here calls the plug-in's operations directly.

using aubrevane::test::EditorUser;
using aubrevane::test::findControl;
using iplug::igraphics::IRECT;

namespace
{

namespace fs = std::filesystem;

const std::string kStatusPrefix = "Aubrevane 0.9.14 \xC2\xB7 0 samples latency \xC2\xB7 target: ";

/** Three seconds of pink noise, a reference worth learning. */
fs::path writeReference(const std::string& name)
{
    const fs::path path = aubrevane::test::testFolder() / name;
    EXPECT_TRUE(aubrevane::test::writeMonoWav(path, aubrevane::test::pinkNoise(3 * 44100, 44100.0, 7), 44100));
    return path;
}

/** What a fresh full frame draws inside `area`: its texts, and where its filled circles (handles) sit. */
std::vector<std::string> shownIn(iplug::igraphics::IGraphics& g, const IRECT& area)
{
    using Kind = iplug::igraphics::DrawRecord::Kind;
    g.EnableDrawLog(true);
    g.ClearDrawLog();
    g.DrawFrame(true);
    std::vector<std::string> shown;
    for (const auto& drawn : g.GetDrawLog())
        if (area.Contains(drawn.rect.MW(), drawn.rect.MH()) &&
            (drawn.kind == Kind::Text || drawn.kind == Kind::FillCircle))
            shown.push_back(drawn.kind == Kind::Text ? drawn.text : "circle at x " + std::to_string(drawn.rect.MW()));
    return shown;
}

class EditorEndToEnd : public ::testing::Test
{
protected:
    void learnFromReference(const std::string& name)
    {
        user.click(EditorUser::kLearnPillX, EditorUser::kLearnPillY);
        user.ui().QueueFileDialogAnswer(writeReference(name).string());
        user.choose({"Learn from reference file\xE2\x80\xA6"});
        user.waitForAnalysis();
        user.play();
    }

    IRECT barRegion(IRECT wendlebrak::controls::PresetBarControl::Regions::*region) const
    {
        return findControl<wendlebrak::controls::PresetBarControl>(user.ui())->layout().*region;
    }

    void clickBar(IRECT wendlebrak::controls::PresetBarControl::Regions::*region)
    {
        const IRECT r = barRegion(region);
        user.click(r.MW(), r.MH());
    }

    std::unique_ptr<Aubrevane> plugin = aubrevane::test::preparedPlugin();
    EditorUser user{*plugin};
};

} // namespace

TEST_F(EditorEndToEnd, LearnsFromAReferenceFileChosenInTheLearnMenu)
{
    user.tick();
    EXPECT_EQ(user.statusLine(), kStatusPrefix + "balanced");
    learnFromReference("bass heavy.wav");
    EXPECT_EQ(user.statusLine(), kStatusPrefix + "learned from bass heavy.wav");
    const auto shown = shownIn(user.ui(), IRECT(0, 0, 720, 532));
    EXPECT_NE(std::find(shown.begin(), shown.end(), "LEARNED"), shown.end());
}

TEST_F(EditorEndToEnd, ClearsTheLearnedTargetFromTheSettingsMenu)
{
    learnFromReference("reference.wav");
    user.click(EditorUser::kSettingsX, EditorUser::kBarY);
    user.choose({"Clear learned target (use the balanced target)"});
    user.play();
    EXPECT_EQ(user.statusLine(), kStatusPrefix + "balanced");
}

TEST_F(EditorEndToEnd, SavesPresetsFromTheBarAndStepsBackToTheFirst)
{
    using Regions = wendlebrak::controls::PresetBarControl::Regions;
    auto* amount = findControl<RingKnobControl>(user.ui());
    const IRECT knob = amount->GetRECT();
    user.drag(knob.MW(), knob.MH(), 0.0f, -40.0f);
    const double first = amount->GetValue();
    clickBar(&Regions::saveAs);
    user.type("First");

    user.drag(knob.MW(), knob.MH(), 0.0f, 60.0f);
    ASSERT_NE(amount->GetValue(), first);
    clickBar(&Regions::saveAs);
    user.type("Second");

    clickBar(&Regions::prev);
    EXPECT_DOUBLE_EQ(findControl<RingKnobControl>(user.ui())->GetValue(), first);
    clickBar(&Regions::name);
    ASSERT_TRUE(user.ui().HasPendingPopupMenu());
    const auto* list = user.ui().GetPendingPopupMenu();
    ASSERT_EQ(list->NItems(), 2);
    EXPECT_STREQ(list->GetItem(0)->GetText(), "First");
    EXPECT_TRUE(list->GetItem(0)->GetChecked());
}

TEST_F(EditorEndToEnd, ChangesTheAccentFromTheSettingsMenu)
{
    user.click(EditorUser::kSettingsX, EditorUser::kBarY);
    user.choose({"Orange"});
    const auto* knob = findControl<RingKnobControl>(user.ui());
    EXPECT_EQ(knob->GetStyle().colors[iplug::igraphics::kX1], iplug::igraphics::IColor(255, 255, 122, 0));
    user.click(EditorUser::kSettingsX, EditorUser::kBarY);
    EXPECT_TRUE(user.ui().GetPendingPopupMenu()->GetItem(2)->GetChecked());
}

TEST_F(EditorEndToEnd, TheCornerScalesTheWindowAndTheStateKeepsTheSize)
{
    user.drag(712.0f, 524.0f, 300.0f, 0.0f);
    const float scale = user.ui().GetDrawScale();
    EXPECT_GT(scale, 1.3f);
    const auto state = aubrevane::test::stateBytes(*plugin);

    const auto reopened = aubrevane::test::preparedPlugin();
    ASSERT_GT(aubrevane::test::restoreState(*reopened, state), 0);
    EditorUser again(*reopened);
    EXPECT_NEAR(again.ui().GetDrawScale(), scale, 0.002f);
    EXPECT_NEAR(again.ui().PixelWidth(), user.ui().PixelWidth(), 1);
}

TEST_F(EditorEndToEnd, AValueTypedUnderAKnobShowsInCaptionAndKnobAndTheNextDragStartsThere)
{
    auto* amount = findControl<RingKnobControl>(user.ui());
    const IRECT knob = amount->GetRECT(), caption(knob.MW() - 55.0f, 423.0f, knob.MW() + 55.0f, 437.0f);
    const iplug::IParam& param = *plugin->GetParam(amount->GetParamIdx());
    user.drag(knob.MW(), knob.MH(), 0.0f, -20.0f);
    const double dragStep = param.Value() - param.GetDefault();
    ASSERT_GT(dragStep, 0.0);

    user.click(caption.MW(), caption.MH());
    user.type("75");
    EXPECT_EQ(shownIn(user.ui(), caption), std::vector<std::string>{"75 %"});
    EXPECT_DOUBLE_EQ(amount->GetValue(), param.GetNormalized());
    user.drag(knob.MW(), knob.MH(), 0.0f, -20.0f);
    EXPECT_NEAR(param.Value(), 75.0 + dragStep, 1e-9);
}

TEST_F(EditorEndToEnd, ATypedHighPassFrequencyShowsInItsCaptionAndMovesTheStripHandle)
{
    const IRECT caption(14.0f, 498.0f, 104.0f, 512.0f), strip(112.0f, 471.0f, 608.0f, 491.0f);
    const auto stripBefore = shownIn(user.ui(), strip);
    user.click(caption.MW(), caption.MH());
    user.type("500");
    const auto captionTyped = shownIn(user.ui(), caption), stripTyped = shownIn(user.ui(), strip);
    EXPECT_NE(stripTyped, stripBefore);

    plugin->CloseWindow(); // an editor opened afresh shows the parameter as the host path sends it
    EditorUser reopened(*plugin);
    EXPECT_EQ(captionTyped, shownIn(reopened.ui(), caption));
    EXPECT_EQ(stripTyped, shownIn(reopened.ui(), strip));
}
