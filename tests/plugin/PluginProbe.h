#pragma once

#include "plugin/Aubrevane.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

/** The tests' window onto the plug-in's cross-thread records and audio-thread state. */
struct AubrevaneProbe
{
    static aubrevane::dsp::ToneCorrector& engine(Aubrevane& p) { return p.engine; }
    static const aubrevane::plugin::ToneView& view(Aubrevane& p) { return p.view; }
    static aubrevane::plugin::TargetSnapshot& published(Aubrevane& p) { return p.publishedTarget; }
    static aubrevane::plugin::TargetSnapshot& fileBalance(Aubrevane& p) { return p.fileBalance; }
    static aubrevane::plugin::TargetSnapshot& loadedBalance(Aubrevane& p) { return p.loadedBalance; }
    static aubrevane::plugin::TargetSnapshot& restoredTarget(Aubrevane& p) { return p.restoredTarget; }
    static std::atomic<bool>& restoredTargetPending(Aubrevane& p) { return p.restoredTargetPending; }
    static std::atomic<bool>& fileBalancePending(Aubrevane& p) { return p.fileBalancePending; }
    static std::atomic<bool>& loadedTargetPending(Aubrevane& p) { return p.loadedTargetPending; }
    static std::atomic<bool>& learnStartRequested(Aubrevane& p) { return p.learnStartRequested; }
    static std::atomic<bool>& clearTargetRequested(Aubrevane& p) { return p.clearTargetRequested; }
    static std::atomic<bool>& referenceCleared(Aubrevane& p) { return p.referenceCleared; }
    static std::atomic<bool>& editorRebuildRequested(Aubrevane& p) { return p.editorRebuildRequested; }
    static const aubrevane::dsp::ToneSettings& lastApplied(Aubrevane& p) { return p.lastAppliedSettings; }
    static const std::string& statusText(Aubrevane& p) { return p.statusText; }
    static float& cachedPlatformScale(Aubrevane& p) { return p.cachedPlatformScale; }
    static int savedEditorWidth(Aubrevane& p) { return p.savedEditorWidth; }
    static int savedEditorHeight(Aubrevane& p) { return p.savedEditorHeight; }
    static void setReferenceName(Aubrevane& p, const std::string& name)
    {
        std::lock_guard lock(p.labelMutex);
        p.referenceLabel = name;
    }
    static void setPresetName(Aubrevane& p, const std::string& name)
    {
        std::lock_guard lock(p.labelMutex);
        p.presetLabel = name;
    }
    static iplug::igraphics::IGraphics* makeGraphics(Aubrevane& p) { return p.makeGraphics(); }
    /** Every queued reading of a meter, oldest first. */
    static std::vector<iplug::PeakAvgData<1>> meterReadings(Aubrevane& p, bool output)
    {
        std::vector<iplug::PeakAvgData<1>> readings;
        iplug::PeakAvgData<1> data;
        while ((output ? p.outputMeter : p.inputMeter).PopData(data))
            readings.push_back(data);
        return readings;
    }
};

namespace aubrevane::test
{

/** Prepares a plug-in as a host would: rate, block size and channel route set, then reset. */
inline void prepareAsHost(Aubrevane& plugin, double sampleRate = 48000.0, int blockSize = 256, int inputs = 2,
                          int outputs = 2)
{
    plugin.SetSampleRate(sampleRate);
    plugin.SetBlockSize(blockSize);
    plugin.SetChannelConnections(iplug::kInput, inputs);
    plugin.SetChannelConnections(iplug::kOutput, outputs);
    plugin.OnReset();
}

/** A new plug-in, prepared as a host would. */
inline std::unique_ptr<Aubrevane> preparedPlugin(double sampleRate = 48000.0, int blockSize = 256, int inputs = 2,
                                                 int outputs = 2)
{
    auto plugin = std::make_unique<Aubrevane>(iplug::InstanceInfo{"Aubrevane_View"});
    prepareAsHost(*plugin, sampleRate, blockSize, inputs, outputs);
    return plugin;
}

/** The state chunk's bytes as SerializeState writes them. */
inline std::vector<std::uint8_t> stateBytes(const Aubrevane& plugin)
{
    iplug::IByteChunk chunk;
    EXPECT_TRUE(plugin.SerializeState(chunk));
    return {chunk.GetData(), chunk.GetData() + chunk.Size()};
}

/** Hands `bytes` to UnserializeState from the start, as a host restoring its project does; what it answers. */
inline int restoreState(Aubrevane& plugin, const std::vector<std::uint8_t>& bytes)
{
    iplug::IByteChunk chunk;
    if (!bytes.empty())
        chunk.PutBytes(bytes.data(), static_cast<int>(bytes.size()));
    return plugin.UnserializeState(chunk, 0);
}

} // namespace aubrevane::test
