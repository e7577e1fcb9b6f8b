// The installed curve display and the silent one used while none is installed.

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

CurveDisplay& CurveDisplay::Get() {
    static SilentDisplay silent;
    return Installed() ? *Installed() : silent;
}

void CurveDisplay::Install(CurveDisplay* display) {
    Installed() = display;
}
