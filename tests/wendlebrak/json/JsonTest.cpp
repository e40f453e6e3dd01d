#include "wendlebrak/json/Json.h"

#include "support/RunProgram.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace
{

using wendlebrak::json::Value;

std::optional<Value> parseDocument(const std::string& text)
{
    wendlebrak::json::detail::Reader reader{text};
    return reader.document();
}

std::string nested(int depth, const std::string& inner)
{
    return std::string(depth, '[') + inner + std::string(depth, ']');
}

struct DocumentCase
{
    std::string text;
    bool accepted;
};

void PrintTo(const DocumentCase& documentCase, std::ostream* out)
{
    *out << testing::PrintToString(documentCase.text);
}

class JsonDocument : public testing::TestWithParam<DocumentCase>
{
};

TEST_P(JsonDocument, IsAcceptedOnlyWhenStrictlyWellFormed)
{
    EXPECT_EQ(parseDocument(GetParam().text).has_value(), GetParam().accepted);
}

INSTANTIATE_TEST_SUITE_P(
    Table, JsonDocument,
    testing::Values(
        // whole documents and whitespace
        DocumentCase{"", false}, DocumentCase{" \t\r\n", false}, DocumentCase{" { } ", true}, DocumentCase{"[]", true},
        DocumentCase{"\n[ 1 , 2 ]\r\n", true}, DocumentCase{"\f[]", false}, DocumentCase{"[] []", false},
        DocumentCase{std::string("{}\0", 3), false}, DocumentCase{"null", true}, DocumentCase{"true", true},
        DocumentCase{"false", true}, DocumentCase{"truex", false}, DocumentCase{"[truex]", false},
        DocumentCase{"tru", false}, DocumentCase{"nul", false}, DocumentCase{"True", false},
        // separators
        DocumentCase{"[1,]", false}, DocumentCase{"[,1]", false}, DocumentCase{"[1 2]", false},
        DocumentCase{"{\"a\":1,}", false}, DocumentCase{"{\"a\" 1}", false}, DocumentCase{"{a:1}", false},
        DocumentCase{"{\"a\":}", false}, DocumentCase{"{\"a\":1", false}, DocumentCase{"[1", false},
        DocumentCase{"{\"a\":1 \"b\":2}", false}, DocumentCase{"{\"a\":1,\"a\":2}", true},
        // numbers
        DocumentCase{"0", true}, DocumentCase{"-0", true}, DocumentCase{"01", false}, DocumentCase{"[01]", false},
        DocumentCase{"-", false}, DocumentCase{"1.", false}, DocumentCase{".5", false}, DocumentCase{"+1", false},
        DocumentCase{"1e", false}, DocumentCase{"1e+", false}, DocumentCase{"1E-7", true},
        DocumentCase{"-0.5E+2", true}, DocumentCase{"0x10", false}, DocumentCase{"1e999", true},
        DocumentCase{"Infinity", false}, DocumentCase{"NaN", false}, DocumentCase{"- 1", false},
        // strings and escapes
        DocumentCase{"\"\"", true}, DocumentCase{"\"abc", false}, DocumentCase{"\"a\tb\"", false},
        DocumentCase{"\"\\u0009\"", true}, DocumentCase{"\"\\x\"", false}, DocumentCase{"\"\\\"", false},
        DocumentCase{"\"\\u12\"", false}, DocumentCase{"\"\\u12G4\"", false}, DocumentCase{"\"\\uDE00\"", false},
        DocumentCase{"\"\\uD83D\"", false}, DocumentCase{"\"\\uD83Dx\"", false}, DocumentCase{"\"\\uD83D\\n\"", false},
        DocumentCase{"\"\\uD83D\\uD83D\"", false}, DocumentCase{"\"\\uD83D\\uDE00\"", true},
        DocumentCase{"\"\\uD83D\\u\"", false}, DocumentCase{"\"\\u0000\"", true}, DocumentCase{"\"\xC3\x28\"", true},
        DocumentCase{"\"\x7F\"", true},
        // nesting: the document's value is at depth 0, so eight levels of containers may hold a value
        DocumentCase{nested(8, "1"), true}, DocumentCase{nested(9, "1"), false}, DocumentCase{nested(9, ""), true},
        DocumentCase{nested(10, ""), false}, DocumentCase{nested(4000, ""), false},
        DocumentCase{"{\"a\":{\"a\":{\"a\":{\"a\":{\"a\":{\"a\":{\"a\":{\"a\":{}}}}}}}}}", true},
        DocumentCase{"{\"a\":{\"a\":{\"a\":{\"a\":{\"a\":{\"a\":{\"a\":{\"a\":{\"a\":1}}}}}}}}}", false}));

TEST(JsonReader, DecodesEscapesToTheirBytes)
{
    const std::pair<std::string, std::string> table[] = {
        {"\"\\\"\\\\\\/\"", "\"\\/"},
        {"\"\\b\\f\\n\\r\\t\"", "\b\f\n\r\t"},
        {"\"\\u0009\"", "\t"},
        {"\"\\u00e9\\u00E9\"", "\xC3\xA9\xC3\xA9"},
        {"\"\\u20AC\"", "\xE2\x82\xAC"},
        {"\"\\uD83D\\uDE00\"", "\xF0\x9F\x98\x80"},
        {"\"\\uDBFF\\uDFFF\"", "\xF4\x8F\xBF\xBF"},
        {"\"a\\u0000b\"", std::string("a\0b", 3)},
        {"\"\xC3\x28\"", "\xC3\x28"},
    };
    for (const auto& [text, bytes] : table)
    {
        const auto value = parseDocument(text);
        ASSERT_TRUE(value) << text;
        EXPECT_EQ(value->kind, Value::kString) << text;
        EXPECT_EQ(value->text, bytes) << text;
    }
}

TEST(JsonReader, ReadsNumbersRegardlessOfTheProcessLocale)
{
    // A host may switch the process to a locale whose decimal separator is a comma; build one for this test.
    const auto folder = aubrevane::test::testFolder() / "locales";
    std::filesystem::create_directories(folder);
    const auto built =
        aubrevane::test::runProgram("localedef", {"-i", "de_DE", "-f", "UTF-8", folder / "de_DE.UTF-8"}, folder);
    setenv("LOCPATH", folder.c_str(), 1);
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    if (built.exitCode != 0 || std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr)
    {
        unsetenv("LOCPATH");
        GTEST_SKIP() << "no locale with a decimal comma could be built";
    }
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    const auto value = parseDocument("[-0.5E+2, 0.25, 1e999, -0]");
    std::setlocale(LC_NUMERIC, previous.c_str());
    unsetenv("LOCPATH");

    ASSERT_TRUE(value);
    ASSERT_EQ(value->items.size(), 4u);
    EXPECT_EQ(value->items[0].number, -50.0);
    EXPECT_EQ(value->items[1].number, 0.25);
    EXPECT_TRUE(std::isinf(value->items[2].number));
    EXPECT_TRUE(std::signbit(value->items[3].number));
}

TEST(JsonReader, KeepsDocumentOrderAndEveryDuplicateKey)
{
    const auto value = parseDocument("{\"b\":[true,false,null],\"a\":1,\"a\":\"x\"}");
    ASSERT_TRUE(value);
    ASSERT_EQ(value->kind, Value::kObject);
    ASSERT_EQ(value->members.size(), 3u);
    EXPECT_EQ(value->members[0].first, "b");
    const auto& items = value->members[0].second.items;
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].kind, Value::kBoolean);
    EXPECT_TRUE(items[0].boolean);
    EXPECT_FALSE(items[1].boolean);
    EXPECT_EQ(items[2].kind, Value::kNull);
    EXPECT_EQ(value->members[1].second.number, 1.0);
    EXPECT_EQ(value->members[2].second.text, "x");
}

