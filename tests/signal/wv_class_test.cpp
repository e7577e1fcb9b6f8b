// The waveform object: defaults, the tag header per file variant, the two
// sample packings with their clip counting.

#include "Services.h"
#include "WVClass.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

class FixedClock : public Services::ClockService {
public:
    QDateTime Now() override { return QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9, 10)); }
};

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    for (std::uint8_t b : bytes) {
        if (!s.empty()) s += ' ';
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

struct WVClassTest : ::testing::Test {
    FixedClock clock;
    Services::Scoped<Services::ClockService> useClock{clock};
    WVClass wv;
    std::vector<std::int32_t> clipped;
    void SetUp() override {
        QObject::connect(&wv, &WVClass::WVClipped, [this](std::int32_t n) { clipped.push_back(n); });
    }
};

TEST_F(WVClassTest, FreshHeaderOfTheOffsetBinaryVariant) {
    EXPECT_EQ(wv.GetWVHeader(), "{FILTER: OFF}{TYPE: WV,0}{CLOCK: 1000000}"
                                "{COPYRIGHT: 2024 by Korva & Tellin}{COMMENT: --no comment--}"
                                "{DATE: 2024-03-05;07:08:09}{CRESTFACTOR: 0.000}"
                                "{MARKER LIST 1: 0-10:1;11:0}{MARKER LIST 2: 0-10:1;11:0}"
                                "{WAVEFORM-3: 0,#");
    EXPECT_EQ(wv.WaveformLength(), 3);
}

TEST_F(WVClassTest, HeaderOfTheSignedVariant) {
    wv.SetARBType(2);
    wv.SetSamples(16384);
    wv.SetClockInHz(16e6);
    wv.SetCrestFactor(10.36234);
    wv.SetMarker(3, "  0:1 ");
    const std::string h = wv.GetWVHeader();
    EXPECT_EQ(h.rfind("{SAMPLES: 16384}{FILTER: OFF}{TYPE: KLD-WV,0}{CLOCK: 16000000}", 0), 0u) << h;
    EXPECT_NE(h.find("{CRESTFACTOR: 10.362}{MARKER LIST 1: 0-10:1;11:0}{MARKER LIST 2: 0-10:1;11:0}"
                     "{MARKER LIST 3: 0:1}{MARKER LIST 4: 0-10:1;11:0}{WAVEFORM-65539: 0,#"),
              std::string::npos)
        << h;
    EXPECT_EQ(wv.WaveformLength(), 65539);
    // The same settings in the offset-binary variant: no SAMPLES tag, two lists.
    wv.SetARBType(1);
    const std::string v = wv.GetWVHeader();
    EXPECT_EQ(v.rfind("{FILTER: OFF}{TYPE: WV,0}", 0), 0u);
    EXPECT_EQ(v.find("MARKER LIST 3"), std::string::npos);
}

TEST_F(WVClassTest, FilterTagAndTextsInTags) {
    wv.SetFilter(2);
    wv.SetFilterFrequency(2500000);
    EXPECT_NE(wv.GetWVHeader().find("{FILTER: 2500000Hz}"), std::string::npos);
    wv.SetFilter(1);
    EXPECT_NE(wv.GetWVHeader().find("{FILTER: EXT}"), std::string::npos);
    // A code that names no filter must not leave the tag open.
    wv.SetFilter(9);
    EXPECT_NE(wv.GetWVHeader().find("{FILTER: OFF}"), std::string::npos);

    // Braces in user texts would end or open tags; everything else is kept
    // as written, blanks included.
    wv.SetComment(" Run {3}: ok} ");
    wv.SetCopyRight("{c} Lab");
    wv.SetFileDate("x}y");
    wv.SetMarker(1, "0:1}{TYPE: WV,0");
    const std::string h = wv.GetWVHeader();
    EXPECT_NE(h.find("{COMMENT:  Run (3): ok) }"), std::string::npos) << h;
    EXPECT_NE(h.find("{COPYRIGHT: (c) Lab}"), std::string::npos);
    EXPECT_NE(h.find("{DATE: x)y}"), std::string::npos);
    EXPECT_NE(h.find("{MARKER LIST 1: 0:1)(TYPE: WV,0}"), std::string::npos);
    std::size_t open = 0;
    for (char c : h)
        open += c == '{';
    EXPECT_EQ(open, 10u); // the nine tags of this variant and WAVEFORM
    EXPECT_EQ(wv.Comment(), " Run {3}: ok} "); // the property keeps what was set
}

TEST_F(WVClassTest, MarkersOutsideOneToFour) {
    wv.SetMarker(0, "1:1");
    wv.SetMarker(5, "1:1");
    EXPECT_EQ(wv.Marker(0), "");
    EXPECT_EQ(wv.Marker(5), "");
    for (std::int16_t k = 1; k <= 4; ++k)
        EXPECT_EQ(wv.Marker(k), "0-10:1;11:0");
}

TEST_F(WVClassTest, OffsetBinaryWords) {
    // 0, +1, -1, 0.5, one step above 0, a hair below 0, then out of range.
    const std::vector<double> I{0.0, 1.0, -1.0, 0.5, 1.0 / 32000, -0.00001};
    const std::vector<double> Q{0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    const auto bytes = wv.PrepIQForWV(I, Q);
    EXPECT_EQ(Hex(bytes), "00 80 00 80 00 FD 00 80 00 03 00 80 80 BE 00 80 00 80 00 80 00 80 00 80");
    EXPECT_EQ(wv.ByteFieldLength(), 24);
    EXPECT_EQ(wv.ClipTotal(), 0);
    EXPECT_TRUE(clipped.empty());

    // 1.01 and -1.01 are held at the full-scale words and counted per channel
    // and direction; infinities and NaN too, without undefined conversions.
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const auto c = wv.PrepIQForWV({1.01, -1.01, inf, 1e300, nan}, {0.0, 2.0, -inf, -1e300, 0.0});
    EXPECT_EQ(Hex(c), "00 FD 00 80 00 03 00 FD 00 FD 00 03 00 FD 00 03 00 80 00 80");
    EXPECT_EQ(wv.ClipCounts(), (std::array<std::int32_t, 4>{3, 1, 2, 2}));
    EXPECT_EQ(wv.ClipTotal(), 8);
    EXPECT_EQ(clipped, (std::vector<std::int32_t>{8}));
}

TEST_F(WVClassTest, SignedWords) {
    const double belowOne = std::nextafter(1.0, 0.0);
    const auto bytes = wv.PreKLDIQForWV({1.0, 0.0, 0.5, belowOne, -1.0 / 32767},
                                        {-1.0, 1.5 / 32767, -0.5, 0.25, -0.25});
    // +1 -> 7FFF, -1 -> 8000, 0 -> 0.5 -> 0 (halves to even), 1.5 steps -> 2,
    // 0.5 -> 16384, -0.5 -> -16383, just below 1 stays at 7FFF, 0.25 -> 8192,
    // -1 step -> -0.5 -> 0, -0.25 -> -8191.
    EXPECT_EQ(Hex(bytes), "FF 7F 00 80 00 00 02 00 00 40 01 C0 FF 7F 00 20 00 00 01 E0");
    EXPECT_EQ(wv.ClipTotal(), 0);
    EXPECT_TRUE(clipped.empty());

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const auto c = wv.PreKLDIQForWV({2.0, -1.5, nan}, {0.0, 3.0, -std::numeric_limits<double>::infinity()});
    EXPECT_EQ(Hex(c), "FF 7F 00 00 00 80 FF 7F 00 00 00 80");
    EXPECT_EQ(wv.ClipCounts(), (std::array<std::int32_t, 4>{1, 1, 2, 1}));
    EXPECT_EQ(clipped, (std::vector<std::int32_t>{5}));
}

TEST_F(WVClassTest, ClipReportOncePerPacking) {
    std::vector<double> I(3000, 0.25), Q(3000, -0.25);
    I[5] = 1.5;
    Q[2999] = -7;
    I[1234] = 1.0001;
    wv.PrepIQForWV(I, Q);
    EXPECT_EQ(clipped, (std::vector<std::int32_t>{3}));
    // The counters start afresh with each packing.
    wv.PreKLDIQForWV({0.1}, {0.1});
    EXPECT_EQ(wv.ClipTotal(), 0);
    EXPECT_EQ(clipped.size(), 1u);
}

TEST_F(WVClassTest, RecordsOfDifferentLengthGiveNoBytes) {
    EXPECT_TRUE(wv.PrepIQForWV({0.1, 0.2}, {0.1}).empty());
    EXPECT_TRUE(wv.PreKLDIQForWV({0.1}, {}).empty());
    EXPECT_EQ(wv.ByteFieldLength(), 0);
    EXPECT_TRUE(wv.PrepIQForWV({}, {}).empty());
}

TEST(WVClassPrefix, DefiniteLengthBlock) {
    EXPECT_EQ(WVClass::BlockPrefix(217), "#3217");
    EXPECT_EQ(WVClass::BlockPrefix(9), "#19");
    EXPECT_EQ(WVClass::BlockPrefix(67108865 + 300), "#867109165");
}

TEST(WVClassShared, TestSignalIsOneObject) {
    WVClass& a = General::TestSignal();
    a.SetSamples(77);
    EXPECT_EQ(&a, &General::TestSignal());
    EXPECT_EQ(General::TestSignal().Samples(), 77);
    a.SetSamples(0);
}

} // namespace
