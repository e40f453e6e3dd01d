#pragma once

#include <functional>
#include <string>
#include <vector>

namespace wendlebrak::controls
{

/** The preset bar's roads to a product's presets. Any member may be empty; the bar then falls back to no names,
 *  no current preset, not modified, and does nothing for the actions. */
struct PresetHooks
{
    /** The saved presets' names, in the order the bar shows and steps through them. */
    std::function<std::vector<std::string>()> listNames;
    /** The current preset's name; empty when there is none. */
    std::function<std::string()> currentName;
    std::function<void(const std::string&)> load;
    /** Saves the current sound under the name; the product may ask before replacing another preset. */
    std::function<void(const std::string&)> save;
    std::function<void(const std::string&)> remove;
    /** Whether the sound differs from the loaded preset. */
    std::function<bool()> modified;
};

} // namespace wendlebrak::controls
