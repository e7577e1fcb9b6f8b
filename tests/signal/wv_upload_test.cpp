// The upload of a waveform over an instrument session, seen on the wire of a
// scripted instrument: catalogue and deletion, the block message, the local
// copy, the streamed upload and failures.

#include "../instruments/bench.h"
#include "Services.h"
#include "WVClass.h"
#include "WaveTestSupport.h"

#include "RootDebug.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

std::string Bytes(const std::vector<std::uint8_t>& b) { return std::string(b.begin(), b.end()); }

struct Upload : ::testing::Test {
    TempFolder tmp;
    Bench bench;
    VIF vif;
    WVClass wv;
    std::vector<std::string> status;
    std::vector<float> progress;
    std::vector<std::int32_t> clipped;

    void SetUp() override {
        QObject::connect(&wv, &WVClass::WVStatus, [this](const std::string& s) { status.push_back(s); });
        QObject::connect(&wv, &WVClass::WVStreamProgress, [this](float p) { progress.push_back(p); });
        QObject::connect(&wv, &WVClass::WVClipped, [this](std::int32_t n) { clipped.push_back(n); });
        bench.inst->On("MMEM:CAT?", {"0,0\n"});
        bench.inst->On("ARB:WAV:CAT?", {"\"\"\n"});
        ASSERT_TRUE(vif.OpenDevice(bench.Resource(), false));
    }
    // Everything the instrument received, once it holds `n` bytes.
    std::string Wire(std::size_t n) {
        bench.server.WaitReceived(n, 5000);
        return bench.server.Received();
    }
    // A header of exactly `length` characters, made up by the comment.
    std::string HeaderOf(std::size_t length) {
        wv.SetComment("");
        wv.SetCopyRight("");
        const std::size_t bare = wv.GetWVHeader().size();
        wv.SetComment(std::string(length - bare, 'c'));
        return wv.GetWVHeader();
    }
};

TEST_F(Upload, OneBlockMessageWithItsLengthAndDeletion) {
    bench.inst->On("MMEM:CAT?", {"1024,2000,\"QUIL----,BIN,16\"\n"});
    wv.SetARBType(0);
    wv.SetFileName(" QUIL----");
    wv.SetSamples(4);
    const std::string header = HeaderOf(200);
    const std::vector<double> I{0, 1, -1, 0.5}, Q{0, 0, 0, 0};
    const std::string samples = Bytes(wv.PrepIQForWV(I, Q));
    ASSERT_EQ(wv.UploadWV(vif, I, Q, 4096), WVClass::UploadOK);

    // N = 200 + 16 + 1 = 217, three digits.
    const std::string expected = "MMEM:CAT?\nMMEM:DEL 'QUIL----'\nMMEM:DATA 'QUIL----',#3217" +
                                 header + samples + "}\n";
    EXPECT_EQ(Wire(expected.size()), expected);
    EXPECT_EQ(status, (std::vector<std::string>{
                          "preparing data for ARB generator...", "checking ARB for existing files...",
                          "writing file QUIL---- to ARB generator...", "file QUIL---- written to ARB"}));
}

TEST_F(Upload, StepsAreTraced) {
    RootDebug& debug = General::RootDebugInstance();
    const int depth = debug.Depth();
    std::vector<std::string> frames;
    QObject::connect(&wv, &WVClass::WVStatus, [&](const std::string&) {
        std::string f;
        for (int k = depth + 1; k <= debug.Depth(); ++k)
            f += debug.Frame(k).ObjectName + "." + debug.Frame(k).ProcName + " ";
        frames.push_back(f);
    });
    wv.SetFileName("QUIL----");
    ASSERT_EQ(wv.UploadWV(vif, {}, {}, 4096), WVClass::UploadOK);
    EXPECT_EQ(frames, (std::vector<std::string>{"WVClass.UploadWV WVClass.SendARBFile ",
                                                "WVClass.UploadWV WVClass.SendARBFile WVClass.DelARBFile ",
                                                "WVClass.UploadWV WVClass.SendARBFile ",
                                                "WVClass.UploadWV WVClass.SendARBFile "}));
    EXPECT_EQ(debug.Depth(), depth);
}

