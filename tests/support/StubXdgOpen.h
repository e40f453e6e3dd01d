#pragma once

#include "support/RunProgram.h"
#include "support/TestFolder.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace aubrevane::test
{

/** A folder for PATH holding a stub xdg-open that writes its argument count and arguments, one a line, to
 *  `xdg-open-args.txt` in the test's folder, then marks it written. It uses shell built-ins only, since the PATH it
 *  runs with may hold nothing else, and finds that file from its own path, so no path is written into the script. */
inline std::filesystem::path stubXdgOpenFolder()
{
    const std::filesystem::path bin = testFolder() / "bin";
    std::filesystem::create_directories(bin);
    std::ofstream(bin / "xdg-open") << "#!/bin/sh\nargs=\"${0%/*}/../xdg-open-args.txt\"\n"
                                       "printf '%s\\n' \"$#\" \"$@\" > \"$args\" && : > \"$args.done\"\n";
    std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
    return bin;
}

/** What the stub recorded; it runs detached, so this waits (up to ten seconds) for it to finish writing. */
inline std::string xdgOpenArguments()
{
    const std::filesystem::path args = testFolder() / "xdg-open-args.txt";
    for (int i = 0; i < 1000 && !std::filesystem::exists(args.string() + ".done"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return readText(args);
}

} // namespace aubrevane::test
