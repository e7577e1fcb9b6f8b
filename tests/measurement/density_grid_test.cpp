// Density grids: cells at the range edges, every occupied cell drawn in its
// level, the level colours, an empty cloud, and the two drawings.

#include "../support/fakes.h"
#include "DensityGrid.h"
#include "curve_support.h"

#include <cmath>
#include <gtest/gtest.h>

using DensityGrid::Grid;

TEST(DensityGrid, CellsAtTheEdgesAndBeyond) {
    // 1.0 lands in the last column, values beyond a bound in its edge cell,
    // non-finite pairs nowhere.
    const Grid g = DensityGrid::BuildDensityGrid({1.0, 0.0, -3.0, 0.5, 0.995, NAN, 0.2},
                                                 {-22.5, 22.5, 0.0, 99.0, 0.0, 0.0, INFINITY},
                                                 {0, 1}, {-22.5, 22.5}, 100, 360, 20);
    ASSERT_EQ(g.size(), 100u);
    ASSERT_EQ(g[0].size(), 360u);
    double total = 0;
    for (const auto& column : g)
        for (double cell : column)
            total += cell;
    EXPECT_EQ(total, 5 * 20.0); // five single points, each the fullest cell
    EXPECT_EQ(g[99][0], 20.0);
    EXPECT_EQ(g[0][359], 20.0);
    EXPECT_EQ(g[0][179], 20.0);
    EXPECT_EQ(g[49][359], 20.0);
    EXPECT_EQ(g[98][179], 20.0);
}

TEST(DensityGrid, EveryOccupiedCellIsDrawnInItsLevel) {
    // Cells holding 1, 2, 3 and 7 points of a fullest cell of 7: values
    // 20/7 · count, none of them whole but the fullest.
    std::vector<double> x, y;
    const int counts[] = {1, 2, 3, 7};
    for (int c = 0; c < 4; ++c)
        for (int k = 0; k < counts[c]; ++k) {
            x.push_back(10.0 * c);
            y.push_back(50.0);
        }
    const Grid g = DensityGrid::BuildDensityGrid(x, y, {0, 99}, {0, 99}, 100, 100, 20);
    const DensityPicture p =
        DensityGrid::MakePicture(g, 20, [](int j) { return j / 100.0; }, {0, 1}, {0, 1});
    ASSERT_EQ(p.levels.size(), 20u);
    std::size_t drawn = 0;
    for (const auto& level : p.levels)
        drawn += level.x.size();
    EXPECT_EQ(drawn, 4u);
    // 2.857 -> level 3, 5.714 -> 6, 8.571 -> 9, 20 -> 20
    for (int level : {3, 6, 9, 20}) {
        ASSERT_EQ(p.levels[static_cast<std::size_t>(level - 1)].x.size(), 1u) << level;
        EXPECT_EQ(p.levels[static_cast<std::size_t>(level - 1)].y[0], 0.5);
    }
    EXPECT_EQ(p.levels[19].x[0], 0.3); // lower-left corner of column 30
}

TEST(DensityGrid, LevelsAndColours) {
    struct Case {
        double cell;
        int level;
    };
    for (const Case& c :
         {Case{0, 0}, Case{-1, 0}, Case{NAN, 0}, Case{1e-9, 1}, Case{1, 1},
          Case{3.0000000000000004, 3}, Case{3.01, 4}, Case{19.5, 20}, Case{20, 20}, Case{25, 20}})
        EXPECT_EQ(DensityGrid::LevelOf(c.cell, 20), c.level) << c.cell;
    // Level 14's hue, 14 / 20 · 180, is a hair below 126 degrees: its blue
    // is just under 25.5 and rounds to 25.
    struct Colour {
        int level;
        Rgb rgb;
    };
    for (const Colour& c :
         {Colour{1, {255, 38, 0}}, Colour{7, {242, 255, 0}}, Colour{10, {128, 255, 0}},
          Colour{14, {0, 255, 25}}, Colour{20, {0, 255, 255}}})
        EXPECT_EQ(DensityGrid::LevelColour(c.level), c.rgb) << c.level;
}

TEST(DensityGrid, AnEmptyCloudDrawsNothing) {
    for (const auto& cloud : {std::vector<double>{}, std::vector<double>{NAN, NAN}}) {
        const Grid g = DensityGrid::BuildDensityGrid(cloud, cloud, {0, 1}, {0, 1}, 100, 100, 20);
        for (const auto& column : g)
            for (double cell : column)
                ASSERT_EQ(cell, 0.0);
        const DensityPicture p =
            DensityGrid::MakePicture(g, 20, [](int j) { return j / 100.0; }, {0, 1}, {0, 1});
        for (const auto& level : p.levels)
            EXPECT_TRUE(level.x.empty());
    }
    EXPECT_TRUE(DensityGrid::BuildDensityGrid({1}, {1}, {0, 1}, {0, 1}, 0, 100, 20).empty());
    // A range without width counts everything in its first cell.
    EXPECT_EQ(DensityGrid::BuildDensityGrid({5, 6}, {0, 0}, {1, 1}, {0, 1}, 10, 10, 20)[0][0],
              20.0);
}

TEST(DensityGrid, DrawingsStoreTheirGridsAndDrawTheirPictures) {
    FakeStatus status;
    Services::Scoped<Services::StatusDisplayService> useStatus{status};
    FakeDisplay display;
    Installed<CurveDisplay> installed(&display);
    DensityGrid::DrawAMAMDensity({0.5, 0.5, 1.0}, {0.25, 0.25, 1.0});
    DensityGrid::DrawAMPMDensity({0.0}, {-22.5});
    ASSERT_EQ(General::DensityGrid[0].size(), 100u);
    ASSERT_EQ(General::DensityGrid[0][0].size(), 100u);
    EXPECT_EQ(General::DensityGrid[0][49][24], 20.0);
    EXPECT_EQ(General::DensityGrid[0][99][99], 10.0);
    ASSERT_EQ(General::DensityGrid[1][0].size(), 360u);
    EXPECT_EQ(General::DensityGrid[1][0][0], 20.0);
    EXPECT_EQ(status.lines, (std::vector<std::string>{"drawing AM/AM, please wait...",
                                                      "drawing AM/PM, please wait..."}));
    const DensityPicture& amam = display.densities[CurveGraph::AMAM].at(0);
    EXPECT_EQ(amam.levels[9].x, std::vector<double>{0.99});
    EXPECT_EQ(amam.levels[19].y, std::vector<double>{0.24});
    EXPECT_EQ(amam.lineY, (std::array<double, 2>{0, 1}));
    const DensityPicture& ampm = display.densities[CurveGraph::AMPM].at(0);
    EXPECT_EQ(ampm.levels[19].y, std::vector<double>{-22.5});
    EXPECT_EQ(ampm.lineY, (std::array<double, 2>{0, 0}));
}
