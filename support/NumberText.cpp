#include "NumberText.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <locale>
#include <system_error>

namespace NumberText {

double RoundHalfEven(double value) {
    // nearbyint follows the current rounding mode, which this program never
    // changes from round-to-nearest-even.
    return std::nearbyint(value);
}

template <typename T> static bool ToInt(double value, T& out) {
    if (!std::isfinite(value)) return false;
    double r = RoundHalfEven(value);
    if (r < static_cast<double>(std::numeric_limits<T>::min()) ||
        r > static_cast<double>(std::numeric_limits<T>::max()))
        return false;
    out = static_cast<T>(r);
    return true;
}

bool ToInt16(double value, std::int16_t& out) {
    return ToInt(value, out);
}
bool ToInt32(double value, std::int32_t& out) {
    return ToInt(value, out);
}

bool ToSingle(double value, float& out) {
    if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max()) return false;
    out = static_cast<float>(value);
    return true;
}

namespace {

// to_chars' general form, then the program's own spelling of it: no leading
// zero before the point, upper-case exponent with a sign and two digits.
std::string Respell(std::string s) {
    std::size_t e = s.find('e');
    std::string exponent;
    if (e != std::string::npos) {
        std::string_view ex(s.c_str() + e + 1);
        char sign = '+';
        if (!ex.empty() && (ex.front() == '+' || ex.front() == '-')) {
            sign = ex.front();
            ex.remove_prefix(1);
        }
        std::string digits(ex);
        while (digits.size() > 2 && digits.front() == '0')
            digits.erase(0, 1);
        while (digits.size() < 2)
            digits.insert(0, "0");
        exponent = std::string("E") + sign + digits;
        s.erase(e);
    }
    if (s.rfind("0.", 0) == 0)
        s.erase(0, 1);
    else if (s.rfind("-0.", 0) == 0)
        s.erase(1, 1);
    return s + exponent;
}

} // namespace

std::string Plain(double value, int digits) {
    if (value == 0 || !std::isfinite(value)) {
        if (std::isnan(value)) return "NaN";
        if (std::isinf(value)) return value > 0 ? "Inf" : "-Inf";
        return "0";
    }
    std::array<char, 64> buf{};
    auto res = std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::general,
                             digits);
    return Respell(std::string(buf.data(), res.ptr));
}

std::string Plain(float value) {
    if (value == 0 || !std::isfinite(value)) return Plain(static_cast<double>(value));
    std::array<char, 64> buf{};
    auto res =
        std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::general, 7);
    return Respell(std::string(buf.data(), res.ptr));
}

namespace {

// A finite value as decimal digits: value = 0.d1 d2 d3 ... x 10^point.
struct Decimal {
    bool negative = false;
    std::string digits; // no leading zeros; empty for zero
    int point = 0;
};

Decimal ToDecimal(double value) {
    Decimal d;
    if (value == 0 || !std::isfinite(value)) return d;
    d.negative = value < 0;
    // 15 significant digits: the precision a double reliably carries, so
    // 1.005 formats as the 1.005 the user typed, not 1.00499999...
    std::array<char, 64> buf{};
    auto res = std::to_chars(buf.data(), buf.data() + buf.size(), std::fabs(value),
                             std::chars_format::scientific, 14);
    std::string_view s(buf.data(), static_cast<std::size_t>(res.ptr - buf.data()));
    std::size_t e = s.find('e');
    int exponent = 0;
    std::from_chars(s.data() + e + 1 + (s[e + 1] == '+' ? 1 : 0), s.data() + s.size(), exponent);
    for (char c : s.substr(0, e))
        if (c != '.') d.digits.push_back(c);
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    d.point = exponent + 1;
    return d;
}

// Rounds to `fraction` digits after the point, halves away from zero.
void RoundTo(Decimal& d, int fraction) {
    int keep = d.point + fraction;
    if (keep >= static_cast<int>(d.digits.size())) return;
    if (keep < 0) {
        d.digits.clear();
        return;
    }
    bool up = d.digits[static_cast<std::size_t>(keep)] >= '5';
    d.digits.resize(static_cast<std::size_t>(keep));
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[static_cast<std::size_t>(i)] == '9') {
            d.digits[static_cast<std::size_t>(i)] = '0';
            --i;
        }
        if (i < 0) {
            d.digits.insert(0, "1");
            d.point += 1;
        } else {
            d.digits[static_cast<std::size_t>(i)]++;
        }
    }
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    if (d.digits.empty()) d.point = 0;
}

char DigitAt(const Decimal& d, int position) { // position 0 = first after point... see callers
    // `position` counts digits from the point: 1 is the units digit, 0 the first
    // fraction digit, -1 the second, ...
    int index = d.point - position;
    if (index < 0 || index >= static_cast<int>(d.digits.size())) return '0';
    return d.digits[static_cast<std::size_t>(index)];
}

struct NumberPattern {
    std::string prefix, suffix;
    int intZeros = 0, intHashes = 0;
    int fracZeros = 0, fracHashes = 0;
    bool hasPoint = false;
    bool exponent = false;
    bool exponentPlus = false;
    int exponentDigits = 0;
};

