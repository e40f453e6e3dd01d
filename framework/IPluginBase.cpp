#include "framework/IPluginBase.h"

#include <algorithm>
#include <vector>

namespace iplug
{

IPluginBase::IPluginBase(const Config& config)
    : IGEditorDelegate(config.nParams), config(config), presets(static_cast<std::size_t>(std::max(0, config.nPresets)))
{
    SetEditorSize(config.plugWidth, config.plugHeight);
}

IPluginBase::~IPluginBase() = default;

std::string IPluginBase::GetPluginVersionString() const
{
    const int v = config.vendorVersion;
    return std::to_string((v >> 16) & 0xFFFF) + "." + std::to_string((v >> 8) & 0xFF) + "." + std::to_string(v & 0xFF);
}

bool IPluginBase::SerializeState(IByteChunk& chunk) const
{
    return SerializeParams(chunk);
}

int IPluginBase::UnserializeState(const IByteChunk& chunk, int startPos)
{
    return UnserializeParams(chunk, startPos);
}

bool IPluginBase::SerializeParams(IByteChunk& chunk) const
{
    for (int i = 0; i < NParams(); ++i)
    {
        const double value = GetParam(i)->Value();
        if (chunk.Put(&value) <= 0)
            return false;
    }
    return true;
}

int IPluginBase::UnserializeParams(const IByteChunk& chunk, int startPos)
{
    std::vector<double> values(static_cast<std::size_t>(NParams()));
    int pos = startPos;
    for (double& value : values)
    {
        pos = chunk.Get(&value, pos);
        if (pos < 0)
            return -1;
    }
    for (int i = 0; i < NParams(); ++i)
        GetParam(i)->Set(values[static_cast<std::size_t>(i)]);
    OnParamReset(kPresetRecall);
    return pos;
}

void IPluginBase::OnParamChange(int paramIdx, EParamSource /*source*/)
{
    OnParamChange(paramIdx);
}

void IPluginBase::OnParamChange(int /*paramIdx*/) {}

void IPluginBase::OnParamReset(EParamSource source)
{
    for (int i = 0; i < NParams(); ++i)
        OnParamChange(i, source);
}

void IPluginBase::PruneUninitializedPresets()
{
    std::erase_if(presets, [](const Preset& preset) { return !preset.initialized; });
}

} // namespace iplug
