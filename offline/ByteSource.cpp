#include "offline/ByteSource.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

#include <sys/stat.h>
#include <unistd.h>

namespace aubrevane::offline
{

std::int64_t DescriptorSource::read(void* into, std::size_t count)
{
    return readDescriptor(descriptor, into, count);
}

std::int64_t DescriptorSource::seek(std::int64_t offset, int whence)
{
    return ::lseek(descriptor, offset, whence);
}

std::int64_t DescriptorSource::length()
{
    struct stat status
    {
    };
    return ::fstat(descriptor, &status) == 0 ? static_cast<std::int64_t>(status.st_size) : -1;
}

MemorySource::MemorySource(const void* data, std::size_t size)
    : data(static_cast<const unsigned char*>(data)), size(data != nullptr ? static_cast<std::int64_t>(size) : 0)
{
}

std::int64_t MemorySource::read(void* into, std::size_t count)
{
    const std::int64_t n = std::max<std::int64_t>(
        0, std::min(static_cast<std::int64_t>(std::min<std::size_t>(count, SIZE_MAX / 2)), size - position));
    if (n > 0)
        std::memcpy(into, data + position, static_cast<std::size_t>(n));
    position += n;
    return n;
}

std::int64_t MemorySource::seek(std::int64_t offset, int whence)
{
    const std::int64_t base = whence == SEEK_CUR ? position : whence == SEEK_END ? size : 0;
    if ((whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) || offset < -base ||
        offset > std::numeric_limits<std::int64_t>::max() - base)
        return -1;
    position = base + offset;
    return position;
}

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
