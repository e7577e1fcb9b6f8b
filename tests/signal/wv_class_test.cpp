// The waveform object: the tag header per file variant and the two sample
// packings with their clip counting.

#include "../support/fakes.h"
#include "WVClass.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string s;
    for (std::uint8_t b : bytes) {
        s += s.empty() ? "" : " ";
        s += "0123456789ABCDEF"[b >> 4];
        s += "0123456789ABCDEF"[b & 15];
    }
    return s;
}

const double inf = std::numeric_limits<double>::infinity();
const double nan = std::numeric_limits<double>::quiet_NaN();

struct WVClassTest : ::testing::Test {
    FakeClock clock; // 2005-10-25 14:03:07
    Services::Scoped<Services::ClockService> useClock{clock};
    WVClass wv;
    std::vector<std::int32_t> clipped;
    void SetUp() override {
        QObject::connect(&wv, &WVClass::WVClipped,
                         [this](std::int32_t n) { clipped.push_back(n); });
    }
};

TEST_F(WVClassTest, HeaderOfEachVariant) {
    EXPECT_EQ(wv.GetWVHeader(), "{FILTER: OFF}{TYPE: WV,0}{CLOCK: 1000000}"
                                "{COPYRIGHT: 2005 by Korva & Tellin}{COMMENT: --no comment--}"
                                "{DATE: 2005-10-25;14:03:07}{CRESTFACTOR: 0.000}"
                                "{MARKER LIST 1: 0-10:1;11:0}{MARKER LIST 2: 0-10:1;11:0}"
                                "{WAVEFORM-3: 0,#");
    wv.SetARBType(2);
    wv.SetSamples(16384);
    wv.SetClockInHz(16e6);
    wv.SetCrestFactor(10.36234);
    wv.SetMarker(3, "  0:1 ");
    const std::string h = wv.GetWVHeader();
    EXPECT_EQ(h.rfind("{SAMPLES: 16384}{FILTER: OFF}{TYPE: KLD-WV,0}{CLOCK: 16000000}", 0), 0u);
    EXPECT_NE(h.find("{CRESTFACTOR: 10.362}{MARKER LIST 1: 0-10:1;11:0}{MARKER LIST 2: "
                     "0-10:1;11:0}{MARKER LIST 3: 0:1}{MARKER LIST 4: 0-10:1;11:0}"
                     "{WAVEFORM-65539: 0,#"),
              std::string::npos)
        << h;
    EXPECT_EQ(wv.WaveformLength(), 65539);

    wv.SetMarker(0, "1:1");
    wv.SetMarker(5, "1:1");
    EXPECT_EQ(wv.Marker(0) + wv.Marker(5), "");
    EXPECT_EQ(wv.Marker(4), "0-10:1;11:0");
}

TEST_F(WVClassTest, FilterTagAndUserTexts) {
    wv.SetFilter(2);
    wv.SetFilterFrequency(2500000);
    EXPECT_NE(wv.GetWVHeader().find("{FILTER: 2500000Hz}"), std::string::npos);
    wv.SetFilter(1);
    EXPECT_NE(wv.GetWVHeader().find("{FILTER: EXT}"), std::string::npos);
    wv.SetFilter(9); // names no filter: the tag must still be closed
    EXPECT_NE(wv.GetWVHeader().find("{FILTER: OFF}"), std::string::npos);

    // Braces in user texts would end or open tags; the rest stays as written.
    wv.SetComment(" Run {3}: ok} ");
    wv.SetCopyRight("{c} Lab");
    wv.SetMarker(1, "0:1}{TYPE: WV,0");
    const std::string h = wv.GetWVHeader();
    EXPECT_NE(h.find("{COPYRIGHT: (c) Lab}{COMMENT:  Run (3): ok) }"), std::string::npos) << h;
    EXPECT_NE(h.find("{MARKER LIST 1: 0:1)(TYPE: WV,0}"), std::string::npos);
    EXPECT_EQ(std::count(h.begin(), h.end(), '{'), 10); // nine tags and WAVEFORM
    EXPECT_EQ(wv.Comment(), " Run {3}: ok} ");
}

