#pragma once

// The plain types through which a host reaches a plug-in bundle: the factory's record, the selectors its Lookup
// answers and the signature of each selector's function. Everything here crosses the bundle's C boundary, so it
// holds only plain data and function pointers.

#include <cstdint>

namespace iplug
{

using OSStatus = std::int32_t;

/** A four-character code packed with the first character in the highest byte ("Avbn" -> 0x4176626E). */
constexpr std::uint32_t FourCC(const char (&code)[5])
{
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(code[0])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(code[1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(code[2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(code[3]));
}

/** Status of every host-facing call; anything but kAUNoErr means the call did nothing, or nothing more. */
enum EAUStatus : OSStatus
{
    kAUNoErr = 0,
    kAUErrInvalidParameter = -1,   // a parameter index out of range or a value that is not finite
    kAUErrBadSelector = -2,        // the legacy entry or Lookup does not know the selector
    kAUErrNotConstructed = -3,     // no plug-in object behind the record (Open failed or was never called)
    kAUErrUninitialized = -4,      // render before initialise
    kAUErrFormatNotSupported = -5, // a sample rate, block size or channel route the plug-in cannot run
    kAUErrInvalidState = -6,       // a state chunk the plug-in could not read
    kAUErrOutOfMemory = -7,
    kAUErrFailure = -8, // the plug-in failed with an exception; the call was abandoned
    kAUErrBusy = -9     // the call may not run now (initialise while rendering, nested, work ended)
};

/** The component a host asks the factory for; the factory does not read it. */
struct AudioComponentDescription
{
    std::uint32_t componentType = 0;
    std::uint32_t componentSubType = 0;
    std::uint32_t componentManufacturer = 0;
    std::uint32_t componentFlags = 0;
    std::uint32_t componentFlagsMask = 0;
};

/** A legacy Component Manager call: the selector in `what` and its arguments in `params`. */
struct ComponentParameters
{
    std::uint8_t flags = 0;
    std::uint8_t paramSize = 0; // bytes of arguments in params
    std::int16_t what = 0;
    std::intptr_t params[1] = {0};
};

/** Legacy selectors the entry answers; kComponentCanDoSelect takes the asked selector in params[0]. */
enum EComponentSelector : std::int16_t
{
    kComponentCanDoSelect = -3,
    kComponentVersionSelect = -4
};

/** Any selector function; cast to the type its selector names before calling. */
using AudioComponentMethod = void (*)();

/** The head of every record the factory returns. `self` is the record itself. */
struct AudioComponentPlugInInterface
{
    OSStatus (*Open)(void* self, void* componentInstance);
    OSStatus (*Close)(void* self);
    AudioComponentMethod (*Lookup)(std::int16_t selector);
    void* reserved;
};

enum EAUSelector : std::int16_t
{
    kAUInitializeSelect = 1,
    kAUUninitializeSelect,
    kAUResetSelect,
    kAURenderSelect,
    kAUGetParameterCountSelect,
    kAUGetParameterInfoSelect,
    kAUGetParameterSelect,
    kAUSetParameterSelect,
    kAUSetBypassSelect,
    kAUGetStateSelect,
    kAUSetStateSelect,
    kAUIdleSelect,
    kAUOpenEditorSelect,
    kAUCloseEditorSelect,
    kAUSetHostCallbacksSelect,
    kAUGetPlugInObjectSelect,
    kAUGetLatencySelect,
    kAURunBackgroundWorkSelect,
    kAUEndBackgroundWorkSelect,
    kAUGetInterfaceSelect
};

enum EAUParameterFlags : std::uint32_t
{
    kAUParameterFlagReadable = 1u << 0,
    kAUParameterFlagWritable = 1u << 1,
    kAUParameterFlagNonRealTime = 1u << 2, // the host should not automate it
    kAUParameterFlagStepped = 1u << 3,
    kAUParameterFlagLogarithmic = 1u << 4
};

struct AUParameterInfo
{
    char name[64] = {};
    char unit[16] = {}; // the parameter's label: "dB", "Hz", "%", or empty
    double minValue = 0.0;
    double maxValue = 1.0;
    double defaultValue = 0.0;
    double step = 0.0;
    std::uint32_t flags = 0;
};

/** What the host hands the plug-in to hear from it; any member may be null. Main thread only. */
struct AUHostCallbacks
{
    void* context = nullptr;
    /** A parameter changed from the editor or by a state restore; `value` is the plain value. */
    void (*parameterChanged)(void* context, int paramIdx, double value) = nullptr;
    void (*beginGesture)(void* context, int paramIdx) = nullptr;
    void (*endGesture)(void* context, int paramIdx) = nullptr;
    /** Answers a message box: `type` and the result are the editor's message-box type and result values. */
    int (*messageBox)(void* context, const char* text, const char* title, int type) = nullptr;
    /** Answers a file dialog (`action` 0 open, 1 save): writes a zero-terminated path of at most `capacity`
     *  bytes into `path` and returns 1, or returns 0 for a cancelled dialog. */
    int (*fileDialog)(void* context, int action, const char* extensions, char* path, int capacity) = nullptr;
};

// The function behind each selector.
using AUInitializeProc = OSStatus (*)(void* self, double sampleRate, int maxFrames, int nInputs, int nOutputs);
using AUUninitializeProc = OSStatus (*)(void* self);
/** Taken at the start of the next render, on the audio thread. */
using AUResetProc = OSStatus (*)(void* self);
/** Audio thread. A null array counts as no channels on that side for this call; a null channel inside an array
 *  reads as silence or is written to scratch. Blocks longer than the initialised size are split. */
using AURenderProc = OSStatus (*)(void* self, double** inputs, double** outputs, int nFrames);
using AUGetParameterCountProc = OSStatus (*)(void* self, int* count);
using AUGetParameterInfoProc = OSStatus (*)(void* self, int paramIdx, AUParameterInfo* info);
using AUGetParameterProc = OSStatus (*)(void* self, int paramIdx, double* value);
using AUSetParameterProc = OSStatus (*)(void* self, int paramIdx, double value);
/** Taken at the start of the next render, which then resets the plug-in when the state changed. */
using AUSetBypassProc = OSStatus (*)(void* self, int bypassed);
/** Calls `receive` once with the whole state, or not at all when saving failed. */
using AUGetStateProc = OSStatus (*)(void* self, void* context,
                                    void (*receive)(void* context, const unsigned char* data, int size));
using AUSetStateProc = OSStatus (*)(void* self, const unsigned char* data, int size);
using AUIdleProc = OSStatus (*)(void* self);
using AUOpenEditorProc = OSStatus (*)(void* self, void* parentWindow);
using AUCloseEditorProc = OSStatus (*)(void* self);
using AUSetHostCallbacksProc = OSStatus (*)(void* self, const AUHostCallbacks* callbacks);
/** The plug-in object itself (an iplug::IPlugAU*), for code in the same program as the plug-in's, such as the
 *  framework's tests; a host that loads the bundle uses AUGetInterfaceProc. */
using AUGetPlugInObjectProc = OSStatus (*)(void* self, void** object);
using AUGetLatencyProc = OSStatus (*)(void* self, int* samples);
/** A background thread of the host's, never its audio or main thread: runs the plug-in's slow work once (such as a
 *  network step) and returns when it is done, which may take seconds. kAUErrBusy once the work was ended. */
using AURunBackgroundWorkProc = OSStatus (*)(void* self);
/** Main thread: background work under way ends early and no more starts. A host calls it before it joins its
 *  background thread; closing the instance does the same and then waits for the work still under way. */
using AUEndBackgroundWorkProc = OSStatus (*)(void* self);
/** Main thread: an object of the interface that `interfaceId` names, which the plug-in implements and the host
 *  knows from a header: an abstract class whose virtual functions reach the plug-in with no symbol looked up, as a
 *  view factory hands a host the editor's view. It lives as long as the instance; kAUErrInvalidParameter for an
 *  interface the plug-in does not have. */
using AUGetInterfaceProc = OSStatus (*)(void* self, std::uint32_t interfaceId, void** object);

} // namespace iplug
