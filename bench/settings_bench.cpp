// Reading and editing a settings file of 1 MiB, the most one may hold, of
// bytes no editor would write after its "[Settings]" line: lines of '[' (a
// scan once walked back through the whole file for each of them), lines of
// 'x' (and searched on to its end for an '=') and random text bytes. Each
// must stay linear in the file's length.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "app/sdl/settings_file.h"

namespace {

constexpr std::size_t kFileBytes = std::size_t{1} << 20;

std::string settingsFileOf(std::int64_t kind) {
    std::string text = "[Settings]\n";
    text.reserve(kFileBytes);
    std::uint32_t random = 12345;
    while (text.size() < kFileBytes) {
        if (kind == 0) {
            text += "[\n";
        } else if (kind == 1) {
            text += "x\n";
        } else {
            random = random * 1664525u + 1013904223u;
            const char byte = static_cast<char>(random >> 24);
            text += static_cast<unsigned char>(byte) < 0x20 ? '\r' : byte;
        }
    }
    text.resize(kFileBytes);
    return text;
}

void BM_ReadSettingsText(benchmark::State& state) {
    const std::string text = settingsFileOf(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(readSettingsText(text, 24));
    }
}
BENCHMARK(BM_ReadSettingsText)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_EditSettingsText(benchmark::State& state) {
    const std::string text = settingsFileOf(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(editSettingsText(text, DisplaySettings{true, 800, 600, 16}));
    }
}
BENCHMARK(BM_EditSettingsText)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
