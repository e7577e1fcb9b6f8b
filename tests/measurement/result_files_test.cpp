// The result text files byte for byte against fixtures, and their failures.

#include "../signal/WaveTestSupport.h"
#include "../support/fakes.h"
#include "../support/locale_guard.h"
#include "General.h"
#include "ResultFiles.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

std::string Fixture(const std::string& name) {
    return ReadFile(std::string(QUILLON_TEST_DATA) + "/result_files/" + name);
}

struct ResultFilesTest : ::testing::Test {
    FakeMessageBox box;
    FakeFileDialog files;
    Services::Scoped<Services::MessageBoxService> s1{box};
    Services::Scoped<Services::FileDialogService> s2{files};
    TempDir dir;

    void SetUp() override {
        for (auto& slot : General::SignalStore)
            slot.clear();
        General::SignalStore[0] = {0.25, -0.25, 0};
        General::SignalStore[1] = {0, 1.5, -0.1};
        General::SignalStore[2] = {12.345678, -0.5, 0.1};
        General::SignalStore[3] = {0, 0, 0.2};
        General::InputAmplitude = {0.25, 1.52069, 0.1};
        General::OutputAmplitude = {12.345678, 0.5, 0.2236068};
        General::InputPhase = {0, 1.7359, -1.5707963};
        General::OutputPhase = {0, 3.14159265, 1.1071487};
        General::PhaseDifference = {-123.456, 5, 0};
        General::SignalStore[30] = {0.1, 0.5, 0};
        General::SignalStore[31] = {0.2, -0.25, 1};
        General::SignalStore[32] = {0.1};
        General::SignalStore[33] = {-0.0123456};
        General::DataPresent = true;
    }
};

} // namespace

TEST_F(ResultFilesTest, FilesMatchTheirFixturesWhateverTheProcessLocale) {
    LocaleGuard guard;
    for (const char* locale : {"C", LocaleGuard::kComma}) {
        ASSERT_TRUE(guard.Use(locale));
        ASSERT_TRUE(DISC::SaveIQPointFile(dir.File("points.txt")));
        EXPECT_EQ(ReadFile(dir.File("points.txt")), Fixture("iq_points.txt")) << locale;
        EXPECT_EQ(DISC::AMPMFileText('.'), Fixture("curves_point.txt")) << locale;
        EXPECT_EQ(DISC::AMPMFileText(','), Fixture("curves_comma.txt")) << locale;
    }
    EXPECT_EQ(DISC::SignPrefix(0), "");
    EXPECT_EQ(DISC::SignPrefix(-1), "");
    EXPECT_EQ(DISC::SignPrefix(1e-300), "+");
}

TEST_F(ResultFilesTest, CurveFileNeedsDataAndAFileNameAndReportsAFailedWrite) {
    General::DataPresent = false;
    files.answers = {dir.File("curves.txt")};
    DISC::SaveAMPMFile();
    ASSERT_EQ(box.shown, std::vector<std::string>{"NO DATA|You have to run a measurement first!"});
    EXPECT_FALSE(std::filesystem::exists(dir.File("curves.txt")));

    General::DataPresent = true;
    box.shown.clear();
    files.answers = {};
    DISC::SaveAMPMFile(); // cancelled
    EXPECT_TRUE(box.shown.empty());

    files.answers = {dir.File("curves.txt")};
    DISC::SaveAMPMFile();
    EXPECT_TRUE(box.shown.empty());
    EXPECT_EQ(ReadFile(dir.File("curves.txt")).substr(0, 10), " RESULTS O");

    // A folder that cannot exist (its parent is a file, which stops even
    // root) is reported, and nothing claims success.
    const std::string notAFolder = dir.File("plain");
    WriteFile(notAFolder, "older");
    files.answers = {notAFolder + "/curves.txt"};
    DISC::SaveAMPMFile();
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_NE(box.shown[0].find("could not be written"), std::string::npos);
    EXPECT_FALSE(DISC::SaveIQPointFile(notAFolder + "/points.txt"));
    EXPECT_EQ(ReadFile(notAFolder), "older");
}
