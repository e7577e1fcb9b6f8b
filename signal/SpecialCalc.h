#pragma once
// Small level and spectrum helpers shared by the maths library and the data
// display: level units, decibels with a floor for zero, the magnitude and the
// level distribution of an I/Q record, sub-arrays and graph grid steps.
//
// Decibels here floor the value at 1e-100 before the logarithm, so zero or a
// negative value gives -1000 dB as a power ratio and -2000 dB as an amplitude
// ratio.

#include <cstdint>
#include <vector>

namespace SpecialCalc {

using Array = std::vector<double>;

// Unit codes of ConvertLevel.
enum LevelUnit : std::int32_t {
    UnitDBm = 0,
    UnitDBW = 1,
    UnitW = 2,
    UnitMW = 3,
    UnitDBV = 4,
    UnitDBuV = 5,
    UnitV = 6,
};

// value in unit `from` as unit `to` across resistance r (ohms). Linear results
// keep the sign of a linear input; a code outside 0 to 6, or a resistance
// that is not positive where one is needed, gives 0.
double ConvertLevel(double value, std::int32_t from, std::int32_t to, double r);

double VoltToDB(double value);  // 20·log10, floored
double PowerToDB(double value); // 10·log10, floored
void ArrayVoltToDB(Array& values);
void ArrayPowerToDB(Array& values);

// out(k) = sqrt(I(k)² + Q(k)²) with I's length, done only when Q holds at
// least as many elements as I (otherwise out is left alone).
void IQMagnitude(const Array& I, const Array& Q, Array& out);

// The level distribution of an I/Q record: the sample levels in dB (amplitude,
// floored) counted in `classes` equal classes between their lowest and highest
// value; curve(k) is the percentage of samples above class k, axis(k) the
// class centre in dB. `flag` is accepted for the callers' sake and changes
// nothing. False (outputs empty) for an empty record, I and Q of different
// length, a sample that is infinite or NaN, or fewer than one class.
bool CalcSpectrumDB(const Array& I, const Array& Q, Array& curve, Array& axis, bool flag,
                    std::int16_t classes);

// source(start) to source(start + count - 1) into out (0-based), cut at the
// end of source; out is empty when start lies outside source or count < 1.
void SubArray(const Array& source, std::int32_t start, std::int32_t count, Array& out);

// Grid step for a graph span (0.005 up to 100).
float AxisStep(float span);

} // namespace SpecialCalc
