#pragma once
// The amplifier model of one sweep point: the AM/AM and AM/PM point clouds
// averaged on a grid of amplitude bins, the operator's low-level rules, the
// polynomial fits of the amplifier, of its AM/AM inverse (the predistortion)
// and of the AM/PM curve, their errors, and the amplitude scale up to which
// the predistortion stays usable.

#include <cstddef>
#include <string>
#include <vector>

namespace CurveFits {

using Array = std::vector<double>;

struct Curve {
    Array x, y;
};

// One (mean x, mean y) point per non-empty bin of n equal bins between the
// smallest and largest x, in ascending order. A sample on an inner bin edge
// belongs to the upper bin, the largest x to the last bin; all x equal give
// one point. Pairs holding a non-finite value are no points. Empty for n < 1
// or when no pair is finite.
Curve AverageCurveOnGrid(const Array& x, const Array& y, int n);

struct LowLevelRule {
    double limitPercent = 0; // of the gridded points
    bool ignore = false;     // drop the low-level points
    bool set = false;        // AM/AM: make them linear; AM/PM: make them zero
};

// The last low-level index, limitPercent / 100 · points rounded half to even,
// kept inside the curve: -1 (no point) up to points - 1.
int LowLevelBoundary(double limitPercent, std::size_t points);

// The low-level rules on the gridded curves. Without either AM/PM flag the
// first AM/PM point is dropped.
void ApplyAMAMLowLevel(Curve& curve, const LowLevelRule& rule);
void ApplyAMPMLowLevel(Curve& curve, const LowLevelRule& rule);

// How many gridded points a curve of `points` points keeps under the rule.
std::size_t PointsKept(std::size_t points, const LowLevelRule& rule, bool ampm);

struct FitSettings {
    int amamGrid = 50, ampmGrid = 50;
    int amamOrder = 9, ampmOrder = 9;
    LowLevelRule amamLow, ampmLow;
};

// The settings as they stand in the shared state.
FitSettings SettingsFromGeneral();

// Why a run cannot fit with these settings (a grid of no bins, or fewer
// points than a fit of the order needs even when every bin is filled);
// empty when it can.
std::string CheckSettings(const FitSettings& settings);

struct Model {
    Array amamCoeff, amamPreCoeff, ampmCoeff, ampmPreCoeff;
    // rms residuals of the fits to the gridded points
    double amamError = 0, amamInvError = 0; // dB of an amplitude
    double ampmError = 0, ampmInvError = 0; // degrees
    double curveScale = 0;
};

// A least-squares polynomial of the order through the curve's points; the
// text of why not (fewer distinct points than order + 1) on failure.
std::string Fit(const Array& x, const Array& y, int order, const char* name, Array& coeff,
                double& mse);

// The fits in their order on the gridded curves (low-level rules applied):
// amplifier AM/AM, its inverse, AM/PM and the AM/PM predistortion, with their
// errors and the curve scale. Empty on success, else why the model could not
// be made (model then unchanged).
std::string FitModel(const Curve& amam, const Curve& ampm, const FitSettings& settings,
                     Model& model);

// The output amplitude, in steps of 0.001, up to which the predistortion asks
// for no input above full scale and, above 0.5, keeps rising; 1.0 when it
// does so all the way.
double CurveScale(const Array& preCoeff);

} // namespace CurveFits
