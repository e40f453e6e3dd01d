#include "EditorTestSupport.h"

#include "editor/BandStripControl.h"
#include "editor/CornerScaleControl.h"
#include "editor/KebabMenuControl.h"
#include "editor/LearnPillControl.h"
#include "editor/LevelMeterControl.h"
#include "editor/PillToggleControl.h"
#include "editor/RingKnobControl.h"
#include "editor/ThresholdHandle.h"
#include "editor/ToneDisplayControl.h"
#include "editor/ValueCaptionControl.h"
#include "framework/IParam.h"
#include "framework/igraphics/IPanelControl.h"
#include "framework/igraphics/ISVGControl.h"
#include "support/TestFolder.h"
#include "wendlebrak/controls/PresetBarControl.h"
#include "wendlebrak/controls/UpdatePillControl.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <numeric>
#include <set>
#include <tuple>

using namespace iplug::igraphics;
using aubrevane::test::EditorUser;
using aubrevane::test::findControl;
using aubrevane::test::RecordingAubrevane;

namespace
{

namespace fs = std::filesystem;

template <typename T> bool is(IControl* control)
{
    return dynamic_cast<T*>(control) != nullptr;
}

struct Expected
{
    std::function<bool(IControl*)> kind;
    IRECT rect;
    int tag = kNoTag;
    int param = kNoParameter;
    const char* text = nullptr; // for text controls
};

/** A knob made by the layout: the knob, its name and its value caption. */
void addKnob(std::vector<Expected>& list, int param, float cx, float cy, float size, const char* label)
{
    list.push_back(
        {is<RingKnobControl>, {cx - size / 2, cy + 32 - size / 2, cx + size / 2, cy + 32 + size / 2}, kNoTag, param});
    list.push_back({is<ITextControl>, {cx - 55, 406, cx + 55, 421}, kNoTag, kNoParameter, label});
    list.push_back({is<aubrevane::plugin::ValueCaptionControl>, {cx - 55, 423, cx + 55, 437}, kNoTag, param});
}

std::vector<Expected> expectedEditor()
{
    std::vector<Expected> list = {
        {is<IPanelControl>, {0, 0, 720, 532}},
        {is<IPanelControl>, {14, 96, 706, 456}},
        {is<ITextControl>, {28, 48, 428, 82}, kTitleTag, kNoParameter, "AUBREVANE"},
        {is<KebabMenuControl>, {}},
        {is<wendlebrak::controls::PresetBarControl>, {0, 0, 720, 32}, kPresetBarTag},
        {is<LearnPillControl>, {470, 49, 582, 79}},
        {is<PillToggleControl>, {592, 49, 696, 79}, kNoTag, kBypass},
        {is<wendlebrak::controls::UpdatePillControl>, {300, 49, 460, 79}},
        {is<ToneDisplayControl>, {30, 112, 690, 308}},
        {is<ITextControl>, {10, 314, 120, 329}, kNoTag, kNoParameter, "IN"},
        {is<LevelMeterControl>, {18, 328, 92, 436}, kInputMeterTag},
        {is<ThresholdHandle>, {18, 328, 92, 436}, kNoTag, kThreshold},
        {is<IPanelControl>, {106, 332, 107, 442}},
    };
    addKnob(list, kAmount, 172, 334, 76, "AMOUNT");
    addKnob(list, kTilt, 272, 342, 56, "TILT");
    addKnob(list, kSpeed, 360, 342, 56, "SPEED");
    addKnob(list, kMaxBoost, 448, 342, 56, "BOOST");
    addKnob(list, kMaxCut, 536, 342, 56, "CUT");
    list.push_back({is<IPanelControl>, {576, 332, 577, 442}});
    addKnob(list, kOutput, 618, 342, 56, "OUTPUT");
    const std::vector<Expected> rest = {
        {is<ITextControl>, {607, 314, 717, 329}, kNoTag, kNoParameter, "OUT"},
        {is<LevelMeterControl>, {640, 328, 704, 436}, kOutputMeterTag},
        {is<PillToggleControl>, {28, 468, 90, 494}, kNoTag, kHighPassOn},
        {is<PillToggleControl>, {630, 468, 692, 494}, kNoTag, kLowPassOn},
        {is<BandStripControl>, {112, 471, 608, 491}, kNoTag, kHighPassFreq},
        {is<aubrevane::plugin::ValueCaptionControl>, {14, 498, 104, 512}, kNoTag, kHighPassFreq},
        {is<aubrevane::plugin::ValueCaptionControl>, {616, 498, 706, 512}, kNoTag, kLowPassFreq},
        {is<ISVGControl>, {294, 496, 426, 514}}, // our logo is 132 x 18
        {is<ITextControl>, {14, 516, 706, 530}, kStatusTag, kNoParameter, ""},
        {is<CornerScaleControl>, {706, 518, 718, 530}},
    };
    list.insert(list.end(), rest.begin(), rest.end());
    return list;
}

std::tuple<int, int, int> rgb(const IColor& colour)
{
    return {colour.R, colour.G, colour.B};
}

/** The colours of one whole frame, as drawn. */
std::set<std::tuple<int, int, int>> coloursDrawn(IGraphics& graphics)
{
    graphics.EnableDrawLog(true);
    graphics.ClearDrawLog();
    graphics.DrawFrame(true);
    std::set<std::tuple<int, int, int>> colours;
    for (const DrawRecord& record : graphics.GetDrawLog())
        colours.insert(rgb(record.color));
    return colours;
}

/** A resource folder of our own: the fonts, and the logo only when given. */
class LayoutResources : public ::testing::Test
{
protected:
    void SetUp() override { original = IGraphics::GetResourcePath(); }
    void TearDown() override { IGraphics::SetResourcePath(original); }

