// Helpers shared by the settings windows.

#include "DialogKit.h"

#include "GUIService.h"
#include "MainFormAccess.h"

#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QPointer>
#include <QSignalBlocker>
#include <QTimer>

namespace DialogKit {

namespace {

// Selects after the focus event has been handled: a mouse click that gave the
// focus would otherwise place the cursor and drop the selection again.
class SelectAllFilter final : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusIn) {
            QPointer<QWidget> box = qobject_cast<QWidget*>(watched);
            QTimer::singleShot(0, box, [box] {
                if (box) GUIService::SelectAllText(box);
            });
        }
        return false;
    }
};

} // namespace

QWidget* FrameOf(QWidget* window) {
    return MainFormAccess::FrameOf(window);
}

void ShowWindow(QWidget* window) {
    QWidget* frame = MainFormAccess::ShowChild(window);
    frame->raise();
    frame->activateWindow();
}

void HideWindow(QWidget* window) {
    FrameOf(window)->hide();
}

void CloseWindow(QWidget* window) {
    FrameOf(window)->close();
}

void SelectAllOnFocus(QLineEdit* box) {
    box->installEventFilter(new SelectAllFilter(box));
}

std::optional<int> SelectedCode(const QComboBox* list) {
    if (list->currentIndex() < 0) return std::nullopt;
    bool ok = false;
    const int code = list->currentData().toInt(&ok);
    if (!ok) return std::nullopt;
    return code;
}

void FillList(QComboBox* list, const std::vector<std::pair<QString, int>>& items) {
    const QSignalBlocker quiet(list);
    list->clear();
    for (const auto& [text, code] : items)
        list->addItem(text, code);
    list->setCurrentIndex(-1);
}

void SelectCode(QComboBox* list, int code) {
    list->setCurrentIndex(list->findData(code));
}

} // namespace DialogKit
