#pragma once
// Case-insensitive comparison of 8-bit (Latin-1) names: settings sections and
// keys, registry names, VISA resource names and version-resource keys; and
// the ASCII-only upper case of protocols whose keywords are ASCII.

#include <cstddef>
#include <string_view>

// Upper case of a Latin-1 character: ASCII letters and the lower-case letters
// a-grave .. thorn (except the division sign); every other byte as it is.
inline char UpperLatin1(char c) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7))
        return static_cast<char>(u - 32);
    return c;
}

// Upper case of an ASCII letter; every other byte (a part of a UTF-8
// character too) as it is, whatever the locale.
inline char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

inline bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (UpperLatin1(a[i]) != UpperLatin1(b[i])) return false;
    return true;
}
