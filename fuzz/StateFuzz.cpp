// Fuzzes the plug-in's state restore on a headless instance: any bytes a host or preset file hands over must leave
// every parameter usable, and whatever the instance then saves must restore into another instance unchanged.
#include "fuzz/FuzzCheck.h"
#include "plugin/Aubrevane.h"
#include "tests/support/PrivateDataFolder.h"

#include <cmath>
#include <memory>
#include <vector>

using aubrevane::fuzz::check;

namespace
{

using Bytes = std::vector<std::uint8_t>;

/** A new instance as a host has it when it restores a session: made, not yet prepared for audio. */
std::unique_ptr<Aubrevane> freshInstance()
{
    return std::make_unique<Aubrevane>(iplug::InstanceInfo{"Aubrevane_View"});
}

int restore(Aubrevane& plugin, const Bytes& prefix, const std::uint8_t* data, size_t size)
{
    iplug::IByteChunk chunk;
    if (!prefix.empty())
        chunk.PutBytes(prefix.data(), static_cast<int>(prefix.size()));
    if (size > 0)
        chunk.PutBytes(data, static_cast<int>(size));
    return plugin.UnserializeState(chunk, static_cast<int>(prefix.size()));
}

Bytes serialized(const Aubrevane& plugin)
{
    iplug::IByteChunk chunk;
    check(plugin.SerializeState(chunk));
    return Bytes(chunk.GetData(), chunk.GetData() + chunk.Size());
}

void checkParametersUsable(const Aubrevane& plugin)
{
    for (int index = 0; index < kNumParams; ++index)
    {
        const iplug::IParam* param = plugin.GetParam(index);
        const double value = param->Value();
        check(std::isfinite(value) && value >= param->GetMin() && value <= param->GetMax());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    aubrevane::test::usePrivateDataFolder();
    if (size > (1u << 20))
        return 0; // a host never hands over a state this large; the chunk's int sizes would not hold it either

    // Read from the chunk's start: the end position lies inside the bytes and past where reading began.
    const auto first = freshInstance();
    const int end = restore(*first, {}, data, size);
    check(end == -1 || (end >= 0 && static_cast<size_t>(end) <= size));
    checkParametersUsable(*first);

    // The same bytes behind someone else's data read the same way, shifted by the data in front.
    const Bytes prefix{0xde, 0xad, 0xbe, 0xef, 0, 0, 0};
    const auto shifted = freshInstance();
    const int shiftedEnd = restore(*shifted, prefix, data, size);
    const bool ours = size >= 4 && data[0] == 0x31 && data[1] == 0x53 && data[2] == 0x56 && data[3] == 0x41;
    if (ours) // a plain parameter list depends on where it starts, so only our own chunks must match
        check(shiftedEnd == (end < 0 ? -1 : end + static_cast<int>(prefix.size())));
    checkParametersUsable(*shifted);

    // Whatever the instance holds now, saved and restored into a second instance, saves to the same bytes.
    const Bytes saved = serialized(*first);
    const auto second = freshInstance();
    check(restore(*second, {}, saved.data(), saved.size()) == static_cast<int>(saved.size()));
    checkParametersUsable(*second);
    check(serialized(*second) == saved);
    return 0;
}
