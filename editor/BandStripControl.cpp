#include "editor/BandStripControl.h"

#include "framework/IEditorDelegate.h"
#include "framework/IParam.h"
#include "framework/igraphics/IGraphics.h"

#include <algorithm>
#include <cmath>

using namespace iplug::igraphics;

namespace
{
/** The logarithmic span a frequency parameter covers: lo at least 1 Hz, hi a little above lo at least. */
struct FrequencySpan
{
    double lo;
    double hi;

    explicit FrequencySpan(const iplug::IParam& param)
        : lo(std::max(1.0, param.GetMin())), hi(std::max(1.0001 * lo, param.GetMax()))
    {
    }
    double fraction(double hertz) const { return std::log(std::clamp(hertz, lo, hi) / lo) / std::log(hi / lo); }
    double hertz(double fraction) const { return lo * std::pow(hi / lo, fraction); }
};
} // namespace

BandStripControl::BandStripControl(const IRECT& bounds, int highPassFreqParam, int lowPassFreqParam,
                                   int highPassOnParam, int lowPassOnParam, float scale, const IColor& accent)
    : IControl(bounds, {highPassFreqParam, lowPassFreqParam}), passbandColor(accent.WithAlpha(255)),
      highPassOnParam(highPassOnParam), lowPassOnParam(lowPassOnParam), scale(scale)
{
}

float BandStripControl::spanLeft() const
{
    return rect.L + 6.0f * scale;
}

float BandStripControl::spanRight() const
{
    return rect.R - 6.0f * scale;
}

float BandStripControl::spanFraction(float x) const
{
    return (x - spanLeft()) / std::max(1.0f, spanRight() - spanLeft());
}

float BandStripControl::handlePosition(int handle) const
{
    const iplug::IParam* param = GetParam(handle);
    if (param == nullptr)
        return handle == 0 ? 0.0f : 1.0f;
    const auto t = static_cast<float>(FrequencySpan(*param).fraction(param->FromNormalized(GetValue(handle))));
    return handle == 0 ? std::clamp(0.5f * t, 0.0f, 0.5f) : std::clamp(0.5f + 0.5f * t, 0.5f, 1.0f);
}

bool BandStripControl::switchOn(int paramIdx) const
{
    const iplug::IEditorDelegate* delegate = GetDelegate();
    const iplug::IParam* param = delegate ? delegate->GetParam(paramIdx) : nullptr;
    return param != nullptr && param->Value() >= 0.5;
}

int BandStripControl::nearestHandle(float x)
{
    const float w = std::clamp(spanFraction(x), 0.0f, 1.0f);
    return std::fabs(w - handlePosition(1)) < std::fabs(w - handlePosition(0)) ? 1 : 0;
}

void BandStripControl::OnMouseDown(float x, float y, const IMouseMod& mod)
{
    draggedHandle = nearestHandle(x);
    OnMouseDrag(x, y, 0.0f, 0.0f, mod);
}

void BandStripControl::OnMouseUp(float, float, const IMouseMod&)
{
    draggedHandle = kNoHandle;
}

void BandStripControl::OnMouseDrag(float x, float, float, float, const IMouseMod&)
{
    const iplug::IParam* param = draggedHandle == kNoHandle ? nullptr : GetParam(draggedHandle);
    if (param == nullptr)
        return;
    const double w = std::clamp(spanFraction(x), 0.0f, 1.0f);
    // Each handle owns one half of the strip: dragged into the other half it stops at its own end.
    const double t = std::clamp(draggedHandle == 0 ? 2.0 * w : 2.0 * (w - 0.5), 0.0, 1.0);
    const double hertz = param->Constrain(FrequencySpan(*param).hertz(t));
    SetValue(std::clamp(param->ToNormalized(hertz), 0.0, 1.0), draggedHandle);
    SetDirty(true, draggedHandle);
}

bool BandStripControl::IsDirty()
{
    if (switchOn(highPassOnParam) != highPassOnDrawn || switchOn(lowPassOnParam) != lowPassOnDrawn)
        return true;
    return IControl::IsDirty();
}

void BandStripControl::fillOverTrack(IGraphics& g, const IColor& color, float x0, float x1)
{
    // The bar has a gap of 6 units at its middle between the high-pass and the low-pass halves.
    const float cy = rect.MH();
    const float middle = spanLeft() + 0.5f * (spanRight() - spanLeft());
    const float top = cy - 1.5f * scale, bottom = cy + 1.5f * scale;
    const float leftEnd = std::min(x1, middle - 3.0f * scale);
    const float rightStart = std::max(x0, middle + 3.0f * scale);
    if (leftEnd > x0)
        g.FillRect(color, {x0, top, leftEnd, bottom}, &blend);
    if (x1 > rightStart)
        g.FillRect(color, {rightStart, top, x1, bottom}, &blend);
}

void BandStripControl::Draw(IGraphics& g)
{
    highPassOnDrawn = switchOn(highPassOnParam);
    lowPassOnDrawn = switchOn(lowPassOnParam);
    const float left = spanLeft(), width = spanRight() - spanLeft();
    fillOverTrack(g, trackColor, left, spanRight());

    const float highPass = handlePosition(0), lowPass = handlePosition(1);
    const float p0 = highPassOnDrawn ? highPass : 0.0f;
    const float p1 = lowPassOnDrawn ? lowPass : 1.0f;
    if (p1 > p0)
        fillOverTrack(g, passbandColor, left + width * p0, left + width * p1);

    const float cy = rect.MH();
    g.FillCircle(highPassOnDrawn ? handleOnColor : handleOffColor, left + width * highPass, cy, 6.0f * scale, &blend);
    g.FillCircle(lowPassOnDrawn ? handleOnColor : handleOffColor, left + width * lowPass, cy, 6.0f * scale, &blend);
}
