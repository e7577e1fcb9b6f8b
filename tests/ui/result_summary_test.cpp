// The printed result summary: its lines, table frame, curves and density
// cells on a recording page, and the page as a PDF read back with pdftotext.

#include "../support/fakes.h"
#include "ResultSummary.h"
#include "finished_run.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPageLayout>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
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
    FinishedRun::ScopedRunState state;
    General::AMAMOrder = 7; // chosen after the run: the printed fit keeps its own order
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
    FinishedRun::ScopedRunState state;
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
        {30, std::nan(""), "Channel Power", "not measured"},
    };
    for (const Case& c : cases) {
        General::SweepPoints.back().ChannelPower[1][3] = c.A;
        General::SweepPoints.back().ChannelPower[2][3] = c.B;
        RecordingPage page;
        ResultSummary::Draw(page, '.');
        EXPECT_EQ(page.Lines()[14].first, QString::fromUtf8(c.label)) << c.A;
        EXPECT_EQ(page.Lines()[14].second, QString::fromUtf8(c.value)) << c.A;
    }
    {
        RecordingPage page; // the last case: a channel power that could not be measured
        ResultSummary::Draw(page, '.');
        EXPECT_EQ(page.Lines()[13].second, "30.00 dBm -> not measured");
    }
    General::SweepPoints.clear(); // no point: the lines stay, without values
    RecordingPage page;
    ResultSummary::Draw(page, '.');
    EXPECT_EQ(page.Lines()[13], (std::pair<QString, QString>{"Channel Power", ""}));
    EXPECT_EQ(page.Lines()[14], (std::pair<QString, QString>{"Channel Power", ""}));
}

