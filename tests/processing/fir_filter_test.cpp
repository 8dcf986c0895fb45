#include "processing/fir_filter.h"

#include <gtest/gtest.h>

#include <random>

#include "station/station_state.h"

namespace {

constexpr int32_t kN = 8 * 50;  // a 50-frame window

struct FilterStation {
  StationState state;
  TProgParam params;

  explicit FilterStation(std::vector<double> coefs, int32_t ppsChannel = 3) {
    params.Filter.Coefs = std::move(coefs);
    params.Filter.Loaded = true;
    params.PPSChannel = ppsChannel;
    state.BufferLength = kN;
    state.DataBuffer.assign(kN, 0);
    state.FilteredBuffer.assign(kN, 0);
    state.FilteredLength = kN;
  }
};

TEST(FirFilter, ThreeTapsSpreadAnImpulseOverThreeOutputFrames) {
  FilterStation s({0.25, 0.5, 0.25});
  const int g = 30;
  s.state.DataBuffer[8 * g + 0] = 100;
  s.state.DataBuffer[8 * g + 2] = 40;    // the last filtered channel
  s.state.DataBuffer[8 * g + 3] = 9000;  // PPS channel: passed through
  s.state.DataBuffer[8 * g + 7] = -5;    // above the PPS channel: passed through
  int32_t pps = 0;
  EXPECT_EQ(RunFilter(s.state, s.params, kN, pps), kN);
  EXPECT_EQ(s.state.FilteredLength, kN - 8 * 3);
  const auto at = [&](int frame, int c) { return s.state.FilteredBuffer[8 * frame + c]; };
  EXPECT_EQ(at(g - 3, 0), 0);
  EXPECT_EQ(at(g - 2, 0), 25);
  EXPECT_EQ(at(g - 1, 0), 50);
  EXPECT_EQ(at(g, 0), 25);
  EXPECT_EQ(at(g + 1, 0), 0);
  EXPECT_EQ(at(g - 2, 2), 10);
  EXPECT_EQ(at(g - 1, 2), 20);
  // Unfiltered channels take the newest frame of each run: frame g appears at g - 2.
  EXPECT_EQ(at(g - 2, 3), 9000);
  EXPECT_EQ(at(g - 1, 3), 0);
  EXPECT_EQ(at(g - 2, 7), -5);
}

// The PPS position follows the pulse frame to its output frame.
TEST(FirFilter, ThePulseMovesBackByTheFilterLag) {
  const auto after = [](std::vector<double> coefs, int32_t pps) {
    FilterStation s(std::move(coefs));
    RunFilter(s.state, s.params, kN, pps);
    return pps;
  };
  EXPECT_EQ(after({1.0}, 8 * 20), 8 * 20);
  EXPECT_EQ(after({0.25, 0.5, 0.25}, 8 * 30), 8 * 28);
  EXPECT_EQ(after({0.25, 0.5, 0.25}, 8 * 1), 0);  // the newest input of no output frame
  EXPECT_EQ(after({0.25, 0.5, 0.25}, 0), 0);      // no pulse stays no pulse
}

TEST(FirFilter, RoundsHalvesToEven) {
  FilterStation s({0.5});
  s.state.DataBuffer[0] = 5;   // 2.5 -> 2
  s.state.DataBuffer[8] = 7;   // 3.5 -> 4
  s.state.DataBuffer[16] = -3; // -1.5 -> -2
  int32_t pps = 0;
  RunFilter(s.state, s.params, kN, pps);
  EXPECT_EQ(s.state.FilteredBuffer[0], 2);
  EXPECT_EQ(s.state.FilteredBuffer[8], 4);
  EXPECT_EQ(s.state.FilteredBuffer[16], -2);
}

TEST(FirFilter, ANewCountLargerThanTheFilteredLengthRecomputesEverything) {
  FilterStation s({0.5, 0.5});
  for (int32_t i = 0; i < kN; ++i) s.state.DataBuffer[i] = 2 * i;
  std::fill(s.state.FilteredBuffer.begin(), s.state.FilteredBuffer.end(), 777);
  s.state.FilteredLength = 16;
  int32_t pps = 0;
  RunFilter(s.state, s.params, 64, pps);
  EXPECT_EQ(s.state.FilteredLength, kN - 16);
  EXPECT_EQ(s.state.FilteredBuffer[0], (0 + 16) / 2);
  EXPECT_EQ(s.state.FilteredBuffer[kN - 24], (2 * (kN - 24) + 2 * (kN - 16)) / 2);
}

// Filtering cycle by cycle as the window slides gives the same output as
// filtering the final window at once.
TEST(FirFilter, SlidingCyclesMatchOneWholeRun) {
  const std::vector<double> coefs = {0.1, 0.2, 0.4, 0.2, 0.1};
  std::mt19937 rng(42);
  std::uniform_int_distribution<int32_t> dist(-100000, 100000);
  FilterStation sliding(coefs);
  int32_t pps = 0;
  for (int cycle = 0; cycle < 12; ++cycle) {
    const int32_t m = 8 * (3 + cycle % 4);
    auto& d = sliding.state.DataBuffer;
    std::copy(d.begin() + m, d.end(), d.begin());
    for (int32_t i = kN - m; i < kN; ++i) d[i] = dist(rng);
    RunFilter(sliding.state, sliding.params, m, pps);
  }
  FilterStation whole(coefs);
  whole.state.DataBuffer = sliding.state.DataBuffer;
  RunFilter(whole.state, whole.params, kN, pps);
  ASSERT_EQ(sliding.state.FilteredLength, whole.state.FilteredLength);
  // Frames that entered the window after the first cycle are complete in both.
  for (int32_t i = 0; i < sliding.state.FilteredLength; ++i)
    ASSERT_EQ(sliding.state.FilteredBuffer[i], whole.state.FilteredBuffer[i]) << i;
}

}  // namespace
