#pragma once

#include "wendlebrak/presets/Presets.h"

namespace aubrevane::offline
{

/** Aubrevane's flavour of the maker's preset files: "<base>/Aubrevane/Presets/<name>.avpreset". */
inline constexpr wendlebrak::presets::Format kPresetFormat{".avpreset", "Aubrevane preset 1", "Aubrevane", "Aubrevane"};

} // namespace aubrevane::offline
