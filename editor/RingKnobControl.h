#pragma once

#include "framework/igraphics/IVKnobControl.h"

/** The editor's knob: the vector knob with a full ring behind its value arc, so the whole travel is visible. */
class RingKnobControl : public iplug::igraphics::IVKnobControl
{
public:
    RingKnobControl(const iplug::igraphics::IRECT& bounds, int paramIdx, const iplug::igraphics::IColor& ringColor,
                    const char* label = "", const iplug::igraphics::IVStyle& style = iplug::igraphics::DEFAULT_STYLE,
                    bool valueIsEditable = false, bool valueInWidget = false, float a1 = -135.0f, float a2 = 135.0f,
                    float aAnchor = -135.0f,
                    iplug::igraphics::EDirection direction = iplug::igraphics::EDirection::Vertical,
                    double gearing = 4.0, float trackSize = 2.0f);

protected:
    void DrawIndicatorTrack(iplug::igraphics::IGraphics& g, float angle, float cx, float cy, float radius) override;

private:
    iplug::igraphics::IColor ringColor;
};
