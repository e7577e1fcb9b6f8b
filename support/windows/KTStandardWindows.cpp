// Window measures that need the widget style or the screen: caption height, twips in pixels.

#include "KTStandardWindows.h"

#include "NumberText.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>

namespace KTStandard {

namespace {
double DotsPerInch() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    return dpi > 0 ? dpi : 96.0;
}
} // namespace

float GetCaptionHeightTwips() {
    const double twipsPerPixel = 1440.0 / DotsPerInch();
    const double caption = QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight);
    return static_cast<float>(twipsPerPixel * caption);
}

int TwipsToPixels(double twips) {
    return static_cast<int>(NumberText::RoundHalfEven(twips * DotsPerInch() / 1440.0));
}

} // namespace KTStandard
