#include "RegistryFile.h"

#include "NoCase.h"
#include "RegistryStore.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>

namespace Registry {

const std::array<std::uint32_t, RootCount> RootHandles = {
    HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_CONFIG};
const std::array<std::string_view, RootCount> RootNames = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                                           "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                                                           "HKEY_CURRENT_CONFIG"};

std::string FoldName(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        c = UpperLatin1(c);
    return out;
}

namespace {

// The order of FoldName texts, without building them: compared as unsigned
// bytes, as std::string compares.
bool FoldedLess(std::string_view name, std::string_view folded) {
    const std::size_t n = std::min(name.size(), folded.size());
    for (std::size_t i = 0; i < n; ++i) {
        auto a = static_cast<unsigned char>(UpperLatin1(name[i]));
        auto b = static_cast<unsigned char>(folded[i]);
        if (a != b) return a < b;
    }
    return name.size() < folded.size();
}

auto SubKeyPosition(std::vector<KeyNode>& keys, const std::string& folded) {
    return std::lower_bound(
        keys.begin(), keys.end(), folded,
        [](const KeyNode& k, const std::string& f) { return FoldedLess(k.name, f); });
}

} // namespace

KeyNode* KeyNode::FindSubKey(std::string_view n) {
    std::string folded = FoldName(n);
    auto it = SubKeyPosition(subKeys, folded);
    if (it != subKeys.end() && EqualNoCase(it->name, folded)) return &*it;
    return nullptr;
}

const KeyNode* KeyNode::FindSubKey(std::string_view n) const {
    return const_cast<KeyNode*>(this)->FindSubKey(n);
}

KeyNode& KeyNode::AddSubKey(std::string_view n) {
    std::string folded = FoldName(n);
    auto it = SubKeyPosition(subKeys, folded);
    if (it != subKeys.end() && EqualNoCase(it->name, folded)) return *it;
    KeyNode node;
    node.name = std::string(n);
    return *subKeys.insert(it, std::move(node));
}

ValueEntry* KeyNode::FindValue(std::string_view n) {
    for (ValueEntry& v : values)
        if (EqualNoCase(v.name, n)) return &v;
    return nullptr;
}

const ValueEntry* KeyNode::FindValue(std::string_view n) const {
    return const_cast<KeyNode*>(this)->FindValue(n);
}

namespace {

// ---- writing ---------------------------------------------------------------

constexpr char HexDigits[] = "0123456789abcdef";

void AppendHexByte(std::string& out, std::uint8_t b) {
    out += HexDigits[b >> 4];
    out += HexDigits[b & 15];
}

void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7F) {
            out += "\\x";
            AppendHexByte(out, u);
        } else {
            out += c;
        }
    }
    out += '"';
}

std::string_view AsText(const std::vector<std::uint8_t>& data, std::size_t from, std::size_t n) {
    return {reinterpret_cast<const char*>(data.data()) + from, n};
}

std::uint32_t LittleEndian(const std::vector<std::uint8_t>& d) {
    return std::uint32_t(d[0]) | std::uint32_t(d[1]) << 8 | std::uint32_t(d[2]) << 16 |
           std::uint32_t(d[3]) << 24;
}

void AppendNumber(std::string& out, std::uint32_t v) {
    for (int shift = 28; shift >= 0; shift -= 4)
        out += HexDigits[(v >> shift) & 15];
}

// The data in the most readable form that gives back exactly the same bytes.
void AppendData(std::string& out, const ValueEntry& v) {
    const auto& d = v.data;
    bool endsInNul = !d.empty() && d.back() == 0;
    if ((v.type == REG_SZ || v.type == REG_EXPAND_SZ) && endsInNul) {
        out += v.type == REG_SZ ? "sz:" : "expand_sz:";
        AppendQuoted(out, AsText(d, 0, d.size() - 1));
        return;
    }
    if (v.type == REG_MULTI_SZ && endsInNul && (d.size() == 1 || d[d.size() - 2] == 0)) {
        out += "multi_sz:";
        std::size_t start = 0;
        bool first = true;
        while (start + 1 < d.size()) {
            std::size_t nul = start;
            while (d[nul] != 0)
                ++nul;
            if (!first) out += ',';
            first = false;
            AppendQuoted(out, AsText(d, start, nul - start));
            start = nul + 1;
        }
        return;
    }
    if ((v.type == REG_DWORD || v.type == REG_DWORD_BIG_ENDIAN) && d.size() == 4) {
        std::uint32_t le = LittleEndian(d);
        if (v.type == REG_DWORD) {
            out += "dword:";
            AppendNumber(out, le);
        } else {
            out += "dword_be:";
            AppendNumber(out, std::uint32_t(d[0]) << 24 | std::uint32_t(d[1]) << 16 |
                                  std::uint32_t(d[2]) << 8 | std::uint32_t(d[3]));
        }
        return;
    }
    if (v.type == REG_BINARY) {
        out += "hex:";
    } else {
        out += "hex(";
        out += std::to_string(v.type);
        out += "):";
    }
    for (std::size_t i = 0; i < d.size(); ++i) {
        if (i > 0) out += ',';
        AppendHexByte(out, d[i]);
    }
}

