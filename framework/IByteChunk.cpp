#include "framework/IByteChunk.h"

#include <cstdint>
#include <cstring>
#include <new>

namespace iplug
{

int IByteChunk::PutBytes(const void* data, int size)
{
    if (failed || size < 0 || (size > 0 && data == nullptr) ||
        static_cast<std::int64_t>(bytes.size()) + size > static_cast<std::int64_t>(maxSize))
    {
        failed = true;
        return 0;
    }
    try
    {
        const auto* first = static_cast<const std::uint8_t*>(data);
        bytes.insert(bytes.end(), first, first + size);
    }
    catch (const std::bad_alloc&)
    {
        failed = true;
        return 0;
    }
    return static_cast<int>(bytes.size());
}

int IByteChunk::PutStr(const char* text)
{
    const std::int32_t length = text ? static_cast<std::int32_t>(std::strlen(text)) : 0;
    if (Put(&length) == 0)
        return 0;
    return PutBytes(text, length);
}

int IByteChunk::GetBytes(void* data, int size, int startPos) const
{
    const std::int64_t end = static_cast<std::int64_t>(startPos) + size;
    if (failed || startPos < 0 || size < 0 || end > static_cast<std::int64_t>(bytes.size()))
        return -1;
    if (size > 0)
        std::memcpy(data, bytes.data() + startPos, static_cast<std::size_t>(size));
    return static_cast<int>(end);
}

int IByteChunk::GetStr(WDL_String& text, int startPos) const
{
    std::int32_t length = 0;
    const int pos = Get(&length, startPos);
    if (pos < 0 || length < 0 || static_cast<std::int64_t>(pos) + length > static_cast<std::int64_t>(bytes.size()))
        return -1;
    text.Set(reinterpret_cast<const char*>(bytes.data() + pos), length);
    return pos + length;
}

void IByteChunk::Clear()
{
    bytes.clear();
    failed = false;
}

} // namespace iplug
