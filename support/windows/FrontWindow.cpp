// Keeps boxes and dialogs in front of the window they belong to.

#include "FrontWindow.h"

#include "MainFormAccess.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace FrontWindow {

namespace {

// Acts before the window is mapped: a window manager reads the owner of a
// window when it maps it, and may map a window without one under the window
// that has the focus.
class ShowFilter final : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* window = qobject_cast<QWidget*>(watched);
        if (event->type() == QEvent::Show && window && window->isWindow()) {
            if (!window->parentWidget()) SetOwner(window);
            Front(window);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    static void SetOwner(QWidget* window) {
        QWidget* owner = Owner(window);
        QWindow* handle = window->windowHandle();
        if (!handle) return;
        // Before the main window stands, a box belongs to no window.
        handle->setTransientParent(owner ? owner->windowHandle() : nullptr);
    }
};

bool Usable(const QWidget* w, const QWidget* asking) {
    return w && w != asking && w->isVisible();
}

} // namespace

QWidget* Owner(const QWidget* asking) {
    if (QWidget* modal = QApplication::activeModalWidget(); Usable(modal, asking)) return modal;
    if (QWidget* main = MainFormAccess::Window(); Usable(main, asking)) return main;
    if (QWidget* active = QApplication::activeWindow(); Usable(active, asking)) return active;
    return nullptr;
}

void Keep(QWidget* window) {
    window->installEventFilter(new ShowFilter(window));
}

void Front(QWidget* window) {
    window->raise();
    window->activateWindow();
}

} // namespace FrontWindow