TEST(ResultSummary, TableFrameHasTwoColumnsPerChannelPairAndARowPerVariant) {
    FinishedRun::ScopedRunState state;
    struct Case {
        int channels;
        bool am, pm, ampm;
        std::size_t columns, rows;
    };
    const Case cases[] = {
        {1, false, false, false, 4, 4},  {3, true, true, true, 8, 7}, {2, true, false, true, 6, 6},
        {0, false, false, false, 2, 4},  // no channel pair: the two main-channel columns
        {-4, false, false, false, 2, 4}, // outside 0..3: held to the range
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
    // Each stroke from -> to; a stroke of no length only places the pen, so a
    // value that is not finite breaks the line instead of being bridged.
    struct Case {
        std::vector<double> series;
        std::vector<std::pair<QPointF, QPointF>> strokes;
    };
    const Case cases[] = {
        {{0, 10, 5}, {{{0, 50}, {0, 50}}, {{0, 50}, {50, 0}}, {{50, 0}, {100, 25}}}},
        {{3, 3, 3}, {{{0, 25}, {0, 25}}, {{0, 25}, {50, 25}}, {{50, 25}, {100, 25}}}},
        {{7}, {{{50, 25}, {50, 25}}}},
        {{}, {}},
        {{1, NAN, 3}, {{{0, 50}, {0, 50}}, {{100, 0}, {100, 0}}}},
        {{0, 1, INFINITY, 2, 4},
         {{{0, 50}, {0, 50}}, {{0, 50}, {25, 37.5}}, {{75, 25}, {75, 25}}, {{75, 25}, {100, 0}}}},
    };
    for (const Case& c : cases) {
        RecordingPage page;
        ResultSummary::PrintCurve(page, c.series, box, Qt::black);
        ASSERT_EQ(page.lines.size(), c.strokes.size()) << c.series.size();
        for (std::size_t k = 0; k < c.strokes.size(); ++k) {
            EXPECT_EQ(page.lines[k].from, c.strokes[k].first) << c.series.size() << " " << k;
            EXPECT_EQ(page.lines[k].to, c.strokes[k].second) << c.series.size() << " " << k;
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
    // A cell a rounding error above a whole level is that level, as on screen.
    for (const auto& [cell, level] : {std::pair{3.0000000000000004, 3}, std::pair{3.01, 4}}) {
        RecordingPage one;
        ResultSummary::PrintTable(one, {{cell}}, box);
        ASSERT_EQ(one.fills.size(), 1u);
        EXPECT_EQ(one.fills[0].second, ResultSummary::LevelColor(level)) << cell;
    }
    ASSERT_EQ(page.Count(false, Qt::red), 6u);
    const std::vector<std::pair<double, double>> marks = {{600, 700}, {300, 900}, {800, 1000}};
    for (std::size_t k = 0; k < marks.size(); ++k) {
        EXPECT_EQ(page.lines[2 * k].from.y(), marks[k].first) << k;
        EXPECT_EQ(page.lines[2 * k + 1].from.y(), marks[k].second) << k;
    }

    // the run's grids at their own sizes: every cell lies inside the box
    FinishedRun::ScopedRunState state;
    for (const auto& g : General::DensityGrid) {
        std::size_t occupied = 0;
        for (const auto& column : g)
            occupied += static_cast<std::size_t>(
                std::count_if(column.begin(), column.end(), [](double cell) { return cell > 0; }));
        RecordingPage full;
        ResultSummary::PrintTable(full, g, box);
        EXPECT_EQ(full.fills.size(), occupied);
        for (const auto& [cell, colour] : full.fills)
            EXPECT_TRUE(box.contains(cell)) << cell.top();
    }
}

namespace {

// Where a box of the page (fractions of the printer's paintable area, as the
// summary places its boxes) lies on the page rendered as `page`.
QRect PixelBox(const QImage& page, double f1, double f2, double g1, double g2) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QRectF full = printer.pageLayout().fullRect(QPageLayout::Point);
    const QRectF paint = printer.pageLayout().paintRect(QPageLayout::Point);
    const double sx = page.width() / full.width(), sy = page.height() / full.height();
    auto at = [&](double f, double g) {
        return QPointF((paint.left() + f * paint.width()) * sx,
                       (paint.top() + g * paint.height()) * sy);
    };
    return QRectF(at(f1, g1), at(f2, g2)).toRect();
}

bool Dark(QRgb p) {
    return qGray(p) < 128;
}
// A level colour or a red mark, not the black, grey or white of the ruling.
bool Coloured(QRgb p) {
    return std::max({qRed(p), qGreen(p), qBlue(p)}) - std::min({qRed(p), qGreen(p), qBlue(p)}) >
           100;
}

std::size_t CountPixels(const QImage& image, const QRect& area, bool (*test)(QRgb)) {
    std::size_t n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += test(image.pixel(x, y)) ? 1 : 0;
    return n;
}

// The dark strokes a straight scan crosses, from `from` in steps of `step`.
int CrossedLines(const QImage& image, QPoint from, QPoint step, int length) {
    int lines = 0;
    bool inLine = false;
    for (int k = 0; k < length; ++k) {
        const bool dark = Dark(image.pixel(from + k * step));
        lines += dark && !inLine ? 1 : 0;
        inLine = dark;
    }
    return lines;
}

} // namespace

// The whole page printed to a PDF file (no printer here), read back as text
// and rendered (screenshots/result_summary-1.png in the build tree), whose
// boxes are checked pixel by pixel.
TEST(ResultSummary, PrintedToPdfWithItsTextsAndValues) {
    const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
    const QString pdftoppm = QStandardPaths::findExecutable("pdftoppm");
    ASSERT_FALSE(pdftotext.isEmpty() || pdftoppm.isEmpty())
        << "scripts/setup installs poppler-utils";
    FinishedRun::ScopedRunState state;
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
    const QDir shots(QString(QT_TESTCASE_BUILDDIR) + "/screenshots");
    QDir().mkpath(shots.path());
    render.start(pdftoppm, {"-png", "-r", "100", pdf, shots.filePath("result_summary")});
    ASSERT_TRUE(render.waitForFinished(60000));
    EXPECT_EQ(render.exitCode(), 0);
    const QImage image(shots.filePath("result_summary-1.png"));
    ASSERT_FALSE(image.isNull());

    // The ACP table frame: 2 channels give 6 columns, the one verified
    // variant 5 rows; a scan through the first row and column crosses them.
    const QRect table = PixelBox(image, 0.51, 0.99, 0.30, 0.45);
    EXPECT_EQ(CrossedLines(image, QPoint(table.left() - 3, table.top() + table.height() / 10),
                           QPoint(1, 0), table.width() + 6),
              7);
    EXPECT_EQ(CrossedLines(image, QPoint(table.left() + table.width() / 12, table.top() - 3),
                           QPoint(0, 1), table.height() + 6),
              6);
    // Inside each box, away from its outline: the two curves cross the
    // channel-power box (save where they run along its outline, at its sides
    // and at their peak); both density plots show their levels, AM/AM from
    // red at its lower left to cyan at its upper right, AM/PM in a band about
    // its middle.
    const QRect powers = PixelBox(image, 0.51, 0.99, 0.46, 0.66).adjusted(4, 4, -4, -4);
    int crossed = 0;
    for (int x = powers.left(); x <= powers.right(); ++x)
        crossed += CountPixels(image, QRect(x, powers.top(), 1, powers.height()), Dark) > 0;
    EXPECT_GT(crossed, powers.width() * 9 / 10);
    const QRect amam = PixelBox(image, 0.01, 0.49, 0.69, 0.99).adjusted(4, 4, -4, -4);
    const QRect amamLowerLeft(amam.left(), amam.center().y(), amam.width() / 3, amam.height() / 2);
    const QRect amamUpperRight(amam.right() - amam.width() / 3, amam.top(), amam.width() / 3,
                               amam.height() / 3);
    EXPECT_GT(CountPixels(image, amamLowerLeft,
                          [](QRgb p) { return qRed(p) > 200 && qBlue(p) < 80 && Coloured(p); }),
              20u);
    EXPECT_GT(CountPixels(image, amamUpperRight,
                          [](QRgb p) { return qRed(p) < 80 && qBlue(p) > 200 && Coloured(p); }),
              20u);
    const QRect ampm = PixelBox(image, 0.51, 0.99, 0.69, 0.99).adjusted(4, 4, -4, -4);
    const QRect ampmMiddle(ampm.left(), ampm.top() + ampm.height() * 7 / 20, ampm.width(),
                           ampm.height() / 5);
    EXPECT_GT(CountPixels(image, ampmMiddle, Coloured), std::size_t(ampm.width()));
    EXPECT_EQ(CountPixels(image, ampm, Coloured), CountPixels(image, ampmMiddle, Coloured));
}

TEST(ResultSummary, APdfThatCannotBeOpenedOrWrittenGivesAMessage) {
    FinishedRun::ScopedRunState state;
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

    // Opened, but the document cannot be written to its end: a full disk.
    ASSERT_TRUE(QFile::link("/dev/full", dir.filePath("ResultSummary.pdf")));
    messages.shown.clear();
    EXPECT_FALSE(ResultSummary::PrintResultSummary(dir.path().toStdString()));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].starts_with("PRINT ERROR|")) << messages.shown[0];
    EXPECT_TRUE(status.lines.empty()) << status.lines[0];
}
