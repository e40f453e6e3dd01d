#include "editor/ParseTypedValue.h"

#include <clocale>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace aubrevane::plugin
{
namespace
{
bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

/** The classic "C" locale, so a user's locale never changes what a decimal point is. */
locale_t classicLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}
} // namespace

std::optional<double> parseTypedValue(const char* text)
{
    if (text == nullptr)
        return std::nullopt;
    std::string copy(text);
    for (char& c : copy)
        if (c == ',')
            c = '.';
    const char* start = copy.c_str();
    while (isSpace(*start))
        ++start;
    char* end = nullptr;
    double number = strtod_l(start, &end, classicLocale());
    if (end == start)
        return std::nullopt;
    while (isSpace(*end))
        ++end;
    if (*end == 'k' || *end == 'K')
        number *= 1000.0;
    return number;
}

} // namespace aubrevane::plugin
