#include "framework/igraphics/ICaptionControl.h"

#include "framework/IParam.h"
#include "framework/igraphics/IGraphics.h"

namespace iplug
{
namespace igraphics
{
ICaptionControl::ICaptionControl(const IRECT& bounds, int paramIdx, const IText& text, const IColor& bgColor,
                                 bool showParamLabel)
    : ITextControl(bounds, "", text, bgColor), showParamLabel(showParamLabel)
{
    // ITextControl binds no parameter; a caption is bound to one and is clicked.
    SetParamIdx(paramIdx);
    SetIgnoreMouse(false);
}

std::string ICaptionControl::captionText() const
{
    const IParam* param = GetParam();
    if (param == nullptr)
        return {};
    WDL_String display;
    param->GetDisplay(param->FromNormalized(GetValue()), false, display);
    std::string caption = display.Get();
    if (showParamLabel && *param->GetLabel() != '\0' && param->Type() != IParam::kTypeBool)
        caption += std::string(" ") + param->GetLabel();
    return caption;
}

void ICaptionControl::Draw(IGraphics& g)
{
    if (bgColor.A > 0)
        g.FillRect(bgColor, rect, &blend);
    g.DrawText(text, captionText().c_str(), rect, &blend);
}

} // namespace igraphics
} // namespace iplug
