#pragma once

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace aubrevane::test
{

/**
 * For programs without the test main (fuzzers, benchmarks): once per process, points XDG_DATA_HOME and
 * WENDLEBRAK_DATA_DIR at a fresh folder under /tmp, removed again when the process exits, so a plug-in instance
 * never reads or writes the user's own folders.
 */
inline void usePrivateDataFolder()
{
    static char folder[] = "/tmp/aubrevane-data-XXXXXX";
    static const bool ready = []
    {
        if (mkdtemp(folder) == nullptr)
            std::abort();
        setenv("XDG_DATA_HOME", folder, 1);
        setenv("WENDLEBRAK_DATA_DIR", folder, 1);
        std::atexit([]
        {
            std::error_code ignored;
            std::filesystem::remove_all(folder, ignored);
        });
        return true;
    }();
    (void)ready;
}

} // namespace aubrevane::test
