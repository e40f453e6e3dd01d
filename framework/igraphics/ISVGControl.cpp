#include "framework/igraphics/ISVGControl.h"

namespace iplug
{
namespace igraphics
{
ISVGControl::ISVGControl(const IRECT& bounds, const ISVG& svg, bool) : IControl(bounds), svg(svg)
{
    SetIgnoreMouse(true);
}

void ISVGControl::Draw(IGraphics& g)
{
    g.DrawSVG(svg, rect, &blend);
}

} // namespace igraphics
} // namespace iplug
