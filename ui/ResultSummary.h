#pragma once
// The printed result summary: one page with the labelled result lines of the
// last run, an empty ACP table frame, the channel-power curves and the AM/AM
// and AM/PM density plots. The page is drawn through PageOutput, the few
// printer operations it needs, so it can go to a printer, a PDF file or a
// recording page alike.

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <string>
#include <vector>

// A printer page in its own scale units.
class PageOutput {
public:
    virtual ~PageOutput() = default;
    // Left, top, width and height of the page's scale.
    virtual QRectF Scale() const = 0;
    virtual void SetFont(double pointSize, bool bold, bool italic) = 0;
    virtual QPointF Position() const = 0;
    virtual void SetPosition(QPointF position) = 0;
    // Prints one line at the position; the position moves to the left margin
    // of the next line.
    virtual void PrintLine(const QString& text) = 0;
    virtual void Line(QPointF from, QPointF to, QColor color) = 0;
    virtual void Rectangle(QRectF box, QColor color) = 0;
    virtual void FillRectangle(QRectF box, QColor color) = 0;
};

namespace ResultSummary {

// One line: the label in the given style from the left margin, the value in
// regular style from a fifth of the page width.
void PrintTextAt(PageOutput& page, const QString& label, const QString& value, double fontSize,
                 bool bold, bool italic);

// A polyline of the series across the box, its smallest value on the bottom
// edge and its largest on the top edge. A flat series runs along the middle,
// a single value is a point in the middle, non-finite values are left out.
void PrintCurve(PageOutput& page, const std::vector<double>& series, QRectF box, QColor color);

// A density grid (column-major, level counts 0..20, row 0 at the bottom) as
// coloured cells on the grid's own size, each cell in the level and colour
// the measurement window shows it in, with a red mark at both ends of each
// column's coloured cells. Columns of different length are drawn as far as
// each goes.
void PrintTable(PageOutput& page, const std::vector<std::vector<double>>& grid, QRectF box);

// The empty ACP table: two columns per channel pair (channel count held to
// 0..3) plus two, four rows plus one per verified variant.
void PrintGrid(PageOutput& page, QRectF box, QColor color);

// The colour of a density level 1..20, as the measurement window draws it.
QColor LevelColor(int level);

// The whole page from the shared results; `decimal` is the regional decimal
// separator.
void Draw(PageOutput& page, char decimal);

// "Print Result Summary": prints on the default printer, or, where there is
// none, into ResultSummary.pdf in `pdfFolder` and names the file in the
// status log. When neither can be written the operator gets a message.
bool PrintResultSummary(const std::string& pdfFolder);

} // namespace ResultSummary
