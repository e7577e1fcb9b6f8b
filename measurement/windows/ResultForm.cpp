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
#include <QMdiSubWindow>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

namespace {
ResultForm* g_form = nullptr;

// The widget that frames a window: its MDI sub-window, or itself.
QWidget* Frame(QWidget* w) {
    auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget());
    return sub ? static_cast<QWidget*>(sub) : w;
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
    ResField->setMinimumSize(kBoxWidth, kBoxHeight / 2);
    layout->addWidget(ResField, 1);
}

ResultForm::~ResultForm() {
    if (g_form == this) g_form = nullptr;
}

void ResultForm::Form_Load() {
    RTFGen::RTFBegin(ResField, resultRTF_, "Lucida Console", 20);
    // Framed once; later restarts show the same frame again.
    if (Frame(this) == this)
        MainFormAccess::ShowChild(this);
    else
        Frame(this)->show();
    Place();
}

void ResultForm::Place() {
    QWidget* frame = Frame(this);
    const int extraW = frame->width() - width(), extraH = frame->height() - height();
    // The designed size, independent of the size before, so restarts never
    // shrink the window.
    const int w = kBoxWidth + kEdge + extraW;
    const int designed = kBoxHeight + Label1->sizeHint().height() + 4 + kEdge + extraH;
    // The main window may have stretched it to the height below the action
    // window; a restart keeps that, and never goes below the designed size.
    frame->resize(w, std::max(designed, frame->height()));
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
