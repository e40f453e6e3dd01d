#include "offline/FactoryTargets.h"

#include <algorithm>
#include <sstream>

namespace aubrevane::offline
{

std::vector<SavedTarget> factoryTargets()
{
    std::vector<SavedTarget> targets;
    for (const char* const* text = kFactoryTargetTexts; *text != nullptr; ++text)
    {
        std::istringstream in(*text);
        SavedTarget target;
        std::string ignored;
        if (parseTarget(in, target, ignored, "factory target"))
        {
            target.factory = true;
            targets.push_back(std::move(target));
        }
    }
    std::stable_sort(targets.begin(), targets.end(),
                     [](const SavedTarget& a, const SavedTarget& b) { return a.name < b.name; });
    return targets;
}

} // namespace aubrevane::offline
