#include "wendlebrak/json/Json.h"

#include <locale.h>
#include <stdlib.h>

namespace wendlebrak::json
{

namespace
{

bool isDigit(unsigned char byte) noexcept
{
    return byte >= '0' && byte <= '9';
}

/** The "C" locale, so a host that sets a comma as its decimal separator cannot change how numbers read. */
locale_t numberLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return locale;
}

} // namespace

std::optional<std::string> Value::string(const std::string& key) const
{
    if (kind != kObject)
        return std::nullopt;
    for (const auto& [name, value] : members)
    {
        if (name == key)
            return value.kind == kString ? std::optional<std::string>(value.text) : std::nullopt;
    }
    return std::nullopt;
}

std::string quote(const std::string& bytes)
{
    static constexpr char kHexDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() + 2);
    out += '"';
    for (const char c : bytes)
    {
        const auto byte = static_cast<unsigned char>(c);
        switch (byte)
        {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (byte < 0x20)
            {
                out += "\\u00";
                out += kHexDigits[byte >> 4];
                out += kHexDigits[byte & 0xF];
            }
            else
            {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

namespace detail
{

std::optional<Value> Reader::document()
{
    Value value;
    if (!parse(value, 0))
        return std::nullopt;
    skipWhitespace();
    if (!atEnd())
        return std::nullopt;
    return value;
}

bool Reader::parse(Value& out, int depth)
{
    if (depth > kMaxDepth)
        return false;
    skipWhitespace();
    if (atEnd())
        return false;
    switch (peek())
    {
    case '{':
        return object(out, depth);
    case '[':
        return array(out, depth);
    case 't':
        out.kind = Value::kBoolean;
        out.boolean = true;
        return literal("true");
    case 'f':
        out.kind = Value::kBoolean;
        out.boolean = false;
        return literal("false");
    case 'n':
        return literal("null");
    case '"':
        out.kind = Value::kString;
        return string(out.text);
    default:
        return number(out);
    }
}

bool Reader::string(std::string& out)
{
    if (atEnd() || peek() != '"')
        return false;
    ++pos;
    while (true)
    {
        if (atEnd())
            return false;
        const unsigned char byte = peek();
        ++pos;
        if (byte == '"')
            return true;
        if (byte < 0x20)
            return false;
        if (byte != '\\')
        {
            out += static_cast<char>(byte);
            continue;
        }
        if (atEnd())
            return false;
        const unsigned char escaped = peek();
        ++pos;
        switch (escaped)
        {
        case '"':
        case '/':
        case '\\':
            out += static_cast<char>(escaped);
            break;
        case 'b':
            out += '\b';
            break;
        case 'f':
            out += '\f';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'u':
        {
            uint32_t unit = 0;
            if (!hex4(unit))
                return false;
            if (unit >= 0xDC00 && unit <= 0xDFFF)
                return false;
            if (unit >= 0xD800 && unit <= 0xDBFF)
            {
                if (input.size() - pos < 2 || input[pos] != '\\' || input[pos + 1] != 'u')
                    return false;
                pos += 2;
                uint32_t low = 0;
                if (!hex4(low) || low < 0xDC00 || low > 0xDFFF)
                    return false;
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            }
            appendUtf8(out, unit);
            break;
        }
        default:
            return false;
        }
    }
}

bool Reader::hex4(uint32_t& unit)
{
    if (input.size() - pos < 4)
        return false;
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
    {
        const unsigned char byte = peek();
        uint32_t digit = 0;
        if (byte >= '0' && byte <= '9')
            digit = byte - '0';
        else if (byte >= 'a' && byte <= 'f')
            digit = byte - 'a' + 10;
        else if (byte >= 'A' && byte <= 'F')
            digit = byte - 'A' + 10;
        else
            return false;
        value = value * 16 + digit;
        ++pos;
    }
    unit = value;
    return true;
}

void Reader::appendUtf8(std::string& out, uint32_t codePoint)
{
    const auto continuation = [&](int shift) { out += static_cast<char>(0x80 | ((codePoint >> shift) & 0x3F)); };
    if (codePoint < 0x80)
    {
        out += static_cast<char>(codePoint);
    }
    else if (codePoint < 0x800)
    {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        continuation(0);
    }
    else if (codePoint < 0x10000)
    {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        continuation(6);
        continuation(0);
    }
    else
    {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        continuation(12);
        continuation(6);
        continuation(0);
    }
}

void Reader::skipWhitespace() noexcept
{
    while (!atEnd())
    {
        const unsigned char byte = peek();
        if (byte != ' ' && byte != '\t' && byte != '\n' && byte != '\r')
            return;
        ++pos;
    }
}

bool Reader::literal(const char* word) noexcept
{
    for (; *word != '\0'; ++word, ++pos)
    {
        if (atEnd() || input[pos] != *word)
            return false;
    }
    return true;
}

bool Reader::number(Value& out)
{
    const size_t start = pos;
    if (!atEnd() && peek() == '-')
        ++pos;
    if (atEnd() || !isDigit(peek()))
        return false;
    if (peek() == '0')
    {
        ++pos;
    }
    else
    {
        while (!atEnd() && isDigit(peek()))
            ++pos;
    }
    if (!atEnd() && peek() == '.')
    {
        ++pos;
        if (atEnd() || !isDigit(peek()))
            return false;
        while (!atEnd() && isDigit(peek()))
            ++pos;
    }
    if (!atEnd() && (peek() == 'e' || peek() == 'E'))
    {
        ++pos;
        if (!atEnd() && (peek() == '+' || peek() == '-'))
            ++pos;
        if (atEnd() || !isDigit(peek()))
            return false;
        while (!atEnd() && isDigit(peek()))
            ++pos;
    }
    // strtod would read on past the JSON grammar ("0x10" as hexadecimal), so it sees only the matched bytes.
    const std::string matched = input.substr(start, pos - start);
    out.kind = Value::kNumber;
    const locale_t locale = numberLocale();
    out.number = locale != static_cast<locale_t>(0) ? strtod_l(matched.c_str(), nullptr, locale)
                                                    : strtod(matched.c_str(), nullptr);
    return true;
}

bool Reader::opensEmpty(unsigned char closing) noexcept
{
    ++pos;
    skipWhitespace();
    if (atEnd() || peek() != closing)
        return false;
    ++pos;
    return true;
}

Reader::Separator Reader::separator(unsigned char closing) noexcept
{
    skipWhitespace();
    if (atEnd())
        return Separator::kBroken;
    const unsigned char byte = peek();
    ++pos;
    if (byte == ',')
        return Separator::kMore;
    return byte == closing ? Separator::kClosed : Separator::kBroken;
}

bool Reader::object(Value& out, int depth)
{
    out.kind = Value::kObject;
    if (opensEmpty('}'))
        return true;
    while (true)
    {
        skipWhitespace();
        std::string key;
        if (!string(key))
            return false;
        skipWhitespace();
        if (atEnd() || peek() != ':')
            return false;
        ++pos;
        Value member;
        if (!parse(member, depth + 1))
            return false;
        out.members.emplace_back(std::move(key), std::move(member));
        if (const Separator next = separator('}'); next != Separator::kMore)
            return next == Separator::kClosed;
    }
}

bool Reader::array(Value& out, int depth)
{
    out.kind = Value::kArray;
    if (opensEmpty(']'))
        return true;
    while (true)
    {
        Value item;
        if (!parse(item, depth + 1))
            return false;
        out.items.push_back(std::move(item));
        if (const Separator next = separator(']'); next != Separator::kMore)
            return next == Separator::kClosed;
    }
}

} // namespace detail

} // namespace wendlebrak::json
