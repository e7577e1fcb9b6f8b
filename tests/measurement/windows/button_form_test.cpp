// The action window driven headless: settings mirrored into the controls,
// the start checks and a refused start, a start while a run is busy, the
// finished and aborted endings of a run on the simulated bench, and the setup
// button's discovery deciding whether Start is enabled.

#include "../run_support.h"
#include "ButtonForm.h"
#include "RunProgress.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <gtest/gtest.h>
#include <optional>

namespace {

struct ActionWindow : RunFixture {
    using Lines = std::vector<std::string>;
    std::unique_ptr<ButtonForm> form;
    Lines steps;
    int points = 0;
    std::function<void()> duringPoint;

    void SetUp() override {
        RunFixture::SetUp();
        form = std::make_unique<ButtonForm>();
        EXPECT_FALSE(form->StartB->isEnabled()) << "nothing to start before the discovery";
        form->StartB->setEnabled(true); // as a discovery that found every role leaves it
        RunProgress::SetShowStateHook([this](int s) { steps.push_back(std::to_string(s)); });
        ACP::SetMeasureOverride([this] {
            ++points;
            if (duringPoint) duringPoint();
        });
    }
    void TearDown() override {
        form.reset();
        RunProgress::SetShowStateHook(nullptr);
        RunFixture::TearDown();
    }
    std::array<bool, 3> Ticked() const {
        return {form->Dist[0]->isChecked(), form->Dist[1]->isChecked(), form->Dist[2]->isChecked()};
    }
};

} // namespace

TEST_F(ActionWindow, UpdateMirrorsTheSettingsAndModeAndDistFollowClicks) {
    struct Case {
        std::array<bool, 3> verify;
        bool predistore;
    };
    const Case cases[] = {
        {{false, false, true}, false}, {{true, false, true}, true}, {{true, true, false}, true}};
    for (const Case& c : cases) {
        General::VerifyAM = c.verify[0], General::VerifyPM = c.verify[1];
        General::VerifyAMPM = c.verify[2], General::Predistore = c.predistore;
        form->Update();
        EXPECT_EQ(Ticked(), c.verify);
        EXPECT_EQ(form->Mode[1]->isChecked(), c.predistore);
        EXPECT_EQ(form->Mode[0]->isChecked(), !c.predistore);
        for (QCheckBox* d : form->Dist)
            EXPECT_EQ(d->isEnabled(), c.predistore);
    }
    form->Mode[0]->click();
    EXPECT_FALSE(General::Predistore);
    EXPECT_FALSE(form->Dist[0]->isEnabled());
    form->Mode[1]->click();
    EXPECT_TRUE(General::Predistore);
    EXPECT_TRUE(form->Dist[2]->isEnabled());
    form->Dist[2]->click();
    EXPECT_TRUE(General::VerifyAMPM);
    form->Dist[0]->click();
    EXPECT_FALSE(General::VerifyAM);
    form->Dist[0]->setCheckState(Qt::PartiallyChecked); // grey is not ticked
    EXPECT_FALSE(General::VerifyAM);
}

TEST_F(ActionWindow, ARefusedStartShowsEveryMessageAndChangesNothing) {
    lists.rateMHz = 0;
    General::NoiseClock = 0;
    General::SamplingDepth = General::NoiseLength + 1;
    General::DataPresent = true;
    General::RunErrorText = "earlier";
    General::SweepPoints.assign(3, SweepPoint{});
    // Start is greyed while the messages wait; a remote START meanwhile is
    // refused, and no run is the cause.
    std::vector<bool> enabled;
    big.onShow = [&] {
        enabled.push_back(form->StartB->isEnabled());
        if (big.shown.size() == 1) form->StartB_Click();
    };

    form->StartB->click();

    EXPECT_EQ(status.lines,
              Lines{"start refused: a message of the last start still waits for its OK"});
    EXPECT_EQ(big.shownWith, (Lines{"1|0|Sampling rate is zero! Please select correct value",
                                    "1|0|Baseband clock rate is zero! Please select correct value",
                                    "1|0|Clock for signal generation and analysis must be equal!",
                                    "1|0|Capture length must be less than test signal length!"}));
    EXPECT_EQ(enabled, std::vector<bool>(4, false));
    EXPECT_TRUE(form->StartB->isEnabled());
    EXPECT_FALSE(form->StopB->isEnabled());
    EXPECT_FALSE(General::MeasureBusy);
    EXPECT_TRUE(General::DataPresent);
    EXPECT_EQ(General::RunErrorText, "earlier");
    EXPECT_EQ(General::SweepPoints.size(), 3u);
    EXPECT_EQ(status.clears, 0);
    EXPECT_TRUE(steps.empty());
    EXPECT_EQ(points, 0);
}

