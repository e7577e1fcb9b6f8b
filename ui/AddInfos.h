#pragma once
// The report options dialog: the texts that head the measurement report and
// the report items to include. A fresh dialog opens every time; each control
// writes its setting at once, so there is nothing to confirm or cancel.

#include <QWidget>
#include <array>

class QCheckBox;
class QLineEdit;
class QPushButton;

class AddInfos : public QWidget {
    Q_OBJECT

public:
    // A new dialog showing the current settings, shown without waiting.
    static AddInfos* Open();

    void Eingabe_Change(int index);
    void PrintItem_Click(int index);
    void OK_Click();

    std::array<QLineEdit*, 4> Eingabe{};
    std::array<QCheckBox*, 4> PrintItem{};
    QPushButton* OK = nullptr;

private:
    AddInfos();
    void Form_Load();
};
