#include "station/pps.h"

#include <gtest/gtest.h>

#include "config/progparam.h"

namespace {

// 2026-06-01 12:00:00 UTC.
constexpr int64_t kNoonMs = 1'780'315'200'000;

TDateTime AtMs(int64_t unixMs) { return UnixMsToDateTime(unixMs); }

// The level follows the range at most every 15 whole seconds, either way
// (a clock set back), and never from a flat range.
TEST(PPSLevel, FivePercentOfTheRangeAboveTheMinimumEveryFifteenSeconds) {
  struct Row {
    int32_t min, max;
    int64_t afterMs;
    bool updated;
    int32_t level;
  } rows[] = {{-1000, 9000, 15000, true, -500},  {-1000, 9000, -15000, true, -500},
              {-1000, 9000, 14999, false, 7},    {-1000, 9000, -14999, false, 7},
              {9000, 9000, 20000, false, 7},
              // 64-bit product: -536870912 + 53687091.2, rounded.
              {-536870912, 536870912, 60000, true, -483183821}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.afterMs);
    int64_t last = kNoonMs;
    int32_t level = 7, peak = 8;
    EXPECT_EQ(UpdatePPSLevel(r.min, r.max, 5, kNoonMs + r.afterMs, last, level, peak), r.updated);
    EXPECT_EQ(level, r.level);
    EXPECT_EQ(peak, r.updated ? r.max : 8);
    EXPECT_EQ(last, r.updated ? kNoonMs + r.afterMs : kNoonMs);
  }
}

// A run of 25 frames at or above the level marks the pulse at its first frame;
// a lower value restarts the run, other channels neither count nor break it.
TEST(PPSDetection, TheTwentyFifthHighFrameMarksTheRunStartOnce) {
  int32_t position = 0, run = 0;
  const auto frames = [&](int32_t first, int32_t count, int32_t value, int32_t channel = 3) {
    for (int32_t f = first; f < first + count; ++f)
      DetectPPS(8 * f + channel, value, 3, -500, position, run);
    return position;
  };
  EXPECT_EQ(frames(10, 24, 9000), 0);
  EXPECT_EQ(frames(34, 1, 9000), 80);
  EXPECT_EQ(frames(35, 100, 9000), 80);  // a long pulse marks once
  position = run = 0;
  frames(0, 20, 9000);
  frames(0, 50, -1000, 4);
  frames(20, 1, -501);
  EXPECT_EQ(frames(21, 24, 9000), 0);
  EXPECT_EQ(frames(45, 1, -500), 8 * 21);  // at the level counts as high
}

// Sample rate 100: one second is 800 values.
class RateCorrection : public ::testing::Test {
 protected:
  static constexpr int32_t kN = 8 * 400;
  std::vector<int32_t> data = std::vector<int32_t>(kN);
  RateCorrection() {
    for (int32_t k = 0; k < kN; ++k) data[k] = k;
  }
  RateCorrectionArgs Args(bool carry = true, int32_t sourceEnd = 100000) {
    return {data.data(), kN, 100, 3, carry, sourceEnd};
  }
};

