#pragma once

#include "framework/AUTypes.h"
#include "framework/IPlugAPIBase.h"
#include "framework/IPlugProcessor.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <vector>

namespace iplug
{

/**
 * The Audio Unit (version 2) wrapper: a plug-in class derives from it and the factory record's selectors reach it.
 * Each host-facing operation below is what one selector does; the selector functions catch every exception and
 * turn it into kAUErrFailure, so nothing thrown crosses into the host. The host calls everything on its main thread
 * except Render (its audio thread), the reset and bypass requests (any thread), which Render takes at its start, and
 * background work (a background thread of its own). A bypass switch resets the plug-in; while the host's bypass is
 * on, Render passes the input through unchanged.
 */
class IPlugAU : public IPlugAPIBase, public IPlugProcessor
{
public:
    IPlugAU(const InstanceInfo& info, const Config& config);
    ~IPlugAU() override;

    /** The legacy Component Manager entry: answers kComponentCanDoSelect for the selectors Lookup knows and
     *  kComponentVersionSelect (the packed version) for a constructed record; anything else is a bad selector. */
    static OSStatus IPlugAUEntry(ComponentParameters* params, void* instance) noexcept;

    const InstanceInfo& GetInstanceInfo() const { return instanceInfo; }

    // Host-facing operations.
    /** Rendering stopped: sets the rate, the largest block and the channel route, then OnReset. */
    OSStatus HostInitialize(double sampleRate, int maxFrames, int nInputs, int nOutputs);
    OSStatus HostUninitialize();
    void HostRequestReset() { resetRequested.store(true); }                      // any thread
    void HostRequestBypass(bool bypass) { bypassRequest.store(bypass ? 1 : 0); } // any thread
    OSStatus HostRender(double** inputs, double** outputs, int nFrames);         // audio thread
    OSStatus HostGetParameterInfo(int paramIdx, AUParameterInfo& info) const;
    OSStatus HostGetParameter(int paramIdx, double& value) const;
    /** Sets a plain value (clamped to the range), tells the plug-in (kHost) and shows it in the editor. */
    OSStatus HostSetParameter(int paramIdx, double value);
    /** The whole state, or an error and no bytes when any part of saving failed. */
    OSStatus HostGetState(std::vector<unsigned char>& bytes) const;
    /** Restores a state, then shows every parameter in the editor and tells the host each value. */
    OSStatus HostSetState(const unsigned char* data, int size);
    /** One tick of the idle timer; skipped while closing, inside a host dialog, inside another tick or inside a
     *  call to the host (which a control's event or a state restore makes), so idle never runs within an event. */
    OSStatus HostIdle();
    OSStatus HostOpenEditor(void* parent);
    OSStatus HostCloseEditor();
    void HostSetCallbacks(const AUHostCallbacks& callbacks);
    /** A host's background thread: runs OnBackgroundWork once; kAUErrBusy after the work was ended. */
    OSStatus HostRunBackgroundWork();
    void HostEndBackgroundWork() { backgroundEnded.store(true); } // any thread
    /** Closing has begun: background work is ended, the editor closes, the timer stops and no later idle call runs. */
    void BeginClosing();

    /**
     * A host's background thread, never the audio or main thread: the plug-in's slow work, such as a network step.
     * It may block for seconds, and it runs while the main thread goes on with idle ticks and the editor, so it
     * touches only what is safe from any thread. stopRequested turns true when the host ends background work or
     * closes the instance; the work should then return soon. Does nothing unless overridden.
     */
    virtual void OnBackgroundWork(const std::atomic<bool>& /*stopRequested*/) {}

    /** Main thread: the object of the host interface `interfaceId` names, alive as long as the plug-in, or null
     *  when the plug-in has none of that name. None unless overridden. */
    virtual void* GetHostInterface(std::uint32_t /*interfaceId*/) { return nullptr; }

    // Passed on to the host's callbacks; main thread, from the editor or a state restore.
    void BeginInformHostOfParamChange(int paramIdx) override;
    void InformHostOfParamChange(int paramIdx, double normalized) override;
    void EndInformHostOfParamChange(int paramIdx) override;

