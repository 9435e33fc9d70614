// Parsing a hive the size of a fresh Wine prefix's system.reg (about 2 MB, 10 000 keys), and
// converting a value's text to program text.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/posix/Hive.h"
#include "platform/posix/Text.h"

namespace {

std::string syntheticHive(int keys) {
  std::string text = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n";
  text += "#arch=win64\n\n";
  for (int i = 0; i < keys; ++i) {
    const std::string n = std::to_string(i);
    text += "[Software\\\\Classes\\\\CLSID\\\\{" + n + "-70DE-11D0-BD40}\\\\Instance] 1796656859\n";
    text += "#time=1dd865e905ab5b4\n\"FriendlyName\"=\"Filter " + n + " \\x20ac\"\n";
    text += "\"Flags\"=dword:00000001\n\"FilterData\"=hex:02,00,00,00,00,00,60,00,02,00,00,\\\n";
    text += "  00,00,00,00,00,30,70,69,33\n\n";
  }
  return text;
}

void BM_ParseHive(benchmark::State& state) {
  const std::string text = syntheticHive(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(platform::posix::hive::parse(text));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseHive)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_Utf16ToUtf8(benchmark::State& state) {
  const std::u16string text(255, u'\x00e9');
  for (auto _ : state) benchmark::DoNotOptimize(platform::posix::text::utf8Of(text));
}
BENCHMARK(BM_Utf16ToUtf8);

}  // namespace

BENCHMARK_MAIN();
