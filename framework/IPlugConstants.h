#pragma once

#include "framework/AUTypes.h"

namespace iplug
{

/** Where a parameter change came from, handed to OnParamChange and OnParamChangeUI. */
enum EParamSource
{
    kReset,
    kHost,
    kPresetRecall,
    kUI,
    kDelegate,
    kUnknown
};

/** The input or the output side of the processor. */
enum ERoute
{
    kInput = 0,
    kOutput = 1
};

} // namespace iplug
