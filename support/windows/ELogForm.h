#pragma once
// The instrument log window. Its document is the shared
// General::InstrumentLogRTF; the instrument holder appends to it with
// RTFGen::RTFAddText(ELogForm::Instance().ELogBox, General::InstrumentLogRTF, ...).
// Every load starts a new, empty log; closing the window unloads it.

#include <QWidget>

class RTFTextBox;

class ELogForm : public QWidget {
    Q_OBJECT

public:
    // The window, loaded (with a new log) and shown on first use. It sits
    // at the bottom left of the main window's client area.
    static ELogForm& Instance();
    static bool IsLoaded();
    ~ELogForm() override;
    QSize sizeHint() const override;

    RTFTextBox* ELogBox = nullptr;

private:
    ELogForm();
};
