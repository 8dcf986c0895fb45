// Reading a configuration file that grew to 10 MB of junk must stay linear.
#include <benchmark/benchmark.h>

#include <string>

#include "config/inifile.h"
#include "config/loadini.h"

namespace {

std::string TenMegabyteIni() {
  std::string text;
  text.reserve(11u << 20);
  int n = 0;
  while (text.size() < (10u << 20)) {
    text += "[Section" + std::to_string(n % 500) + "]\r\n";
    text += "Key" + std::to_string(n) + "=value " + std::to_string(n) + "\r\n";
    text += "Port=COM9\r\nline without equals sign\r\n";
    ++n;
  }
  return text;
}

void BM_ConfigIniParse10MB(benchmark::State& state) {
  const std::string text = TenMegabyteIni();
  for (auto _ : state) {
    IniFile ini = IniFile::Parse(text);
    benchmark::DoNotOptimize(ini);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ConfigIniParse10MB)->Unit(benchmark::kMillisecond);

void BM_ConfigParamsToText(benchmark::State& state) {
  const TProgParam p = FileDefaults();
  for (auto _ : state) benchmark::DoNotOptimize(ParamsToText(p));
}
BENCHMARK(BM_ConfigParamsToText);

}  // namespace
