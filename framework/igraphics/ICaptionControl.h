#pragma once

#include "framework/igraphics/ITextControl.h"

namespace iplug
{
namespace igraphics
{
/** Shows its parameter's display text for the current value, followed by the unit label when asked. */
class ICaptionControl : public ITextControl
{
public:
    ICaptionControl(const IRECT& bounds, int paramIdx, const IText& text = DEFAULT_TEXT,
                    const IColor& bgColor = COLOR_TRANSPARENT, bool showParamLabel = true);

    void Draw(IGraphics& g) override;

protected:
    /** The text the caption shows for the parameter's current value. */
    std::string captionText() const;

    bool showParamLabel;
};

} // namespace igraphics
} // namespace iplug
