#include "framework/IPlugAPIBase.h"

namespace iplug
{

IPlugAPIBase::IPlugAPIBase(const Config& config) : IPluginBase(config), timer([this](Timer&) { OnIdle(); }) {}

IPlugAPIBase::~IPlugAPIBase()
{
    timer.Stop();
}

void IPlugAPIBase::OnIdle() {}

void IPlugAPIBase::BeginInformHostOfParamChange(int) {}

void IPlugAPIBase::InformHostOfParamChange(int, double) {}

void IPlugAPIBase::EndInformHostOfParamChange(int) {}

void IPlugAPIBase::BeginInformHostOfParamChangeFromUI(int paramIdx)
{
    if (GetParam(paramIdx) != nullptr)
        BeginInformHostOfParamChange(paramIdx);
}

void IPlugAPIBase::SendParameterValueFromUI(int paramIdx, double normalized)
{
    IParam* param = GetParam(paramIdx);
    if (param == nullptr)
        return;
    param->SetNormalized(normalized);
    OnParamChange(paramIdx, kUI);
    IGEditorDelegate::SendParameterValueFromUI(paramIdx,
                                               param->GetNormalized()); // the editor's side, as without a host
    InformHostOfParamChange(paramIdx, param->GetNormalized());
}

void IPlugAPIBase::EndInformHostOfParamChangeFromUI(int paramIdx)
{
    if (GetParam(paramIdx) != nullptr)
        EndInformHostOfParamChange(paramIdx);
}

} // namespace iplug
