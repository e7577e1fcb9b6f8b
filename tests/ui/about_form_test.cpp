// The about box driven headless: panels, support text, clipboard, NI Spy.

#include "../support/fakes.h"
#include "../support/registry_fixture.h"
#include "AboutForm.h"
#include "RTFView.h"
#include "RegAccess.h"

#include <QDir>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {
struct FakeClipboard : Services::ClipboardService {
    std::string text;
    void SetText(const std::string& t) override { text = t; }
    std::string Text() override { return text; }
};
} // namespace

TEST_F(RegistryFixture, AboutBoxShowsAtMostOnePanelAndASecondClickHidesIt) {
    AboutForm about;
    about.show();
    auto visible = [&] {
        return std::vector<bool>{about.SystemPanel()->isVisible(), about.DriverPanel()->isVisible(),
                                 about.LegalPanel()->isVisible()};
    };
    EXPECT_EQ(visible(), (std::vector<bool>{false, false, false}));
    about.SystemButton()->click();
    EXPECT_EQ(visible(), (std::vector<bool>{true, false, false}));
    about.DriverButton()->click();
    EXPECT_EQ(visible(), (std::vector<bool>{false, true, false}));
    EXPECT_EQ(about.SystemButton()->property("tag").toString(), "show");
    about.DriverButton()->click();
    EXPECT_EQ(visible(), (std::vector<bool>{false, false, false}));
    about.LegalButton()->click();
    EXPECT_EQ(visible(), (std::vector<bool>{false, false, true}));
    EXPECT_EQ(about.SystemButton()->text(), "system information") << "captions never change";
    about.SystemButton()->click();
    const QString shots = QString(QT_TESTCASE_BUILDDIR) + "/screenshots";
    QDir().mkpath(shots);
    about.grab().save(shots + "/about_form.png");
}

TEST_F(RegistryFixture, AboutBoxSupportTextAlignsLabelsAndGoesToTheClipboard) {
    AboutForm about;
    const std::string& text = about.SupportText();
    EXPECT_NE(text.find("\r\n          Admin rights"), std::string::npos) << text;
    EXPECT_NE(text.find("              Product:Quillon\r\n"), std::string::npos);
    EXPECT_NE(text.find("IEEE BUS IS NOT INSTALLED"), std::string::npos);
    EXPECT_NE(text.find("liblxi.so.1"), std::string::npos)
        << "the driver panel lists the VXI-11 library";

    // A label longer than its field is written whole.
    const auto before = text.size();
    std::string doc;
    about.AddInfoLine(about.SystemPanel(), doc, "A label of thirty characters..", "v", false);
    EXPECT_EQ(text.substr(before), "A label of thirty characters..v\r\n");
    EXPECT_NE(about.SystemPanel()->toPlainText().indexOf("A label of thirty characters..  v"), -1);

    FakeClipboard clip;
    FakeMessageBox box;
    Services::Scoped<Services::ClipboardService> c(clip);
    Services::Scoped<Services::MessageBoxService> b(box);
    about.CreateSupportString_Click();
    EXPECT_EQ(clip.text, about.SupportText());
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_NE(box.shown[0].find("Support information copied to clipboard.\r\nUse <CTRL-V>"),
              std::string::npos);
}

TEST_F(RegistryFixture, AboutBoxNISpyIsReportedMissingAndADeclinedStartWritesNothing) {
    FakeMessageBox box;
    FakeClock clock;
    Services::Scoped<Services::MessageBoxService> b(box);
    Services::Scoped<Services::ClockService> c(clock);
    AboutForm about;
    about.StartNISpy_Click();
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.shown[0], "NI Spy not found.|NI Spy is not installed.");

    const auto dir = std::filesystem::temp_directory_path() / ("nispy_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "NISpy.exe") << "";
    RegAccess::WriteRegValue(Registry::HKEY_LOCAL_MACHINE, "SOFTWARE\\National Instruments\\NI Spy",
                             "InstDir", dir.string());
    box.reply = Services::MsgAnswer::No;
    about.StartNISpy_Click();
    ASSERT_EQ(box.shown.size(), 2u);
    EXPECT_NE(box.shown[1].find("NISpy_2005.10.25 14.03.07.spy\r\n\r\nContinue?"),
              std::string::npos)
        << box.shown[1];
    EXPECT_FALSE(RegAccess::RegKeyExists(Registry::HKEY_CURRENT_USER,
                                         "SOFTWARE\\National Instruments\\NI Spy\\Options"));
    std::filesystem::remove_all(dir);
}
