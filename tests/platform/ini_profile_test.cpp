#include "PrivateProfile.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

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
    EXPECT_TRUE(PrivateProfile::EqualNoCase("\xFC"
                                            "ber",
                                            "\xDC"
                                            "BER"));
}

TEST_F(ProfileFile, WriteIntoMissingFolderFails) {
    EXPECT_FALSE(PrivateProfile::Write("A", "x", "1", (dir / "no" / "such.ini").string()));
}

} // namespace
