// The result window and its plausibility lines.

#include "ResultForm.h"

#include "Current.h"
#include "MainFormAccess.h"
#include "NumberText.h"
#include "PlausibilityRules.h"
#include "RTFGen.h"
#include "RTFView.h"
#include "Services.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QScreen>
#include <QStyle>
#include <QTextDocument>
#include <QVBoxLayout>
#include <algorithm>

namespace {
ResultForm* g_form = nullptr;

QWidget* Frame(QWidget* w) {
    return MainFormAccess::FrameOf(w);
}

// The longest line the window writes: the captions of the rows; value lines
// are short.
QString LongestCaption(const QFontMetrics& bold) {
    QString longest = "Leveling error (10 steps)";
    for (int row = PlausibilityRules::RowCrestReference; row <= PlausibilityRules::RowGroupDelay;
         ++row)
        if (const auto style = PlausibilityRules::Style(row))
            if (bold.horizontalAdvance(style->caption) > bold.horizontalAdvance(longest))
                longest = style->caption;
    return longest;
}

// Width of the area windows are placed in.
int AreaWidth() {
    if (MainFormAccess* main = MainFormAccess::Get(); main && main->ClientArea())
        return main->ClientArea()->width();
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry().width() : 0;
}

std::string Formatted(double value, const char* pattern) {
    return NumberText::FormatNumber(value, pattern, NumberText::RegionalDecimal());
}
} // namespace

ResultForm& ResultForm::Instance() {
    if (!g_form) g_form = new ResultForm;
    return *g_form;
}

bool ResultForm::Exists() {
    return g_form != nullptr;
}

ResultForm::ResultForm() {
    setWindowTitle("Measurement Results");
    setProperty("Tag", "KEEP");
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kEdge / 2, kEdge / 2, kEdge / 2, kEdge / 2);
    layout->setSpacing(4);
    Label1 = new QLabel("Measurement Results");
    layout->addWidget(Label1);
    ResField = new RTFTextBox;
    // A line longer than the box wraps rather than being cut at the right.
    ResField->setLineWrapMode(QTextEdit::WidgetWidth);
    RTFGen::RTFBegin(ResField, resultRTF_, kFontName, kFontHalfPoints);
    ResField->setMinimumSize(BoxWidth(), kBoxHeight / 2);
    layout->addWidget(ResField, 1);
}

int ResultForm::BoxWidth() const {
    QFont font = ResField->document()->defaultFont();
    font.setPointSizeF(kFontHalfPoints / 2.0);
    font.setBold(true);
    const QFontMetrics bold(font);
    const int frame = 2 * (ResField->frameWidth() + int(ResField->document()->documentMargin()));
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    return std::max(kBoxWidth,
                    bold.horizontalAdvance(LongestCaption(bold)) + frame + scrollBar + 2);
}

QSize ResultForm::sizeHint() const {
    return {BoxWidth() + kEdge, kBoxHeight + Label1->sizeHint().height() + 4 + kEdge};
}

ResultForm::~ResultForm() {
    if (g_form == this) g_form = nullptr;
}

void ResultForm::Form_Load() {
    RTFGen::RTFBegin(ResField, resultRTF_, kFontName, kFontHalfPoints);
    MainFormAccess::ShowChild(this);
    Place();
}

void ResultForm::Place() {
    QWidget* frame = Frame(this);
    // The size at which nothing is cut, independent of the size before, so
    // restarts never shrink the window.
    const QSize whole = frame == this ? sizeHint() : frame->sizeHint();
    const int w = whole.width();
    // The main window may have stretched it to the height below the action
    // window; a restart keeps that, and never goes below the size at which
    // nothing is cut.
    frame->resize(w, std::max(whole.height(), frame->height()));
    int top = 0;
    if (Current::Exists()) {
        const QWidget* progress = Frame(&Current::Instance());
        top = progress->y() + progress->height();
    }
    frame->move(std::max(0, AreaWidth() - w - kEdge), std::max(0, top));
}

void ResultForm::AddLine(const std::string& text, bool bold, std::int32_t color,
                         std::int32_t alignment) {
    RTFGen::RTFAddText(ResField, resultRTF_, text, true, bold, false, false, color, alignment,
                       RTFGen::kNoHighlight);
}

void ResultForm::DisplayResult(const std::string& caption, double value, const std::string& format,
                               const std::string& unit) {
    AddLine(caption, false, RTFGen::kBlack, RTFGen::AlignLeft);
    AddLine(Formatted(value, format.c_str()) + " " + unit, true, RTFGen::kBlack,
            RTFGen::AlignRight);
}

bool ResultForm::ShowValue(int row, float value, float shown, std::optional<float> extra) {
    using namespace PlausibilityRules;
    const std::optional<RowStyle> style = Style(row);
    if (!style) return true;
    AddLine(style->caption, false, RTFGen::kBlack, RTFGen::AlignLeft);
    const Verdict verdict = Judge(row, TestedValue(row, value, extra));
    AddLine(Formatted(shown, style->format) + style->unit, true, verdict.color, RTFGen::AlignRight);
    if (row == RowLevelingLevel && extra)
        AddLine("(optimum: " + Formatted(*extra, "##0.00") + ")", false, verdict.color,
                RTFGen::AlignRight);
    if (row == RowGroupDelay && extra)
        AddLine("(uncertainty: " + Formatted(*extra, "0.00") + " ns)", false, RTFGen::kBlack,
                RTFGen::AlignRight);
    if (verdict.warning.empty()) return true;
    return Services::BigMessage().ShowMessage(verdict.warning + " Continue?", 0, 0, true, true,
                                              true);
}
