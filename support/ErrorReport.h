#pragma once
// A run-time error caught by a traced procedure, and the plain-text report
// that the error window offers for copying.

#include <cstdint>
#include <string>
#include <vector>

// The name the program shows in window captions and error reports.
inline constexpr const char* kApplicationTitle = "Quillon";

struct RuntimeError {
    std::int32_t Number = 0;
    std::string Source;
    std::string Description;
};

namespace ErrorReport {

// "5 = &&H5", "-5 = &&HFFFFFFFB": the decimal number, then the hexadecimal
// digits of its 32-bit pattern. The doubled "&" is what a label shows as one.
std::string ErrorNumberText(std::int32_t number);

// The caller list as shown: frame i preceded by i ">" characters.
std::vector<std::string> CallerLines(const std::vector<std::string>& callers);

// The report: SOURCE, NUMBER, DESCRIPTION, "CALLER STACK:" and the caller
// lines, each line ending in CR LF.
std::string ReportText(const RuntimeError& error, const std::vector<std::string>& callers);

} // namespace ErrorReport
