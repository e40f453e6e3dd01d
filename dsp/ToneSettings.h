#pragma once

#include <array>

namespace aubrevane::dsp
{

/** One tone region: a bump of the target curve around its centre, or, when off, a zone kept free of correction. */
struct ToneRegion
{
    double hertz = 1000.0;
    double gainDecibels = 0.0;
    bool on = true;

    bool operator==(const ToneRegion&) const = default;
};

/** One pre-EQ band; a node that is off acts as 0 dB. Only node 0 (low) and node 3 (high) honour `shelf`. */
struct PreEqNode
{
    double hertz = 1000.0;
    double gainDecibels = 0.0;
    double q = 0.707;
    bool on = true;
    bool shelf = false;

    bool operator==(const PreEqNode&) const = default;
};

/** The four regions "Low", "Body", "Presence" and "Air" as the engine starts. */
inline constexpr std::array<ToneRegion, 4> kDefaultRegions = {{
    {120.0, 0.0, true},
    {300.0, 0.0, true},
    {3000.0, 0.0, true},
    {10000.0, 0.0, true},
}};

inline constexpr std::array<PreEqNode, 4> kDefaultPreEq = {{
    {100.0, 0.0, 0.707, true, true},
    {400.0, 0.0, 1.0, true, false},
    {2500.0, 0.0, 1.0, true, false},
    {8000.0, 0.0, 0.707, true, true},
}};

/**
 * The engine's user settings, copied whole into the engine and taken by applySettings(). The member defaults are
 * the engine's own defaults; fractions run 0..1.
 */
struct ToneSettings
{
    double amount = 0.0;
    double speed = 0.5;
    double thresholdDecibels = -40.0;
    double maxBoostDecibels = 6.0;
    double maxCutDecibels = 9.0; // a positive number
    std::array<ToneRegion, 4> regions = kDefaultRegions;
    bool highPassOn = false;
    double highPassHertz = 20.0;
    bool lowPassOn = false;
    double lowPassHertz = 20000.0;
    double outputDecibels = 0.0;
    double tiltDecibelsPerOctave = 0.0; // about 1000 Hz
    bool autoGain = false;
    double rangeLowHertz = 20.0;
    double rangeHighHertz = 20000.0;
    std::array<PreEqNode, 4> preEq = kDefaultPreEq;
    double preEqRespect = 0.5; // fraction of the pre-EQ response the correction leaves in place

    /** Field by field with ==, so a NaN never compares equal and 0.0 equals -0.0. */
    bool operator==(const ToneSettings&) const = default;
};

} // namespace aubrevane::dsp