    void useResources(const char* logoSvg)
    {
        const fs::path folder = aubrevane::test::testFolder() / "resources";
        fs::create_directories(folder);
        for (const char* font : {"Roboto-Regular.ttf", "RobotoCondensed-Bold.ttf"})
            fs::copy_file(fs::path(original) / font, folder / font, fs::copy_options::overwrite_existing);
        if (logoSvg != nullptr)
            std::ofstream(folder / "aubrevane-lockup.svg") << logoSvg;
        IGraphics::SetResourcePath(folder.string());
    }

    std::string original;
};

} // namespace

TEST(EditorLayout, AttachesEveryControlInOrderWithItsRectangleTagAndParameter)
{
    const auto plugin = aubrevane::test::preparedPlugin();
    IGraphics& graphics = aubrevane::test::openEditor(*plugin);
    const std::vector<Expected> expected = expectedEditor();
    ASSERT_EQ(graphics.NControls(), static_cast<int>(expected.size()));
    for (int i = 0; i < graphics.NControls(); ++i)
    {
        SCOPED_TRACE("control " + std::to_string(i));
        IControl* control = graphics.GetControl(i);
        EXPECT_TRUE(expected[i].kind(control)) << typeid(*control).name();
        EXPECT_EQ(control->GetRECT(), expected[i].rect);
        EXPECT_EQ(control->GetTag(), expected[i].tag);
        EXPECT_STREQ(control->GetGroup(), "");
        EXPECT_EQ(control->GetParamIdx(), expected[i].param);
        if (expected[i].text != nullptr)
        {
            EXPECT_STREQ(dynamic_cast<ITextControl*>(control)->GetStr(), expected[i].text);
        }
    }
    EXPECT_TRUE(graphics.GetControl(3)->IsHidden());
    EXPECT_EQ(graphics.GetControl(36)->GetParamIdx(1), kLowPassFreq);
}

