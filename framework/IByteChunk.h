#pragma once

#include "framework/WDL_String.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

namespace iplug
{

/**
 * A byte buffer that values are appended to and read back from, in little-endian order whatever the machine:
 * integers and floating-point numbers by their bit pattern, strings as a 32-bit length and that many bytes.
 * An append can fail (no memory, or the chunk would pass its size limit). A failed append reports 0 and leaves
 * the chunk failed: its size reads 0 and every later append fails too, until Clear. So a writer that checks only
 * now and then still never hands out a chunk with a piece missing from its middle. Single thread.
 */
class IByteChunk
{
public:
    /** The largest chunk by default; a test may set a smaller limit to make appends fail. */
    static constexpr int kDefaultMaxSize = 0x7FFFFFF0;

    /** Appends one number; returns the new size, or 0 when the append failed. */
    template <typename T> int Put(const T* value)
    {
        static_assert((std::is_arithmetic_v<T> || std::is_enum_v<T>) && !std::is_same_v<T, bool>,
                      "only numbers have a defined byte order; store flags as integers");
        unsigned char bytes[sizeof(T)];
        toLittleEndian(*value, bytes);
        return PutBytes(bytes, static_cast<int>(sizeof(T)));
    }
    /** Appends the length of `text` up to its first zero byte as a 32-bit integer, then those bytes. */
    int PutStr(const char* text);
    int PutBytes(const void* data, int size);

    /** Reads one number at `startPos`; returns the position after it, or -1 when it does not fit. */
    template <typename T> int Get(T* value, int startPos) const
    {
        static_assert((std::is_arithmetic_v<T> || std::is_enum_v<T>) && !std::is_same_v<T, bool>,
                      "only numbers have a defined byte order; store flags as integers");
        unsigned char bytes[sizeof(T)];
        const int end = GetBytes(bytes, static_cast<int>(sizeof(T)), startPos);
        if (end >= 0)
            *value = fromLittleEndian<T>(bytes);
        return end;
    }
    /** Reads a string written by PutStr; -1 when its length is negative or its bytes do not fit. */
    int GetStr(WDL_String& text, int startPos) const;
    int GetBytes(void* data, int size, int startPos) const;

    int Size() const { return failed ? 0 : static_cast<int>(bytes.size()); }
    const std::uint8_t* GetData() const { return bytes.data(); }
    bool Failed() const { return failed; }
    void Clear();
    void SetMaxSize(int maxBytes) { maxSize = maxBytes; }

private:
    template <typename T> static void toLittleEndian(T value, unsigned char* out)
    {
        using U =
            std::conditional_t<sizeof(T) == 1, std::uint8_t,
                               std::conditional_t<sizeof(T) == 2, std::uint16_t,
                                                  std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>>;
        static_assert(sizeof(U) == sizeof(T));
        U bits;
        std::memcpy(&bits, &value, sizeof(T));
        for (std::size_t i = 0; i < sizeof(T); ++i)
            out[i] = static_cast<unsigned char>((bits >> (8 * i)) & 0xFF);
    }
    template <typename T> static T fromLittleEndian(const unsigned char* in)
    {
        using U =
            std::conditional_t<sizeof(T) == 1, std::uint8_t,
                               std::conditional_t<sizeof(T) == 2, std::uint16_t,
                                                  std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>>;
        U bits = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i)
            bits |= static_cast<U>(static_cast<U>(in[i]) << (8 * i));
        T value;
        std::memcpy(&value, &bits, sizeof(T));
        return value;
    }

    std::vector<std::uint8_t> bytes;
    int maxSize = kDefaultMaxSize;
    bool failed = false;
};

} // namespace iplug
