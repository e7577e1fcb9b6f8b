// Helpers shared by the settings windows.

#include "DialogKit.h"

#include "CrossMix.h"
#include "GUIService.h"
#include "MainFormAccess.h"
#include "NumberText.h"
#include "StringOp.h"

#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QPointer>
#include <QSignalBlocker>
#include <QTimer>

namespace DialogKit {

namespace {

std::string TextOf(const QLineEdit* box) {
    return box->text().toLatin1().toStdString();
}

void RefuseTooLarge(const QLineEdit* box) {
    CrossMix::AddStatus("\"" + TextOf(box) + "\" refused: the number does not fit its setting.");
}

// The typed number converted to the setting's type.
template <typename T>
std::optional<T> TypedAs(const QLineEdit* box, Reading reading, bool (*convert)(double, T&)) {
    const std::optional<double> value = TypedNumber(box, reading);
    T out{};
    if (!value) return std::nullopt;
    if (convert(*value, out)) return out;
    RefuseTooLarge(box);
    return std::nullopt;
}

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

void ShowWindow(QWidget* window) {
    QWidget* frame = MainFormAccess::ShowChild(window);
    frame->raise();
    frame->activateWindow();
}

void HideWindow(QWidget* window) {
    MainFormAccess::FrameOf(window)->hide();
}

void CloseWindow(QWidget* window) {
    MainFormAccess::FrameOf(window)->close();
}

std::optional<double> TypedNumber(const QLineEdit* box, Reading reading) {
    const std::string text = TextOf(box);
    std::optional<double> value = reading == Reading::Regional ? StringOp::StrToDblChecked(text)
                                                               : StringOp::LeadingNumber(text);
    if (!value) RefuseTooLarge(box);
    return value;
}

std::optional<float> TypedSingle(const QLineEdit* box, Reading reading) {
    return TypedAs(box, reading, NumberText::ToSingle);
}

std::optional<std::int16_t> TypedInt16(const QLineEdit* box, Reading reading) {
    return TypedAs(box, reading, NumberText::ToInt16);
}

void StoreTyped(QLineEdit* box, double& setting) {
    QObject::connect(box, &QLineEdit::textChanged, box, [box, &setting] {
        if (const auto v = TypedNumber(box)) setting = *v;
    });
}

void StoreTyped(QLineEdit* box, float& setting) {
    QObject::connect(box, &QLineEdit::textChanged, box, [box, &setting] {
        if (const auto v = TypedSingle(box)) setting = *v;
    });
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
