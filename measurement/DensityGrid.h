#pragma once
// The AM/AM and AM/PM point clouds as colour-coded density plots: a grid of
// cells counting the points, each cell scaled to 0..20 levels of the fullest
// cell, the level colours, and the two drawings that store their grids in
// General::DensityGrid for the printed summary.

#include "CurveDisplay.h"

#include <functional>
#include <vector>

namespace DensityGrid {

using Array = std::vector<double>;
// grid[column][row]
using Grid = std::vector<std::vector<double>>;

struct Range {
    double min = 0, max = 1;
};

// nx x ny cells over the ranges; values outside a range count in its edge
// cell, the range's maximum in the last cell. Each cell ends as its count /
// the largest count · levels (0 for an empty cell; all 0 for a cloud without
// a point). Pairs holding a non-finite value are no points. Empty for
// nx or ny < 1.
Grid BuildDensityGrid(const Array& x, const Array& y, Range xRange, Range yRange, int nx, int ny,
                      int levels);

// The level (1..levels) a cell's value is drawn in: the next whole level at
// or above it, so that no occupied cell is lost; 0 for an empty cell.
int LevelOf(double cell, int levels);

// Level k of 20: hue 9·k degrees, full saturation, half lightness.
Rgb LevelColour(int level, int levels = 20);

// The picture of a grid: every occupied cell (i, j) as the point
// (i / columns, yOfRow(j)) in its level; the reference line from (x0, y0) to
// (x1, y1).
DensityPicture MakePicture(const Grid& grid, int levels, const std::function<double(int)>& yOfRow,
                           std::array<double, 2> lineX, std::array<double, 2> lineY);

// The AM/AM cloud (input against normalised output amplitude, 100 x 100
// cells over 0..1) and the AM/PM cloud (input amplitude against phase
// difference in degrees, 100 x 360 cells over 0..1 and -22.5..22.5): grid
// into General::DensityGrid 0 or 1, status line, drawing.
void DrawAMAMDensity(const Array& x, const Array& y);
void DrawAMPMDensity(const Array& x, const Array& y);

} // namespace DensityGrid
