// Draws the printed result summary and sends it to the printer or a PDF file.

#include "ResultSummary.h"

#include "CrossMix.h"
#include "DensityGrid.h"
#include "General.h"
#include "NumberText.h"
#include "Services.h"

#include <QDir>
#include <QFile>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>
#include <cmath>

namespace ResultSummary {
namespace {

constexpr int kLevels = 20;
const QColor kBlack(0, 0, 0);
const QColor kRed(255, 0, 0);

// A page on a QPainter: the printer's device units are the scale.
class PainterPage : public PageOutput {
public:
    explicit PainterPage(QPainter& painter) : painter_(painter) {}

    QRectF Scale() const override {
        return QRectF(0, 0, painter_.device()->width(), painter_.device()->height());
    }
    void SetFont(double pointSize, bool bold, bool italic) override {
        QFont font("Helvetica");
        font.setPointSizeF(pointSize);
        font.setBold(bold);
        font.setItalic(italic);
        painter_.setFont(font);
    }
    QPointF Position() const override { return position_; }
    void SetPosition(QPointF position) override { position_ = position; }
    void PrintLine(const QString& text) override {
        const QFontMetricsF metrics(painter_.font(), painter_.device());
        painter_.setPen(kBlack);
        painter_.drawText(QPointF(position_.x(), position_.y() + metrics.ascent()), text);
        position_ = QPointF(Scale().left(), position_.y() + metrics.lineSpacing());
    }
    void Line(QPointF from, QPointF to, QColor color) override {
        painter_.setPen(QPen(color, 0));
        painter_.drawLine(from, to);
    }
    void Rectangle(QRectF box, QColor color) override {
        painter_.setPen(QPen(color, 0));
        painter_.setBrush(Qt::NoBrush);
        painter_.drawRect(box);
    }
    void FillRectangle(QRectF box, QColor color) override { painter_.fillRect(box, color); }

private:
    QPainter& painter_;
    QPointF position_;
};

QRectF Box(const QRectF& scale, double f1, double f2, double g1, double g2) {
    return QRectF(QPointF(scale.left() + f1 * scale.width(), scale.top() + g1 * scale.height()),
                  QPointF(scale.left() + f2 * scale.width(), scale.top() + g2 * scale.height()));
}

QString Number(double value, const char* pattern, char decimal) {
    return QString::fromStdString(NumberText::FormatNumber(value, pattern, decimal));
}

// The order the printed coefficients were fitted with: an order chosen in
// the options after the run applies only to the next fit.
int FittedOrder(const std::vector<double>& coefficients, int setting) {
    return coefficients.empty() ? setting : static_cast<int>(coefficients.size()) - 1;
}

QString ChannelPowerText(double dBm, char decimal) {
    return std::isfinite(dBm) ? Number(dBm, "#0.00", decimal) + " dBm" : QString("not measured");
}

// Line 15: the two channel powers in the unit the amplifier's power needs.
void PrintChannelPowerLinear(PageOutput& page, double A, double B, char decimal) {
    const double a = std::pow(10.0, (A - 30) / 10), b = std::pow(10.0, (B - 30) / 10);
    struct Unit {
        const char* label;
        const char* name;
        double factor;
    };
    const Unit unit = a > 1       ? Unit{"Channel Power [W]", " W", 1}
                      : a > 0.001 ? Unit{"Channel Power [mW]", " mW", 1e3}
                                  : Unit{"Channel Power [\u00B5W]", " \u00B5W", 1e6};
    PrintTextAt(page, unit.label,
                Number(a * unit.factor, "#000.000", decimal) + unit.name + " -> " +
                    Number(b * unit.factor, "#000.000", decimal) + unit.name,
                8, true, true);
}

void PrintResultLines(PageOutput& page, char decimal) {
    namespace G = General;
    const QString curveNote = " dB (data <-> curve)";
    const QString degreeNote = QString::fromUtf8(" \u00B0 (data <-> curve)");
    PrintTextAt(page, "Charrier supressed", "NO", 8, true, false);
    PrintTextAt(page, "Total gain left",
                Number(G::GainLeft - G::GainLeftOffset, "00.000", decimal) + " dB", 8, true, false);
    PrintTextAt(page, "Timing error", Number(G::TimingError, "#0.0##", decimal) + " samples", 8,
                true, false);
    PrintTextAt(page, "Timing error corrected",
                Number(G::TimingErrorCorrected, "#0.0##", decimal) + " samples", 8, true, false);
    PrintTextAt(page, "AM/AM order", Number(FittedOrder(G::AMAMCoeff, G::AMAMOrder), "#0", decimal),
                8, true, false);
    PrintTextAt(page, "AM/AM error", Number(G::AMAMError, "#0.000#", decimal) + curveNote, 8, true,
                false);
    PrintTextAt(page, "AM/AM inverse error",
                Number(G::AMAMInvError, "#0.000#", decimal) + curveNote, 8, true, false);
    PrintTextAt(page, "AM/PM order", Number(FittedOrder(G::AMPMCoeff, G::AMPMOrder), "#0", decimal),
                8, true, false);
    PrintTextAt(page, "AM/PM error", Number(G::AMPMError, "#0.000#", decimal) + degreeNote, 8, true,
                false);
    PrintTextAt(page, "AM/PM inverse error",
                Number(G::AMPMInvError, "#0.000#", decimal) + degreeNote, 8, true, false);
    PrintTextAt(page, " ", " ", 14, true, true);
    PrintTextAt(page, "RESULTS VERIFICATION", "", 10, true, true);
    PrintTextAt(page, "", "", 8, true, true);
    if (G::SweepPoints.empty()) {
        // no point measured: the lines stay, without values
        PrintTextAt(page, "Channel Power", "", 8, true, true);
        PrintTextAt(page, "Channel Power", "", 8, true, true);
        return;
    }
    const auto& powers = G::SweepPoints.back().ChannelPower;
    const double A = powers[1][3], B = powers[2][3];
    PrintTextAt(page, "Channel Power",
                ChannelPowerText(A, decimal) + " -> " + ChannelPowerText(B, decimal), 8, true,
                true);
    if (std::isfinite(A) && std::isfinite(B))
        PrintChannelPowerLinear(page, A, B, decimal);
    else
        PrintTextAt(page, "Channel Power", "not measured", 8, true, true);
}

// The ruling inside a density box: tenths across, `rows` equal rows down
// (only the inner lines; the outline is drawn separately).
void DensityRuling(PageOutput& page, QRectF box, const std::vector<double>& rowFractions) {
    for (int k = 1; k <= 9; ++k) {
        const double x = box.left() + box.width() * k / 10.0;
        page.Line(QPointF(x, box.top()), QPointF(x, box.bottom()), kBlack);
    }
    for (double f : rowFractions) {
        const double y = box.top() + box.height() * f;
        page.Line(QPointF(box.left(), y), QPointF(box.right(), y), kBlack);
    }
}

} // namespace

QColor LevelColor(int level) {
    const Rgb c = DensityGrid::LevelColour(level, kLevels);
    return QColor(c.r, c.g, c.b);
}

void PrintTextAt(PageOutput& page, const QString& label, const QString& value, double fontSize,
                 bool bold, bool italic) {
    page.SetFont(fontSize, bold, italic);
    const double y = page.Position().y();
    page.PrintLine(label);
    page.SetFont(fontSize, false, false);
    const QRectF scale = page.Scale();
    page.SetPosition(QPointF(scale.left() + scale.width() / 5, y));
    page.PrintLine(value);
}

void PrintCurve(PageOutput& page, const std::vector<double>& series, QRectF box, QColor color) {
    double lowest = INFINITY, highest = -INFINITY;
    for (double v : series)
        if (std::isfinite(v)) {
            lowest = std::min(lowest, v);
            highest = std::max(highest, v);
        }
    if (!std::isfinite(lowest)) return;
    const std::size_t last = series.size() - 1;
    auto at = [&](std::size_t i) {
        const double fx = last == 0 ? 0.5 : static_cast<double>(i) / static_cast<double>(last);
        const double fy = highest == lowest ? 0.5 : (series[i] - lowest) / (highest - lowest);
        return QPointF(box.left() + fx * box.width(), box.bottom() - fy * box.height());
    };
    bool drawing = false;
    for (std::size_t i = 0; i < series.size(); ++i) {
        if (!std::isfinite(series[i])) {
            drawing = false;
            continue;
        }
        const QPointF point = at(i);
        page.Line(drawing ? page.Position() : point, point, color);
        page.SetPosition(point);
        drawing = true;
    }
}

void PrintTable(PageOutput& page, const std::vector<std::vector<double>>& grid, QRectF box) {
    const std::size_t columns = grid.size();
    std::size_t rows = 0;
    for (const auto& column : grid)
        rows = std::max(rows, column.size());
    if (columns == 0 || rows == 0) return;
    const double w = box.width() / static_cast<double>(columns);
    const double h = box.height() / static_cast<double>(rows);
    for (std::size_t i = 0; i < columns; ++i) {
        const double left = box.left() + w * static_cast<double>(i);
        std::size_t lowest = rows, highest = 0;
        for (std::size_t j = 0; j < grid[i].size(); ++j) {
            const int level = DensityGrid::LevelOf(grid[i][j], kLevels);
            if (level == 0) continue;
            const double bottom = box.bottom() - h * static_cast<double>(j);
            page.FillRectangle(QRectF(QPointF(left, bottom - h), QPointF(left + w, bottom)),
                               LevelColor(level));
            lowest = std::min(lowest, j);
            highest = j;
        }
        if (lowest == rows) continue;
        const double top = box.bottom() - h * static_cast<double>(highest + 1);
        const double bottom = box.bottom() - h * static_cast<double>(lowest);
        page.Line(QPointF(left, top), QPointF(left + w, top), kRed);
        page.Line(QPointF(left, bottom), QPointF(left + w, bottom), kRed);
    }
}

void PrintGrid(PageOutput& page, QRectF box, QColor color) {
    page.Rectangle(box, color);
    const int channels = std::clamp<int>(General::ACP.Channels, 0, 3);
    const int columns = 2 * channels + 2;
    const int rows = 4 + int{General::VerifyAM} + int{General::VerifyPM} + int{General::VerifyAMPM};
    for (int k = 0; k <= columns; ++k) {
        const double x = box.left() + box.width() * k / columns;
        page.Line(QPointF(x, box.top()), QPointF(x, box.bottom()), color);
    }
    for (int k = 0; k <= rows; ++k) {
        const double y = box.top() + box.height() * k / rows;
        page.Line(QPointF(box.left(), y), QPointF(box.right(), y), color);
    }
}

void Draw(PageOutput& page, char decimal) {
    const QRectF scale = page.Scale();
    page.SetPosition(scale.topLeft());
    PrintResultLines(page, decimal);

    PrintGrid(page, Box(scale, 0.51, 0.99, 0.30, 0.45), kBlack);

    const QRectF powers = Box(scale, 0.51, 0.99, 0.46, 0.66);
    page.Rectangle(powers, kBlack);
    PrintCurve(page, General::ChannelPowers[1], powers, kBlack);
    PrintCurve(page, General::ChannelPowers[4], powers, kBlack);

    const QRectF amam = Box(scale, 0.01, 0.49, 0.69, 0.99);
    PrintTable(page, General::DensityGrid[0], amam);
    page.Rectangle(amam, kBlack);
    DensityRuling(page, amam, {0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9});

    const QRectF ampm = Box(scale, 0.51, 0.99, 0.69, 0.99);
    PrintTable(page, General::DensityGrid[1], ampm);
    page.Rectangle(ampm, kBlack);
    std::vector<double> twelfths;
    for (int k = 5; k <= 55; k += 5)
        twelfths.push_back(k / 60.0);
    DensityRuling(page, ampm, twelfths);
}

namespace {

// Whether the file holds a whole PDF document. The PDF engine reports no
// failed write (a full disk), so the file is read back for its end mark.
bool WholePdf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 16 || !file.seek(file.size() - 16))
        return false;
    return file.read(16).trimmed().endsWith("%%EOF");
}

} // namespace

