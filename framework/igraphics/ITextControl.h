#pragma once

#include "framework/igraphics/IControl.h"

#include <string>

namespace iplug
{
namespace igraphics
{
/** A line of text on an optional background; ignores the mouse. */
class ITextControl : public IControl
{
public:
    ITextControl(const IRECT& bounds, const char* str = "", const IText& text = DEFAULT_TEXT,
                 const IColor& bgColor = COLOR_TRANSPARENT);

    void Draw(IGraphics& g) override;

    /** Replaces the text and redraws when it changed. */
    virtual void SetStr(const char* str);
    const char* GetStr() const { return str.c_str(); }

protected:
    std::string str;
    IColor bgColor;
};

} // namespace igraphics
} // namespace iplug
