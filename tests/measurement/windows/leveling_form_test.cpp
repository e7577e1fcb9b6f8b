// The manual leveling dialog driven headless: the meter follows the level
// while the operator turns the converter, OK ends the leveling (even when the
// dialog is closed right after it), closing the dialog or Stop abort it, each
// leveling waits for its own OK, and the target marks stand outside the dial.

#include "../../support/picture_checks.h"
#include "../measurement_fakes.h"
#include "EngineWindows.h"
#include "General.h"
#include "Leveling.h"
#include "LevelingForm.h"
#include "MeterKnob.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <cmath>
#include <gtest/gtest.h>

namespace {

struct LevelingFormTest : ::testing::Test {
    FakeBigMessage big;
    RecordingSink sink;
    Services::Scoped<Services::BigMessageService> useBig{big};
    ScopedSink useSink{sink};
    LevelingForm& form = LevelingForm::Instance();
    std::vector<double> turned = {-11.5, -10.6, -10.3, -10.1, -10.02};
    std::size_t next = 0;
    std::function<void(std::size_t)> onMeasure = [](std::size_t) {};

    void SetUp() override {
        General::TargetLevel = -10;
        General::MeasureRunAbort = false;
        EngineWindows::Install();
        ResultSink::Install(&sink); // the window's own sink is tested apart
    }
    void TearDown() override {
        EngineWindows::Uninstall();
        General::MeasureRunAbort = false;
    }
    Leveling::Outcome Run() {
        next = 0;
        return Leveling::Manual([this](std::string&) -> std::optional<double> {
            const std::size_t k = next++;
            onMeasure(k);
            return turned[std::min(k, turned.size() - 1)];
        });
    }
    // Runs `action` in the events the dialog lets run after showing value k.
    void At(std::size_t k, std::function<void()> action) {
        onMeasure = [k, action](std::size_t now) {
            if (now == k) QTimer::singleShot(0, action);
        };
    }
};

// Visits every pixel of a control's place in its window's picture.
template <typename Visit> void EachPixel(const QImage& picture, const QRect& area, Visit visit) {
    const double ratio = picture.devicePixelRatio();
    const QRect pixels = QRect(QPoint(int(area.left() * ratio), int(area.top() * ratio)),
                               QSize(int(area.width() * ratio), int(area.height() * ratio))) &
                         picture.rect();
    for (int y = pixels.top(); y <= pixels.bottom(); ++y)
        for (int x = pixels.left(); x <= pixels.right(); ++x)
            visit(x, y, picture.pixelColor(x, y));
}

// The dial's rim as drawn, in the picture's pixels: the scale spans the
// left, the top and the right, so its leftmost, rightmost and topmost black
// lie on the rim.
struct Dial {
    double x = 0, y = 0, radius = 0;
};

Dial DialIn(const QImage& picture, const QRect& area) {
    int left = INT_MAX, right = INT_MIN, top = INT_MAX;
    EachPixel(picture, area, [&](int x, int y, QColor c) {
        if (std::max({c.red(), c.green(), c.blue()}) >= 90) return;
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
    });
    if (left > right) return {};
    const double radius = (right - left) / 2.0;
    return {(left + right) / 2.0, top + radius, radius};
}

// How far from the dial's centre the nearest and the farthest pixel of the
// orange marks lie.
std::pair<double, double> MarkDistances(const QImage& picture, const QRect& area, const Dial& d) {
    double nearest = INFINITY, farthest = 0;
    EachPixel(picture, area, [&](int x, int y, QColor c) {
        if (std::abs(c.red() - 255) > 40 || std::abs(c.green() - 128) > 40 || c.blue() > 40) return;
        const double r = std::hypot(x - d.x, y - d.y);
        nearest = std::min(nearest, r);
        farthest = std::max(farthest, r);
    });
    return {nearest, farthest};
}

} // namespace

