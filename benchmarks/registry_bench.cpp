// Timing of loading registry files of many values in one key and of many
// sibling keys, the shapes that once made loading quadratic.
#include "RegistryFile.h"

#include <benchmark/benchmark.h>
#include <string>

namespace {

std::string ManyValues(int n) {
    std::string text = "[HKEY_CURRENT_USER\\Software\\Cache]\n";
    for (int i = 0; i < n; ++i)
        text += "\"Device" + std::to_string(i) + "\"=sz:\"TCPIP0::10.0.0." +
                std::to_string(i % 250) + "::INSTR\"\n";
    return text;
}

std::string ManyKeys(int n) {
    std::string text;
    for (int i = 0; i < n; ++i)
        text += "[HKEY_CURRENT_USER\\Software\\Cache\\Key" + std::to_string(i) +
                "]\n\"v\"=dword:0000000" + std::to_string(i % 10) + "\n";
    return text;
}

void Load(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        Registry::Tree tree;
        benchmark::DoNotOptimize(Registry::ParseRegistryText(text, tree));
    }
}

void ValuesInOneKey(benchmark::State& state) {
    Load(state, ManyValues(static_cast<int>(state.range(0))));
}
void SiblingKeys(benchmark::State& state) {
    Load(state, ManyKeys(static_cast<int>(state.range(0))));
}

} // namespace

BENCHMARK(ValuesInOneKey)->Arg(10000)->Arg(80000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(SiblingKeys)->Arg(10000)->Arg(80000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_MAIN();
