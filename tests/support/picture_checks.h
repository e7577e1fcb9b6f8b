#pragma once
// What a window's picture must show, checked on the picture itself: every
// control drawn wholly inside the window, and colours found where they
// belong. The pictures are kept in the build tree for a reviewer.

#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QWidget>
#include <cstdlib>
#include <gtest/gtest.h>

// The window as drawn, saved as screenshots/<name>.png beside the test
// program.
inline QImage Picture(QWidget* window, const char* name) {
    const QImage picture = window->grab().toImage();
    const QString folder = QCoreApplication::applicationDirPath() + "/screenshots";
    QDir().mkpath(folder);
    picture.save(folder + "/" + name + ".png");
    return picture;
}

// Where a control lies in its window's picture.
inline QRect PlaceIn(const QWidget* window, const QWidget* control) {
    return {control->mapTo(window, QPoint(0, 0)), control->size()};
}

// Whether the picture has ink inside the control's place: a pixel that is not
// the window's background. A label without text or picture and a bare
// container draw nothing of their own and pass.
inline bool HasInk(const QWidget* window, const QWidget* control, const QImage& picture) {
    const auto* label = qobject_cast<const QLabel*>(control);
    if (label && label->text().isEmpty() && label->pixmap().isNull() &&
        label->frameShape() == QFrame::NoFrame)
        return true;
    if (QString(control->metaObject()->className()) == "QWidget" &&
        control->findChildren<QWidget*>().isEmpty())
        return true;
    const QColor background = window->palette().color(QPalette::Window);
    const QRect place = PlaceIn(window, control);
    const double ratio = picture.devicePixelRatio();
    const QRect pixels(QPoint(int(place.left() * ratio), int(place.top() * ratio)),
                       QSize(int(place.width() * ratio), int(place.height() * ratio)));
    const QRect inside = pixels & picture.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const QColor c = picture.pixelColor(x, y);
            if (std::abs(c.red() - background.red()) > 24 ||
                std::abs(c.green() - background.green()) > 24 ||
                std::abs(c.blue() - background.blue()) > 24)
                return true;
        }
    return false;
}

// Every control the window shows has room (is not squeezed to nothing), lies
// wholly inside the picture, so none is cut off or drawn over the edge, and is
// drawn: a blank picture of the right size shows none of them.
inline ::testing::AssertionResult ShowsEveryControl(const QWidget* window, const QImage& picture) {
    const QRect frame(QPoint(0, 0), picture.deviceIndependentSize().toSize());
    if (frame.size() != window->size())
        return ::testing::AssertionFailure()
               << "the picture is " << frame.width() << " x " << frame.height() << ", the window "
               << window->width() << " x " << window->height();
    int controls = 0;
    for (const QWidget* control : window->findChildren<QWidget*>()) {
        if (control->isWindow() || !control->isVisibleTo(window)) continue;
        const QRect place = PlaceIn(window, control);
        if (place.isEmpty() || !frame.contains(place))
            return ::testing::AssertionFailure()
                   << control->metaObject()->className() << " \""
                   << control->objectName().toStdString() << "\" at (" << place.x() << ", "
                   << place.y() << ") " << place.width() << " x " << place.height()
                   << " is not wholly inside the " << frame.width() << " x " << frame.height()
                   << " picture";
        if (!HasInk(window, control, picture))
            return ::testing::AssertionFailure()
                   << control->metaObject()->className() << " \""
                   << control->objectName().toStdString() << "\" at (" << place.x() << ", "
                   << place.y() << ") " << place.width() << " x " << place.height()
                   << " is not drawn: its place in the picture is blank";
        ++controls;
    }
    if (controls == 0) return ::testing::AssertionFailure() << "the picture shows no control";
    return ::testing::AssertionSuccess();
}

// How many pixels of `area` have a colour within `tolerance` (per channel)
// of `colour`.
inline int PixelsNear(const QImage& picture, const QRect& area, QColor colour, int tolerance = 40) {
    const double ratio = picture.devicePixelRatio();
    const QRect pixels(
        QPoint(int(area.left() * ratio), int(area.top() * ratio)),
        QPoint(int((area.right() + 1) * ratio) - 1, int((area.bottom() + 1) * ratio) - 1));
    const QRect inside = pixels & picture.rect();
    int count = 0;
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const QColor c = picture.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) <= tolerance &&
                std::abs(c.green() - colour.green()) <= tolerance &&
                std::abs(c.blue() - colour.blue()) <= tolerance)
                ++count;
        }
    return count;
}
