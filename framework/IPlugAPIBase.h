#pragma once

#include "framework/IPluginBase.h"
#include "framework/Timer.h"

namespace iplug
{

/**
 * What every plug-in format shares above the base: telling the host about parameter changes made in the editor,
 * and the idle timer that calls OnIdle every 20 ms from the host's main loop.
 */
class IPlugAPIBase : public IPluginBase
{
public:
    /** How often a host should call the idle tick. */
    static constexpr int kIdleIntervalMs = 20;

    explicit IPlugAPIBase(const Config& config);
    ~IPlugAPIBase() override;

    /** The periodic main-thread work; the default does nothing. */
    virtual void OnIdle();
    Timer& GetTimer() { return timer; }

    // Tell the host about a change; the format wrapper passes them on. Main thread.
    virtual void BeginInformHostOfParamChange(int paramIdx);
    virtual void InformHostOfParamChange(int paramIdx, double normalized);
    virtual void EndInformHostOfParamChange(int paramIdx);

    /** Gestures and values from the editor: set the parameter, tell the plug-in (OnParamChange with kUI), show the
     *  value in every control bound to the parameter, and tell the host. */
    void BeginInformHostOfParamChangeFromUI(int paramIdx) override;
    void SendParameterValueFromUI(int paramIdx, double normalized) override;
    void EndInformHostOfParamChangeFromUI(int paramIdx) override;

private:
    Timer timer;
};

} // namespace iplug
