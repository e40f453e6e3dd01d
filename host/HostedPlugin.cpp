#include "host/HostedPlugin.h"

#include "framework/AUTypes.h"
#include "wendlebrak/updates/BackgroundRunner.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace aubrevane::host
{

using namespace iplug;

namespace
{

const char* const kFactoryName = "Aubrevane_Factory";

/** $AUBREVANE_PLUGIN when it is set and not empty, else null. */
const char* bundleVariable()
{
    const char* named = std::getenv("AUBREVANE_PLUGIN");
    return named != nullptr && named[0] != '\0' ? named : nullptr;
}

using FactoryProc = AudioComponentPlugInInterface* (*)(const AudioComponentDescription*);

std::string statusText(OSStatus status)
{
    switch (status)
    {
    case kAUErrInvalidParameter:
        return "invalid parameter";
    case kAUErrNotConstructed:
        return "the instance was not constructed";
    case kAUErrUninitialized:
        return "not initialised";
    case kAUErrFormatNotSupported:
        return "format not supported";
    case kAUErrInvalidState:
        return "the state could not be read";
    case kAUErrOutOfMemory:
        return "out of memory";
    case kAUErrFailure:
        return "the plug-in failed";
    case kAUErrBusy:
        return "the plug-in is busy";
    default:
        return "status " + std::to_string(status);
    }
}

} // namespace

struct HostedPlugin::Impl
{
    void* library = nullptr;
    AudioComponentPlugInInterface* record = nullptr;
    bool opened = false;
    bool answerYes = false;
    std::vector<ShownMessageBox> shownBoxes;
    std::function<bool(std::string& path)> fileAnswer;
    AUHostCallbacks callbacks{};
    wendlebrak::updates::BackgroundRunner background; // the plug-in's slow work, away from the main thread

    template <typename Proc> Proc find(EAUSelector selector) const
    {
        return reinterpret_cast<Proc>(record->Lookup(selector));
    }

    /** Background thread. */
    OSStatus runBackgroundWork() const { return find<AURunBackgroundWorkProc>(kAURunBackgroundWorkSelect)(record); }

    ~Impl()
    {
        if (record != nullptr)
        {
            // Work under way ends its transfer early; the thread is joined while the record and the code still exist.
            if (opened)
                find<AUEndBackgroundWorkProc>(kAUEndBackgroundWorkSelect)(record);
            background.stop();
            record->Close(record); // destroys the instance when Open made one, and frees the record
        }
        if (library != nullptr)
            dlclose(library);
    }
};

namespace
{

int answerMessageBox(void* context, const char* text, const char* title, int type)
{
    auto* impl = static_cast<HostedPlugin::Impl*>(context);
    impl->shownBoxes.push_back({title, text, type >= 2, type >= 2 && impl->answerYes});
    // the editor's box types: 0 OK, 1 OK/Cancel, 2 Yes/No, 3 Yes/No/Cancel; results: 1 OK, 2 Cancel, 3 Yes, 4 No
    if (type == 0)
        return 1;
    if (type == 1)
        return impl->answerYes ? 1 : 2;
    return impl->answerYes ? 3 : 4;
}

int answerFileDialog(void* context, int, const char*, char* path, int capacity)
{
    auto* impl = static_cast<HostedPlugin::Impl*>(context);
    std::string chosen;
    if (!impl->fileAnswer || !impl->fileAnswer(chosen) || chosen.empty() || capacity <= 0 ||
        chosen.size() >= static_cast<std::size_t>(capacity))
        return 0;
    std::memcpy(path, chosen.c_str(), chosen.size() + 1);
    return 1;
}

} // namespace

HostedPlugin::HostedPlugin(std::unique_ptr<Impl> impl) : impl(std::move(impl)) {}

HostedPlugin::~HostedPlugin() = default;

std::unique_ptr<HostedPlugin> HostedPlugin::load(const std::filesystem::path& bundle, std::string& error)
{
    auto impl = std::make_unique<Impl>();
    impl->library = dlopen(bundle.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (impl->library == nullptr)
    {
        const char* reason = dlerror();
        error = "could not load the plug-in " + bundle.string() + ": " + (reason ? reason : "unknown reason");
        return nullptr;
    }
    auto factory = reinterpret_cast<FactoryProc>(dlsym(impl->library, kFactoryName));
    if (factory == nullptr)
    {
        error = bundle.string() + " is not an Aubrevane bundle: it has no " + kFactoryName;
        return nullptr;
    }
    const AudioComponentDescription description{FourCC("aufx"), FourCC("Avbn"), FourCC("Wdlk"), 0, 0};
    impl->record = factory(&description);
    if (impl->record == nullptr)
    {
        error = "the plug-in's factory could not make an instance";
        return nullptr;
    }
    if (const OSStatus status = impl->record->Open(impl->record, nullptr); status != kAUNoErr)
    {
        error = "the plug-in could not be opened: " + statusText(status);
        return nullptr;
    }
    impl->opened = true;
    for (int selector = kAUInitializeSelect; selector <= kAUGetInterfaceSelect; ++selector)
        if (impl->record->Lookup(static_cast<std::int16_t>(selector)) == nullptr)
        {
            error = "the plug-in lacks host call " + std::to_string(selector);
            return nullptr;
        }
    impl->callbacks.context = impl.get();
    impl->callbacks.messageBox = &answerMessageBox;
    impl->callbacks.fileDialog = &answerFileDialog;
    impl->find<AUSetHostCallbacksProc>(kAUSetHostCallbacksSelect)(impl->record, &impl->callbacks);
    return std::unique_ptr<HostedPlugin>(new HostedPlugin(std::move(impl)));
}

int HostedPlugin::paramCount() const
{
    int count = 0;
    if (impl->find<AUGetParameterCountProc>(kAUGetParameterCountSelect)(impl->record, &count) != kAUNoErr)
        return 0;
    return count;
}

ParamInfo HostedPlugin::paramInfo(int index) const
{
    AUParameterInfo info;
    ParamInfo result;
    if (impl->find<AUGetParameterInfoProc>(kAUGetParameterInfoSelect)(impl->record, index, &info) != kAUNoErr)
        return result;
    result.name = info.name;
    result.unit = info.unit;
    result.defaultValue = info.defaultValue;
    result.minimum = info.minValue;
    result.maximum = info.maxValue;
    result.step = info.step;
    result.isSwitch = (info.flags & kAUParameterFlagStepped) != 0 && info.minValue == 0.0 && info.maxValue == 1.0;
    return result;
}

int HostedPlugin::findParam(const std::string& name) const
{
    for (int i = 0; i < paramCount(); ++i)
        if (paramInfo(i).name == name)
            return i;
    return -1;
}

double HostedPlugin::paramValue(int index) const
{
    double value = 0.0;
    impl->find<AUGetParameterProc>(kAUGetParameterSelect)(impl->record, index, &value);
    return value;
}

bool HostedPlugin::setParamValue(int index, double value)
{
    return impl->find<AUSetParameterProc>(kAUSetParameterSelect)(impl->record, index, value) == kAUNoErr;
}

bool HostedPlugin::initialise(double sampleRate, int maxBlockFrames, int inputChannels, int outputChannels,
                              std::string& error)
{
    const OSStatus status = impl->find<AUInitializeProc>(kAUInitializeSelect)(impl->record, sampleRate, maxBlockFrames,
                                                                              inputChannels, outputChannels);
    if (status == kAUNoErr)
        return true;
    error = "the plug-in cannot run " + std::to_string(inputChannels) + " in, " + std::to_string(outputChannels) +
            " out at " + std::to_string(static_cast<long>(sampleRate)) + " Hz: " + statusText(status);
    return false;
}

bool HostedPlugin::render(double** inputs, double** outputs, int frames)
{
    return impl->find<AURenderProc>(kAURenderSelect)(impl->record, inputs, outputs, frames) == kAUNoErr;
}

void HostedPlugin::setBypass(bool bypassed)
{
    impl->find<AUSetBypassProc>(kAUSetBypassSelect)(impl->record, bypassed ? 1 : 0);
}

bool HostedPlugin::saveState(std::vector<std::uint8_t>& bytes) const
{
    bytes.clear();
    auto receive = [](void* context, const unsigned char* data, int size)
    { static_cast<std::vector<std::uint8_t>*>(context)->assign(data, data + size); };
    return impl->find<AUGetStateProc>(kAUGetStateSelect)(impl->record, &bytes, receive) == kAUNoErr;
}

bool HostedPlugin::restoreState(const std::vector<std::uint8_t>& bytes)
{
    return impl->find<AUSetStateProc>(kAUSetStateSelect)(impl->record, bytes.data(), static_cast<int>(bytes.size())) ==
           kAUNoErr;
}

void HostedPlugin::idle()
{
    impl->find<AUIdleProc>(kAUIdleSelect)(impl->record);
}

bool HostedPlugin::openEditor()
{
    return impl->find<AUOpenEditorProc>(kAUOpenEditorSelect)(impl->record, nullptr) == kAUNoErr;
}

void HostedPlugin::closeEditor()
{
    impl->find<AUCloseEditorProc>(kAUCloseEditorSelect)(impl->record);
}

void HostedPlugin::answerQuestionsYes(bool yes)
{
    impl->answerYes = yes;
}

std::vector<ShownMessageBox> HostedPlugin::takeMessageBoxes()
{
    return std::exchange(impl->shownBoxes, {});
}

void HostedPlugin::printMessageBoxes()
{
    for (const ShownMessageBox& box : takeMessageBoxes())
        std::fprintf(stderr, "%s: %s\n", box.title.c_str(), box.text.c_str());
}

bool HostedPlugin::runBackgroundWork()
{
    OSStatus status = kAUErrFailure;
    const bool ran = impl->background.runAndWait([this, &status] { status = impl->runBackgroundWork(); });
    return ran && status == kAUNoErr;
}

bool HostedPlugin::startBackgroundWork()
{
    return impl->background.post([work = impl.get()] { work->runBackgroundWork(); });
}

void HostedPlugin::answerFileDialogs(std::function<bool(std::string& path)> answer)
{
    impl->fileAnswer = std::move(answer);
}

void* HostedPlugin::hostInterface(std::uint32_t interfaceId) const
{
    void* object = nullptr;
    if (impl->find<AUGetInterfaceProc>(kAUGetInterfaceSelect)(impl->record, interfaceId, &object) != kAUNoErr)
        return nullptr;
    return object;
}

std::filesystem::path bundlePath(const std::optional<std::string>& chosen, const char* argv0)
{
    // dlopen searches the library path for a name without a slash; the user means the file in this folder
    const auto asFile = [](const std::string& name)
    { return name.find('/') == std::string::npos ? std::filesystem::path(".") / name : std::filesystem::path(name); };
    if (chosen)
        return asFile(*chosen);
    if (const char* named = bundleVariable())
        return asFile(named);
    std::error_code ignored;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ignored);
    return (self.empty() ? std::filesystem::path(argv0) : self).parent_path() / "Aubrevane.so";
}

std::string bundleSource(const std::optional<std::string>& chosen)
{
    if (chosen)
        return "--plugin";
    if (bundleVariable() != nullptr)
        return "$AUBREVANE_PLUGIN";
    return "the plug-in bundle";
}

} // namespace aubrevane::host
