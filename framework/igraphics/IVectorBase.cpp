#include "framework/igraphics/IVectorBase.h"

#include "framework/igraphics/IControl.h"
#include "framework/igraphics/IGraphics.h"

namespace iplug
{
namespace igraphics
{
namespace
{
// A label or value strip is one and a half times its text size tall.
constexpr float kStripHeightPerTextSize = 1.5f;
} // namespace

IVectorBase::IVectorBase(IControl& control, const char* label, const IVStyle& style)
    : owner(control), style(style), label(label ? label : "")
{
}

IRECT IVectorBase::labelBounds() const
{
    const IRECT& r = owner.GetRECT();
    if (!style.showLabel || label.empty())
        return {r.L, r.T, r.R, r.T};
    return {r.L, r.T, r.R, r.T + kStripHeightPerTextSize * style.labelText.size};
}

IRECT IVectorBase::widgetBounds() const
{
    IRECT r = owner.GetRECT();
    r.T = labelBounds().B;
    if (style.showValue)
        r.B -= kStripHeightPerTextSize * style.valueText.size;
    return r;
}

void IVectorBase::DrawBackground(IGraphics& g, const IRECT& r) const
{
    if (GetColor(kBG).A > 0)
        g.FillRect(GetColor(kBG), r, &owner.GetBlend());
}

void IVectorBase::DrawFrame(IGraphics& g, const IRECT& r) const
{
    if (style.drawFrame)
        g.DrawRect(GetColor(kFR), r, &owner.GetBlend(), style.frameThickness);
}

void IVectorBase::DrawLabel(IGraphics& g) const
{
    if (style.showLabel && !label.empty())
        g.DrawText(style.labelText, label.c_str(), labelBounds(), &owner.GetBlend());
}

} // namespace igraphics
} // namespace iplug
