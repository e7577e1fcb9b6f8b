#include "MathClass.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>

using Array = MathClass::Array;

TEST(MathArrayUtilities, MomentsAndMixedMoments) {
    MathClass m;
    Array s;
    m.ArrayMoments({1, 2, 3}, s, 2);
    EXPECT_EQ(s, (Array{3, 6, 14}));
    m.ArrayMoments({1, 2, 3}, s, -1);
    EXPECT_TRUE(s.empty());
    EXPECT_EQ(m.ArrayMixMoment({1, 2}, {3, 4}, 1, 2), 41);
    EXPECT_EQ(m.ArrayMixMoment({1, 2, 5}, {3, 4}, 1, 1), 11); // 5 meets a padded 0
    EXPECT_EQ(m.ArrayMoment({1, 2, 3}, 2), 14);
    double r = 0;
    ASSERT_TRUE(m.ArrayMoment({1, 2, 3}, 1, {1, 1, 2}, r));
    EXPECT_EQ(r, 2.25);
    EXPECT_FALSE(m.ArrayMoment({1, 2}, 1, {1, -1}, r));
    EXPECT_FALSE(m.ArrayMoment({1, 2}, 1, {1}, r));
}

TEST(MathArrayUtilities, InterpolationTableSetsTheErrorFlag) {
    MathClass m;
    EXPECT_FALSE(m.ErrorStatus());
    m.LoadInterpolation({1, 2, 3}, {1, 2, 3}, false);
    EXPECT_FALSE(m.ErrorStatus());
    m.LoadInterpolation({1, 2, 3}, {1, 2, 3, 4}, false);
    EXPECT_TRUE(m.ErrorStatus());
    m.LoadInterpolation({1}, {1}, false); // the flag stays once set
    EXPECT_TRUE(m.ErrorStatus());
}

TEST(MathArrayUtilities, SetResolutionQuantisesToTheFullScale) {
    MathClass m;
    Array v{-4, 2, 0.3};
    ASSERT_TRUE(m.SetResolution(v, 3));
    EXPECT_EQ(v, (Array{-4, 2, 0}));
    v = {1, 0.5, 0.25, -0.125};
    ASSERT_TRUE(m.SetResolution(v, 2)); // step 0.5, halves to even
    EXPECT_EQ(v, (Array{1, 0.5, 0, -0}));
    v = {0, 0};
    EXPECT_TRUE(m.SetResolution(v, 8));
    EXPECT_EQ(v, (Array{0, 0}));
    // A step that underflows to 0 would divide by zero: refused.
    v = {1, 0.3};
    EXPECT_FALSE(m.SetResolution(v, 2000));
    EXPECT_EQ(v, (Array{1, 0.3}));
}

TEST(MathArrayUtilities, DiscreteAndContinuousPositions) {
    MathClass m;
    const Array ten(10);
    long index = -1;
    ASSERT_TRUE(m.ArrayGetDisc(ten, 2, 0, index));
    EXPECT_EQ(index, 5);
    ASSERT_TRUE(m.ArrayGetDisc(ten, 2, 1, index));
    EXPECT_EQ(index, 10);
    ASSERT_TRUE(m.ArrayGetDisc(ten, 2, -0.85, index)); // 0.75 rounds to 1
    EXPECT_EQ(index, 1);
    index = 77;
    EXPECT_FALSE(m.ArrayGetDisc(ten, 0, 1, index));
    EXPECT_FALSE(m.ArrayGetDisc(ten, 2, std::numeric_limits<double>::infinity(), index));
    EXPECT_FALSE(m.ArrayGetDisc(ten, 1e-300, 1e300, index));
    EXPECT_EQ(index, 77);
    double r = 0;
    ASSERT_TRUE(m.ArrayGetCont(ten, 2, 0, r));
    EXPECT_EQ(r, -0.5);
    ASSERT_TRUE(m.ArrayGetCont(ten, 2, 9, r));
    EXPECT_EQ(r, 0.5);
    EXPECT_FALSE(m.ArrayGetCont(Array(1), 2, 0, r));
}

