#include "MathClass.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using Array = MathClass::Array;
using Matrix = MathClass::Matrix;

TEST(MathRegression, PolyCalcLowestPowerFirst) {
    MathClass m;
    EXPECT_EQ(m.PolyCalc({1, 2, 3}, 2), 17);
    EXPECT_EQ(m.PolyCalc({1, 2, 3}, 0), 1);
    EXPECT_EQ(m.PolyCalc({}, 5), 0);
    EXPECT_EQ(m.PolyCalc({0, 0, 0, 1}, -2), -8);
}

TEST(MathRegression, WeightedLineAndItsFailures) {
    MathClass m;
    const Array x{0, 1, 2, 3, 4};
    const Array y{1, 4, 7, 10, 13}; // 3x + 1
    double slope = 0, offset = 0;
    ASSERT_TRUE(m.RegressLinW(x, y, {1, 0.5, 2, 3, 0.1}, slope, offset));
    EXPECT_NEAR(slope, 3, 1e-12);
    EXPECT_NEAR(offset, 1, 1e-12);
    // Weights pull the line towards the points with small deviation.
    ASSERT_TRUE(m.RegressLinW({0, 1, 2}, {0, 0, 3}, {1, 1, 1}, slope, offset));
    EXPECT_NEAR(slope, 1.5, 1e-12);
    EXPECT_NEAR(offset, -0.5, 1e-12);

    // Equal x values leave the slope open: failure, outputs untouched.
    slope = 42;
    offset = 43;
    EXPECT_FALSE(m.RegressLinW({0.1, 0.1, 0.1}, {1, 2, 3}, {1, 1, 1}, slope, offset));
    EXPECT_FALSE(m.RegressLinW({}, {}, {}, slope, offset));
    EXPECT_FALSE(m.RegressLinW({0, 1}, {0, 1}, {1, 0}, slope, offset)); // zero deviation
    EXPECT_FALSE(m.RegressLinW({0, 1}, {0, 1}, {1}, slope, offset));
    EXPECT_EQ(slope, 42);
    EXPECT_EQ(offset, 43);
}

TEST(MathRegression, RegressPolyReproducesExactDataAndTheLine) {
    MathClass m;
    std::vector<std::string> status;
    m.MathStatus = [&](const std::string& s) { status.push_back(s); };
    Array coeff;
    ASSERT_TRUE(m.RegressPoly({-1, 0, 1, 2, 3}, {6, 1, 0, 3, 10}, 2, coeff)); // 2x² - 3x + 1
    ASSERT_EQ(coeff.size(), 3u);
    EXPECT_NEAR(coeff[0], 1, 1e-10);
    EXPECT_NEAR(coeff[1], -3, 1e-10);
    EXPECT_NEAR(coeff[2], 2, 1e-10);
    EXPECT_EQ(status, (std::vector<std::string>{
                          "calculating regression 2-th order, please wait...",
                          "moment must be calculated slow", "solving equation system",
                          "equation system solved"}));

    const Array x{0.1, 0.4, 0.5, 0.9, 1.3};
    const Array y{1.0, 1.7, 2.2, 2.5, 3.9};
    double slope = 0, offset = 0;
    ASSERT_TRUE(m.RegressLinW(x, y, Array(5, 1.0), slope, offset));
    ASSERT_TRUE(m.RegressPoly(x, y, 1, coeff));
    EXPECT_NEAR(coeff[0], offset, 1e-12);
    EXPECT_NEAR(coeff[1], slope, 1e-12);

    // Too few distinct points for the order: a singular system is reported,
    // not answered with NaN.
    status.clear();
    EXPECT_FALSE(m.RegressPoly({1, 1, 1}, {1, 2, 3}, 1, coeff));
    EXPECT_EQ(status.back(), "solving equation system");
    EXPECT_FALSE(m.RegressPoly(x, y, -1, coeff));
}

TEST(MathRegression, MatrixSolveExchangesRowsOnlyForZeroPivots) {
    MathClass m;
    Array x;
    ASSERT_TRUE(m.MatrixSolve(Matrix::Identity(3, 3), {4, 5, 6}, x));
    EXPECT_EQ(x, (Array{4, 5, 6}));

    // Regular, but the first pivot is zero.
    Matrix swap(2, 2);
    swap << 0, 1, 1, 0;
    ASSERT_TRUE(m.MatrixSolve(swap, {2, 3}, x));
    EXPECT_EQ(x, (Array{3, 2}));
    Matrix later(3, 3);
    later << 1, 2, 3, 2, 4, 7, 1, 3, 1; // zero pivot at the second step
    ASSERT_TRUE(m.MatrixSolve(later, {6, 13, 5}, x));
    ASSERT_EQ(x.size(), 3u);
    EXPECT_NEAR(x[0], 1, 1e-12);
    EXPECT_NEAR(x[1], 1, 1e-12);
    EXPECT_NEAR(x[2], 1, 1e-12);

    // Without a zero pivot the elimination runs as it always has: same
    // operations, same rounding, bit for bit.
    Matrix a(2, 2);
    a << 3, 1, 1, 2;
    ASSERT_TRUE(m.MatrixSolve(a, {0.1, 0.7}, x));
    // Row 1 / 3, row 2 / 1, subtract, back-substitute by hand.
    const double a01 = 1.0 / 3, b0 = 0.1 / 3;
    const double a11 = 2.0 - a01, b1 = 0.7 - b0;
    const double x1 = b1 / a11;
    EXPECT_EQ(x[1], x1);
    EXPECT_EQ(x[0], b0 - a01 * x1);

    // Singular systems are failures and leave x as it was.
    x = {7};
    Matrix singular(2, 2);
    singular << 1, 2, 2, 4;
    EXPECT_FALSE(m.MatrixSolve(singular, {1, 2}, x));
    EXPECT_FALSE(m.MatrixSolve(Matrix::Zero(2, 2), {1, 2}, x));
    EXPECT_FALSE(m.MatrixSolve(Matrix::Identity(2, 2), {1, 2, 3}, x));
    EXPECT_EQ(x, Array{7});
}

TEST(MathRegression, ErrorFiguresOfAFit) {
    MathClass m;
    const Array x{0, 1, 2};
    double r = -1;
    ASSERT_TRUE(m.RegressError(x, {1, 3, 5}, {1, 2}, r));
    EXPECT_EQ(r, 0);
    ASSERT_TRUE(m.RegressError(x, {2, 3, 3}, {1, 2}, r));
    EXPECT_DOUBLE_EQ(r, -1.0 / 3); // (1 + 0 - 2) / 3
    ASSERT_TRUE(m.RegressErrorRMS(x, {2, 3, 3}, {1, 2}, r));
    EXPECT_DOUBLE_EQ(r, std::sqrt(5.0 / 3));
    // In dB a fitted value of 0 enters as -1000.
    ASSERT_TRUE(m.RegressError({0, 1}, {1, 1}, {0, 1}, true, r));
    EXPECT_DOUBLE_EQ(r, 500);
    ASSERT_TRUE(m.RegressErrorRMS({1, 2}, {10, 20}, {0, 1}, true, r));
    EXPECT_NEAR(r, 20, 1e-12);
    EXPECT_FALSE(m.RegressError({}, {}, {1}, r));
    EXPECT_FALSE(m.RegressErrorRMS({1, 2}, {1}, {1}, r));
}
