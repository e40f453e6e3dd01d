#include "editor/RingKnobControl.h"

#include "framework/igraphics/IGraphics.h"

using namespace iplug::igraphics;

RingKnobControl::RingKnobControl(const IRECT& bounds, int paramIdx, const IColor& ringColor, const char* label,
                                 const IVStyle& style, bool valueIsEditable, bool valueInWidget, float a1, float a2,
                                 float aAnchor, EDirection direction, double gearing, float trackSize)
    : IVKnobControl(bounds, paramIdx, label, style, valueIsEditable, valueInWidget, a1, a2, aAnchor, direction, gearing,
                    trackSize),
      ringColor(ringColor)
{
}

void RingKnobControl::DrawIndicatorTrack(IGraphics& g, float angle, float cx, float cy, float radius)
{
    if (trackSize > 0.0f)
        g.DrawArc(ringColor, cx, cy, radius, angle1, angle2, &blend, trackSize);
    IVKnobControl::DrawIndicatorTrack(g, angle, cx, cy, radius);
}
