#include "wendlebrak/presets/Base64.h"

#include <gtest/gtest.h>

#include <random>

using wendlebrak::presets::fromBase64;
using wendlebrak::presets::toBase64;

namespace
{

std::vector<uint8_t> bytesOf(const std::string& text)
{
    return {text.begin(), text.end()};
}

struct Vector
{
    std::string bytes;
    std::string text;
};

class Base64Vectors : public testing::TestWithParam<Vector>
{
};

TEST_P(Base64Vectors, EncodesAndDecodes)
{
    EXPECT_EQ(toBase64(bytesOf(GetParam().bytes)), GetParam().text);
    std::vector<uint8_t> decoded{1, 2, 3};
    EXPECT_TRUE(fromBase64(GetParam().text, decoded));
    EXPECT_EQ(decoded, bytesOf(GetParam().bytes));
}

INSTANTIATE_TEST_SUITE_P(Rfc4648AndOwn, Base64Vectors,
                         testing::Values(Vector{"", ""}, Vector{"f", "Zg=="}, Vector{"fo", "Zm8="},
                                         Vector{"foo", "Zm9v"}, Vector{"foob", "Zm9vYg=="}, Vector{"fooba", "Zm9vYmE="},
                                         Vector{"foobar", "Zm9vYmFy"}, Vector{"abc", "YWJj"}, Vector{"ABC", "QUJD"},
                                         Vector{"A", "QQ=="}, Vector{std::string(1, '\0'), "AA=="},
                                         Vector{"\xFB\xEF\xBE\xFF", "++++/w=="}));

class Base64Rejects : public testing::TestWithParam<std::string>
{
};

TEST_P(Base64Rejects, MalformedText)
{
    std::vector<uint8_t> decoded;
    EXPECT_FALSE(fromBase64(GetParam(), decoded));
}

INSTANTIATE_TEST_SUITE_P(BadLengthOrPadding, Base64Rejects,
                         testing::Values("Q", "QQ", "QQ=", "QUJ", "QUJDQ", "Q===", "====", "QQ=A", "=QUJ", "Q=UJ",
                                         "QU=J", "QQ==QUJD", "QUI=QUJD", "QUJD=", "QUJD\n", " QUJD", "QU JD",
                                         "QUJD\r\n", "QUJ\n", "QQ==\n", std::string("QU\0D", 4)));

TEST(Base64, EveryByteOutsideTheAlphabetFailsInEveryPosition)
{
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int value = 0; value < 256; ++value)
    {
        const char bad = static_cast<char>(value);
        if (alphabet.find(bad) != std::string::npos || bad == '=')
            continue;
        for (std::size_t position = 0; position < 8; ++position)
        {
            std::string text = "QUJDRUZH";
            text[position] = bad;
            std::vector<uint8_t> decoded;
            EXPECT_FALSE(fromBase64(text, decoded)) << "byte " << value << " at " << position;
            EXPECT_EQ(decoded.size(), position < 4 ? 0u : 3u);
        }
        std::vector<uint8_t> decoded;
        EXPECT_FALSE(fromBase64(std::string("QUJDQ") + bad + "==", decoded)) << "byte " << value;
    }
}

TEST(Base64, KeepsTheBytesDecodedBeforeABadGroup)
{
    std::vector<uint8_t> decoded;
    EXPECT_FALSE(fromBase64("QUJDREVGR=I=", decoded));
    EXPECT_EQ(decoded, bytesOf("ABCDEF"));
}

TEST(Base64, IgnoresTheUnusedLowBitsOfAPaddedGroup)
{
    std::vector<uint8_t> decoded;
    EXPECT_TRUE(fromBase64("QR==", decoded));
    EXPECT_EQ(decoded, bytesOf("A"));
    EXPECT_TRUE(fromBase64("QUL=", decoded));
    EXPECT_EQ(decoded, bytesOf("AB"));
}

TEST(Base64, RoundTripsAnyBytes)
{
    std::mt19937 random(77);
    std::uniform_int_distribution<int> byte(0, 255);
    for (std::size_t length = 0; length < 400; ++length)
    {
        std::vector<uint8_t> bytes(length);
        for (auto& b : bytes)
            b = static_cast<uint8_t>(byte(random));
        const std::string text = toBase64(bytes);
        EXPECT_EQ(text.size(), (length + 2) / 3 * 4);
        std::vector<uint8_t> decoded;
        ASSERT_TRUE(fromBase64(text, decoded)) << text;
        ASSERT_EQ(decoded, bytes);
    }
}

} // namespace
