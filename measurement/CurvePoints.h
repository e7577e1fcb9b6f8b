#pragma once
// The AM/AM and AM/PM point sets of one sweep point: per sample the input and
// output amplitude and phase and the phase difference, from the reference and
// amplifier output records. A sample that the output or the reference does
// not hold as a finite number gives NaN output values: it is no point, and
// every later step passes it over.

#include <cstddef>
#include <vector>

namespace CurvePoints {

using Array = std::vector<double>;

struct PointSets {
    Array inputAmplitude, inputPhase;   // V, rad
    Array outputAmplitude, outputPhase; // V (normalised once aligned), rad
    Array phaseDifferenceRad;           // output minus input phase, mean removed
    Array phaseDifference;              // the same in degrees
};

// Polar forms of both records and the phase difference, wrapped into ±pi and
// with its mean taken off. `unusable` (empty, or one flag per sample) marks
// samples that are no point. False when the four arrays differ in length.
bool Extract(const Array& refI, const Array& refQ, const Array& outI, const Array& outQ,
             const std::vector<bool>& unusable, PointSets& points);

// For the aligned records: Extract, but with each phase difference taken
// within half a turn of the phase of the sum of output times conjugate input
// before the mean comes off, so that a set lying around ±pi stays whole; then
// the mean phase difference also taken off the output phase, and the output
// amplitudes divided by the least-squares gain of output against input
// amplitude, so that small signals run near 1:1.
// False (points as Extract left them) when no usable point is left or the
// gain is zero or not finite.
bool ExtractAligned(const Array& refI, const Array& refQ, const Array& outI, const Array& outQ,
                    const std::vector<bool>& unusable, PointSets& points, double& gain);

// The samples that hold a finite I and Q.
std::size_t FiniteCount(const Array& I, const Array& Q);

} // namespace CurvePoints
