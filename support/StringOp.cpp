#include "StringOp.h"

#include "NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace StringOp {

namespace {

bool IsBlankForNumber(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Both separators present: the earlier one groups thousands and goes; the
// remaining commas become points.
std::string NormaliseSeparators(std::string_view text) {
    std::size_t comma = text.find(',');
    std::size_t point = text.find('.');
    std::string s(text);
    if (comma != std::string_view::npos && point != std::string_view::npos) {
        char thousands = comma < point ? ',' : '.';
        std::erase(s, thousands);
    }
    for (char& c : s)
        if (c == ',') c = '.';
    return s;
}

// The leading number of `text` and where reading it stopped (after the
// blanks behind it); `digits` false when the text holds none.
struct Scan {
    std::optional<double> value;
    std::size_t end = 0;
    bool digits = false;
};

// Of a number (sign, digits, point, digits, exponent) out of a double's
// range, whether it is too small rather than too large: its first
// significant digit stands right of the point, however it is written
// ("1e-330", "0.000...1", "0.001e-330", "1000e-330").
bool TooSmallForADouble(std::string_view number) {
    const std::size_t e = std::min(number.find('e'), number.size());
    const std::string_view mantissa = number.substr(0, e);
    const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    const std::size_t first = mantissa.find_first_of("123456789");
    if (first == std::string_view::npos) return true;
    // The power of ten of the first significant digit, the exponent aside.
    const long long place = first < point ? static_cast<long long>(point - first - 1)
                                          : -static_cast<long long>(first - point);
    std::string_view digits = number.substr(std::min(e + 1, number.size()));
    const bool negative = !digits.empty() && digits.front() == '-';
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+'))
        digits.remove_prefix(1);
    // Exponents beyond this are beyond any double whatever the digits.
    constexpr long long kFar = 1'000'000'000'000;
    long long exponent = 0;
    // Digits the exponent cannot hold are too many for any double.
    if (!digits.empty() &&
        std::from_chars(digits.data(), digits.data() + digits.size(), exponent).ec != std::errc())
        exponent = kFar;
    exponent = std::min(exponent, kFar);
    return place + (negative ? -exponent : exponent) < 0;
}

Scan ScanNumber(std::string_view text) {
    std::string clean;
    std::size_t i = 0;
    auto skip = [&] {
        while (i < text.size() && IsBlankForNumber(text[i]))
            ++i;
    };
    skip();
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') clean += '-';
        ++i;
    }
    bool digits = false;
    for (skip(); i < text.size() && IsDigit(text[i]); skip()) {
        clean += text[i++];
        digits = true;
    }
    if (i < text.size() && text[i] == '.') {
        clean += '.';
        ++i;
        for (skip(); i < text.size() && IsDigit(text[i]); skip()) {
            clean += text[i++];
            digits = true;
        }
    }
    if (!digits) return {0.0, i, false};
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
        std::size_t save = i;
        std::string exponent = "e";
        ++i;
        skip();
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) exponent += text[i++];
        bool expDigits = false;
        for (skip(); i < text.size() && IsDigit(text[i]); skip()) {
            exponent += text[i++];
            expDigits = true;
        }
        if (expDigits)
            clean += exponent;
        else
            i = save;
    }
    double value = 0;
    auto res = std::from_chars(clean.data(), clean.data() + clean.size(), value);
    if (res.ec == std::errc::result_out_of_range) {
        // Underflow reads as 0; only a number too large for a double fails.
        if (TooSmallForADouble(clean)) return {0.0, i, true};
        return {std::nullopt, i, true};
    }
    if (res.ec != std::errc()) return {0.0, i, true};
    return {value, i, true};
}

} // namespace

std::optional<double> LeadingNumber(std::string_view text) {
    return ScanNumber(text).value;
}

WholeRead ReadWholeNumber(std::string_view text) {
    const Scan scan = ScanNumber(text);
    if (!scan.digits) return {};
    for (std::size_t i = scan.end; i < text.size(); ++i)
        if (!IsBlankForNumber(text[i])) return {};
    return {scan.value, !scan.value};
}

WholeRead ReadWholeRegionalNumber(std::string_view text) {
    return ReadWholeNumber(NormaliseSeparators(text));
}

std::optional<double> WholeNumber(std::string_view text) {
    return ReadWholeNumber(text).value;
}

double StrToDbl(std::string_view text) {
    return StrToDblChecked(text).value_or(0.0);
}

std::optional<double> StrToDblChecked(std::string_view text) {
    return LeadingNumber(NormaliseSeparators(text));
}

std::string FormatDot(double value, std::string_view pattern) {
    std::string p(pattern);
    std::erase(p, ',');
    std::string out = NumberText::FormatNumber(value, p, '.');
    for (char& c : out)
        if (c == ',') c = '.';
    return out;
}

std::string FormatDot(std::string_view value, std::string_view pattern) {
    return FormatDot(StrToDbl(value), pattern);
}

bool BeginsWithNumber(std::string_view text, std::string_view separators) {
    const std::string t = TrimWhite(text);
    std::string_view rest(t);
    if (!rest.empty() && (rest[0] == '+' || rest[0] == '-')) rest.remove_prefix(1);
    if (!rest.empty() && separators.find(rest[0]) != std::string_view::npos) rest.remove_prefix(1);
    return !rest.empty() && IsDigit(rest[0]);
}

std::string StripLineEnds(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    auto isEnd = [](char c) { return c == '\n' || c == '\r' || c == '\0'; };
    while (!text.empty() && isEnd(text.back()))
        text.remove_suffix(1);
    while (!text.empty() && isEnd(text.front()))
        text.remove_prefix(1);
    return std::string(text);
}

bool IsWhiteSpace(std::string_view ch) {
    return ch == "\n" || ch == "\r" || ch == "\r\n" || ch == "\t";
}

std::string TrimWhite(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    while (!text.empty() && IsWhiteSpace(text.substr(text.size() - 1)))
        text.remove_suffix(1);
    while (!text.empty() && IsWhiteSpace(text.substr(0, 1)))
        text.remove_prefix(1);
    return std::string(text);
}

std::vector<std::string> SplitTrim(std::string_view text, std::string_view separator) {
    std::vector<std::string> parts;
    if (separator.empty()) {
        parts.push_back(TrimWhite(text));
        return parts;
    }
    std::size_t start = 0;
    for (;;) {
        std::size_t at = text.find(separator, start);
        if (at == std::string_view::npos) {
            parts.push_back(TrimWhite(text.substr(start)));
            return parts;
        }
        parts.push_back(TrimWhite(text.substr(start, at - start)));
        start = at + separator.size();
    }
}

std::string PadString(std::string_view text, int width, int alignment, std::string_view fill) {
    auto length = static_cast<int>(text.size());
    if (length >= width) return std::string(text);
    char f = fill.empty() ? ' ' : fill.front();
    int n = width - length;
    switch (alignment) {
    case 0:
        return std::string(text) + std::string(static_cast<std::size_t>(n), f);
    case 1:
        return std::string(static_cast<std::size_t>(n), f) + std::string(text);
    default: {
        auto before = static_cast<int>(NumberText::RoundHalfEven(n / 2.0));
        return std::string(static_cast<std::size_t>(before), f) + std::string(text) +
               std::string(static_cast<std::size_t>(n - before), f);
    }
    }
}

} // namespace StringOp
