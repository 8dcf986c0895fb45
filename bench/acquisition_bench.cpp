// One acquisition cycle against the floor of moving the two windows.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
#include <cstring>
#include <random>

#include "config/progparam.h"
#include "platform/clock.h"
#include "station/acquisition.h"
#include "station/converter.h"

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
    s.LastPPSLevelTime = kBenchStartMs;
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
    CycleResult r = AppendBlock(b.s, b.P, b.gain, DisplayUnitKind::NanoMetrePerSecond, now);
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

// The rate-driven simulation: cycles 850 to 1500 ms apart, each reading the
// frames that fell due and appending them. Every cycle is set against the
// floor of moving the same two windows by the same count, timed in the same
// iteration: x_floor is the ratio of the two.
void BM_SimulatedCycle(benchmark::State& state) {
  const int32_t rate = static_cast<int32_t>(state.range(0));
  BenchStation b(rate);
  ManualClock clock(kBenchStartMs);
  SimulatedConverter converter(clock, 7);
  std::string description;
  converter.ADInitialize(0, description, rate);
  const int32_t N = b.s.BufferLength;
  ArrayOfDataType data(N, 1), raw(N, 2);
  std::mt19937 rng(1);
  std::uniform_int_distribution<int> interval(850, 1500);
  using Clock = std::chrono::steady_clock;
  double cycleSeconds = 0, floorSeconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    clock.AdvanceMs(interval(rng));
    state.ResumeTiming();
    const auto t0 = Clock::now();
    converter.ADReadBlock(0, b.s.RawBlock);
    const int32_t M = static_cast<int32_t>(b.s.CarryBlock.size() + b.s.RawBlock.size()) - 80;
    CycleResult r = AppendBlock(b.s, b.P, b.gain, DisplayUnitKind::NanoMetrePerSecond, clock.NowUnixMs());
    b.s.RawBlock.clear();
    const auto t1 = Clock::now();
    benchmark::DoNotOptimize(r.k);
    state.PauseTiming();
    const auto f0 = Clock::now();
    std::memmove(data.data(), data.data() + M, sizeof(int32_t) * (N - M));
    std::memmove(raw.data(), raw.data() + M, sizeof(int32_t) * (N - M));
    benchmark::DoNotOptimize(data.data());
    benchmark::DoNotOptimize(raw.data());
    benchmark::ClobberMemory();
    const auto f1 = Clock::now();
    state.ResumeTiming();
    cycleSeconds += std::chrono::duration<double>(t1 - t0).count();
    floorSeconds += std::chrono::duration<double>(f1 - f0).count();
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["cycle_ms"] = 1000.0 * cycleSeconds / n;
  state.counters["floor_ms"] = 1000.0 * floorSeconds / n;
  state.counters["x_floor"] = floorSeconds > 0 ? cycleSeconds / floorSeconds : 0;
}
BENCHMARK(BM_SimulatedCycle)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
