#include "editor/ParseTypedValue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

using aubrevane::plugin::parseTypedValue;

TEST(ParseTypedValue, ReadsNumbersAsUsersTypeThem)
{
    const std::vector<std::pair<std::string, double>> cases = {
        {"  -6.5 dB", -6.5}, {"2k", 2000},    {"2 kHz", 2000}, {"2K", 2000},  {"1,5", 1.5},
        {"1,000", 1},        {"1.2e3", 1200}, {"50%", 50},     {"1k5", 1000}, {" 3 ", 3},
        {"3 x", 3},          {"3 k", 3000},   {"1.2k", 1200},  {"\t\n+7", 7}, {"0x10", 16},
    };
    for (const auto& [typed, expected] : cases)
    {
        const std::optional<double> value = parseTypedValue(typed.c_str());
        ASSERT_TRUE(value.has_value()) << typed;
        EXPECT_DOUBLE_EQ(*value, expected) << typed;
    }
}

TEST(ParseTypedValue, TextWithoutANumberIsEmpty)
{
    for (const char* typed : {"Hz", "", "k", "abc", " "})
        EXPECT_FALSE(parseTypedValue(typed).has_value()) << typed;
    EXPECT_FALSE(parseTypedValue(nullptr).has_value());
}

TEST(ParseTypedValue, InfinitiesAndOverflowStayInfiniteAndNanStaysNan)
{
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    const std::vector<std::pair<std::string, double>> cases = {
        {"inf", kInfinity},   {"1e999", kInfinity},   {"1e308k", kInfinity},   {"Infinity Hz", kInfinity},
        {"-inf", -kInfinity}, {"-1e999", -kInfinity}, {"-1e306k", -kInfinity},
    };
    for (const auto& [typed, expected] : cases)
    {
        const std::optional<double> value = parseTypedValue(typed.c_str());
        ASSERT_TRUE(value.has_value()) << typed;
        EXPECT_EQ(*value, expected) << typed;
    }
    for (const char* typed : {"nan", "-NaN"})
    {
        const std::optional<double> value = parseTypedValue(typed);
        ASSERT_TRUE(value.has_value()) << typed;
        EXPECT_TRUE(std::isnan(*value)) << typed;
    }
}
