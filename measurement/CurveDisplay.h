#pragma once
// Where the curve half of a sweep point's measurement draws its four graphs
// (AM/AM, AM/PM and the two correlation / histogram graphs): the measurement
// window when one is installed, otherwise nowhere, so a run needs no window.

#include <QImage>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

enum class CurveGraph { AMAM = 0, AMPM = 1, Corr1 = 2, Corr2 = 3 };

// How an added plot is drawn.
enum class PlotStyle {
    Trace,     // a line through the points in their order (spectra, histograms)
    GridCurve, // the gridded averages: markers joined by a thin line
    ModelFit,  // the fitted amplifier polynomial
    InverseFit // the fitted predistortion polynomial
};

struct Rgb {
    int r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

// One density picture as the graph shows it: the points of each occupied
// level (level 1 first), the level colours and the reference line.
struct DensityPicture {
    struct Level {
        Rgb colour;
        std::vector<double> x, y;
    };
    std::vector<Level> levels; // one per level, empty ones included
    std::array<double, 2> lineX{}, lineY{};
};

// What a graph is called and what its axes show before the measurement has
// drawn into it: an empty graph says what it will show.
struct GraphCaptions {
    const char* title;
    const char* x;
    const char* y;
};
GraphCaptions FirstCaptions(CurveGraph graph);

class CurveDisplay {
public:
    virtual ~CurveDisplay() = default;

    // Removes every plot and annotation of the graph.
    virtual void Clear(CurveGraph graph) = 0;
    virtual void SetCaption(CurveGraph graph, const std::string& caption) = 0;
    virtual void SetAxisLabels(CurveGraph graph, const std::string& x, const std::string& y) = 0;
    // Adds a plot of y against x.
    virtual void AddPlot(CurveGraph graph, const std::vector<double>& x,
                         const std::vector<double>& y, PlotStyle style) = 0;
    // Adds a trace of y against its element index.
    virtual void AddTrace(CurveGraph graph, const std::vector<double>& y) = 0;
    // Clears the graph and draws the picture with its colour key.
    virtual void ShowDensity(CurveGraph graph, const DensityPicture& picture) = 0;
    // An image of the graph as it stands, at the size of the report's and the
    // printout's pictures whatever the graph's size on screen; a null image
    // when nothing shows it.
    virtual QImage Picture(CurveGraph graph) = 0;

    // The installed display, or one that draws nothing.
    static CurveDisplay& Get();
    // nullptr uninstalls.
    static void Install(CurveDisplay* display);
};
