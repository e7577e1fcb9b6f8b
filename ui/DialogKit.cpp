// Helpers shared by the settings windows.

#include "DialogKit.h"

#include "CrossMix.h"
#include "GUIService.h"
#include "MainFormAccess.h"
#include "TypedEntries.h"

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

template <typename T> SettingNumber::Read<T> ReadAs(const QLineEdit* box, Reading reading) {
    return SettingNumber::ReadAs<T>(TextOf(box), reading);
}

template <typename T> std::optional<T> Typed(const QLineEdit* box, Reading reading) {
    const SettingNumber::Read<T> read = ReadAs<T>(box, reading);
    if (read.tooLarge) RefuseTooLarge(box);
    return read.value;
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
    return Typed<double>(box, reading);
}

std::optional<float> TypedSingle(const QLineEdit* box, Reading reading) {
    return Typed<float>(box, reading);
}

std::optional<std::int16_t> TypedInt16(const QLineEdit* box, Reading reading) {
    return Typed<std::int16_t>(box, reading);
}

// A disabled box's setting is not in use (a channel pair beyond the count, the
// rate field of an analyzer with a rate list); one disabled only because its
// whole window is still counts.
void CheckTyped(QLineEdit* box, const std::string& caption,
                std::function<bool(const QLineEdit*)> holdsValue, std::function<bool()> inUse) {
    const int key = TypedEntries::Enter(
        [box, caption, holdsValue, inUse]() -> std::optional<TypedEntries::Fault> {
            if (!box->isEnabledTo(box->window()) || (inUse && !inUse()) || holdsValue(box))
                return std::nullopt;
            return TypedEntries::Fault{caption, TextOf(box)};
        });
    QObject::connect(box, &QObject::destroyed, [key] { TypedEntries::Remove(key); });
}

template <typename T>
void CheckTypedAs(QLineEdit* box, const std::string& caption, Reading reading,
                  std::function<bool()> inUse) {
    CheckTyped(
        box, caption,
        [reading](const QLineEdit* b) { return ReadAs<T>(b, reading).value.has_value(); },
        std::move(inUse));
}

template <typename T>
void StoreTypedWith(QLineEdit* box, const std::string& caption, std::function<void(T)> store,
                    Reading reading, std::function<bool()> inUse) {
    QObject::connect(box, &QLineEdit::textChanged, box, [box, store, reading] {
        if (const std::optional<T> v = Typed<T>(box, reading)) store(*v);
    });
    CheckTypedAs<T>(box, caption, reading, std::move(inUse));
}

template void CheckTypedAs<double>(QLineEdit*, const std::string&, Reading, std::function<bool()>);
template void CheckTypedAs<float>(QLineEdit*, const std::string&, Reading, std::function<bool()>);
template void CheckTypedAs<std::int16_t>(QLineEdit*, const std::string&, Reading,
                                         std::function<bool()>);
template void StoreTypedWith<double>(QLineEdit*, const std::string&, std::function<void(double)>,
                                     Reading, std::function<bool()>);
template void StoreTypedWith<float>(QLineEdit*, const std::string&, std::function<void(float)>,
                                    Reading, std::function<bool()>);
template void StoreTypedWith<std::int16_t>(QLineEdit*, const std::string&,
                                           std::function<void(std::int16_t)>, Reading,
                                           std::function<bool()>);

void StoreTyped(QLineEdit* box, const std::string& caption, double& setting, Reading reading) {
    StoreTypedWith<double>(
        box, caption, [&setting](double v) { setting = v; }, reading);
}

void StoreTyped(QLineEdit* box, const std::string& caption, float& setting, Reading reading) {
    StoreTypedWith<float>(
        box, caption, [&setting](float v) { setting = v; }, reading);
}

void StoreTyped(QLineEdit* box, const std::string& caption, std::int16_t& setting,
                Reading reading) {
    StoreTypedWith<std::int16_t>(
        box, caption, [&setting](std::int16_t v) { setting = v; }, reading);
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
