#include "framework/IPlugProcessor.h"

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>

namespace iplug
{

IPlugProcessor::IPlugProcessor(const Config& config) : latency(config.latency)
{
    std::istringstream routes(config.channelIOStr ? config.channelIOStr : "");
    std::string route;
    while (routes >> route)
    {
        const auto dash = route.find('-');
        if (dash == std::string::npos)
            continue;
        try
        {
            channelRoutes.emplace_back(std::stoi(route.substr(0, dash)), std::stoi(route.substr(dash + 1)));
        }
        catch (const std::exception&)
        {
            // a malformed route in a configuration is left out; the remaining routes still work
        }
    }
}

IPlugProcessor::~IPlugProcessor() = default;

void IPlugProcessor::ProcessBlock(double** inputs, double** outputs, int nFrames)
{
    const int nIn = inputs ? NChannelsConnected(kInput) : 0;
    const int nOut = outputs ? NChannelsConnected(kOutput) : 0;
    for (int c = 0; c < nOut && nFrames > 0; ++c)
    {
        if (c < nIn)
        {
            if (outputs[c] != inputs[c])
                std::memmove(outputs[c], inputs[c], sizeof(double) * static_cast<std::size_t>(nFrames));
        }
        else
            std::fill(outputs[c], outputs[c] + nFrames, 0.0);
    }
}

void IPlugProcessor::OnReset() {}

bool IPlugProcessor::IsChannelConfigLegal(int nInputs, int nOutputs) const
{
    return std::find(channelRoutes.begin(), channelRoutes.end(), std::pair{nInputs, nOutputs}) != channelRoutes.end();
}

} // namespace iplug
