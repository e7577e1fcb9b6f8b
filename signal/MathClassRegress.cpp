// Straight-line and polynomial least squares, their error figures, the linear
// solver behind them and polynomial evaluation.

#include "MathClass.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

namespace {

bool AllFinite(const std::vector<double>& v) {
    return std::all_of(v.begin(), v.end(), [](double d) { return std::isfinite(d); });
}

} // namespace

bool MathClass::RegressLinW(const Array& x, const Array& y, const Array& w, double& slope,
                            double& offset) const {
    const std::size_t n = x.size();
    if (n == 0 || y.size() != n || w.size() != n) return false;
    // Equal x values leave the slope undetermined; the determinant below would
    // only show it as rounding noise, not as an exact zero.
    if (std::all_of(x.begin(), x.end(), [&](double v) { return v == x[0]; })) return false;
    double s = 0.0, sx = 0.0, sy = 0.0, sxx = 0.0, sxy = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        if (w[k] == 0.0) return false;
        const double weight = 1.0 / (w[k] * w[k]);
        s += weight;
        sx += weight * x[k];
        sy += weight * y[k];
        sxx += weight * x[k] * x[k];
        sxy += weight * x[k] * y[k];
    }
    const double d = s * sxx - sx * sx;
    if (d == 0.0) return false;
    const double m = (s * sxy - sy * sx) / d;
    const double b = (sy * sxx - sx * sxy) / d;
    if (!std::isfinite(m) || !std::isfinite(b)) return false;
    slope = m;
    offset = b;
    return true;
}

bool MathClass::RegressPoly(const Array& x, const Array& y, int order, Array& coeff) {
    // Orders far beyond any fit (the moments run to twice the order) are
    // refused rather than overflowing the index arithmetic.
    if (order < 0 || order > 1000) return false;
    Status("calculating regression " + std::to_string(order) + "-th order, please wait...");
    Array xs = x;
    Array ys = y;
    ArrayAdjustIndex(xs, ys);
    const auto terms = static_cast<Eigen::Index>(order) + 1;
    Array sums;
    ArrayMoments(xs, sums, 2 * order);
    Matrix m(terms, terms);
    for (Eigen::Index r = 0; r < terms; ++r)
        for (Eigen::Index c = 0; c < terms; ++c) m(r, c) = sums[static_cast<std::size_t>(r + c)];
    Status("moment must be calculated slow");
    Array v(static_cast<std::size_t>(terms));
    for (int r = 0; r <= order; ++r) v[static_cast<std::size_t>(r)] = ArrayMixMoment(ys, xs, 1, r);
    Status("solving equation system");
    if (!MatrixSolve(m, v, coeff)) return false;
    Status("equation system solved");
    return true;
}

namespace {

template <class Diff>
bool ErrorTerms(const std::vector<double>& x, const std::vector<double>& y, Diff diff,
                bool rms, double& result) {
    if (x.empty() || y.size() != x.size()) return false;
    double sum = 0.0;
    for (std::size_t k = 0; k < x.size(); ++k) {
        const double d = diff(k);
        sum += rms ? d * d : d;
    }
    const double mean = sum / static_cast<double>(x.size());
    result = rms ? std::sqrt(mean) : mean;
    return true;
}

} // namespace

bool MathClass::RegressError(const Array& x, const Array& y, const Array& coeff, bool inDB,
                             double& result) const {
    auto residual = [&](std::size_t k) {
        const double fit = PolyCalc(coeff, x[k]);
        return inDB ? ConvertAmpToDB(y[k]) - ConvertAmpToDB(fit) : y[k] - fit;
    };
    return ErrorTerms(x, y, residual, false, result);
}

bool MathClass::RegressError(const Array& x, const Array& y, const Array& coeff,
                             double& result) const {
    return RegressError(x, y, coeff, false, result);
}

bool MathClass::RegressErrorRMS(const Array& x, const Array& y, const Array& coeff, bool inDB,
                                double& result) const {
    auto residual = [&](std::size_t k) {
        const double fit = PolyCalc(coeff, x[k]);
        return inDB ? ConvertAmpToDB(y[k]) - ConvertAmpToDB(fit) : y[k] - fit;
    };
    return ErrorTerms(x, y, residual, true, result);
}

bool MathClass::RegressErrorRMS(const Array& x, const Array& y, const Array& coeff,
                                double& result) const {
    return RegressErrorRMS(x, y, coeff, false, result);
}

bool MathClass::MatrixSolve(const Matrix& A, const Array& b, Array& x) const {
    const auto n = static_cast<Eigen::Index>(b.size());
    if (A.rows() != n || A.cols() != n) return false;
    Matrix a = A;
    Array c = b;
    for (Eigen::Index i = 0; i < n; ++i) {
        if (a(i, i) == 0.0) {
            // A row further down with a usable entry takes this row's place;
            // when there is none, the system is singular.
            Eigen::Index k = i + 1;
            while (k < n && a(k, i) == 0.0) ++k;
            if (k == n) return false;
            a.row(i).swap(a.row(k));
            std::swap(c[static_cast<std::size_t>(i)], c[static_cast<std::size_t>(k)]);
        }
        const auto ui = static_cast<std::size_t>(i);
        const double pivot = a(i, i);
        for (Eigen::Index j = i; j < n; ++j) a(i, j) /= pivot;
        c[ui] /= pivot;
        // Every row below with an entry in this column is scaled to 1 there,
        // then the pivot row is taken off it.
        for (Eigen::Index k = i + 1; k < n; ++k) {
            const double f = a(k, i);
            if (f == 0.0) continue;
            for (Eigen::Index j = i; j < n; ++j) a(k, j) /= f;
            c[static_cast<std::size_t>(k)] /= f;
        }
        for (Eigen::Index k = i + 1; k < n; ++k) {
            if (a(k, i) == 0.0) continue;
            for (Eigen::Index j = i; j < n; ++j) a(k, j) -= a(i, j);
            c[static_cast<std::size_t>(k)] -= c[ui];
        }
    }
    Array result(b.size());
    for (Eigen::Index i = n - 1; i >= 0; --i) {
        double v = c[static_cast<std::size_t>(i)];
        for (Eigen::Index j = i + 1; j < n; ++j) v -= a(i, j) * result[static_cast<std::size_t>(j)];
        result[static_cast<std::size_t>(i)] = v;
    }
    if (!AllFinite(result)) return false;
    x = std::move(result);
    return true;
}

double MathClass::PolyCalc(const Array& coeff, double x) const {
    double sum = 0.0;
    double power = 1.0;
    for (double c : coeff) {
        sum += c * power;
        power *= x;
    }
    return sum;
}
