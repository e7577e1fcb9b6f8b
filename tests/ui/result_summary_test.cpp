// The printed result summary: its lines, table frame, curves and density
// cells on a recording page, and the page as a PDF read back with pdftotext.

#include "../support/fakes.h"
#include "ResultSummary.h"
#include "run_state.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>

namespace {

// Keeps what was drawn: text lines with their font, lines, rectangles.
struct RecordingPage : PageOutput {
    struct Text {
        QString text;
        double size;
        bool bold, italic;
        QPointF at;
    };
    struct Stroke {
        QPointF from, to;
        QColor color;
    };
    std::vector<Text> texts;
    std::vector<Stroke> lines;
    std::vector<QRectF> outlines;
    std::vector<std::pair<QRectF, QColor>> fills;
    double size = 0;
    bool bold = false, italic = false;
    QPointF position;

    QRectF Scale() const override { return QRectF(0, 0, 10000, 14000); }
    void SetFont(double s, bool b, bool i) override {
        size = s;
        bold = b;
        italic = i;
    }
    QPointF Position() const override { return position; }
    void SetPosition(QPointF p) override { position = p; }
    void PrintLine(const QString& text) override {
        texts.push_back({text, size, bold, italic, position});
        position = QPointF(0, position.y() + size * 10);
    }
    void Line(QPointF a, QPointF b, QColor c) override { lines.push_back({a, b, c}); }
    void Rectangle(QRectF box, QColor) override { outlines.push_back(box); }
    void FillRectangle(QRectF box, QColor c) override { fills.push_back({box, c}); }

    // label and value of each printed line
    std::vector<std::pair<QString, QString>> Lines() const {
        std::vector<std::pair<QString, QString>> out;
        for (std::size_t k = 0; k + 1 < texts.size(); k += 2)
            out.push_back({texts[k].text, texts[k + 1].text});
        return out;
    }
    std::size_t Count(bool vertical, QColor c) const {
        return static_cast<std::size_t>(
            std::count_if(lines.begin(), lines.end(), [&](const Stroke& s) {
                return s.color == c &&
                       (vertical ? s.from.x() == s.to.x() && s.from.y() != s.to.y()
                                 : s.from.y() == s.to.y() && s.from.x() != s.to.x());
            }));
    }
};

} // namespace

TEST(ResultSummary, LinesCarryTheResultsInThePinnedTexts) {
    RunState::ScopedRunState state;
    RecordingPage page;
    ResultSummary::Draw(page, ',');
    const auto lines = page.Lines();
    ASSERT_EQ(lines.size(), 15u);
    const std::vector<std::pair<QString, QString>> expected = {
        {"Charrier supressed", "NO"},
        {"Total gain left", "00,000 dB"},
        {"Timing error", "1,25 samples"},
        {"Timing error corrected", "0,063 samples"},
        {"AM/AM order", "2"},
        {"AM/AM error", "0,0123 dB (data <-> curve)"},
        {"AM/AM inverse error", "0,0456 dB (data <-> curve)"},
        {"AM/PM order", "2"},
        {"AM/PM error", QString::fromUtf8("0,789 \u00B0 (data <-> curve)")},
        {"AM/PM inverse error", QString::fromUtf8("1,500 \u00B0 (data <-> curve)")},
        {" ", " "},
        {"RESULTS VERIFICATION", ""},
        {"", ""},
        {"Channel Power", "30,00 dBm -> 27,00 dBm"},
        {"Channel Power [mW]", "1000,000 mW -> 501,187 mW"},
    };
    for (std::size_t k = 0; k < expected.size(); ++k) {
        EXPECT_EQ(lines[k].first.toStdString(), expected[k].first.toStdString())
            << "line " << k + 1;
        EXPECT_EQ(lines[k].second.toStdString(), expected[k].second.toStdString())
            << "line " << k + 1;
    }
    // labels bold, values regular; sizes 14, 10, 8 for the empty lines; the
    // value starts at a fifth of the page on the label's line
    EXPECT_TRUE(page.texts[0].bold && !page.texts[0].italic && !page.texts[1].bold);
    EXPECT_EQ(page.texts[20].size, 14);
    EXPECT_EQ(page.texts[22].size, 10);
    EXPECT_TRUE(page.texts[22].italic);
    EXPECT_EQ(page.texts[24].size, 8);
    EXPECT_EQ(page.texts[1].at, QPointF(2000, page.texts[0].at.y()));
}

