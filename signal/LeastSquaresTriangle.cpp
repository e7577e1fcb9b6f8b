// Tall-skinny QR: the least-squares triangle updated block by block.

#include "LeastSquaresTriangle.h"

#include <cmath>

namespace {

// Rows folded in at a time: the block and the triangle stay in the cache.
constexpr std::size_t kBlockRows = 256;

// Four partial sums, so the loop vectorises without reordering one sum.
__attribute__((target_clones("avx2", "default"))) double Dot(const double* a, const double* b,
                                                             std::size_t n) {
    double s[4] = {};
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4)
        for (std::size_t l = 0; l < 4; ++l)
            s[l] += a[i + l] * b[i + l];
    for (; i < n; ++i)
        s[0] += a[i] * b[i];
    return (s[0] + s[1]) + (s[2] + s[3]);
}

__attribute__((target_clones("avx2", "default"))) void
SubtractScaled(double* __restrict y, const double* __restrict x, double f, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        y[i] -= f * x[i];
}

} // namespace

LeastSquaresTriangle::LeastSquaresTriangle(std::size_t columns)
    : width_(columns + 1), r_(width_ * width_, 0.0), block_(width_ * kBlockRows) {}

void LeastSquaresTriangle::AddRow(const double* row) {
    if (waiting_ == kBlockRows) Fold();
    for (std::size_t j = 0; j < width_; ++j)
        block_[j * kBlockRows + waiting_] = row[j];
    ++waiting_;
}

void LeastSquaresTriangle::Finish() {
    Fold();
}

void LeastSquaresTriangle::Fold() {
    const std::size_t m = waiting_;
    if (m == 0) return;
    // Column j of [R; block] is nonzero only in R(j, j) and the block, so
    // each reflection has m + 1 entries and touches row j of R and the block.
    for (std::size_t j = 0; j < width_; ++j) {
        double* v = &block_[j * kBlockRows];
        const double alpha = r_[j * width_ + j];
        const double sigma = Dot(v, v, m);
        if (!(sigma > 0.0)) continue; // nothing below the diagonal to take out
        const double norm = std::hypot(alpha, std::sqrt(sigma));
        const double beta = alpha > 0.0 ? -norm : norm;
        const double head = alpha - beta;
        const double uu = head * head + sigma;
        if (!(uu > 0.0)) continue;
        for (std::size_t k = j + 1; k < width_; ++k) {
            double* col = &block_[k * kBlockRows];
            double& rjk = r_[j * width_ + k];
            const double f = 2.0 * (head * rjk + Dot(v, col, m)) / uu;
            rjk -= f * head;
            SubtractScaled(col, v, f, m);
        }
        r_[j * width_ + j] = beta;
    }
    waiting_ = 0;
}
