#include "KTStandardWindows.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>

namespace KTStandard {

float GetCaptionHeightTwips() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    const double twipsPerPixel = 1440.0 / (dpi > 0 ? dpi : 96.0);
    const double caption = QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight);
    return static_cast<float>(twipsPerPixel * caption);
}

} // namespace KTStandard
