#include "SpecialCalc.h"

#include <cmath>
#include <gtest/gtest.h>

using SpecialCalc::Array;

TEST(SpecialCalcLevels, ConvertLevelBetweenAllUnits) {
    using namespace SpecialCalc;
    EXPECT_NEAR(ConvertLevel(1, UnitV, UnitDBm, 50), 13.0103, 1e-4);
    EXPECT_DOUBLE_EQ(ConvertLevel(1, UnitV, UnitW, 50), 0.02);
    EXPECT_NEAR(ConvertLevel(0, UnitV, UnitDBm, 50), -970, 1e-9);
    EXPECT_EQ(ConvertLevel(0, UnitV, UnitW, 50), 0);
    EXPECT_NEAR(ConvertLevel(10, UnitDBm, UnitMW, 50), 10, 1e-12);
    EXPECT_NEAR(ConvertLevel(-2, UnitW, UnitMW, 50), -2000, 1e-9);
    EXPECT_NEAR(ConvertLevel(-2, UnitW, UnitDBm, 50), 33.0103, 1e-4);
    EXPECT_NEAR(ConvertLevel(-1, UnitV, UnitV, 50), -1, 1e-12);
    EXPECT_NEAR(ConvertLevel(120, UnitDBuV, UnitV, 50), 1, 1e-12);
    EXPECT_NEAR(ConvertLevel(0, UnitDBm, UnitDBuV, 50), 106.9897, 1e-4);
    for (double x : {-13.5, 0.0, 7.25}) {
        EXPECT_NEAR(ConvertLevel(x, UnitDBV, UnitDBV, 75), x, 1e-12);
        EXPECT_NEAR(ConvertLevel(x, UnitDBuV, UnitDBuV, 75), x, 1e-12);
    }
    // Unknown codes: no power (so -970 dBm) from, 0 to.
    EXPECT_NEAR(ConvertLevel(5, 9, UnitDBm, 50), -970, 1e-9);
    EXPECT_EQ(ConvertLevel(5, 9, UnitW, 50), 0);
    EXPECT_EQ(ConvertLevel(5, UnitW, -1, 50), 0);
    // A resistance of 0 cannot carry a voltage level.
    EXPECT_EQ(ConvertLevel(1, UnitV, UnitDBm, 0), 0);
    EXPECT_EQ(ConvertLevel(1, UnitW, UnitDBV, -50), 0);
    EXPECT_NEAR(ConvertLevel(1, UnitW, UnitDBm, 0), 30, 1e-12); // needs no resistance
}

TEST(SpecialCalcLevels, DecibelsFloorZeroAndNegativeValues) {
    using namespace SpecialCalc;
    EXPECT_EQ(VoltToDB(0), -2000);
    EXPECT_EQ(VoltToDB(-3), -2000);
    EXPECT_EQ(PowerToDB(-1), -1000);
    EXPECT_EQ(VoltToDB(10), 20);
    Array v{0, 1000};
    ArrayPowerToDB(v);
    EXPECT_EQ(v, (Array{-1000, 30}));
}

TEST(SpecialCalcArrays, MagnitudeSubArrayAndAxisStep) {
    using namespace SpecialCalc;
    Array out{1, 2, 3};
    IQMagnitude({3, 0}, {4}, out); // Q too short: nothing done
    EXPECT_EQ(out, (Array{1, 2, 3}));
    IQMagnitude({3, 0}, {4, -2, 9}, out);
    EXPECT_EQ(out, (Array{5, 2}));

    Array src(100);
    for (std::size_t k = 0; k < src.size(); ++k)
        src[k] = double(k);
    SubArray(src, 10, 5, out);
    EXPECT_EQ(out, (Array{10, 11, 12, 13, 14}));
    // A last, shorter group keeps every element up to the end.
    SubArray(src, 97, 5, out);
    EXPECT_EQ(out, (Array{97, 98, 99}));
    SubArray(src, 100, 1, out);
    EXPECT_TRUE(out.empty());
    SubArray(src, -1, 3, out);
    EXPECT_TRUE(out.empty());

    EXPECT_EQ(AxisStep(0.05f), 0.005f);
    EXPECT_EQ(AxisStep(0.06f), 0.01f);
    EXPECT_EQ(AxisStep(500.0f), 50.0f);
    EXPECT_EQ(AxisStep(1000.0f), 100.0f);
    EXPECT_EQ(AxisStep(-3.0f), 0.005f);
}

TEST(SpecialCalcArrays, LevelDistributionInPercent) {
    using namespace SpecialCalc;
    Array curve, axis;
    // Magnitudes 1, 1, 10, 100: levels 0, 0, 20, 40 dB in four classes of 10 dB.
    ASSERT_TRUE(CalcSpectrumDB({1, 0, 10, 0}, {0, -1, 0, 100}, curve, axis, true, 4));
    ASSERT_EQ(curve.size(), 4u);
    EXPECT_EQ(axis, (Array{5, 15, 25, 35}));
    EXPECT_EQ(curve, (Array{50, 50, 25, 0}));
    // A zero sample sits at the floor, far below the rest.
    ASSERT_TRUE(CalcSpectrumDB({0, 1, 1, 1}, {0, 0, 0, 0}, curve, axis, false, 2));
    EXPECT_EQ(axis, (Array{-1500, -500}));
    EXPECT_EQ(curve, (Array{75, 0}));
    EXPECT_FALSE(CalcSpectrumDB({}, {}, curve, axis, true, 10));
    EXPECT_FALSE(CalcSpectrumDB({1, 2}, {1}, curve, axis, true, 10));
    EXPECT_FALSE(CalcSpectrumDB({1}, {1}, curve, axis, true, 0));
    EXPECT_TRUE(curve.empty() && axis.empty());
    // A NaN sample has no level, like an infinite one: not a floor sample.
    for (double bad : {std::nan(""), double(INFINITY), -double(INFINITY)}) {
        ASSERT_TRUE(CalcSpectrumDB({1, 2}, {0, 0}, curve, axis, true, 2));
        EXPECT_FALSE(CalcSpectrumDB({1, 2, bad}, {0, 0, 0}, curve, axis, true, 2)) << bad;
        EXPECT_FALSE(CalcSpectrumDB({1, 2, 0}, {0, 0, bad}, curve, axis, true, 2)) << bad;
        EXPECT_TRUE(curve.empty() && axis.empty());
    }
}
