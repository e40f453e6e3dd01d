#include "ProbePlug.h"

#include "support/AllocationCounter.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

namespace
{

using namespace iplug;
using aubrevane::test::OpenedProbe;

constexpr int kFrames = 64;

/** Stereo buffers with the input holding a ramp and the output holding garbage. */
struct StereoBuffers
{
    StereoBuffers()
    {
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < kFrames; ++i)
            {
                in[c][i] = (c + 1) * 0.01 * i;
                out[c][i] = 99.0;
            }
        inPointers = {in[0].data(), in[1].data()};
        outPointers = {out[0].data(), out[1].data()};
    }
    std::array<std::array<double, kFrames>, 2> in{}, out{};
    std::array<double*, 2> inPointers{}, outPointers{};
};

class IPlugAURender : public testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(probe.initialize(48000.0, kFrames, 2, 2), kAUNoErr); }
    OpenedProbe probe;
    StereoBuffers buffers;
};

TEST_F(IPlugAURender, NullInputArrayCountsAsNoInputChannels)
{
    ASSERT_EQ(probe.render(nullptr, buffers.outPointers.data(), kFrames), kAUNoErr);
    EXPECT_EQ(probe.plug().lastInputs, nullptr);
    EXPECT_EQ(probe.plug().lastIn, 0);
    EXPECT_EQ(probe.plug().lastOut, 2);
    for (const auto& channel : buffers.out)
        for (const double sample : channel)
            ASSERT_EQ(sample, 0.0);
}

TEST_F(IPlugAURender, NullOutputArrayCountsAsNoOutputChannels)
{
    ASSERT_EQ(probe.render(buffers.inPointers.data(), nullptr, kFrames), kAUNoErr);
    EXPECT_EQ(probe.plug().lastOutputs, nullptr);
    EXPECT_EQ(probe.plug().lastOut, 0);
    EXPECT_EQ(probe.plug().lastIn, 2);
}

TEST_F(IPlugAURender, NullChannelsInsideArraysGetStandInBuffers)
{
    std::array<double*, 2> inputs = {buffers.in[0].data(), nullptr};
    std::array<double*, 2> outputs = {nullptr, buffers.out[1].data()};
    ASSERT_EQ(probe.render(inputs.data(), outputs.data(), kFrames), kAUNoErr);
    EXPECT_TRUE(probe.plug().allChannelsPresent);
    EXPECT_EQ(probe.plug().lastIn, 2);
    for (const double sample : buffers.out[1])
        ASSERT_EQ(sample, 0.0); // the missing input channel reads as silence
}

TEST_F(IPlugAURender, LongBlocksRunInPiecesOfThePreparedSize)
{
    const int total = 5 * kFrames + 17;
    std::vector<double> left(total), right(total), outLeft(total, 9.0), outRight(total, 9.0);
    for (int i = 0; i < total; ++i)
    {
        left[i] = i;
        right[i] = -i;
    }
    std::array<double*, 2> inputs = {left.data(), right.data()};
    std::array<double*, 2> outputs = {outLeft.data(), outRight.data()};
    ASSERT_EQ(probe.render(inputs.data(), outputs.data(), total), kAUNoErr);
    EXPECT_EQ(probe.plug().largestBlock, kFrames);
    EXPECT_EQ(probe.plug().blocks, 6);
    EXPECT_EQ(outLeft, left);
    EXPECT_EQ(outRight, right);
}

TEST_F(IPlugAURender, ZeroFramesStillRunsOneEmptyBlock)
{
    ASSERT_EQ(probe.render(buffers.inPointers.data(), buffers.outPointers.data(), 0), kAUNoErr);
    EXPECT_EQ(probe.plug().blocks, 1);
    EXPECT_EQ(probe.render(buffers.inPointers.data(), buffers.outPointers.data(), -1), kAUErrInvalidParameter);
}

TEST_F(IPlugAURender, ResetAndBypassWaitForTheNextRender)
{
    auto reset = probe.proc<AUResetProc>(kAUResetSelect);
    auto bypass = probe.proc<AUSetBypassProc>(kAUSetBypassSelect);
    const int afterInit = probe.plug().resets;
    EXPECT_EQ(afterInit, 1); // initialising resets at once

    ASSERT_EQ(reset(probe.record), kAUNoErr);
    ASSERT_EQ(bypass(probe.record, 1), kAUNoErr);
    EXPECT_EQ(probe.plug().resets, afterInit);
    EXPECT_FALSE(probe.plug().GetBypassed());

    ASSERT_EQ(probe.render(buffers.inPointers.data(), buffers.outPointers.data(), kFrames), kAUNoErr);
    EXPECT_EQ(probe.plug().resets, afterInit + 1); // one reset for both requests
    EXPECT_TRUE(probe.plug().GetBypassed());

    ASSERT_EQ(bypass(probe.record, 1), kAUNoErr); // no change, no reset
    ASSERT_EQ(probe.render(buffers.inPointers.data(), buffers.outPointers.data(), kFrames), kAUNoErr);
    EXPECT_EQ(probe.plug().resets, afterInit + 1);
}

