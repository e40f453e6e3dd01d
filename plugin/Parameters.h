#pragma once

/**
 * The 46 host parameter indices. The order is fixed: the state chunk stores the values in index order, the editor
 * binds controls to these indices and hosts automate them by index.
 */
enum EParams
{
    kAmount = 0,
    kSpeed,
    kThreshold,
    kMaxBoost,
    kMaxCut,
    kRegionFirst, // four regions, each Target, Freq, On
    kHighPassFreq = kRegionFirst + 12,
    kHighPassOn,
    kLowPassFreq,
    kLowPassOn,
    kOutput,
    kBypass,
    kTilt,
    kUnusedAutoGain,
    kRangeLow,
    kRangeHigh,
    kPreEqFirst, // four nodes, each Gain, Freq, Q, On
    kPreEq1Shelf = kPreEqFirst + 16,
    kPreEq4Shelf,
    kPreEqRespect,
    kNumParams
};

static_assert(kHighPassFreq == 17 && kPreEqFirst == 27 && kPreEq1Shelf == 43 && kNumParams == 46);

/** Tags of the editor controls that the plug-in reaches after the layout made them; no other control has a tag. */
enum EControlTags
{
    kTitleTag = 0,
    kStatusTag,
    kInputMeterTag,
    kOutputMeterTag,
    kPresetBarTag
};

namespace aubrevane::plugin
{

inline constexpr int kNumRegions = 4;
inline constexpr int kNumPreEqNodes = 4;

// region 0..3 ("Low", "Body", "Presence", "Air")
constexpr int regionTargetParam(int region)
{
    return kRegionFirst + 3 * region;
}
constexpr int regionFreqParam(int region)
{
    return kRegionFirst + 3 * region + 1;
}
constexpr int regionOnParam(int region)
{
    return kRegionFirst + 3 * region + 2;
}

// node 0..3 (shown to the user as 1 to 4)
constexpr int preEqGainParam(int node)
{
    return kPreEqFirst + 4 * node;
}
constexpr int preEqFreqParam(int node)
{
    return kPreEqFirst + 4 * node + 1;
}
constexpr int preEqQParam(int node)
{
    return kPreEqFirst + 4 * node + 2;
}
constexpr int preEqOnParam(int node)
{
    return kPreEqFirst + 4 * node + 3;
}

} // namespace aubrevane::plugin
