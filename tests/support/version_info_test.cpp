#include "VersionInfo.h"

#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/utsname.h>

using namespace VersionInfo;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Assembles version data by hand: every block is length, value length, kind,
// UTF-16 key with NUL, padding to 4 bytes, value, padding, children.
struct Node {
    std::string key;
    std::uint16_t kind = 1;
    Bytes value;
    std::uint16_t valueLength = 0;
    std::vector<Node> children;
};

void Pad(Bytes& b) {
    while (b.size() % 4)
        b.push_back(0);
}
void Put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

void Emit(Bytes& out, const Node& n) {
    Pad(out);
    std::size_t start = out.size();
    Put16(out, 0);
    Put16(out, n.valueLength);
    Put16(out, n.kind);
    for (char c : n.key)
        Put16(out, static_cast<unsigned char>(c));
    Put16(out, 0);
    Pad(out);
    out.insert(out.end(), n.value.begin(), n.value.end());
    for (const Node& c : n.children)
        Emit(out, c);
    std::size_t length = out.size() - start;
    out[start] = static_cast<std::uint8_t>(length);
    out[start + 1] = static_cast<std::uint8_t>(length >> 8);
}

Node String(const std::string& key, const std::string& text) {
    Node n{key, 1, {}, static_cast<std::uint16_t>(text.size() + 1), {}};
    for (char c : text)
        Put16(n.value, static_cast<unsigned char>(c));
    Put16(n.value, 0);
    return n;
}

struct Fixed {
    std::uint32_t fileMS, fileLS, productMS, productLS, flags, os, type, subtype;
};

Bytes VersionData(const Fixed& f, const std::vector<Node>& strings,
                  std::uint32_t translation = 0x04B00409, const char* table = "040904b0") {
    Node root{"VS_VERSION_INFO", 0, {}, 52, {}};
    for (std::uint32_t v : {0xFEEF04BDu, 0x10000u, f.fileMS, f.fileLS, f.productMS, f.productLS,
                            0x3Fu, f.flags, f.os, f.type, f.subtype, 0u, 0u})
        Put32(root.value, v);
    root.children.push_back(Node{"StringFileInfo", 1, {}, 0, {Node{table, 1, {}, 0, strings}}});
    Node var{"Translation", 0, {}, 4, {}};
    Put32(var.value, translation);
    root.children.push_back(Node{"VarFileInfo", 1, {}, 0, {var}});
    Bytes out;
    Emit(out, root);
    return out;
}

class VersionInfoTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::string file = dir.path().toStdString() + "/driver.dll";
    Bytes data;

    void SetUp() override {
        std::ofstream(file) << "MZ";
        SetVersionDataProvider([this](const std::string& f) { return f == file ? data : Bytes{}; });
    }
    void TearDown() override {
        SetVersionDataProvider({});
        SetUrlOpener({});
    }
};

TEST(VersionWords, AreSignedHalves) {
    EXPECT_EQ(LoWord(65537), 1);
    EXPECT_EQ(HiWord(65537), 1);
    EXPECT_EQ(HiWord(static_cast<std::int32_t>(0xFFFF8000u)), -1);
    EXPECT_EQ(LoWord(static_cast<std::int32_t>(0xFFFF8000u)), -32768);
    EXPECT_EQ(HiWord(0x7FFF0000), 32767);
}

