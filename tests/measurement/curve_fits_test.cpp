// Grid averages, the low-level rules, the settings check, the fits and the
// curve scale.

#include "CurveFits.h"
#include "DSP.h"

#include <cmath>
#include <gtest/gtest.h>

using CurveFits::Curve;
using CurveFits::LowLevelRule;

TEST(CurveFits, AverageCurveOnGrid) {
    struct Case {
        const char* what;
        std::vector<double> x, y;
        int n;
        std::vector<double> outX, outY;
    };
    const double nan = NAN;
    for (const Case& c : {
             Case{"edge to the upper bin, maximum to the last",
                  {0, 1, 2, 4},
                  {10, 20, 30, 40},
                  2,
                  {0.5, 3},
                  {15, 35}},
             Case{"empty bins give no point",
                  {0, 0.1, 3.9, 4},
                  {1, 3, 5, 7},
                  4,
                  {0.05, 3.95},
                  {2, 6}},
             Case{"all x equal: one point", {2, 2, 2}, {1, 2, 6}, 5, {2}, {3}},
             Case{"non-finite pairs are no points",
                  {0, nan, 1, 2, INFINITY},
                  {1, 5, nan, 3, 1},
                  1,
                  {1},
                  {2}},
             Case{"no bins", {0, 1}, {0, 1}, 0, {}, {}},
             Case{"no finite pair", {nan}, {1}, 3, {}, {}},
         }) {
        const Curve g = CurveFits::AverageCurveOnGrid(c.x, c.y, c.n);
        EXPECT_EQ(g.x, c.outX) << c.what;
        EXPECT_EQ(g.y, c.outY) << c.what;
    }
}

TEST(CurveFits, LowLevelRules) {
    const Curve grid{{0.1, 0.2, 0.3, 0.4, 0.5}, {1, 2, 3, 4, 5}};
    struct Case {
        const char* what;
        LowLevelRule rule;
        std::vector<double> amamX, amamY, ampmX, ampmY;
    };
    for (const Case& c : {
             Case{"no rule: AM/AM whole, AM/PM loses its first point",
                  {40, false, false},
                  grid.x,
                  grid.y,
                  {0.2, 0.3, 0.4, 0.5},
                  {2, 3, 4, 5}},
             Case{"limit 0 sets the first point only",
                  {0, false, true},
                  grid.x,
                  {0.1, 2, 3, 4, 5},
                  grid.x,
                  {0, 2, 3, 4, 5}},
             Case{"40 % of 5: points 0 to 2",
                  {40, false, true},
                  grid.x,
                  {0.1, 0.2, 0.3, 4, 5},
                  grid.x,
                  {0, 0, 0, 4, 5}},
             Case{"30 % of 5 = 1.5 rounds to 2",
                  {30, true, false},
                  {0.4, 0.5},
                  {4, 5},
                  {0.4, 0.5},
                  {4, 5}},
             Case{"10 % of 5 = 0.5 rounds to 0",
                  {10, true, false},
                  {0.2, 0.3, 0.4, 0.5},
                  {2, 3, 4, 5},
                  {0.2, 0.3, 0.4, 0.5},
                  {2, 3, 4, 5}},
             Case{"a boundary past the end sets all, never beyond",
                  {500, false, true},
                  grid.x,
                  grid.x,
                  grid.x,
                  {0, 0, 0, 0, 0}},
             Case{"and ignores all", {500, true, false}, {}, {}, {}, {}},
             Case{"a negative limit leaves the curve",
                  {-50, true, true},
                  grid.x,
                  grid.y,
                  grid.x,
                  grid.y},
         }) {
        Curve amam = grid, ampm = grid;
        CurveFits::ApplyAMAMLowLevel(amam, c.rule);
        CurveFits::ApplyAMPMLowLevel(ampm, c.rule);
        EXPECT_EQ(amam.x, c.amamX) << c.what;
        EXPECT_EQ(amam.y, c.amamY) << c.what;
        EXPECT_EQ(ampm.x, c.ampmX) << c.what;
        EXPECT_EQ(ampm.y, c.ampmY) << c.what;
        EXPECT_EQ(CurveFits::PointsKept(5, c.rule, false), c.amamX.size()) << c.what;
        EXPECT_EQ(CurveFits::PointsKept(5, c.rule, true), c.ampmX.size()) << c.what;
    }
    EXPECT_EQ(CurveFits::LowLevelBoundary(NAN, 5), -1);
}

TEST(CurveFits, SettingsThatCannotFitAreRefused) {
    struct Case {
        int amamGrid, ampmGrid, amamOrder, ampmOrder;
        LowLevelRule ampmLow;
        const char* message; // empty: accepted
    };
    for (const Case& c : {
             Case{50, 50, 9, 9, {}, ""},
             Case{10, 11, 9, 9, {}, ""},
             Case{0, 50, 9, 9, {}, "The AM/AM grid needs at least one point."},
             Case{50, -3, 9, 9, {}, "The AM/PM grid needs at least one point."},
             Case{9,
                  50,
                  9,
                  9,
                  {},
                  "A AM/AM fit of order 9 needs 10 curve points, but 9 grid points leave at most "
                  "9."},
             // Without a low-level rule the AM/PM curve loses one point.
             Case{10,
                  10,
                  9,
                  9,
                  {},
                  "A AM/PM fit of order 9 needs 10 curve points, but 10 grid points leave at most "
                  "9."},
             Case{50,
                  50,
                  9,
                  9,
                  {90, true, false},
                  "A AM/PM fit of order 9 needs 10 curve points, but 50 grid points leave at most "
                  "4."},
         }) {
        CurveFits::FitSettings s;
        s.amamGrid = c.amamGrid;
        s.ampmGrid = c.ampmGrid;
        s.amamOrder = c.amamOrder;
        s.ampmOrder = c.ampmOrder;
        s.ampmLow = c.ampmLow;
        EXPECT_EQ(CurveFits::CheckSettings(s), c.message);
    }
}

