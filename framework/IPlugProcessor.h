#pragma once

#include "framework/Config.h"
#include "framework/IPlugConstants.h"

#include <atomic>
#include <utility>
#include <vector>

namespace iplug
{

/**
 * The audio side of a plug-in: the block callback, the reset, and what the host set up for them (sample rate,
 * block size, connected channels, bypass). The wrapper changes the sample rate and block size only while no block
 * runs; the connected channel counts of a block are those of the render call that runs it.
 */
class IPlugProcessor
{
public:
    explicit IPlugProcessor(const Config& config);
    virtual ~IPlugProcessor();
    IPlugProcessor(const IPlugProcessor&) = delete;
    IPlugProcessor& operator=(const IPlugProcessor&) = delete;

    /** Audio thread. One non-null pointer of nFrames samples per connected channel. The default copies the
     *  inputs to the outputs and zeroes outputs without an input. */
    virtual void ProcessBlock(double** inputs, double** outputs, int nFrames);
    /** The host initialised or reset the unit, or switched its bypass. Never runs during ProcessBlock. */
    virtual void OnReset();

    double GetSampleRate() const { return sampleRate.load(std::memory_order_relaxed); }
    int GetBlockSize() const { return blockSize.load(std::memory_order_relaxed); }
    int NChannelsConnected(ERoute route) const { return connected[route].load(std::memory_order_relaxed); }
    /** True when the configuration's channel routes include nInputs-nOutputs. */
    bool IsChannelConfigLegal(int nInputs, int nOutputs) const;
    /** The host's bypass property; while it is on the wrapper passes audio through and ProcessBlock does not run
     *  (the plug-in's own bypass parameter is separate). */
    bool GetBypassed() const { return bypassed.load(std::memory_order_relaxed); }
    int GetLatency() const { return latency; }

    // Set by the wrapper, and by tests that drive the processor directly; never while a block runs.
    void SetSampleRate(double rate) { sampleRate.store(rate, std::memory_order_relaxed); }
    void SetBlockSize(int frames) { blockSize.store(frames, std::memory_order_relaxed); }
    void SetChannelConnections(ERoute route, int count) { connected[route].store(count, std::memory_order_relaxed); }
    void SetBypassed(bool state) { bypassed.store(state, std::memory_order_relaxed); }

private:
    std::vector<std::pair<int, int>> channelRoutes; // legal (inputs, outputs) pairs
    std::atomic<double> sampleRate{44100.0};
    std::atomic<int> blockSize{512};
    std::atomic<int> connected[2] = {0, 0};
    std::atomic<bool> bypassed{false};
    int latency = 0;
};

} // namespace iplug
