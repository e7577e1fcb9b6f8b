#pragma once
// The measurement window "Measure AM/AM, AM/PM": the AM/AM and AM/PM density
// plots above, the cross spectra (later the histograms) below, drawn as the
// curve half of a sweep point asks. Created on first use.

#include "CurveDisplay.h"

#include <QWidget>
#include <array>

class QCustomPlot;
class QCPTextElement;

class ACPForm : public QWidget, public CurveDisplay {
    Q_OBJECT

public:
    // Lets the measurement present the window and draw into it; the window
    // itself is made when first needed.
    static void Install();
    static void Uninstall();
    // The window, created on first use.
    static ACPForm& Instance();
    static bool Exists();
    ~ACPForm() override;

    // Front, normal size (after maximised or minimised, its readable size),
    // at the left edge of the client area below the action window.
    void Present();
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    void Clear(CurveGraph graph) override;
    void SetCaption(CurveGraph graph, const std::string& caption) override;
    void SetAxisLabels(CurveGraph graph, const std::string& x, const std::string& y) override;
    void AddPlot(CurveGraph graph, const std::vector<double>& x, const std::vector<double>& y,
                 PlotStyle style) override;
    void AddTrace(CurveGraph graph, const std::vector<double>& y) override;
    void ShowDensity(CurveGraph graph, const DensityPicture& picture) override;
    // The graph at the pictures' own size (800 x 600 pixels).
    QImage Picture(CurveGraph graph) override;

    // Lays the four graphs out in the client area: two columns with 4-pixel
    // gaps, the upper graphs five ninths of the usable height. A width too
    // small for two columns keeps the widths, a height too small the heights;
    // a minimised window keeps everything.
    void Form_Resize();

    QCustomPlot* AMAMDia = nullptr;
    QCustomPlot* AMPMDia = nullptr;
    QCustomPlot* Corr1 = nullptr;
    QCustomPlot* Corr2 = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    ACPForm();
    QCustomPlot* Graph(CurveGraph graph) const;

    std::array<QCPTextElement*, 4> titles_{};
};
