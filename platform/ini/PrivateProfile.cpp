#include "PrivateProfile.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace PrivateProfile {

char UpperLatin1(char c) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 'a' && u <= 'z') return static_cast<char>(u - 32);
    // Latin-1 lower-case letters a-grave .. thorn, except the division sign.
    if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return static_cast<char>(u - 32);
    return c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (UpperLatin1(a[i]) != UpperLatin1(b[i])) return false;
    return true;
}

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

// One physical line of the file, with its own terminator, so that lines we do
// not touch are written back exactly as they were read.
struct Line {
    std::string text; // without terminator
    std::string end;  // "\r\n", "\n" or "" (last line without one)
};

std::optional<std::vector<Line>> LoadLines(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < all.size()) {
        std::size_t nl = all.find('\n', pos);
        Line l;
        if (nl == std::string::npos) {
            l.text = all.substr(pos);
            pos = all.size();
        } else {
            std::size_t stop = nl;
            if (stop > pos && all[stop - 1] == '\r') {
                --stop;
                l.end = "\r\n";
            } else {
                l.end = "\n";
            }
            l.text = all.substr(pos, stop - pos);
            pos = nl + 1;
        }
        lines.push_back(std::move(l));
    }
    return lines;
}

// The section name when the line is a section header.
std::optional<std::string_view> SectionOf(std::string_view line) {
    std::string_view t = Trim(line);
    if (t.empty() || t.front() != '[') return std::nullopt;
    std::size_t close = t.find(']');
    std::string_view name = t.substr(1, close == std::string_view::npos ? t.size() - 1 : close - 1);
    return Trim(name);
}

// Key and value of a key line; comment lines and lines without "=" are none.
bool SplitKey(std::string_view line, std::string_view& key, std::string_view& value) {
    std::string_view t = Trim(line);
    if (t.empty() || t.front() == ';') return false;
    std::size_t eq = t.find('=');
    if (eq == std::string_view::npos) return false;
    key = Trim(t.substr(0, eq));
    value = Trim(t.substr(eq + 1));
    return true;
}

struct Located {
    std::ptrdiff_t sectionLine = -1; // header of the first matching section
    std::ptrdiff_t keyLine = -1;     // first matching key in it
    std::ptrdiff_t lastContent = -1; // last non-blank line of that section
};

Located Locate(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
    Located at;
    bool inside = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (auto name = SectionOf(lines[i].text)) {
            if (inside) break; // the first matching section is the one that counts
            if (EqualNoCase(*name, section)) {
                inside = true;
                at.sectionLine = static_cast<std::ptrdiff_t>(i);
                at.lastContent = at.sectionLine;
            }
            continue;
        }
        if (!inside) continue;
        if (!Trim(lines[i].text).empty()) at.lastContent = static_cast<std::ptrdiff_t>(i);
        std::string_view k, v;
        if (at.keyLine < 0 && SplitKey(lines[i].text, k, v) && EqualNoCase(k, key))
            at.keyLine = static_cast<std::ptrdiff_t>(i);
    }
    return at;
}

bool ReplaceFile(const std::string& file, const std::string& content) {
    std::string tmp = file + ".XXXXXX";
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) return false;
    const char* p = content.data();
    std::size_t left = content.size();
    bool ok = true;
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            ok = false;
            break;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    // The new file takes the permissions an ordinary new file would have.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ok = ok && ::fchmod(fd, 0666 & ~mask) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok) ok = std::rename(name.data(), file.c_str()) == 0;
    if (!ok) std::remove(name.data());
    return ok;
}

} // namespace

std::optional<std::string> Read(std::string_view section, std::string_view key,
                                const std::string& file) {
    auto lines = LoadLines(file);
    if (!lines) return std::nullopt;
    Located at = Locate(*lines, section, key);
    if (at.keyLine < 0) return std::nullopt;
    std::string_view k, v;
    SplitKey((*lines)[static_cast<std::size_t>(at.keyLine)].text, k, v);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return std::string(v);
}

std::size_t GetString(std::string_view section, std::string_view key, std::string_view defaultText,
                      char* buffer, std::size_t size, const std::string& file) {
    if (buffer == nullptr || size == 0) return 0;
    std::string value;
    if (auto found = Read(section, key, file)) {
        value = *found;
    } else {
        while (!defaultText.empty() && IsBlank(defaultText.back()))
            defaultText.remove_suffix(1);
        value = std::string(defaultText);
    }
    std::size_t n = std::min(value.size(), size - 1);
    std::memcpy(buffer, value.data(), n);
    buffer[n] = '\0';
    return n;
}

bool Write(std::string_view section, std::string_view key, std::string_view value,
           const std::string& file) {
    std::vector<Line> lines = LoadLines(file).value_or(std::vector<Line>{});
    std::string keyLine = std::string(key) + "=" + std::string(value);
    Located at = Locate(lines, section, key);
    if (at.keyLine >= 0) {
        lines[static_cast<std::size_t>(at.keyLine)].text = keyLine;
    } else if (at.sectionLine >= 0) {
        auto pos = static_cast<std::size_t>(at.lastContent);
        if (lines[pos].end.empty()) lines[pos].end = "\r\n";
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(pos) + 1, Line{keyLine, "\r\n"});
    } else {
        if (!lines.empty() && lines.back().end.empty()) lines.back().end = "\r\n";
        lines.push_back(Line{"[" + std::string(section) + "]", "\r\n"});
        lines.push_back(Line{keyLine, "\r\n"});
    }
    std::string out;
    for (const Line& l : lines)
        out += l.text + l.end;
    return ReplaceFile(file, out);
}

} // namespace PrivateProfile
