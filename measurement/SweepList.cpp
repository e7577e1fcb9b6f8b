// The sweep points of a run and the helpers derived from the settings.

#include "SweepList.h"

#include "General.h"
#include "NumberText.h"

#include <algorithm>
#include <cmath>

namespace General {
namespace {

// A run of more points than this is a typing error, not a sweep.
constexpr double kMaxPoints = 100000;

// The input attenuator of every analyzer family (DANE, HOB, HOC, HOD) spans
// 0 to 75 dB; the instruments refuse any other setting.
constexpr double kMaxAttenuationDb = 75;

struct Sweep {
    const char* name;
    bool on;
    double start, step, stop;
};

std::vector<Sweep> Sweeps() {
    return {{"Rate", RateSweep, RateStart, RateStep, RateStop},
            {"Level", LevelSweep, GenLevelStart, GenLevelStep, GenLevelStop},
            {"Frequency", FrequencySweep, GenFreqStart, GenFreqStep, GenFreqStop}};
}

// Number of values of an ascending or descending list; -1 when none can end.
double ValueCount(double start, double step, double stop) {
    if (!std::isfinite(start) || !std::isfinite(step) || !std::isfinite(stop)) return -1;
    if (step == 0) return -1;
    const double span = (stop - start) / step;
    if (span < -1e-6) return -1;
    return std::floor(span + 1e-6) + 1;
}

std::vector<double> ValuesOf(const Sweep& s, double offValue) {
    return s.on ? SweepValues(s.start, s.step, s.stop) : std::vector<double>{offValue};
}

} // namespace

short MixerLevelDelta(long analyzerType, float level) {
    const long family = std::clamp(analyzerType, 0L, 3L);
    const double delta =
        NumberText::RoundHalfEven(double(level) - double(MixerOpt[size_t(family)]));
    return short(std::isnan(delta) ? 0.0 : std::clamp(delta, 0.0, kMaxAttenuationDb));
}

std::vector<double> SweepValues(double start, double step, double stop) {
    const double n = ValueCount(start, step, stop);
    if (n < 1 || n > kMaxPoints) return {};
    std::vector<double> values;
    for (long k = 0; k < long(n); ++k)
        values.push_back(start + double(k) * step);
    return values;
}

std::optional<std::string> SweepSettingsFault() {
    double points = 1;
    for (const Sweep& s : Sweeps()) {
        if (!s.on) continue;
        const double n = ValueCount(s.start, s.step, s.stop);
        if (n < 1)
            return std::string(s.name) +
                   " sweep never reaches its stop value! Please check start, step and stop";
        points *= n;
    }
    if (points > kMaxPoints) return std::string("Sweep has too many points! Please use fewer");
    return std::nullopt;
}

long BuildSweepList() {
    SweepPoints.assign(1, SweepPoint{});
    if (SweepSettingsFault()) {
        SweepPoints.clear();
        return 0;
    }
    if (!FrequencySweep && !LevelSweep && !RateSweep) {
        SweepPoint p;
        p.GenFreq = GenFreqStart;
        p.AnaFreq = AnaFreqStart;
        p.GenLevel = GenLevelStart;
        p.AnaLevel = AnaLevelStart;
        p.Rate = NoiseBandwidth;
        SweepPoints.push_back(p);
        return 1;
    }
    const std::vector<Sweep> sweeps = Sweeps();
    for (double rate : ValuesOf(sweeps[0], NoiseBandwidth))
        for (double level : ValuesOf(sweeps[1], GenLevelStart))
            for (double freq : ValuesOf(sweeps[2], GenFreqStart)) {
                SweepPoint p;
                p.GenFreq = p.AnaFreq = freq;
                p.GenLevel = p.AnaLevel = level;
                p.Rate = rate;
                SweepPoints.push_back(p);
            }
    return long(SweepPoints.size()) - 1;
}

double GetACPSpan() {
    const int n = std::clamp<int>(ACP.Channels, 0, 3);
    if (n == 0) return ACP.MainBW;
    const size_t k = size_t(n - 1);
    return ACP.LowerBW[k] * 0.5 + ACP.LowerSpace[k] + ACP.UpperSpace[k] + ACP.UpperBW[k] * 0.5;
}

} // namespace General
