// The upload of a waveform over an instrument session, seen on the wire of a
// scripted instrument: catalogue and deletion, the block message, the local
// copy, the streamed upload and failures.

#include "../instruments/bench.h"
#include "WVClass.h"
#include "WaveTestSupport.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

std::string Bytes(const std::vector<std::uint8_t>& b) {
    return std::string(b.begin(), b.end());
}

struct Upload : ::testing::Test {
    TempFolder tmp;
    Bench bench;
    VIF vif;
    WVClass wv;
    std::vector<std::string> status;
    std::vector<float> progress;

    void SetUp() override {
        QObject::connect(&wv, &WVClass::WVStatus,
                         [this](const std::string& s) { status.push_back(s); });
        QObject::connect(&wv, &WVClass::WVStreamProgress,
                         [this](float p) { progress.push_back(p); });
        bench.inst->On("MMEM:CAT?", {"0,0\n"});
        bench.inst->On("ARB:WAV:CAT?", {"\"\"\n"});
        wv.SetFileName("QUIL----");
        ASSERT_TRUE(vif.OpenDevice(bench.Resource(), false));
    }
    // Everything the instrument received, once it holds `n` bytes.
    std::string Wire(std::size_t n) {
        bench.server.WaitReceived(n);
        return bench.server.Received();
    }
};

TEST_F(Upload, OneBlockMessageWithItsLengthAndDeletion) {
    bench.inst->On("MMEM:CAT?", {"1024,2000,\"QUIL----,BIN,16\"\n"});
    wv.SetFileName(" QUIL----");
    wv.SetSamples(4);
    // A header of 200 characters, made up by the comment.
    wv.SetComment("");
    wv.SetCopyRight("");
    wv.SetComment(std::string(200 - wv.GetWVHeader().size(), 'c'));
    const std::string header = wv.GetWVHeader();
    const std::vector<double> I{0, 1, -1, 0.5}, Q{0, 0, 0, 0};
    const std::string samples = Bytes(wv.PrepIQForWV(I, Q));
    ASSERT_EQ(wv.UploadWV(vif, I, Q, 4096), WVClass::UploadOK);
    // N = 200 + 16 + 1 = 217, three digits.
    const std::string expected =
        "MMEM:CAT?\nMMEM:DEL 'QUIL----'\nMMEM:DATA 'QUIL----',#3217" + header + samples + "}\n";
    EXPECT_EQ(Wire(expected.size()), expected);
    EXPECT_EQ(status, (std::vector<std::string>{"preparing data for ARB generator...",
                                                "checking ARB for existing files...",
                                                "writing file QUIL---- to ARB generator...",
                                                "file QUIL---- written to ARB"}));
}

TEST_F(Upload, CatalogueNamesAreCaseSensitive) {
    bench.inst->On("MMEM:CAT?", {"1024,2000,\"quil----,BIN,16\"\n"});
    wv.SetSamples(1);
    ASSERT_EQ(wv.UploadWV(vif, {0.0}, {0.0}, 4096), WVClass::UploadOK);
    EXPECT_EQ(Wire(30).rfind("MMEM:CAT?\nMMEM:DATA 'QUIL----',#", 0), 0u);
}

TEST_F(Upload, CatalogueIsReadWholeAndMatchedByWholeNames) {
    // Three hundred files before ours: far more than a thousand characters.
    std::string many, manyInList;
    for (int k = 0; k < 300; ++k) {
        many += ",\"FILE" + std::to_string(k) + ",BIN,4096\"";
        manyInList += "FILE" + std::to_string(k) + ",";
    }
    const struct {
        int arbType;
        std::string catalogue;
        bool deleted;
    } cases[] = {
        {0, "1,2" + many + ",\"QUIL----,BIN,16\"", true},
        {0, "1,2,\"QUIL----X,BIN,16\",\"XQUIL----,BIN,16\"", false},
        {0, "1,2,\"OTHER,BIN,16\",\"QUIL----,BIN,16\"", true},
        {0, "1,2,\"OTHER,QUIL----,16\"", false}, // not a name field
        {1, "\"" + manyInList + "QUIL----\"", true},
        {1, "\"QUIL----X,AQUIL----\"", false},
        {1, "\"A, QUIL---- ,B\"", true},
        {2, "\"" + manyInList + "QUIL----.WV\"", true},
        {2, "\"D:\\QUIL----.wv\"", true},
        {2, "\"QUIL----.WVX,QUIL----X.WV\"", false},
    };
    for (const auto& c : cases) {
        const std::size_t before = bench.server.Received().size();
        const char* query = c.arbType == 0 ? "MMEM:CAT?" : "ARB:WAV:CAT?";
        bench.inst->On(query, {c.catalogue + "\n"});
        wv.SetARBType(c.arbType);
        wv.SetSamples(1);
        ASSERT_EQ(wv.UploadWV(vif, {0.0}, {0.0}, 4096), WVClass::UploadOK);
        const std::string del =
            c.arbType == 0 ? "MMEM:DEL 'QUIL----'\n" : "ARB:WAV:DEL 'QUIL----'\n";
        const std::string start =
            std::string(query) + "\n" + (c.deleted ? del : "") + "MMEM:DATA '";
        // The previous upload's last bytes may still be on their way: this
        // upload's exchange begins at its own catalogue query.
        const std::size_t at = Wire(before + 1).find(std::string(query) + "\n", before);
        ASSERT_NE(at, std::string::npos) << c.catalogue.substr(0, 60);
        EXPECT_EQ(Wire(at + start.size()).compare(at, start.size(), start), 0)
            << c.catalogue.substr(0, 60);
    }
}

