// The progress window: its status lines, whole however long, the current
// point beside them, the colours and blink of the steps, and the cost of a
// long log.

#include "../event_pump.h"
#include "CrossMix.h"
#include "Current.h"
#include "General.h"
#include "WindowServices.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QListWidget>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// Counts the lines the list measures (a line whose size it does not know yet)
// and the paints of the list.
struct ListCounter : QStyledItemDelegate {
    mutable int measured = 0;
    int paints = 0;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        if (!index.data(Qt::SizeHintRole).isValid()) ++measured;
        return QStyledItemDelegate::sizeHint(option, index);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return QStyledItemDelegate::eventFilter(watched, event);
    }
};

class ProgressWindow : public ::testing::Test {
protected:
    void SetUp() override { WindowServices::Install(); }
    void TearDown() override {
        if (Current::Exists()) delete &Current::Instance();
    }
    static QRgb Text(int step) {
        return Current::Instance()
                   .State[static_cast<std::size_t>(step)]
                   ->palette()
                   .color(QPalette::WindowText)
                   .rgb() &
               0xFFFFFF;
    }
    static QRgb Back(int step) {
        return Current::Instance()
                   .State[static_cast<std::size_t>(step)]
                   ->palette()
                   .color(QPalette::Window)
                   .rgb() &
               0xFFFFFF;
    }
};

} // namespace

TEST_F(ProgressWindow, StatusLinesAndCurrentPointReachTheWindow) {
    EXPECT_FALSE(Current::Exists());
    CrossMix::AddStatus("  ready. ");
    ASSERT_TRUE(Current::Exists()); // created by its first line
    CrossMix::AddStatus("starting");
    Current& w = Current::Instance();
    EXPECT_EQ(w.windowTitle(), "Current Status");
    EXPECT_EQ(w.property("Tag").toString(), "KEEP");
    ASSERT_EQ(w.StatList->count(), 2);
    EXPECT_EQ(w.StatList->item(0)->text(), "ready.");
    QCoreApplication::processEvents(); // the newest line is selected once per turn
    EXPECT_EQ(w.StatList->currentRow(), 1);
    EXPECT_TRUE(w.StatList->item(1)->isSelected());
    // A line longer than the list is wide can be read whole: the list
    // scrolls across all of it.
    const QString longLine = "Leveling did not reach the target of -10.00 dBm within 10 steps: the "
                             "amplifier gave -12.31 dBm at a generator level of -40.00 dBm.";
    CrossMix::AddStatus(longLine.toStdString());
    QListWidget* list = w.StatList;
    QScrollBar* across = list->horizontalScrollBar();
    ASSERT_TRUE(PumpUntil([&] { return list->visualItemRect(list->item(2)).isValid(); }));
    const int text = list->fontMetrics().horizontalAdvance(longLine);
    ASSERT_GT(text, list->viewport()->width()) << "the line is longer than the list is wide";
    EXPECT_GE(list->visualItemRect(list->item(2)).width(), text) << "the line is cut";
    EXPECT_TRUE(PumpUntil([&] { return across->isVisibleTo(&w); })) << "no way to scroll across";
    across->setValue(across->maximum());
    EXPECT_LE(list->visualItemRect(list->item(2)).right(), list->viewport()->width())
        << "the end of the line cannot be scrolled into view";
    CrossMix::ClearStatus();
    EXPECT_EQ(w.StatList->count(), 0);

    General::CurGenFreq = 1000.5;
    General::CurAnaFreq = 98.765;
    General::TargetLevel = -10;
    CrossMix::ShowCurrentPoint();
    EXPECT_EQ(w.AkFreqGen->text(), "1000.50 MHz");
    EXPECT_EQ(w.AkFreqAna->text(), "098.77 MHz");
    EXPECT_EQ(w.AkLevelAna->text(), "-10.0 dBm");
    EXPECT_EQ(w.AkLevelGen->text(), "");
    // The values stand in the column of the steps, sharing their right edge.
    for (const QLabel* value : {w.AkFreqGen, w.AkFreqAna, w.AkLevelGen, w.AkLevelAna})
        for (const QLabel* step : w.State)
            EXPECT_EQ(value->geometry().right(), step->geometry().right())
                << step->text().toStdString();
    EXPECT_TRUE(w.FlashTime->isActive());
    EXPECT_EQ(w.FlashTime->interval(), 500);
}

TEST_F(ProgressWindow, StepColoursAndOnlyTheCurrentStepBlinks) {
    Current& w = Current::Instance();
    // The test flashes by calling the handler; the window's own timer would
    // flash as well whenever a slow machine lets 500 ms pass meanwhile.
    w.FlashTime->stop();
    EXPECT_EQ(w.State[2]->text(), "making measurement");
    w.ShowState(-1);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Text(i), Current::kPendingText);
        EXPECT_EQ(Back(i), Current::kPendingBack);
    }
    w.ShowState(4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Text(i), Current::kDoneText);
        EXPECT_EQ(Back(i), Current::kDoneBack);
    }
    EXPECT_EQ(Text(4), Current::kCurrentText);
    EXPECT_EQ(Back(4), Current::kCurrentBack);

    w.FlashTime_Timer();
    EXPECT_EQ(Back(4), Current::kBlinkBack);
    EXPECT_EQ(Back(3), Current::kDoneBack);
    w.FlashTime_Timer();
    EXPECT_EQ(Back(4), Current::kCurrentBack);

    w.ShowState(7); // past the last step: everything done
    w.FlashTime_Timer();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Back(i), Current::kDoneBack);
    w.ShowState(-1);
    w.FlashTime_Timer();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Back(i), Current::kPendingBack);
}

TEST_F(ProgressWindow, ALineCostsTheSameHoweverLongTheLogIs) {
    Current& w = Current::Instance();
    auto& counter = *new ListCounter;
    counter.setParent(w.StatList);
    w.StatList->setItemDelegate(&counter);
    w.StatList->viewport()->installEventFilter(&counter);
    QCoreApplication::processEvents();
    counter.paints = 0;

    // A flood in one turn of the event loop: nothing is painted meanwhile.
    for (int k = 0; k < 1000; ++k)
        CrossMix::AddStatus("Remote AMAMORDER: value \"abc\" refused.");
    EXPECT_EQ(counter.paints, 0);
    // A long run: many turns of a few lines each.
    const int turns = 100;
    for (int turn = 0; turn < turns; ++turn) {
        for (int k = 0; k < 20; ++k)
            CrossMix::AddStatus("point " + std::to_string(turn) + " line " + std::to_string(k));
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(counter.measured, 1000 + 20 * turns) << "each line is measured once, when it comes";
    EXPECT_GE(counter.paints, 1);
    EXPECT_LE(counter.paints, 2 * turns) << "painted once per turn, not once per line";

    // Only the newest 1,000 lines are kept; the newest is selected.
    for (int k = 0; k < 1001; ++k)
        CrossMix::AddStatus("line " + std::to_string(k));
    QCoreApplication::processEvents();
    ASSERT_EQ(w.StatList->count(), 1000);
    EXPECT_EQ(w.StatList->item(0)->text(), "line 1");
    EXPECT_EQ(w.StatList->item(999)->text(), "line 1000");
    EXPECT_EQ(w.StatList->currentRow(), 999);
    EXPECT_TRUE(w.StatList->item(999)->isSelected());
}
