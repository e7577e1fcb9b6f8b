#include "NoCase.h"
#include "PrivateProfile.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class ProfileFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("quillon_ini_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        file = (dir / "test.ini").string();
    }
    void TearDown() override { fs::remove_all(dir); }
    void Put(const std::string& content) { std::ofstream(file, std::ios::binary) << content; }
    std::string Content() const {
        std::ifstream in(file, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    fs::path dir;
    std::string file;
};

TEST_F(ProfileFile, LookupIsCaseInsensitiveAndFirstOccurrenceWins) {
    Put("[Sweep\\Level]\r\nStart = -5 \r\nSTART=7\r\n[sweep\\level]\r\nStop=3\r\n");
    EXPECT_EQ(PrivateProfile::Read("SWEEP\\LEVEL", "start", file).value(), "-5");
    // a second section of the same name is never looked at
    EXPECT_FALSE(PrivateProfile::Read("Sweep\\Level", "Stop", file).has_value());
    // backslashes are ordinary characters, not a hierarchy
    EXPECT_FALSE(PrivateProfile::Read("Sweep", "Start", file).has_value());
}

TEST_F(ProfileFile, MissingFileReadsDefaultAndIsNotCreated) {
    char buf[16];
    EXPECT_EQ(PrivateProfile::GetString("A", "B", "dflt  ", buf, sizeof buf, file), 4u);
    EXPECT_STREQ(buf, "dflt");
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(ProfileFile, GetStringCutsToBufferAndStripsQuotes) {
    Put("[S]\r\nk=\"quoted value\"\r\nlong=abcdefghij\r\nempty=\r\n");
    char buf[6];
    EXPECT_EQ(PrivateProfile::GetString("S", "long", "", buf, sizeof buf, file), 5u);
    EXPECT_STREQ(buf, "abcde");
    EXPECT_EQ(PrivateProfile::Read("S", "k", file).value(), "quoted value");
    // present but empty is not missing
    EXPECT_EQ(PrivateProfile::GetString("S", "empty", "x", buf, sizeof buf, file), 0u);
}

TEST_F(ProfileFile, WriteChangesOnlyItsLineAndKeepsEverythingElse) {
    const std::string original = "; hand comment\r\n[Measure]\r\nUnknown = kept  \r\n"
                                 "AMAMOrder=5\r\n\r\n[Other]\nlf=only\n";
    Put(original);
    ASSERT_TRUE(PrivateProfile::Write("measure", "amamorder", "9", file));
    std::string expected = original;
    expected.replace(expected.find("AMAMOrder=5"), 11, "amamorder=9");
    EXPECT_EQ(Content(), expected);
}

TEST_F(ProfileFile, NewKeysJoinTheirSectionNewSectionsGoToTheEnd) {
    Put("[A]\r\nx=1\r\n\r\n[B]\r\ny=2");
    ASSERT_TRUE(PrivateProfile::Write("A", "z", "3", file));
    ASSERT_TRUE(PrivateProfile::Write("B", "w", "4", file));
    ASSERT_TRUE(PrivateProfile::Write("C\\D", "v", "5", file));
    EXPECT_EQ(Content(), "[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=2\r\nw=4\r\n[C\\D]\r\nv=5\r\n");
}

TEST_F(ProfileFile, Latin1BytesSurvive) {
    std::string value = "M\xFC"
                        "ller \xE9t\xE9";
    ASSERT_TRUE(PrivateProfile::Write("Infos", "Operator", value, file));
    EXPECT_EQ(PrivateProfile::Read("INFOS", "operator", file).value(), value);
    EXPECT_TRUE(EqualNoCase("\xFC"
                            "ber",
                            "\xDC"
                            "BER"));
}

TEST_F(ProfileFile, LineBreaksInAValueBecomeBlanks) {
    const struct {
        std::string value, expected;
    } cases[] = {
        {"x\r\n[VISA]\r\nDeviceRegEntry=SOFTWARE\\Evil", "x [VISA] DeviceRegEntry=SOFTWARE\\Evil"},
        {"one\ntwo\rthree\n\nfour", "one two three  four"},
        {"\r\n", ""}, // blanks at the ends are trimmed on reading, as always
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(PrivateProfile::Write("Infos", "Note", c.value, file));
        EXPECT_EQ(PrivateProfile::Read("Infos", "Note", file).value(), c.expected);
        EXPECT_FALSE(PrivateProfile::Read("VISA", "DeviceRegEntry", file).has_value());
    }
    // names cannot open lines either
    ASSERT_TRUE(PrivateProfile::Write("A\n[B", "k\r\nj", "1", file));
    EXPECT_EQ(PrivateProfile::Read("A [B", "k j", file).value(), "1");
    EXPECT_EQ(Content(), "[Infos]\r\nNote= \r\n[A [B]\r\nk j=1\r\n");
}

TEST_F(ProfileFile, AValueIsReadBackUnderTheNamesItWasWrittenUnder) {
    const struct {
        const char *section, *key, *line;
    } held[] = {
        {"A\n[B", "k\r\nj", "[A [B]\r\nk j=new\r\n"},
        {" Blank ", "\tkey ", "[Blank]\r\nkey=new\r\n"},
    };
    for (const auto& c : held) {
        Put("");
        ASSERT_TRUE(PrivateProfile::Write(c.section, c.key, "old", file)) << c.line;
        ASSERT_TRUE(PrivateProfile::Write(c.section, c.key, "new", file)) << c.line;
        EXPECT_EQ(PrivateProfile::Read(c.section, c.key, file), "new") << c.line;
        EXPECT_EQ(Content(), c.line);
    }
    // Names that would read back as another section, key, comment or header.
    const std::string before = "[A]\r\nx=1\r\n";
    for (auto [section, key] : {std::pair{"A]B", "x"}, {"A", "x=y"}, {"A", ";x"}, {"A", "[x]"}}) {
        Put(before);
        EXPECT_FALSE(PrivateProfile::Write(section, key, "2", file)) << section << ' ' << key;
        EXPECT_EQ(Content(), before);
    }
}

TEST_F(ProfileFile, ReadingAndWritingLeaveNoDescriptorOpen) {
    auto open = [] {
        return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
    };
    Put("[A]\r\nx=1\r\n");
    const auto before = open();
    char buf[8];
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(PrivateProfile::Read("A", "x", file), "1");
        PrivateProfile::GetString("A", "y", "", buf, sizeof buf, file);
        EXPECT_TRUE(PrivateProfile::Write("A", "y", std::to_string(i), file));
        EXPECT_FALSE(PrivateProfile::Unreadable(file));
    }
    EXPECT_EQ(open(), before);
}

TEST_F(ProfileFile, EmptySectionsAndEmptyValues) {
    Put("[A]\r\n[B]\r\nx=1\r\n[C]");
    ASSERT_TRUE(PrivateProfile::Write("a", "k", "v", file));
    ASSERT_TRUE(PrivateProfile::Write("C", "q", "\"\"", file));
    ASSERT_TRUE(PrivateProfile::Write("B", "e", "", file));
    EXPECT_EQ(Content(), "[A]\r\nk=v\r\n[B]\r\nx=1\r\ne=\r\n[C]\r\nq=\"\"\r\n");
    EXPECT_EQ(PrivateProfile::Read("A", "k", file).value(), "v");
    EXPECT_EQ(PrivateProfile::Read("C", "q", file).value(), ""); // "" is the empty text
    EXPECT_EQ(PrivateProfile::Read("B", "e", file).value(), "");
}

TEST_F(ProfileFile, ByteOrderMarkDoesNotHideTheFirstSectionAndIsKept) {
    Put("\xEF\xBB\xBF[Measure]\r\nAMAMOrder=5\r\n");
    EXPECT_EQ(PrivateProfile::Read("Measure", "AMAMOrder", file).value(), "5");
    ASSERT_TRUE(PrivateProfile::Write("Measure", "AMAMOrder", "7", file));
    EXPECT_EQ(Content(), "\xEF\xBB\xBF[Measure]\r\nAMAMOrder=7\r\n");
}

TEST_F(ProfileFile, ReplacementKeepsModeAndWritesThroughLinks) {
    Put("[A]\r\nx=1\r\n");
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    ASSERT_TRUE(PrivateProfile::Write("A", "x", "2", file));
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    const std::string link = (dir / "link.ini").string();
    fs::create_symlink("test.ini", link);
    ASSERT_TRUE(PrivateProfile::Write("A", "x", "3", link));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Content(), "[A]\r\nx=3\r\n");
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}

