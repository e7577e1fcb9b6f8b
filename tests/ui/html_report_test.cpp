// The HTML measurement report: its text against fixtures, its sections,
// escaping, missing results, failures, the show and save commands, and the
// written report as a browser loads it.

#include "../support/event_pump.h"
#include "../support/fakes.h"
#include "HtmlReport.h"
#include "NumberText.h"
#include "RunState.h"
#include "browser_view.h"
#include "finished_run.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace {

std::string ReadBytes(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The links of the run's pictures with their own sizes.
std::array<HtmlReport::PictureLink, 9> FixedLinks() {
    std::array<HtmlReport::PictureLink, 9> links;
    for (std::size_t n = 0; n < 9; ++n)
        links[n] = {"CurrentReport.html_IMG/IMG" + std::to_string(n) + ".png",
                    General::Pictures[n].size()};
    return links;
}

// Every file and folder under `root` with its bytes ("<folder>" for a folder).
std::map<QString, QByteArray> Snapshot(const QString& root) {
    std::map<QString, QByteArray> files;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        files[path.mid(root.size())] =
            it.fileInfo().isDir() ? QByteArray("<folder>")
                                  : (file.open(QIODevice::ReadOnly) ? file.readAll() : "<unread>");
    }
    return files;
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

QString Fixture(char decimal) {
    return QString(QUILLON_TEST_DATA) +
           (decimal == ',' ? "/ui/report_comma.html" : "/ui/report_dot.html");
}

// Where a report that differs from its fixture is left for a reviewer (the
// build tree).
void KeepActual(const std::string& bytes, const QString& fixture) {
    std::ofstream(QString(QT_TESTCASE_BUILDDIR).toStdString() + "/" +
                      QFileInfo(fixture).fileName().toStdString() + ".actual",
                  std::ios::binary)
        << bytes;
}

class HtmlReportTest : public ::testing::Test {
protected:
    FinishedRun::ScopedRunState state;
    FakeClock clock;
    FakeMessageBox messages;
    Services::Scoped<Services::ClockService> clockGuard{clock};
    Services::Scoped<Services::MessageBoxService> messageGuard{messages};
    ReportSetupTexts setup{"HOD  Signal Analyzer", "  internal  "};
    QTemporaryDir dir;
};

} // namespace

TEST_F(HtmlReportTest, DocumentMatchesItsFixtureWithEitherDecimalSeparator) {
    for (char decimal : {'.', ','}) {
        const std::string bytes = HtmlReport::ToLatin1(HtmlReport::BuildDocument(
                                      setup, clock.now, decimal, FixedLinks())) +
                                  "\r\n";
        const QString fixture = Fixture(decimal);
        const std::string expected = ReadBytes(fixture);
        if (bytes != expected) KeepActual(bytes, fixture);
        EXPECT_EQ(bytes, expected)
            << "decimal '" << decimal << "', fixture " << fixture.toStdString();
    }
}

// Run once as it stands and once more by the test below under a German
// locale: the written file follows the user's decimal separator.
TEST_F(HtmlReportTest, WrittenReportMatchesTheFixtureOfTheUsersLocale) {
    ASSERT_TRUE(HtmlReport::WriteHtmlReport(dir.path().toStdString(), "CurrentReport.html", setup));
    EXPECT_TRUE(messages.shown.empty());
    // the run under the German locale names its fixture, so a locale that
    // did not take effect cannot pass with the other one
    const char decimal = qEnvironmentVariableIsSet("QUILLON_REPORT_DECIMAL_COMMA")
                             ? ','
                             : NumberText::RegionalDecimal();
    EXPECT_EQ(ReadBytes(dir.filePath("CurrentReport.html")), ReadBytes(Fixture(decimal)));
}

TEST(HtmlReportLocale, CommaDecimalLocaleWritesTheCommaFixture) {
    QProcess self;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "de_DE.UTF-8");
    env.insert("QUILLON_REPORT_DECIMAL_COMMA", "1");
    self.setProcessEnvironment(env);
    self.start(QCoreApplication::applicationFilePath(),
               {"--gtest_filter=HtmlReportTest.WrittenReportMatchesTheFixtureOfTheUsersLocale"});
    ASSERT_TRUE(self.waitForFinished(120000));
    const QString output = self.readAllStandardOutput();
    EXPECT_EQ(self.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}