TEST_F(VersionInfoTest, DecodesTheRecord) {
    data = VersionData({0x00030002, 0, 0x00018000, 0xFFFF9C40, 0x29, 262148, 1, 0},
                       {String("CompanyName", "Korva&Tellin"), String("FileDescription", "Driver"),
                        String("OriginalFilename", "driver.dll"), String("Label", "L1"),
                        String("Comments", "")});
    QDateTime modified(QDate(2021, 6, 15), QTime(10, 30, 0));
    {
        QFile f(QString::fromStdString(file));
        ASSERT_TRUE(f.open(QIODevice::Append));
        ASSERT_TRUE(f.setFileTime(modified, QFileDevice::FileModificationTime));
    }

    FileVersionRecord r = GetFileVersionText(file);
    EXPECT_EQ(r.FileVersion, "3.2.0.0");
    EXPECT_EQ(r.Summary, "3.2.0.0 (type: Application)");
    EXPECT_EQ(r.ProductVersion, "1.32768.65535.40000"); // parts above 32767 stay unsigned
    EXPECT_EQ(r.FileFlags, "Debug Private Special ");
    EXPECT_EQ(r.FileOS, "NT-Win32");
    EXPECT_EQ(r.FileType, "Application");
    EXPECT_EQ(r.FileSubType, "");
    EXPECT_EQ(r.CompanyName, "Korva&Tellin");
    EXPECT_EQ(r.FileDescription, "Driver");
    EXPECT_EQ(r.OriginalFileName, "driver.dll"); // keys compare without case
    EXPECT_EQ(r.Label, "L1");
    EXPECT_EQ(r.Comments, "");
    EXPECT_EQ(r.ProductName, "");
    EXPECT_EQ(r.DateLastModified, modified);
    EXPECT_TRUE(r.DateLastAccessed.isValid());

    EXPECT_EQ(GetStringFileInfo(data, "CompanyName", "040904B0"), "Korva&Tellin");
    EXPECT_EQ(GetStringFileInfo(data, "CompanyName", "040704B0"), "");
    EXPECT_EQ(GetStringFileInfo(data, "Missing", "040904B0"), "");

    // The string table follows the first translation, whatever it is.
    data = VersionData({}, {String("ProductName", "P")}, 0x04E40407, "040704E4");
    EXPECT_EQ(GetFileVersionText(file).ProductName, "P");
}

TEST_F(VersionInfoTest, TypeTables) {
    struct Case {
        std::uint32_t flags, os, type, subtype;
        const char *flagsText, *osText, *typeText, *subText;
    };
    const Case cases[] = {
        {0x3F, 65537, 2, 0, "Debug PreRel Patched Private Info Special ", "DOS-Win16", "DLL", ""},
        {0x40, 131074, 3, 11, "", "OS/2-16 PM-16", "Device Driver", "Versioned Printer drv"},
        {0x02, 196611, 3, 12, "PreRel ", "OS/2-16 PM-32", "Device Driver", ""},
        {0x10, 65540, 4, 3, "Info ", "DOS-Win32", "Font", "TrueType Font"},
        {0, 4, 7, 1, "", "Unknown", "Static-Link Library", ""},
        {0, 0, 6, 0, "", "Unknown", "Unknown", ""},
    };
    for (const Case& c : cases) {
        data = VersionData({0, 0, 0, 0, c.flags, c.os, c.type, c.subtype}, {});
        FileVersionRecord r = GetFileVersionText(file);
        EXPECT_EQ(r.FileFlags, c.flagsText);
        EXPECT_EQ(r.FileOS, c.osText);
        EXPECT_EQ(r.FileType, c.typeText);
        EXPECT_EQ(r.FileSubType, c.subText) << c.type << "/" << c.subtype;
    }
}

void ExpectEmpty(const FileVersionRecord& r, const std::string& summary = "") {
    for (const std::string* s :
         {&r.Comments, &r.CompanyName, &r.FileDescription, &r.FileVersion, &r.InternalName,
          &r.LegalCopyright, &r.LegalTrademarks, &r.OriginalFileName, &r.ProductName,
          &r.ProductVersion, &r.PrivateBuild, &r.SpecialBuild, &r.FileFlags, &r.FileOS, &r.FileType,
          &r.FileSubType, &r.Label})
        EXPECT_EQ(*s, "");
    EXPECT_EQ(r.Summary, summary);
    EXPECT_FALSE(r.DateCreated.isValid());
    EXPECT_FALSE(r.DateLastAccessed.isValid());
    EXPECT_FALSE(r.DateLastModified.isValid());
}