TEST_F(WVClassTest, OffsetBinaryWords) {
    // 0, +1, -1, 0.5, one step above 0 (its two low bits cleared), -0.00001.
    const auto bytes =
        wv.PrepIQForWV({0.0, 1.0, -1.0, 0.5, 1.0 / 32000, -0.00001}, std::vector<double>(6, 0.0));
    EXPECT_EQ(Hex(bytes),
              "00 80 00 80 00 FD 00 80 00 03 00 80 80 BE 00 80 00 80 00 80 00 80 00 80");
    EXPECT_TRUE(clipped.empty());

    // Beyond full scale, infinities, huge values and NaN: clamped and counted
    // (I above, Q above, I below, Q below).
    const auto c = wv.PrepIQForWV({1.01, -1.01, inf, 1e300, nan}, {0.0, 2.0, -inf, -1e300, 0.0});
    EXPECT_EQ(Hex(c), "00 FD 00 80 00 03 00 FD 00 FD 00 03 00 FD 00 03 00 80 00 80");
    EXPECT_EQ(wv.ClipCounts(), (std::array<std::int32_t, 4>{3, 1, 2, 2}));
    EXPECT_EQ(clipped, (std::vector<std::int32_t>{8}));
}

TEST_F(WVClassTest, SignedWords) {
    // +1 -> 7FFF, -1 -> 8000, 0 -> 0.5 -> 0 (halves to even), 1.5 steps -> 2,
    // 0.5 -> 16384, -0.5 -> -16383, just below 1 -> 7FFF (not 32768),
    // 0.25 -> 8192, -1 step -> -0.5 -> 0, -0.25 -> -8191.
    const auto bytes = wv.PreKLDIQForWV({1.0, 0.0, 0.5, std::nextafter(1.0, 0.0), -1.0 / 32767},
                                        {-1.0, 1.5 / 32767, -0.5, 0.25, -0.25});
    EXPECT_EQ(Hex(bytes), "FF 7F 00 80 00 00 02 00 00 40 01 C0 FF 7F 00 20 00 00 01 E0");
    EXPECT_TRUE(clipped.empty());
    const auto c = wv.PreKLDIQForWV({2.0, -1.5, nan}, {0.0, 3.0, -inf});
    EXPECT_EQ(Hex(c), "FF 7F 00 00 00 80 FF 7F 00 00 00 80");
    EXPECT_EQ(wv.ClipCounts(), (std::array<std::int32_t, 4>{1, 1, 2, 1}));
    EXPECT_EQ(clipped, (std::vector<std::int32_t>{5}));
}

TEST_F(WVClassTest, ClipReportOncePerPacking) {
    std::vector<double> I(3000, 0.25), Q(3000, -0.25);
    I[5] = 1.5;
    Q[2999] = -7;
    I[1234] = 1.0001;
    EXPECT_EQ(wv.PrepIQForWV(I, Q).size(), 12000u);
    EXPECT_EQ(clipped, (std::vector<std::int32_t>{3}));
    wv.PreKLDIQForWV({0.1}, {0.1}); // the counters start afresh
    EXPECT_EQ(wv.ClipTotal(), 0);
    EXPECT_EQ(clipped.size(), 1u);
    // Q is read at I's indices: records of different lengths give no bytes.
    EXPECT_TRUE(wv.PrepIQForWV({0.1, 0.2}, {0.1}).empty());
    EXPECT_TRUE(wv.PreKLDIQForWV({0.1}, {}).empty());
}

TEST(WVClassShared, BlockPrefixAndTheOneTestSignal) {
    EXPECT_EQ(WVClass::BlockPrefix(217), "#3217");
    EXPECT_EQ(WVClass::BlockPrefix(9), "#19");
    EXPECT_EQ(WVClass::BlockPrefix(67109165), "#867109165");
    EXPECT_EQ(&General::TestSignal(), &General::TestSignal());
}

} // namespace
