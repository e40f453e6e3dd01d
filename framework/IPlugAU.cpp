#include "framework/IPlugAU.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <utility>

namespace iplug
{
namespace
{

constexpr double kMaxSampleRate = 1536000.0;
constexpr int kMaxBlockFrames = 1 << 20;

/** Clears a flag when the scope ends, however it ends. */
struct Release
{
    std::atomic<bool>& flag;
    ~Release() { flag.store(false, std::memory_order_release); }
};

AUInstanceRecord* recordOf(void* self)
{
    // the interface is the record's first member, so the two addresses are the same
    return static_cast<AUInstanceRecord*>(self);
}

/** Counts a call into the host as under way for as long as the scope lives. */
struct HostCallScope
{
    explicit HostCallScope(int& depth) : depth(depth) { ++depth; }
    ~HostCallScope() { --depth; }
    int& depth;
};

/** Runs one host call on a constructed plug-in; nothing thrown gets out. */
template <typename Call> OSStatus guarded(void* self, Call&& call) noexcept
{
    if (self == nullptr || recordOf(self)->plug == nullptr)
        return kAUErrNotConstructed;
    try
    {
        return call(*recordOf(self)->plug);
    }
    catch (const std::bad_alloc&)
    {
        return kAUErrOutOfMemory;
    }
    catch (...)
    {
        return kAUErrFailure;
    }
}

OSStatus initializeProc(void* self, double sampleRate, int maxFrames, int nInputs, int nOutputs)
{
    return guarded(self,
                   [&](IPlugAU& p) -> OSStatus { return p.HostInitialize(sampleRate, maxFrames, nInputs, nOutputs); });
}

OSStatus uninitializeProc(void* self)
{
    return guarded(self, [](IPlugAU& p) -> OSStatus { return p.HostUninitialize(); });
}

OSStatus resetProc(void* self)
{
    return guarded(self,
                   [](IPlugAU& p) -> OSStatus
                   {
                       p.HostRequestReset();
                       return kAUNoErr;
                   });
}

OSStatus renderProc(void* self, double** inputs, double** outputs, int nFrames)
{
    return guarded(self, [&](IPlugAU& p) -> OSStatus { return p.HostRender(inputs, outputs, nFrames); });
}

OSStatus getParameterCountProc(void* self, int* count)
{
    return guarded(self,
                   [&](IPlugAU& p) -> OSStatus
                   {
                       if (count == nullptr)
                           return kAUErrInvalidParameter;
                       *count = p.NParams();
                       return kAUNoErr;
                   });
}

OSStatus getParameterInfoProc(void* self, int paramIdx, AUParameterInfo* info)
{
    return guarded(self,
                   [&](IPlugAU& p) -> OSStatus
                   { return info == nullptr ? kAUErrInvalidParameter : p.HostGetParameterInfo(paramIdx, *info); });
}

OSStatus getParameterProc(void* self, int paramIdx, double* value)
{
    return guarded(self,
                   [&](IPlugAU& p) -> OSStatus
                   { return value == nullptr ? kAUErrInvalidParameter : p.HostGetParameter(paramIdx, *value); });
}

OSStatus setParameterProc(void* self, int paramIdx, double value)
{
    return guarded(self, [&](IPlugAU& p) -> OSStatus { return p.HostSetParameter(paramIdx, value); });
}

OSStatus setBypassProc(void* self, int bypassed)
{
    return guarded(self,
                   [&](IPlugAU& p) -> OSStatus
                   {
                       p.HostRequestBypass(bypassed != 0);
                       return kAUNoErr;
                   });
}

OSStatus getStateProc(void* self, void* context, void (*receive)(void*, const unsigned char*, int))
{
    return guarded(self,
                   [&](IPlugAU& p) -> OSStatus
                   {
                       if (receive == nullptr)
                           return kAUErrInvalidParameter;
                       std::vector<unsigned char> bytes;
                       const OSStatus status = p.HostGetState(bytes);
                       if (status == kAUNoErr)
                           receive(context, bytes.data(), static_cast<int>(bytes.size()));
                       return status;
                   });
}

OSStatus setStateProc(void* self, const unsigned char* data, int size)
{
    return guarded(self, [&](IPlugAU& p) -> OSStatus { return p.HostSetState(data, size); });
}

OSStatus idleProc(void* self)
{
    return guarded(self, [](IPlugAU& p) -> OSStatus { return p.HostIdle(); });
}

OSStatus openEditorProc(void* self, void* parent)
{
    return guarded(self, [&](IPlugAU& p) -> OSStatus { return p.HostOpenEditor(parent); });
}

OSStatus closeEditorProc(void* self)
{
    return guarded(self, [](IPlugAU& p) -> OSStatus { return p.HostCloseEditor(); });
}

OSStatus setHostCallbacksProc(void* self, const AUHostCallbacks* callbacks)
{
    return guarded(self,
                   [&](IPlugAU& p) -> OSStatus
                   {
                       p.HostSetCallbacks(callbacks != nullptr ? *callbacks : AUHostCallbacks{});
                       return kAUNoErr;
                   });
}

OSStatus getPlugInObjectProc(void* self, void** object)
{
    return guarded(self,
                   [&](IPlugAU& p) -> OSStatus
                   {
                       if (object == nullptr)
                           return kAUErrInvalidParameter;
                       *object = &p;
                       return kAUNoErr;
                   });
}

OSStatus getInterfaceProc(void* self, std::uint32_t interfaceId, void** object)
{
    return guarded(self,
                   [&](IPlugAU& p) -> OSStatus
                   {
                       if (object == nullptr)
                           return kAUErrInvalidParameter;
                       *object = p.GetHostInterface(interfaceId);
                       return *object != nullptr ? kAUNoErr : kAUErrInvalidParameter;
                   });
}

OSStatus getLatencyProc(void* self, int* samples)
{
    return guarded(self,
                   [&](IPlugAU& p) -> OSStatus
                   {
                       if (samples == nullptr)
                           return kAUErrInvalidParameter;
                       *samples = p.GetLatency();
                       return kAUNoErr;
                   });
}

/** Guards every record's backgroundCalls and closing; process-wide, so a background call never needs the record
 *  after it has left the plug-in. */
std::mutex& backgroundMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::condition_variable& backgroundLeft()
{
    static std::condition_variable left;
    return left;
}

OSStatus runBackgroundWorkProc(void* self)
{
    if (self == nullptr)
        return kAUErrNotConstructed;
    AUInstanceRecord* record = recordOf(self);
    {
        const std::lock_guard lock(backgroundMutex());
        if (record->closing)
            return kAUErrBusy;
        ++record->backgroundCalls;
    }
    const OSStatus status = guarded(self, [](IPlugAU& p) -> OSStatus { return p.HostRunBackgroundWork(); });
    {
        const std::lock_guard lock(backgroundMutex());
        --record->backgroundCalls; // the last touch of the record: Close may free it from here on
    }
    backgroundLeft().notify_all();
    return status;
}

OSStatus endBackgroundWorkProc(void* self)
{
    return guarded(self,
                   [](IPlugAU& p) -> OSStatus
                   {
                       p.HostEndBackgroundWork();
                       return kAUNoErr;
                   });
}

template <typename Proc> AudioComponentMethod method(Proc proc)
{
    return reinterpret_cast<AudioComponentMethod>(proc);
}

void copyText(char* target, std::size_t capacity, const char* text)
{
    std::snprintf(target, capacity, "%s", text != nullptr ? text : "");
}

} // namespace

IPlugAU::IPlugAU(const InstanceInfo& info, const Config& config)
    : IPlugAPIBase(config), IPlugProcessor(config), instanceInfo(info), hostCallbacks{}
{
}

IPlugAU::~IPlugAU()
{
    BeginClosing();
}

OSStatus IPlugAU::HostInitialize(double sampleRate, int frames, int nInputs, int nOutputs)
{
    if (!std::isfinite(sampleRate) || sampleRate <= 0.0 || sampleRate > kMaxSampleRate || frames < 1 ||
        frames > kMaxBlockFrames || !IsChannelConfigLegal(nInputs, nOutputs))
        return kAUErrFormatNotSupported;
    if (engaged.exchange(true, std::memory_order_acquire))
        return kAUErrBusy;
    Release release{engaged};

    // allocate everything first, so a failure leaves the previous set-up whole
    std::vector<double> newSilence(static_cast<std::size_t>(frames), 0.0);
    std::vector<double> newScratch(static_cast<std::size_t>(frames) * static_cast<std::size_t>(nOutputs), 0.0);
    std::vector<double*> newInputs(static_cast<std::size_t>(nInputs), nullptr);
    std::vector<double*> newOutputs(static_cast<std::size_t>(nOutputs), nullptr);
    silence.swap(newSilence);
    scratch.swap(newScratch);
    inputPointers.swap(newInputs);
    outputPointers.swap(newOutputs);

    maxFrames = frames;
    routeInputs = nInputs;
    routeOutputs = nOutputs;
    SetSampleRate(sampleRate);
    SetBlockSize(frames);
    SetChannelConnections(kInput, nInputs);
    SetChannelConnections(kOutput, nOutputs);
    resetRequested.store(false);
    const int bypass = bypassRequest.exchange(-1);
    if (bypass >= 0)
        SetBypassed(bypass != 0);
    OnReset();
    initialized.store(true, std::memory_order_release);
    return kAUNoErr;
}

OSStatus IPlugAU::HostUninitialize()
{
    if (engaged.exchange(true, std::memory_order_acquire))
        return kAUErrBusy;
    Release release{engaged};
    initialized.store(false, std::memory_order_release);
    return kAUNoErr;
}

void IPlugAU::takeHostRequests()
{
    bool reset = resetRequested.exchange(false);
    const int bypass = bypassRequest.exchange(-1);
    if (bypass >= 0 && (bypass != 0) != GetBypassed())
    {
        SetBypassed(bypass != 0);
        reset = true;
    }
    if (reset)
        OnReset();
}

void IPlugAU::passThrough(double** inputs, double** outputs, int nIn, int nOut, int nFrames) noexcept
{
    const auto bytes = static_cast<std::size_t>(nFrames) * sizeof(double);
    for (int c = 0; c < nOut; ++c)
    {
        double* out = outputs[c];
        const double* in = c < nIn ? inputs[c] : nullptr;
        if (out == nullptr || in == out)
            continue;
        if (in == nullptr)
            std::memset(out, 0, bytes);
        else
            std::memmove(out, in, bytes); // the host's buffers may overlap
    }
}

OSStatus IPlugAU::HostRender(double** inputs, double** outputs, int nFrames)
{
    if (nFrames < 0)
        return kAUErrInvalidParameter;
    if (engaged.exchange(true, std::memory_order_acquire))
        return kAUErrBusy;
    Release release{engaged};
    if (!initialized.load(std::memory_order_acquire))
        return kAUErrUninitialized;

    takeHostRequests();
    const int nIn = inputs != nullptr ? routeInputs : 0;
    const int nOut = outputs != nullptr ? routeOutputs : 0;
    SetChannelConnections(kInput, nIn);
    SetChannelConnections(kOutput, nOut);
    if (GetBypassed())
    {
        passThrough(inputs, outputs, nIn, nOut, nFrames);
        return kAUNoErr;
    }

    // blocks longer than the initialised size run in pieces, so the plug-in never sees more than it prepared for
    int done = 0;
    do
    {
        const int frames = std::min(nFrames - done, maxFrames);
        for (int c = 0; c < nIn; ++c)
            inputPointers[static_cast<std::size_t>(c)] = inputs[c] != nullptr ? inputs[c] + done : silence.data();
        for (int c = 0; c < nOut; ++c)
            outputPointers[static_cast<std::size_t>(c)] =
                outputs[c] != nullptr
                    ? outputs[c] + done
                    : scratch.data() + static_cast<std::size_t>(c) * static_cast<std::size_t>(maxFrames);
        ProcessBlock(nIn > 0 ? inputPointers.data() : nullptr, nOut > 0 ? outputPointers.data() : nullptr, frames);
        done += frames;
    } while (done < nFrames);
    return kAUNoErr;
}

OSStatus IPlugAU::HostGetParameterInfo(int paramIdx, AUParameterInfo& info) const
{
    const IParam* param = GetParam(paramIdx);
    if (param == nullptr)
        return kAUErrInvalidParameter;
    info = AUParameterInfo{};
    copyText(info.name, sizeof info.name, param->GetName());
    copyText(info.unit, sizeof info.unit, param->GetLabel());
    info.minValue = param->GetMin();
    info.maxValue = param->GetMax();
    info.defaultValue = param->GetDefault();
    info.step = param->GetStep();
    info.flags = kAUParameterFlagReadable | kAUParameterFlagWritable;
    if (!param->GetCanAutomate())
        info.flags |= kAUParameterFlagNonRealTime;
    if (param->GetStepped())
        info.flags |= kAUParameterFlagStepped;
    if (param->GetShape() == IParam::Shape::Kind::Exp)
        info.flags |= kAUParameterFlagLogarithmic;
    return kAUNoErr;
}

OSStatus IPlugAU::HostGetParameter(int paramIdx, double& value) const
{
    const IParam* param = GetParam(paramIdx);
    if (param == nullptr)
        return kAUErrInvalidParameter;
    value = param->Value();
    return kAUNoErr;
}

OSStatus IPlugAU::HostSetParameter(int paramIdx, double value)
{
    IParam* param = GetParam(paramIdx);
    if (param == nullptr || !std::isfinite(value))
        return kAUErrInvalidParameter;
    param->Set(value);
    OnParamChange(paramIdx, kHost);
    SendParameterValueFromDelegate(paramIdx, param->Value(), false);
    return kAUNoErr;
}

OSStatus IPlugAU::HostGetState(std::vector<unsigned char>& bytes) const
{
    bytes.clear();
    IByteChunk chunk;
    if (!SerializeState(chunk) || chunk.Failed() || chunk.Size() <= 0)
        return kAUErrFailure;
    bytes.assign(chunk.GetData(), chunk.GetData() + chunk.Size());
    return kAUNoErr;
}

OSStatus IPlugAU::HostSetState(const unsigned char* data, int size)
{
    if (size < 0 || (size > 0 && data == nullptr))
        return kAUErrInvalidParameter;
    IByteChunk chunk;
    if (chunk.PutBytes(data, size) != size)
        return kAUErrOutOfMemory;
    const int end = UnserializeState(chunk, 0);
    // whatever the reader applied is now the truth: the editor and the host see every value again
    for (int i = 0; i < NParams(); ++i)
    {
        const double normalized = GetParam(i)->GetNormalized();
        SendParameterValueFromDelegate(i, normalized, true);
        InformHostOfParamChange(i, normalized);
    }
    return end < 0 ? kAUErrInvalidState : kAUNoErr;
}

OSStatus IPlugAU::HostIdle()
{
    if (closing || IsInPlatformDialog() || hostCallDepth > 0)
        return kAUErrBusy;
    return GetTimer().Tick() ? kAUNoErr : kAUErrBusy;
}

OSStatus IPlugAU::HostOpenEditor(void* parent)
{
    if (closing || IsInPlatformDialog())
        return kAUErrBusy;
    return OpenWindow(parent) != nullptr ? kAUNoErr : kAUErrFailure;
}

OSStatus IPlugAU::HostCloseEditor()
{
    if (IsInPlatformDialog())
        return kAUErrBusy;
    CloseWindow();
    return kAUNoErr;
}

void IPlugAU::HostSetCallbacks(const AUHostCallbacks& callbacks)
{
    hostCallbacks = callbacks;
    if (callbacks.messageBox != nullptr)
        SetMessageBoxHook(
            [this](const char* text, const char* title, igraphics::EMsgBoxType type)
            {
                const int answer = hostCallbacks.messageBox(hostCallbacks.context, text, title, type);
                return answer >= igraphics::kOK && answer <= igraphics::kNO
                           ? static_cast<igraphics::EMsgBoxResult>(answer)
                           : igraphics::kCANCEL;
            });
    else
        SetMessageBoxHook(nullptr);
    if (callbacks.fileDialog != nullptr)
        SetFileDialogHook(
            [this](igraphics::EFileAction action, const char* extensions, std::string& path)
            {
                char chosen[4096] = {};
                const int answered =
                    hostCallbacks.fileDialog(hostCallbacks.context, action == igraphics::EFileAction::Save ? 1 : 0,
                                             extensions, chosen, static_cast<int>(sizeof chosen));
                chosen[sizeof chosen - 1] = '\0';
                path = chosen;
                return answered != 0 && !path.empty();
            });
    else
        SetFileDialogHook(nullptr);
}

OSStatus IPlugAU::HostRunBackgroundWork()
{
    if (backgroundEnded.load())
        return kAUErrBusy;
    OnBackgroundWork(backgroundEnded);
    return kAUNoErr;
}

void IPlugAU::BeginClosing()
{
    HostEndBackgroundWork();
    if (closing)
        return;
    closing = true;
    GetTimer().Stop();
    CloseWindow();
}

void IPlugAU::BeginInformHostOfParamChange(int paramIdx)
{
    if (hostCallbacks.beginGesture == nullptr)
        return;
    const HostCallScope scope{hostCallDepth};
    hostCallbacks.beginGesture(hostCallbacks.context, paramIdx);
}

void IPlugAU::InformHostOfParamChange(int paramIdx, double /*normalized*/)
{
    if (hostCallbacks.parameterChanged == nullptr || GetParam(paramIdx) == nullptr)
        return;
    const HostCallScope scope{hostCallDepth};
    hostCallbacks.parameterChanged(hostCallbacks.context, paramIdx, GetParam(paramIdx)->Value());
}

void IPlugAU::EndInformHostOfParamChange(int paramIdx)
{
    if (hostCallbacks.endGesture == nullptr)
        return;
    const HostCallScope scope{hostCallDepth};
    hostCallbacks.endGesture(hostCallbacks.context, paramIdx);
}

OSStatus IPlugAU::AUOpen(void* self, void* /*componentInstance*/) noexcept
{
    if (self == nullptr)
        return kAUErrInvalidParameter;
    AUInstanceRecord* record = recordOf(self);
    if (record->plug != nullptr)
        return kAUErrBusy;
    try
    {
        IPlugAU* plug = record->construct(record->storage, record->info);
        record->plug = plug;
        plug->PruneUninitializedPresets();
        return kAUNoErr;
    }
    catch (const std::bad_alloc&)
    {
        return kAUErrOutOfMemory;
    }
    catch (...)
    {
        return kAUErrFailure;
    }
}

OSStatus IPlugAU::AUClose(void* self) noexcept
{
    if (self == nullptr)
        return kAUErrInvalidParameter;
    AUInstanceRecord* record = recordOf(self);
    {
        const std::lock_guard lock(backgroundMutex());
        record->closing = true;
    }
    IPlugAU* plug = record->plug;
    if (plug != nullptr)
    {
        try
        {
            plug->BeginClosing(); // ends background work, and closes the editor while the whole object still exists
        }
        catch (...)
        {
            // closing the editor failed; destroying the object still has to happen
        }
    }
    // Work under way saw its stop request; it leaves the plug-in, and the record, before either goes.
    {
        std::unique_lock lock(backgroundMutex());
        backgroundLeft().wait(lock, [record] { return record->backgroundCalls == 0; });
    }
    if (plug != nullptr)
    {
        record->plug = nullptr;
        record->destruct(plug);
    }
    std::free(record->allocation);
    return kAUNoErr;
}

AudioComponentMethod IPlugAU::AULookup(std::int16_t selector) noexcept
{
    switch (selector)
    {
    case kAUInitializeSelect:
        return method<AUInitializeProc>(&initializeProc);
    case kAUUninitializeSelect:
        return method<AUUninitializeProc>(&uninitializeProc);
    case kAUResetSelect:
        return method<AUResetProc>(&resetProc);
    case kAURenderSelect:
        return method<AURenderProc>(&renderProc);
    case kAUGetParameterCountSelect:
        return method<AUGetParameterCountProc>(&getParameterCountProc);
    case kAUGetParameterInfoSelect:
        return method<AUGetParameterInfoProc>(&getParameterInfoProc);
    case kAUGetParameterSelect:
        return method<AUGetParameterProc>(&getParameterProc);
    case kAUSetParameterSelect:
        return method<AUSetParameterProc>(&setParameterProc);
    case kAUSetBypassSelect:
        return method<AUSetBypassProc>(&setBypassProc);
    case kAUGetStateSelect:
        return method<AUGetStateProc>(&getStateProc);
    case kAUSetStateSelect:
        return method<AUSetStateProc>(&setStateProc);
    case kAUIdleSelect:
        return method<AUIdleProc>(&idleProc);
    case kAUOpenEditorSelect:
        return method<AUOpenEditorProc>(&openEditorProc);
    case kAUCloseEditorSelect:
        return method<AUCloseEditorProc>(&closeEditorProc);
    case kAUSetHostCallbacksSelect:
        return method<AUSetHostCallbacksProc>(&setHostCallbacksProc);
    case kAUGetPlugInObjectSelect:
        return method<AUGetPlugInObjectProc>(&getPlugInObjectProc);
    case kAUGetLatencySelect:
        return method<AUGetLatencyProc>(&getLatencyProc);
    case kAURunBackgroundWorkSelect:
        return method<AURunBackgroundWorkProc>(&runBackgroundWorkProc);
    case kAUEndBackgroundWorkSelect:
        return method<AUEndBackgroundWorkProc>(&endBackgroundWorkProc);
    case kAUGetInterfaceSelect:
        return method<AUGetInterfaceProc>(&getInterfaceProc);
    default:
        return nullptr;
    }
}

OSStatus IPlugAU::IPlugAUEntry(ComponentParameters* params, void* instance) noexcept
{
    if (params == nullptr)
        return kAUErrInvalidParameter;
    switch (params->what)
    {
    case kComponentCanDoSelect:
        return AULookup(static_cast<std::int16_t>(params->params[0])) != nullptr ? 1 : 0;
    case kComponentVersionSelect:
        if (instance == nullptr || recordOf(instance)->plug == nullptr)
            return kAUErrNotConstructed;
        return recordOf(instance)->plug->GetPluginVersion();
    default:
        return kAUErrBadSelector;
    }
}

} // namespace iplug
