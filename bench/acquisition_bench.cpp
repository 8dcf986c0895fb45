// One acquisition cycle against the floor of moving the two windows.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstring>

#include "config/progparam.h"
#include "station/acquisition.h"

namespace {

constexpr int64_t kBenchStartMs = 1'780'315'200'000;

struct BenchStation {
  StationState s;
  TProgParam P;
  ArrayOfDataType block;
  ArrayOfReal gain = ArrayOfReal(8, 0.004656612873077393);

  explicit BenchStation(int32_t sampleRate) {
    P.SampleRate = sampleRate;
    P.ReSampling = 10;
    P.PPSChannel = 3;
    P.PPSTreshold = 5;
    P.PPSLevel = -500;  // detecting from the start
    P.PPSPeak = 9000;
    P.LSBin = {1.5, 1.5, 1.5, 1, 1, 1, 1, 1};
    P.AVGin = ArrayOfChannels(8, 3);
    P.Converter.OffsetCompensation = true;
    AllocateBuffers(s, P, false);
    s.LastPPSLevelTime = UnixMsToDateTime(kBenchStartMs);
    // One second of frames with the pulse always at the same frame: every
    // cycle finds it exactly one second after the previous one.
    block.resize(8 * static_cast<size_t>(sampleRate));
    uint32_t x = 12345;
    for (size_t k = 0; k < block.size(); ++k) {
      x = x * 1664525u + 1013904223u;
      block[k] = static_cast<int32_t>(x >> 8) - (1 << 23);
    }
    for (int32_t f = 0; f < sampleRate; ++f) block[8 * f + 3] = (f >= 13 && f < 113) ? 9000 : -1000;
    s.RawBlock.resize(block.size());
  }
};

void BM_AcquisitionCycle(benchmark::State& state) {
  BenchStation b(static_cast<int32_t>(state.range(0)));
  int64_t now = kBenchStartMs;
  for (auto _ : state) {
    std::memcpy(b.s.RawBlock.data(), b.block.data(), b.block.size() * sizeof(int32_t));
    now += 1000;
    CycleResult r = AppendBlock(b.s, b.P, b.gain, "nm/s", now);
    benchmark::DoNotOptimize(r.k);
  }
  state.SetBytesProcessed(state.iterations() * int64_t{b.s.BufferLength} * 4);
  // Peak memory of the process against the windows it must hold.
  const double windows = 4.0 * (b.s.DataBuffer.size() + b.s.RawBuffer.size() +
                                b.s.DisplayBuffer.size() + b.s.ResampledBuffer.size());
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_per_window_bytes"] = usage.ru_maxrss * 1024.0 / windows;
}
BENCHMARK(BM_AcquisitionCycle)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// The floor: the two windows moved by one second of frames.
void BM_AcquisitionWindowsMemmove(benchmark::State& state) {
  const int32_t N = static_cast<int32_t>(state.range(0)) * kWindowValuesPerHz;
  const int32_t M = 8 * static_cast<int32_t>(state.range(0));
  ArrayOfDataType data(N, 1), raw(N, 2);
  for (auto _ : state) {
    std::memmove(data.data(), data.data() + M, sizeof(int32_t) * (N - M));
    std::memmove(raw.data(), raw.data() + M, sizeof(int32_t) * (N - M));
    benchmark::DoNotOptimize(data.data());
    benchmark::DoNotOptimize(raw.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * int64_t{N} * 4);
}
BENCHMARK(BM_AcquisitionWindowsMemmove)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
