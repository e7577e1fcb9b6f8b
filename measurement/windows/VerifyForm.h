#pragma once
// The verification window: the channel-power table of the reference, the
// amplifier and the predistorted variants, and the spectrum graph with its
// channel bands and trace switches. One per run; it keeps showing its run's
// state after the run, and its refresh re-evaluates it. While it is not shown
// (hidden, minimised) its graph holds no paint buffers.

#include "Verification.h"

#include <QWidget>
#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QCPGraph;
class QCustomPlot;
class QLabel;
class QLineEdit;
class QTableWidget;
class QTimer;

class VerifyForm : public QWidget, public Verification::View {
    Q_OBJECT

public:
    explicit VerifyForm(std::shared_ptr<Verification::State> state, QWidget* parent = nullptr);
    ~VerifyForm() override;

    // Shows the window in the main window's client area, centred on it.
    void Form_Load();
    // The size at which nothing is cut: at least 12645 twips wide.
    QSize sizeHint() const override;

    // Installs the maker that gives each run's verification this window.
    static void InstallViewMaker();
    // "ACP config ..." opens the ACP setup dialog, which lives above this
    // library; the user interface installs how.
    static void SetACPConfigHook(std::function<void()> hook);

    void DisplayACP(long mode, int variant) override;
    void DisplayPlot(int trace) override;
    void ResetGraph() override;
    void Present() override;
    void EnableTraces(const std::array<bool, 3>& verified) override;
    void Close() override;
    void DisplayLines();
    void UpdateChannelRows();
    void ChanTimer_Timer();
    void GraCenter_Change();
    void GraSpan_Change();
    void GraRange_Change();
    void UpdateDisplay_Click();
    void SetCalcPara_Click();
    void MeasureCheck_Click();
    void SimuCheck_Click();
    void DTrace_Click(int trace);

    QTableWidget* Table() const { return Tabelle_; }
    QCustomPlot* Graph() const { return Disp_; }
    QCheckBox* Trace(int trace) const { return DTrace_[std::size_t(trace)]; }
    QCheckBox* MeasureCheck() const { return MeasureCheck_; }
    QCheckBox* SimuCheck() const { return SimuCheck_; }
    QLineEdit* Center() const { return GraCenter_; }
    QLineEdit* Span() const { return GraSpan_; }
    QLineEdit* Range() const { return GraRange_; }
    // The graph of a trace, nullptr while it is not plotted.
    QCPGraph* Plot(int trace) const { return PlotIndex_[std::size_t(trace)]; }
    const Verification::State& State() const { return *state_; }

private:
    void SetTableCell(int row, int col, const QString& text, const QColor* back = nullptr);
    void CheckAll(const std::vector<int>& traces, bool on);
    void StorePicture();

    std::shared_ptr<Verification::State> state_;
    QTableWidget* Tabelle_;
    QCustomPlot* Disp_;
    QLineEdit *GraCenter_, *GraSpan_, *GraRange_;
    QCheckBox *MeasureCheck_, *SimuCheck_;
    std::array<QCheckBox*, 10> DTrace_{};
    // The graph's plot of each trace, nullptr while it is not plotted.
    std::array<QCPGraph*, 10> PlotIndex_{};
    std::array<QLabel*, 10> LegPlot_{};
    QLabel* statusBar_;
    QTimer* ChanTimer_;
    bool AxesReady_ = false;
    int ShownChannels_ = 0;
    double lastSpan_ = 0;
};
