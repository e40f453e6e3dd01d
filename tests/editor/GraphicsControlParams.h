#pragma once

#include "support/GraphicsTestDelegate.h"

namespace aubrevane::test
{

/** The editor parameters the knob, caption, meter, strip and pill tests bind to, with the plug-in's ranges. */
enum ControlParams
{
    kAmountParam = 0,
    kThresholdParam = 2,
    kHighPassFreqParam = 17,
    kHighPassOnParam = 18,
    kLowPassFreqParam = 19,
    kLowPassOnParam = 20,
    kOutputParam = 21,
    kBypassParam = 22,
    kStepsParam = 23, // a stepped parameter of our own
    kNumControlParams = 24
};

inline void initControlParams(RecordingDelegate& delegate)
{
    delegate.GetParam(kAmountParam)->InitDouble("Amount", 50, 0, 100, 1, "%");
    delegate.GetParam(kThresholdParam)->InitDouble("Analysis Threshold", -40, -70, -10, 0.5, "dB");
    delegate.GetParam(kHighPassFreqParam)->InitFrequency("HP Freq", 20, 20, 1000, 0.1);
    delegate.GetParam(kHighPassOnParam)->InitBool("HP On", true);
    delegate.GetParam(kLowPassFreqParam)->InitFrequency("LP Freq", 20000, 1000, 20000, 0.1);
    delegate.GetParam(kLowPassOnParam)->InitBool("LP On", true);
    delegate.GetParam(kOutputParam)->InitDouble("Output", 0, -24, 24, 0.1, "dB");
    delegate.GetParam(kBypassParam)->InitBool("Bypass", false);
    delegate.GetParam(kStepsParam)->InitDouble("Steps", 0, -10, 10, 1, "", iplug::IParam::kFlagStepped);
}

/** An editor harness whose delegate holds the control parameters. */
struct ControlHarness : EditorHarness
{
    explicit ControlHarness(float scale = 1.0f) : EditorHarness(kNumControlParams, scale)
    {
        initControlParams(delegate);
    }

    /** Sets a parameter as the host would and shows it in the editor. */
    void setPlain(int paramIdx, double value)
    {
        delegate.GetParam(paramIdx)->Set(value);
        graphics->UpdateControlsForParam(paramIdx, delegate.GetParam(paramIdx)->GetNormalized());
    }
};

} // namespace aubrevane::test
