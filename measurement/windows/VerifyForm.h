#pragma once
// The verification window: the channel-power table of the reference, the
// amplifier and the predistorted variants, and the spectrum graph with its
// channel bands and trace switches. One per run; it keeps showing its run's
// state after the run, and its refresh re-evaluates it.

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
    // The designed size: at least 12645 twips wide.
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
    void DisplayLines();
    void UpdateChannelRows();
    void UpdateDisplay_Click();
    void SetCalcPara_Click();
    void MeasureCheck_Click();
    void SimuCheck_Click();
    void DTrace_Click(int trace);

    QTableWidget* Table() const { return table_; }
    QCustomPlot* Graph() const { return disp_; }
    QCheckBox* Trace(int trace) const { return dtrace_[std::size_t(trace)]; }
    QCheckBox* MeasureCheck() const { return measure_; }
    QCheckBox* SimuCheck() const { return simu_; }
    QLineEdit* Center() const { return center_; }
    QLineEdit* Span() const { return span_; }
    QLineEdit* Range() const { return range_; }
    // The graph of a trace, nullptr while it is not plotted.
    QCPGraph* Plot(int trace) const { return plot_[std::size_t(trace)]; }
    const Verification::State& State() const { return *state_; }

private:
    void SetTableCell(int row, int col, const QString& text, const QColor* back = nullptr);
    void CheckAll(const std::vector<int>& traces, bool on);
    void XRangeChanged();
    void YRangeChanged();
    void StorePicture();

    std::shared_ptr<Verification::State> state_;
    QTableWidget* table_;
    QCustomPlot* disp_;
    QLineEdit *center_, *span_, *range_;
    QCheckBox *measure_, *simu_;
    std::array<QCheckBox*, 10> dtrace_{};
    std::array<QCPGraph*, 10> plot_{};
    QLabel* statusBar_;
    QTimer* chanTimer_;
    bool axesReady_ = false;
    int shownChannels_ = 0;
    double lastSpan_ = 0;
};
