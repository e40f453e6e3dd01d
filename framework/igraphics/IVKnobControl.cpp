#include "framework/igraphics/IVKnobControl.h"

#include "framework/IParam.h"
#include "framework/igraphics/IGraphics.h"

#include <algorithm>
#include <cmath>

namespace iplug
{
namespace igraphics
{
namespace
{
constexpr double kDragUnitsPerGearing = 50.0; // units of drag per unit of gearing for the whole travel
constexpr double kFineFactor = 0.1;           // shift held
constexpr double kWheelStep = 0.01;
constexpr float kPi = 3.14159265f;
} // namespace

IVKnobControl::IVKnobControl(const IRECT& bounds, int paramIdx, const char* label, const IVStyle& style,
                             bool valueIsEditable, bool valueInWidget, float a1, float a2, float aAnchor,
                             EDirection direction, double gearing, float trackSize)
    : IControl(bounds, paramIdx), IVectorBase(*this, label, style), angle1(a1), angle2(a2), anchorAngle(aAnchor),
      trackSize(trackSize), direction(direction), gearing(gearing > 0.0 ? gearing : 4.0),
      valueIsEditable(valueIsEditable), valueInWidget(valueInWidget)
{
}

void IVKnobControl::Draw(IGraphics& g)
{
    DrawBackground(g, rect);
    DrawLabel(g);
    DrawWidget(g);
    if (style.showValue && GetParam() != nullptr)
    {
        WDL_String display;
        GetParam()->GetDisplay(GetParam()->FromNormalized(GetValue()), false, display);
        const IRECT widget = widgetBounds();
        const IRECT valueStrip = valueInWidget ? widget : IRECT(rect.L, widget.B, rect.R, rect.B);
        g.DrawText(style.valueText, display.Get(), valueStrip, &blend);
    }
    DrawFrame(g, rect);
}

void IVKnobControl::DrawWidget(IGraphics& g)
{
    const IRECT square = widgetBounds().GetCentredSquare();
    const float cx = square.MW(), cy = square.MH();
    const float arcRadius = 0.5f * square.W() - std::max(1.0f, trackSize);
    const float bodyRadius = std::max(0.0f, arcRadius - trackSize - 3.0f);
    const float angle = angle1 + static_cast<float>(GetValue()) * (angle2 - angle1);

    DrawIndicatorTrack(g, angle, cx, cy, arcRadius);
    if (style.drawShadows)
        g.FillCircle(GetColor(kSH), cx + style.shadowOffset, cy + style.shadowOffset, bodyRadius, &blend);
    g.FillCircle(GetColor(pressed ? kPR : kFG), cx, cy, bodyRadius, &blend);
    if (style.drawFrame)
        g.DrawCircle(GetColor(kFR), cx, cy, bodyRadius, &blend, style.frameThickness);
    // The pointer, from near the centre to near the rim.
    const float radians = (angle - 90.0f) * kPi / 180.0f;
    const float dx = std::cos(radians), dy = std::sin(radians);
    g.DrawLine(GetColor(kFR), cx + 0.35f * bodyRadius * dx, cy + 0.35f * bodyRadius * dy, cx + 0.85f * bodyRadius * dx,
               cy + 0.85f * bodyRadius * dy, &blend, 2.0f);
}

void IVKnobControl::DrawIndicatorTrack(IGraphics& g, float angle, float cx, float cy, float radius)
{
    if (trackSize > 0.0f)
        g.DrawArc(GetColor(kX1), cx, cy, radius, anchorAngle, angle, &blend, trackSize);
}

void IVKnobControl::OnMouseDown(float, float, const IMouseMod&)
{
    pressed = true;
    dragValue = GetValue();
    if (style.hideCursor && GetUI() != nullptr)
        GetUI()->HideMouseCursor(true);
    SetDirty(false);
}

void IVKnobControl::OnMouseUp(float, float, const IMouseMod&)
{
    pressed = false;
    if (style.hideCursor && GetUI() != nullptr)
        GetUI()->HideMouseCursor(false);
    SetDirty(false);
}

void IVKnobControl::OnMouseDrag(float, float, float dX, float dY, const IMouseMod& mod)
{
    double delta = (direction == EDirection::Vertical ? -dY : dX) / (kDragUnitsPerGearing * gearing);
    if (mod.S)
        delta *= kFineFactor;
    dragValue = std::clamp(dragValue + delta, 0.0, 1.0);
    SetValue(dragValue);
    SetDirty(true);
}

void IVKnobControl::OnMouseDblClick(float, float, const IMouseMod&)
{
    SetValueToDefault();
}

void IVKnobControl::OnMouseWheel(float, float, const IMouseMod& mod, float d)
{
    SetValue(GetValue() + d * kWheelStep * (mod.S ? kFineFactor : 1.0));
    SetDirty(true);
}

} // namespace igraphics
} // namespace iplug
