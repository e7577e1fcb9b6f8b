// The about box driven headless: panels, support text, clipboard, NI Spy,
// and the box of another application.

#include "../support/fakes.h"
#include "../support/picture_checks.h"
#include "../support/registry_fixture.h"
#include "AboutForm.h"
#include "RTFView.h"
#include "RegAccess.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <gnu/libc-version.h>
#include <gtest/gtest.h>
#include <sys/utsname.h>

namespace {
struct FakeClipboard : Services::ClipboardService {
    std::string text;
    void SetText(const std::string& t) override { text = t; }
    std::string Text() override { return text; }
};

// The value of a support-text line, whose label is right-aligned in 22
// characters; "(missing)" when no line carries the label.
std::string Item(const std::string& text, const std::string& label) {
    const std::string start = std::string(22 - label.size(), ' ') + label;
    const auto at = text.rfind(start, 0) == 0 ? 0 : text.find("\r\n" + start);
    if (at == std::string::npos) return "(missing)";
    const auto value = at + (at == 0 ? 0 : 2) + start.size();
    return text.substr(value, text.find("\r\n", value) - value);
}
} // namespace

TEST_F(RegistryFixture, AboutBoxShowsAtMostOnePanelAndASecondClickHidesIt) {
    AboutForm about;
    about.show();
    auto visible = [&] {
        return std::vector<bool>{about.SysInfoValue()->isVisible(),
                                 about.DriverInfoValue()->isVisible(),
                                 about.LizText()->isVisible()};
    };
    EXPECT_EQ(visible(), (std::vector<bool>{false, false, false}));
    about.ShowSystemInfo()->click();
    EXPECT_EQ(visible(), (std::vector<bool>{true, false, false}));
    about.ShowDriverInfo()->click();
    EXPECT_EQ(visible(), (std::vector<bool>{false, true, false}));
    EXPECT_EQ(about.ShowSystemInfo()->property("tag").toString(), "show");
    about.ShowDriverInfo()->click();
    EXPECT_EQ(visible(), (std::vector<bool>{false, false, false}));
    about.ShowLegalNotes()->click();
    EXPECT_EQ(visible(), (std::vector<bool>{false, false, true}));
    EXPECT_EQ(about.ShowSystemInfo()->text(), "system information") << "captions never change";
    about.ShowSystemInfo()->click();
    const QImage picture = Picture(&about, "about_form");
    EXPECT_TRUE(ShowsEveryControl(&about, picture));
    EXPECT_GT(PixelsNear(picture, PlaceIn(&about, about.SysInfoValue()), Qt::black, 80), 50)
        << "the system panel shows its text";
}

