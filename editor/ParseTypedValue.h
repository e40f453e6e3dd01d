#pragma once

#include <optional>

namespace aubrevane::plugin
{

/**
 * Reads a number a user typed into a value box, in the parameter's own unit: a decimal comma is accepted, a unit
 * word after the number is ignored, and a "k" right after it (spaces allowed) multiplies by 1000 ("2 kHz" is 2000).
 * Empty when the text holds no number, and also when the number is not finite ("nan", "inf", "1e999"), so such a
 * value can never reach a parameter.
 */
[[nodiscard]] std::optional<double> parseTypedValue(const char* text);

} // namespace aubrevane::plugin
