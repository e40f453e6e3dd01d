// Fuzzes the JSON reader and the string quoter: no crash, quoting reads back exactly, trailing bytes are refused.
#include "fuzz/FuzzCheck.h"
#include "wendlebrak/json/Json.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

using aubrevane::fuzz::check;

namespace
{

std::optional<wendlebrak::json::Value> parseDocument(const std::string& text)
{
    wendlebrak::json::detail::Reader reader{text};
    return reader.document();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The update check never parses more than 65536 bytes.
    if (size > 65536)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);

    const auto quoted = parseDocument(wendlebrak::json::quote(text));
    check(quoted && quoted->kind == wendlebrak::json::Value::kString && quoted->text == text);

    if (parseDocument(text))
    {
        check(!parseDocument(text + std::string(1, '\0')));
        check(!parseDocument(text + "x"));
    }
    return 0;
}
