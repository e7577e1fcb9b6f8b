// The instrument log window: a new, empty log at every load, at the bottom left
// of the client area.

#include "ELogForm.h"

#include "General.h"
#include "MainFormAccess.h"
#include "RTFGen.h"
#include "RTFView.h"

#include <QVBoxLayout>

namespace {
ELogForm* g_log = nullptr;
} // namespace

ELogForm& ELogForm::Instance() {
    if (!g_log) {
        g_log = new ELogForm;
        // The client height is read once, now: the window goes to the bottom.
        QWidget* frame = MainFormAccess::ShowChild(g_log);
        if (const MainFormAccess* main = MainFormAccess::Get())
            frame->move(0, main->ClientHeight() - frame->height());
    }
    return *g_log;
}

bool ELogForm::IsLoaded() {
    return g_log != nullptr;
}

ELogForm::ELogForm() {
    setWindowTitle("MAIN LOG WINDOW");
    // "Close All Measurement Windows" closes it; the next line logged opens a
    // new, empty log.
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    ELogBox = new RTFTextBox;
    layout->addWidget(ELogBox);
    resize(sizeHint());

    RTFGen::RTFBegin(ELogBox, General::InstrumentLogRTF, "Lucida Console", 20);
    ELogBox->SetCaret(ELogBox->RTF().size() - 1);
    ELogBox->Repaint();
}

QSize ELogForm::sizeHint() const {
    return {640, 200};
}

ELogForm::~ELogForm() {
    if (g_log == this) g_log = nullptr;
}
