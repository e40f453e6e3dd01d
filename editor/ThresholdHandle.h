#pragma once

#include "framework/igraphics/IControl.h"

/**
 * The Analysis Threshold marker over the IN meter: a dashed line with a triangle at the threshold on the meter's
 * dB scale. Pressing or dragging right of the meter's track sets the threshold; a double-click restores the
 * default. While hovered or dragged, the readout strip above the meter shows the value.
 */
class ThresholdHandle : public iplug::igraphics::IControl
{
public:
    /** `trackRect` is the meter's track column; `lowDecibels`..`highDecibels` the meter's range. */
    ThresholdHandle(const iplug::igraphics::IRECT& bounds, int paramIdx, const iplug::igraphics::IRECT& trackRect,
                    float lowDecibels, float highDecibels, const iplug::igraphics::IText& text,
                    const iplug::igraphics::IColor& markerColor, const iplug::igraphics::IColor& boxColor);
    ~ThresholdHandle() override = default;

    void OnMouseDown(float x, float y, const iplug::igraphics::IMouseMod& mod) override;
    void OnMouseUp(float x, float y, const iplug::igraphics::IMouseMod& mod) override;
    void OnMouseDrag(float x, float y, float dX, float dY, const iplug::igraphics::IMouseMod& mod) override;
    void OnMouseDblClick(float x, float y, const iplug::igraphics::IMouseMod& mod) override;
    void OnMouseOver(float x, float y, const iplug::igraphics::IMouseMod& mod) override;
    void OnMouseOut() override;
    void Draw(iplug::igraphics::IGraphics& g) override;
    /** Only right of the track: the track and the scale beside it are not the handle's. */
    bool IsHit(float x, float y) const override;

    /** Sets the threshold to the level at height `y` on the track, limited to the parameter's range, and sends it. */
    void setFromY(float y);

private:
    /** Constrains `decibels` to the parameter, sets it as the value and sends it. */
    void setDecibels(double decibels);
    float markerY() const;

    iplug::igraphics::IRECT trackRect;
    float lowDecibels;
    float highDecibels;
    iplug::igraphics::IText textStyle;
    iplug::igraphics::IColor markerColor;
    iplug::igraphics::IColor boxColor;
    bool dragging = false;
    bool hovering = false;
};