TEST_F(HtmlReportTest, ReportItemsChooseTheSections) {
    struct Case {
        std::array<bool, 4> items;
        std::vector<std::string> present, absent;
    };
    const std::vector<Case> cases = {
        {{false, false, false, true},
         {"<body>\r\n</body>\r\n</html>"},
         {"General Results", "Nonlinear Parameters", "Graphical Results", "<table"}},
        {{true, false, false, false},
         {"General Results", "Auto Leveling", "Misc Parameters"},
         {"Nonlinear Parameters", "Graphical Results"}},
        {{false, true, false, false},
         {"Nonlinear Parameters</H1><H2 align=center>Polynomial Representation</H2>",
          "Gridded Representation"},
         {"General Results", "<img"}},
        {{false, false, true, false},
         {"Graphical Results - Detailed</H1><table", "graphical results - ACP result</H1><img"},
         {"General Results", "Nonlinear Parameters"}},
    };
    for (const Case& c : cases) {
        General::PrintItem = c.items;
        const std::string text = HtmlReport::BuildDocument(setup, clock.now, '.', FixedLinks());
        EXPECT_TRUE(text.starts_with("<!DOCTYPE HTML PUBLIC"));
        for (const auto& p : c.present)
            EXPECT_NE(text.find(p), std::string::npos) << p;
        for (const auto& a : c.absent)
            EXPECT_EQ(text.find(a), std::string::npos) << a;
    }
}

TEST_F(HtmlReportTest, OperatorTextsAndAnswersAreEscapedAndBeyondLatin1AreReferences) {
    General::DUT = "<script>alert('x')</script>";
    General::ModSourceID = "A&B,<1>";
    General::SignalType = 2;
    General::PlenwavePath = "/data/\"odd\" <name>.ibn";
    const std::string latin1 =
        HtmlReport::ToLatin1(HtmlReport::BuildDocument(setup, clock.now, '.', FixedLinks()));
    EXPECT_NE(latin1.find("&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"), std::string::npos);
    EXPECT_EQ(latin1.find("<script>"), std::string::npos);
    EXPECT_NE(latin1.find("A&amp;B,&lt;1&gt;"), std::string::npos);
    EXPECT_NE(latin1.find("Plenwave file: /data/&quot;odd&quot; &lt;name&gt;.ibn"),
              std::string::npos);
    EXPECT_NE(latin1.find("Jane &lt;Doe&gt; &amp; Co</td>"), std::string::npos);

    EXPECT_EQ(HtmlReport::ToLatin1("\xC3\x9F\xE2\x82\xAC\xC2\xB7\xF0\x9F\x98\x80"),
              "\xDF&#8364;\xB7&#128512;");
}

