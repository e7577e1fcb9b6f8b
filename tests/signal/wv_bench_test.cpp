// Noise test signals uploaded to the simulated bench, once for each
// generator family: the bench must decode exactly the words that were
// packed, whole and streamed.

#include "../instruments/patient_session.h"
#include "../instruments/simbench_process.h"
#include "../support/fakes.h"
#include "General.h"
#include "TestSigGen.h"
#include "VIF.h"
#include "WVClass.h"
#include "WaveTestSupport.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

struct Family {
    const char* name;
    std::int32_t arbType;
};

// The words the bench stored, recovered from its decoded values.
std::vector<std::uint16_t> DecodedWords(const std::string& iqFile, bool signedWords) {
    const std::string raw = ReadFile(iqFile);
    std::vector<std::uint16_t> words(raw.size() / 8);
    for (std::size_t k = 0; k < words.size(); ++k) {
        double v;
        std::memcpy(&v, raw.data() + 8 * k, 8);
        const double w =
            signedWords ? std::nearbyint(v * 32767) : std::nearbyint(v * 32000 + 32768);
        words[k] = static_cast<std::uint16_t>(static_cast<std::int32_t>(w));
    }
    return words;
}

std::vector<std::uint16_t> PackedWords(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::uint16_t> words(bytes.size() / 2);
    for (std::size_t k = 0; k < words.size(); ++k)
        words[k] = static_cast<std::uint16_t>(bytes[2 * k] | (bytes[2 * k + 1] << 8));
    return words;
}

class BenchUpload : public ::testing::TestWithParam<Family> {};

TEST_P(BenchUpload, BenchDecodesThePackedNoise) {
    const Family family = GetParam();
    FakeStatus status;
    Services::Scoped<Services::StatusDisplayService> useStatus{status};
    TempDir dir;
    SimBench bench({"--modsource", family.name, "--waveform-dir", dir.path.string()});
    ASSERT_TRUE(bench.ready);
    VIF vif;
    ASSERT_TRUE(vif.OpenDevice(bench.Resource("modsource"), true, false, 5000));
    MakePatient(vif);

    General::NoiseLength = 6000;
    General::NoiseClock = 16;
    General::NoiseBandwidth = 4;
    General::NoiseSeed = 7;
    TestSigGen::MakeNoiseSignal();
    WVClass& wv = General::TestSignal();
    wv.SetARBType(family.arbType);
    wv.SetFileName(TestSigGen::SignalTag());
    wv.SetComment("noise {upload}");
    const std::vector<std::uint16_t> packed = PackedWords(
        family.arbType == 2 ? wv.PreKLDIQForWV(General::TestSignalI, General::TestSignalQ)
                            : wv.PrepIQForWV(General::TestSignalI, General::TestSignalQ));
    ASSERT_EQ(packed.size(), 12000u);
    ASSERT_EQ(wv.UploadWV(vif, General::TestSignalI, General::TestSignalQ, 4096),
              WVClass::UploadOK);
    std::string error;
    EXPECT_FALSE(vif.PollErrors(error));
    EXPECT_EQ(error, "") << family.name;

    const bool kld = family.arbType == 2;
    EXPECT_EQ(DecodedWords(dir.File("QUIL----.iq"), kld), packed) << family.name;
    const std::string tags = ReadFile(dir.File("QUIL----.tags"));
    EXPECT_NE(tags.find("CLOCK: 16000000\n"), std::string::npos) << tags;
    EXPECT_NE(tags.find("COMMENT: noise (upload)\n"), std::string::npos) << tags;
    EXPECT_NE(tags.find(kld ? "PACKING: signed" : "PACKING: offset binary"), std::string::npos);

    // The same record streamed in uneven pieces under another name.
    wv.SetFileName("STREAMED");
    ASSERT_EQ(wv.OpenStream(vif), WVClass::UploadOK);
    for (std::size_t from = 0; from < 6000; from += 1700) {
        const std::size_t n = std::min<std::size_t>(1700, 6000 - from);
        const std::vector<double> I(General::TestSignalI.begin() + from,
                                    General::TestSignalI.begin() + from + n);
        const std::vector<double> Q(General::TestSignalQ.begin() + from,
                                    General::TestSignalQ.begin() + from + n);
        ASSERT_EQ(wv.OutputStream(vif, I, Q), WVClass::UploadOK);
    }
    EXPECT_FALSE(vif.PollErrors(error));
    EXPECT_EQ(error, "") << family.name;
    EXPECT_EQ(DecodedWords(dir.File("STREAMED.iq"), kld), packed) << family.name;
}

INSTANTIATE_TEST_SUITE_P(Families, BenchUpload,
                         ::testing::Values(Family{"BOXW", 0}, Family{"VRTA", 1}, Family{"KLD", 2}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
