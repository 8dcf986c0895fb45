#include "station/converter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace {

constexpr int64_t kDayMs = 1'780'000'000'000;  // a whole second

// The stream of a converter read on a schedule, all blocks joined.
struct Stream {
  int64_t frames = 0;
  std::vector<int32_t> blockFrames;
  std::vector<int64_t> pulseStarts[2];  // channels 3 and 6
  std::vector<int64_t> pulseFrames[2];
  std::vector<std::string> log;
};

Stream ReadOnSchedule(int32_t rate, double ppm, int64_t startMs, const std::vector<int64_t>& steps) {
  Stream st;
  ManualClock clock(startMs);
  SimulatedConverter conv(clock, 42, ppm, [&](const std::string& l) { st.log.push_back(l); });
  std::string description;
  conv.ADInitialize(0, description, rate);
  bool high[2] = {false, false};
  for (int64_t step : steps) {
    clock.AdvanceMs(step);
    ArrayOfDataType block;
    if (conv.ADReadBlock(0, block) != 0) continue;
    EXPECT_EQ(block.size() % 8, 0u);
    st.blockFrames.push_back(static_cast<int32_t>(block.size() / 8));
    for (size_t f = 0; f < block.size() / 8; ++f, ++st.frames) {
      for (int k = 0; k < 2; ++k) {
        const int32_t v = block[8 * f + (k == 0 ? 3 : 6)];
        EXPECT_TRUE(v == 9000 || v == -1000) << v;
        if (v == 9000 && !high[k]) {
          st.pulseStarts[k].push_back(st.frames);
          st.pulseFrames[k].push_back(0);
        }
        if (v == 9000) ++st.pulseFrames[k].back();
        high[k] = v == 9000;
      }
    }
  }
  return st;
}

// originMsOfSecond: where in the second the converter opens; pulseFrames: 100 ms,
// or the 30 frames the pulse search needs.
struct RateCase { const char* name; int32_t rate; double ppm; int64_t originMsOfSecond; int32_t pulseFrames; };

class ConverterOnItsClock : public ::testing::TestWithParam<RateCase> {};

TEST_P(ConverterOnItsClock, DeliversTheFramesDueAndPulsesOnEveryWholeSecond) {
  const RateCase& c = GetParam();
  // Jittered cycles of 850 to 1500 ms with one 3 s stall, 60 s in all.
  std::vector<int64_t> steps;
  uint32_t x = 99;
  int64_t total = 0;
  while (total < 60000) {
    x = x * 1664525u + 1013904223u;
    const int64_t step = steps.size() == 20 ? 3000 : 850 + (x >> 8) % 651;
    steps.push_back(step);
    total += step;
  }
  const Stream st = ReadOnSchedule(c.rate, c.ppm, kDayMs + c.originMsOfSecond, steps);
  const long double perMs = c.rate * (1.0L + c.ppm / 1e6L) / 1000.0L;
  // Every frame due is delivered once: the fractions are carried over.
  EXPECT_EQ(st.frames, static_cast<int64_t>(std::floor(total * perMs)));
  ASSERT_EQ(st.blockFrames.size(), steps.size());
  for (int k = 0; k < 2; ++k) {
    SCOPED_TRACE(k);
    // Pulses start on the first frame sampled at or after each whole second.
    const int64_t firstSecond = c.originMsOfSecond == 0 ? 0 : 1;
    ASSERT_EQ(static_cast<int64_t>(st.pulseStarts[k].size()),
              (c.originMsOfSecond + total - 1) / 1000 + 1 - firstSecond);
    for (size_t n = 0; n < st.pulseStarts[k].size(); ++n) {
      const int64_t second = 1000 * (static_cast<int64_t>(n) + firstSecond) - c.originMsOfSecond;
      EXPECT_EQ(st.pulseStarts[k][n], static_cast<int64_t>(std::ceil(second * perMs))) << n;
      if (n + 1 < st.pulseStarts[k].size()) { EXPECT_EQ(st.pulseFrames[k][n], c.pulseFrames) << n; }
    }
  }
  EXPECT_TRUE(st.log.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rates, ConverterOnItsClock,
    ::testing::Values(RateCase{"r1000", 1000, 0, 0, 100}, RateCase{"r10000", 10000, 0, 377, 1000},
                      RateCase{"r200", 200, 0, 999, 30}, RateCase{"r250", 250, 0, 500, 30},
                      RateCase{"r1000fast50ppm", 1000, 50, 123, 100},
                      RateCase{"r10000slow50ppm", 10000, -50, 640, 1000}),
    [](const auto& info) { return std::string(info.param.name); });

// Nothing in the same millisecond or below eleven frames, and nothing is lost;
// a stall longer than the window is clamped and logged once.
TEST(SimulatedConverter, ShortReadsWaitAndLongStallsAreClampedOnce) {
  // 1 ms at 1000 Hz is one frame; 11 ms the first usable block.
  EXPECT_EQ(ReadOnSchedule(1000, 0, kDayMs, {0, 5, 0, 5, 1, 850, 0, 850}).blockFrames,
            (std::vector<int32_t>{11, 850, 850}));
  const Stream st = ReadOnSchedule(1000, 0, kDayMs, {1000, 200000, 1000});
  EXPECT_EQ(st.blockFrames, (std::vector<int32_t>{1000, 180000, 1000}));
  EXPECT_EQ(st.log, (std::vector<std::string>{"A/D: Converter overrun, 20000 frames lost."}));
  // The pulses stay on whole seconds after the loss.
  for (size_t n = 1; n < st.pulseStarts[0].size(); ++n)
    EXPECT_EQ(st.pulseStarts[0][n] - st.pulseStarts[0][n - 1], 1000) << n;
}

}  // namespace
