#pragma once

#include <array>
#include <atomic>

namespace aubrevane::plugin
{

/**
 * What the audio thread publishes for the editor after every block. No version guards it: the display tolerates
 * values from two neighbouring blocks. The fields are relaxed atomics so that the editor's reads are no data race.
 */
struct ToneView
{
    std::array<std::atomic<float>, 12> gainDecibels{};
    std::array<std::atomic<float>, 12> bandDecibels{};
    std::atomic<float> learnProgress{0.0f};
    std::atomic<bool> aboveThreshold{false};
    std::atomic<bool> learning{false};

    // editor thread
    float gain(int band) const noexcept { return gainDecibels[band].load(std::memory_order_relaxed); }
    float level(int band) const noexcept { return bandDecibels[band].load(std::memory_order_relaxed); }
};

} // namespace aubrevane::plugin
