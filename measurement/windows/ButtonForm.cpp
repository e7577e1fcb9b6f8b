// The action window: discovery, start, stop and the run's mode.

#include "ButtonForm.h"

#include "CrossMix.h"
#include "Current.h"
#include "Discovery.h"
#include "EquipmentLists.h"
#include "General.h"
#include "MainFormAccess.h"
#include "RunProgress.h"
#include "RunStart.h"
#include "Services.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>
#include <utility>
#include <vector>

namespace {
ButtonForm* g_form = nullptr;
bool g_runUnderWay = false;
std::vector<std::function<void()>> g_afterRun;

std::array<bool*, 3> VerifyFlags() {
    return {&General::VerifyAM, &General::VerifyPM, &General::VerifyAMPM};
}
} // namespace

ButtonForm& ButtonForm::Instance() {
    if (!g_form) {
        g_form = new ButtonForm;
        MainFormAccess::ShowChild(g_form);
    }
    return *g_form;
}

bool ButtonForm::Exists() {
    return g_form != nullptr;
}

ButtonForm::ButtonForm(QWidget* parent) : QWidget(parent) {
    setWindowTitle("Main Actions");
    setProperty("Tag", "KEEP");

    auto* buttons = new QHBoxLayout;
    AutoSet = new QPushButton("setup");
    StartB = new QPushButton("start");
    StartB->setToolTip("start the measurement");
    StopB = new QPushButton("stop");
    StopB->setToolTip("halt running measurement");
    StopB->setEnabled(false);
    // Nothing to start until the discovery has found every instrument.
    StartB->setEnabled(false);
    for (QPushButton* b : {AutoSet, StartB, StopB})
        buttons->addWidget(b);

    ConfFrame = new QGroupBox;
    auto* frame = new QVBoxLayout(ConfFrame);
    const char* modes[2] = {"measurement", "measurement + predistortion"};
    for (int i = 0; i < 2; ++i) {
        Mode[size_t(i)] = new QRadioButton(modes[i]);
        frame->addWidget(Mode[size_t(i)]);
        connect(Mode[size_t(i)], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on) Mode_Click(i);
        });
    }
    auto* dists = new QHBoxLayout;
    const char* variants[3] = {"AM", "PM", "AM+PM"};
    for (int i = 0; i < 3; ++i) {
        Dist[size_t(i)] = new QCheckBox(variants[i]);
        dists->addWidget(Dist[size_t(i)]);
        connect(Dist[size_t(i)], &QCheckBox::stateChanged, this, [this, i] { Dist_Click(i); });
    }
    frame->addLayout(dists);

    auto* all = new QVBoxLayout(this);
    all->addLayout(buttons);
    all->addWidget(ConfFrame);

    connect(AutoSet, &QPushButton::clicked, this, &ButtonForm::AutoSet_Click);
    connect(StartB, &QPushButton::clicked, this, &ButtonForm::StartB_Click);
    connect(StopB, &QPushButton::clicked, this, &ButtonForm::StopB_Click);
    RunProgress::SetShowStateHook([](int step) { Current::Instance().ShowState(step); });
    Update();
}

ButtonForm::~ButtonForm() {
    if (g_form == this) g_form = nullptr;
}

void ButtonForm::PumpEvents() {
    QCoreApplication::processEvents();
}

void ButtonForm::Update() {
    const auto flags = VerifyFlags();
    for (size_t i = 0; i < 3; ++i) {
        {
            const QSignalBlocker quiet(Dist[i]);
            Dist[i]->setCheckState(*flags[i] ? Qt::Checked : Qt::Unchecked);
        }
        Dist_Click(int(i));
    }
    const int mode = General::Predistore ? 1 : 0;
    {
        const QSignalBlocker quiet(Mode[size_t(mode)]);
        Mode[size_t(mode)]->setChecked(true);
    }
    Mode_Click(mode);
}

void ButtonForm::Mode_Click(int Index) {
    General::Predistore = Index != 0;
    for (QCheckBox* d : Dist)
        d->setEnabled(General::Predistore);
}

void ButtonForm::Dist_Click(int Index) {
    if (Index < 0 || Index > 2) return;
    *VerifyFlags()[size_t(Index)] = Dist[size_t(Index)]->checkState() == Qt::Checked;
}

void ButtonForm::StopB_Click() {
    General::MeasureRunAbort = true;
    StartB->setEnabled(true);
    StopB->setEnabled(false);
    PumpEvents();
}

void ButtonForm::AutoSet_Click() {
    EquipmentLists* lists = EquipmentLists::Get();
    if (!lists) return;
    if (const std::optional<bool> ready = Discovery::FindInstruments(*lists))
        StartB->setEnabled(*ready);
}

void ButtonForm::StartB_Click() {
    // The run executes inside this handler, its checks and end message
    // included: a second start (the remote START, or the button enabled
    // again by Stop) while any of it is under way must not nest.
    if (General::MeasureBusy || phase_ == Phase::Running) {
        CrossMix::AddStatus("start refused: a measurement is still running");
        return;
    }
    if (phase_ == Phase::Checking) {
        CrossMix::AddStatus("start refused: a message of the last start still waits for its OK");
        return;
    }
    phase_ = Phase::Checking;
    const auto done = qScopeGuard([this] { phase_ = Phase::Idle; });
    const EquipmentLists* lists = EquipmentLists::Get();
    const std::vector<std::string> refusals =
        RunStart::Refusals(lists ? lists->SamplingRateMHz() : 0.0);
    for (const std::string& why : refusals)
        Services::BigMessage().ShowMessage(why, 1, 0, false, true, true);
    if (!refusals.empty()) return;
    phase_ = Phase::Running;
    RunAndEnd();
}

bool ButtonForm::RunUnderWay() {
    return g_runUnderWay;
}

void ButtonForm::AfterRun(std::function<void()> work) {
    if (!work) return;
    if (!g_runUnderWay) {
        work();
        return;
    }
    g_afterRun.push_back(std::move(work));
}

void ButtonForm::RunHeldWork() {
    if (g_runUnderWay) return; // the next run's end runs it
    for (std::function<void()>& work : std::exchange(g_afterRun, {}))
        work();
}

void ButtonForm::RunAndEnd() {
    g_runUnderWay = true;
    // The held work runs once this handler, and a remote START that called
    // it, have returned: a box shown from here would still hold them.
    const auto ended = qScopeGuard([] {
        g_runUnderWay = false;
        if (!g_afterRun.empty()) QTimer::singleShot(0, qApp, &ButtonForm::RunHeldWork);
    });
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // Not ready from the first event pump on: a "FINISHED?" answered there
    // would tell a client that the run it has just started has ended.
    StartB->setEnabled(false);
    PumpEvents();
    RunStart::Begin();
    StopB->setEnabled(true);
    RunProgress::ShowState(StepPreparingSetup);
    PumpEvents();
    if (RunStart::Execute()) {
        RunStart::EndFinished();
        Services::BigMessage().ShowMessage("Measurement finished.", 3, 1, false, false, true);
    } else {
        RunStart::EndAborted();
        Services::BigMessage().ShowMessage(RunStart::AbortedText(), 1, 3, false, false, true);
    }
    StopB->setEnabled(false);
    PumpEvents();
    RunProgress::ShowState(StepNone);
    QApplication::restoreOverrideCursor();
    PumpEvents();
    // Ready last: "FINISHED?" answers from this button, and a client that
    // starts again on that answer must find this run wholly ended.
    StartB->setEnabled(true);
}