TEST_F(ActionWindow, AFinishedRunEndsReadyWithTheStoresMarkedPresent) {
    SimBench bench(Args("--modsource BOXW --rf EXTERNAL --analyzer HOB"));
    ASSERT_TRUE(bench.ready);
    SelectBench(bench);
    General::RFConverterType = 0;
    bool busyDuringRun = false;
    duringPoint = [&] {
        busyDuringRun = General::MeasureBusy && !form->StartB->isEnabled() &&
                        form->StopB->isEnabled() && !General::DataPresent &&
                        QApplication::overrideCursor() != nullptr;
    };
    // Nor ready at the run's first event pump, where a remote "FINISHED?"
    // that came with the START is answered from this button.
    std::optional<bool> readyAtFirstPump;
    QTimer::singleShot(0, form.get(), [&] { readyAtFirstPump = form->StartB->isEnabled(); });

    form->StartB->click();

    EXPECT_EQ(points, 1);
    EXPECT_TRUE(busyDuringRun);
    EXPECT_EQ(readyAtFirstPump, false);
    EXPECT_EQ(big.shownWith, Lines{"3|1|Measurement finished."});
    EXPECT_TRUE(General::DataPresent);
    EXPECT_FALSE(General::MeasureBusy);
    EXPECT_TRUE(form->StartB->isEnabled());
    EXPECT_FALSE(form->StopB->isEnabled());
    EXPECT_EQ(steps, (Lines{"0", "-1"}));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(ActionWindow, StopAbortsTheRunAndNoSecondRunStartsWhileItUnwinds) {
    SimBench bench(Args("--modsource BOXW --rf VRTA --analyzer HOB"));
    ASSERT_TRUE(bench.ready);
    SelectBench(bench);
    General::FrequencySweep = true;
    General::DataPresent = true;
    bool startEnabledAtStop = false;
    duringPoint = [&] {
        form->StopB->click();
        startEnabledAtStop = form->StartB->isEnabled();
        form->StartB->click(); // enabled again by Stop, but the run still unwinds
        form->StartB_Click();  // as the remote START would
    };

    form->StartB->click();

    EXPECT_EQ(points, 1);
    EXPECT_TRUE(startEnabledAtStop);
    EXPECT_EQ(big.shownWith, Lines{"1|3|Measurement aborted.\r\n()"});
    EXPECT_EQ(CountOf(status.lines, "start refused"), 2);
    EXPECT_FALSE(General::DataPresent);
    EXPECT_FALSE(General::MeasureBusy);
    EXPECT_FALSE(General::MeasureRunAbort);
    EXPECT_TRUE(form->StartB->isEnabled());
    EXPECT_FALSE(form->StopB->isEnabled());
    EXPECT_EQ(Commands(bench.Log("rf")).back(), "OUTP:STAT OFF");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// The end message pumps events: a START arriving then must not run inside
// this handler, and the system reads ready only once the handler is done; a
// Stop pressed then must not end the next run before it starts.
TEST_F(ActionWindow, StartOrStopDuringTheEndMessageLeaveTheNextRunWhole) {
    SimBench bench(Args("--modsource BOXW --rf EXTERNAL --analyzer HOB"));
    ASSERT_TRUE(bench.ready);
    SelectBench(bench);
    General::RFConverterType = 0;
    std::vector<bool> ready; // at each "Measurement finished." and as the progress resets
    big.onShow = [&] {
        ready.push_back(form->StartB->isEnabled());
        if (ready.size() == 1) form->StartB_Click(); // as the remote START
        if (ready.size() == 3) {
            form->StopB->click();
            form->StartB->click(); // enabled again by Stop
        }
    };
    RunProgress::SetShowStateHook([&](int s) {
        if (s == StepNone) ready.push_back(form->StartB->isEnabled());
    });

    form->StartB->click();

    EXPECT_EQ(points, 1);
    EXPECT_EQ(CountOf(status.lines, "start refused"), 1);
    EXPECT_EQ(ready, (std::vector<bool>{false, false}));
    EXPECT_TRUE(form->StartB->isEnabled());

    form->StartB->click();
    EXPECT_EQ(CountOf(status.lines, "start refused"), 1);
    form->StartB->click();

    EXPECT_EQ(points, 3);
    EXPECT_EQ(General::RunErrorText, "");
    EXPECT_EQ(big.shownWith, Lines(3, "3|1|Measurement finished."));
}

TEST_F(ActionWindow, SetupEnablesStartOnlyWhenEveryRoleIsPresent) {
    {
        SimBench bench(Args("--modsource KLD --rf KLD --analyzer HOD"));
        ASSERT_TRUE(bench.ready);
        Cache(bench);
        form->StartB->setEnabled(false);
        // A remote START that arrives while the scan lets events run.
        QTimer::singleShot(0, [this] { form->StartB_Click(); });
        form->AutoSet->click();
        EXPECT_TRUE(form->StartB->isEnabled());
        EXPECT_EQ(points, 0) << "no run inside the discovery";
        EXPECT_EQ(std::count(status.lines.begin(), status.lines.end(),
                             "start refused: the instrument discovery is still running"),
                  1);
        EXPECT_EQ(lists.Selected(Role::ModSource), "KLD-R2M");
    }
    SimBench bench(Args("--modsource BOXW --rf VRTA --analyzer DANE --opt-analyzer 0"));
    ASSERT_TRUE(bench.ready);
    Cache(bench);
    // Start enabled by the last discovery looks disabled while the box that
    // names the missing instrument waits for its OK.
    struct StartWhileShown : Services::MessageBoxService {
        FakeMessageBox& boxes;
        QPushButton* start;
        std::vector<bool> enabled;
        StartWhileShown(FakeMessageBox& b, QPushButton* s) : boxes(b), start(s) {}
        Services::MsgAnswer Message(const std::string& title, const std::string& text,
                                    Services::MsgIcon icon, Services::MsgButtons b) override {
            enabled.push_back(start->isEnabled());
            return boxes.Message(title, text, icon, b);
        }
    } watch(boxes, form->StartB);
    Services::Scoped<Services::MessageBoxService> watched{watch};
    form->AutoSet->click();
    EXPECT_FALSE(form->StartB->isEnabled());
    EXPECT_EQ(boxes.shown, Lines{"MISSING INSTRUMENTS|ERROR:\r\nmissing IQ analyzer\r"});
    EXPECT_EQ(watch.enabled, std::vector<bool>{false});
}
