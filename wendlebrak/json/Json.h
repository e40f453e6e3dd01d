#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace wendlebrak::json
{

/** One parsed JSON value; it owns all its children. Only the field that belongs to the kind is meaningful. */
struct Value
{
    static constexpr int kNull = 0;
    static constexpr int kBoolean = 1;
    static constexpr int kNumber = 2;
    static constexpr int kString = 3;
    static constexpr int kArray = 4;
    static constexpr int kObject = 5;

    // Declared here and defaulted below the class, where the member pair type is complete (some compilers
    // otherwise refuse the vector of members of a type still being defined).
    Value();
    ~Value();
    Value(const Value&);
    Value(Value&&) noexcept;
    Value& operator=(const Value&);
    Value& operator=(Value&&) noexcept;

    int kind = kNull;
    bool boolean = false;
    double number = 0.0;
    std::string text;
    std::vector<Value> items;
    std::vector<std::pair<std::string, Value>> members; // document order, duplicate keys kept

    /** The text of the first member named key when this is an object and that member is a string. */
    [[nodiscard]] std::optional<std::string> string(const std::string& key) const;
};

inline Value::Value() = default;
inline Value::~Value() = default;
inline Value::Value(const Value&) = default;
inline Value::Value(Value&&) noexcept = default;
inline Value& Value::operator=(const Value&) = default;
inline Value& Value::operator=(Value&&) noexcept = default;

/** The JSON string literal for any byte string, quotes included; reading it back gives the same bytes. */
[[nodiscard]] std::string quote(const std::string& bytes);

namespace detail
{

/** A strict recursive-descent cursor over one text; it serves one document and is then dropped. */
struct Reader
{
    /** Deepest nesting accepted: the document's value is at depth 0. */
    static constexpr int kMaxDepth = 8;

    const std::string& input; // must outlive the reader
    size_t pos = 0;

    /** The whole input as exactly one value, optionally surrounded by whitespace. */
    [[nodiscard]] std::optional<Value> document();
    [[nodiscard]] bool parse(Value& out, int depth);
    /** Appends the decoded bytes of the string literal at the position (does not clear out). */
    [[nodiscard]] bool string(std::string& out);
    [[nodiscard]] bool hex4(uint32_t& unit);
    static void appendUtf8(std::string& out, uint32_t codePoint);

private:
    /** What follows a member or an element: a comma, the container's closing byte, or anything else. */
    enum class Separator
    {
        kMore,
        kClosed,
        kBroken,
    };

    void skipWhitespace() noexcept;
    /** Consumes the opening byte; true, with the closing byte consumed too, when the container is empty. */
    [[nodiscard]] bool opensEmpty(unsigned char closing) noexcept;
    [[nodiscard]] Separator separator(unsigned char closing) noexcept;
    [[nodiscard]] bool literal(const char* word) noexcept;
    [[nodiscard]] bool number(Value& out);
    [[nodiscard]] bool object(Value& out, int depth);
    [[nodiscard]] bool array(Value& out, int depth);
    [[nodiscard]] bool atEnd() const noexcept { return pos >= input.size(); }
    [[nodiscard]] unsigned char peek() const noexcept { return static_cast<unsigned char>(input[pos]); }
};

} // namespace detail

} // namespace wendlebrak::json