// A key without values gets a header only when nothing below it implies it.
void AppendKey(std::string& out, const KeyNode& key, const std::string& path, bool isRoot) {
    if (!key.values.empty() || (!isRoot && key.subKeys.empty())) {
        out += "\n[" + path + "]\n";
        for (const ValueEntry& v : key.values) {
            if (v.name.empty())
                out += '@';
            else
                AppendQuoted(out, v.name);
            out += '=';
            AppendData(out, v);
            out += '\n';
        }
    }
    for (const KeyNode& sub : key.subKeys)
        AppendKey(out, sub, path + "\\" + sub.name, false);
}

// ---- reading ---------------------------------------------------------------

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

class Cursor {
public:
    explicit Cursor(std::string_view s) : s_(s) {}
    bool AtEnd() const { return pos_ >= s_.size(); }
    bool Take(char c) {
        if (AtEnd() || s_[pos_] != c) return false;
        ++pos_;
        return true;
    }
    bool Take(std::string_view word) {
        if (s_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }
    void SkipBlanks() {
        while (!AtEnd() && (s_[pos_] == ' ' || s_[pos_] == '\t'))
            ++pos_;
    }
    std::optional<std::string> Quoted() {
        if (!Take('"')) return std::nullopt;
        std::string out;
        while (!AtEnd()) {
            char c = s_[pos_++];
            if (c == '"') return out;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (AtEnd()) return std::nullopt;
            char e = s_[pos_++];
            if (e == '\\' || e == '"') {
                out += e;
            } else if (e == 'x' && pos_ + 2 <= s_.size() && HexValue(s_[pos_]) >= 0 &&
                       HexValue(s_[pos_ + 1]) >= 0) {
                out += static_cast<char>(HexValue(s_[pos_]) * 16 + HexValue(s_[pos_ + 1]));
                pos_ += 2;
            } else {
                return std::nullopt;
            }
        }
        return std::nullopt;
    }
    std::optional<std::uint32_t> HexNumber(std::size_t maxDigits) {
        std::size_t start = pos_;
        std::uint32_t v = 0;
        while (!AtEnd() && pos_ - start < maxDigits && HexValue(s_[pos_]) >= 0)
            v = v * 16 + static_cast<std::uint32_t>(HexValue(s_[pos_++]));
        if (pos_ == start) return std::nullopt;
        return v;
    }
    std::optional<std::uint32_t> Decimal() {
        std::uint32_t v = 0;
        auto [ptr, ec] = std::from_chars(s_.data() + pos_, s_.data() + s_.size(), v);
        if (ec != std::errc()) return std::nullopt;
        pos_ = static_cast<std::size_t>(ptr - s_.data());
        return v;
    }

private:
    std::string_view s_;
    std::size_t pos_ = 0;
};

void AppendText(std::vector<std::uint8_t>& data, const std::string& text) {
    data.insert(data.end(), text.begin(), text.end());
    data.push_back(0);
}

// Comma-separated items (possibly none) up to the end of the line.
template <typename Item> bool ReadList(Cursor& c, Item item) {
    c.SkipBlanks();
    if (c.AtEnd()) return true;
    do {
        c.SkipBlanks();
        if (!item()) return false;
        c.SkipBlanks();
    } while (c.Take(','));
    return c.AtEnd();
}

std::optional<ValueEntry> ParseValueLine(std::string_view line) {
    Cursor c(line);
    ValueEntry v;
    if (!c.Take('@')) {
        auto name = c.Quoted();
        if (!name || name->empty()) return std::nullopt;
        v.name = std::move(*name);
    }
    c.SkipBlanks();
    if (!c.Take('=')) return std::nullopt;
    c.SkipBlanks();
    auto text = [&](std::uint32_t type) -> bool {
        v.type = type;
        c.SkipBlanks();
        auto s = c.Quoted();
        if (!s) return false;
        AppendText(v.data, *s);
        c.SkipBlanks();
        return c.AtEnd();
    };
    auto number = [&](std::uint32_t type, bool bigEndian) -> bool {
        v.type = type;
        c.SkipBlanks();
        auto n = c.HexNumber(8);
        if (!n) return false;
        for (int i = 0; i < 4; ++i) {
            int shift = bigEndian ? 24 - 8 * i : 8 * i;
            v.data.push_back(static_cast<std::uint8_t>(*n >> shift));
        }
        c.SkipBlanks();
        return c.AtEnd();
    };
    auto bytes = [&]() {
        return ReadList(c, [&] {
            std::size_t before = v.data.size();
            auto b = c.HexNumber(2);
            if (!b) return false;
            v.data.push_back(static_cast<std::uint8_t>(*b));
            return v.data.size() == before + 1;
        });
    };
    bool ok;
    if (c.Take("sz:")) {
        ok = text(REG_SZ);
    } else if (c.Take("expand_sz:")) {
        ok = text(REG_EXPAND_SZ);
    } else if (c.Take("multi_sz:")) {
        v.type = REG_MULTI_SZ;
        ok = ReadList(c, [&] {
            auto s = c.Quoted();
            if (!s) return false;
            AppendText(v.data, *s);
            return true;
        });
        v.data.push_back(0);
    } else if (c.Take("dword:")) {
        ok = number(REG_DWORD, false);
    } else if (c.Take("dword_be:")) {
        ok = number(REG_DWORD_BIG_ENDIAN, true);
    } else if (c.Take("hex:")) {
        v.type = REG_BINARY;
        ok = bytes();
    } else if (c.Take("hex(")) {
        auto type = c.Decimal();
        ok = type && c.Take("):");
        if (ok) {
            v.type = *type;
            ok = bytes();
        }
    } else {
        ok = false;
    }
    if (!ok) return std::nullopt;
    return v;
}

// The tree while a file is read: sub-keys and values are found by their folded
// names in logarithmic or constant time, so a file of any shape loads in
// n log n (a sorted vector searched per line made it quadratic).
struct Draft {
    std::string name;
    std::map<std::string, std::unique_ptr<Draft>> subKeys; // by FoldName
    std::vector<ValueEntry> values;
    std::unordered_map<std::string, std::size_t> valueAt; // FoldName -> index
};

void ToDraft(KeyNode&& node, Draft& draft) {
    draft.name = std::move(node.name);
    for (ValueEntry& v : node.values) {
        draft.valueAt.emplace(FoldName(v.name), draft.values.size());
        draft.values.push_back(std::move(v));
    }
    for (KeyNode& sub : node.subKeys) {
        auto child = std::make_unique<Draft>();
        std::string folded = FoldName(sub.name);
        ToDraft(std::move(sub), *child);
        draft.subKeys.emplace(std::move(folded), std::move(child));
    }
}

// std::map keeps the folded names in the order KeyNode::subKeys needs.
KeyNode FromDraft(Draft&& draft) {
    KeyNode node;
    node.name = std::move(draft.name);
    node.values = std::move(draft.values);
    node.subKeys.reserve(draft.subKeys.size());
    for (auto& [folded, child] : draft.subKeys)
        node.subKeys.push_back(FromDraft(std::move(*child)));
    return node;
}

Draft& AddDraftKey(Draft& parent, std::string_view name) {
    auto [it, added] = parent.subKeys.try_emplace(FoldName(name));
    if (added) {
        it->second = std::make_unique<Draft>();
        it->second->name = std::string(name);
    }
    return *it->second;
}

// A path deeper than any key may be is refused before anything is built, so a
// damaged file cannot make a tree too deep to copy, compare or free.
Draft* ParseHeader(std::string_view line, std::array<Draft, RootCount>& roots) {
    std::string_view path = line.substr(1, line.size() - 2);
    if (static_cast<std::size_t>(std::count(path.begin(), path.end(), '\\')) > MaxKeyDepth)
        return nullptr;
    std::size_t slash = path.find('\\');
    std::string_view rootName = path.substr(0, slash);
    auto root = std::find(RootNames.begin(), RootNames.end(), rootName);
    if (root == RootNames.end()) return nullptr;
    Draft* key = &roots[static_cast<std::size_t>(root - RootNames.begin())];
    std::vector<std::string_view> names;
    while (slash != std::string_view::npos) {
        path.remove_prefix(slash + 1);
        slash = path.find('\\');
        std::string_view name = path.substr(0, slash);
        if (name.empty() || name.size() > MaxKeyNameLength) return nullptr;
        names.push_back(name);
    }
    for (std::string_view name : names)
        key = &AddDraftKey(*key, name);
    return key;
}

} // namespace