TEST_F(IPlugAURender, HostBypassPassesInputThroughWithoutProcessing)
{
    auto bypass = probe.proc<AUSetBypassProc>(kAUSetBypassSelect);
    ASSERT_EQ(bypass(probe.record, 1), kAUNoErr);
    const int resetsBefore = probe.plug().resets;
    const int blocksBefore = probe.plug().blocks;

    const int total = 3 * kFrames + 5; // longer than the initialised block
    std::vector<double> left(total), right(total), outLeft(total, 99.0), outRight(total, 99.0);
    for (int i = 0; i < total; ++i)
    {
        left[i] = std::sin(0.1 * i) / 3.0;
        right[i] = -1e-300 * i;
    }
    std::array<double*, 2> inputs = {left.data(), right.data()};
    std::array<double*, 2> outputs = {outLeft.data(), outRight.data()};
    ASSERT_EQ(probe.render(inputs.data(), outputs.data(), total), kAUNoErr);
    EXPECT_EQ(probe.plug().resets, resetsBefore + 1);
    EXPECT_EQ(outLeft, left);
    EXPECT_EQ(outRight, right);

    const auto inPlace = buffers.in;
    ASSERT_EQ(probe.render(buffers.inPointers.data(), buffers.inPointers.data(), kFrames), kAUNoErr);
    EXPECT_EQ(buffers.in, inPlace);

    std::array<double*, 2> holes = {buffers.in[0].data(), nullptr};
    ASSERT_EQ(probe.render(holes.data(), buffers.outPointers.data(), kFrames), kAUNoErr);
    EXPECT_EQ(buffers.out[0], buffers.in[0]);
    EXPECT_EQ(buffers.out[1], (std::array<double, kFrames>{})); // no input channel: zeros
    EXPECT_EQ(probe.plug().blocks, blocksBefore);

    ASSERT_EQ(bypass(probe.record, 0), kAUNoErr);
    ASSERT_EQ(probe.render(buffers.inPointers.data(), buffers.outPointers.data(), kFrames), kAUNoErr);
    EXPECT_EQ(probe.plug().blocks, blocksBefore + 1);
    EXPECT_EQ(probe.plug().resets, resetsBefore + 2);
}

TEST(IPlugAURenderSetup, RendersOnlyAfterALegalInitialise)
{
    OpenedProbe probe;
    StereoBuffers buffers;
    EXPECT_EQ(probe.render(buffers.inPointers.data(), buffers.outPointers.data(), kFrames), kAUErrUninitialized);
    EXPECT_EQ(probe.initialize(48000.0, kFrames, 3, 3), kAUErrFormatNotSupported);
    EXPECT_EQ(probe.initialize(48000.0, kFrames, 1, 2), kAUErrFormatNotSupported);
    EXPECT_EQ(probe.initialize(0.0, kFrames, 2, 2), kAUErrFormatNotSupported);
    EXPECT_EQ(probe.initialize(std::nan(""), kFrames, 2, 2), kAUErrFormatNotSupported);
    EXPECT_EQ(probe.initialize(48000.0, 0, 2, 2), kAUErrFormatNotSupported);
    ASSERT_EQ(probe.initialize(44100.0, kFrames, 1, 1), kAUNoErr);
    EXPECT_EQ(probe.plug().GetSampleRate(), 44100.0);
    EXPECT_EQ(probe.plug().GetBlockSize(), kFrames);
    EXPECT_EQ(probe.render(buffers.inPointers.data(), buffers.outPointers.data(), kFrames), kAUNoErr);
    EXPECT_EQ(probe.plug().lastIn, 1);
    ASSERT_EQ(probe.proc<AUUninitializeProc>(kAUUninitializeSelect)(probe.record), kAUNoErr);
    EXPECT_EQ(probe.render(buffers.inPointers.data(), buffers.outPointers.data(), kFrames), kAUErrUninitialized);
}

TEST_F(IPlugAURender, RenderAllocatesNothing)
{
    std::vector<double> left(3 * kFrames), right(3 * kFrames);
    std::array<double*, 2> longIn = {left.data(), right.data()};
    std::array<double*, 2> holes = {nullptr, buffers.in[1].data()};
    auto reset = probe.proc<AUResetProc>(kAUResetSelect);
    auto bypass = probe.proc<AUSetBypassProc>(kAUSetBypassSelect);
    long allocations = 0;
    {
        aubrevane::test::AllocationScope scope;
        for (int i = 0; i < 200; ++i)
        {
            probe.render(buffers.inPointers.data(), buffers.outPointers.data(), kFrames);
            probe.render(nullptr, buffers.outPointers.data(), kFrames);
            probe.render(holes.data(), holes.data(), kFrames);
            probe.render(longIn.data(), longIn.data(), 3 * kFrames);
            reset(probe.record);
            bypass(probe.record, i % 2);
        }
        allocations = scope.count();
    }
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(probe.plug().blocks, 101 * 6); // the host's bypass is on in rounds 2, 4, ..., 198
}

} // namespace
