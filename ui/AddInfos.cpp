// The report options dialog.

#include "AddInfos.h"

#include "DialogKit.h"
#include "General.h"
#include "HtmlReport.h"
#include "StringOp.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

std::string* InfoText(int index) {
    switch (index) {
    case 0:
        return &General::Operator;
    case 1:
        return &General::Company;
    case 2:
        return &General::DUT;
    case 3:
        return &General::Note;
    default:
        return nullptr;
    }
}

const char* const kInfoLabels[4] = {"Operator", "Company", "Device under test", "Comments"};
const char* const kItemCaptions[4] = {"general results", "nonlinear parameters",
                                      "graphical results - detailed",
                                      "graphical results - summary DA"};

} // namespace

AddInfos* AddInfos::Open() {
    auto* dialog = new AddInfos;
    DialogKit::ShowWindow(dialog);
    return dialog;
}

AddInfos::AddInfos() {
    setWindowTitle("report options");
    setAttribute(Qt::WA_DeleteOnClose);

    auto* infos = new QGroupBox("test informations");
    auto* form = new QFormLayout(infos);
    for (int i = 0; i < 4; ++i) {
        auto*& box = Eingabe[static_cast<std::size_t>(i)];
        box = new QLineEdit;
        box->setMinimumWidth(260);
        form->addRow(kInfoLabels[i], box);
    }
    auto* items = new QGroupBox("items to report");
    auto* itemColumn = new QVBoxLayout(items);
    for (int i = 0; i < 4; ++i) {
        auto*& check = PrintItem[static_cast<std::size_t>(i)];
        check = new QCheckBox(kItemCaptions[i]);
        itemColumn->addWidget(check);
    }
    itemColumn->addStretch();
    OK = new QPushButton("OK");

    auto* frames = new QHBoxLayout;
    frames->addWidget(infos, 1);
    frames->addWidget(items);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OK);
    auto* top = new QVBoxLayout(this);
    top->addLayout(frames);
    top->addStretch();
    top->addLayout(buttons);

    Form_Load();
    for (int i = 0; i < 4; ++i) {
        connect(Eingabe[static_cast<std::size_t>(i)], &QLineEdit::textChanged, this,
                [this, i] { Eingabe_Change(i); });
        connect(PrintItem[static_cast<std::size_t>(i)], &QCheckBox::toggled, this,
                [this, i] { PrintItem_Click(i); });
    }
    connect(OK, &QPushButton::clicked, this, &AddInfos::OK_Click);
}

void AddInfos::Form_Load() {
    for (int i = 0; i < 4; ++i) {
        const auto k = static_cast<std::size_t>(i);
        Eingabe[k]->setText(HtmlReport::InfoText(*InfoText(i)));
        PrintItem[k]->setChecked(General::PrintItem[k]);
    }
}

void AddInfos::Eingabe_Change(int index) {
    std::string* text = InfoText(index);
    if (!text) return;
    // Every typed character is kept: a text beyond Latin-1 is stored as UTF-8.
    const QString typed = Eingabe[static_cast<std::size_t>(index)]->text();
    *text = HtmlReport::StoredInfoText(
        QString::fromUtf8(StringOp::TrimWhite(typed.toUtf8().toStdString())));
}

void AddInfos::PrintItem_Click(int index) {
    if (index < 0 || index > 3) return;
    const auto k = static_cast<std::size_t>(index);
    General::PrintItem[k] = PrintItem[k]->isChecked();
}

// A hidden dialog is never shown again (the next opening makes a new one), so
// OK lets it go entirely; every change is already in the settings.
void AddInfos::OK_Click() {
    DialogKit::CloseWindow(this);
}
