#pragma once

#include "framework/WDL_String.h"

namespace iplug
{

/**
 * The application-support folder: for the user ($XDG_DATA_HOME when set and absolute, else $HOME/.local/share)
 * or, with `isSystem`, the machine's shared folder. Never relative: `path` is left empty when no absolute
 * folder can be named.
 */
void AppSupportPath(WDL_String& path, bool isSystem = false);

} // namespace iplug
