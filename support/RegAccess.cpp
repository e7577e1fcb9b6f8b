#include "RegAccess.h"

#include "NumberText.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>
#include <type_traits>
#include <variant>
#include <vector>

namespace RegAccess {

std::int32_t LastResult = 0;

namespace {

using namespace Registry;

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The number a text stands for as a whole: blanks around it, a sign, digits
// with at most one decimal point, an optional exponent (E or D). The process
// locale plays no part.
std::optional<double> NumericText(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    std::string plain;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') plain += '-';
        ++i;
    }
    bool digits = false, point = false;
    for (; i < text.size(); ++i) {
        if (IsDigit(text[i])) {
            digits = true;
        } else if (text[i] == '.' && !point) {
            point = true;
        } else {
            break;
        }
        plain += text[i];
    }
    if (!digits) return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
        plain += 'e';
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) plain += text[i++];
        bool expDigits = false;
        for (; i < text.size() && IsDigit(text[i]); ++i) {
            plain += text[i];
            expDigits = true;
        }
        if (!expDigits) return std::nullopt;
    }
    if (i != text.size()) return std::nullopt;
    double value = 0;
    auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // Too small underflows to zero; too large is kept as infinity so
        // that it never fits a DWORD.
        if (plain.find("e-") != std::string::npos) return 0.0;
        double inf = std::numeric_limits<double>::infinity();
        return plain[0] == '-' ? -inf : inf;
    }
    if (ec != std::errc() || end != plain.data() + plain.size()) return std::nullopt;
    return value;
}

struct Encoded {
    std::uint32_t type = REG_SZ;
    std::vector<std::uint8_t> data;
};

Encoded AsText(std::string_view text) {
    text = TrimBlanks(text);
    Encoded e;
    e.data.assign(text.begin(), text.end());
    e.data.push_back(0);
    return e;
}

Encoded AsNumber(std::int32_t n) {
    auto u = static_cast<std::uint32_t>(n);
    return {REG_DWORD,
            {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
             static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 24)}};
}

// Numeric values become a DWORD when they fit one; anything else is kept as
// text rather than lost.
Encoded Encode(const INIIO::Tagged& value) {
    return std::visit(
        [](const auto& v) -> Encoded {
            using T = std::decay_t<decltype(v)>;
            std::int32_t n = 0;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return AsNumber(0);
            } else if constexpr (std::is_same_v<T, bool>) {
                return AsNumber(v ? -1 : 0);
            } else if constexpr (std::is_same_v<T, std::int16_t> ||
                                 std::is_same_v<T, std::int32_t>) {
                return AsNumber(v);
            } else if constexpr (std::is_same_v<T, std::string>) {
                auto number = NumericText(v);
                if (number && NumberText::ToInt32(*number, n)) return AsNumber(n);
                return AsText(v);
            } else {
                if (NumberText::ToInt32(static_cast<double>(v), n)) return AsNumber(n);
                return AsText(INIIO::TrimStr(v));
            }
        },
        value);
}

} // namespace

bool RegKeyExists(HKEY root, const std::string& path) {
    Store& store = UserStore();
    HKEY key = 0;
    LastResult = store.OpenKey(root, path, key);
    bool exists = key != 0;
    LastResult = store.CloseKey(key);
    return exists;
}

INIIO::Tagged ReadRegValue(HKEY root, const std::string& path, const std::string& name) {
    Store& store = UserStore();
    INIIO::Tagged result = std::string();
    HKEY key = 0;
    LastResult = store.OpenKey(root, path, key);
    if (key == 0) {
        LastResult = store.CloseKey(key);
        return result;
    }
    std::uint32_t type = 0, size = 0;
    LastResult = store.QueryValue(key, name, &type, nullptr, &size);
    if (type == REG_DWORD) {
        std::uint8_t buf[4] = {};
        std::uint32_t got = sizeof buf;
        LastResult = store.QueryValue(key, name, nullptr, buf, &got);
        if (LastResult == ERROR_SUCCESS)
            result = static_cast<std::int32_t>(std::uint32_t(buf[0]) | std::uint32_t(buf[1]) << 8 |
                                               std::uint32_t(buf[2]) << 16 |
                                               std::uint32_t(buf[3]) << 24);
    } else if (type == REG_SZ) {
        std::vector<std::uint8_t> buf(size);
        LastResult = store.QueryValue(key, name, nullptr, buf.data(), &size);
        if (LastResult == ERROR_SUCCESS) {
            auto nul = std::find(buf.begin(), buf.begin() + size, std::uint8_t{0});
            if (nul != buf.begin() + size) result = std::string(buf.begin(), nul);
        }
    }
    LastResult = store.CloseKey(key);
    return result;
}

void WriteRegValue(HKEY root, const std::string& path, const std::string& name,
                   const INIIO::Tagged& value) {
    Store& store = UserStore();
    Encoded e = Encode(value);
    HKEY key = 0;
    std::int32_t created = store.CreateKey(root, path, key);
    std::int32_t written = store.SetValue(key, name, e.type, e.data);
    std::int32_t closed = store.CloseKey(key);
    // The first failure is the one worth keeping; the close of a key never
    // covers it.
    LastResult = created != ERROR_SUCCESS ? created : written != ERROR_SUCCESS ? written : closed;
}

void DeleteRegValue(HKEY root, const std::string& path, const std::string& name) {
    if (!RegKeyExists(root, path)) return;
    Store& store = UserStore();
    HKEY key = 0;
    std::int32_t opened = store.OpenKey(root, path, key);
    std::int32_t deleted = store.DeleteValue(key, name);
    std::int32_t closed = store.CloseKey(key);
    // A value that was not there is not a failure of the deletion.
    if (deleted == ERROR_FILE_NOT_FOUND) deleted = ERROR_SUCCESS;
    LastResult = opened != ERROR_SUCCESS ? opened : deleted != ERROR_SUCCESS ? deleted : closed;
}

} // namespace RegAccess
