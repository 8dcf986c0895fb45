#include "station/converter.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/clock.h"

namespace {

constexpr int64_t kDayMs = 1'780'000'000'000;  // a whole second

struct PulseRun {
  int32_t firstFrame = -1;
  int32_t frames = 0;
  int32_t runs = 0;
};

PulseRun HighRun(const ArrayOfDataType& block, int channel) {
  PulseRun r;
  bool high = false;
  for (size_t i = channel; i < block.size(); i += 8) {
    const bool now = block[i] == 9000;
    if (now && !high) {
      ++r.runs;
      if (r.firstFrame < 0) r.firstFrame = static_cast<int32_t>(i / 8);
    }
    if (now) ++r.frames;
    high = now;
  }
  return r;
}

TEST(SimulatedConverter, OpensWithItsDescriptionAndClosesToNotOpen) {
  ManualClock clock(kDayMs);
  SimulatedConverter conv(clock, 7);
  std::string description;
  EXPECT_EQ(conv.ADInitialize(0, description, 1000.0), 0);
  EXPECT_EQ(description, "Simulation Drumlo-4, Drumlo-8, Kelta-16");
  EXPECT_EQ(conv.ADClose(0), static_cast<int32_t>(0x80000001u));
  EXPECT_LT(conv.ADClose(5), 0);
  EXPECT_EQ(conv.ADChannelCount("any"), 8);
  EXPECT_FALSE(conv.ADBusy());
  EXPECT_STREQ(ADModelText(), "Simulation");
}

TEST(SimulatedConverter, GainIsTenVoltsOnThirtyTwoBitsExceptChannelSeven) {
  ManualClock clock(kDayMs);
  SimulatedConverter conv(clock, 7);
  ASSERT_EQ(conv.ADGain().size(), 8u);
  for (int c = 0; c < 7; ++c) EXPECT_DOUBLE_EQ(conv.ADGain()[c], 0.004656612873077393);
  EXPECT_DOUBLE_EQ(conv.ADGain()[7], 1.0);
}

struct PhaseCase {
  int millisecond;
  int32_t firstHigh3, frames3, firstHigh6, frames6;
};

class SimulatedPulse : public ::testing::TestWithParam<PhaseCase> {};

TEST_P(SimulatedPulse, OneRunOnChannelsThreeAndSixPlacedByTheMillisecond) {
  const PhaseCase& p = GetParam();
  ManualClock clock(kDayMs + p.millisecond);
  SimulatedConverter conv(clock, 42);
  ArrayOfDataType block;
  ASSERT_EQ(conv.ADReadBlock(0, block), 0);
  ASSERT_EQ(block.size(), 8000u);
  for (int channel : {3, 6})
    for (size_t i = channel; i < block.size(); i += 8)
      ASSERT_TRUE(block[i] == 9000 || block[i] == -1000) << i;
  const PulseRun r3 = HighRun(block, 3), r6 = HighRun(block, 6);
  EXPECT_EQ(r3.runs, 1);
  EXPECT_EQ(r6.runs, 1);
  EXPECT_EQ(r3.firstFrame, p.firstHigh3);
  EXPECT_EQ(r3.frames, p.frames3);
  EXPECT_EQ(r6.firstFrame, p.firstHigh6);
  EXPECT_EQ(r6.frames, p.frames6);
}

INSTANTIATE_TEST_SUITE_P(
    Phases, SimulatedPulse,
    ::testing::Values(PhaseCase{900, 0, 100, 0, 100},    // SimPhase 0
                      PhaseCase{0, 13, 99, 12, 100},     // SimPhase 100
                      PhaseCase{904, 1, 99, 0, 100},     // SimPhase 4: 99 frames on channel 3
                      PhaseCase{907, 1, 100, 1, 99},     // SimPhase 7: 99 frames on channel 6
                      PhaseCase{899, 125, 100, 125, 99}),  // SimPhase 999
    [](const auto& i) { return "Millisecond" + std::to_string(i.param.millisecond); });

TEST(SimulatedConverter, SpikesAreRareAndOrdinaryValuesStayWithinTheDividedRange) {
  ManualClock clock(kDayMs);
  SimulatedConverter conv(clock, 1234);
  int64_t spikes = 0, values = 0;
  for (int cycle = 0; cycle < 20; ++cycle) {
    ArrayOfDataType block;
    conv.ADReadBlock(0, block);
    for (size_t i = 0; i < block.size(); ++i) {
      if (i % 8 == 3 || i % 8 == 6) continue;
      ++values;
      ASSERT_LE(std::abs(static_cast<int64_t>(block[i])), 536870912);
      if (std::abs(block[i]) > 5368709) ++spikes;
    }
  }
  // 9 % of draws divide by 1; of those, 99 % exceed the divided range.
  const double share = static_cast<double>(spikes) / static_cast<double>(values);
  EXPECT_GT(share, 0.07);
  EXPECT_LT(share, 0.11);
}

}  // namespace
