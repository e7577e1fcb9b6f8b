// The installed curve display, the silent one used while none is installed,
// and the graphs' captions before their first drawing.

#include "CurveDisplay.h"

namespace {
class SilentDisplay final : public CurveDisplay {
public:
    void Clear(CurveGraph) override {}
    void SetCaption(CurveGraph, const std::string&) override {}
    void SetAxisLabels(CurveGraph, const std::string&, const std::string&) override {}
    void AddPlot(CurveGraph, const std::vector<double>&, const std::vector<double>&,
                 PlotStyle) override {}
    void AddTrace(CurveGraph, const std::vector<double>&) override {}
    void ShowDensity(CurveGraph, const DensityPicture&) override {}
    QImage Picture(CurveGraph) override { return {}; }
};

CurveDisplay*& Installed() {
    static CurveDisplay* display = nullptr;
    return display;
}
} // namespace

GraphCaptions FirstCaptions(CurveGraph graph) {
    switch (graph) {
    case CurveGraph::AMAM:
        return {"AM/AM", "Linear INPUT voltage", "Linear OUTPUT voltage"};
    case CurveGraph::AMPM:
        return {"AM/PM", "Linear INPUT voltage", "Phase Difference [°]"};
    case CurveGraph::Corr1:
        return {"Correlated Amplitude Spectrum", "Frequency bin", "Magnitude"};
    case CurveGraph::Corr2:
        break;
    }
    return {"Correlated Phase Spectrum", "Frequency bin", "Phase [rad]"};
}

CurveDisplay& CurveDisplay::Get() {
    static SilentDisplay silent;
    return Installed() ? *Installed() : silent;
}

void CurveDisplay::Install(CurveDisplay* display) {
    Installed() = display;
}
