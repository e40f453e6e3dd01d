#include "wendlebrak/presets/Base64.h"

#include <array>

namespace wendlebrak::presets
{
namespace
{

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kNotInAlphabet = -1;

constexpr std::array<int, 256> makeDecodeTable()
{
    std::array<int, 256> table{};
    table.fill(kNotInAlphabet);
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(kAlphabet[i])] = i;
    return table;
}

constexpr std::array<int, 256> kDecode = makeDecodeTable();

int sextet(char character)
{
    return kDecode[static_cast<unsigned char>(character)];
}

} // namespace

std::string toBase64(const std::vector<uint8_t>& bytes)
{
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3)
    {
        const uint32_t group = uint32_t(bytes[i]) << 16 | uint32_t(bytes[i + 1]) << 8 | bytes[i + 2];
        text += kAlphabet[group >> 18 & 63];
        text += kAlphabet[group >> 12 & 63];
        text += kAlphabet[group >> 6 & 63];
        text += kAlphabet[group & 63];
    }
    const std::size_t left = bytes.size() - i;
    if (left > 0)
    {
        const uint32_t group = uint32_t(bytes[i]) << 16 | (left == 2 ? uint32_t(bytes[i + 1]) << 8 : 0);
        text += kAlphabet[group >> 18 & 63];
        text += kAlphabet[group >> 12 & 63];
        text += left == 2 ? kAlphabet[group >> 6 & 63] : '=';
        text += '=';
    }
    return text;
}

bool fromBase64(const std::string& text, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    if (text.size() % 4 != 0)
        return false;
    bytes.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4)
    {
        const bool lastGroup = i + 4 == text.size();
        const int a = sextet(text[i]);
        const int b = sextet(text[i + 1]);
        if (a == kNotInAlphabet || b == kNotInAlphabet)
            return false;
        int c = sextet(text[i + 2]);
        int d = sextet(text[i + 3]);
        int byteCount = 3;
        if (lastGroup && text[i + 2] == '=' && text[i + 3] == '=')
        {
            c = d = 0;
            byteCount = 1;
        }
        else if (lastGroup && text[i + 3] == '=' && c != kNotInAlphabet)
        {
            d = 0;
            byteCount = 2;
        }
        if (c == kNotInAlphabet || d == kNotInAlphabet)
            return false;
        const uint32_t group = uint32_t(a) << 18 | uint32_t(b) << 12 | uint32_t(c) << 6 | uint32_t(d);
        bytes.push_back(static_cast<uint8_t>(group >> 16));
        if (byteCount > 1)
            bytes.push_back(static_cast<uint8_t>(group >> 8 & 0xFF));
        if (byteCount > 2)
            bytes.push_back(static_cast<uint8_t>(group & 0xFF));
    }
    return true;
}

} // namespace wendlebrak::presets