bool ParseRegistryText(std::string_view text, Tree& tree) {
    std::array<Draft, RootCount> roots;
    for (std::size_t i = 0; i < RootCount; ++i)
        ToDraft(std::move(tree.roots[i]), roots[i]);
    bool clean = true;
    Draft* current = nullptr;
    while (!text.empty()) {
        std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
            current = ParseHeader(line, roots);
            if (current == nullptr) clean = false;
            continue;
        }
        auto value = ParseValueLine(line);
        if (!value || current == nullptr) {
            clean = false;
            continue;
        }
        auto [at, added] =
            current->valueAt.try_emplace(FoldName(value->name), current->values.size());
        if (added)
            current->values.push_back(std::move(*value));
        else
            current->values[at->second] = std::move(*value);
    }
    for (std::size_t i = 0; i < RootCount; ++i)
        tree.roots[i] = FromDraft(std::move(roots[i]));
    return clean;
}

std::string FormatRegistryText(const Tree& tree) {
    std::string out = "; Quillon registry. Each [key] is followed by its values, one per line:\n"
                      "; \"name\"=kind:data (@ is the key's default value); kinds sz, expand_sz,\n"
                      "; multi_sz (quoted text), dword, dword_be (8 hexadecimal digits),\n"
                      "; hex (binary bytes), hex(type) (bytes of any other type).\n";
    for (std::size_t i = 0; i < RootCount; ++i)
        AppendKey(out, tree.roots[i], std::string(RootNames[i]), true);
    return out;
}

} // namespace Registry
