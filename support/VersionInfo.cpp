#include "VersionInfo.h"

#include "NoCase.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QUrl>
#include <filesystem>
#include <link.h>
#include <optional>
#include <string_view>
#include <sys/utsname.h>

namespace VersionInfo {

namespace {

using Bytes = std::vector<std::uint8_t>;

// ---- the version-information block ----------------------------------------
// A tree of blocks, each: total length, value length, value kind (1 text,
// 0 binary), a NUL-terminated UTF-16 key, the value and the child blocks, with
// the value and every child starting on a 4-byte boundary of the data.

constexpr std::uint32_t FixedInfoSignature = 0xFEEF04BDu;
constexpr std::size_t FixedInfoSize = 52;

std::uint16_t U16(const Bytes& d, std::size_t at) {
    return static_cast<std::uint16_t>(d[at] | d[at + 1] << 8);
}

std::uint32_t U32(const Bytes& d, std::size_t at) {
    return std::uint32_t(U16(d, at)) | std::uint32_t(U16(d, at + 2)) << 16;
}

std::size_t Align4(std::size_t n) {
    return (n + 3) & ~std::size_t{3};
}

struct Block {
    std::size_t end = 0;
    std::uint16_t kind = 0;
    std::string key;
    std::size_t valueStart = 0;
    std::size_t valueEnd = 0;
    std::size_t childrenStart = 0;
};

// The block at `at`; everything it claims must lie before `limit`.
std::optional<Block> ReadBlock(const Bytes& d, std::size_t at, std::size_t limit) {
    if (at + 6 > limit) return std::nullopt;
    std::uint16_t length = U16(d, at);
    if (length < 6 || at + length > limit) return std::nullopt;
    Block b;
    b.end = at + length;
    std::uint16_t valueLength = U16(d, at + 2);
    b.kind = U16(d, at + 4);
    std::size_t p = at + 6;
    while (true) {
        if (p + 2 > b.end) return std::nullopt;
        std::uint16_t c = U16(d, p);
        p += 2;
        if (c == 0) break;
        b.key += c <= 0xFF ? static_cast<char>(c) : '?';
    }
    b.valueStart = std::min(Align4(p), b.end);
    // Text values count their length in characters, binary ones in bytes.
    std::size_t valueBytes = b.kind == 1 ? std::size_t{valueLength} * 2 : valueLength;
    b.valueEnd = std::min(b.valueStart + valueBytes, b.end);
    b.childrenStart = Align4(b.valueEnd);
    return b;
}

// The block a path such as "\StringFileInfo\040904E4\ProductName" names;
// "\" is the root. Keys compare without regard to case.
std::optional<Block> Query(const Bytes& d, std::string_view path) {
    std::optional<Block> block = ReadBlock(d, 0, d.size());
    while (block && !path.empty()) {
        std::size_t slash = path.find('\\');
        std::string_view name = path.substr(0, slash);
        path.remove_prefix(slash == std::string_view::npos ? path.size() : slash + 1);
        if (name.empty()) continue;
        std::optional<Block> found;
        for (std::size_t p = block->childrenStart; p < block->end && !found;) {
            std::optional<Block> child = ReadBlock(d, p, block->end);
            if (!child) break;
            if (EqualNoCase(child->key, name)) found = child;
            p = Align4(child->end);
        }
        block = found;
    }
    return block;
}

std::string TextValue(const Bytes& d, const Block& b) {
    std::string text;
    for (std::size_t p = b.valueStart; p + 2 <= b.valueEnd; p += 2) {
        std::uint16_t c = U16(d, p);
        if (c == 0) break;
        text += c <= 0xFF ? static_cast<char>(c) : '?';
    }
    return text;
}

struct FixedInfo {
    std::uint32_t fileMS = 0, fileLS = 0, productMS = 0, productLS = 0;
    std::uint32_t flags = 0, os = 0, type = 0, subtype = 0;
};

FixedInfo ReadFixedInfo(const Bytes& d, const Block& root) {
    FixedInfo f;
    std::size_t at = root.valueStart;
    if (root.valueEnd - root.valueStart < FixedInfoSize || U32(d, at) != FixedInfoSignature)
        return f;
    f.fileMS = U32(d, at + 8);
    f.fileLS = U32(d, at + 12);
    f.productMS = U32(d, at + 16);
    f.productLS = U32(d, at + 20);
    f.flags = U32(d, at + 28);
    f.os = U32(d, at + 32);
    f.type = U32(d, at + 36);
    f.subtype = U32(d, at + 40);
    return f;
}

std::string Hex4(std::uint32_t v) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string s(4, '0');
    for (int i = 3; i >= 0; --i, v >>= 4)
        s[static_cast<std::size_t>(i)] = digits[v & 15];
    return s;
}

// Each part is an unsigned 16-bit number: 3.2.40000.65535 stays as it is.
std::string VersionText(std::uint32_t ms, std::uint32_t ls) {
    return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." +
           std::to_string(ls >> 16) + "." + std::to_string(ls & 0xFFFF);
}

std::string FlagsText(std::uint32_t flags) {
    static constexpr std::pair<std::uint32_t, const char*> words[] = {
        {1, "Debug "},   {2, "PreRel "}, {4, "Patched "},
        {8, "Private "}, {16, "Info "},  {32, "Special "}};
    std::string text;
    for (const auto& [bit, word] : words)
        if (flags & bit) text += word;
    return text;
}

std::string OSText(std::uint32_t os) {
    switch (os) {
    case 65537:
        return "DOS-Win16";
    case 65540:
        return "DOS-Win32";
    case 131074:
        return "OS/2-16 PM-16";
    case 196611:
        return "OS/2-16 PM-32";
    case 262148:
        return "NT-Win32";
    default:
        return "Unknown";
    }
}

std::string TypeText(std::uint32_t type) {
    switch (type) {
    case 1:
        return "Application";
    case 2:
        return "DLL";
    case 3:
        return "Device Driver";
    case 4:
        return "Font";
    case 5:
        return "Virtual Device Driver";
    case 7:
        return "Static-Link Library";
    default:
        return "Unknown";
    }
}

std::string SubTypeText(std::uint32_t type, std::uint32_t subtype) {
    static constexpr const char* drivers[] = {
        "Unknown",     "Printer drv", "Keyboard drv", "Language drv",
        "Display drv", "Mouse drv",   "Network drv",  "System drv",
        "Installable", "Sound drv",   "Comm drv",     "Versioned Printer drv"};
    static constexpr const char* fonts[] = {"Raster Font", "Vector Font", "TrueType Font"};
    if (type == 3 && subtype < std::size(drivers)) return drivers[subtype];
    if (type == 4 && subtype >= 1 && subtype <= std::size(fonts)) return fonts[subtype - 1];
    return "";
}

// The first translation as "LLLLCCCC"; "00000000" when there is none.
std::string FirstTranslation(const Bytes& d) {
    std::optional<Block> b = Query(d, "\\VarFileInfo\\Translation");
    if (!b || b->valueEnd - b->valueStart < 4) return "00000000";
    return Hex4(U16(d, b->valueStart)) + Hex4(U16(d, b->valueStart + 2));
}

// ---- the program's own version data ----------------------------------------

class BlockWriter {
public:
    std::size_t Open(std::string_view key, std::uint16_t kind) {
        Pad();
        std::size_t start = out.size();
        Put16(0);
        Put16(0);
        Put16(kind);
        for (char c : key)
            Put16(static_cast<unsigned char>(c));
        Put16(0);
        Pad();
        return start;
    }
    void Text(std::size_t block, std::string_view text) {
        for (char c : text)
            Put16(static_cast<unsigned char>(c));
        Put16(0);
        Set16(block + 2, static_cast<std::uint16_t>(text.size() + 1));
    }
    void Binary(std::size_t block, const Bytes& value) {
        out.insert(out.end(), value.begin(), value.end());
        Set16(block + 2, static_cast<std::uint16_t>(value.size()));
    }
    void Close(std::size_t block) { Set16(block, static_cast<std::uint16_t>(out.size() - block)); }
    Bytes out;

private:
    void Pad() {
        while (out.size() % 4 != 0)
            out.push_back(0);
    }
    void Put16(std::uint16_t v) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    void Set16(std::size_t at, std::uint16_t v) {
        out[at] = static_cast<std::uint8_t>(v);
        out[at + 1] = static_cast<std::uint8_t>(v >> 8);
    }
};

void Put32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// The version block a Windows build of the program would carry, from the
// version the build was configured with.
Bytes ProgramVersionData(const std::filesystem::path& exe) {
    const std::uint32_t ms = QUILLON_VERSION_MAJOR << 16 | QUILLON_VERSION_MINOR;
    const std::uint32_t ls = std::uint32_t{QUILLON_VERSION_PATCH} << 16;
    const std::string version = std::to_string(QUILLON_VERSION_MAJOR) + "." +
                                std::to_string(QUILLON_VERSION_MINOR) + "." +
                                std::to_string(QUILLON_VERSION_PATCH);
    Bytes fixed;
    for (std::uint32_t v : {FixedInfoSignature, 0x00010000u, ms, ls, ms, ls, 0x3Fu, 0u,
                            0u /* operating system unknown */, 1u /* application */, 0u, 0u, 0u})
        Put32(fixed, v);

    BlockWriter w;
    std::size_t root = w.Open("VS_VERSION_INFO", 0);
    w.Binary(root, fixed);
    std::size_t strings = w.Open("StringFileInfo", 1);
    std::size_t table = w.Open("040904E4", 1);
    const std::pair<const char*, std::string> entries[] = {
        {"FileVersion", version},
        {"InternalName", exe.stem().string()},
        {"OriginalFilename", exe.filename().string()},
        {"ProductName", "Quillon"},
        {"ProductVersion", version}};
    for (const auto& [key, text] : entries) {
        std::size_t s = w.Open(key, 1);
        w.Text(s, text);
        w.Close(s);
    }
    w.Close(table);
    w.Close(strings);
    std::size_t vars = w.Open("VarFileInfo", 1);
    std::size_t translation = w.Open("Translation", 0);
    w.Binary(translation, {0x09, 0x04, 0xE4, 0x04}); // English (US), Western European
    w.Close(translation);
    w.Close(vars);
    w.Close(root);
    return w.out;
}

Bytes DefaultVersionData(const std::string& file) {
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || !std::filesystem::equivalent(file, self, ec) || ec) return {};
    return ProgramVersionData(self);
}

