#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace aubrevane::test
{

/** The fields of a stored state, written out in the layout of any version 1 to 5 (independently of the reader). */
struct StateSpec
{
    std::int32_t version = 5;
    std::int32_t accent = 2;
    std::int32_t width = 1080;
    std::int32_t height = 798;
    std::int32_t targetPresent = 1;
    std::array<double, 12> headTarget{};
    std::string referenceName = "song.wav";
    std::int32_t referenceLength = -2; // -2: the name's own length
    std::array<double, 24> headParams{};
    std::array<double, 12> balance{};
    std::int32_t bypass = 0;
    std::int32_t tailCount = 22;
    std::vector<double> tailParams;
    std::string presetName = "Vocal";
    std::int32_t presetLength = -2;
    std::int32_t modified = 1;
};

class StateBytes
{
public:
    void integer(std::int32_t value) { append(&value, 4); }
    void number(double value) { append(&value, 8); }
    void text(const std::string& value, std::int32_t length)
    {
        integer(length == -2 ? static_cast<std::int32_t>(value.size()) : length);
        append(value.data(), value.size());
    }
    std::vector<std::uint8_t> bytes;

private:
    void append(const void* data, std::size_t size)
    {
        const auto* first = static_cast<const std::uint8_t*>(data);
        bytes.insert(bytes.end(), first, first + size);
    }
};

inline std::vector<std::uint8_t> stateBytes(const StateSpec& spec)
{
    StateBytes out;
    out.integer(0x41565331);
    out.integer(spec.version);
    out.integer(spec.accent);
    out.integer(spec.width);
    out.integer(spec.height);
    out.integer(spec.targetPresent);
    for (double value : spec.headTarget)
        out.number(value);
    if (spec.version >= 2)
        out.text(spec.referenceName, spec.referenceLength);
    for (double value : spec.headParams)
        out.number(value);
    if (spec.version >= 3)
        for (double value : spec.balance)
            out.number(value);
    if (spec.version >= 4)
    {
        out.integer(spec.bypass);
        out.integer(spec.tailCount);
        for (double value : spec.tailParams)
            out.number(value);
    }
    if (spec.version >= 5)
    {
        out.integer(spec.bypass);
        out.text(spec.presetName, spec.presetLength);
        out.integer(spec.modified);
    }
    return out.bytes;
}

} // namespace aubrevane::test