TEST_F(Upload, SignedVariantGoesToTheHardDiskOfTheGenerator) {
    bench.inst->On("ARB:WAV:CAT?", {"\"QUILAMPM.WV,OTHER.WV\"\n"});
    wv.SetARBType(2);
    wv.SetFileName("QUILAMPM");
    wv.SetSamples(2);
    const std::vector<double> I{1.0, -1.0}, Q{0.0, 0.5};
    const std::string file = wv.GetWVHeader() + Bytes(wv.PreKLDIQForWV(I, Q)) + "}";
    ASSERT_EQ(wv.UploadWV(vif, I, Q, 3), WVClass::UploadOK);
    const std::string expected = "ARB:WAV:CAT?\nARB:WAV:DEL 'QUILAMPM'\n"
                                 "MMEM:DATA 'D:\\QUILAMPM.WV'," +
                                 WVClass::BlockPrefix(static_cast<std::int64_t>(file.size())) +
                                 file + "\n";
    EXPECT_EQ(Wire(expected.size()), expected);
}

TEST_F(Upload, LocalCopyIsACompleteFile) {
    wv.SetSamples(3);
    const std::vector<double> I{0.1, 0.2, 0.3}, Q{-0.1, -0.2, -0.3};
    const std::string file = wv.GetWVHeader() + Bytes(wv.PrepIQForWV(I, Q)) + "}";
    ASSERT_EQ(wv.UploadWV(vif, I, Q, 4096), WVClass::UploadOK);
    EXPECT_FALSE(std::filesystem::exists(".wv")); // no local copy without a name
    // An older, longer copy is replaced, not overwritten in part.
    const std::string base = tmp.File("sig");
    WriteFile(base + ".wv", std::string(5000, 'x'));
    wv.SetPCFileName(base);
    ASSERT_EQ(wv.UploadWV(vif, I, Q, 4096), WVClass::UploadOK);
    EXPECT_EQ(ReadFile(base + ".wv"), file);
    wv.SetPCFileName(tmp.File("no/such/folder/sig"));
    EXPECT_EQ(wv.UploadWV(vif, I, Q, 4096), WVClass::UploadLocalFailed);
}

TEST_F(Upload, FailuresAreReported) {
    // A record that does not match Samples, or I and Q of different length.
    wv.SetSamples(2);
    EXPECT_EQ(wv.UploadWV(vif, {0.1}, {0.1}, 4096), WVClass::UploadBadRecord);
    EXPECT_EQ(wv.UploadWV(vif, {0.1, 0.2}, {0.1}, 4096), WVClass::UploadBadRecord);
    EXPECT_TRUE(bench.server.Received().empty());

    // An instrument that has hung up: no success is announced.
    FakeScpiServer leaving([](const std::string& line) {
        return line == "*IDN?" ? std::vector<FakeStep>{Send("X\n"), Close()}
                               : std::vector<FakeStep>{};
    });
    VIF gone;
    std::string idn;
    ASSERT_TRUE(gone.OpenDevice(leaving.Resource(), false) && gone.ReadString("*IDN?", idn));
    ASSERT_TRUE(leaving.WaitAnswered(1)); // the hang-up has reached the session
    EXPECT_EQ(wv.UploadWV(gone, {0.5, 0.5}, {0.5, 0.5}, 4096), WVClass::UploadWriteFailed);
    EXPECT_EQ(std::count(status.begin(), status.end(), "file QUIL---- written to ARB"), 0);
    EXPECT_EQ(wv.OpenStream(gone), WVClass::UploadWriteFailed);
    EXPECT_FALSE(wv.Streaming());
}

