// Fuzzes the target file reader: whatever it accepts holds twelve usable numbers and survives a write and a re-read.
#include "fuzz/FuzzCheck.h"
#include "offline/SavedTarget.h"

#include <algorithm>
#include <cmath>
#include <sstream>

using aubrevane::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace aubrevane::offline;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    SavedTarget target;
    std::string message;
    if (!parseTarget(in, target, message, "Input"))
    {
        check(message == "not an Aubrevane target: Input" || message == "the target has no complete curve: Input");
        return 0;
    }
    check(!target.name.empty() && target.path.empty() && !target.factory);
    for (double value : target.balance)
        check(std::isfinite(value) && std::fabs(value) <= kMaxTargetDecibels);

    // Written and read again: the same strings (line breaks become spaces) and the values to three decimals.
    std::istringstream written(formatTarget(target.name, target.source, target.balance));
    SavedTarget again;
    check(parseTarget(written, again, message, "Again"));
    std::string name = target.name, source = target.source;
    std::replace(name.begin(), name.end(), '\r', ' ');
    std::replace(source.begin(), source.end(), '\r', ' ');
    check(again.name == name && again.source == source);
    for (std::size_t k = 0; k < target.balance.size(); ++k)
        check(std::fabs(again.balance[k] - target.balance[k]) <= 0.0005 + 1e-9);
    return 0;
}