// The report texts as the settings file and the options dialog hold them:
// Latin-1 as they always have been, UTF-8 for a text with a character beyond
// Latin-1. Each reaches the page as the character it is.
TEST_F(HtmlReportTest, ReportTextsReachThePageAsTheirCharacters) {
    struct Case {
        const char* typed; // UTF-8
        std::string stored;
    };
    const Case cases[] = {
        {"Ann Lee", "Ann Lee"},
        {"M\xC3\xBCller", "M\xFCller"},
        {"25 \xC2\xB0"
         "C, \xC2\xB5-test",
         "25 \xB0"
         "C, \xB5-test"},
        {"5 \xE2\x82\xAC", "5 \xE2\x82\xAC"},
        // Latin-1 bytes that would read as UTF-8 ("\xC3\xA9" is an e acute)
        {"\xC3\x83\xC2\xA9", "\xC3\x83\xC2\xA9"},
    };
    for (const Case& c : cases) {
        const QString typed = QString::fromUtf8(c.typed);
        EXPECT_EQ(HtmlReport::StoredInfoText(typed), c.stored) << c.typed;
        EXPECT_EQ(HtmlReport::InfoText(c.stored), typed) << c.typed;
    }
    // UTF-8 cut inside its last character (the settings file's reader takes
    // a text up to a byte count), and Latin-1 that ends in a byte that could
    // start a UTF-8 character
    EXPECT_EQ(HtmlReport::InfoText("5 \xE2\x82\xAC, 7 \xE2\x82"),
              QString::fromUtf8("5 \xE2\x82\xAC, 7 "));
    EXPECT_EQ(HtmlReport::InfoText("caf\xE9"), QString::fromUtf8("caf\xC3\xA9"));

    General::Operator = "M\xFCller";
    General::Note = "25 \xB0"
                    "C, \xB5-test";
    General::Company = "5 \xE2\x82\xAC";
    const std::string page =
        HtmlReport::ToLatin1(HtmlReport::BuildDocument(setup, clock.now, '.', FixedLinks()));
    EXPECT_NE(page.find("width=160>M\xFCller</td>"), std::string::npos);
    EXPECT_NE(page.find("width=160>25 \xB0"
                        "C, \xB5-test</td>"),
              std::string::npos);
    EXPECT_NE(page.find(" by 5 &#8364;</td>"), std::string::npos);
    EXPECT_EQ(page.find("&#65533;"), std::string::npos);
}

TEST_F(HtmlReportTest, MissingResultsLeaveTheirPlacesEmpty) {
    General::SweepPoints.clear();
    General::LevelOutput.clear();
    General::AMPMCoeff.clear();
    General::SignalStore[32].clear();
    General::SignalStore[30] = {0.5};
    General::SignalStore[31].clear(); // a grid with one half missing has no rows
    General::Operator = "";
    General::DUT = "   ";
    const std::string text = HtmlReport::BuildDocument(setup, clock.now, '.', {});
    EXPECT_NE(
        text.find(
            "<B>IQ Modulator<BR>Frequency</B></td>\r\n    <td bgcolor=#FFFFFF width=160></td>"),
        std::string::npos);
    EXPECT_NE(text.find("<B>AM/PM<BR>Equation</B></td>\r\n    <td bgcolor=#FFFFFF width=500></td>"),
              std::string::npos);
    EXPECT_NE(text.find("<td bgcolor=#FFFFFF width=160></td>\r\n    <td bgcolor=#FFFFFF "
                        "width=160>29.51 dB</td>"),
              std::string::npos);
    EXPECT_NE(text.find("Operator</B></td>\r\n    <td bgcolor=#FFFFFF width=160>---</td>"),
              std::string::npos);
    EXPECT_NE(text.find("Device under test</B></td>\r\n    <td bgcolor=#FFFFFF width=160></td>"),
              std::string::npos);
    // header row only in the gridded table; no image tag without a picture
    const auto grid = text.find("Gridded Representation");
    EXPECT_EQ(Count(text.substr(grid, text.find("</table>", grid) - grid), "  <tr>"), 1u);
    EXPECT_EQ(text.find("<img"), std::string::npos);
    EXPECT_EQ(Count(text, "    <td bgcolor=#FFFFFF width=300>\r\n"), 8u);
}

TEST_F(HtmlReportTest, GriddedRowsFollowTheLongerGridAndEquationsEndInABlank) {
    const std::string text = HtmlReport::BuildDocument(setup, clock.now, '.', FixedLinks());
    EXPECT_NE(
        text.find(
            "<td bgcolor=#FFFFFF width=500>y = (5.00000E-1) \xC2\xB7 x<sup>0</sup> + "
            "(1.00000E+0) \xC2\xB7 x<sup>1</sup> + (-2.50000E-1) \xC2\xB7 x<sup>2</sup> </td>"),
        std::string::npos);
    const auto grid = text.find("Gridded Representation");
    const std::string table = text.substr(grid, text.find("</table>", grid) - grid);
    EXPECT_EQ(Count(table, "  <tr>"), 5u);
    EXPECT_EQ(Count(table, "width=160>"), 2u * 4u + 2u * 2u);
}

