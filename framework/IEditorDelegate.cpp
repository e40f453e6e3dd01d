#include "framework/IEditorDelegate.h"

#include <algorithm>

namespace iplug
{

IEditorDelegate::IEditorDelegate(int nParams)
{
    params.reserve(static_cast<std::size_t>(std::max(0, nParams)));
    for (int i = 0; i < nParams; ++i)
        params.push_back(std::make_unique<IParam>());
}

IEditorDelegate::~IEditorDelegate() = default;

IParam* IEditorDelegate::GetParam(int paramIdx)
{
    return paramIdx >= 0 && paramIdx < NParams() ? params[static_cast<std::size_t>(paramIdx)].get() : nullptr;
}

const IParam* IEditorDelegate::GetParam(int paramIdx) const
{
    return paramIdx >= 0 && paramIdx < NParams() ? params[static_cast<std::size_t>(paramIdx)].get() : nullptr;
}

void IEditorDelegate::SetEditorSize(int width, int height)
{
    editorWidth = width;
    editorHeight = height;
}

bool IEditorDelegate::ConstrainEditorResize(int& /*width*/, int& /*height*/) const
{
    return true;
}

void IEditorDelegate::OnParentWindowResize(int width, int height)
{
    SetEditorSize(width, height);
}

void IEditorDelegate::BeginInformHostOfParamChangeFromUI(int /*paramIdx*/) {}

void IEditorDelegate::SendParameterValueFromUI(int paramIdx, double normalized)
{
    if (IParam* param = GetParam(paramIdx))
    {
        param->SetNormalized(normalized);
        OnParamChangeUI(paramIdx, kUI);
    }
}

void IEditorDelegate::EndInformHostOfParamChangeFromUI(int /*paramIdx*/) {}

void IEditorDelegate::SendControlMsgFromDelegate(int, int, int, const void*) {}

void IEditorDelegate::SendParameterValueFromDelegate(int paramIdx, double, bool)
{
    OnParamChangeUI(paramIdx, kDelegate);
}

void IEditorDelegate::OnParamChangeUI(int, EParamSource) {}

void* IEditorDelegate::OpenWindow(void*)
{
    return nullptr;
}

void IEditorDelegate::CloseWindow() {}

} // namespace iplug
