#include "Current.h"

#include "MainFormAccess.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QTimer>

namespace {
Current* g_current = nullptr;
const char* const kStepNames[5] = {"preparing setup", "adjusting levels", "making measurement",
                                   "signal processing", "verification"};
} // namespace

Current& Current::Instance() {
    if (!g_current) {
        g_current = new Current;
        MainFormAccess::ShowChild(g_current);
    }
    return *g_current;
}

bool Current::Exists() {
    return g_current != nullptr;
}

Current::Current() {
    setWindowTitle("Current Status");
    setProperty("Tag", "KEEP");
    setAttribute(Qt::WA_DeleteOnClose);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(" STATUS"), 0, 0);
    StatList = new QListWidget;
    grid->addWidget(StatList, 1, 0, 5, 1);
    for (int i = 0; i < 5; ++i) {
        State[static_cast<std::size_t>(i)] = new QLabel(kStepNames[i]);
        State[static_cast<std::size_t>(i)]->setAutoFillBackground(true);
        State[static_cast<std::size_t>(i)]->setAlignment(Qt::AlignCenter);
        grid->addWidget(State[static_cast<std::size_t>(i)], 1 + i, 1, 1, 2);
    }
    auto point = [&](int row, const char* caption, QLabel*& value) {
        grid->addWidget(new QLabel(caption), row, 0);
        value = new QLabel;
        grid->addWidget(value, row, 1, 1, 2);
    };
    point(6, " FREQ Gen", AkFreqGen);
    point(7, " FREQ Ana", AkFreqAna);
    point(8, "LEV Gen", AkLevelGen);
    point(9, "LEV Ana", AkLevelAna);

    for (QLabel* label : State)
        Paint(label, kPendingText, kPendingBack);

    FlashTime = new QTimer(this);
    FlashTime->setInterval(500);
    connect(FlashTime, &QTimer::timeout, this, &Current::FlashTime_Timer);
    FlashTime->start();
}

Current::~Current() {
    if (g_current == this) g_current = nullptr;
}

void Current::Paint(QLabel* label, QRgb text, QRgb back) {
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, QColor(text));
    p.setColor(QPalette::Window, QColor(back));
    label->setPalette(p);
}

void Current::ShowState(int step) {
    for (int i = 0; i < 5; ++i) {
        QLabel* label = State[static_cast<std::size_t>(i)];
        if (i < step)
            Paint(label, kDoneText, kDoneBack);
        else if (i == step)
            Paint(label, kCurrentText, kCurrentBack);
        else
            Paint(label, kPendingText, kPendingBack);
    }
    QCoreApplication::processEvents();
}

void Current::FlashTime_Timer() {
    for (QLabel* label : State) {
        if (label->palette().color(QPalette::WindowText).rgb() != QColor(kCurrentText).rgb())
            continue;
        const bool yellow =
            label->palette().color(QPalette::Window).rgb() == QColor(kCurrentBack).rgb();
        Paint(label, kCurrentText, yellow ? kBlinkBack : kCurrentBack);
    }
    QCoreApplication::processEvents();
}

void Current::AddStatus(const std::string& line) {
    auto* item = new QListWidgetItem(QString::fromLatin1(line), StatList);
    // Measured once, here: the list lays all its lines out again whenever
    // one is added, and measuring every line each time made a long log slow.
    item->setSizeHint(
        StatList->sizeHintForIndex(StatList->model()->index(StatList->count() - 1, 0)));
    while (StatList->count() > kKeptLines)
        delete StatList->takeItem(0);
    if (newestPending_) return;
    newestPending_ = true;
    QTimer::singleShot(0, this, &Current::ShowNewest);
}

void Current::ShowNewest() {
    newestPending_ = false;
    StatList->setCurrentRow(StatList->count() - 1);
}

void Current::ClearStatus() {
    StatList->clear();
}

void Current::ShowCurrentPoint(const std::string& genFreq, const std::string& anaFreq,
                               const std::string& anaLevel) {
    AkFreqGen->setText(QString::fromLatin1(genFreq));
    AkFreqAna->setText(QString::fromLatin1(anaFreq));
    AkLevelAna->setText(QString::fromLatin1(anaLevel));
}
