#include "AnalysisControls.h"

#include <cmath>
#include <complex>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <vector>

using Analysis::Array;

namespace {

// The DFT of one bin, summed in long double.
std::complex<long double> Dft(const Array& re, const Array& im, std::size_t k, bool inverse) {
    const std::size_t n = re.size();
    std::complex<long double> sum = 0;
    const long double pi = std::acos(-1.0L);
    for (std::size_t t = 0; t < n; ++t) {
        const long double a = (inverse ? 2 : -2) * pi * static_cast<long double>((k * t) % n) / n;
        sum += std::complex<long double>(re[t], im[t]) * std::polar(1.0L, a);
    }
    return sum;
}

Array Random(std::size_t n, unsigned seed) {
    std::mt19937_64 g(seed);
    std::normal_distribution<double> d;
    Array x(n);
    for (double& v : x)
        v = d(g);
    return x;
}

} // namespace

TEST(AnalysisFastPaths, SinCosStaysWithinTwoUlp) {
    std::mt19937_64 g(5);
    for (double range : {0.8, 4.0, 200.0, 4e5, 1e7}) {
        std::uniform_real_distribution<double> d(-range, range);
        Array x(4099);
        for (double& v : x)
            v = d(g);
        x[0] = 0.0;
        x[1] = -0.0;
        Array s(x.size()), c(x.size());
        Analysis::SinCos(x.data(), x.size(), s.data(), c.data());
        for (std::size_t i = 0; i < x.size(); ++i) {
            EXPECT_NEAR(s[i], std::sin(x[i]), 2.3e-16) << x[i];
            EXPECT_NEAR(c[i], std::cos(x[i]), 2.3e-16) << x[i];
        }
    }
    // Non-finite angles take the library's answers.
    const double odd[] = {std::numeric_limits<double>::infinity(), std::nan("")};
    double s[2], c[2];
    Analysis::SinCos(odd, 2, s, c);
    EXPECT_TRUE(std::isnan(s[0]) && std::isnan(c[0]) && std::isnan(s[1]) && std::isnan(c[1]));
}

TEST(AnalysisFastPaths, Atan2StaysWithinTwoUlpAndKeepsTheSpecialCases) {
    std::mt19937_64 g(6);
    for (double scale : {1.0, 1e-200, 1e200}) {
        std::normal_distribution<double> d(0.0, scale);
        Array y(5003), x(5003), a(5003);
        for (std::size_t i = 0; i < y.size(); ++i)
            y[i] = d(g), x[i] = d(g);
        Analysis::Atan2(y.data(), x.data(), y.size(), a.data());
        for (std::size_t i = 0; i < y.size(); ++i)
            EXPECT_NEAR(a[i], std::atan2(y[i], x[i]), 4.5e-16) << y[i] << ", " << x[i];
    }
    const double inf = std::numeric_limits<double>::infinity();
    const Array y{0.0, -0.0, 0.0, -0.0, 1.0, -inf, inf, 1.0, 1e-300};
    const Array x{1.0, 1.0, -1.0, -1.0, 0.0, 2.0, -inf, std::nan(""), -1.0};
    Array a(y.size());
    Analysis::Atan2(y.data(), x.data(), y.size(), a.data());
    for (std::size_t i = 0; i < y.size(); ++i) {
        const double expected = std::atan2(y[i], x[i]);
        if (std::isnan(expected)) {
            EXPECT_TRUE(std::isnan(a[i]));
        } else {
            EXPECT_EQ(a[i], expected) << i;
            EXPECT_EQ(std::signbit(a[i]), std::signbit(expected)) << i;
        }
    }
}

TEST(AnalysisFastPaths, PhaseStepsMatchTheDirectValues) {
    // Up to the rounding of the angle itself.
    for (double step : {0.01, -2.5e-6, 1e-3}) {
        const Analysis::PhaseSteps steps(step, 5000);
        for (std::size_t m : {0u, 1u, 63u, 64u, 65u, 4095u, 4999u}) {
            double c, s;
            steps.At(m, c, s);
            const double a = step * static_cast<double>(m);
            const double tol = 1e-15 + 4e-16 * std::abs(a);
            EXPECT_NEAR(c, std::cos(a), tol);
            EXPECT_NEAR(s, std::sin(a), tol);
        }
    }
}

