#include "editor/CornerScaleControl.h"

#include "framework/igraphics/IGraphics.h"

#include <algorithm>
#include <cmath>

using namespace iplug::igraphics;

CornerScaleControl::CornerScaleControl(const IRECT& bounds, float baseWidth, float smallestScale, float largestScale,
                                       const IColor& color, const IColor& hoverColor)
    : IControl(bounds), baseWidth(baseWidth > 0.0f ? baseWidth : 1.0f), smallestScale(smallestScale),
      largestScale(largestScale), color(color), hoverColor(hoverColor)
{
}

void CornerScaleControl::OnMouseDown(float, float, const IMouseMod&)
{
    if (GetUI() == nullptr)
        return;
    widthAtDragStart = std::trunc(baseWidth * GetUI()->GetDrawScale());
    accumulatedDrag = 0.0f;
}

void CornerScaleControl::OnMouseDrag(float, float, float dX, float dY, const IMouseMod&)
{
    IGraphics* ui = GetUI();
    if (ui == nullptr)
        return;
    accumulatedDrag += std::max(dX, dY) * ui->GetDrawScale();
    const float scale = std::clamp((widthAtDragStart + accumulatedDrag) / baseWidth, smallestScale, largestScale);
    if (scale != ui->GetDrawScale())
        ui->Resize(static_cast<int>(baseWidth), ui->Height(), scale, true);
}

void CornerScaleControl::OnMouseDblClick(float, float, const IMouseMod&)
{
    if (IGraphics* ui = GetUI())
        ui->Resize(static_cast<int>(baseWidth), ui->Height(), 1.0f, true);
}

void CornerScaleControl::OnMouseOver(float x, float y, const IMouseMod& mod)
{
    if (!hovering && GetUI() != nullptr)
        cursorBeforeHovering = GetUI()->SetMouseCursor(ECursor::SIZENWSE);
    hovering = true;
    IControl::OnMouseOver(x, y, mod);
}

void CornerScaleControl::OnMouseOut()
{
    if (hovering && GetUI() != nullptr)
        GetUI()->SetMouseCursor(cursorBeforeHovering);
    hovering = false;
    IControl::OnMouseOut();
}

void CornerScaleControl::Draw(IGraphics& g)
{
    g.FillTriangle(mouseIsOver ? hoverColor : color, rect.L, rect.B, rect.R, rect.T, rect.R, rect.B, &blend);
}