TEST_F(Upload, CatalogueNamesAreCaseSensitive) {
    bench.inst->On("MMEM:CAT?", {"1024,2000,\"quil----,BIN,16\"\n"});
    wv.SetFileName("QUIL----");
    wv.SetSamples(1);
    ASSERT_EQ(wv.UploadWV(vif, {0.0}, {0.0}, 4096), WVClass::UploadOK);
    const std::string wire = Wire(30);
    EXPECT_EQ(wire.find("DEL"), std::string::npos);
    EXPECT_EQ(wire.rfind("MMEM:CAT?\nMMEM:DATA 'QUIL----',#", 0), 0u) << wire;
}

TEST_F(Upload, SignedVariantGoesToTheHardDiskOfTheGenerator) {
    bench.inst->On("ARB:WAV:CAT?", {"\"QUILAMPM.WV,OTHER.WV\"\n"});
    wv.SetARBType(2);
    wv.SetFileName("QUILAMPM");
    wv.SetSamples(2);
    const std::vector<double> I{1.0, -1.0}, Q{0.0, 2.0};
    const std::string header = wv.GetWVHeader();
    const std::string samples = Bytes(wv.PreKLDIQForWV(I, Q));
    clipped.clear();
    ASSERT_EQ(wv.UploadWV(vif, I, Q, 3), WVClass::UploadOK);
    const std::string n = std::to_string(header.size() + 8 + 1);
    const std::string expected = "ARB:WAV:CAT?\nARB:WAV:DEL 'QUILAMPM'\nMMEM:DATA 'D:\\QUILAMPM.WV',#" +
                                 std::to_string(n.size()) + n + header + samples + "}\n";
    EXPECT_EQ(Wire(expected.size()), expected);
    EXPECT_EQ(samples.substr(0, 6), std::string("\xFF\x7F\x00\x00\x00\x80", 6));
    EXPECT_EQ(clipped, (std::vector<std::int32_t>{1}));
}

TEST_F(Upload, LocalCopyIsACompleteFile) {
    wv.SetFileName("QUIL----");
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
    wv.SetFileName("QUIL----");
    wv.SetSamples(2);
    // A record that does not match Samples, or I and Q of different length:
    // nothing is sent.
    EXPECT_EQ(wv.UploadWV(vif, {0.1}, {0.1}, 4096), WVClass::UploadBadRecord);
    EXPECT_EQ(wv.UploadWV(vif, {0.1, 0.2}, {0.1}, 4096), WVClass::UploadBadRecord);
    EXPECT_TRUE(bench.server.Received().empty());

    // A session that is not open takes nothing; success is not announced.
    VIF closed;
    status.clear();
    EXPECT_EQ(wv.UploadWV(closed, {0.1, 0.2}, {0.1, 0.2}, 4096), WVClass::UploadWriteFailed);
    EXPECT_EQ(std::count(status.begin(), status.end(), "file QUIL---- written to ARB"), 0);
    EXPECT_EQ(wv.OpenStream(closed), WVClass::UploadWriteFailed);
    EXPECT_FALSE(wv.Streaming());
}

TEST_F(Upload, LostConnectionIsAFailedWrite) {
    // An instrument that has hung up.
    auto leaving = std::make_unique<FakeScpiServer>([](const std::string& line) {
        return line == "*IDN?" ? std::vector<FakeStep>{Send("X\n"), Close()} : std::vector<FakeStep>{};
    });
    VIF gone;
    ASSERT_TRUE(gone.OpenDevice(leaving->Resource(), false));
    std::string idn;
    ASSERT_TRUE(gone.ReadString("*IDN?", idn));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    wv.SetFileName("QUIL----");
    wv.SetSamples(1);
    status.clear();
    EXPECT_EQ(wv.UploadWV(gone, {0.5}, {0.5}, 4096), WVClass::UploadWriteFailed);
    EXPECT_EQ(std::count(status.begin(), status.end(), "file QUIL---- written to ARB"), 0);

    // A stream whose instrument goes away after its header.
    auto leavingLater = std::make_unique<FakeScpiServer>([](const std::string& line) {
        return line == "MMEM:CAT?" ? std::vector<FakeStep>{Send("0,0\n")} : std::vector<FakeStep>{};
    });
    VIF later;
    ASSERT_TRUE(later.OpenDevice(leavingLater->Resource(), false));
    const std::string local = tmp.File("partial.wv");
    wv.SetPCFileName(local);
    wv.SetSamples(2);
    ASSERT_EQ(wv.OpenStream(later), WVClass::UploadOK);
    leavingLater.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(wv.OutputStream(later, {0.5}, {0.5}), WVClass::UploadWriteFailed);
    EXPECT_FALSE(wv.Streaming());
    EXPECT_EQ(wv.OutputStream(later, {0.5}, {0.5}), WVClass::UploadNotStreaming);
    EXPECT_EQ(ReadFile(local), wv.GetWVHeader()); // closed, with what had gone out
}