TEST(AnalysisFastPaths, LongTransformsMatchTheDft) {
    // 2^17 takes the four-step scheme, 3·5^6 (not a power of two) the plain
    // one; both through the array interface and the work area.
    for (std::size_t n : {std::size_t{1} << 17, std::size_t{46875}}) {
        const Array re = Random(n, 1), im = Random(n, 2);
        Array fr, fi, br, bi;
        ASSERT_TRUE(Analysis::FFT(re, im, fr, fi));
        ASSERT_TRUE(Analysis::InverseFFT(re, im, br, bi));
        for (std::size_t k : {std::size_t{0}, std::size_t{1}, std::size_t{511}, n / 2, n - 3}) {
            const auto f = Dft(re, im, k, false);
            EXPECT_NEAR(fr[k], static_cast<double>(f.real()), 1e-10) << n << " bin " << k;
            EXPECT_NEAR(fi[k], static_cast<double>(f.imag()), 1e-10) << n << " bin " << k;
            const auto b = Dft(re, im, k, true) / static_cast<long double>(n);
            EXPECT_NEAR(br[k], static_cast<double>(b.real()), 1e-14);
            EXPECT_NEAR(bi[k], static_cast<double>(b.imag()), 1e-14);
        }
        Array r2, i2;
        ASSERT_TRUE(Analysis::InverseFFT(fr, fi, r2, i2));
        for (std::size_t k = 0; k < n; k += 97)
            EXPECT_NEAR(r2[k], re[k], 1e-13);
    }
}

TEST(AnalysisFastPaths, WorkTransformLayoutAndRowVisitors) {
    const std::size_t n = std::size_t{1} << 17;
    Analysis::WorkTransform w(n);
    ASSERT_TRUE(w.Valid());
    EXPECT_EQ(w.Rows() * w.Cols(), n);
    EXPECT_GT(w.Rows(), 1u);
    const Array re = Random(n, 3), im = Random(n, 4);
    // The forward visitor sees every bin exactly once, each where Position
    // says it stands.
    std::vector<int> seen(n, 0);
    double* data = w.Data();
    w.Forward(re.data(), im.data(),
              [&](double* row, std::size_t first, std::size_t stride, std::size_t count) {
                  for (std::size_t i = 0; i < count; ++i) {
                      const std::size_t bin = first + stride * i;
                      ++seen[bin];
                      EXPECT_EQ(static_cast<std::size_t>(row + 2 * i - data) / 2, w.Position(bin));
                  }
              });
    EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](int s) { return s == 1; }));
    const auto f = Dft(re, im, 12345, false);
    EXPECT_NEAR(data[2 * w.Position(12345)], static_cast<double>(f.real()), 1e-10);
    // ForEachBin walks the same correspondence.
    std::size_t visited = 0;
    w.ForEachBin([&](std::size_t pos, std::size_t bin) { visited += pos == w.Position(bin); });
    EXPECT_EQ(visited, n);
    // A filter that passes everything gives the record back, in place.
    Array r = re, i = im;
    w.Filter(
        r.data(), i.data(), [](double*, std::size_t, std::size_t, std::size_t) {}, r.data(),
        i.data(), 1.0 / static_cast<double>(n));
    for (std::size_t k = 0; k < n; k += 101) {
        EXPECT_NEAR(r[k], re[k], 1e-13);
        EXPECT_NEAR(i[k], im[k], 1e-13);
    }
    // Short and odd lengths stand in natural order.
    Analysis::WorkTransform small(1000);
    EXPECT_EQ(small.Rows(), 1u);
    EXPECT_EQ(small.Position(999), 999u);
    EXPECT_FALSE(Analysis::WorkTransform(0).Valid());
}
