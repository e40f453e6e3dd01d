#include "editor/ValueCaptionControl.h"

#include "editor/ParseTypedValue.h"
#include "framework/IEditorDelegate.h"
#include "framework/IParam.h"
#include "framework/igraphics/IGraphics.h"

#include <algorithm>
#include <cmath>

namespace aubrevane::plugin
{
using namespace iplug::igraphics;

ValueCaptionControl::ValueCaptionControl(const IRECT& bounds, int paramIdx, const IText& text)
    : ICaptionControl(bounds, paramIdx, text, COLOR_TRANSPARENT, true)
{
    SetTooltip("Click to type a value");
    SetTextEntryLength(kEntryLength);
}

void ValueCaptionControl::OnMouseDown(float, float, const IMouseMod& mod)
{
    const iplug::IParam* param = GetParam();
    if (!mod.L || param == nullptr || GetUI() == nullptr)
        return;
    WDL_String display;
    param->GetDisplay(param->Value(), false, display);
    GetUI()->CreateTextEntry(*this, text, rect, display.Get());
}

void ValueCaptionControl::OnTextEntryCompletion(const char* str, int)
{
    const iplug::IParam* param = GetParam();
    iplug::IEditorDelegate* delegate = GetDelegate();
    const std::optional<double> typed = parseTypedValue(str);
    if (param == nullptr || delegate == nullptr || !typed || std::isnan(*typed))
        return; // a typed "nan" is no number, though strtod reads one; infinities clamp to the range's ends below
    double value = std::clamp(*typed, param->GetMin(), param->GetMax());
    const int paramIdx = GetParamIdx();
    delegate->BeginInformHostOfParamChangeFromUI(paramIdx);
    if ((param->GetStepped() || param->Type() == iplug::IParam::kTypeBool) && param->GetStep() > 0.0)
    {
        value = std::round(value / param->GetStep()) * param->GetStep(); // std::round takes halves away from zero
        value = std::clamp(value, param->GetMin(), param->GetMax());
    }
    delegate->SendParameterValueFromUI(paramIdx, std::clamp(param->ToNormalized(value), 0.0, 1.0));
    delegate->EndInformHostOfParamChangeFromUI(paramIdx);
}

} // namespace aubrevane::plugin
