#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wendlebrak::presets
{

/** Standard base64 (RFC 4648, section 4) with "=" padding and no line breaks; no bytes give an empty text. */
std::string toBase64(const std::vector<uint8_t>& bytes);

/** Strict base64 decoding: the length must be a multiple of 4, "=" may only pad the last group (one or two of
    them), and any other byte outside the alphabet fails. On failure the bytes hold what the groups before the
    bad one gave. */
[[nodiscard]] bool fromBase64(const std::string& text, std::vector<uint8_t>& bytes);

} // namespace wendlebrak::presets
