#include "framework/AppSupportPath.h"

#include <cstdlib>
#include <string>

namespace iplug
{

void AppSupportPath(WDL_String& path)
{
    path.Set("");
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome != nullptr && dataHome[0] == '/')
    {
        path.Set(dataHome);
        return;
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        path.Set((std::string(home) + "/.local/share").c_str());
}

} // namespace iplug
