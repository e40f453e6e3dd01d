#include "framework/WDL_String.h"

#include <cstring>

void WDL_String::Set(const char* value, int maxLength)
{
    if (value == nullptr)
    {
        text.clear();
        return;
    }
    // with a limit, stop at the first zero byte inside it: the bytes need not be terminated
    const std::size_t length =
        maxLength >= 0 ? strnlen(value, static_cast<std::size_t>(maxLength)) : std::strlen(value);
    text.assign(value, length);
}
