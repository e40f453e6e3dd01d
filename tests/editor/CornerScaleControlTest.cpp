#include "editor/CornerScaleControl.h"
#include "GraphicsControlParams.h"

#include <gtest/gtest.h>

using namespace iplug::igraphics;
using namespace aubrevane::test;

namespace
{
const IColor kColor{36, 250, 250, 250};
const IColor kHover{90, 250, 250, 250};

class CornerScale : public testing::Test
{
protected:
    CornerScale()
    {
        editor.graphics->EnableMouseOver(true);
        editor.graphics->AttachControl(new CornerScaleControl({706, 518, 718, 530}, 720, 0.75f, 2.0f, kColor, kHover));
    }
    /** One press on the corner, then one movement per step. */
    void drag(std::initializer_list<std::pair<float, float>> steps)
    {
        editor.graphics->OnMouseDown(712, 526, IMouseMod(true));
        for (const auto& [dX, dY] : steps)
            editor.graphics->OnMouseDrag(712 + dX, 526 + dY, dX, dY, IMouseMod(true));
        editor.graphics->OnMouseUp(712, 526, IMouseMod(true));
    }
    float scale() const { return editor.graphics->GetDrawScale(); }
    size_t resizes() const { return editor.graphics->GetWindowResizes().size(); }

    ControlHarness editor;
};
} // namespace

TEST_F(CornerScale, DragScalesTheEditorAndTheDelegateStoresTheWindow)
{
    drag({{90, 0}});
    EXPECT_FLOAT_EQ(scale(), 1.125f);
    EXPECT_EQ(editor.graphics->PixelWidth(), 810);
    EXPECT_EQ(editor.delegate.GetEditorWidth(), 810);
    EXPECT_EQ(editor.delegate.GetEditorHeight(), 598);
}

TEST_F(CornerScale, ScaleStaysWithinItsLimits)
{
    drag({{2000, 0}, {50, 50}});
    EXPECT_FLOAT_EQ(scale(), 2.0f);
    EXPECT_EQ(resizes(), 1u); // already at the limit: no second resize
    editor.graphics->OnMouseDblClick(712, 526, IMouseMod(true));
    drag({{-200, -200}});
    EXPECT_FLOAT_EQ(scale(), 0.75f);
}

TEST_F(CornerScale, OnlyTheLargerStepCounts)
{
    drag({{-200, 0}});
    EXPECT_EQ(resizes(), 0u); // leftward alone adds nothing
    drag({{10, 30}});
    EXPECT_FLOAT_EQ(scale(), 750.0f / 720.0f);
}

TEST_F(CornerScale, DoubleClickReturnsToTheBaseSize)
{
    drag({{360, 0}});
    EXPECT_FLOAT_EQ(scale(), 1.5f);
    editor.graphics->OnMouseDblClick(712, 526, IMouseMod(true));
    EXPECT_FLOAT_EQ(scale(), 1.0f);
    EXPECT_EQ(editor.delegate.GetEditorWidth(), 720);
}

TEST_F(CornerScale, HoverShowsTheResizeCursorAndTheBrighterCorner)
{
    editor.graphics->SetMouseCursor(ECursor::HAND);
    editor.graphics->OnMouseOver(712, 526, IMouseMod());
    editor.graphics->OnMouseOver(714, 527, IMouseMod());
    EXPECT_EQ(editor.graphics->GetMouseCursor(), ECursor::SIZENWSE);
    editor.draw();
    ASSERT_EQ(editor.graphics->GetDrawLog().size(), 1u);
    EXPECT_EQ(editor.graphics->GetDrawLog()[0].color, kHover);

    editor.graphics->OnMouseOver(300, 300, IMouseMod());
    EXPECT_EQ(editor.graphics->GetMouseCursor(), ECursor::HAND);
    editor.draw();
    EXPECT_EQ(editor.graphics->GetDrawLog()[0].color, kColor);
}
