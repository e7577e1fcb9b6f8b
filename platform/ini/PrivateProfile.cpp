#include "PrivateProfile.h"

#include "NoCase.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace PrivateProfile {

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

// The file as lines. An editor's UTF-8 byte-order mark is kept apart, so that
// it neither hides the first section nor gets lost on the next save.
struct Content {
    std::string bom;
    std::vector<Line> lines;
};

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The whole file; an empty text when it does not exist, nullopt when it exists
// but cannot be read (such a file must never be replaced by a guess).
std::optional<std::string> LoadText(const std::string& file) {
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return std::string();
        return std::nullopt;
    }
    std::string all;
    char chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        all.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return all;
}

std::optional<Content> LoadLines(const std::string& file) {
    std::optional<std::string> text = LoadText(file);
    if (!text) return std::nullopt;
    std::string_view all = *text;
    Content content;
    if (all.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        content.bom = kByteOrderMark;
        all.remove_prefix(kByteOrderMark.size());
    }
    std::size_t pos = 0;
    while (pos < all.size()) {
        std::size_t nl = all.find('\n', pos);
        Line l;
        if (nl == std::string_view::npos) {
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
        content.lines.push_back(std::move(l));
    }
    return content;
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

WriteCall& CurrentWrite() {
    static WriteCall call = nullptr;
    return call;
}

bool WriteAll(int fd, std::string_view content) {
    WriteCall call = CurrentWrite() ? CurrentWrite() : &::write;
    while (!content.empty()) {
        ssize_t n = call(fd, content.data(), content.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false; // a write that makes no progress is a full disk
        content.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The file a name finally stands for: a link to the settings file is kept and
// its target replaced, as an editor writing in place would.
std::string FollowLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::vector<char> target(static_cast<std::size_t>(PATH_MAX) + 1);
        ssize_t n = ::readlink(path.c_str(), target.data(), target.size() - 1);
        if (n < 0) return path;
        std::string next(target.data(), static_cast<std::size_t>(n));
        if (!next.empty() && next.front() != '/') {
            std::size_t slash = path.rfind('/');
            if (slash != std::string::npos) next = path.substr(0, slash + 1) + next;
        }
        path = std::move(next);
    }
    return path;
}

// A new, empty file beside `target`. Created with mode 0666 so that the
// process umask shapes a first file exactly as it shapes any other new file.
int CreateBeside(const std::string& target, std::string& name) {
    static std::atomic<unsigned> serial{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        name = target + "." + std::to_string(::getpid()) + "." + std::to_string(serial++) + "." +
               std::to_string(static_cast<unsigned long long>(now) % 1000000007ULL);
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

void SyncFolderOf(const std::string& file) {
    std::size_t slash = file.rfind('/');
    std::string folder = slash == std::string::npos ? "." : file.substr(0, slash + 1);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd); // the rename itself survives a power cut; best effort only
    ::close(fd);
}

// Writes the whole new file beside the old one, syncs it and renames it into
// place, so the old file stays whole until the new one is complete on disk.
bool ReplaceFile(const std::string& file, const std::string& content) {
    const std::string target = FollowLinks(file);
    struct stat old {};
    const bool existed = ::stat(target.c_str(), &old) == 0;
    std::string name;
    int fd = CreateBeside(target, name);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, content);
    // The replacement keeps the permissions the operator gave the old file.
    if (ok && existed) ok = ::fchmod(fd, old.st_mode & 07777) == 0;
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok) ok = std::rename(name.c_str(), target.c_str()) == 0;
    if (!ok) {
        std::remove(name.c_str());
        return false;
    }
    SyncFolderOf(target);
    return true;
}

// A value, key or section name never spans more than its own line: each line
// break (CR LF, CR or LF) becomes one blank.
std::string OneLine(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

// A section or key name as the file holds it: line breaks become blanks, and
// blanks at the ends go as reading drops them. Reading and writing look a name
// up by this same form, so a value written under a name is read back under it.
std::string Name(std::string_view name) {
    return std::string(Trim(OneLine(name)));
}

// Whether the file can hold the names: a "]" would end the section header
// early, and a key with "=" or beginning with ";" or "[" would read back as
// another key, a comment or a section.
bool Holds(std::string_view section, std::string_view key) {
    return section.find(']') == std::string_view::npos && key.find('=') == std::string_view::npos &&
           (key.empty() || (key.front() != ';' && key.front() != '['));
}

} // namespace

std::optional<std::string> Read(std::string_view section, std::string_view key,
                                const std::string& file) {
    auto content = LoadLines(file);
    if (!content) return std::nullopt;
    const std::vector<Line>& lines = content->lines;
    Located at = Locate(lines, Name(section), Name(key));
    if (at.keyLine < 0) return std::nullopt;
    std::string_view k, v;
    SplitKey(lines[static_cast<std::size_t>(at.keyLine)].text, k, v);
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
    const std::string sectionName = Name(section);
    const std::string keyName = Name(key);
    if (!Holds(sectionName, keyName)) return false;
    std::optional<Content> content = LoadLines(file);
    if (!content) return false; // there but unreadable: the operator's file stays as it is
    std::vector<Line>& lines = content->lines;
    std::string keyLine = keyName + "=" + OneLine(value);
    Located at = Locate(lines, sectionName, keyName);
    if (at.keyLine >= 0) {
        lines[static_cast<std::size_t>(at.keyLine)].text = keyLine;
    } else if (at.sectionLine >= 0) {
        auto pos = static_cast<std::size_t>(at.lastContent);
        if (lines[pos].end.empty()) lines[pos].end = "\r\n";
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(pos) + 1, Line{keyLine, "\r\n"});
    } else {
        if (!lines.empty() && lines.back().end.empty()) lines.back().end = "\r\n";
        lines.push_back(Line{"[" + sectionName + "]", "\r\n"});
        lines.push_back(Line{keyLine, "\r\n"});
    }
    std::string out = content->bom;
    for (const Line& l : lines)
        out += l.text + l.end;
    return ReplaceFile(file, out);
}

bool Unreadable(const std::string& file) {
    return !LoadText(file).has_value();
}

void SetWriteCallForTest(WriteCall call) {
    CurrentWrite() = call;
}

} // namespace PrivateProfile
