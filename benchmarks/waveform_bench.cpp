// The waveform side at its largest: packing 2^24 I/Q pairs in both sample
// formats, reading a 2^24-pair external I/Q file, and a 2^24-pair upload to
// the simulated bench's modulation source over loopback.

#include "Bench.h"
#include "IQFileReader.h"
#include "MathClass.h"
#include "VIF.h"
#include "WVClass.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

using Array = MathClass::Array;

constexpr std::int32_t kPairs = 1 << 24;

struct Record {
    Array I, Q;
};

// Noise of a quarter of the clock, peak 1: what the measurement uploads.
const Record& Noise() {
    static const Record r = [] {
        Record n;
        MathClass m;
        m.SignalNoise(4.0, 16.0, kPairs, 9.0f, false, n.I, n.Q);
        return n;
    }();
    return r;
}

void BM_PackOffsetBinary(benchmark::State& state) {
    const Record& r = Noise();
    WVClass wv;
    for (auto _ : state)
        benchmark::DoNotOptimize(wv.PrepIQForWV(r.I, r.Q));
}

void BM_PackSigned(benchmark::State& state) {
    const Record& r = Noise();
    WVClass wv;
    for (auto _ : state)
        benchmark::DoNotOptimize(wv.PreKLDIQForWV(r.I, r.Q));
}

// A temporary external I/Q file of n pairs, removed with the object.
struct IbnFile {
    std::filesystem::path path;
    explicit IbnFile(std::int32_t n) {
        path = std::filesystem::temp_directory_path() /
               ("quillon_bench_" + std::to_string(::getpid()) + ".ibn");
        WaveFileHeader h;
        h.HeaderLength = WaveFileHeader::Size;
        h.PairCount = n;
        h.Oversampling = 4;
        h.ClockHz = 16e6;
        std::uint8_t header[WaveFileHeader::Size];
        h.ToBytes(header);
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr) return;
        std::fwrite(header, 1, sizeof header, f);
        const Record& r = Noise();
        std::vector<float> block(static_cast<std::size_t>(n));
        for (const Array* a : {&r.I, &r.Q}) {
            for (std::size_t k = 0; k < block.size(); ++k)
                block[k] = static_cast<float>((*a)[k]);
            std::fwrite(block.data(), sizeof(float), block.size(), f);
        }
        std::fclose(f);
    }
    ~IbnFile() {
        std::error_code ec;
        std::filesystem::remove(path, ec);
    }
};

void BM_ReadIQFile(benchmark::State& state) {
    const auto n = static_cast<std::int32_t>(state.range(0));
    const IbnFile file(n);
    for (auto _ : state) {
        // Fresh arrays, as the test signal's file is read.
        Array I, Q;
        WaveFileHeader h;
        std::int32_t status = 0, got = 0;
        IQFileReader::OpenWaveFile(h, file.path.string(), status);
        if (status == 0) status = IQFileReader::ReadWaveData(I, Q, h.PairCount, got);
        IQFileReader::CloseWaveFile();
        if (status != 0 || got != n) {
            state.SkipWithError("the file could not be read");
            break;
        }
        benchmark::ClobberMemory();
    }
}

// One whole upload: catalogue query, block message with the sample bytes in
// 4096-byte pieces, and a query that returns once the bench has decoded and
// stored the file.
void BM_UploadToBench(benchmark::State& state) {
    simbench::BenchConfig config;
    config.modSource = simbench::Family::BOXW;
    simbench::Bench bench(config);
    std::string why;
    if (!bench.Listen(why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    std::thread server([&] { bench.Run(); });
    int port = -1;
    for (const auto& e : bench.Endpoints())
        if (e.roles & simbench::ModSourceRole) port = e.port;
    {
        VIF vif;
        WVClass wv;
        const Record& r = Noise();
        wv.SetSamples(static_cast<std::int32_t>(r.I.size()));
        wv.SetFileName("QUIL----");
        if (!vif.OpenDevice("TCPIP0::127.0.0.1::" + std::to_string(port) + "::SOCKET", false, false,
                            60000)) {
            state.SkipWithError("no session to the bench");
        } else {
            for (auto _ : state) {
                std::string answer;
                if (wv.UploadWV(vif, r.I, r.Q, 4096) != WVClass::UploadOK ||
                    !vif.ReadString("*OPC?", answer) || answer.rfind('1', 0) != 0) {
                    state.SkipWithError("upload failed");
                    break;
                }
            }
            state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 4 *
                                    static_cast<std::int64_t>(r.I.size()));
        }
    }
    bench.Stop();
    server.join();
}

} // namespace

BENCHMARK(BM_PackOffsetBinary)->Arg(kPairs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackSigned)->Arg(kPairs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadIQFile)->Arg(kPairs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UploadToBench)->Arg(kPairs)->Unit(benchmark::kMillisecond)->UseRealTime();