TEST_F(HtmlReportTest, InputLevelsAsTheGeneratorReadsItsLevel) {
    // Generator level -12.345 dBm, test signal 8 dB from peak to RMS: a KLD
    // sets the peak envelope power of full scale, a VRTA playing its own ARB
    // the RMS level.
    struct Case {
        std::int32_t modulator, converter;
        const char *rms, *fullScale;
    };
    for (const Case& c : {Case{2, 2, "-20.35 dBm", "(1 = -12.35 dBm)"},
                          Case{1, 1, "-12.35 dBm", "(1 = -4.35 dBm)"}}) {
        General::ModulatorType = c.modulator;
        General::RFConverterType = c.converter;
        const std::string text = HtmlReport::BuildDocument(setup, clock.now, '.', FixedLinks());
        EXPECT_NE(text.find("RMS Level</B></td>\r\n    <td bgcolor=#FFFFFF width=160>" +
                            std::string(c.rms)),
                  std::string::npos)
            << c.modulator;
        const auto grid = text.find("Gridded Representation");
        EXPECT_EQ(Count(text.substr(grid), c.fullScale), 2u) << c.modulator;
    }
}

TEST_F(HtmlReportTest, PicturesGoBesideTheReportWithRelativeLinks) {
    General::PrintItem = {false, false, true, false};
    General::Pictures[5] = QImage(); // no picture: no file, no image
    const std::string name = "my report #1.html";
    ASSERT_TRUE(HtmlReport::WriteHtmlReport(dir.path().toStdString(), name, setup));
    const QDir pictures(dir.filePath("my report #1.html_IMG"));
    ASSERT_TRUE(pictures.exists());
    EXPECT_EQ(pictures.entryList(QDir::Files).size(), 8);
    EXPECT_FALSE(pictures.exists("IMG5.png"));
    QImage loaded(pictures.filePath("IMG8.png"));
    EXPECT_EQ(loaded.size(), QSize(1000, 600));
    const std::string text = ReadBytes(dir.filePath(QString::fromStdString(name)));
    EXPECT_NE(text.find("<img src=\"my%20report%20%231.html_IMG/IMG0.png\"  width=800 height=600>"),
              std::string::npos);
    // each picture at its own size
    General::Pictures[1] = QImage(640, 480, QImage::Format_RGB32);
    EXPECT_NE(HtmlReport::BuildDocument(setup, clock.now, '.', FixedLinks())
                  .find("IMG1.png\"  width=640 height=480>"),
              std::string::npos);
    EXPECT_EQ(Count(text, "<img src="), 8u);
    EXPECT_EQ(text.find(dir.path().toStdString()), std::string::npos); // no absolute paths

    // written again: a picture that went missing takes its old file along
    General::Pictures[0] = QImage();
    ASSERT_TRUE(HtmlReport::WriteHtmlReport(dir.path().toStdString(), name, setup));
    EXPECT_FALSE(pictures.exists("IMG0.png"));
}

