#pragma once

#include "framework/igraphics/IGraphicsStructs.h"

#include <string>

namespace iplug
{
namespace igraphics
{
class IGraphics;
class IControl;

/** The style, label and the shared background, frame and label drawing of the vector controls. */
class IVectorBase
{
public:
    IVectorBase(IControl& control, const char* label, const IVStyle& style);
    virtual ~IVectorBase() = default;

    const IColor& GetColor(EVColor slot) const { return style.colors[slot]; }
    const IVStyle& GetStyle() const { return style; }

protected:
    /** The part of the control's rectangle left for the widget once the label strip is taken off. */
    IRECT widgetBounds() const;
    IRECT labelBounds() const;
    void DrawBackground(IGraphics& g, const IRECT& r) const;
    void DrawFrame(IGraphics& g, const IRECT& r) const;
    void DrawLabel(IGraphics& g) const;

    IControl& owner;
    IVStyle style;
    std::string label;
};

} // namespace igraphics
} // namespace iplug
