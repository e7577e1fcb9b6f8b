#include "INIIO.h"

#include "NoCase.h"
#include "NumberText.h"
#include "PrivateProfile.h"
#include "StringOp.h"

#include <cmath>

namespace INIIO {

namespace {

constexpr std::size_t kReadBuffer = 750;

std::string DefaultText(const Tagged& def) {
    if (const bool* b = std::get_if<bool>(&def)) return *b ? "True" : "False";
    if (const std::string* s = std::get_if<std::string>(&def)) return *s;
    if (std::holds_alternative<std::monostate>(def)) return "";
    return TrimStr(def);
}

bool ReadBoolean(std::string text) {
    for (char& c : text)
        c = UpperLatin1(c);
    return text == "1" || text == "WAHR" || text == "TRUE";
}

// The variable's own type decides what it can hold; anything else falls back
// to the key's default instead of wrapping or trapping.
template <typename T> T FromNumber(const Tagged& read, T def) {
    const double* d = std::get_if<double>(&read);
    if (d == nullptr) return def;
    if constexpr (std::is_same_v<T, std::int16_t>) {
        std::int16_t v;
        return NumberText::ToInt16(*d, v) ? v : def;
    } else if constexpr (std::is_same_v<T, std::int32_t>) {
        std::int32_t v;
        return NumberText::ToInt32(*d, v) ? v : def;
    } else if constexpr (std::is_same_v<T, float>) {
        float v;
        return NumberText::ToSingle(*d, v) ? v : def;
    } else {
        return std::isfinite(*d) ? *d : def;
    }
}

template <typename T>
bool ExchangeNumber(const std::string& file, const std::string& section, const std::string& key,
                    T& value, int mode, T def) {
    switch (mode) {
    case 0:
        value = def;
        return true;
    case 1:
        value = FromNumber<T>(INIRead(file, section, key, Tagged(def), ReadAs::Number), def);
        return true;
    case 2:
        return INIWrite(file, section, key, Tagged(value));
    default:
        return true;
    }
}

} // namespace

Tagged INIRead(const std::string& file, const std::string& section, const std::string& key,
               const Tagged& def, ReadAs type) {
    char buffer[kReadBuffer] = {};
    std::size_t n =
        PrivateProfile::GetString(section, key, DefaultText(def), buffer, kReadBuffer, file);
    std::string text(buffer, n);
    switch (type) {
    case ReadAs::Boolean:
        return ReadBoolean(text);
    case ReadAs::Number:
        if (auto v = StringOp::LeadingNumber(text)) return *v;
        return std::monostate{};
    case ReadAs::Text:
    default:
        return text;
    }
}

Tagged INIRead(const std::string& file, const std::string& section, const std::string& key,
               const Tagged& def, const Tagged& typeSample) {
    ReadAs type = ReadAs::Text;
    if (std::holds_alternative<bool>(typeSample))
        type = ReadAs::Boolean;
    else if (std::holds_alternative<std::int16_t>(typeSample) ||
             std::holds_alternative<std::int32_t>(typeSample) ||
             std::holds_alternative<float>(typeSample) ||
             std::holds_alternative<double>(typeSample))
        type = ReadAs::Number;
    return INIRead(file, section, key, def, type);
}

bool INIWrite(const std::string& file, const std::string& section, const std::string& key,
              const Tagged& value) {
    std::string text;
    if (const std::string* s = std::get_if<std::string>(&value))
        text = *s;
    else if (const bool* b = std::get_if<bool>(&value))
        text = *b ? "1" : "0";
    else
        text = TrimStr(value);
    return PrivateProfile::Write(section, key, text, file);
}

bool INIExchange(const std::string& file, const std::string& section, const std::string& key,
                 bool& value, int mode, bool def) {
    switch (mode) {
    case 0:
        value = def;
        return true;
    case 1:
        value = std::get<bool>(INIRead(file, section, key, Tagged(def), ReadAs::Boolean));
        return true;
    case 2:
        return INIWrite(file, section, key, Tagged(value));
    default:
        return true;
    }
}

bool INIExchange(const std::string& file, const std::string& section, const std::string& key,
                 std::int16_t& value, int mode, std::int16_t def) {
    return ExchangeNumber(file, section, key, value, mode, def);
}
bool INIExchange(const std::string& file, const std::string& section, const std::string& key,
                 std::int32_t& value, int mode, std::int32_t def) {
    return ExchangeNumber(file, section, key, value, mode, def);
}
bool INIExchange(const std::string& file, const std::string& section, const std::string& key,
                 float& value, int mode, float def) {
    return ExchangeNumber(file, section, key, value, mode, def);
}
bool INIExchange(const std::string& file, const std::string& section, const std::string& key,
                 double& value, int mode, double def) {
    return ExchangeNumber(file, section, key, value, mode, def);
}

bool INIExchange(const std::string& file, const std::string& section, const std::string& key,
                 std::string& value, int mode, const std::string& def) {
    switch (mode) {
    case 0:
        value = def;
        return true;
    case 1:
        value = std::get<std::string>(INIRead(file, section, key, Tagged(def), ReadAs::Text));
        return true;
    case 2:
        return INIWrite(file, section, key, Tagged(value));
    default:
        return true;
    }
}

std::string TrimStr(double value) {
    return NumberText::Plain(value, 15);
}
std::string TrimStr(float value) {
    return NumberText::Plain(value);
}
std::string TrimStr(std::int32_t value) {
    return std::to_string(value);
}
std::string TrimStr(std::int64_t value) {
    return std::to_string(value);
}

std::string TrimStr(const Tagged& value) {
    return std::visit(
        [](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return "";
            else if constexpr (std::is_same_v<T, std::string>) {
                std::string_view s(v);
                while (!s.empty() && s.front() == ' ')
                    s.remove_prefix(1);
                while (!s.empty() && s.back() == ' ')
                    s.remove_suffix(1);
                return std::string(s);
            } else if constexpr (std::is_same_v<T, bool>)
                return v ? "True" : "False";
            else if constexpr (std::is_same_v<T, std::int16_t>)
                return std::to_string(v);
            else
                return TrimStr(v);
        },
        value);
}

} // namespace INIIO