// A write that fails at any step is reported and leaves the old report, its
// pictures and their folder exactly as they were: no new picture beside an
// old page, no file left half-way, no picture folder where there was none.
TEST_F(HtmlReportTest, AFailedWriteLeavesTheOldReportWhole) {
    auto failAt = [](const char* name) {
        return [name](const QString& path) { return !path.endsWith(name); };
    };
    auto folderAt = [](const char* name) {
        return [name](const QDir& d) {
            QFile::remove(d.filePath(name));
            d.mkpath(QString(name) + "/inside");
        };
    };
    struct Fault {
        const char* what;
        std::function<void(const QDir&)> arrange; // after the old report is written
        std::function<bool(const QString&)> replaceCheck;
        const char* message;
    };
    const Fault faults[] = {
        {"picture 6 cannot be put in place", {}, failAt("/IMG6.png"), "The picture "},
        {"the page cannot be put in place",
         {},
         failAt("/CurrentReport.html"),
         "The measurement report "},
        {"a folder where picture 4 goes",
         folderAt("CurrentReport.html_IMG/IMG4.png"),
         {},
         "The picture "},
        {"a folder where the page goes",
         folderAt("CurrentReport.html"),
         {},
         "The measurement report "},
        {"the first report cannot be put in place",
         [](const QDir& d) {
             QDir(d.filePath("CurrentReport.html_IMG")).removeRecursively();
             QFile::remove(d.filePath("CurrentReport.html"));
         },
         failAt("/CurrentReport.html"), "The measurement report "},
        {"a file where the picture folder goes",
         [](const QDir& d) {
             QDir(d.filePath("CurrentReport.html_IMG")).removeRecursively();
             QFile(d.filePath("CurrentReport.html_IMG")).open(QIODevice::WriteOnly);
         },
         {},
         "The picture folder "},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.what);
        FinishedRun::Fill();
        QTemporaryDir folder;
        const std::string path = folder.path().toStdString();
        ASSERT_TRUE(HtmlReport::WriteHtmlReport(path, "CurrentReport.html", setup));
        if (fault.arrange) fault.arrange(QDir(folder.path()));
        const auto before = Snapshot(folder.path());

        // the next run: other texts and pictures, picture 2 missing
        General::Operator = "next run";
        for (QImage& picture : General::Pictures)
            picture.invertPixels();
        General::Pictures[2] = QImage();
        HtmlReport::SetReplaceCheckForTest(fault.replaceCheck);
        messages.shown.clear();
        EXPECT_FALSE(HtmlReport::WriteHtmlReport(path, "CurrentReport.html", setup));
        HtmlReport::SetReplaceCheckForTest({});
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_TRUE(messages.shown[0].starts_with(std::string("REPORT ERROR|") + fault.message))
            << messages.shown[0];
        EXPECT_EQ(Snapshot(folder.path()), before);
    }

    // Without a fault the new report wholly replaces the old one.
    FinishedRun::Fill();
    ASSERT_TRUE(HtmlReport::WriteHtmlReport(dir.path().toStdString(), "CurrentReport.html", setup));
    General::Pictures[2] = QImage();
    General::Pictures[3].invertPixels();
    ASSERT_TRUE(HtmlReport::WriteHtmlReport(dir.path().toStdString(), "CurrentReport.html", setup));
    const auto now = Snapshot(dir.path());
    QStringList names;
    for (const auto& [name, bytes] : now)
        names << name;
    EXPECT_EQ(names.join(" ").toStdString(),
              "/CurrentReport.html /CurrentReport.html_IMG /CurrentReport.html_IMG/IMG0.png "
              "/CurrentReport.html_IMG/IMG1.png /CurrentReport.html_IMG/IMG3.png "
              "/CurrentReport.html_IMG/IMG4.png /CurrentReport.html_IMG/IMG5.png "
              "/CurrentReport.html_IMG/IMG6.png /CurrentReport.html_IMG/IMG7.png "
              "/CurrentReport.html_IMG/IMG8.png");
    EXPECT_EQ(QImage(dir.filePath("CurrentReport.html_IMG/IMG3.png")).pixel(0, 0),
              General::Pictures[3].pixel(0, 0));

    // a folder that does not exist: nothing is written, nothing created
    General::PrintItem = {true, true, true, false};
    messages.shown.clear();
    EXPECT_FALSE(
        HtmlReport::WriteHtmlReport(dir.filePath("missing").toStdString(), "r.html", setup));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].find("could not be created"), std::string::npos)
        << messages.shown[0];
    EXPECT_EQ(Snapshot(dir.path()), now);
}

