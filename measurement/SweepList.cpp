// The sweep points of a run and the helpers derived from the settings.

#include "SweepList.h"

#include "General.h"
#include "NumberText.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace General {
short MixerLevelDelta(long analyzerType, float level) {
    const long family = std::clamp(analyzerType, 0L, 3L);
    const double delta =
        NumberText::RoundHalfEven(double(level) - double(MixerOpt[size_t(family)]));
    constexpr double lo = std::numeric_limits<short>::min();
    constexpr double hi = std::numeric_limits<short>::max();
    return short(std::isnan(delta) ? 0.0 : std::clamp(delta, lo, hi));
}
} // namespace General