TEST_F(RegistryFixture, AboutBoxSupportTextAlignsLabelsAndGoesToTheClipboard) {
    AboutForm about;
    const std::string& text = about.SupportText();
    EXPECT_NE(text.find("\r\n          Admin rights"), std::string::npos) << text;
    EXPECT_NE(text.find("              Product:Quillon\r\n"), std::string::npos);
    EXPECT_NE(text.find("IEEE BUS IS NOT INSTALLED"), std::string::npos);
    EXPECT_NE(text.find("liblxi.so.1"), std::string::npos)
        << "the driver panel lists the VXI-11 library";
    // What a support engineer needs of this system, where Windows lists its
    // runtimes, browser and ActiveX controls.
    utsname u{};
    ASSERT_EQ(uname(&u), 0);
    const std::vector<std::pair<std::string, std::string>> platform = {
        {"Kernel", u.release}, {"C runtime", gnu_get_libc_version()},
        {"Qt", qVersion()},    {"FFTW", "fftw-3."},
        {"Eigen", "3."},       {"VXI-11 (liblxi)", "(liblxi.so.1 1."}};
    for (const auto& [label, part] : platform)
        EXPECT_NE(Item(text, label).find(part), std::string::npos)
            << label << ": " << Item(text, label);

    // A label longer than its field is written whole.
    const auto before = text.size();
    std::string doc;
    about.AddInfoLine(about.SysInfoValue(), doc, "A label of thirty characters..", "v", false);
    EXPECT_EQ(text.substr(before), "A label of thirty characters..v\r\n");
    EXPECT_NE(about.SysInfoValue()->toPlainText().indexOf("A label of thirty characters..  v"), -1);

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

// The desktop's launcher answers at once when it cannot start, and later,
// when it ends, whether it found a browser.
TEST_F(RegistryFixture, AboutBoxHomepageLinksSayWhenNoBrowserCouldOpenThem) {
    FakeMessageBox box;
    FakeUrlOpener opener;
    Services::Scoped<Services::MessageBoxService> b(box);
    Services::Scoped<Services::UrlOpenerService> o(opener);
    AboutForm about;
    const std::string noBrowser =
        "Homepage|No browser could open the homepage https://quillon.example.org/quillon/.";

    about.ProductLink_Click();
    ASSERT_EQ(opener.opened, std::vector<std::string>{"https://quillon.example.org/quillon/"});
    EXPECT_TRUE(box.shown.empty()) << "told before the launcher has ended";
    opener.answers.back()(true);
    EXPECT_TRUE(box.shown.empty());

    about.ProductLink_Click();
    opener.answers.back()(false);
    EXPECT_EQ(box.shown, std::vector<std::string>{noBrowser});

    box.shown.clear();
    opener.result = false;
    about.ProductLink_Click();
    EXPECT_EQ(box.shown, std::vector<std::string>{noBrowser});

    box.shown.clear();
    about.HomeLink_Click();
    EXPECT_EQ(box.shown, std::vector<std::string>{"Homepage|No browser could open the homepage "
                                                  "https://quillon.example.org/."});
}

TEST_F(RegistryFixture, AboutBoxOfAnotherApplicationTakesItsFieldsFromTheCommandLine) {
    struct Case {
        QStringList arguments;
        std::vector<std::string> fields; // empty: not another application's box
        bool usable;
    };
    const std::vector<std::string> tool = {"Tool",     "2.1",       "01.02.2024",
                                           "Measures", "Tool Inc.", "No warranty"};
    const std::vector<Case> cases = {
        {{}, {}, false},
        {{"DEBUG"}, {}, false},
        {{"CVI,\"Tool\",\"2.1\",\"01.02.2024\",\"Measures\",\"Tool Inc.\",\"No warranty\""},
         tool,
         true},
        // the shell took the quotes and split at the blanks
        {{"CVI,Tool,2.1,01.02.2024,Measures,Tool", "Inc.,No", "warranty"}, tool, true},
        {{"CVI", "\"Tool\",\"2.1\",\"01.02.2024\",\"Measures, fast\",\"Tool Inc.\",\"\""},
         {"Tool", "2.1", "01.02.2024", "Measures, fast", "Tool Inc.", ""},
         true},
        {{"CVI,\"Tool\",\"2.1\""}, {"Tool"}, false},
        {{"CVI,\"Tool,2.1,01.02.2024,Measures,Tool Inc.,legal"}, {"Tool"}, false},
        {{"CVI,,2.1,01.02.2024,Measures,Tool Inc.,legal"}, {""}, false},
    };
    for (const Case& c : cases) {
        const std::string line = c.arguments.join(' ').toStdString();
        std::string problem;
        const auto subject = AboutForm::ForeignSubject(c.arguments, problem);
        ASSERT_EQ(subject.has_value(), !c.fields.empty()) << line;
        if (!subject) continue;
        EXPECT_EQ(problem.empty(), c.usable) << line << ": " << problem;
        if (!c.usable) continue;
        EXPECT_TRUE(subject->Foreign);
        EXPECT_EQ((std::vector<std::string>{subject->Name, subject->Version, subject->Date,
                                            subject->Description, subject->Copyright,
                                            subject->LegalNotes}),
                  c.fields)
            << line;
    }

    std::string problem;
    const auto subject = AboutForm::ForeignSubject({"CVI,Tool,2.1,01.02.2024,Measures,"
                                                    "Tool Inc.,No warranty"},
                                                   problem);
    ASSERT_TRUE(subject && problem.empty());
    AboutForm about(*subject);
    EXPECT_EQ(about.windowTitle(), "Information about Tool");
    EXPECT_EQ(about.AppName()->text(), "Tool");
    EXPECT_EQ(Item(about.SupportText(), "Product:"), "Tool");
    EXPECT_EQ(Item(about.SupportText(), "Version:"), "2.1");
    EXPECT_NE(about.LizText()->toPlainText().indexOf("No warranty"), -1);
}

TEST_F(RegistryFixture, AboutBoxCloseEndsTheProgramOnlyForAnotherApplication) {
    AboutForm own;
    own.show();
    own.Close()->click();
    EXPECT_FALSE(own.isVisible());

    QWidget other; // the box is not the program's last window
    other.show();
    std::string problem;
    AboutForm about(*AboutForm::ForeignSubject({"CVI,Tool,2.1,,,,"}, problem));
    about.show();
    // Ends a program whose Close does not end it, as a failure.
    QTimer hung;
    hung.setSingleShot(true);
    QObject::connect(&hung, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    hung.start(30000);
    QTimer::singleShot(0, &about, [&about] { about.Close()->click(); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
}