TEST_F(HtmlReportTest, ShowAndSaveCommands) {
    FakeUrlOpener opener;
    FakeFileDialog dialogs;
    FakeStatus status;
    Services::Scoped<Services::StatusDisplayService> statusGuard{status};
    Services::Scoped<Services::UrlOpenerService> openerGuard{opener};
    Services::Scoped<Services::FileDialogService> dialogGuard{dialogs};

    ASSERT_TRUE(HtmlReport::ShowMeasurementReport(dir.path().toStdString(), setup));
    ASSERT_EQ(opener.opened.size(), 1u);
    EXPECT_EQ(opener.opened[0],
              QUrl::fromLocalFile(dir.filePath("CurrentReport.html")).toString().toStdString());
    EXPECT_TRUE(QDir(dir.filePath("CurrentReport.html_IMG")).exists());

    // A launcher that started says later whether it found a viewer.
    opener.answers.back()(true);
    EXPECT_TRUE(messages.shown.empty());
    ASSERT_TRUE(HtmlReport::ShowMeasurementReport(dir.path().toStdString(), setup));
    EXPECT_TRUE(messages.shown.empty());
    opener.answers.back()(false);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].starts_with("REPORT ERROR|No viewer")) << messages.shown[0];
    EXPECT_NE(messages.shown[0].find("CurrentReport.html"), std::string::npos);

    EXPECT_TRUE(status.lines.empty()) << "when idle, the box alone tells";

    // During a run the status list tells at once; the box, which would halt
    // the run until answered, waits for its end.
    messages.shown.clear();
    {
        const RunState::Scope run;
        ASSERT_TRUE(HtmlReport::ShowMeasurementReport(dir.path().toStdString(), setup));
        opener.answers.back()(false);
        ASSERT_EQ(status.lines.size(), 1u);
        EXPECT_TRUE(status.lines[0].starts_with("No viewer could open the measurement report"))
            << status.lines[0];
        EXPECT_TRUE(messages.shown.empty());
    }
    ASSERT_TRUE(PumpUntil([&] { return !messages.shown.empty(); }));
    EXPECT_TRUE(messages.shown[0].starts_with("REPORT ERROR|No viewer")) << messages.shown[0];

    messages.shown.clear();
    status.lines.clear();
    opener.result = false;
    EXPECT_FALSE(HtmlReport::ShowMeasurementReport(dir.path().toStdString(), setup));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].starts_with("REPORT ERROR|No viewer"));
    EXPECT_TRUE(status.lines.empty());

    EXPECT_FALSE(HtmlReport::SaveMeasurementReport(dir.path().toStdString(), setup)); // cancelled
    ASSERT_TRUE(QDir(dir.path()).mkdir("saved"));
    dialogs.answers = {dir.filePath("saved/run 7.html").toStdString()};
    ASSERT_TRUE(HtmlReport::SaveMeasurementReport(dir.path().toStdString(), setup));
    EXPECT_TRUE(QFile::exists(dir.filePath("saved/run 7.html")));
    EXPECT_TRUE(QDir(dir.filePath("saved/run 7.html_IMG")).exists("IMG8.png"));
    EXPECT_EQ(dialogs.asked[1], "save|Save Measurement Report|" + dir.path().toStdString() +
                                    "|HTML report file (*.html);;all files (*.*)");

    // A name without an extension gets ".html"; the dialog asked about the
    // name as typed, so replacing the one with ".html" is asked first.
    const QDir saved(dir.filePath("saved"));
    struct Case {
        const char* typed;
        Services::MsgAnswer reply;
        bool written;
        const char* file;
        std::size_t questions;
    };
    const Case cases[] = {
        {"run 8", Services::MsgAnswer::No, true, "run 8.html", 0},
        {"run 9.", Services::MsgAnswer::No, true, "run 9.html", 0},
        {"run 10.htm", Services::MsgAnswer::No, true, "run 10.htm", 0},
        {"run 7", Services::MsgAnswer::No, false, "run 7.html", 1},
        {"run 7", Services::MsgAnswer::Yes, true, "run 7.html", 1},
    };
    for (const Case& c : cases) {
        QFile::remove(saved.filePath("run 7.html"));
        QFile(saved.filePath("run 7.html")).open(QIODevice::WriteOnly); // an older file
        messages.shown.clear();
        messages.reply = c.reply;
        dialogs.answers = {saved.filePath(c.typed).toStdString()};
        EXPECT_EQ(HtmlReport::SaveMeasurementReport(dir.path().toStdString(), setup), c.written)
            << c.typed;
        EXPECT_EQ(QFileInfo(saved.filePath(c.file)).size() > 0, c.written) << c.typed;
        EXPECT_FALSE(saved.exists(c.typed) && QString(c.typed) != c.file) << c.typed;
        ASSERT_EQ(messages.shown.size(), c.questions) << c.typed;
        if (c.questions) {
            EXPECT_EQ(messages.shown[0], "Save Measurement Report|run 7.html already exists.\n"
                                         "Do you want to replace it?");
        }
    }
}