TEST_F(Upload, AnEmptyRecordIsAnEmptyBlockAndOnlyANegativeCountIsRefused) {
    wv.SetSamples(0);
    const std::string header = wv.GetWVHeader();
    // the header and the closing brace, nothing between them
    const std::string n = std::to_string(header.size() + 1);
    const std::string block =
        "MMEM:CAT?\nMMEM:DATA 'QUIL----',#" + std::to_string(n.size()) + n + header + "}\n";
    ASSERT_EQ(wv.UploadWV(vif, {}, {}, 4096), WVClass::UploadOK);
    EXPECT_EQ(Wire(block.size()), block);
    ASSERT_EQ(wv.OpenStream(vif), WVClass::UploadOK);
    ASSERT_EQ(wv.OutputStream(vif, {}, {}), WVClass::UploadOK);
    EXPECT_FALSE(wv.Streaming());
    EXPECT_EQ(Wire(2 * block.size()), block + block);

    wv.SetSamples(-1);
    EXPECT_EQ(wv.UploadWV(vif, {}, {}, 4096), WVClass::UploadBadRecord);
    EXPECT_EQ(wv.OpenStream(vif), WVClass::UploadBadRecord);
    EXPECT_FALSE(wv.Streaming());
}

struct Stream : Upload {
    std::vector<double> I, Q;
    std::string header, samples;
    void SetUp() override {
        Upload::SetUp();
        wv.SetSamples(1000);
        for (int k = 0; k < 1000; ++k) {
            I.push_back(std::sin(k * 0.01));
            Q.push_back(std::cos(k * 0.01) * 0.5);
        }
        header = wv.GetWVHeader();
        samples = Bytes(wv.PrepIQForWV(I, Q));
    }
    std::int16_t Send(int from, int count, VIF& to) {
        return wv.OutputStream(to, {I.begin() + from, I.begin() + from + count},
                               {Q.begin() + from, Q.begin() + from + count});
    }
    std::int16_t Send(int from, int count) { return Send(from, count, vif); }
};

TEST_F(Stream, PiecesAddUpToSamples) {
    EXPECT_EQ(Send(0, 10), WVClass::UploadNotStreaming); // not opened yet
    const std::string local = tmp.File("stream.wv");
    wv.SetPCFileName(local);
    ASSERT_EQ(wv.OpenStream(vif), WVClass::UploadOK);
    ASSERT_EQ(Send(0, 250), WVClass::UploadOK);
    ASSERT_EQ(Send(250, 250), WVClass::UploadOK);
    // Too many pairs, or I and Q apart: refused, the stream goes on.
    EXPECT_EQ(wv.OutputStream(vif, I, Q), WVClass::UploadNotStreaming);
    EXPECT_EQ(wv.OutputStream(vif, {0.0}, {}), WVClass::UploadBadRecord);
    ASSERT_EQ(Send(500, 250), WVClass::UploadOK);
    ASSERT_EQ(Send(750, 250), WVClass::UploadOK);
    EXPECT_EQ(progress, (std::vector<float>{25, 50, 75, 100}));
    EXPECT_FALSE(wv.Streaming());
    const std::string n = std::to_string(header.size() + 4001);
    const std::string expected = "MMEM:CAT?\nMMEM:DATA 'QUIL----',#" + std::to_string(n.size()) +
                                 n + header + samples + "}\n";
    EXPECT_EQ(Wire(expected.size()), expected);
    EXPECT_EQ(ReadFile(local), header + samples + "}"); // complete and closed
    EXPECT_EQ(status,
              (std::vector<std::string>{"preparing streaming to ARB generator...",
                                        "checking ARB for existing files...", "stream opened"}));
    // The stream is over: another piece is refused and nothing goes out.
    EXPECT_EQ(Send(0, 10), WVClass::UploadNotStreaming);
    EXPECT_EQ(bench.server.Received().size(), expected.size());
}

TEST_F(Stream, InstrumentLostOnTheWay) {
    auto leaving = std::make_unique<FakeScpiServer>([](const std::string& line) {
        return line == "MMEM:CAT?" ? std::vector<FakeStep>{::Send("0,0\n")}
                                   : std::vector<FakeStep>{};
    });
    VIF later;
    ASSERT_TRUE(later.OpenDevice(leaving->Resource(), false));
    const std::string local = tmp.File("partial.wv");
    wv.SetPCFileName(local);
    ASSERT_EQ(wv.OpenStream(later), WVClass::UploadOK);
    leaving.reset(); // gone once the session has seen the end of the connection
    EXPECT_EQ(Send(0, 10, later), WVClass::UploadWriteFailed);
    EXPECT_FALSE(wv.Streaming());
    EXPECT_EQ(ReadFile(local), header); // closed, with what had gone out
}

} // namespace
