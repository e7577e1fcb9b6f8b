// The coarse lag: the fold of the correlation peak and the lag found between
// envelopes of known delay, both ways round and across the wrap.

#include "AnalysisControls.h"
#include "TimingAlignment.h"
#include "curve_support.h"

#include <gtest/gtest.h>

TEST(TimingAlignment, FoldNamesTheShiftThatUndoesTheDelay) {
    struct Case {
        std::size_t peak, n;
        std::int32_t lag;
    };
    // A peak at p means the output lags by p samples; the reference must move
    // by -p. Peaks past half the record are outputs that lead: n - p.
    for (const Case& c : {Case{0, 16, 0}, Case{1, 16, -1}, Case{8, 16, -8}, Case{9, 16, 7},
                          Case{15, 16, 1}, Case{7, 15, -7}, Case{8, 15, 7}, Case{0, 1, 0}}) {
        EXPECT_EQ(TimingAlignment::FoldLag(c.peak, c.n), c.lag) << c.peak << " of " << c.n;
        // Both branches name the same circular shift.
        EXPECT_EQ((static_cast<long>(c.n) * 2 - static_cast<long>(c.peak) - c.lag) %
                      static_cast<long>(c.n),
                  0);
    }
}

TEST(TimingAlignment, CoarseLagOfKnownDelays) {
    const int n = 4096;
    const Record ref = NoiseRecord(n);
    std::vector<double> in, phase;
    Analysis::ToPolar(ref.I, ref.Q, in, phase);
    struct Case {
        double delay;
        std::int32_t lag;
    };
    // Whole, fractional (to the nearest sample), negative (an output that
    // leads, found through the wrap) and nearly half the record.
    for (const Case& c : {Case{0, 0}, Case{3, -3}, Case{3.37, -3}, Case{5.7, -6}, Case{-2, 2},
                          Case{-4.4, 4}, Case{2000, -2000}, Case{-2000, 2000}}) {
        const Record out = Amplify(
            ref, 2.0, [](double a) { return a; }, [](double) { return 0.0; }, 0.4, c.delay);
        std::vector<double> amp;
        Analysis::ToPolar(out.I, out.Q, amp, phase);
        std::int32_t lag = 99;
        ASSERT_TRUE(TimingAlignment::CoarseLag(in, amp, lag));
        EXPECT_EQ(lag, c.lag) << c.delay;
    }
    std::int32_t lag = 0;
    EXPECT_FALSE(TimingAlignment::CoarseLag({}, {}, lag));
    EXPECT_FALSE(TimingAlignment::CoarseLag({1, 2}, {1}, lag));
    EXPECT_FALSE(TimingAlignment::CoarseLag({1, NAN}, {1, 2}, lag));
}
