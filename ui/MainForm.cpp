#include "MainForm.h"

#include <QMdiArea>

namespace {
MainForm* g_mainForm = nullptr;
} // namespace

MainForm& MainForm::Instance() {
    if (!g_mainForm) g_mainForm = new MainForm;
    return *g_mainForm;
}

MainForm::MainForm() {
    area_ = new QMdiArea;
    setCentralWidget(area_);
    MainFormAccess::Register(this);
}

MainForm::~MainForm() {
    MainFormAccess::Unregister(this);
    if (g_mainForm == this) g_mainForm = nullptr;
}

int MainForm::ClientHeight() const {
    return area_->viewport()->height();
}
