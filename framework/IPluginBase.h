#pragma once

#include "framework/Config.h"
#include "framework/IByteChunk.h"
#include "framework/IGEditorDelegate.h"
#include "framework/IPlugConstants.h"

#include <string>
#include <vector>

namespace iplug
{

/**
 * The plug-in's identity from its configuration, its state (by default the plain list of parameter values), the
 * parameter-change notification and the preset slots. Main thread.
 */
class IPluginBase : public igraphics::IGEditorDelegate
{
public:
    explicit IPluginBase(const Config& config);
    ~IPluginBase() override;

    const Config& GetConfig() const { return config; }
    /** The packed version: major in the upper 16 bits, minor in bits 8-15, patch in bits 0-7. */
    int GetPluginVersion() const { return config.vendorVersion; }
    /** The same version as text, "major.minor.patch". */
    std::string GetPluginVersionString() const;

    /** Appends the plug-in's state; false when an append failed. The default writes the parameter values. */
    virtual bool SerializeState(IByteChunk& chunk) const;
    /** Reads a state from `startPos`; returns the position after it, or -1 when it could not be read. */
    virtual int UnserializeState(const IByteChunk& chunk, int startPos);
    /** Appends every parameter's plain value as a double, in index order. */
    bool SerializeParams(IByteChunk& chunk) const;
    /** Reads one double per parameter from `startPos`. All or nothing: when the values do not all fit, no
     *  parameter changes and -1 is returned. Each parameter then hears OnParamChange(i, kPresetRecall). */
    int UnserializeParams(const IByteChunk& chunk, int startPos);

    /** A parameter changed; the default calls OnParamChange(paramIdx). */
    virtual void OnParamChange(int paramIdx, EParamSource source);
    virtual void OnParamChange(int paramIdx);
    // Factory presets: the configuration's slots, each empty until the plug-in fills it.
    int NPresets() const { return static_cast<int>(presets.size()); }
    /** Drops the slots nobody filled, so the host is offered no empty preset. */
    void PruneUninitializedPresets();

private:
    /** Every parameter hears OnParamChange(i, source) in index order. */
    void OnParamReset(EParamSource source);

    struct Preset
    {
        bool initialized = false;
        std::string name;
        IByteChunk chunk;
    };

    Config config;
    std::vector<Preset> presets;
};

} // namespace iplug
