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
};

// Each filtered channel's impulse spreads to a quarter, a half and a quarter,
// halves rounding to even; the others pass the newest frame of each run.
TEST(FirFilter, ThreeTapsSpreadAnImpulseOverThreeOutputFrames) {
  FilterWindows w({0.25, 0.5, 0.25});
  const int g = 30;
  const std::vector<int32_t> impulse = {10, -6, 14, 9000, 0, 0, 0, -5};  // PPS channel 3
  std::copy(impulse.begin(), impulse.end(), w.data.begin() + 8 * g);
  int32_t pps = 0;
  EXPECT_EQ(w.Run(kN, pps), kN);
  EXPECT_EQ(w.filteredLength, kN - 8 * 3);
  // Output frames g - 3 to g + 1; the halves are 2.5, -1.5 and 3.5.
  const ArrayOfDataType frames(w.filtered.begin() + 8 * (g - 3), w.filtered.begin() + 8 * (g + 2));
  EXPECT_EQ(frames, (ArrayOfDataType{0, 0, 0, 0, 0, 0, 0, 0,
                                     2, -2, 4, 9000, 0, 0, 0, -5,
                                     5, -3, 7, 0, 0, 0, 0, 0,
                                     2, -2, 4, 0, 0, 0, 0, 0,
                                     0, 0, 0, 0, 0, 0, 0, 0}));
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