NumberPattern Parse(std::string_view p) {
    NumberPattern np;
    std::size_t i = 0;
    auto isDigitChar = [](char c) { return c == '0' || c == '#'; };
    while (i < p.size() && !isDigitChar(p[i]) && p[i] != '.')
        np.prefix += p[i++];
    while (i < p.size() && (isDigitChar(p[i]) || p[i] == ',')) {
        if (p[i] == '0') ++np.intZeros;
        if (p[i] == '#') ++np.intHashes;
        ++i;
    }
    if (i < p.size() && p[i] == '.') {
        np.hasPoint = true;
        ++i;
        while (i < p.size() && isDigitChar(p[i])) {
            // a "#" after a "0" still counts as optional: trailing zeros go
            if (p[i] == '0')
                ++np.fracZeros;
            else
                ++np.fracHashes;
            ++i;
        }
    }
    if (i + 1 < p.size() && (p[i] == 'E' || p[i] == 'e') && (p[i + 1] == '+' || p[i + 1] == '-')) {
        np.exponent = true;
        np.exponentPlus = p[i + 1] == '+';
        i += 2;
        while (i < p.size() && isDigitChar(p[i])) {
            ++np.exponentDigits;
            ++i;
        }
    }
    np.suffix = std::string(p.substr(i));
    return np;
}

} // namespace

std::string FormatNumber(double value, std::string_view pattern, char decimal) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "Inf" : "-Inf";
    NumberPattern np = Parse(pattern);
    Decimal d = ToDecimal(value);
    int fraction = np.fracZeros + np.fracHashes;
    int exponentValue = 0;
    if (np.exponent) {
        int intDigits = std::max(1, np.intZeros + np.intHashes);
        if (!d.digits.empty()) {
            exponentValue = d.point - intDigits;
            d.point = intDigits;
            RoundTo(d, fraction);
            if (d.point > intDigits) { // 9.99 rounded up to 10.0
                exponentValue += d.point - intDigits;
                d.point = intDigits;
            }
        }
    } else {
        RoundTo(d, fraction);
    }
    std::string out;
    bool negative = d.negative && !d.digits.empty();
    if (negative) out += '-';
    out += np.prefix;
    int intShown = std::max(np.intZeros, d.point);
    for (int pos = intShown; pos >= 1; --pos)
        out += DigitAt(d, pos);
    std::string frac;
    for (int k = 0; k < fraction; ++k)
        frac += DigitAt(d, -k);
    while (static_cast<int>(frac.size()) > np.fracZeros && !frac.empty() && frac.back() == '0')
        frac.pop_back();
    if (np.hasPoint) {
        out += decimal;
        out += frac;
    }
    if (np.exponent) {
        out += 'E';
        if (exponentValue < 0)
            out += '-';
        else if (np.exponentPlus)
            out += '+';
        std::string digits = std::to_string(std::abs(exponentValue));
        while (static_cast<int>(digits.size()) < np.exponentDigits)
            digits.insert(0, "0");
        out += digits;
    }
    out += np.suffix;
    return out;
}

std::string FormatDateTime(const std::tm& t, std::string_view p) {
    static const char* const kMonths[] = {"January",   "February", "March",    "April",
                                          "May",       "June",     "July",     "August",
                                          "September", "October",  "November", "December"};
    static const char* const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                        "Thursday", "Friday", "Saturday"};
    auto two = [](int v) {
        std::string s = std::to_string(v);
        return s.size() < 2 ? "0" + s : s;
    };
    std::string out;
    bool afterHour = false;
    std::size_t i = 0;
    auto run = [&](char c) {
        std::size_t n = 0;
        while (i + n < p.size() && (p[i + n] == c || p[i + n] == c - 32 || p[i + n] == c + 32))
            ++n;
        return n;
    };
    while (i < p.size()) {
        char c = static_cast<char>(p[i] | 0x20);
        std::size_t n = (c >= 'a' && c <= 'z') ? run(p[i]) : 0;
        int month = t.tm_mon + 1;
        if (c == 'y' && n >= 3) {
            out += std::to_string(t.tm_year + 1900);
        } else if (c == 'y' && n >= 1) {
            out += two((t.tm_year + 1900) % 100);
        } else if (c == 'm' && n >= 4) {
            out += kMonths[t.tm_mon];
        } else if (c == 'm' && n == 3) {
            out += std::string(kMonths[t.tm_mon]).substr(0, 3);
        } else if (c == 'm' && (n == 1 || n == 2)) {
            // after an hour, "mm" means minutes, as it always has in these patterns
            int v = afterHour ? t.tm_min : month;
            out += n == 2 ? two(v) : std::to_string(v);
        } else if (c == 'n' && n >= 1) {
            out += n >= 2 ? two(t.tm_min) : std::to_string(t.tm_min);
        } else if (c == 'd' && n >= 4) {
            out += kDays[t.tm_wday];
        } else if (c == 'd' && n == 3) {
            out += std::string(kDays[t.tm_wday]).substr(0, 3);
        } else if (c == 'd' && n >= 1) {
            out += n == 2 ? two(t.tm_mday) : std::to_string(t.tm_mday);
        } else if (c == 'h' && n >= 1) {
            out += n >= 2 ? two(t.tm_hour) : std::to_string(t.tm_hour);
        } else if (c == 's' && n >= 1) {
            out += n >= 2 ? two(t.tm_sec) : std::to_string(t.tm_sec);
        } else {
            out += p[i];
            i += 1;
            continue;
        }
        afterHour = c == 'h';
        i += n;
    }
    return out;
}

std::tm BrokenDown(const QDateTime& time) {
    const QDate d = time.date();
    const QTime t = time.time();
    std::tm tm{};
    tm.tm_year = d.year() - 1900;
    tm.tm_mon = d.month() - 1;
    tm.tm_mday = d.day();
    tm.tm_wday = d.dayOfWeek() % 7;
    tm.tm_hour = t.hour();
    tm.tm_min = t.minute();
    tm.tm_sec = t.second();
    return tm;
}

char RegionalDecimal() {
    static const char decimal = [] {
        try {
            return std::use_facet<std::numpunct<char>>(std::locale("")).decimal_point();
        } catch (const std::exception&) {
            return '.';
        }
    }();
    return decimal;
}

} // namespace NumberText
