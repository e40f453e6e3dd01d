#pragma once

namespace aubrevane::plugin
{

/** The framework's packed version (major in the upper 16 bits, then minor and patch) and the same version as text;
    the two must always name the same release. */
inline constexpr int kVendorVersion = 0x0000090E;
inline constexpr const char* kVersionText = "0.9.14";
static_assert(kVendorVersion == (0 << 16 | 9 << 8 | 14));

} // namespace aubrevane::plugin
