#pragma once
// Text and number helpers shared by the whole program. Numbers are read and
// written here without regard to the process locale: instrument commands,
// waveform tags and the settings file always carry "." as decimal separator.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace StringOp {

// "," or "." as decimal separator; when both occur the earlier one is a
// thousands separator. 0 when the text does not begin with a number, and
// also when the number is too large for a double.
double StrToDbl(std::string_view text);
// As StrToDbl, but nothing when the number is too large for a double, so
// that a setting can refuse it instead of taking 0.
std::optional<double> StrToDblChecked(std::string_view text);

// The leading decimal number of a text: optional sign, digits, ".", digits,
// exponent (E or D); blanks, tabs and line feeds are skipped wherever they
// stand; reading stops at the first character that cannot continue the
// number. 0 when there is none; nullopt when the number overflows a double.
std::optional<double> LeadingNumber(std::string_view text);

// A text that is one number and nothing else, blanks around or inside it
// aside: read as LeadingNumber (WholeNumber, ReadWholeNumber) or as StrToDbl
// (ReadWholeRegionalNumber). Nothing for any other text, an empty one
// included ("12x", "1e", "-"), and for a number too large for a double.
std::optional<double> WholeNumber(std::string_view text);

// As above, telling why a text gives nothing: `tooLarge` only for a text
// that is one number, too large for a double.
struct WholeRead {
    std::optional<double> value;
    bool tooLarge = false;
};
WholeRead ReadWholeNumber(std::string_view text);
WholeRead ReadWholeRegionalNumber(std::string_view text);

// Whether the text, after blanks and one sign, begins with a digit, or with
// one of the decimal separators given followed by a digit: a number to read,
// not a typing slip (".", "-,") that the readers above would take as 0.
bool BeginsWithNumber(std::string_view text, std::string_view separators);

// Formats a number (or the number a text holds, separators normalised as by
// StrToDbl) with a format pattern, always with "." as decimal separator.
std::string FormatDot(double value, std::string_view pattern);
std::string FormatDot(std::string_view value, std::string_view pattern);

std::string StripLineEnds(std::string_view text);
std::string TrimWhite(std::string_view text);
std::vector<std::string> SplitTrim(std::string_view text, std::string_view separator);
bool IsWhiteSpace(std::string_view ch);
// alignment 0: fill after, 1: fill before, 2: both sides (before gets half,
// rounded half to even). An empty fill pads with blanks.
std::string PadString(std::string_view text, int width, int alignment, std::string_view fill);

} // namespace StringOp