TEST(ResultSummary, ChannelPowerUnitFollowsTheAmplifierPower) {
    RunState::ScopedRunState state;
    struct Case {
        double A, B;
        const char* label;
        const char* value;
    };
    const Case cases[] = {
        {30, 27, "Channel Power [mW]", "1000.000 mW -> 501.187 mW"},
        {31, 27, "Channel Power [W]", "001.259 W -> 000.501 W"},
        {-10, -13, "Channel Power [\u00B5W]", "100.000 \u00B5W -> 050.119 \u00B5W"},
        {0, 0, "Channel Power [\u00B5W]", "1000.000 \u00B5W -> 1000.000 \u00B5W"},
    };
    for (const Case& c : cases) {
        General::SweepPoints.back().ChannelPower[1][3] = c.A;
        General::SweepPoints.back().ChannelPower[2][3] = c.B;
        RecordingPage page;
        ResultSummary::Draw(page, '.');
        EXPECT_EQ(page.Lines()[14].first, QString::fromUtf8(c.label)) << c.A;
        EXPECT_EQ(page.Lines()[14].second, QString::fromUtf8(c.value)) << c.A;
    }
    General::SweepPoints.clear(); // no point: the lines stay, without values
    RecordingPage page;
    ResultSummary::Draw(page, '.');
    EXPECT_EQ(page.Lines()[13], (std::pair<QString, QString>{"Channel Power", ""}));
    EXPECT_EQ(page.Lines()[14], (std::pair<QString, QString>{"Channel Power", ""}));
}

TEST(ResultSummary, TableFrameHasTwoColumnsPerChannelPairAndARowPerVariant) {
    RunState::ScopedRunState state;
    struct Case {
        int channels;
        bool am, pm, ampm;
        std::size_t columns, rows;
    };
    const Case cases[] = {
        {1, false, false, false, 4, 4},
        {3, true, true, true, 8, 7},
        {2, true, false, true, 6, 6},
        {0, false, false, false, 4, 4}, // outside 1..3: held to the range
        {-4, false, false, false, 4, 4},
        {9, false, false, false, 8, 4},
    };
    for (const Case& c : cases) {
        General::ACP.Channels = static_cast<std::int16_t>(c.channels);
        General::VerifyAM = c.am;
        General::VerifyPM = c.pm;
        General::VerifyAMPM = c.ampm;
        RecordingPage page;
        ResultSummary::PrintGrid(page, QRectF(QPointF(100, 100), QPointF(900, 400)), Qt::black);
        EXPECT_EQ(page.Count(true, Qt::black), c.columns + 1) << c.channels;
        EXPECT_EQ(page.Count(false, Qt::black), c.rows + 1) << c.channels;
        ASSERT_EQ(page.outlines.size(), 1u);
    }
}

TEST(ResultSummary, CurvesSpanTheBoxAndFlatOrShortSeriesStayInside) {
    const QRectF box(QPointF(0, 0), QPointF(100, 50));
    struct Case {
        std::vector<double> series;
        std::vector<QPointF> points;
    };
    const Case cases[] = {
        {{0, 10, 5}, {{0, 50}, {50, 0}, {100, 25}}},
        {{3, 3, 3}, {{0, 25}, {50, 25}, {100, 25}}},
        {{7}, {{50, 25}}},
        {{}, {}},
        {{1, NAN, 3}, {{0, 50}, {100, 0}}},
    };
    for (const Case& c : cases) {
        RecordingPage page;
        ResultSummary::PrintCurve(page, c.series, box, Qt::black);
        ASSERT_EQ(page.lines.size(), c.points.size()) << c.series.size();
        for (std::size_t k = 0; k < c.points.size(); ++k)
            EXPECT_EQ(page.lines[k].to, c.points[k]);
        if (!c.points.empty()) {
            EXPECT_EQ(page.lines[0].from, page.lines[0].to); // the first point only places the pen
        }
    }
}