TEST_F(LevelingFormTest, ScaleMarksAndTheLevelShown) {
    form.Begin(-10);
    EXPECT_TRUE(form.isVisible());
    EXPECT_DOUBLE_EQ(form.Meter->Minimum(), -11);
    EXPECT_DOUBLE_EQ(form.Meter->Maximum(), -9);
    EXPECT_DOUBLE_EQ(form.Meter->Mark(0), -9.8);
    EXPECT_DOUBLE_EQ(form.Meter->Mark(1), -10.2);
    const struct {
        double level, fraction;
        const char* text;
    } cases[] = {{-10, 0.5, "-10.00 dBm"},
                 {-9.5, 0.75, "-9.50 dBm"},
                 {-14, 0, "-14.00 dBm"},
                 {-8.123, 1, "-8.12 dBm"}};
    for (const auto& c : cases) {
        form.ShowValue(c.level);
        EXPECT_DOUBLE_EQ(form.Meter->Value(), c.level);
        EXPECT_DOUBLE_EQ(form.Meter->Fraction(c.level), c.fraction);
        EXPECT_EQ(form.Display->text().toStdString(), c.text);
    }
    EXPECT_DOUBLE_EQ(form.Meter->Fraction(std::nan("")), 0);
    EXPECT_EQ(form.LevelOK->text(), "OK");
    form.End();
    EXPECT_FALSE(form.isVisible());
}

TEST_F(LevelingFormTest, OKEndsTheLevelingAndEveryLevelingWaitsForItsOwn) {
    At(2, [this] { form.LevelOK->click(); });
    auto outcome = Run();
    EXPECT_TRUE(outcome.completed);
    EXPECT_EQ(next, 3u); // the level at OK is the one kept
    EXPECT_DOUBLE_EQ(General::LevelOutput[0], -10.3);
    EXPECT_EQ(form.Display->text().toStdString(), "-10.30 dBm");
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(sink.rows, (std::vector<int>{8, 9}));

    // The flag of the last OK does not carry over.
    At(4, [this] { form.LevelOK->click(); });
    outcome = Run();
    EXPECT_TRUE(outcome.completed);
    EXPECT_EQ(next, 5u);

    // Closed after OK, before the next reading: the OK stands.
    At(1, [this] {
        form.LevelOK->click();
        form.close();
    });
    outcome = Run();
    EXPECT_TRUE(outcome.completed) << outcome.error;
    EXPECT_EQ(next, 2u);
    EXPECT_DOUBLE_EQ(General::LevelOutput[0], -10.6);
}

TEST_F(LevelingFormTest, ClosingTheDialogOrStopEndsTheLeveling) {
    At(1, [this] { form.close(); });
    auto outcome = Run();
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(outcome.error, "Manual leveling was closed before OK.");
    EXPECT_EQ(next, 2u);

    At(3, [] { General::MeasureRunAbort = true; }); // the Stop button
    outcome = Run();
    EXPECT_FALSE(outcome.completed);
    EXPECT_TRUE(outcome.error.empty());
    EXPECT_EQ(next, 4u);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(sink.rows.empty());
}

TEST_F(LevelingFormTest, Screenshot) {
    form.Begin(-10);
    form.ShowValue(-10.37);
    form.resize(260, 240);
    const QImage picture = Picture(&form, "leveling_form");
    EXPECT_TRUE(ShowsEveryControl(&form, picture));
    // The good band (target ± 0.2 dB) is green, and only at the top of the
    // dial, around the target.
    const QRect meter = PlaceIn(&form, form.Meter);
    const QRect top(meter.x() + meter.width() / 4, meter.y(), meter.width() / 2,
                    meter.height() / 2);
    const QColor green(0, 170, 0);
    EXPECT_GT(PixelsNear(picture, top, green), 20);
    EXPECT_EQ(PixelsNear(picture, meter, green), PixelsNear(picture, top, green));
    // The target marks stand outside the dial, from its rim outward.
    const Dial dial = DialIn(picture, meter);
    ASSERT_GT(dial.radius, 20) << "no dial drawn";
    const auto [nearest, farthest] = MarkDistances(picture, meter, dial);
    EXPECT_GE(nearest, dial.radius - 1) << "a mark reaches into the dial";
    EXPECT_GE(farthest, dial.radius + 8) << "the marks do not run outward";
    form.End();
}
