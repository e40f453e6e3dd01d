#pragma once

#include "plugin/Parameters.h"
#include "plugin/TargetSnapshot.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace aubrevane::plugin
{

/** The first four bytes of every state: the code 'AVS1' as a little-endian 32-bit integer, the bytes "1SVA". */
inline constexpr std::int32_t kStateTag = 0x41565331;
inline constexpr std::int32_t kStateVersion = 5;
inline constexpr int kStateHeadBytes = 120; // tag, version, accent, width, height, target present, 12 doubles
inline constexpr int kHeadParamCount = 24;  // parameters 0 to 23 follow the reference name
inline constexpr int kTailParamCount = kNumParams - kHeadParamCount;

/** Everything a state chunk holds, as read; applying it is the plug-in's business. */
struct StoredState
{
    std::int32_t version = 0;
    std::int32_t accent = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool targetPresent = false;
    std::array<double, kTargetBands> headTarget{}; // target offsets; a balance in a version-1 state
    std::string referenceName;
    std::array<double, kTargetBands> balance{}; // the head's values where the state has no balance of its own
    // Where the two runs of parameter values start, and how many of each lie within the bytes; the values themselves
    // are read from there when the state is applied (Aubrevane::readParams).
    int headParamsAt = -1;  // parameter 0
    int headParamsRead = 0; // parameters 0 .. headParamsRead - 1 have values in the chunk
    int tailParamsAt = -1;  // parameter 24
    int tailParamsRead = 0; // parameters 24 .. 24 + tailParamsRead - 1 likewise; the other tail ones are defaults
    std::string presetName;
    bool presetModified = false;
    int endPosition = -1; // just after the data read; -1 when the parameter values were cut short
};

enum class StateReading
{
    Whole,    // every field the version promises was there
    CutShort, // the parameter lists end early: what was read is usable, the rest is missing
    Damaged,  // our tag, but the rest cannot be trusted: a short head, an unknown version, a negative length or a
              // balance cut short; nothing of it may be applied
    NotOurs   // no tag at the start position: someone else's data (the framework reads plain parameter lists)
};

/**
 * Reads the state that starts at `startPos` of `size` bytes (versions 1 to 5). All offsets are checked in 64 bits
 * before anything is read, so no length field can make the reader step outside the bytes or backwards.
 */
StateReading readState(const std::uint8_t* bytes, std::size_t size, int startPos, StoredState& state);

} // namespace aubrevane::plugin