VersionDataProvider& Provider() {
    static VersionDataProvider provider;
    return provider;
}

UrlOpener& Opener() {
    static UrlOpener opener;
    return opener;
}

QString LocalName(const std::string& file) {
    return QFile::decodeName(QByteArray::fromStdString(file));
}

} // namespace

std::int32_t ShellOpen(const std::string& target) {
    constexpr std::int32_t Opened = 42, NotFound = 2, NoHandler = 31;
    QUrl url;
    QFileInfo local(LocalName(target));
    if (!target.empty() && local.exists()) {
        url = QUrl::fromLocalFile(local.absoluteFilePath());
    } else {
        url = QUrl(QString::fromLatin1(target));
        // A one-letter "scheme" is no link: "c:stuff" names a file.
        if (target.empty() || !url.isValid() || url.scheme().size() < 2) return NotFound;
    }
    bool opened = Opener() ? Opener()(url) : QDesktopServices::openUrl(url);
    return opened ? Opened : NoHandler;
}

void SetUrlOpener(UrlOpener opener) {
    Opener() = std::move(opener);
}

std::string GetWindowsDir() {
    return "/usr";
}

std::string GetSystemDir() {
    std::string libc;
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* found) {
            std::filesystem::path p(info->dlpi_name ? info->dlpi_name : "");
            if (p.filename().string().rfind("libc.so", 0) != 0) return 0;
            *static_cast<std::string*>(found) = p.parent_path().string();
            return 1;
        },
        &libc);
    if (libc.empty()) return "/usr/lib";
    std::error_code ec;
    std::filesystem::path canonical = std::filesystem::weakly_canonical(libc, ec);
    return ec ? libc : canonical.string();
}

