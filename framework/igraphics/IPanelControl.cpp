#include "framework/igraphics/IPanelControl.h"

#include "framework/igraphics/IGraphics.h"

namespace iplug
{
namespace igraphics
{
IPanelControl::IPanelControl(const IRECT& bounds, const IPattern& pattern, bool drawFrame)
    : IControl(bounds), pattern(pattern), drawFrame(drawFrame)
{
    SetIgnoreMouse(true);
}

void IPanelControl::Draw(IGraphics& g)
{
    g.FillRect(pattern.color, rect, &blend);
    if (drawFrame)
        g.DrawRect(COLOR_BLACK, rect, &blend);
}

} // namespace igraphics
} // namespace iplug
