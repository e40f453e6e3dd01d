#include "host/StateFile.h"

#include "host/HostedPlugin.h"
#include "plugin/StateChunk.h"
#include "wendlebrak/files/Files.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace aubrevane::host
{
namespace
{

constexpr std::size_t kLargestState = 1 << 24; // far above any state the plug-in writes
constexpr const char* kStateTag = "1SVA";

bool readStateFile(const std::string& path, std::vector<std::uint8_t>& state, std::string& error)
{
    std::error_code status;
    const auto type = std::filesystem::status(path, status).type();
    if (type == std::filesystem::file_type::not_found)
        error = "could not read " + path + ": no such file";
    else if (type == std::filesystem::file_type::directory)
        error = "could not read " + path + ": it is a folder";
    else if (status)
        error = "could not read " + path + ": " + status.message();
    else
    {
        std::string bytes;
        errno = 0;
        if (type != std::filesystem::file_type::regular || std::filesystem::file_size(path, status) > kLargestState)
            error = path + " does not hold an Aubrevane state";
        else if (!wendlebrak::files::readSmallFile(path, kLargestState, bytes))
            error = "could not read " + path + (errno != 0 ? ": " + wendlebrak::files::systemReason(errno) : "");
        else if (bytes.size() < 4 || std::memcmp(bytes.data(), kStateTag, 4) != 0)
            error = path + " does not hold an Aubrevane state";
        else
        {
            state.assign(bytes.begin(), bytes.end());
            return true;
        }
    }
    return false;
}

/** The version field after the tag, a little-endian 32-bit integer as the plug-in writes it; 0 when cut off. */
std::int64_t stateVersion(const std::vector<std::uint8_t>& state)
{
    if (state.size() < 8)
        return 0;
    std::uint32_t field = 0;
    for (int i = 3; i >= 0; --i)
        field = (field << 8) | state[4 + i];
    return static_cast<std::int32_t>(field);
}

} // namespace

bool restoreStateFile(HostedPlugin& plugin, const std::string& path, std::string& error)
{
    std::vector<std::uint8_t> state;
    if (!readStateFile(path, state, error))
        return false;
    if (const std::int64_t version = stateVersion(state); version > aubrevane::plugin::kStateVersion)
    {
        error = path + ": the state was saved by a newer version (state version " + std::to_string(version) +
                "); this one reads up to version " + std::to_string(aubrevane::plugin::kStateVersion);
        return false;
    }
    if (plugin.restoreState(state))
        return true;
    error = path + ": the state is damaged";
    return false;
}

} // namespace aubrevane::host
