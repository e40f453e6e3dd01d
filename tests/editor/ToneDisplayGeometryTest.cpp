#include "editor/ToneDisplayControl.h"
#include "editor/ToneDisplayGeometry.h"

#include <gtest/gtest.h>

#include <numbers>

using iplug::igraphics::IRECT;

namespace
{
const IRECT kDisplay{30.0f, 112.0f, 690.0f, 308.0f};
} // namespace

TEST(ToneDisplayGeometry, FrequencySpansThreeDecadesAcrossTheWidth)
{
    const ToneDisplayGeometry geo(kDisplay);
    EXPECT_FLOAT_EQ(geo.xOfHertz(20.0), 30.0f);
    EXPECT_FLOAT_EQ(geo.xOfHertz(20000.0), 690.0f);
    EXPECT_FLOAT_EQ(geo.xOfHertz(200.0), 250.0f);
    for (double hertz : {20.0, 47.0, 1000.0, 2500.0, 16127.0, 20000.0})
        EXPECT_NEAR(geo.hertzOfX(geo.xOfHertz(hertz)), hertz, hertz * 1e-5) << hertz;
    EXPECT_DOUBLE_EQ(geo.hertzOfX(-500.0f), 20.0);
    EXPECT_DOUBLE_EQ(geo.hertzOfX(5000.0f), 20000.0);
}

TEST(ToneDisplayGeometry, TwentyDecibelsReachSixUnitsFromTheEdges)
{
    const ToneDisplayGeometry geo(kDisplay);
    EXPECT_FLOAT_EQ(geo.midY(), 210.0f);
    EXPECT_FLOAT_EQ(geo.yOfDecibels(20.0), 118.0f);
    EXPECT_FLOAT_EQ(geo.yOfDecibels(-20.0), 302.0f);
    EXPECT_FLOAT_EQ(geo.yOfDecibels(-40.0), 394.0f); // not clamped
    for (double decibels : {-23.0, -6.5, 0.0, 0.1, 12.0, 18.0})
        EXPECT_NEAR(geo.decibelsOfY(geo.yOfDecibels(decibels)), decibels, 1e-4) << decibels;
}

TEST(ToneDisplayGeometry, PopoverOpensBelowTheNodeUnlessItWouldLeaveTheDisplay)
{
    const ToneDisplayGeometry geo(kDisplay);
    const PopoverLayout below = PopoverLayout::forNode(geo, 1, 300.0f, 150.0f);
    EXPECT_EQ(below.bounds, IRECT(220.0f, 164.0f, 380.0f, 232.0f));
    EXPECT_FALSE(below.hasShapeRow);

    const PopoverLayout above = PopoverLayout::forNode(geo, 0, 35.0f, 210.0f);
    EXPECT_EQ(above.bounds, IRECT(34.0f, 104.0f, 194.0f, 196.0f)); // centre kept at L + 84
    EXPECT_TRUE(above.hasShapeRow);
}

TEST(ToneDisplayCurves, PointsAndQSliderMapping)
{
    EXPECT_DOUBLE_EQ(tonecurves::pointHertz(0), 20.0);
    EXPECT_NEAR(tonecurves::pointHertz(tonecurves::kNumPoints - 1), 20000.0, 1e-9);
    EXPECT_DOUBLE_EQ(tonecurves::curveAngle(30000.0, 48000.0), 2.0 * std::numbers::pi * 0.49);
    EXPECT_DOUBLE_EQ(tonecurves::qOfPosition(0.0), 0.3);
    EXPECT_DOUBLE_EQ(tonecurves::qOfPosition(2.0), 10.0);
    for (double q : {0.3, 0.707, 1.0, 4.0, 10.0})
        EXPECT_NEAR(tonecurves::qOfPosition(tonecurves::positionOfQ(q)), q, 1e-12);
}

TEST(ToneDisplayLabels, HertzLabelsDropDecimalsFromNearlyTenKilohertz)
{
    const std::pair<double, const char*> cases[] = {
        {20.0, "20"},     {99.6, "100"},   {999.4, "999"},   {1000.0, "1.0k"}, {2500.0, "2.5k"},
        {9949.0, "9.9k"}, {9950.0, "10k"}, {16127.0, "16k"}, {20000.0, "20k"},
    };
    for (const auto& [hertz, label] : cases)
        EXPECT_EQ(ToneDisplayControl::hertzLabel(hertz), label) << hertz;
}
