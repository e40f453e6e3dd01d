#include "plugin/StateChunk.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>

namespace aubrevane::plugin
{
namespace
{

static_assert(std::endian::native == std::endian::little, "the state chunk is read in the machine's byte order");

/** A cursor over the chunk's bytes; every check is done in 64 bits, so no length field can wrap an offset. */
class Reader
{
public:
    Reader(const std::uint8_t* bytes, std::size_t size) : bytes(bytes), size(static_cast<std::int64_t>(size)) {}

    bool fits(std::int64_t at, std::int64_t count) const { return at >= 0 && count >= 0 && at + count <= size; }
    std::int32_t intAt(std::int64_t at) const
    {
        std::int32_t value;
        std::memcpy(&value, bytes + at, sizeof value);
        return value;
    }
    double doubleAt(std::int64_t at) const
    {
        double value;
        std::memcpy(&value, bytes + at, sizeof value);
        return value;
    }
    /** The bytes up to the first zero byte among `count` bytes at `at`. */
    std::string textAt(std::int64_t at, std::int64_t count) const
    {
        const auto* first = reinterpret_cast<const char*>(bytes + at);
        const void* zero = std::memchr(first, 0, static_cast<std::size_t>(count));
        return std::string(first, zero ? static_cast<const char*>(zero) : first + count);
    }

private:
    const std::uint8_t* bytes;
    std::int64_t size;
};

bool allFinite(const std::array<double, kTargetBands>& values)
{
    for (double value : values)
        if (!std::isfinite(value))
            return false;
    return true;
}

/** Notes where a run of `count` parameter values starts and how many of them lie within the bytes; the position
 *  after the run, or -1 when it is cut short. */
std::int64_t findValues(const Reader& reader, std::int64_t pos, int count, int& at, int& read)
{
    read = 0;
    while (read < count && reader.fits(pos + 8 * read, 8))
        ++read;
    if (read > 0)
        at = static_cast<int>(pos); // within the bytes, whose size is an int
    return read == count ? pos + 8 * count : -1;
}

} // namespace

StateReading readState(const std::uint8_t* bytes, std::size_t size, int startPos, StoredState& state)
{
    state = StoredState{};
    const Reader reader(bytes, size);
    const std::int64_t start = startPos;
    if (bytes == nullptr || !reader.fits(start, 4) || reader.intAt(start) != kStateTag)
        return StateReading::NotOurs;
    if (!reader.fits(start, kStateHeadBytes))
        return StateReading::Damaged;

    state.version = reader.intAt(start + 4);
    if (state.version < 1 || state.version > kStateVersion)
        return StateReading::Damaged;
    state.accent = reader.intAt(start + 8);
    state.width = reader.intAt(start + 12);
    state.height = reader.intAt(start + 16);
    state.targetPresent = reader.intAt(start + 20) != 0;
    for (int k = 0; k < kTargetBands; ++k)
        state.headTarget[k] = reader.doubleAt(start + 24 + 8 * k);
    std::int64_t pos = start + kStateHeadBytes;

    if (state.version >= 2)
    {
        if (!reader.fits(pos, 4))
            return StateReading::Damaged;
        const std::int64_t length = reader.intAt(pos);
        if (length < 0)
            return StateReading::Damaged;
        if (reader.fits(pos + 4, length))
            state.referenceName = reader.textAt(pos + 4, length);
        pos += 4 + length; // a name running past the end leaves every later field missing
    }

    pos = findValues(reader, pos, kHeadParamCount, state.headParamsAt, state.headParamsRead);

    state.balance = state.headTarget;
    if (state.version >= 3 && pos >= 0)
    {
        if (!reader.fits(pos, 8 * kTargetBands))
            return StateReading::Damaged;
        for (int k = 0; k < kTargetBands; ++k)
            state.balance[k] = reader.doubleAt(pos + 8 * k);
        pos += 8 * kTargetBands;
    }

    if (state.version >= 4 && pos >= 0)
    {
        if (!reader.fits(pos, 8))
            pos = -1;
        else
        {
            const std::int64_t count = reader.intAt(pos + 4); // the host bypass flag at pos is for information only
            pos += 8;
            const int taken = count > 0 ? static_cast<int>(std::min<std::int64_t>(count, kTailParamCount)) : 0;
            pos = findValues(reader, pos, taken, state.tailParamsAt, state.tailParamsRead);
            if (pos >= 0 && count > kTailParamCount)
                pos = reader.fits(pos, 8 * (count - kTailParamCount)) ? pos + 8 * (count - kTailParamCount) : -1;
        }
    }

    if (state.version >= 5 && pos >= 0 && reader.fits(pos, 8))
    {
        const std::int64_t length = reader.intAt(pos + 4);
        if (length < 0)
            return StateReading::Damaged;
        const std::int64_t end = pos + 8 + length;
        if (reader.fits(end, 4))
        {
            state.presetName = reader.textAt(pos + 8, length);
            state.presetModified = reader.intAt(end) != 0;
            pos = end + 4;
        }
    }

    // A target that is not finite everywhere is no target: the engine must never aim at a NaN.
    if (!allFinite(state.headTarget) || !allFinite(state.balance))
    {
        state.targetPresent = false;
        state.headTarget = {};
        state.balance = {};
    }

    if (pos > INT_MAX)
        return StateReading::Damaged;
    state.endPosition = static_cast<int>(pos);
    return pos < 0 ? StateReading::CutShort : StateReading::Whole;
}

} // namespace aubrevane::plugin