TEST(ResultSummary, DensityCellsAndTheirRedMarks) {
    const QRectF box(QPointF(0, 0), QPointF(400, 1000));
    // 4 columns × 10 rows: an empty column, one cell, a run of cells, a short column
    const std::vector<std::vector<double>> grid = {
        std::vector<double>(10, 0.0),
        {0, 0, 0, 20, 0, 0, 0, 0, 0, 0},
        {0, 0.4, 5, 7.5, 0, 0, 10, 0, 0, 0},
        {1, 1},
    };
    RecordingPage page;
    ResultSummary::PrintTable(page, grid, box);
    ASSERT_EQ(page.fills.size(), 1u + 4u + 2u);
    EXPECT_EQ(page.fills[0].first, QRectF(QPointF(100, 600), QPointF(200, 700)));
    EXPECT_EQ(page.fills[0].second, QColor(0, 255, 255));          // level 20
    EXPECT_EQ(page.fills[1].second, ResultSummary::LevelColor(1)); // 0.4 is occupied: level 1
    EXPECT_EQ(ResultSummary::LevelColor(1), QColor(255, 38, 0));
    EXPECT_EQ(ResultSummary::LevelColor(7), QColor(242, 255, 0));
    EXPECT_EQ(ResultSummary::LevelColor(14), QColor(0, 255, 25));
    ASSERT_EQ(page.Count(false, Qt::red), 6u);
    const std::vector<std::pair<double, double>> marks = {{600, 700}, {300, 900}, {800, 1000}};
    for (std::size_t k = 0; k < marks.size(); ++k) {
        EXPECT_EQ(page.lines[2 * k].from.y(), marks[k].first) << k;
        EXPECT_EQ(page.lines[2 * k + 1].from.y(), marks[k].second) << k;
    }

    // the run's grids at their own sizes: every cell lies inside the box
    RunState::ScopedRunState state;
    for (const auto& g : General::DensityGrid) {
        RecordingPage full;
        ResultSummary::PrintTable(full, g, box);
        EXPECT_EQ(full.fills.size(), 100u);
        for (const auto& [cell, colour] : full.fills)
            EXPECT_TRUE(box.contains(cell)) << cell.top();
    }
}

// The whole page printed to a PDF file (no printer here), read back as text
// and rendered for a reviewer (screenshots/result_summary-1.png beside the test
// program).
TEST(ResultSummary, PrintedToPdfWithItsTextsAndValues) {
    const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
    const QString pdftoppm = QStandardPaths::findExecutable("pdftoppm");
    ASSERT_FALSE(pdftotext.isEmpty() || pdftoppm.isEmpty())
        << "scripts/setup installs poppler-utils";
    RunState::ScopedRunState state;
    FakeStatus status;
    FakeMessageBox messages;
    Services::Scoped<Services::StatusDisplayService> statusGuard{status};
    Services::Scoped<Services::MessageBoxService> messageGuard{messages};
    QTemporaryDir dir;
    ASSERT_TRUE(ResultSummary::PrintResultSummary(dir.path().toStdString()));
    const QString pdf = dir.filePath("ResultSummary.pdf");
    ASSERT_EQ(status.lines.size(), 1u);
    EXPECT_EQ(status.lines[0], "result summary written to " + pdf.toStdString());
    EXPECT_TRUE(messages.shown.empty());

    QProcess text;
    text.start(pdftotext, {"-layout", pdf, "-"});
    ASSERT_TRUE(text.waitForFinished(60000));
    const QString page = QString::fromUtf8(text.readAllStandardOutput());
    for (const char* part :
         {"Charrier supressed", "NO", "Timing error corrected", "0.063 samples",
          "AM/AM inverse error", "0.0456 dB (data <-> curve)", "AM/PM error",
          "0.789 \u00B0 (data <-> curve)", "RESULTS VERIFICATION", "30.00 dBm -> 27.00 dBm",
          "Channel Power [mW]", "1000.000 mW -> 501.187 mW"})
        EXPECT_TRUE(page.contains(QString::fromUtf8(part))) << part << "\n" << page.toStdString();
    EXPECT_EQ(page.count('\f'), 1); // one page

    QProcess render;
    const QDir shots(QCoreApplication::applicationDirPath() + "/screenshots");
    QDir().mkpath(shots.path());
    render.start(pdftoppm, {"-png", "-r", "60", pdf, shots.filePath("result_summary")});
    ASSERT_TRUE(render.waitForFinished(60000));
    EXPECT_EQ(render.exitCode(), 0);
    EXPECT_TRUE(shots.exists("result_summary-1.png"));
}

TEST(ResultSummary, NoPrinterAndNoPdfTargetGivesAMessage) {
    RunState::ScopedRunState state;
    FakeMessageBox messages;
    FakeStatus status;
    Services::Scoped<Services::MessageBoxService> messageGuard{messages};
    Services::Scoped<Services::StatusDisplayService> statusGuard{status};
    QTemporaryDir dir;
    EXPECT_FALSE(ResultSummary::PrintResultSummary(dir.filePath("no/such/folder").toStdString()));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].starts_with("PRINT ERROR|There is no printer"))
        << messages.shown[0];
    EXPECT_TRUE(status.lines.empty());
}