TEST_F(RateCorrection, OnlyWithinFiveFramesAndWholeFrames) {
  struct Case {
    int32_t d;
    bool carry;
    int32_t expected;
  };
  for (const Case c : {Case{48, true, 0}, Case{-48, true, 0}, Case{16, false, 0},
                       Case{4, true, kRateCorrectionError}, Case{40, true, -5},
                       Case{-40, true, 5}, Case{16, true, -2}, Case{-16, true, 2},
                       Case{0, true, 0}}) {
    int32_t prev = 800, cur = 1600 + c.d, i = cur + 195, j = 500;
    const int32_t i0 = i, j0 = j;
    EXPECT_EQ(CorrectSamplingRate(Args(c.carry), prev, cur, i, j), c.expected) << c.d;
    if (c.expected == 0 || c.expected == kRateCorrectionError) {
      EXPECT_EQ(i, i0);
      EXPECT_EQ(j, j0);
      EXPECT_EQ(prev, 1600 + c.d);
    } else {
      // The fill rewrites the pulse frame (source j - 196) one second after
      // the previous pulse.
      EXPECT_EQ(i, 1600 - 1) << c.d;
      EXPECT_EQ(j, 500 - 196) << c.d;
      EXPECT_EQ(prev, 1600) << c.d;
    }
    EXPECT_EQ(cur, 0);
  }
  // Inserted frames repeat the two frames before the pulse.
  for (int32_t k = 0; k < kN; ++k) data[k] = k;
  int32_t prev = 800, cur = 1600 - 24, i = cur + 195, j = 500;
  ASSERT_EQ(CorrectSamplingRate(Args(), prev, cur, i, j), 3);
  for (int32_t x = 0; x < 24; ++x) EXPECT_EQ(data[1576 + x], 1560 + x % 16) << x;
  // The first pulse of a cycle only becomes the previous one.
  prev = 0, cur = 1600, i = 1795;
  EXPECT_EQ(CorrectSamplingRate(Args(), prev, cur, i, j), 0);
  EXPECT_EQ(prev, 1600);
  EXPECT_EQ(cur, 0);
  EXPECT_EQ(i, 1795);
}

TEST_F(RateCorrection, RemovalThatWouldRunPastTheBlockIsNotMade) {
  int32_t prev = 800, cur = 1616, i = cur + 195, j = 500;
  // The fill would need source up to j - 196 + (kN - 1599) = 1905.
  EXPECT_EQ(CorrectSamplingRate(Args(true, 1904), prev, cur, i, j), 0);
  EXPECT_EQ(i, 1616 + 195);
  prev = 800, cur = 1616, i = cur + 195, j = 500;
  EXPECT_EQ(CorrectSamplingRate(Args(true, 1905), prev, cur, i, j), -2);
}

TEST_F(RateCorrection, InsertionNearTheWindowEndIsCutAtTheEnd) {
  int32_t prev = kN - 792, cur = kN - 8;  // d = -16, one frame left
  int32_t i = kN - 1, j = 0;
  EXPECT_EQ(CorrectSamplingRate(Args(), prev, cur, i, j), 1);
  EXPECT_EQ(data[kN - 8], kN - 24);
  EXPECT_EQ(prev, kN);
}

struct ErrorCase {
  int32_t millisecond;
  int32_t framesBack;  // frames from the pulse to the window end
  int shift;           // -1, 0, +1 second; 9: no tag
};
class PPSSecond : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(PPSSecond, FromTheTimeError) {
  constexpr int32_t kRate = 1000, kN = 1440 * kRate;
  const int64_t now = kNoonMs + 7000 + GetParam().millisecond;
  const PPSTimeError e = ComputePPSTimeError(now, kN - 8 * GetParam().framesBack, kN, kRate);
  EXPECT_DOUBLE_EQ(e.Seconds(), GetParam().millisecond / 1000.0 - GetParam().framesBack / 1000.0);
  const std::optional<int64_t> T = ComputePPSSecond(e, now);
  if (GetParam().shift == 9)
    EXPECT_FALSE(T);
  else
    EXPECT_EQ(T, kNoonMs + 7000 + 1000 * GetParam().shift);
}

INSTANTIATE_TEST_SUITE_P(Bounds, PPSSecond,
                         ::testing::Values(ErrorCase{250, 1000, -1},  // -0.75
                                           ErrorCase{500, 0, 9},      // 0.5
                                           ErrorCase{500, 1000, 9},   // -0.5
                                           ErrorCase{300, 1000, -1},  // -0.7 included
                                           ErrorCase{0, 1500, 9},     // -1.5 excluded
                                           ErrorCase{1, 1500, -1},    // -1.499
                                           ErrorCase{300, 0, 0},      // 0.3 included
                                           ErrorCase{0, 300, 0},      // -0.3 included
                                           ErrorCase{0, 301, 9},      // -0.301
                                           ErrorCase{301, 0, 9},      // 0.301
                                           ErrorCase{700, 0, 1},      // 0.7 included
                                           ErrorCase{999, 0, 1}),
                         [](const auto& i) {
                           return "Ms" + std::to_string(i.param.millisecond) + "FramesBack" +
                                  std::to_string(i.param.framesBack);
                         });

