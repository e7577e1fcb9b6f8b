#include "CrossMix.h"
#include "Current.h"
#include "General.h"
#include "WindowServices.h"

#include <QLabel>
#include <QListWidget>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

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
    EXPECT_EQ(w.StatList->currentRow(), 1);
    EXPECT_TRUE(w.StatList->item(1)->isSelected());
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
    EXPECT_TRUE(w.FlashTime->isActive());
    EXPECT_EQ(w.FlashTime->interval(), 500);
}

TEST_F(ProgressWindow, StepColoursAndOnlyTheCurrentStepBlinks) {
    Current& w = Current::Instance();
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