TEST(JsonValue, LookupTakesOnlyTheFirstMemberAndOnlyWhenItIsAString)
{
    EXPECT_FALSE(parseDocument("{\"a\":1,\"a\":\"x\"}")->string("a"));
    EXPECT_EQ(parseDocument("{\"a\":\"x\",\"a\":\"y\"}")->string("a"), "x");
    EXPECT_EQ(parseDocument("{\"A\":\"x\",\"a\":\"y\"}")->string("a"), "y");
    EXPECT_FALSE(parseDocument("{\"a\":\"x\"}")->string("b"));
    EXPECT_FALSE(parseDocument("[\"a\"]")->string("a"));
    EXPECT_FALSE(parseDocument("\"a\"")->string("a"));
}

TEST(JsonQuote, EscapesExactlyQuotesBackslashesAndControlBytes)
{
    EXPECT_EQ(wendlebrak::json::quote("a\"\\\n\x01/"), "\"a\\\"\\\\\\n\\u0001/\"");
    EXPECT_EQ(wendlebrak::json::quote("\b\f\r\t\x1F\x7F\xFF"), "\"\\u0008\\u000c\\r\\t\\u001f\x7F\xFF\"");
    EXPECT_EQ(wendlebrak::json::quote(std::string(1, '\0')), "\"\\u0000\"");
    EXPECT_EQ(wendlebrak::json::quote(""), "\"\"");
}

TEST(JsonQuote, EverySingleByteAndAllBytesTogetherReadBackUnchanged)
{
    std::string all;
    for (int byte = 0; byte < 256; ++byte)
    {
        const std::string one(1, static_cast<char>(byte));
        all += one;
        const auto value = parseDocument(wendlebrak::json::quote(one));
        ASSERT_TRUE(value) << byte;
        EXPECT_EQ(value->text, one) << byte;
    }
    const auto value = parseDocument(wendlebrak::json::quote(all));
    ASSERT_TRUE(value);
    EXPECT_EQ(value->text, all);
}

} // namespace
