#include "editor/PillToggleControl.h"
#include "GraphicsControlParams.h"

#include <gtest/gtest.h>

using namespace iplug::igraphics;
using namespace aubrevane::test;

namespace
{
const IColor kAccent{255, 233, 21, 90};
const IColor kLitBorder{107, 250, 250, 250};
const IColor kDim{56, 250, 250, 250};

class PillToggle : public testing::Test
{
protected:
    PillToggleControl* attach(int paramIdx, const char* low, const char* high, bool invert)
    {
        return static_cast<PillToggleControl*>(editor.graphics->AttachControl(new PillToggleControl(
            {592, 49, 696, 79}, paramIdx, low, high, IText(11.5f, COLOR_WHITE), 1.0f, kAccent, invert)));
    }
    /** The label, border colour and dot colour of the drawn pill. */
    std::tuple<std::string, IColor, IColor> look()
    {
        editor.draw();
        std::tuple<std::string, IColor, IColor> found;
        for (const DrawRecord& record : editor.graphics->GetDrawLog())
        {
            if (record.kind == DrawRecord::Kind::Text)
                std::get<0>(found) = record.text;
            if (record.kind == DrawRecord::Kind::DrawRoundRect)
                std::get<1>(found) = record.color;
            if (record.kind == DrawRecord::Kind::FillEllipse)
                std::get<2>(found) = record.color;
        }
        return found;
    }

    ControlHarness editor;
};
} // namespace

TEST_F(PillToggle, BypassPillIsLitAndActiveWhileBypassIsOff)
{
    PillToggleControl* pill = attach(kBypassParam, "ACTIVE", "BYPASSED", true);
    pill->SetValue(0.0);
    EXPECT_EQ(look(), std::make_tuple(std::string("ACTIVE"), kLitBorder, kAccent));
    pill->SetValue(0.5);
    EXPECT_EQ(look(), std::make_tuple(std::string("ACTIVE"), kLitBorder, kAccent));
    pill->SetValue(1.0);
    EXPECT_EQ(look(), std::make_tuple(std::string("BYPASSED"), kDim, kDim));
}

TEST_F(PillToggle, SwitchPillIsLitWhileOn)
{
    PillToggleControl* pill = attach(kHighPassOnParam, "HP", "HP", false);
    pill->SetValue(1.0);
    EXPECT_EQ(look(), std::make_tuple(std::string("HP"), kLitBorder, kAccent));
    pill->SetValue(0.5);
    EXPECT_EQ(look(), std::make_tuple(std::string("HP"), kDim, kDim));
}

TEST_F(PillToggle, ClickFlipsTheSwitchInOneGesture)
{
    PillToggleControl* pill = attach(kBypassParam, "ACTIVE", "BYPASSED", true);
    editor.click(600, 60, IMouseMod(false, true)); // any button
    EXPECT_DOUBLE_EQ(editor.delegate.plain(kBypassParam), 1);
    editor.click(600, 60);
    EXPECT_DOUBLE_EQ(editor.delegate.plain(kBypassParam), 0);
    pill->SetValue(0.5);
    editor.click(600, 60);
    EXPECT_DOUBLE_EQ(editor.delegate.plain(kBypassParam), 1);
    // Two quick presses: the framework hands the second over as a double-click, which flips the switch back.
    editor.click(600, 60);
    editor.graphics->OnMouseDblClick(600, 60, IMouseMod(true));
    editor.graphics->OnMouseUp(600, 60, IMouseMod(true));
    EXPECT_DOUBLE_EQ(editor.delegate.plain(kBypassParam), 1);
    EXPECT_EQ(editor.delegate.count(GestureCall::Begin, kBypassParam), 5);
    EXPECT_TRUE(editor.delegate.gesturesBalanced());
}
