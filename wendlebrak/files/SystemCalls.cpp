#include "wendlebrak/files/SystemCalls.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace wendlebrak::files
{

const SystemCalls& realSystemCalls()
{
    static const SystemCalls calls{
        [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); },
        [](int descriptor, const void* data, size_t size) { return ::write(descriptor, data, size); },
        [](int descriptor) { return ::fsync(descriptor); },
        [](int descriptor) { return ::close(descriptor); },
        [](const char* from, const char* to) { return ::rename(from, to); },
        [](const char* path) { return ::unlink(path); },
    };
    return calls;
}

SystemCalls& systemCalls()
{
    static SystemCalls calls = realSystemCalls();
    return calls;
}

} // namespace wendlebrak::files
