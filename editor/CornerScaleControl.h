#pragma once

#include "framework/igraphics/IControl.h"

/**
 * The triangle in the editor's bottom-right corner: dragging it scales the whole editor continuously between the
 * smallest and largest scale of its base size; a double-click returns to the base size. Hovering shows the
 * diagonal-resize cursor.
 */
class CornerScaleControl : public iplug::igraphics::IControl
{
public:
    CornerScaleControl(const iplug::igraphics::IRECT& bounds, float baseWidth, float smallestScale, float largestScale,
                       const iplug::igraphics::IColor& color, const iplug::igraphics::IColor& hoverColor);

    void OnMouseDown(float x, float y, const iplug::igraphics::IMouseMod& mod) override;
    /** Adds the larger of the two signed steps (in pixels), so right or down enlarges and only up-and-left
     *  shrinks. */
    void OnMouseDrag(float x, float y, float dX, float dY, const iplug::igraphics::IMouseMod& mod) override;
    void OnMouseDblClick(float x, float y, const iplug::igraphics::IMouseMod& mod) override;
    void OnMouseOver(float x, float y, const iplug::igraphics::IMouseMod& mod) override;
    void OnMouseOut() override;
    void Draw(iplug::igraphics::IGraphics& g) override;

private:
    float baseWidth;
    float smallestScale;
    float largestScale;
    iplug::igraphics::IColor color;
    iplug::igraphics::IColor hoverColor;
    float widthAtDragStart = 0.0f;
    float accumulatedDrag = 0.0f;
    bool hovering = false;
    iplug::igraphics::ECursor cursorBeforeHovering = iplug::igraphics::ECursor::ARROW;
};
