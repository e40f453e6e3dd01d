#pragma once

#include "dsp/Bands.h"

#include <atomic>
#include <string>
#include <vector>

namespace aubrevane::offline
{

/**
 * Worker thread: measures the balance of a decoded reference with a private tone engine at the file's own rate,
 * summing band powers while the engine's gate (set 20 dB below the file's loud level) is open. Bands the engine
 * does not analyse at this rate read 0. On failure the message is "the file is too short to learn from", "the file
 * is silent or too quiet to learn from" or "less than two seconds of the file was loud enough to learn from" (or
 * kCancelledMessage when `cancel` was raised) and `balance` is untouched. Throws only what allocation throws.
 */
[[nodiscard]] bool measureBalance(const std::vector<float>& samples, double sampleRate, dsp::Balance& balance,
                                  std::string& message, const std::atomic<bool>* cancel = nullptr);

} // namespace aubrevane::offline
