#include "framework/IParam.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace
{

using iplug::IParam;

struct ParamCase
{
    std::string what;
    std::function<void(IParam&)> init;
    friend void PrintTo(const ParamCase& c, std::ostream* os) { *os << c.what; }
};

// One parameter of each kind the plug-in makes: plain linear, frequency, exponential Q and switch.
const std::vector<ParamCase> kCases = {
    {"linear_percent", [](IParam& p) { p.InitDouble("Amount", 50.0, 0.0, 100.0, 1.0, "%"); }},
    {"linear_decibels", [](IParam& p) { p.InitDouble("Output", 0.0, -24.0, 24.0, 0.1, "dB"); }},
    {"frequency", [](IParam& p) { p.InitFrequency("LP Freq", 20000.0, 1000.0, 20000.0, 0.1); }},
    {"wide_frequency", [](IParam& p) { p.InitFrequency("Range Low", 20.0, 20.0, 20000.0, 0.1); }},
    {"exponential_q",
     [](IParam& p) { p.InitDouble("Pre-EQ 1 Q", 0.707, 0.3, 10.0, 0.01, "", 0, "", IParam::ShapeExp()); }},
    {"switch", [](IParam& p) { p.InitBool("HP On", true, "", 0, "", "off", "on"); }},
};

std::uint64_t bits(double value)
{
    return std::bit_cast<std::uint64_t>(value);
}

class IParamShapes : public testing::TestWithParam<ParamCase>
{
protected:
    void SetUp() override { GetParam().init(param); }
    IParam param;
};

TEST_P(IParamShapes, NormalisedRoundTripKeepsEveryValueBitForBit)
{
    constexpr int kSteps = 1000;
    for (int i = 0; i < kSteps; ++i)
    {
        // plain values spread evenly over the range, and values reached through the normalised scale
        const double plain = param.GetMin() + (param.GetMax() - param.GetMin()) * i / (kSteps - 1);
        for (const bool fromNormalized : {false, true})
        {
            if (fromNormalized)
                param.SetNormalized(static_cast<double>(i) / (kSteps - 1));
            else
                param.Set(plain);
            const double before = param.Value();
            param.SetNormalized(param.GetNormalized());
            ASSERT_EQ(bits(before), bits(param.Value())) << "step " << i << (fromNormalized ? " normalised" : "");
        }
    }
}

TEST_P(IParamShapes, RangeEndsMapExactly)
{
    EXPECT_EQ(bits(param.FromNormalized(0.0)), bits(param.GetMin()));
    EXPECT_EQ(bits(param.FromNormalized(1.0)), bits(param.GetMax()));
    EXPECT_EQ(param.ToNormalized(param.GetMin()), 0.0);
    EXPECT_EQ(param.ToNormalized(param.GetMax()), 1.0);
    param.SetNormalized(1.0);
    EXPECT_EQ(bits(param.Value()), bits(param.GetMax()));
}

TEST_P(IParamShapes, NanStoresTheDefaultAndInfinitiesTheRangeEnds)
{
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    const struct
    {
        double set;
        double expected;
    } cases[] = {{std::nan(""), param.GetDefault()}, {kInfinity, param.GetMax()}, {-kInfinity, param.GetMin()}};
    for (const auto& c : cases)
    {
        param.Set(param.GetMin());
        param.Set(c.set);
        EXPECT_EQ(param.Value(), c.expected) << c.set;
        param.Set(param.GetMax());
        param.SetNormalized(c.set);
        EXPECT_EQ(param.Value(), c.expected) << c.set;
    }
}

TEST_P(IParamShapes, ValuesOutsideTheRangeAreClamped)
{
    param.Set(param.GetMax() + 1000.0);
    EXPECT_EQ(param.Value(), param.GetMax());
    param.Set(param.GetMin() - 1000.0);
    EXPECT_EQ(param.Value(), param.GetMin());
    param.SetNormalized(7.0);
    EXPECT_EQ(param.Value(), param.GetMax());
}

INSTANTIATE_TEST_SUITE_P(EveryKind, IParamShapes, testing::ValuesIn(kCases),
                         [](const auto& info) { return info.param.what; });

TEST(IParam, DefaultsAreKeptExactlyEvenOffTheStepGrid)
{
    IParam q;
    q.InitDouble("Pre-EQ 1 Q", 0.707, 0.3, 10.0, 0.01, "", 0, "", IParam::ShapeExp());
    EXPECT_EQ(q.Value(), 0.707);
    q.Set(0.707); // plain doubles are not stepped: a stored value comes back as it was
    EXPECT_EQ(q.Value(), 0.707);
}

TEST(IParam, SwitchesRoundToTheStepHalfAwayFromZero)
{
    IParam on;
    on.InitBool("Bypass", false);
    const std::vector<std::pair<double, double>> table = {{0.6, 1.0}, {0.5, 1.0}, {0.49, 0.0}, {-3.0, 0.0}, {4.0, 1.0}};
    for (const auto& [given, stored] : table)
    {
        on.Set(given);
        EXPECT_EQ(on.Value(), stored) << given;
    }
    on.SetNormalized(0.7);
    EXPECT_EQ(on.Value(), 1.0);
}

TEST(IParam, ExponentialShapeGivesEqualRatiosEqualDistances)
{
    IParam freq;
    freq.InitFrequency("Pre-EQ 1 Freq", 100.0, 20.0, 20000.0, 0.1);
    EXPECT_NEAR(freq.ToNormalized(std::sqrt(20.0 * 20000.0)), 0.5, 1e-12);
    EXPECT_NEAR(freq.ToNormalized(200.0) - freq.ToNormalized(20.0),
                freq.ToNormalized(2000.0) - freq.ToNormalized(200.0), 1e-12);
    EXPECT_NEAR(freq.FromNormalized(1.0 / 3.0), 200.0, 1e-9);
    EXPECT_STREQ(freq.GetLabel(), "Hz");
    EXPECT_EQ(freq.Unit(), IParam::kUnitFrequency);
}

TEST(IParam, DisplayTextFollowsKindAndStep)
{
    IParam sw, output, amount, q;
    sw.InitBool("LP On", true, "", 0, "", "off", "on");
    output.InitDouble("Output", -3.4, -24.0, 24.0, 0.1, "dB");
    amount.InitDouble("Amount", 50.0, 0.0, 100.0, 1.0, "%");
    q.InitDouble("Q", 0.707, 0.3, 10.0, 0.01, "", 0, "", IParam::ShapeExp());
    WDL_String text;
    sw.GetDisplay(text);
    EXPECT_STREQ(text.Get(), "on");
    sw.GetDisplay(0.0, false, text);
    EXPECT_STREQ(text.Get(), "off");
    output.GetDisplay(text);
    EXPECT_STREQ(text.Get(), "-3.4");
    amount.GetDisplay(text);
    EXPECT_STREQ(text.Get(), "50");
    q.GetDisplay(text);
    EXPECT_STREQ(text.Get(), "0.71");
}

TEST(IParam, CannotAutomateFlagIsReported)
{
    IParam unused, amount;
    unused.InitBool("Unused (was Auto Gain)", false, "", IParam::kFlagCannotAutomate);
    amount.InitDouble("Amount", 50.0, 0.0, 100.0, 1.0, "%");
    EXPECT_FALSE(unused.GetCanAutomate());
    EXPECT_TRUE(amount.GetCanAutomate());
}

} // namespace