TEST(EditorLayout, ShowsTheAccentOfEveryIndex)
{
    struct Case
    {
        int index;
        IColor accent;
    };
    const Case cases[] = {{0, {255, 21, 232, 121}}, {1, {255, 233, 21, 90}},  {2, {255, 255, 122, 0}},
                          {3, {255, 0, 184, 255}},  {4, {255, 134, 0, 255}},  {5, {255, 21, 232, 121}},
                          {6, {255, 21, 232, 121}}, {-1, {255, 21, 232, 121}}};
    const auto plugin = aubrevane::test::preparedPlugin();
    EditorUser user(*plugin);
    for (const Case& c : cases)
    {
        SCOPED_TRACE("accent " + std::to_string(c.index));
        plugin->setAccentIndex(c.index);
        user.tick(); // the rebuild, when the accent changed
        const auto colours = coloursDrawn(user.ui());
        EXPECT_TRUE(colours.count(rgb(c.accent)));
        for (const Case& other : cases)
            if (rgb(other.accent) != rgb(c.accent))
            {
                EXPECT_FALSE(colours.count(rgb(other.accent))) << other.index;
            }
        const auto* knob = findControl<RingKnobControl>(user.ui());
        EXPECT_EQ(knob->GetStyle().colors[kX1], c.accent);
    }
}

TEST(EditorLayout, ARebuildAfterAnAccentChangeResendsEveryParameterValue)
{
    RecordingAubrevane plugin;
    EditorUser user(plugin);
    plugin.GetParam(kAmount)->Set(80.0); // changed behind the editor's back
    plugin.sentToEditor.clear();
    user.click(EditorUser::kSettingsX, EditorUser::kBarY);
    user.choose({"Purple"});

    std::vector<int> everyParameter(kNumParams);
    std::iota(everyParameter.begin(), everyParameter.end(), 0);
    EXPECT_EQ(plugin.sentToEditor, everyParameter);
    EXPECT_DOUBLE_EQ(findControl<RingKnobControl>(user.ui())->GetValue(), 0.8);
    EXPECT_EQ(findControl<RingKnobControl>(user.ui())->GetStyle().colors[kX1], IColor(255, 134, 0, 255));
    EXPECT_EQ(user.statusLine(), "Aubrevane 0.9.14 \xC2\xB7 0 samples latency \xC2\xB7 target: balanced")
        << "the new status line is filled on the same tick";
}

TEST(EditorLayout, TheThresholdHandleOverTheInputMeterTakesItsClicks)
{
    const auto plugin = aubrevane::test::preparedPlugin();
    EditorUser user(*plugin);
    const double before = plugin->GetParam(kThreshold)->Value();
    user.click(80.0f, 360.0f);
    EXPECT_NE(plugin->GetParam(kThreshold)->Value(), before);
}

TEST_F(LayoutResources, WithoutTheLogoFileTheNameIsWrittenInstead)
{
    useResources(nullptr);
    const auto plugin = aubrevane::test::preparedPlugin();
    IGraphics& graphics = aubrevane::test::openEditor(*plugin);
    EXPECT_EQ(findControl<ISVGControl>(graphics), nullptr);
    auto* logo = dynamic_cast<ITextControl*>(graphics.GetControl(39));
    ASSERT_NE(logo, nullptr);
    EXPECT_STREQ(logo->GetStr(), "AUBREVANE");
    EXPECT_EQ(logo->GetRECT(), IRECT(220, 496, 500, 514));
    EXPECT_EQ(logo->GetText().font, "RobotoCondensed-Bold");
    EXPECT_EQ(logo->GetText().fgColor, IColor(107, 250, 250, 250));
}

TEST_F(LayoutResources, TheLogoKeepsItsProportionsAtEighteenUnitsHigh)
{
    useResources(
        "<svg xmlns='http://www.w3.org/2000/svg' width='200' height='40'><rect width='200' height='40'/></svg>");
    const auto plugin = aubrevane::test::preparedPlugin();
    IGraphics& graphics = aubrevane::test::openEditor(*plugin);
    const auto* logo = findControl<ISVGControl>(graphics);
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(logo->GetRECT(), IRECT(315, 496, 405, 514));
}
