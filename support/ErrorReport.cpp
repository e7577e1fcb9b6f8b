#include "ErrorReport.h"

#include "INIIO.h"

#include <charconv>

namespace ErrorReport {

std::string ErrorNumberText(std::int32_t number) {
    char hex[16];
    auto end = std::to_chars(hex, hex + sizeof hex, static_cast<std::uint32_t>(number), 16).ptr;
    std::string digits(hex, end);
    for (char& c : digits)
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    return INIIO::TrimStr(number) + " = &&H" + digits;
}

std::vector<std::string> CallerLines(const std::vector<std::string>& callers) {
    std::vector<std::string> lines;
    lines.reserve(callers.size());
    for (std::size_t i = 0; i < callers.size(); ++i)
        lines.push_back(std::string(i, '>') + callers[i]);
    return lines;
}

std::string ReportText(const RuntimeError& error, const std::vector<std::string>& callers) {
    std::string report;
    auto line = [&](const std::string& text) { report += text + "\r\n"; };
    line("SOURCE      : " + error.Source);
    line("NUMBER      : " + ErrorNumberText(error.Number));
    line("DESCRIPTION : " + error.Description);
    line("CALLER STACK:");
    for (const auto& caller : CallerLines(callers))
        line(caller);
    return report;
}

} // namespace ErrorReport
