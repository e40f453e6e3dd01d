#pragma once

#include <cstdlib>

namespace aubrevane::fuzz
{

/** A broken property ends the run with an abort, which both libFuzzer and the corpus replay test report. */
inline void check(bool holds)
{
    if (!holds)
        std::abort();
}

} // namespace aubrevane::fuzz
