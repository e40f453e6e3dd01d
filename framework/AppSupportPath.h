#pragma once

#include "framework/WDL_String.h"

namespace iplug
{

/**
 * The user's application-support folder: $XDG_DATA_HOME when set and absolute, else $HOME/.local/share. Never
 * relative: `path` is left empty when no absolute folder can be named.
 */
void AppSupportPath(WDL_String& path);

} // namespace iplug
