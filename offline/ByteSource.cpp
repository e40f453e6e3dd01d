#include "offline/ByteSource.h"

#include <cerrno>

#include <unistd.h>

namespace aubrevane::offline
{

std::int64_t readDescriptor(int descriptor, void* into, std::size_t count)
{
    std::size_t done = 0;
    while (done < count)
    {
        const ssize_t got = ::read(descriptor, static_cast<char*>(into) + done, count - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && done == 0)
            return -1;
        if (got <= 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
}

} // namespace aubrevane::offline
