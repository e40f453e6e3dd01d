#pragma once

#include "offline/SavedTarget.h"

#include <vector>

namespace aubrevane::offline
{

/** The six built-in targets as complete target file texts (no "source=" line), ended by a null pointer. */
inline constexpr const char* kFactoryTargetTexts[] = {
    "Aubrevane target 1\nname=Female speech\n"
    "balance=-10.973 1.316 2.213 2.973 4.772 5.145 -0.022 -5.152 -9.929 -11.856 -10.865 -22.032\n",
    "Aubrevane target 1\nname=Female vocals pop\n"
    "balance=-16.951 -3.814 2.559 2.690 0.768 1.600 1.708 -3.106 -6.219 -6.482 -5.313 -14.984\n",
    "Aubrevane target 1\nname=Female vocals rock\n"
    "balance=-28.622 -16.667 -3.687 -0.241 1.455 5.930 3.156 -0.623 -5.990 -7.389 -7.231 -20.129\n",
    "Aubrevane target 1\nname=Male speech\n"
    "balance=-1.322 1.174 2.931 6.236 5.584 2.962 -0.038 -7.165 -10.511 -9.760 -10.371 -23.382\n",
    "Aubrevane target 1\nname=Male vocals pop\n"
    "balance=-16.209 -3.047 1.036 0.548 5.059 3.928 1.613 -4.560 -7.625 -7.506 -8.378 -15.707\n",
    "Aubrevane target 1\nname=Male vocals rock\n"
    "balance=-27.419 -14.612 -3.615 -0.955 0.706 0.882 4.623 2.649 -3.017 -5.567 -11.852 -28.264\n",
    nullptr,
};

/** The factory targets parsed from kFactoryTargetTexts, sorted by name, each marked `factory`. */
std::vector<SavedTarget> factoryTargets();

} // namespace aubrevane::offline