// The written report as a browser sees it: every image loads and the tables
// hold the run's values.
TEST_F(HtmlReportTest, BrowserLoadsEveryPictureAndShowsTheValues) {
    ASSERT_TRUE(HtmlReport::WriteHtmlReport(dir.path().toStdString(), "CurrentReport.html", setup));
    const BrowserView view = LoadInBrowser(dir.filePath("CurrentReport.html"));
    ASSERT_TRUE(view.error.empty()) << view.error;
    ASSERT_EQ(view.images.size(), 9);
    for (const QString& image : view.images)
        EXPECT_GT(image.section('=', -1).toInt(), 0) << image.toStdString();
    // every picture shown at its own size, neither stretched nor squeezed
    ASSERT_EQ(view.shown.size(), 9);
    for (std::size_t n = 0; n < 9; ++n) {
        const QSize size = General::Pictures[n].size();
        const QString natural = QString("%1x%2").arg(size.width()).arg(size.height());
        EXPECT_EQ(view.shown[qsizetype(n)], natural + "=" + natural) << n;
    }
    const QString& cells = view.cells;
    for (const char* value :
         {"Operator|Jane <Doe> & Co", "Device under test|PA-7 \xC3\x9F\xE2\x82\xAC",
          "IQ ModulatorFrequency|1000.25 MHz|", "|19.88 dBm|29.51 dB|",
          "Crest FactorAmplifier Input|11.23 dB", "|7.5000000E-01|7.0000000E-01|"})
        EXPECT_TRUE(cells.contains(QString::fromUtf8(value))) << value << "\n"
                                                              << cells.toStdString();
}

// The report printed from a browser: every picture keeps its proportions and
// fits its share of the page (two side by side, the ACP picture alone).
TEST_F(HtmlReportTest, PrintedReportFitsEveryPictureUndistorted) {
    const QString browser = QStandardPaths::findExecutable("chromium-headless-shell");
    const QString pdfimages = QStandardPaths::findExecutable("pdfimages");
    ASSERT_FALSE(browser.isEmpty() || pdfimages.isEmpty())
        << "scripts/setup installs chromium-headless-shell and poppler-utils";
    ASSERT_TRUE(HtmlReport::WriteHtmlReport(dir.path().toStdString(), "CurrentReport.html", setup));
    const QString pdf = dir.filePath("printed.pdf");
    QProcess print;
    print.start(browser, {"--no-sandbox", "--disable-gpu", "--allow-file-access-from-files",
                          "--print-to-pdf=" + pdf,
                          QUrl::fromLocalFile(dir.filePath("CurrentReport.html")).toString()});
    ASSERT_TRUE(print.waitForFinished(120000));
    QProcess list;
    list.start(pdfimages, {"-list", pdf});
    ASSERT_TRUE(list.waitForFinished(60000));
    // page num type width height color comp bpc enc interp object ID x-ppi y-ppi ...
    const QStringList rows = QString::fromUtf8(list.readAllStandardOutput()).split('\n').mid(2);
    int pictures = 0;
    for (const QString& row : rows) {
        const QStringList f = row.simplified().split(' ');
        if (f.size() < 14 || f[2] != "image") continue;
        ++pictures;
        const double width = f[3].toDouble(), xppi = f[12].toDouble(), yppi = f[13].toDouble();
        EXPECT_NEAR(xppi, yppi, 1.0) << row.toStdString();
        // inches on paper; Letter, the narrower A4 and their margins allow
        // less than 8.3 inches across
        EXPECT_LT(width / xppi, width == 1000 ? 8.3 : 4.15) << row.toStdString();
    }
    EXPECT_EQ(pictures, 9);
}
