#pragma once
// The MDI main window. The program's child windows live in its client area.

#include "MainFormAccess.h"

#include <QMainWindow>

class QMdiArea;

class MainForm : public QMainWindow, public MainFormAccess {
    Q_OBJECT

public:
    // The window, created on first use.
    static MainForm& Instance();
    ~MainForm() override;

    int ClientHeight() const override;
    QMdiArea* ClientArea() const override { return area_; }

private:
    MainForm();
    QMdiArea* area_ = nullptr;
};
