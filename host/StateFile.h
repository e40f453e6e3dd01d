#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace aubrevane::host
{

/** Reads a saved plug-in state (what --save-state writes); false with a one-line message naming the file when it
 *  cannot be read or does not start as an Aubrevane state. */
[[nodiscard]] bool readStateFile(const std::string& path, std::vector<std::uint8_t>& state, std::string& error);

} // namespace aubrevane::host
