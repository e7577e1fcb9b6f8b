// Waveform files as the bench's generators decode them: packings, tags,
// refusals and marker edges.

#include "Commands.h"
#include "TestSupport.h"
#include "Waveform.h"

#include <gtest/gtest.h>

using namespace simbench;
using namespace simbench::test;

TEST(Waveform, BothPackingsDecodeWhatWasPacked) {
    const std::vector<std::complex<double>> s = {
        {0, 0}, {1.0, -1.0}, {0.5, -0.25}, {-0.00001, 0.7}};
    std::string why;
    const auto offset = DecodeWaveform(WaveformFile(s, false, 16e6), false, 1000, why);
    ASSERT_TRUE(offset) << why;
    ASSERT_EQ(offset->Samples(), 4u);
    // Offset binary words as the generator file carries them: 0 -> 0x8000,
    // +1 -> 0xFD00, -1 -> 0x0300.
    EXPECT_EQ(offset->words[0], 0x8000);
    EXPECT_EQ(offset->words[2], 0xFD00);
    EXPECT_EQ(offset->words[3], 0x0300);
    EXPECT_EQ(offset->Sample(1), std::complex<double>(1.0, -1.0));
    for (std::size_t k = 0; k < s.size(); ++k)
        EXPECT_NEAR(std::abs(offset->Sample(k) - s[k]), 0, 4.0 / 32000) << k;
    EXPECT_EQ(offset->clockHz, 16e6);
    EXPECT_EQ(offset->crestDb, 3.01);
    EXPECT_EQ(offset->Tag("COMMENT"), std::optional<std::string>("test; with \n and #3 inside"));

    const auto kld = DecodeWaveform(WaveformFile(s, true, 8e6), true, 1000, why);
    ASSERT_TRUE(kld) << why;
    EXPECT_EQ(kld->words[2], 0x7FFF);
    EXPECT_EQ(kld->words[3], 0x8000);
    EXPECT_EQ(kld->Sample(1).real(), 1.0);
    for (std::size_t k = 0; k < s.size(); ++k)
        EXPECT_NEAR(std::abs(kld->Sample(k) - s[k]), 0, 1.0 / 32767) << k;
}

TEST(Waveform, RefusesFilesThatDoNotHoldWhatTheySay) {
    const std::vector<std::complex<double>> s(8, {0.1, 0.2});
    std::string why;
    const std::string good = WaveformFile(s, false, 1e6);
    EXPECT_FALSE(DecodeWaveform(good, true, 1000, why)); // wrong packing for a KLD
    EXPECT_FALSE(DecodeWaveform(WaveformFile(s, true, 1e6), false, 1000, why));
    EXPECT_FALSE(DecodeWaveform(good.substr(0, good.size() - 1), false, 1000, why)); // no "}"
    EXPECT_FALSE(DecodeWaveform(good + "x", false, 1000, why));
    EXPECT_FALSE(DecodeWaveform(good, false, 7, why)); // longer than the memory
    std::string badLength = good;
    badLength.replace(badLength.find("WAVEFORM-35"), 11, "WAVEFORM-39");
    EXPECT_FALSE(DecodeWaveform(badLength, false, 1000, why));
    std::string badSamples = WaveformFile(s, true, 1e6);
    badSamples.replace(0, 12, "{SAMPLES: 9}");
    EXPECT_FALSE(DecodeWaveform(badSamples, true, 1000, why));
    EXPECT_FALSE(DecodeWaveform(WaveformFile(s, false, 1e6, "0-x:1"), false, 1000, why));
    EXPECT_FALSE(DecodeWaveform("garbage", false, 1000, why));
    for (const char* crest : {"{CRESTFACTOR: -1}", "{CRESTFACTOR: 3 dB}", "{CRESTFACTOR: nan}"}) {
        std::string badCrest = good;
        badCrest.replace(badCrest.find("{CRESTFACTOR: 3.010}"), 20, crest);
        EXPECT_FALSE(DecodeWaveform(badCrest, false, 1000, why)) << crest;
        EXPECT_EQ(why, "bad CRESTFACTOR tag");
    }
}

TEST(Waveform, MarkerEdges) {
    auto e = MarkerListEdges("0-10:1;11:0", 100);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->rising, 0);
    EXPECT_EQ(e->falling, 11);
    e = MarkerListEdges("0:1;11:0;16383:0", 16384);
    EXPECT_EQ(e->rising, 0);
    EXPECT_EQ(e->falling, 11);
    e = MarkerListEdges("5-9:1", 100); // a range returns to the earlier state
    EXPECT_EQ(e->rising, 5);
    EXPECT_EQ(e->falling, 10);
    e = MarkerListEdges("0:0;40:1", 100); // high at the end: the wrap is no edge at 0
    EXPECT_EQ(e->rising, 40);
    EXPECT_EQ(e->falling, 0);
    e = MarkerListEdges("0:1", 100); // constant
    EXPECT_EQ(e->rising, -1);
    EXPECT_EQ(e->falling, -1);
    e = MarkerListEdges("200:1", 100); // beyond the waveform
    EXPECT_EQ(e->rising, -1);
    EXPECT_FALSE(MarkerListEdges("0-10", 100));
    EXPECT_FALSE(MarkerListEdges("0:2", 100));

    const auto p = PulseEdges(10, 524215, 16384);
    EXPECT_EQ(p.rising, 0);
    EXPECT_EQ(p.falling, 10);
    EXPECT_EQ(PulseEdges(0, 10, 100).rising, -1);
    EXPECT_EQ(PulseEdges(100, 10, 100).rising, -1);
    const auto q = PulseEdges(10, 10, 100); // high again at the end: next rise at 20
    EXPECT_EQ(q.rising, 0);
    EXPECT_EQ(PulseEdges(10, 9, 96).rising, 19);
}

TEST(Waveform, StoredNames) {
    EXPECT_EQ(StoredWaveformName(true, "D:\\QUILAMPM.WV"), "QUILAMPM");
    EXPECT_EQ(StoredWaveformName(true, " D:\\dir\\a.wv"), "a");
    EXPECT_EQ(StoredWaveformName(true, "QUILAMPM"), "QUILAMPM");
    EXPECT_EQ(StoredWaveformName(false, " QUIL----"), "QUIL----");
    EXPECT_EQ(StoredWaveformName(false, "A.WV"), "A.WV");
}