// Writes as a disk does that fills up after `room` more bytes.
ssize_t g_room = 0;
ssize_t FillingDisk(int fd, const void* data, std::size_t size) {
    if (g_room <= 0) {
        errno = ENOSPC;
        return -1;
    }
    ssize_t n = std::min<ssize_t>(g_room, static_cast<ssize_t>(size));
    g_room -= n;
    return ::write(fd, data, static_cast<std::size_t>(n));
}
ssize_t StuckDisk(int, const void*, std::size_t) {
    return 0;
}

TEST_F(ProfileFile, FailingWriteNeverReplacesTheGoodFile) {
    const std::string good = "[A]\r\nx=1\r\n";
    const struct {
        PrivateProfile::WriteCall call;
        ssize_t room;
    } disks[] = {{FillingDisk, 0}, {FillingDisk, 5}, {StuckDisk, 0}};
    for (const auto& disk : disks) {
        Put(good);
        g_room = disk.room;
        PrivateProfile::SetWriteCallForTest(disk.call);
        const bool ok = PrivateProfile::Write("A", "x", "a longer value than before", file);
        PrivateProfile::SetWriteCallForTest(nullptr);
        EXPECT_FALSE(ok);
        EXPECT_EQ(Content(), good);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    }
}

// Makes `file` a file that is there but cannot be read: without read
// permission, or (for root, who reads anything) a socket.
void MakeUnreadable(const std::string& file) {
    if (::geteuid() != 0) {
        std::ofstream(file, std::ios::binary) << "[A]\r\nx=1\r\n";
        ::chmod(file.c_str(), 0);
        return;
    }
    int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", file.c_str());
    ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::close(s);
}

TEST_F(ProfileFile, UnreadableFileIsReportedAndNeverReplaced) {
    MakeUnreadable(file);
    ASSERT_TRUE(fs::exists(fs::symlink_status(file)));
    const auto before = fs::status(file);
    EXPECT_TRUE(PrivateProfile::Unreadable(file));
    EXPECT_FALSE(PrivateProfile::Write("A", "x", "2", file));
    EXPECT_EQ(fs::status(file).type(), before.type());
    EXPECT_EQ(fs::status(file).permissions(), before.permissions());
    if (before.type() == fs::file_type::regular) {
        ::chmod(file.c_str(), 0600);
        EXPECT_EQ(Content(), "[A]\r\nx=1\r\n");
    }
    EXPECT_FALSE(PrivateProfile::Unreadable((dir / "missing.ini").string()));
}

TEST_F(ProfileFile, WriteIntoMissingFolderFails) {
    EXPECT_FALSE(PrivateProfile::Write("A", "x", "1", (dir / "no" / "such.ini").string()));
}

} // namespace
