#include "framework/igraphics/IControl.h"

#include "framework/IEditorDelegate.h"
#include "framework/IParam.h"
#include "framework/igraphics/IGraphics.h"

#include <algorithm>
#include <cmath>

namespace iplug
{
namespace igraphics
{
IControl::IControl(const IRECT& bounds, int paramIdx, IActionFunction actionFunc)
    : rect(bounds), vals{Val{paramIdx, 0.0}}, actionFunc(std::move(actionFunc))
{
}

IControl::IControl(const IRECT& bounds, std::initializer_list<int> params, IActionFunction actionFunc)
    : rect(bounds), actionFunc(std::move(actionFunc))
{
    for (int paramIdx : params)
        vals.push_back(Val{paramIdx, 0.0});
    if (vals.empty())
        vals.push_back(Val{});
}

void IControl::SetNVals(int count)
{
    vals.assign(static_cast<size_t>(std::max(1, count)), Val{});
}

void IControl::SetParamIdx(int paramIdx, int valIdx)
{
    if (valIdx >= 0 && valIdx < NVals())
        vals[static_cast<size_t>(valIdx)].paramIdx = paramIdx;
}

void IControl::OnMouseDown(float, float, const IMouseMod&) {}
void IControl::OnMouseUp(float, float, const IMouseMod&) {}
void IControl::OnMouseDrag(float, float, float, float, const IMouseMod&) {}
void IControl::OnMouseDblClick(float, float, const IMouseMod&) {}
void IControl::OnMouseWheel(float, float, const IMouseMod&, float) {}
void IControl::OnPopupMenuSelection(IPopupMenu*, int) {}
void IControl::OnTextEntryCompletion(const char*, int) {}
void IControl::OnMsgFromDelegate(int, int, const void*) {}
void IControl::OnResize() {}
void IControl::OnAttached() {}

void IControl::OnMouseOver(float, float, const IMouseMod&)
{
    if (!mouseIsOver)
        SetDirty(false);
    mouseIsOver = true;
}

void IControl::OnMouseOut()
{
    if (mouseIsOver)
        SetDirty(false);
    mouseIsOver = false;
}

void IControl::SetDirty(bool triggerAction, int valIdx)
{
    dirty = true;
    if (!triggerAction)
        return;
    IEditorDelegate* dlg = GetDelegate();
    for (int i = 0; i < NVals(); ++i)
    {
        if (valIdx != kNoValIdx && valIdx != i)
            continue;
        const int paramIdx = vals[static_cast<size_t>(i)].paramIdx;
        if (paramIdx == kNoParameter || dlg == nullptr)
            continue;
        ui->sendParameterValue(*this, paramIdx, vals[static_cast<size_t>(i)].value);
    }
    if (actionFunc)
        actionFunc(this);
}

void IControl::SetValueFromDelegate(double normalized, int valIdx)
{
    if (valIdx < 0 || valIdx >= NVals() || !std::isfinite(normalized))
        return;
    const double clamped = std::clamp(normalized, 0.0, 1.0);
    if (vals[static_cast<size_t>(valIdx)].value != clamped)
    {
        vals[static_cast<size_t>(valIdx)].value = clamped;
        SetDirty(false);
    }
}

void IControl::SetValueToDefault(int valIdx)
{
    for (int i = 0; i < NVals(); ++i)
    {
        if (valIdx != kNoValIdx && valIdx != i)
            continue;
        if (const IParam* param = GetParam(i))
        {
            SetValue(param->GetDefault(true), i);
            SetDirty(true, i);
        }
    }
}

double IControl::GetValue(int valIdx) const
{
    return valIdx >= 0 && valIdx < NVals() ? vals[static_cast<size_t>(valIdx)].value : 0.0;
}

void IControl::SetValue(double normalized, int valIdx)
{
    if (valIdx < 0 || valIdx >= NVals() || !std::isfinite(normalized))
        return;
    vals[static_cast<size_t>(valIdx)].value = std::clamp(normalized, 0.0, 1.0);
}

int IControl::GetParamIdx(int valIdx) const
{
    return valIdx >= 0 && valIdx < NVals() ? vals[static_cast<size_t>(valIdx)].paramIdx : kNoParameter;
}

const IParam* IControl::GetParam(int valIdx) const
{
    const int paramIdx = GetParamIdx(valIdx);
    IEditorDelegate* dlg = GetDelegate();
    if (paramIdx == kNoParameter || dlg == nullptr)
        return nullptr;
    return dlg->GetParam(paramIdx);
}

void IControl::Hide(bool hide)
{
    if (hidden != hide)
    {
        hidden = hide;
        SetDirty(false);
    }
}

IEditorDelegate* IControl::GetDelegate() const
{
    return ui ? ui->GetDelegate() : nullptr;
}

} // namespace igraphics
} // namespace iplug
