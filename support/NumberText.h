#pragma once
// Locale-independent conversions between numbers and text.

#include <QDateTime>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace NumberText {

// Real to integer the way the whole program converts: nearest, halves to even.
double RoundHalfEven(double value);
// False when the rounded value does not fit the target type (or is not finite).
bool ToInt16(double value, std::int16_t& out);
bool ToInt32(double value, std::int32_t& out);
// A real into a single-precision setting: false when it is not finite or
// lies beyond the range of a float (converting it would be undefined).
bool ToSingle(double value, float& out);

// The plain text of a number as used in instrument commands, the settings file
// and log lines: "." as decimal separator, no thousands separator, integral
// values without a point, no leading zero before the point (".5", "-.25"),
// exponent form "1E+20" for very large or small magnitudes. `digits` is the
// number of significant digits: 15 for a double, 7 for a single.
std::string Plain(double value, int digits = 15);
std::string Plain(float value);

// A numeric format pattern ("0.00", "##0.0", "000.00", "0.00000E+0",
// "#####", ...) applied to a value. `decimal` is the character written for
// the pattern's decimal point ("." or the regional separator). Halves of the
// last shown digit round away from zero, as report formats always have.
std::string FormatNumber(double value, std::string_view pattern, char decimal = '.');

// A date/time pattern ("yyyy-mm-dd", "mmm dd, yyyy hh:nn:ss", "dd.mm.yyyy",
// "hh:nn:ss") applied to a broken-down local time. "y" and "yy" give the
// two-digit year, three or more "y" the whole year.
std::string FormatDateTime(const std::tm& time, std::string_view pattern);
// A local date and time broken down as FormatDateTime takes it.
std::tm BrokenDown(const QDateTime& time);

// The decimal separator of the user's regional settings (from the locale the
// environment names, read once, without changing the process locale).
char RegionalDecimal();

} // namespace NumberText
