#include "EngineHarness.h"

#include <gtest/gtest.h>

namespace
{

using namespace aubrevane::test;

constexpr double kRate = 48000.0;

/** Every stage on and the correction at full amount, so all paths of the sample loop run. */
ToneSettings everyStage()
{
    ToneSettings s;
    s.amount = 1.0;
    s.speed = 1.0;
    s.highPassOn = true;
    s.highPassHertz = 40.0;
    s.lowPassOn = true;
    s.lowPassHertz = 18000.0;
    s.preEq[0].gainDecibels = 3.0;
    s.preEq[1].gainDecibels = -2.0;
    s.preEq[2].gainDecibels = 2.0;
    s.preEq[3].gainDecibels = -3.0;
    s.tiltDecibelsPerOctave = -1.0;
    s.outputDecibels = -1.5;
    return s;
}

class ToneCorrectorProcess : public testing::Test
{
protected:
    // 1.5 s of stereo noise, coloured differently per channel, so the correction has work to do.
    Channels input =
        stereo(pinkNoise(frames(1.5, kRate), kRate, 11, [](double f) { return peakDecibels(f, 400, 6); }),
               pinkNoise(frames(1.5, kRate), kRate, 12, [](double f) { return peakDecibels(f, 3000, -6); }));

    Channels run(const ToneSettings& s, int blockFrames, const Channels& signal) const
    {
        ToneCorrector engine;
        prepareWith(engine, s, kRate);
        return runBlocks(engine, signal, blockFrames);
    }
};

TEST_F(ToneCorrectorProcess, DefaultsPassTheInputThroughSampleForSample)
{
    EXPECT_EQ(run(ToneSettings{}, 512, input), input);
    const Channels mono = {input[0]};
    EXPECT_EQ(run(ToneSettings{}, 100, mono), mono);
}

TEST_F(ToneCorrectorProcess, AnyBlockSplitGivesIdenticalOutput)
{
    ToneCorrector engine;
    prepareWith(engine, everyStage(), kRate);
    const Channels whole = runBlocks(engine, input, static_cast<int>(input[0].size()));
    ASSERT_TRUE(engine.correctionRunning() && engine.preEqRunning()); // the split matters only when all runs
    for (int blockFrames : {1, 7, 100})
        EXPECT_EQ(run(everyStage(), blockFrames, input), whole) << blockFrames << "-frame blocks";
}

TEST_F(ToneCorrectorProcess, InPlaceEqualsSeparateBuffers)
{
    const Channels separate = run(everyStage(), 256, input);
    ToneCorrector engine;
    prepareWith(engine, everyStage(), kRate);
    Channels buffers = input;
    for (std::size_t start = 0; start < buffers[0].size(); start += 256)
    {
        double* pointers[2] = {buffers[0].data() + start, buffers[1].data() + start};
        const int count = static_cast<int>(std::min<std::size_t>(256, buffers[0].size() - start));
        engine.process(pointers, pointers, 2, count);
    }
    EXPECT_EQ(buffers, separate);
}

TEST_F(ToneCorrectorProcess, ChannelsBeyondTwoPassUntouchedAndStayOutOfTheAnalysis)
{
    Channels four = input;
    four.push_back(uniformNoise(input[0].size(), 3, 0.9)); // loud: would move the gate and the balance
    four.push_back(sine(100.0, kRate, input[0].size(), 0.9));
    const Channels output = run(everyStage(), 512, four);
    EXPECT_EQ(output[2], four[2]);
    EXPECT_EQ(output[3], four[3]);
    const Channels twoOnly = run(everyStage(), 512, input);
    EXPECT_EQ(output[0], twoOnly[0]);
    EXPECT_EQ(output[1], twoOnly[1]);
}

TEST_F(ToneCorrectorProcess, StereoAnalysesTheMeanOfTheTwoChannels)
{
    // Two identical channels analyse like the mono signal and gate on the same level, so both channels come out
    // exactly as the mono call's single channel.
    const Channels mono = {input[0]};
    const Channels twin = {input[0], input[0]};
    const Channels monoOut = run(everyStage(), 512, mono);
    const Channels twinOut = run(everyStage(), 512, twin);
    EXPECT_EQ(twinOut[0], monoOut[0]);
    EXPECT_EQ(twinOut[1], monoOut[0]);
}

TEST_F(ToneCorrectorProcess, FloatInstanceComputesInDoubleAndRoundsAtTheEdges)
{
    std::vector<float> in(input[0].begin(), input[0].end());
    const Channels widened = {std::vector<double>(in.begin(), in.end())};
    const Channels reference = run(everyStage(), 32, widened);

    ToneCorrector engine;
    prepareWith(engine, everyStage(), kRate);
    std::vector<float> out(in.size());
    for (std::size_t start = 0; start < in.size(); start += 32)
    {
        const float* inputs[1] = {in.data() + start};
        float* outputs[1] = {out.data() + start};
        engine.process(inputs, outputs, 1, static_cast<int>(std::min<std::size_t>(32, in.size() - start)));
    }
    for (std::size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], static_cast<float>(reference[0][i])) << "sample " << i;
}

TEST_F(ToneCorrectorProcess, EmptyCallsChangeNothing)
{
    ToneCorrector touched, untouched;
    prepareWith(touched, everyStage(), kRate);
    prepareWith(untouched, everyStage(), kRate);
    double sample = 1.0;
    double* pointers[1] = {&sample};
    for (int i = 0; i < 40; ++i)
    {
        touched.process(pointers, pointers, 1, 0);
        touched.process(pointers, pointers, 0, 16);
    }
    EXPECT_EQ(sample, 1.0);
    EXPECT_EQ(runBlocks(touched, input, 300), runBlocks(untouched, input, 300)); // no tick was run early
}

TEST_F(ToneCorrectorProcess, ResetThenReplayRepeatsExactly)
{
    ToneCorrector engine;
    prepareWith(engine, everyStage(), kRate);
    const Channels first = runBlocks(engine, input, 512);
    engine.prepare(kRate);
    EXPECT_EQ(runBlocks(engine, input, 512), first);
}

TEST_F(ToneCorrectorProcess, SilenceStaysSilentAndNeverOpensTheGate)
{
    ToneCorrector engine;
    ToneSettings s = everyStage();
    s.thresholdDecibels = -70.0;
    prepareWith(engine, s, kRate);
    const Channels silence(2, std::vector<double>(frames(3.0, kRate)));
    for (std::size_t start = 0; start < silence[0].size(); start += 32)
    {
        const Channels block(2, std::vector<double>(32));
        const Channels out = runBlocks(engine, block, 32);
        ASSERT_FALSE(engine.aboveThreshold);
        ASSERT_EQ(out, block);
    }
    for (double gain : engine.appliedGainDecibels)
        EXPECT_EQ(gain, 0.0);
}

} // namespace
