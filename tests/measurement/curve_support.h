#pragma once
// Synthetic reference and amplifier records of known delay, gain and AM/PM,
// and stand-ins for the result window and the measurement window, shared by
// the curve tests.

#include "CurveDisplay.h"
#include "DSP.h"
#include "General.h"
#include "ResultSink.h"

#include <cmath>
#include <complex>
#include <functional>
#include <map>
#include <vector>

struct Record {
    std::vector<double> I, Q;
};

// Band-limited noise of peak magnitude 1 (1 MHz at 16 MHz).
inline Record NoiseRecord(int length, float seed = 3) {
    Record r;
    DSP::IntMath().SignalNoise(1.0, 16.0, length, seed, false, r.I, r.Q);
    return r;
}

// The memoryless amplifier out = gain·am(|x|)·exp(j(pm(|x|) + phase0)),
// delayed by `delay` samples (circularly, any fraction).
inline Record Amplify(const Record& in, double gain, const std::function<double(double)>& am,
                      const std::function<double(double)>& pm, double phase0, double delay) {
    Record out;
    out.I.resize(in.I.size());
    out.Q.resize(in.I.size());
    for (std::size_t k = 0; k < in.I.size(); ++k) {
        const std::complex<double> x(in.I[k], in.Q[k]);
        const double a = std::abs(x);
        const std::complex<double> y = gain * am(a) * std::polar(1.0, std::arg(x) + pm(a) + phase0);
        out.I[k] = y.real();
        out.Q[k] = y.imag();
    }
    // ShiftSamples(r, s) gives r(k + s): a delay is a negative shift.
    DSP::IntMath().ShiftSamples(out.I, out.Q, -delay);
    return out;
}

inline void Store(const Record& ref, const Record& out) {
    General::SignalStore[0] = ref.I;
    General::SignalStore[1] = ref.Q;
    General::SignalStore[2] = out.I;
    General::SignalStore[3] = out.Q;
    General::SamplingDepth = static_cast<std::int32_t>(ref.I.size());
}

// Keeps every value shown and declines one row.
struct FakeResults : ResultSink {
    int decline = -1;
    std::map<int, float> values;
    std::map<int, std::optional<float>> extras;
    void Restart() override {}
    void DisplayResult(const std::string&, double, const std::string&,
                       const std::string&) override {}
    bool ShowValue(int row, float value, float, std::optional<float> extra) override {
        values[row] = value;
        extras[row] = extra;
        return row != decline;
    }
};

// Counts what each graph was asked to draw; its pictures are 1 pixel high
// and as wide as the graph's number + 1, so a stored picture tells its graph,
// and carry the graph's axis captions of the moment as texts "x" and "y".
struct FakeDisplay : CurveDisplay {
    std::map<CurveGraph, std::vector<std::string>> captions;
    std::map<CurveGraph, std::pair<std::string, std::string>> axisLabels;
    std::map<CurveGraph, std::vector<PlotStyle>> plots;
    std::map<CurveGraph, std::vector<DensityPicture>> densities;
    void Clear(CurveGraph g) override { plots[g].clear(); }
    void SetCaption(CurveGraph g, const std::string& c) override { captions[g].push_back(c); }
    void SetAxisLabels(CurveGraph g, const std::string& x, const std::string& y) override {
        axisLabels[g] = {x, y};
    }
    void AddPlot(CurveGraph g, const std::vector<double>& x, const std::vector<double>& y,
                 PlotStyle s) override {
        if (x.size() == y.size()) plots[g].push_back(s);
    }
    void AddTrace(CurveGraph g, const std::vector<double>&) override {
        plots[g].push_back(PlotStyle::Trace);
    }
    void ShowDensity(CurveGraph g, const DensityPicture& p) override {
        plots[g].clear();
        densities[g].push_back(p);
    }
    QImage Picture(CurveGraph g) override {
        QImage picture(static_cast<int>(g) + 1, 1, QImage::Format_RGB32);
        picture.setText("x", QString::fromStdString(axisLabels[g].first));
        picture.setText("y", QString::fromStdString(axisLabels[g].second));
        return picture;
    }
};

// Installs a stand-in for the lifetime of the guard.
template <class Sink> struct Installed {
    explicit Installed(Sink* s) { Sink::Install(s); }
    ~Installed() { Sink::Install(nullptr); }
};