TEST(PPSTimeError, NoPulseInTheWindowIsAboutMinus180Seconds) {
  const PPSTimeError e = ComputePPSTimeError(kNoonMs + 123, 0, 1440000, 1000);
  EXPECT_NEAR(e.Seconds(), -179.877, 1e-9);
  EXPECT_FALSE(ComputePPSSecond(e, kNoonMs + 123));
}

TEST(PPSTimeError, FormatsThreeDecimals) {
  EXPECT_EQ(FormatTimeError({-750, 1000}), "-0.750s");
  EXPECT_EQ(FormatTimeError({0, 1000}), "0.000s");
  EXPECT_EQ(FormatTimeError({-5, 10'000'000}), "0.000s");     // -0.0000005 s
  EXPECT_EQ(FormatTimeError({-5000, 10'000'000}), "-0.001s");  // -0.0005 s, half away
  EXPECT_EQ(FormatTimeError({-123456, 10'000}), "-12.346s");
  EXPECT_EQ(FormatTimeError({59999, 1000}), "59.999s");
}

TEST(PPSPresence, LoggedOnceWhenFoundAndOnceWhenLost) {
  const struct {
    int64_t numerator;  // of 1000
    bool present, detectedNow, lostNow;
    const char* text;
  } rows[] = {{-750, true, true, false, "-0.750s"},
              {10, true, false, false, "0.010s"},
              {-60000, false, false, true, "N/A"},  // exactly 60 s off
              {-180000, false, false, false, "N/A"}};
  bool flag = false;
  for (const auto& r : rows) {
    const PPSPresence p = CheckPPSPresence({r.numerator, 1000}, flag);
    EXPECT_EQ(flag, r.present) << r.numerator;
    EXPECT_EQ(p.detectedNow, r.detectedNow) << r.numerator;
    EXPECT_EQ(p.lostNow, r.lostNow) << r.numerator;
    EXPECT_EQ(p.editTimeTag, r.text);
  }
}

class TimeTags : public ::testing::Test {
 protected:
  TArrayOfPPS tags = TArrayOfPPS(kPPSTagCount);
  int64_t nowMs = kNoonMs + 450;
  TDateTime second = AtMs(kNoonMs - 1000);
  TagUpdateArgs Args(int32_t p, TDateTime T, bool atInput = false, bool saveNoPPS = false) {
    return {p, 8000, nowMs, T, 1440000, atInput, saveNoPPS};
  }
};

TEST_F(TimeTags, MoveWithTheWindowDropLeaversAndAddThePulse) {
  tags[0] = {AtMs(kNoonMs - 181000), 7992};  // leaves
  tags[1] = {AtMs(kNoonMs - 180000), 8000};
  tags[2] = {AtMs(kNoonMs - 2000), 1424000};
  tags[3] = {0, 55};  // free: stops the walk
  tags[4] = {AtMs(kNoonMs), 99};
  EXPECT_EQ(UpdateTimeTags(tags, Args(1432000, second)), 2);
  EXPECT_EQ(tags[0], (TPPSRecord{AtMs(kNoonMs - 180000), 0}));
  EXPECT_EQ(tags[1], (TPPSRecord{AtMs(kNoonMs - 2000), 1416000}));
  EXPECT_EQ(tags[2], (TPPSRecord{second, 1432000}));
  for (int r = 3; r < kPPSTagCount; ++r) EXPECT_EQ(tags[r], TPPSRecord{}) << r;
}

TEST_F(TimeTags, FullArrayTakesNoNewTag) {
  for (int r = 0; r < 184; ++r) tags[r] = {AtMs(kNoonMs - 1000 * (200 - r)), 8000 + 8 * r};
  EXPECT_EQ(UpdateTimeTags(tags, Args(1432000, second)), -1);
  EXPECT_EQ(tags[183].Index, 8 * 183);
  EXPECT_EQ(tags[184], TPPSRecord{});
}

TEST_F(TimeTags, NoNewPulseSecondAddsNoClockTagThatWouldCutTheSecond) {
  // A cycle shorter than a second: its newest pulse is already tagged, and
  // a clock tag there would split that second in two blocks.
  for (bool saveNoPPS : {true, false}) {
    tags = TArrayOfPPS(kPPSTagCount);
    tags[0] = {second, 20000};
    EXPECT_EQ(UpdateTimeTags(tags, Args(1432000, second, true, saveNoPPS)), 1);
    EXPECT_EQ(tags[1], TPPSRecord{}) << saveNoPPS;
  }
  // A pulse second behind the last tag is refused as well: tags never run backwards.
  tags = TArrayOfPPS(kPPSTagCount);
  tags[0] = {second, 20000};
  EXPECT_EQ(UpdateTimeTags(tags, Args(1432000, AtMs(kNoonMs - 2000), true, true)), 1);
  EXPECT_EQ(tags[1], TPPSRecord{});
}

TEST_F(TimeTags, EveryNewPulseSecondOfALongCycleIsTaggedInOrder) {
  // A 2.6 s cycle brought three pulses; the first was tagged last cycle.
  tags[0] = {AtMs(kNoonMs - 3000), 1408000 + 8000};  // moves back to 1408000
  const std::vector<TPPSRecord> earlier = {{AtMs(kNoonMs - 3000), 1408000},
                                           {AtMs(kNoonMs - 2000), 1416000},
                                           {AtMs(kNoonMs - 1000), 1424000}};
  TagUpdateArgs a = Args(1432000, AtMs(kNoonMs));
  a.earlier = &earlier;
  EXPECT_EQ(UpdateTimeTags(tags, a), 3);
  EXPECT_EQ(tags[0], (TPPSRecord{AtMs(kNoonMs - 3000), 1408000}));
  EXPECT_EQ(tags[1], (TPPSRecord{AtMs(kNoonMs - 2000), 1416000}));
  EXPECT_EQ(tags[2], (TPPSRecord{AtMs(kNoonMs - 1000), 1424000}));
  EXPECT_EQ(tags[3], (TPPSRecord{AtMs(kNoonMs), 1432000}));
  EXPECT_EQ(tags[4], TPPSRecord{});
}

TEST_F(TimeTags, PulseReplacesThePreviousCyclesClockFallbackOfTheSameSecond) {
  // A clock on whole seconds: last cycle's fallback names the pulse's second.
  tags[0] = {AtMs(kNoonMs - 3000), 500000};
  tags[1] = {second, 1440000 - 8};
  EXPECT_EQ(UpdateTimeTags(tags, Args(1432000, second, true, true)), 1);
  EXPECT_EQ(tags[0], (TPPSRecord{AtMs(kNoonMs - 3000), 492000}));
  EXPECT_EQ(tags[1], (TPPSRecord{second, 1432000}));
  EXPECT_EQ(tags[2], TPPSRecord{});
}

TEST_F(TimeTags, NoPulseWhilePpsIsAtTheInputLeavesTheEntryFree) {
  EXPECT_EQ(UpdateTimeTags(tags, Args(0, second, true, true)), 0);
  EXPECT_EQ(tags[0], TPPSRecord{});
  EXPECT_EQ(UpdateTimeTags(tags, Args(0, second, false, true)), 0);
  EXPECT_EQ(tags[0], (TPPSRecord{AtMs(nowMs), 1440000 - 8}));
  // Unknown second with a pulse: the clock fallback too.
  tags = TArrayOfPPS(kPPSTagCount);
  EXPECT_EQ(UpdateTimeTags(tags, Args(5000, 0, true, true)), 0);
  EXPECT_EQ(tags[0], (TPPSRecord{AtMs(nowMs), 1440000 - 8}));
}

}  // namespace
