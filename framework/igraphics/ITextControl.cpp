#include "framework/igraphics/ITextControl.h"

#include "framework/igraphics/IGraphics.h"

namespace iplug
{
namespace igraphics
{
ITextControl::ITextControl(const IRECT& bounds, const char* str, const IText& text, const IColor& bgColor)
    : IControl(bounds), str(str ? str : ""), bgColor(bgColor)
{
    this->text = text;
    SetIgnoreMouse(true);
}

void ITextControl::Draw(IGraphics& g)
{
    if (bgColor.A > 0)
        g.FillRect(bgColor, rect, &blend);
    g.DrawText(text, str.c_str(), rect, &blend);
}

void ITextControl::SetStr(const char* newStr)
{
    const char* value = newStr ? newStr : "";
    if (str != value)
    {
        str = value;
        SetDirty(false);
    }
}

} // namespace igraphics
} // namespace iplug
