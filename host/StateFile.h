#pragma once

#include <string>

namespace aubrevane::host
{

class HostedPlugin;

/** Restores a saved plug-in state (what --save-state writes) into the plug-in; false with a one-line message naming
 *  the file when it cannot be read, does not start as an Aubrevane state, was saved by a newer version or is
 *  damaged. */
[[nodiscard]] bool restoreStateFile(HostedPlugin& plugin, const std::string& path, std::string& error);

} // namespace aubrevane::host