    // The record's operations, shared by every plug-in class.
    static OSStatus AUOpen(void* self, void* componentInstance) noexcept;
    static OSStatus AUClose(void* self) noexcept;
    static AudioComponentMethod AULookup(std::int16_t selector) noexcept;

private:
    void takeHostRequests(); // audio thread, at the start of a render
    /** While the host's bypass is on: each output channel gets its input channel unchanged, or zeros where there
     *  is none; ProcessBlock does not run. Audio thread. */
    static void passThrough(double** inputs, double** outputs, int nIn, int nOut, int nFrames) noexcept;

    InstanceInfo instanceInfo;
    AUHostCallbacks hostCallbacks;
    std::atomic<bool> engaged{false}; // a render, initialise or uninitialise is running
    std::atomic<bool> initialized{false};
    std::atomic<bool> resetRequested{false};
    std::atomic<int> bypassRequest{-1}; // -1 none, else the requested bypass state
    std::atomic<bool> backgroundEnded{false};
    bool closing = false;
    int hostCallDepth = 0; // calls into the host's parameter callbacks under way
    int maxFrames = 0;
    int routeInputs = 0;
    int routeOutputs = 0;
    std::vector<double> silence;         // maxFrames zeros for a missing input channel
    std::vector<double> scratch;         // maxFrames per output channel for a missing output channel
    std::vector<double*> inputPointers;  // one per input channel of the route
    std::vector<double*> outputPointers; // one per output channel of the route
};

/** The head of the record the factory returns, shared by every plug-in class. Plain data: freed with free(). */
struct AUInstanceRecord
{
    AudioComponentPlugInInterface plugInInterface;
    IPlugAU* (*construct)(void* memory, const InstanceInfo& info);
    void (*destruct)(IPlugAU* plug);
    void* pad[2];
    IPlugAU* plug; // null until Open constructed the object
    InstanceInfo info;
    void* storage;    // sized and aligned for the plug-in class
    void* allocation; // what Close frees
    // Guarded by one process-wide mutex, so that Close can wait for background work before it frees the record.
    int backgroundCalls; // background-work calls inside the plug-in
    bool closing;        // Close has begun: no background work starts
};

/** Builds the plug-in class in place. */
template <class Plug> Plug* MakePlug(void* memory, const InstanceInfo& info)
{
    return new (memory) Plug(info);
}

/**
 * The Audio Component factory for a plug-in class: one record with the operations Open, Close and Lookup, a null
 * reserved slot, Construct and Destruct, two null words, and room for the object behind it. Open constructs the
 * object (an exception becomes an error status and leaves nothing constructed); Close destroys only an object that
 * was constructed and always frees the record.
 */
template <class Plug, bool DoesMIDI> struct IPlugAUFactory
{
    static_assert(!DoesMIDI, "this wrapper has no MIDI selectors");

    struct Record : AUInstanceRecord
    {
        alignas(Plug) unsigned char object[sizeof(Plug)];
    };

    static IPlugAU* Construct(void* memory, const InstanceInfo& info) { return MakePlug<Plug>(memory, info); }
    static void Destruct(IPlugAU* plug) { static_cast<Plug*>(plug)->~Plug(); }

    /** A new record, or null when it cannot be allocated. The description is not read. */
    static AudioComponentPlugInInterface* Factory(const AudioComponentDescription* /*description*/,
                                                  const InstanceInfo& info) noexcept
    {
        constexpr std::size_t alignment = alignof(Record) < sizeof(void*) ? sizeof(void*) : alignof(Record);
        constexpr std::size_t size = (sizeof(Record) + alignment - 1) / alignment * alignment;
        void* memory = std::aligned_alloc(alignment, size);
        if (memory == nullptr)
            return nullptr;
        auto* record = new (memory) Record;
        record->plugInInterface = {&IPlugAU::AUOpen, &IPlugAU::AUClose, &IPlugAU::AULookup, nullptr};
        record->construct = &Construct;
        record->destruct = &Destruct;
        record->pad[0] = record->pad[1] = nullptr;
        record->plug = nullptr;
        record->info = info;
        record->storage = record->object;
        record->allocation = memory;
        record->backgroundCalls = 0;
        record->closing = false;
        return &record->plugInInterface;
    }
};

} // namespace iplug
