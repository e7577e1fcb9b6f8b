#pragma once
// The data display window: a viewer for the I/Q records the last run left in
// the signal store, drawn as time signal, spectrum, CCDF or AM/AM relation,
// with zoom, move and auto-scale controls. It only reads the shared state,
// and every redraw reads the store afresh. Controls carry the object names
// the window's code uses (DataToDisplay, DataFormat, ZoomInX2, ...).

#include <QWidget>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QCPCurve;
class QCPTextElement;
class QCustomPlot;
class QPushButton;

class DataDisplay : public QWidget {
    Q_OBJECT

public:
    // Data-set item codes of DataToDisplay.
    enum DataSet : int { NoiseFloor = 1, AMAMCurve = 2, DUTOutput = 3, DUTInput = 4 };
    // Format item codes of DataFormat for the records, and for the AM/AM set.
    enum SignalFormat : int { TimeI = 0, TimeQ = 1, TimeMagnitude = 2, Spectrum = 3, CCDF = 4 };
    enum CurveFormat : int { LinearVsLinear = 0, GainVsLog = 1 };

    explicit DataDisplay(QWidget* parent = nullptr);

    QCustomPlot* Graph() const { return Disp_; }

    // The displayed spectrum of an I/Q record: windowed, transformed, centred,
    // scaled by 1/N, reduced by the detector, in dB (+13.0103 dB on the HOx
    // analyzers).
    static std::vector<double> CalcSpectrum(const std::vector<double>& I,
                                            const std::vector<double>& Q);
    // The CCDF of an I/Q record: ccdf(k) the percentage of samples whose
    // level lies above levels(k), the centre of class k of 500, in dB above
    // the record's mean power. False (both empty) for a record
    // SpecialCalc::CalcSpectrumDB refuses.
    static bool CalcCCDF(const std::vector<double>& I, const std::vector<double>& Q,
                         std::vector<double>& ccdf, std::vector<double>& levels);

    // The window's own events. The layout keeps the graph filling the window
    // above the configuration frame, which Form_Resize and CaptionHeight did
    // by hand.
    void Form_Load();
    void DataToDisplay_Click();
    void DataFormat_Click();
    void AutoScaleX_Click();
    void AutoScaleY_Click();
    void AutoScaleXY_Click();
    void ZoomAll_Click();
    void ZoomInX2_Click();
    void ZoomOutX2_Click();
    void MoveLeft2x_Click();
    void MoveLeft1x_Click();
    void MoveRight1x_Click();
    void MoveRight2x_Click();
    void ZoomIn_Click();
    void ShowLine_Click();
    void ShowPoints_Click();

private:
    void BuildControls();
    QGroupBox* BuildZoomFrame();
    void UpdateGraph();
    void DrawTime(int format, const std::vector<double>& I, const std::vector<double>& Q);
    void DrawSpectrum(const std::vector<double>& I, const std::vector<double>& Q);
    void DrawCCDF(const std::vector<double>& I, const std::vector<double>& Q);
    void DrawAMAM(int format);
    void ShiftXAxis(double fraction);
    void ZoomX(double factor);
    void AutoScale(bool x, bool y);
    void SetLogY(bool on);
    void Plot(const std::vector<double>& x, const std::vector<double>& y);
    void PlotY(const std::vector<double>& y, double firstX, double incrementX);
    void SetCaptions(const QString& x, const QString& y);
    void SetTicks(bool xAxis, double major, int minorPerMajor = 0);

    QCustomPlot* Disp_ = nullptr;
    QCPCurve* plot_ = nullptr;
    QCPTextElement* caption_ = nullptr;
    QComboBox* DataToDisplay_ = nullptr;
    QComboBox* DataFormat_ = nullptr;
    QCheckBox* ShowLine_ = nullptr;
    QCheckBox* ShowPoints_ = nullptr;
    bool formatAvailable_ = true;
};
