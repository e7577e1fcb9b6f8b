#pragma once
// A dial meter: a scale over an arc with ticks and labels, a value pointer
// and two mark pointers. The value only shows a level; the operator does not
// turn it. Values beyond the scale pin the pointer to its end.

#include <QWidget>
#include <array>

class MeterKnob : public QWidget {
    Q_OBJECT

public:
    explicit MeterKnob(QWidget* parent = nullptr);

    // The scale runs from `minimum` to `maximum` (minimum < maximum).
    void SetRange(double minimum, double maximum);
    double Minimum() const { return minimum_; }
    double Maximum() const { return maximum_; }

    // Pointer 1, the value shown.
    void SetValue(double value);
    double Value() const { return value_; }
    // Mark pointers 0 and 1 (pointers 2 and 3 of the meter).
    void SetMark(int index, double value);
    double Mark(int index) const { return marks_.at(std::size_t(index)); }

    // Where a value's pointer stands: 0 at the scale's start, 1 at its end,
    // clamped; a value that is not a number stands at the start.
    double Fraction(double value) const;

    QSize sizeHint() const override { return {220, 160}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double minimum_ = 0, maximum_ = 1, value_ = 0;
    std::array<double, 2> marks_{};
};
