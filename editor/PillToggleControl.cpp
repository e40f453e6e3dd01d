#include "editor/PillToggleControl.h"

#include "framework/igraphics/IGraphics.h"

using namespace iplug::igraphics;

PillToggleControl::PillToggleControl(const IRECT& bounds, int paramIdx, const char* lowText, const char* highText,
                                     const IText& text, float scale, const IColor& accent, bool invert)
    : IControl(bounds, paramIdx), dotLitColor(accent.WithAlpha(255)), lowText(lowText ? lowText : ""),
      highText(highText ? highText : ""), textStyle(text), scale(scale), invert(invert)
{
}

void PillToggleControl::OnMouseDown(float, float, const IMouseMod&)
{
    SetValue(GetValue() > 0.5 ? 0.0 : 1.0);
    SetDirty(true);
}

void PillToggleControl::OnMouseDblClick(float x, float y, const IMouseMod& mod)
{
    OnMouseDown(x, y, mod);
}

void PillToggleControl::Draw(IGraphics& g)
{
    const float h = rect.H(), cy = rect.MH();
    const bool high = GetValue() > 0.5;
    const bool lit = high != invert;
    g.FillRoundRect(fillColor, rect, 0.5f * h, &blend);
    g.DrawRoundRect(lit ? borderLitColor : borderUnlitColor, rect, 0.5f * h, &blend, 1.0f);
    const float d = 5.0f * scale;
    const float dotLeft = rect.L + 0.3f * h;
    g.FillEllipse(lit ? dotLitColor : dotUnlitColor, {dotLeft, cy - 0.5f * d, dotLeft + d, cy + 0.5f * d}, &blend);
    g.DrawText(textStyle, (high ? highText : lowText).c_str(), {dotLeft + d, rect.T, rect.R - 0.3f * h, rect.B},
               &blend);
}