TEST(CurveFits, ModelOfAKnownAmplifier) {
    // AM/AM x - 0.2 x^3 and AM/PM 0.3 x^2 - 0.1 (rad), sampled on 40 points.
    Curve amam, ampm;
    for (int k = 1; k <= 40; ++k) {
        const double x = k / 40.0;
        amam.x.push_back(x);
        amam.y.push_back(x - 0.2 * x * x * x);
        ampm.x.push_back(x);
        ampm.y.push_back(0.3 * x * x - 0.1);
    }
    CurveFits::FitSettings s;
    s.amamOrder = 9;
    s.ampmOrder = 2;
    CurveFits::Model m;
    ASSERT_EQ(CurveFits::FitModel(amam, ampm, s, m), "");
    const std::vector<double> amamTrue = {0, 1, 0, -0.2}, ampmTrue = {-0.1, 0, 0.3};
    ASSERT_EQ(m.amamCoeff.size(), 10u);
    for (std::size_t k = 0; k < 10; ++k)
        EXPECT_NEAR(m.amamCoeff[k], k < 4 ? amamTrue[k] : 0.0, 1e-6) << k;
    ASSERT_EQ(m.ampmCoeff.size(), 3u);
    const MathClass& math = DSP::IntMath();
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_NEAR(m.ampmCoeff[k], ampmTrue[k], 1e-9) << k;
        EXPECT_EQ(m.ampmPreCoeff[k], -m.ampmCoeff[k]);
    }
    EXPECT_LT(m.amamError, -150); // a vanishing error
    // The predistortion undoes the amplifier within the inverse fit's error
    // (its steep end, where the amplifier flattens, is the hardest part).
    EXPECT_LT(m.amamInvError, -85);
    for (double x = 0.0; x <= 1.0; x += 0.05)
        EXPECT_NEAR(math.PolyCalc(m.amamPreCoeff, math.PolyCalc(m.amamCoeff, x)), x, 1e-3) << x;
    // The predistortion reaches full scale input at output 0.8 (x = 1).
    EXPECT_NEAR(m.curveScale, 0.8, 0.0015);
}

TEST(CurveFits, FitErrorsAreRmsResiduals) {
    // The curves of the known amplifier with ±1e-3 added alternately: no
    // polynomial of low order follows that, so it is what the fits leave.
    Curve amam, ampm;
    for (int k = 1; k <= 40; ++k) {
        const double x = k / 40.0, d = k % 2 ? 1e-3 : -1e-3;
        amam.x.push_back(x);
        amam.y.push_back(x - 0.2 * x * x * x + d);
        ampm.x.push_back(x);
        ampm.y.push_back(0.3 * x * x - 0.1 + d);
    }
    CurveFits::FitSettings s;
    s.amamOrder = 3;
    s.ampmOrder = 2;
    CurveFits::Model m;
    ASSERT_EQ(CurveFits::FitModel(amam, ampm, s, m), "");
    EXPECT_NEAR(m.amamError, -60, 0.1) << "dB of a 1e-3 amplitude";
    EXPECT_NEAR(m.ampmError, 1e-3 * 180 / M_PI, 0.001) << "degrees of 1e-3 rad";
    EXPECT_EQ(m.ampmInvError, m.ampmError);
}

TEST(CurveFits, TooFewPointsStopTheFit) {
    const Curve few{{0.1, 0.2, 0.2, 0.3}, {0.1, 0.2, 0.2, 0.3}};
    const Curve many{{0.1, 0.2, 0.3, 0.4, 0.5}, {0, 0, 0, 0, 0}};
    CurveFits::FitSettings s;
    s.amamOrder = 3;
    s.ampmOrder = 3;
    CurveFits::Model m;
    m.curveScale = 0.25;
    EXPECT_EQ(
        CurveFits::FitModel(few, many, s, m),
        "The AM/AM fit of order 3 needs 4 curve points; the measurement gave 3."
        " The test signal met the amplifier at too few levels (a dual tone does when its delay is "
        "a "
        "whole or half number of samples): lower the polynom order (Settings, Options ...) or "
        "measure with band limited noise.");
    EXPECT_EQ(
        CurveFits::FitModel(many, few, s, m),
        "The inverse AM/AM fit of order 3 needs 4 curve points; the measurement gave 1."
        " The test signal met the amplifier at too few levels (a dual tone does when its delay is "
        "a "
        "whole or half number of samples): lower the polynom order (Settings, Options ...) or "
        "measure with band limited noise.");
    EXPECT_EQ(m.curveScale, 0.25); // unchanged
}

TEST(CurveFits, CurveScale) {
    struct Case {
        const char* what;
        std::vector<double> pre;
        double scale;
    };
    for (const Case& c : {
             Case{"rising, within full scale to the end", {0, 1}, 1.0},
             Case{"passes full scale after 1 / 1.3", {0, 1.3}, 0.77},
             // 9 (x^3/3 - 0.35 x^2 + 0.12 x): falls between 0.3 and 0.4 only.
             Case{"a fall below 0.5 does not stop it", {0, 1.08, -3.15, 3}, 1.0},
             Case{"falls from 0.7 on", {0, 1.4, -1}, 0.701},
             Case{"starts above full scale", {1.5}, 0.001},
         }) {
        EXPECT_NEAR(CurveFits::CurveScale(c.pre), c.scale, 1e-12) << c.what;
    }
}
