#pragma once

#include <optional>

namespace aubrevane::plugin
{

/**
 * Reads a number a user typed into a value box, in the parameter's own unit: a decimal comma is accepted, a unit
 * word after the number is ignored, and a "k" right after it (spaces allowed) multiplies by 1000 ("2 kHz" is 2000).
 * Empty when the text holds no number. Infinities and numbers too large for a double come back infinite ("inf",
 * "1e999", "1e308k"), so callers clamp them to the range's ends; a typed "nan" comes back as NaN, which callers ignore.
 */
[[nodiscard]] std::optional<double> parseTypedValue(const char* text);

} // namespace aubrevane::plugin
