#pragma once

#include <cstdlib>
#include <filesystem>

namespace aubrevane::test
{

/** The temporary folder the test main made for the running test; it is removed when the test ends. */
inline std::filesystem::path testFolder()
{
    const char* folder = std::getenv("AUBREVANE_TEST_FOLDER");
    return folder ? std::filesystem::path(folder) : std::filesystem::temp_directory_path();
}

} // namespace aubrevane::test
