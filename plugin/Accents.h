#pragma once

namespace aubrevane::plugin
{

/** One named accent colour of the editor; its position in kAccents is the accent index the state stores. */
struct Accent
{
    const char* name;
    int red;
    int green;
    int blue;
};

inline constexpr int kNumAccents = 6;

/** Row 5, "DAW color", would follow the host's track colour; no host here reports one, so it shows its own green. */
inline constexpr Accent kAccents[kNumAccents] = {
    {"Green", 21, 232, 121}, {"Red", 233, 21, 90},    {"Orange", 255, 122, 0},
    {"Blue", 0, 184, 255},   {"Purple", 134, 0, 255}, {"DAW color", 21, 232, 121},
};

inline constexpr int kDawColourAccent = 5;

} // namespace aubrevane::plugin
