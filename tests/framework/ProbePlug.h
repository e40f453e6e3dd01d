#pragma once

#include "framework/IPlugAU.h"

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <thread>
#include <vector>

namespace aubrevane::test
{

/** A small plug-in that records what the wrapper hands it, for driving the factory record as a host would. */
class ProbePlug : public iplug::IPlugAU
{
public:
    static constexpr iplug::Config kConfig{
        .nParams = 3,
        .nPresets = 1,
        .channelIOStr = "1-1 2-2",
        .pluginName = "Probe",
        .productName = "Probe",
        .mfrName = "Wendlebrak",
        .vendorVersion = 0x0000090E,
        .uniqueID = iplug::FourCC("Prob"),
        .mfrID = iplug::FourCC("Wdlk"),
        .plugDoesChunks = true,
        .plugHasUI = true,
        .plugWidth = 720,
        .plugHeight = 532,
    };

    static inline int destroyed = 0;
    static inline bool throwInConstructor = false;
    static inline bool destroyedDuringBackgroundWork = false;

    explicit ProbePlug(const iplug::InstanceInfo& info) : IPlugAU(info, kConfig)
    {
        GetParam(0)->InitDouble("Gain", 0.0, -24.0, 24.0, 0.1, "dB");
        GetParam(1)->InitFrequency("Freq", 1000.0, 20.0, 20000.0, 0.1);
        GetParam(2)->InitBool("Locked", false, "", iplug::IParam::kFlagCannotAutomate);
        if (throwInConstructor)
            throw std::runtime_error("constructor failed");
    }
    ~ProbePlug() override
    {
        ++destroyed;
        destroyedDuringBackgroundWork = destroyedDuringBackgroundWork || backgroundRunning.load();
    }

    void ProcessBlock(double** inputs, double** outputs, int nFrames) override
    {
        ++blocks;
        lastInputs = inputs;
        lastOutputs = outputs;
        lastIn = NChannelsConnected(iplug::kInput);
        lastOut = NChannelsConnected(iplug::kOutput);
        largestBlock = std::max(largestBlock, nFrames);
        for (int c = 0; c < lastIn && inputs != nullptr; ++c)
            allChannelsPresent = allChannelsPresent && inputs[c] != nullptr;
        for (int c = 0; c < lastOut && outputs != nullptr; ++c)
            allChannelsPresent = allChannelsPresent && outputs[c] != nullptr;
        IPlugAU::ProcessBlock(inputs, outputs, nFrames);
    }

    void OnReset() override
    {
        ++resets;
        resetThread = std::this_thread::get_id();
    }

    void OnIdle() override
    {
        ++idles;
        if (idleHook)
            idleHook();
    }

    bool SerializeState(iplug::IByteChunk& chunk) const override
    {
        const bool ok = SerializeParams(chunk);
        if (failAppend)
        {
            // a writer that forgets to check: the append fails but the writer still says yes
            chunk.SetMaxSize(chunk.Size());
            const double extra = 1.0;
            chunk.Put(&extra);
        }
        return ok;
    }

    void OnParamChange(int paramIdx, iplug::EParamSource source) override { changes.push_back({paramIdx, source}); }

    void OnBackgroundWork(const std::atomic<bool>& stopRequested) override
    {
        backgroundRunning.store(true);
        ++backgroundRuns;
        while (backgroundBlocksUntilStopped && !stopRequested.load())
            std::this_thread::yield(); // a transfer that ends only when asked to
        backgroundRunning.store(false);
    }

    std::atomic<int> blocks{0};
    std::atomic<int> resets{0};
    std::thread::id resetThread;
    int idles = 0;
    std::function<void()> idleHook;
    double** lastInputs = nullptr;
    double** lastOutputs = nullptr;
    int lastIn = -1;
    int lastOut = -1;
    int largestBlock = 0;
    bool allChannelsPresent = true;
    bool failAppend = false;
    std::vector<std::pair<int, iplug::EParamSource>> changes;
    std::atomic<int> backgroundRuns{0};
    std::atomic<bool> backgroundRunning{false};
    bool backgroundBlocksUntilStopped = false;
};

using ProbeFactory = iplug::IPlugAUFactory<ProbePlug, false>;

/** A record opened through the factory, closed at the end of the scope, with typed access to its selectors. */
class OpenedProbe
{
public:
    OpenedProbe() : record(ProbeFactory::Factory(nullptr, iplug::InstanceInfo{"Probe_View"}))
    {
        openStatus = record->Open(record, nullptr);
    }
    ~OpenedProbe()
    {
        if (record != nullptr)
            record->Close(record);
    }
    OpenedProbe(const OpenedProbe&) = delete;
    OpenedProbe& operator=(const OpenedProbe&) = delete;

    template <typename Proc> Proc proc(iplug::EAUSelector selector) const
    {
        return reinterpret_cast<Proc>(record->Lookup(selector));
    }

    ProbePlug& plug() const
    {
        void* object = nullptr;
        proc<iplug::AUGetPlugInObjectProc>(iplug::kAUGetPlugInObjectSelect)(record, &object);
        return *static_cast<ProbePlug*>(static_cast<iplug::IPlugAU*>(object));
    }

    iplug::OSStatus initialize(double rate, int frames, int nIn, int nOut) const
    {
        return proc<iplug::AUInitializeProc>(iplug::kAUInitializeSelect)(record, rate, frames, nIn, nOut);
    }
    iplug::OSStatus render(double** inputs, double** outputs, int frames) const
    {
        return proc<iplug::AURenderProc>(iplug::kAURenderSelect)(record, inputs, outputs, frames);
    }

    iplug::AudioComponentPlugInInterface* record;
    iplug::OSStatus openStatus;
};

} // namespace aubrevane::test
