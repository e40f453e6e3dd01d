#include "EngineHarness.h"
#include "support/AllocationCounter.h"

#include <gtest/gtest.h>

namespace
{

using namespace aubrevane::test;

TEST(ToneCorrectorAllocation, ProcessAndSettingsChangesAllocateNothing)
{
    ToneCorrector engine;
    engine.prepare(48000);
    const std::vector<double> left = pinkNoise(512 * 40, 48000, 1), right = pinkNoise(512 * 40, 48000, 2);
    std::vector<double> outLeft(512), outRight(512);
    std::vector<float> monoIn(left.begin(), left.begin() + 32), monoOut(32);
    aubrevane::dsp::Balance target{};
    target[4] = 3.0;

    long allocations = 0;
    {
        const AllocationScope scope;
        for (int block = 0; block < 600; ++block)
        {
            const std::size_t offset = 512 * static_cast<std::size_t>(block % 40);
            const double* inputs[2] = {left.data() + offset, right.data() + offset};
            double* outputs[2] = {outLeft.data(), outRight.data()};
            switch (block % 8)
            {
            case 1:
                engine.settings.amount = (block % 3) * 0.5;
                engine.applySettings();
                break;
            case 2:
                engine.settings.preEq[1].gainDecibels = block % 16 == 2 ? 4.0 : 0.0;
                engine.applySettings();
                break;
            case 3:
                engine.learnFromBalance(target);
                break;
            case 4:
                engine.learning = true;
                engine.learnCount = 0;
                break;
            case 5:
                engine.settings.highPassOn = !engine.settings.highPassOn;
                engine.applySettings();
                break;
            default:
                break;
            }
            engine.process(inputs, outputs, 2, 512);
            const float* monoInputs[1] = {monoIn.data()};
            float* monoOutputs[1] = {monoOut.data()};
            engine.process(monoInputs, monoOutputs, 1, 32);
        }
        allocations = scope.count();
    }
    EXPECT_EQ(allocations, 0);
    EXPECT_TRUE(engine.correctionRunning()); // the correction ran during the count
}

} // namespace
