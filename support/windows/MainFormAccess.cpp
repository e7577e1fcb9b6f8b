// The registered main window and the frames of the child windows in its
// client area.

#include "MainFormAccess.h"

#include <QEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>

namespace {

MainFormAccess* g_mainForm = nullptr;

constexpr Qt::WindowStates kNotNormal = Qt::WindowMaximized | Qt::WindowMinimized;

// Keeps a sub-window in step with the window it frames, so that no empty
// frame is ever left standing in the client area.
class FrameFollower final : public QObject {
public:
    FrameFollower(QMdiSubWindow* frame, QWidget* child) : QObject(frame), frame_(frame) {
        child->installEventFilter(this);
        // A window deleted by itself (closed with WA_DeleteOnClose) takes
        // its frame along.
        connect(child, &QObject::destroyed, frame, [frame] {
            frame->hide();
            frame->deleteLater();
        });
        connect(frame, &QMdiSubWindow::windowStateChanged, this,
                [this](Qt::WindowStates before, Qt::WindowStates now) {
                    if ((before & kNotNormal) && !(now & kNotNormal))
                        frame_->resize(frame_->sizeHint());
                });
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        // The sub-window hides its window itself while minimised; only a
        // window that hides itself hides its frame.
        if (event->type() == QEvent::HideToParent && !frame_->isMinimized() && !frame_->isShaded())
            frame_->hide();
        return QObject::eventFilter(watched, event);
    }

private:
    QMdiSubWindow* frame_;
};

QMdiSubWindow* SubWindowOf(QWidget* child) {
    return qobject_cast<QMdiSubWindow*>(child->parentWidget());
}

} // namespace

MainFormAccess* MainFormAccess::Get() {
    return g_mainForm;
}

QWidget* MainFormAccess::Window() {
    QMdiArea* area = g_mainForm ? g_mainForm->ClientArea() : nullptr;
    return area ? area->window() : nullptr;
}

void MainFormAccess::Register(MainFormAccess* form) {
    g_mainForm = form;
}

void MainFormAccess::Unregister(MainFormAccess* form) {
    if (g_mainForm == form) g_mainForm = nullptr;
}

QWidget* MainFormAccess::FrameOf(QWidget* child) {
    if (QMdiSubWindow* frame = SubWindowOf(child)) return frame;
    return child;
}

QWidget* MainFormAccess::ShowChild(QWidget* child) {
    QMdiArea* area = g_mainForm ? g_mainForm->ClientArea() : nullptr;
    QMdiSubWindow* old = SubWindowOf(child);
    if (old && (!area || old->mdiArea() == area)) {
        // A window that hid itself shows again with its frame.
        if (child->isHidden() && !old->isMinimized()) child->show();
        old->show();
        return old;
    }
    if (!area) {
        child->show();
        return child;
    }
    QMdiSubWindow* frame = area->addSubWindow(child);
    // A frame of another client area is left empty by the move.
    if (old) old->deleteLater();
    new FrameFollower(frame, child);
    frame->resize(frame->sizeHint());
    child->show();
    frame->show();
    return frame;
}