std::string GetOSVersionText() {
    std::string name = QSysInfo::prettyProductName().toLatin1().toStdString();
    std::string kernel, build;
    utsname u{};
    if (::uname(&u) == 0) {
        kernel = std::string(u.sysname) + " " + u.release;
        build = u.version;
    } else {
        kernel =
            (QSysInfo::kernelType() + " " + QSysInfo::kernelVersion()).toLatin1().toStdString();
    }
    return name + ", " + kernel + ", build " + build;
}

FileVersionRecord GetFileVersionText(const std::string& file) {
    FileVersionRecord r;
    QFileInfo info(LocalName(file));
    if (file.empty() || !info.isFile()) {
        r.Summary = "File " + file + " not found!";
        return r;
    }
    Bytes data = Provider() ? Provider()(file) : DefaultVersionData(file);
    if (data.size() < 2) return r;
    std::optional<Block> root = ReadBlock(data, 0, data.size());
    if (!root) return r; // not version data at all

    FixedInfo f = ReadFixedInfo(data, *root);
    r.FileVersion = VersionText(f.fileMS, f.fileLS);
    r.ProductVersion = VersionText(f.productMS, f.productLS);
    r.FileFlags = FlagsText(f.flags);
    r.FileOS = OSText(f.os);
    r.FileType = TypeText(f.type);
    r.FileSubType = SubTypeText(f.type, f.subtype);

    const std::string lang = FirstTranslation(data);
    auto text = [&](const char* key) { return GetStringFileInfo(data, key, lang); };
    r.Comments = text("Comments");
    r.CompanyName = text("CompanyName");
    r.FileDescription = text("FileDescription");
    r.InternalName = text("InternalName");
    r.LegalCopyright = text("LegalCopyright");
    r.LegalTrademarks = text("LegalTrademarks");
    r.OriginalFileName = text("OriginalFileName");
    r.ProductName = text("ProductName");
    r.PrivateBuild = text("PrivateBuild");
    r.SpecialBuild = text("SpecialBuild");
    r.Label = text("Label");

    r.DateCreated = info.birthTime();
    r.DateLastAccessed = info.lastRead();
    r.DateLastModified = info.lastModified();
    r.Summary = r.FileVersion + " (type: " + r.FileType + ")";
    return r;
}

std::string GetStringFileInfo(const std::vector<std::uint8_t>& versionData, const std::string& key,
                              const std::string& langCodePage) {
    std::optional<Block> b = Query(versionData, "\\StringFileInfo\\" + langCodePage + "\\" + key);
    return b ? TextValue(versionData, *b) : std::string();
}

std::int16_t HiWord(std::int32_t value) {
    return static_cast<std::int16_t>(static_cast<std::uint32_t>(value) >> 16);
}

std::int16_t LoWord(std::int32_t value) {
    return static_cast<std::int16_t>(static_cast<std::uint32_t>(value) & 0xFFFFu);
}

void SetVersionDataProvider(VersionDataProvider provider) {
    Provider() = std::move(provider);
}

} // namespace VersionInfo