TEST_F(VersionInfoTest, MissingFilesAndFilesWithoutVersionData) {
    ExpectEmpty(GetFileVersionText("/no/such/visa32.dll"), "File /no/such/visa32.dll not found!");
    ExpectEmpty(GetFileVersionText(dir.path().toStdString()),
                "File " + dir.path().toStdString() + " not found!");
    data = {1};
    ExpectEmpty(GetFileVersionText(file));

    SetVersionDataProvider({}); // the real provider: ordinary files carry none
    ExpectEmpty(GetFileVersionText(file));
}

TEST_F(VersionInfoTest, DamagedDataNeverReadsOutside) {
    const Bytes whole = VersionData({0x00010002, 3, 0x00010002, 3, 0, 0, 1, 0},
                                    {String("ProductName", "Quillon test")});
    for (std::size_t n = 0; n <= whole.size(); ++n) {
        data.assign(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
        FileVersionRecord r = GetFileVersionText(file);
        if (n < whole.size()) {
            EXPECT_NE(r.ProductName, "Quillon test") << n;
        }
    }
    // Lengths that claim more than there is.
    data = whole;
    data[0] = 0xFF;
    data[1] = 0xFF;
    ExpectEmpty(GetFileVersionText(file));
    EXPECT_EQ(GetStringFileInfo({}, "ProductName", "040904B0"), "");
}

TEST_F(VersionInfoTest, TheProgramCarriesTheBuildVersion) {
    SetVersionDataProvider({});
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    FileVersionRecord r = GetFileVersionText(self);
    std::string version = std::to_string(QUILLON_VERSION_MAJOR) + "." +
                          std::to_string(QUILLON_VERSION_MINOR) + "." +
                          std::to_string(QUILLON_VERSION_PATCH);
    EXPECT_EQ(r.FileVersion, version + ".0");
    EXPECT_EQ(r.Summary, version + ".0 (type: Application)");
    EXPECT_EQ(r.ProductName, "Quillon");
    EXPECT_EQ(r.OriginalFileName, "test_support");
    EXPECT_TRUE(r.DateLastModified.isValid());
}

TEST_F(VersionInfoTest, ShellOpenHandsTargetsToTheDesktop) {
    std::vector<QUrl> opened;
    bool succeed = true;
    SetUrlOpener([&](const QUrl& url) {
        opened.push_back(url);
        return succeed;
    });
    EXPECT_GT(ShellOpen("https://example.com/quillon?a=1"), 32);
    EXPECT_GT(ShellOpen("mailto:support@example.com?subject=Question to Quillon"), 32);
    EXPECT_GT(ShellOpen(file), 32);
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(opened[0].toString(), "https://example.com/quillon?a=1");
    EXPECT_EQ(opened[1].scheme(), "mailto");
    EXPECT_EQ(opened[2], QUrl::fromLocalFile(QString::fromStdString(file)));

    EXPECT_EQ(ShellOpen("no/such/file.txt"), 2);
    EXPECT_EQ(ShellOpen(""), 2);
    EXPECT_EQ(opened.size(), 3u);
    succeed = false;
    EXPECT_EQ(ShellOpen("https://example.com"), 31);
}

TEST(SystemInformation, FoldersAndOperatingSystem) {
    EXPECT_EQ(GetWindowsDir(), "/usr");
    std::string system = GetSystemDir();
    ASSERT_FALSE(system.empty());
    EXPECT_NE(system.back(), '/');
    EXPECT_TRUE(std::filesystem::exists(system + "/libc.so.6")) << system;

    utsname u{};
    ASSERT_EQ(::uname(&u), 0);
    std::string text = GetOSVersionText();
    EXPECT_NE(text.find(std::string(", ") + u.sysname + " " + u.release + ", build " + u.version),
              std::string::npos)
        << text;
    EXPECT_FALSE(text.starts_with(", ")) << text;
}

} // namespace
