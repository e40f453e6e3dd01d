#pragma once

#include "framework/AUTypes.h"
#include "framework/igraphics/EditorView.h"
#include "wendlebrak/updates/UpdateCheck.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace aubrevane::plugin
{

/**
 * The product's own operations for a host that loaded the bundle: learning, targets, presets, the status line, the
 * update check and the editor, the work an Audio Unit host has no call for. The host asks the factory's record for
 * it (AUGetInterfaceProc with kInterfaceId); every function is virtual and runs inside the bundle, so the host
 * needs none of the bundle's symbols, and only standard types and plain records cross. It lives as long as the
 * instance. To add an operation, add a function here and to AubrevaneInterface, and change kInterfaceId, so that a
 * host never calls a bundle built with another list. Main thread only.
 */
class ProductInterface
{
public:
    static constexpr std::uint32_t kInterfaceId = iplug::FourCC("Avb2");

    enum class Learning
    {
        kIdle,
        kAnalysing, // a reference file is being analysed
        kFailed     // the last analysis failed
    };

    /** One listed target or preset; `file` is empty for a factory target. */
    struct NamedFile
    {
        std::string name;
        std::filesystem::path file;
    };

    /** What the last network step of the update check did, and what it knows now. */
    struct UpdateReport
    {
        wendlebrak::updates::UpdateCheck::StepReport step;
        std::optional<wendlebrak::updates::Notice> notice;
        long long now = 0; // the check's clock, in seconds since the Unix epoch
        std::filesystem::path directory;
        std::filesystem::path recordFile;
        std::string feedUrl;
    };

    /** Asks the audio thread to learn a target from the input it renders next. */
    virtual void learnFromInput() = 0;
    virtual bool isLearningFromInput() const = 0;
    /** Starts analysing a reference file on the worker thread. */
    virtual void learnFromFile(const std::string& path) = 0;
    virtual Learning learning() const = 0;
    /** The line the tone display shows for a failed analysis ("COULD NOT LEARN: " and the reason), else empty. */
    virtual std::string learningMessage() const = 0;

    /** The factory targets, then the user's. */
    virtual std::vector<NamedFile> targets() const = 0;
    /** Loads the first target of that name; false when there is none. */
    virtual bool loadTarget(const std::string& name) = 0;
    virtual void saveTarget(const std::string& name) = 0;
    /** The file saveTarget(name) would write or replace now; empty where there is none. */
    virtual std::filesystem::path targetFileForSave(const std::string& name) const = 0;

    virtual std::vector<NamedFile> presets() const = 0;
    /** Loads the first preset of that name; false when there is none. */
    virtual bool loadPreset(const std::string& name) = 0;
    /** Saves as the editor's save does, asking before it replaces a preset. */
    virtual void savePreset(const std::string& name) = 0;
    /** The file savePreset(name) would write or replace now; empty where there is none. */
    virtual std::filesystem::path presetFileForSave(const std::string& name) const = 0;

    /** The open editor's status line; empty without an open editor. */
    virtual std::string statusLine() const = 0;
    /** Nothing when the plug-in has no update check. */
    virtual std::optional<UpdateReport> updateReport() const = 0;

    virtual iplug::igraphics::IEditorView& editor() = 0;

protected:
    ~ProductInterface() = default;
};

} // namespace aubrevane::plugin
