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
#include "RunState.h"
#include "Services.h"
#include "VISAScan.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {
ButtonForm* g_form = nullptr;

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
    // Nothing to start while the lists are refilled or a missing instrument's
    // box waits for its OK; a discovery that does not run leaves Start as it was.
    const bool wasEnabled = StartB->isEnabled();
    StartB->setEnabled(false);
    const std::optional<bool> ready = Discovery::FindInstruments(*lists);
    StartB->setEnabled(ready ? *ready : wasEnabled);
}

void ButtonForm::StartB_Click() {
    // The run executes inside this handler, its checks and end message
    // included: a second start (the remote START, or the button enabled
    // again by Stop) while any of it is under way must not nest.
    if (RunState::UnderWay()) {
        CrossMix::AddStatus("start refused: a measurement is still running");
        return;
    }
    // The remote's START can come from the scan's event pumps: a run would
    // read the role lists while the discovery refills them.
    if (VISAScan::Scanning()) {
        CrossMix::AddStatus("start refused: the instrument discovery is still running");
        return;
    }
    if (checking_) {
        CrossMix::AddStatus("start refused: a message of the last start still waits for its OK");
        return;
    }
    std::vector<std::string> refusals;
    {
        // Greyed while the checks' messages wait for their OK: a test
        // program's polls then say that nothing is ready, not that a refused
        // start has finished.
        checking_ = true;
        const bool wasEnabled = StartB->isEnabled();
        StartB->setEnabled(false);
        const auto done = qScopeGuard([this, wasEnabled] {
            checking_ = false;
            StartB->setEnabled(wasEnabled);
        });
        const EquipmentLists* lists = EquipmentLists::Get();
        refusals = RunStart::Refusals(lists ? lists->SamplingRateMHz() : 0.0);
        for (const std::string& why : refusals)
            Services::BigMessage().ShowMessage(why, 1, 0, false, true, true);
    }
    if (refusals.empty()) RunAndEnd();
}

void ButtonForm::RunAndEnd() {
    // Under way, and begun, before the first event pump: commands that came
    // with a remote START run there, must find the run under way, and leave
    // their refusals in the status log the run has just emptied.
    const RunState::Scope run;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    StartB->setEnabled(false);
    RunStart::Begin();
    PumpEvents();
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
