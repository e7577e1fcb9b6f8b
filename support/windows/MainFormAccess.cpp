#include "MainFormAccess.h"

#include <QMdiArea>
#include <QMdiSubWindow>

namespace {
MainFormAccess* g_mainForm = nullptr;
} // namespace

MainFormAccess* MainFormAccess::Get() {
    return g_mainForm;
}

void MainFormAccess::Register(MainFormAccess* form) {
    g_mainForm = form;
}

void MainFormAccess::Unregister(MainFormAccess* form) {
    if (g_mainForm == form) g_mainForm = nullptr;
}

QWidget* MainFormAccess::ShowChild(QWidget* child) {
    QMdiArea* area = g_mainForm ? g_mainForm->ClientArea() : nullptr;
    if (!area) {
        child->show();
        return child;
    }
    QMdiSubWindow* frame = area->addSubWindow(child);
    frame->show();
    return frame;
}
