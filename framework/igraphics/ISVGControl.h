#pragma once

#include "framework/igraphics/IControl.h"
#include "framework/igraphics/IGraphics.h"

namespace iplug
{
namespace igraphics
{
/** Shows an SVG image fitted into its rectangle; ignores the mouse. */
class ISVGControl : public IControl
{
public:
    ISVGControl(const IRECT& bounds, const ISVG& svg, bool useLayer = false);

    void Draw(IGraphics& g) override;

private:
    ISVG svg;
};

} // namespace igraphics
} // namespace iplug
