// The manual leveling dialog.

#include "LevelingForm.h"

#include "FrontWindow.h"
#include "MeterKnob.h"
#include "NumberText.h"
#include "RunProgress.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
LevelingForm* g_form = nullptr;
}

LevelingForm& LevelingForm::Instance() {
    if (!g_form) g_form = new LevelingForm;
    return *g_form;
}

bool LevelingForm::Exists() {
    return g_form != nullptr;
}

LevelingForm::LevelingForm() {
    setWindowTitle("Leveling");
    setModal(false);
    FrontWindow::Keep(this);
    auto* layout = new QVBoxLayout(this);
    Meter = new MeterKnob;
    layout->addWidget(Meter, 1);
    Display = new QLabel;
    Display->setAlignment(Qt::AlignCenter);
    QFont big = Display->font();
    big.setPointSize(14);
    big.setBold(true);
    Display->setFont(big);
    layout->addWidget(Display);
    LevelOK = new QPushButton("OK");
    layout->addWidget(LevelOK);
    connect(LevelOK, &QPushButton::clicked, this, &LevelingForm::LevelOK_Click);
}

LevelingForm::~LevelingForm() {
    if (g_form == this) g_form = nullptr;
}

void LevelingForm::SetTarget(double target) {
    Meter->SetRange(target - 1, target + 1);
    Meter->SetMark(0, target + 0.2);
    Meter->SetMark(1, target - 0.2);
}

void LevelingForm::LevelOK_Click() {
    ok_ = true;
}

void LevelingForm::Begin(double target) {
    ok_ = false;
    closed_ = false;
    Display->clear();
    SetTarget(target);
    show();
    raise();
}

void LevelingForm::ShowValue(double level) {
    Meter->SetValue(level);
    Display->setText(QString::fromStdString(NumberText::FormatNumber(level, "0.00") + " dBm"));
    RunProgress::PumpEvents();
}

void LevelingForm::End() {
    hide();
}

void LevelingForm::closeEvent(QCloseEvent* event) {
    if (!ok_) closed_ = true;
    QDialog::closeEvent(event);
}

void LevelingForm::reject() {
    if (!ok_) closed_ = true;
    QDialog::reject();
}