TEST(MathArrayUtilities, SampleDownAndCircularShifts) {
    MathClass m;
    const Array v{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    Array out;
    ASSERT_TRUE(m.SampleDown(v, out, 4)); // 2.5 elements round to 2
    EXPECT_EQ(out, (Array{0, 4}));
    ASSERT_TRUE(m.SampleDown({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, out, 2)); // 5.5 -> 6
    EXPECT_EQ(out, (Array{0, 2, 4, 6, 8, 10}));
    EXPECT_FALSE(m.SampleDown(v, out, 0));

    const Array a{1, 2, 3, 4};
    m.ArrayShiftLeft(a, out, 1);
    EXPECT_EQ(out, (Array{2, 3, 4, 1}));
    m.ArrayShiftLeft(a, out, -5);
    EXPECT_EQ(out, (Array{4, 1, 2, 3}));
    m.ArrayShiftRight(a, out, 1);
    EXPECT_EQ(out, (Array{4, 1, 2, 3}));
    m.ArrayShiftRight(a, out, LONG_MIN);
    EXPECT_EQ(out, a);
    m.ArrayShiftRight({}, out, 3);
    EXPECT_TRUE(out.empty());
}

TEST(MathArrayUtilities, PartsDifferencesAndContinuousPhase) {
    MathClass m;
    Array part{9};
    ASSERT_TRUE(m.ArrayGetPart({1, 2, 3, 4}, part, 1, 2));
    EXPECT_EQ(part, (Array{2, 3}));
    EXPECT_FALSE(m.ArrayGetPart({1, 2, 3, 4}, part, 3, 2));
    EXPECT_FALSE(m.ArrayGetPart({1, 2, 3, 4}, part, -1, 1));
    EXPECT_EQ(part, (Array{2, 3}));

    Array d{7};
    m.NumDDT({1, 4, 9}, d);
    EXPECT_EQ(d, (Array{7, 3, 5}));

    Array k;
    m.ArrayKontPhase({3, -3, -0.5}, k);
    ASSERT_EQ(k.size(), 3u);
    EXPECT_EQ(k[0], 3);
    EXPECT_NEAR(k[1], 3 + 0.2831853, 1e-6);
    EXPECT_NEAR(k[2], k[1] + 2.5, 1e-12);
}

TEST(MathArrayUtilities, ComplexRatiosAndProducts) {
    MathClass m;
    std::string notice;
    m.ShowMessage = [&](const std::string& s) { notice = s; };
    double re = 0, im = 0;
    m.ElementComplexMult(1, 2, 3, 4, re, im);
    EXPECT_EQ(re, -5);
    EXPECT_EQ(im, 10);
    EXPECT_EQ(notice, "Old Function ElementComplexMult called");

    Array oRe, oIm;
    ASSERT_TRUE(m.SParameter({1, 0}, {0, 2}, {2, -2}, {0, 0}, oRe, oIm)); // 2/1, -2/(2j)
    EXPECT_NEAR(oRe[0], 2, 1e-15);
    EXPECT_NEAR(oIm[0], 0, 1e-15);
    EXPECT_NEAR(oRe[1], 0, 1e-15);
    EXPECT_NEAR(oIm[1], 1, 1e-15);
    EXPECT_FALSE(m.SParameter({0}, {0}, {1}, {1}, oRe, oIm));

    Array o1, o2;
    ASSERT_TRUE(m.ReflImp({0.5, 0}, {0.5, 1}, o1, o2));
    EXPECT_EQ(o1, (Array{-1, -2}));
    EXPECT_EQ(o2, (Array{-0.5, 0}));
    EXPECT_FALSE(m.ReflImp({1, 2}, {1}, o1, o2));
}