bool PrintResultSummary(const std::string& pdfFolder) {
    const QPrinterInfo printerInfo = QPrinterInfo::defaultPrinter();
    const bool toPdf = printerInfo.isNull();
    QPrinter printer(QPrinter::HighResolution);
    const QString pdf = QDir(QString::fromStdString(pdfFolder)).filePath("ResultSummary.pdf");
    if (toPdf) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
    } else {
        printer.setPrinterName(printerInfo.printerName());
    }
    printer.setDocName("Quillon Result Summary");
    QPainter painter;
    if (!painter.begin(&printer)) {
        const std::string target =
            toPdf ? "There is no printer, and the PDF file " + pdf.toStdString()
                  : "The printer " + printerInfo.printerName().toStdString();
        Services::Messages().Message(
            "PRINT ERROR", target + " could not be opened: the result summary was not printed.",
            Services::MsgIcon::Critical, Services::MsgButtons::OK);
        return false;
    }
    PainterPage page(painter);
    Draw(page, NumberText::RegionalDecimal());
    if (!painter.end() || (toPdf && !WholePdf(pdf))) {
        const std::string what = toPdf
                                     ? "The PDF file " + pdf.toStdString() + " could not be written"
                                     : "The result summary could not be printed";
        Services::Messages().Message("PRINT ERROR", what + ".", Services::MsgIcon::Critical,
                                     Services::MsgButtons::OK);
        return false;
    }
    CrossMix::AddStatus(toPdf ? "result summary written to " + pdf.toStdString()
                              : "result summary printed on " +
                                    printerInfo.printerName().toStdString());
    return true;
}

} // namespace ResultSummary
