#include "cipher/codec.h"
#include "cipher/des.h"
#include "tools/settings/encode.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

namespace {

using namespace tvk9;

void BM_DesKeySchedule(benchmark::State& state) {
    DesKey key{0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
    for (auto _ : state) {
        DesKeySchedule(key);
        benchmark::DoNotOptimize(DesRoundKeys);
        ++key[7];
    }
}
BENCHMARK(BM_DesKeySchedule);

void BM_DesCipherBlock(benchmark::State& state) {
    const auto mode = state.range(0) == 0 ? DesMode::Encipher : DesMode::Decipher;
    DesKeySchedule({0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1});
    DesBlock block{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    for (auto _ : state) {
        // Chained, so each block waits for the one before: latency, not just throughput.
        DesCipherBlock(mode, block, block);
        benchmark::DoNotOptimize(block);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 8);
}
BENCHMARK(BM_DesCipherBlock)->Arg(0)->Arg(1)->ArgName("decipher");

// One line of a settings file as the loader meets it: 16 hex digits under a 13-byte key.
void BM_DecipherHexStrSettingsLine(benchmark::State& state) {
    const std::string key = "Rt5wPq417mxne";
    const std::string line = EncipherHexStr("1", key);
    for (auto _ : state) {
        benchmark::DoNotOptimize(DecipherHexStr(line, key));
    }
}
BENCHMARK(BM_DecipherHexStrSettingsLine);

// A long line, for the cost per byte of hex decoding and deciphering.
void BM_DecipherHexStrLong(benchmark::State& state) {
    const std::string key = "kdm382pa";
    const std::string line =
        EncipherHexStr(std::string(static_cast<std::size_t>(state.range(0)), 'x'), key);
    for (auto _ : state) {
        benchmark::DoNotOptimize(DecipherHexStr(line, key));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_DecipherHexStrLong)->Arg(4096);

} // namespace

BENCHMARK_MAIN();
