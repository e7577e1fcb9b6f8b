#pragma once
// The triangle of a least-squares problem built row block by row block
// (tall-skinny QR): the rows of a long record meet only the small triangle,
// never each other, so no tall matrix is stored and the work stays in cache.

#include <cstddef>
#include <vector>

// Holds R of the QR decomposition of [A | b], where A has `columns` columns
// and b is the right-hand side: R's top-left block is A's triangle, its last
// column Q'b, its last diagonal element (up to sign) the residual norm. A
// row at a time is added, and every block of rows is folded in by Householder
// reflections that act on the triangle and the block only.
class LeastSquaresTriangle {
public:
    explicit LeastSquaresTriangle(std::size_t columns);

    // The next row: columns values of A, then its right-hand side.
    void AddRow(const double* row);
    // Folds the rows still waiting into the triangle; R(r, c) after it.
    void Finish();
    double R(std::size_t row, std::size_t col) const { return r_[row * width_ + col]; }

private:
    void Fold();

    std::size_t width_;         // columns of [A | b]
    std::size_t waiting_ = 0;   // rows in the block
    std::vector<double> r_;     // width_ x width_, row-major, upper triangle used
    std::vector<double> block_; // kBlockRows rows, column-major
};