struct Stream : Upload {
    std::vector<double> I, Q;
    std::string header, samples;
    void SetUp() override {
        Upload::SetUp();
        wv.SetFileName("QUIL----");
        wv.SetSamples(1000);
        for (int k = 0; k < 1000; ++k) {
            I.push_back(std::sin(k * 0.01));
            Q.push_back(std::cos(k * 0.01) * 0.5);
        }
        header = wv.GetWVHeader();
        samples = Bytes(wv.PrepIQForWV(I, Q));
    }
    std::vector<double> Piece(const std::vector<double>& v, int from, int count) {
        return {v.begin() + from, v.begin() + from + count};
    }
    std::int16_t Send(int from, int count) {
        return wv.OutputStream(vif, Piece(I, from, count), Piece(Q, from, count));
    }
};

TEST_F(Stream, PiecesAddUpToSamples) {
    const std::string local = tmp.File("stream.wv");
    wv.SetPCFileName(local);
    ASSERT_EQ(wv.OpenStream(vif), WVClass::UploadOK);
    EXPECT_TRUE(wv.Streaming());
    const std::string start = "MMEM:CAT?\nMMEM:DATA 'QUIL----',#" +
                              std::to_string(std::to_string(header.size() + 4001).size()) +
                              std::to_string(header.size() + 4001) + header;
    for (int k = 0; k < 4; ++k)
        ASSERT_EQ(Send(250 * k, 250), WVClass::UploadOK) << k;
    EXPECT_EQ(progress, (std::vector<float>{25, 50, 75, 100}));
    EXPECT_FALSE(wv.Streaming());
    const std::string expected = start + samples + "}\n";
    EXPECT_EQ(Wire(expected.size()), expected);
    // The local file of exactly that name is complete and closed.
    EXPECT_EQ(ReadFile(local), header + samples + "}");
    EXPECT_EQ(status, (std::vector<std::string>{"preparing streaming to ARB generator...",
                                                "checking ARB for existing files...", "stream opened"}));

    // The stream is over: another piece is refused and nothing goes out.
    const std::size_t before = bench.server.Received().size();
    EXPECT_EQ(Send(0, 10), WVClass::UploadNotStreaming);
    EXPECT_EQ(bench.server.Received().size(), before);
}

TEST_F(Stream, PieceBeyondSamplesIsRefused) {
    EXPECT_EQ(Send(0, 10), WVClass::UploadNotStreaming); // not opened yet
    ASSERT_EQ(wv.OpenStream(vif), WVClass::UploadOK);
    ASSERT_EQ(Send(0, 900), WVClass::UploadOK);
    ASSERT_EQ(Send(900, 100), WVClass::UploadOK);
    EXPECT_FALSE(wv.Streaming());

    ASSERT_EQ(wv.OpenStream(vif), WVClass::UploadOK);
    ASSERT_EQ(Send(0, 900), WVClass::UploadOK);
    std::vector<double> tooMany(200, 0.0);
    EXPECT_EQ(wv.OutputStream(vif, tooMany, tooMany), WVClass::UploadNotStreaming);
    EXPECT_TRUE(wv.Streaming());
    EXPECT_EQ(wv.OutputStream(vif, {0.0}, {}), WVClass::UploadBadRecord);
    ASSERT_EQ(Send(900, 100), WVClass::UploadOK);
    EXPECT_FALSE(wv.Streaming());
    EXPECT_EQ(progress.back(), 100.0f);
}

} // namespace
