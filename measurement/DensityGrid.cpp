// Density grids, level colours and the density drawings.

#include "DensityGrid.h"

#include "CrossMix.h"
#include "General.h"
#include "NumberText.h"
#include "SpecColor.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace DensityGrid {

namespace {

constexpr int kLevels = 20;
constexpr int kColumns = 100;

// The cell of a value: the range mapped onto 0..cells - 1, truncated.
struct CellMap {
    CellMap(Range r, int cells)
        : range(r), last(cells - 1),
          scale(r.max - r.min > 0.0 ? (cells - 1) / (r.max - r.min) : 0.0) {}
    int operator()(double v) const {
        const double at = (std::clamp(v, range.min, range.max) - range.min) * scale;
        return std::min(static_cast<int>(at), last);
    }
    Range range;
    int last;
    double scale;
};

} // namespace

Grid BuildDensityGrid(const Array& x, const Array& y, Range xRange, Range yRange, int nx, int ny,
                      int levels) {
    if (nx < 1 || ny < 1) return {};
    const auto rows = static_cast<std::size_t>(ny);
    // Counted flat, column after column, then scaled into the grid.
    std::vector<std::uint32_t> counts(static_cast<std::size_t>(nx) * rows, 0);
    const std::size_t n = std::min(x.size(), y.size());
    const CellMap column(xRange, nx), row(yRange, ny);
    for (std::size_t k = 0; k < n; ++k) {
        if (!std::isfinite(x[k]) || !std::isfinite(y[k])) continue;
        ++counts[static_cast<std::size_t>(column(x[k])) * rows +
                 static_cast<std::size_t>(row(y[k]))];
    }
    const std::uint32_t largest = *std::max_element(counts.begin(), counts.end());
    Grid grid(static_cast<std::size_t>(nx), std::vector<double>(rows, 0.0));
    if (largest == 0) return grid;
    const double top = static_cast<double>(largest);
    for (std::size_t i = 0; i < grid.size(); ++i)
        for (std::size_t j = 0; j < rows; ++j)
            grid[i][j] = static_cast<double>(counts[i * rows + j]) / top * levels;
    return grid;
}

int LevelOf(double cell, int levels) {
    if (!(cell > 0.0)) return 0;
    // count / largest · levels lands a hair above a whole level now and then
    // (3 / 20 · 20 = 3.0000000000000004); that is still the whole level.
    const double level = std::ceil(cell - 1e-9);
    return static_cast<int>(std::clamp(level, 1.0, static_cast<double>(levels)));
}

Rgb LevelColour(int level, int levels) {
    double r = 0, g = 0, b = 0;
    // The hue as level / levels · 180, in that order: level 14's hue then lands
    // a hair below 126 degrees and its blue at 25, as the colour table has it.
    SpecColor::HSLToRGB(level / static_cast<double>(levels) * 180, 0.5, 1.0, r, g, b);
    const auto byte = [](double v) { return static_cast<int>(NumberText::RoundHalfEven(v * 255)); };
    return {byte(r), byte(g), byte(b)};
}

DensityPicture MakePicture(const Grid& grid, int levels, const std::function<double(int)>& yOfRow,
                           std::array<double, 2> lineX, std::array<double, 2> lineY) {
    DensityPicture picture;
    picture.levels.resize(static_cast<std::size_t>(std::max(levels, 0)));
    for (int k = 1; k <= levels; ++k)
        picture.levels[static_cast<std::size_t>(k - 1)].colour = LevelColour(k, levels);
    const double columns = static_cast<double>(grid.size());
    for (std::size_t i = 0; i < grid.size(); ++i) {
        for (std::size_t j = 0; j < grid[i].size(); ++j) {
            const int k = LevelOf(grid[i][j], levels);
            if (k == 0) continue;
            auto& level = picture.levels[static_cast<std::size_t>(k - 1)];
            level.x.push_back(static_cast<double>(i) / columns);
            level.y.push_back(yOfRow(static_cast<int>(j)));
        }
    }
    picture.lineX = lineX;
    picture.lineY = lineY;
    return picture;
}

void DrawAMAMDensity(const Array& x, const Array& y) {
    General::DensityGrid[0] =
        BuildDensityGrid(x, y, {0.0, 1.0}, {0.0, 1.0}, kColumns, 100, kLevels);
    CrossMix::AddStatus("drawing AM/AM, please wait...");
    CurveDisplay::Get().ShowDensity(CurveGraph::AMAM, MakePicture(General::DensityGrid[0], kLevels,
                                                                  [](int j) { return j / 100.0; },
                                                                  {0.0, 1.0}, {0.0, 1.0}));
}

void DrawAMPMDensity(const Array& x, const Array& y) {
    General::DensityGrid[1] =
        BuildDensityGrid(x, y, {0.0, 1.0}, {-22.5, 22.5}, kColumns, 360, kLevels);
    CrossMix::AddStatus("drawing AM/PM, please wait...");
    CurveDisplay::Get().ShowDensity(CurveGraph::AMPM,
                                    MakePicture(General::DensityGrid[1], kLevels,
                                                [](int j) { return j * 45.0 / 360.0 - 22.5; },
                                                {0.0, 1.0}, {0.0, 0.0}));
}

} // namespace DensityGrid
