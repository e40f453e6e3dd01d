#include "editor/ThresholdHandle.h"

#include "framework/IParam.h"
#include "framework/igraphics/IGraphics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace iplug::igraphics;

ThresholdHandle::ThresholdHandle(const IRECT& bounds, int paramIdx, const IRECT& trackRect, float lowDecibels,
                                 float highDecibels, const IText& text, const IColor& markerColor,
                                 const IColor& boxColor)
    : IControl(bounds, paramIdx), trackRect(trackRect), lowDecibels(lowDecibels), highDecibels(highDecibels),
      textStyle(text), markerColor(markerColor), boxColor(boxColor)
{
}

void ThresholdHandle::setDecibels(double decibels)
{
    const iplug::IParam* param = GetParam();
    if (param == nullptr)
        return;
    // The level moves in the parameter's steps, as the host shows and automates it, though the parameter does not
    // round what the host sends.
    if (const double step = param->GetStep(); step > 0.0)
        decibels = std::round(decibels / step) * step; // std::round: halves away from zero
    SetValue(std::clamp(param->ToNormalized(param->Constrain(decibels)), 0.0, 1.0));
    SetDirty(true);
}

void ThresholdHandle::setFromY(float y)
{
    const float f = std::clamp((y - trackRect.T) / std::max(1.0f, trackRect.H()), 0.0f, 1.0f);
    setDecibels(highDecibels - f * std::max(1.0f, highDecibels - lowDecibels));
}

void ThresholdHandle::OnMouseDown(float, float y, const IMouseMod&)
{
    dragging = true;
    setFromY(y);
}

void ThresholdHandle::OnMouseUp(float, float, const IMouseMod&)
{
    dragging = false;
    SetDirty(false);
}

void ThresholdHandle::OnMouseDrag(float, float y, float, float, const IMouseMod&)
{
    setFromY(y);
}

void ThresholdHandle::OnMouseDblClick(float, float, const IMouseMod&)
{
    if (const iplug::IParam* param = GetParam())
        setDecibels(param->GetDefault());
}

void ThresholdHandle::OnMouseOver(float x, float y, const IMouseMod& mod)
{
    hovering = true;
    SetDirty(false);
    IControl::OnMouseOver(x, y, mod);
}

void ThresholdHandle::OnMouseOut()
{
    hovering = false;
    dragging = false;
    SetDirty(false);
    IControl::OnMouseOut();
}

bool ThresholdHandle::IsHit(float x, float y) const
{
    return x >= trackRect.R && rect.Contains(x, y);
}

float ThresholdHandle::markerY() const
{
    const iplug::IParam* param = GetParam();
    const double decibels = param ? param->FromNormalized(GetValue()) : lowDecibels;
    const double f = std::clamp((highDecibels - decibels) / std::max(1.0f, highDecibels - lowDecibels), 0.0, 1.0);
    return trackRect.T + trackRect.H() * static_cast<float>(f);
}

void ThresholdHandle::Draw(IGraphics& g)
{
    const float y = markerY();
    const float lineEnd = trackRect.R + 2.0f;
    for (float x = trackRect.L - 2.0f; x < lineEnd; x += 6.0f)
        g.DrawLine(markerColor, x, y, std::min(lineEnd, x + 3.0f), y, &blend, 1.0f);
    g.FillTriangle(markerColor, trackRect.R + 3.0f, y, trackRect.R + 14.2f, y - 7.0f, trackRect.R + 14.2f, y + 7.0f,
                   &blend);
    const iplug::IParam* param = GetParam();
    if ((dragging || hovering) && param != nullptr)
    {
        const IRECT strip{rect.L, rect.T, rect.R, trackRect.T};
        char readout[48];
        std::snprintf(readout, sizeof readout, "threshold %.1f dB", param->FromNormalized(GetValue()));
        g.FillRect(boxColor, strip, &blend);
        g.DrawText(textStyle, readout, strip, &blend);
    }
}
