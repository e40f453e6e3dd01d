#pragma once

#include "framework/igraphics/IControl.h"

namespace iplug
{
namespace igraphics
{
/** A filled rectangle, optionally framed; ignores the mouse. */
class IPanelControl : public IControl
{
public:
    IPanelControl(const IRECT& bounds, const IPattern& pattern, bool drawFrame = false);

    void Draw(IGraphics& g) override;

private:
    IPattern pattern;
    bool drawFrame;
};

} // namespace igraphics
} // namespace iplug
