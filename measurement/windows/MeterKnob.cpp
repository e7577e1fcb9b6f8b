// Painting of the dial meter.

#include "MeterKnob.h"

#include "NumberText.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace {
// The scale spans 240 degrees, from lower left (210°) clockwise to lower
// right (-30°).
constexpr double kStartDeg = 210, kSpanDeg = 240;
constexpr int kTicks = 10;

QPointF OnCircle(QPointF centre, double radius, double deg) {
    const double rad = deg * std::numbers::pi / 180;
    return {centre.x() + radius * std::cos(rad), centre.y() - radius * std::sin(rad)};
}
} // namespace

MeterKnob::MeterKnob(QWidget* parent) : QWidget(parent) {
    setMinimumSize(160, 120);
}

void MeterKnob::SetRange(double minimum, double maximum) {
    if (!(minimum < maximum)) return;
    minimum_ = minimum;
    maximum_ = maximum;
    update();
}

void MeterKnob::SetValue(double value) {
    value_ = value;
    update();
}

void MeterKnob::SetMark(int index, double value) {
    marks_.at(std::size_t(index)) = value;
    update();
}

double MeterKnob::Fraction(double value) const {
    if (std::isnan(value)) return 0;
    return std::clamp((value - minimum_) / (maximum_ - minimum_), 0.0, 1.0);
}

void MeterKnob::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), palette().window());
    const double radius = std::min(width() / 2.0, height() / 1.6) - 14;
    const QPointF centre(width() / 2.0, height() / 2.0 + radius * 0.15);
    const auto angle = [&](double v) { return kStartDeg - kSpanDeg * Fraction(v); };

    // The band between the marks, where the level is good enough.
    const double a0 = angle(std::min(marks_[0], marks_[1]));
    const double a1 = angle(std::max(marks_[0], marks_[1]));
    const QRectF arc(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    p.setPen(QPen(QColor(0, 170, 0), 6, Qt::SolidLine, Qt::FlatCap));
    p.drawArc(arc, int(a1 * 16), int((a0 - a1) * 16));
    p.setPen(QPen(Qt::black, 2));
    p.drawArc(arc, int((kStartDeg - kSpanDeg) * 16), int(kSpanDeg * 16));

    p.setFont(QFont(font().family(), 7));
    for (int t = 0; t <= kTicks; ++t) {
        const double v = minimum_ + (maximum_ - minimum_) * t / kTicks;
        const double a = angle(v);
        const bool major = t % 5 == 0;
        p.drawLine(OnCircle(centre, radius, a), OnCircle(centre, radius - (major ? 10 : 5), a));
        if (!major) continue;
        const QPointF at = OnCircle(centre, radius - 22, a);
        const QString text = QString::fromStdString(NumberText::FormatNumber(v, "0.0"));
        p.drawText(QRectF(at.x() - 20, at.y() - 7, 40, 14), Qt::AlignCenter, text);
    }
    for (double mark : marks_) {
        p.setPen(QPen(QColor(255, 128, 0), 2));
        p.drawLine(OnCircle(centre, radius + 2, angle(mark)),
                   OnCircle(centre, radius + 12, angle(mark)));
    }
    p.setPen(QPen(Qt::red, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre, OnCircle(centre, radius - 6, angle(value_)));
    p.setBrush(Qt::black);
    p.drawEllipse(centre, 4, 4);
}
