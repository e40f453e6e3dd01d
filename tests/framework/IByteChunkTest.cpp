#include "framework/IByteChunk.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace
{

using iplug::IByteChunk;

std::vector<std::uint8_t> bytesOf(const IByteChunk& chunk)
{
    return {chunk.GetData(), chunk.GetData() + chunk.Size()};
}

TEST(IByteChunk, WritesLittleEndianWhateverTheMachine)
{
    IByteChunk chunk;
    const std::int32_t tag = 0x41565331; // "AVS1" as the state's tag
    const double one = 1.0;
    chunk.Put(&tag);
    chunk.Put(&one);
    chunk.PutStr("ab");
    const std::vector<std::uint8_t> expected = {'1', 'S', 'V', 'A', 0, 0, 0, 0, 0, 0, 0xF0, 0x3F, 2, 0, 0, 0, 'a', 'b'};
    EXPECT_EQ(bytesOf(chunk), expected);
}

TEST(IByteChunk, ValuesReadBackExactly)
{
    IByteChunk chunk;
    const std::int32_t count = -22;
    const double value = 19999.999999999996;
    const std::uint32_t colour = 0xFFFFFFFF;
    chunk.Put(&count);
    chunk.Put(&value);
    chunk.PutStr("Kick \xE2\x80\xA6");
    chunk.Put(&colour);

    std::int32_t countBack = 0;
    double valueBack = 0.0;
    WDL_String text;
    std::uint32_t colourBack = 0;
    int pos = chunk.Get(&countBack, 0);
    pos = chunk.Get(&valueBack, pos);
    pos = chunk.GetStr(text, pos);
    pos = chunk.Get(&colourBack, pos);
    EXPECT_EQ(pos, chunk.Size());
    EXPECT_EQ(countBack, count);
    EXPECT_EQ(valueBack, value);
    EXPECT_STREQ(text.Get(), "Kick \xE2\x80\xA6");
    EXPECT_EQ(colourBack, colour);
}

TEST(IByteChunk, ReadsThatDoNotFitFail)
{
    IByteChunk chunk;
    const std::int32_t length = 100; // a string length promising more bytes than follow
    chunk.Put(&length);
    chunk.PutBytes("abc", 3);
    WDL_String text;
    double value = 0.0;
    EXPECT_EQ(chunk.GetStr(text, 0), -1);
    EXPECT_EQ(chunk.Get(&value, 0), -1);
    EXPECT_EQ(chunk.Get(&value, -4), -1);
    std::int32_t word = 0;
    EXPECT_EQ(chunk.Get(&word, 4), -1);

    IByteChunk negative;
    const std::int32_t minusOne = -1;
    negative.Put(&minusOne);
    EXPECT_EQ(negative.GetStr(text, 0), -1);
}

TEST(IByteChunk, StringStopsAtTheFirstZeroByte)
{
    IByteChunk chunk;
    const std::int32_t length = 5;
    chunk.Put(&length);
    chunk.PutBytes("ab\0cd", 5);
    WDL_String text;
    EXPECT_EQ(chunk.GetStr(text, 0), 9);
    EXPECT_STREQ(text.Get(), "ab");
}

TEST(IByteChunk, AFailedAppendFailsEveryLaterAppend)
{
    IByteChunk chunk;
    chunk.SetMaxSize(10);
    const std::int32_t word = 7;
    EXPECT_EQ(chunk.Put(&word), 4);
    EXPECT_EQ(chunk.Put(&word), 8);
    EXPECT_EQ(chunk.Put(&word), 0); // would pass the limit
    EXPECT_TRUE(chunk.Failed());
    EXPECT_EQ(chunk.Size(), 0);
    const std::uint8_t small = 1;
    EXPECT_EQ(chunk.Put(&small), 0); // would fit, but a chunk with a hole must stay failed
    EXPECT_EQ(chunk.PutStr(""), 0);
    EXPECT_EQ(chunk.Size(), 0);

    chunk.Clear();
    EXPECT_FALSE(chunk.Failed());
    EXPECT_EQ(chunk.Put(&word), 4);
}

} // namespace
