#pragma once
// The whole-sample lag between the reference and the amplifier output, found
// by correlating their amplitude envelopes, as the signed shift that
// MathClass::ShiftSamples applies to the reference to line it up with the
// output.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace TimingAlignment {

using Array = std::vector<double>;

// Index p of the largest value of the circular correlation
// c(p) = sum over j of in(j)·out((j + p) mod n): the output lags the input by
// p samples. False for arrays of different length, empty ones or a
// non-finite value.
bool CorrelationPeak(const Array& in, const Array& out, std::size_t& peak);

// The shift that moves the reference onto an output lagging it by `peak`
// samples (circularly, n samples in all): -peak for a peak up to n/2, and
// n - peak above, where the peak stands for an output that leads.
std::int32_t FoldLag(std::size_t peak, std::size_t n);

// CorrelationPeak, then FoldLag.
bool CoarseLag(const Array& in, const Array& out, std::int32_t& lag);

} // namespace TimingAlignment
