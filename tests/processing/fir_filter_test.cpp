#include "processing/fir_filter.h"

#include <gtest/gtest.h>

#include <random>

namespace {

constexpr int32_t kN = 8 * 50;  // a 50-frame window

// The two windows of the cycle's filter step.
struct FilterWindows {
  ArrayOfDataType data = ArrayOfDataType(kN, 0);
  ArrayOfDataType filtered = ArrayOfDataType(kN, 0);
  int32_t filteredLength = kN;
  TProgParam params;

  explicit FilterWindows(std::vector<double> coefs) {
    params.Filter.Coefs = std::move(coefs);
    params.Filter.Loaded = true;
    params.PPSChannel = 3;
  }
  int32_t Run(int32_t newCount, int32_t& pps) {
    return RunFilter(data, filtered, filteredLength, params, newCount, pps);
  }
  int32_t At(int frame, int c) const { return filtered[8 * frame + c]; }
};

TEST(FirFilter, ThreeTapsSpreadAnImpulseOverThreeOutputFrames) {
  FilterWindows w({0.25, 0.5, 0.25});
  const int g = 30;
  w.data[8 * g + 0] = 100;
  w.data[8 * g + 2] = 40;    // the last filtered channel
  w.data[8 * g + 3] = 9000;  // PPS channel: passed through
  w.data[8 * g + 7] = -5;    // above the PPS channel: passed through
  int32_t pps = 0;
  EXPECT_EQ(w.Run(kN, pps), kN);
  EXPECT_EQ(w.filteredLength, kN - 8 * 3);
  const std::vector<int32_t> channel0 = {w.At(g - 3, 0), w.At(g - 2, 0), w.At(g - 1, 0),
                                         w.At(g, 0), w.At(g + 1, 0)};
  EXPECT_EQ(channel0, (std::vector<int32_t>{0, 25, 50, 25, 0}));
  EXPECT_EQ(w.At(g - 2, 2), 10);
  EXPECT_EQ(w.At(g - 1, 2), 20);
  // Unfiltered channels take the newest frame of each run: frame g appears at g - 2.
  EXPECT_EQ(w.At(g - 2, 3), 9000);
  EXPECT_EQ(w.At(g - 1, 3), 0);
  EXPECT_EQ(w.At(g - 2, 7), -5);
}

// The PPS position follows the pulse frame to its output frame.
TEST(FirFilter, ThePulseMovesBackByTheFilterLag) {
  const auto after = [](std::vector<double> coefs, int32_t pps) {
    FilterWindows(std::move(coefs)).Run(kN, pps);
    return pps;
  };
  EXPECT_EQ(after({1.0}, 8 * 20), 8 * 20);
  EXPECT_EQ(after({0.25, 0.5, 0.25}, 8 * 30), 8 * 28);
  EXPECT_EQ(after({0.25, 0.5, 0.25}, 8 * 1), 0);  // the newest input of no output frame
  EXPECT_EQ(after({0.25, 0.5, 0.25}, 0), 0);      // no pulse stays no pulse
}

TEST(FirFilter, RoundsHalvesToEven) {
  FilterWindows w({0.5});
  w.data[0] = 5;    // 2.5 -> 2
  w.data[8] = 7;    // 3.5 -> 4
  w.data[16] = -3;  // -1.5 -> -2
  int32_t pps = 0;
  w.Run(kN, pps);
  EXPECT_EQ(w.At(0, 0), 2);
  EXPECT_EQ(w.At(1, 0), 4);
  EXPECT_EQ(w.At(2, 0), -2);
}

TEST(FirFilter, ANewCountLargerThanTheFilteredLengthRecomputesEverything) {
  FilterWindows w({0.5, 0.5});
  for (int32_t i = 0; i < kN; ++i) w.data[i] = 2 * i;
  std::fill(w.filtered.begin(), w.filtered.end(), 777);
  w.filteredLength = 16;
  int32_t pps = 0;
  w.Run(64, pps);
  EXPECT_EQ(w.filteredLength, kN - 16);
  EXPECT_EQ(w.filtered[0], (0 + 16) / 2);
  EXPECT_EQ(w.filtered[kN - 24], (2 * (kN - 24) + 2 * (kN - 16)) / 2);
}

// Filtering cycle by cycle as the window slides gives the same output as
// filtering the final window at once.
TEST(FirFilter, SlidingCyclesMatchOneWholeRun) {
  const std::vector<double> coefs = {0.1, 0.2, 0.4, 0.2, 0.1};
  std::mt19937 rng(42);
  std::uniform_int_distribution<int32_t> dist(-100000, 100000);
  FilterWindows sliding(coefs);
  int32_t pps = 0;
  for (int cycle = 0; cycle < 12; ++cycle) {
    const int32_t m = 8 * (3 + cycle % 4);
    auto& d = sliding.data;
    std::copy(d.begin() + m, d.end(), d.begin());
    for (int32_t i = kN - m; i < kN; ++i) d[i] = dist(rng);
    sliding.Run(m, pps);
  }
  FilterWindows whole(coefs);
  whole.data = sliding.data;
  whole.Run(kN, pps);
  ASSERT_EQ(sliding.filteredLength, whole.filteredLength);
  // Frames that entered the window after the first cycle are complete in both.
  sliding.filtered.resize(sliding.filteredLength);
  whole.filtered.resize(whole.filteredLength);
  EXPECT_EQ(sliding.filtered, whole.filtered);
}

}  // namespace
