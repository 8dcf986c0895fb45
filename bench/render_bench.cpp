// The largest live picture: 60 s of 1000 Hz × 8 channels into 1600 × 1000,
// against the floor of reading the same values once.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <cstdlib>

#include "station/station_state.h"
#include "ui/waveform_renderer.h"

namespace {

// Text needs the font database, hence an application object; offscreen, so
// the benchmark runs without a display.
void EnsureGuiApplication() {
  if (QCoreApplication::instance()) return;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static int argc = 1;
  static char name[] = "velkor_bench";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = new QGuiApplication(argc, argv);
  (void)app;
}

constexpr int kRate = 1000;

const StationState& FullWindow() {
  static const StationState* st = [] {
    auto* s = new StationState;
    const int frames = 180 * kRate;
    s->DisplayBuffer.resize(static_cast<size_t>(frames) * 8);
    uint32_t noise = 1;
    for (int f = 0; f < frames; ++f)
      for (int k = 0; k < 8; ++k) {
        noise = noise * 1664525u + 1013904223u;
        s->DisplayBuffer[static_cast<size_t>(f) * 8 + k] =
            static_cast<int32_t>(20000 * std::sin(0.003 * f * (k + 1))) +
            static_cast<int32_t>(noise >> 22) - 512;
      }
    return s;
  }();
  return *st;
}

void BM_WaveformRenderLive(benchmark::State& state) {
  EnsureGuiApplication();
  TDisplaySettings settings;
  settings.SecondsShown = static_cast<int32_t>(state.range(0));
  const WaveformInput in = substGraphPaintAllAct(FullWindow(), kRate, settings);
  QImage img(1600, 1000, QImage::Format_RGB32);
  for (auto _ : state) {
    QPainter p(&img);
    RenderWaveform(p, img.rect(), in);
    p.end();
    benchmark::ClobberMemory();
  }
  state.counters["values"] = static_cast<double>(settings.SecondsShown) * kRate * 8;
}
BENCHMARK(BM_WaveformRenderLive)->Arg(60)->Arg(10)->Unit(benchmark::kMillisecond);

// Floor: one pass summing the values the 60-second picture reads.
void BM_WaveformSumFloor(benchmark::State& state) {
  const ArrayOfDataType& buffer = FullWindow().DisplayBuffer;
  const size_t count = static_cast<size_t>(60) * kRate * 8;
  const int32_t* first = buffer.data() + (buffer.size() - count);
  for (auto _ : state) {
    int64_t sums[8] = {};
    for (size_t i = 0; i < count; i += 8)
      for (int k = 0; k < 8; ++k) sums[k] += first[i + k];
    benchmark::DoNotOptimize(sums);
  }
}
BENCHMARK(BM_WaveformSumFloor)->Unit(benchmark::kMillisecond);

}  // namespace
