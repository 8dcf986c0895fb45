#include "station/pps.h"

#include <gtest/gtest.h>

#include <numeric>

#include "config/progparam.h"

namespace {

constexpr int64_t kNoonMs = 1'780'315'200'000;  // 2026-06-01 12:00:00 UTC

TDateTime AtMs(int64_t unixMs) { return UnixMsToDateTime(unixMs); }

// The level follows the range at most every 15 whole seconds, either way
// (a clock set back), and never from a flat range.
TEST(PPSLevel, FivePercentOfTheRangeAboveTheMinimumEveryFifteenSeconds) {
  struct Row { int32_t min, max; int64_t afterMs; bool updated; int32_t level; } rows[] = {
      {-1000, 9000, 15000, true, -500},  {-1000, 9000, -15000, true, -500},
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
  RateCorrection() { std::iota(data.begin(), data.end(), 0); }
  RateCorrectionArgs Args(bool carry = true, int32_t sourceEnd = 100000) {
    return {data.data(), kN, 100, 3, carry, sourceEnd};
  }
};

TEST_F(RateCorrection, OnlyWithinFiveFramesAndWholeFrames) {
  struct Case { int32_t d; bool carry; int32_t expected; };
  for (const Case c : {Case{48, true, 0}, Case{-48, true, 0}, Case{16, false, 0},
                       Case{4, true, kRateCorrectionError}, Case{40, true, -5},
                       Case{-40, true, 5}, Case{16, true, -2}, Case{-16, true, 2},
                       Case{0, true, 0}}) {
    SCOPED_TRACE(c.d);
    int32_t prev = 800, cur = 1600 + c.d, i = cur + 195, j = 500;
    const std::vector<int32_t> unmoved{i, j, cur, 0};
    EXPECT_EQ(CorrectSamplingRate(Args(c.carry), prev, cur, i, j), c.expected);
    // Moved, the fill rewrites the pulse frame (source j - 196) one second after the previous pulse.
    const bool moved = c.expected != 0 && c.expected != kRateCorrectionError;
    EXPECT_EQ((std::vector<int32_t>{i, j, prev, cur}), (moved ? std::vector<int32_t>{1599, 304, 1600, 0} : unmoved));
  }
  // Inserted frames repeat the two frames before the pulse.
  std::iota(data.begin(), data.end(), 0);
  int32_t prev = 800, cur = 1600 - 24, i = cur + 195, j = 500;
  ASSERT_EQ(CorrectSamplingRate(Args(), prev, cur, i, j), 3);
  for (int32_t x = 0; x < 24; ++x) EXPECT_EQ(data[1576 + x], 1560 + x % 16) << x;
  // The first pulse of a cycle only becomes the previous one.
  prev = 0, cur = 1600, i = 1795;
  EXPECT_EQ(CorrectSamplingRate(Args(), prev, cur, i, j), 0);
  EXPECT_EQ((std::vector<int32_t>{prev, cur, i}), (std::vector<int32_t>{1600, 0, 1795}));
}

// A removal that would read past the block is not made; an insertion near the
// window's end is cut there.
TEST_F(RateCorrection, TheFillStaysInsideTheBlockAndTheWindow) {
  int32_t prev = 800, cur = 1616, i = cur + 195, j = 500;
  // The fill would need source up to j - 196 + (kN - 1599) = 1905.
  EXPECT_EQ(CorrectSamplingRate(Args(true, 1904), prev, cur, i, j), 0);
  EXPECT_EQ(i, 1616 + 195);
  prev = 800, cur = 1616, i = cur + 195, j = 500;
  EXPECT_EQ(CorrectSamplingRate(Args(true, 1905), prev, cur, i, j), -2);
  prev = kN - 792, cur = kN - 8, i = kN - 1, j = 0;  // d = -16, one frame left
  EXPECT_EQ(CorrectSamplingRate(Args(), prev, cur, i, j), 1);
  EXPECT_EQ(data[kN - 8], kN - 24);
  EXPECT_EQ(prev, kN);
}

// The pulse's second from the time error: -1, 0 or +1 second, or none (9).
TEST(PPSSecond, FromTheTimeError) {
  constexpr int32_t kRate = 1000, kN = 1440 * kRate;
  // framesBack: from the pulse to the window end.
  const struct { int32_t millisecond, framesBack; int shift; } rows[] = {{250, 1000, -1},  // -0.75
              {500, 0, 9},      // 0.5
              {500, 1000, 9},   // -0.5
              {300, 1000, -1},  // -0.7 included
              {0, 1500, 9},     // -1.5 excluded
              {1, 1500, -1},    // -1.499
              {300, 0, 0},      // 0.3 included
              {0, 300, 0},      // -0.3 included
              {0, 301, 9},      // -0.301
              {301, 0, 9},      // 0.301
              {700, 0, 1},      // 0.7 included
              {999, 0, 1}};
  for (const auto& r : rows) {
    SCOPED_TRACE(::testing::Message() << r.millisecond << " ms, " << r.framesBack << " frames back");
    const int64_t now = kNoonMs + 7000 + r.millisecond;
    const PPSTimeError e = ComputePPSTimeError(now, kN - 8 * r.framesBack, kN, kRate);
    EXPECT_DOUBLE_EQ(e.Seconds(), r.millisecond / 1000.0 - r.framesBack / 1000.0);
    const std::optional<int64_t> T = ComputePPSSecond(e, now);
    EXPECT_EQ(T, r.shift == 9 ? std::nullopt : std::optional<int64_t>(kNoonMs + 7000 + 1000 * r.shift));
  }
}

// Found once, lost once at 60 s off; the field shows whole milliseconds,
// halves away from zero and no negative zero.
TEST(PPSPresence, LoggedOnceWhenFoundAndOnceWhenLost) {
  const struct { PPSTimeError e; bool present, detectedNow, lostNow; const char* text; } rows[] = {
      {{-750, 1000}, true, true, false, "-0.750s"},
      {{10, 1000}, true, false, false, "0.010s"},
      {{-5, 10'000'000}, true, false, false, "0.000s"},
      {{-5000, 10'000'000}, true, false, false, "-0.001s"},
      {{-123456, 10'000}, true, false, false, "-12.346s"},
      {{59999, 1000}, true, false, false, "59.999s"},
      {{-60000, 1000}, false, false, true, "N/A"},
      {{-180000, 1000}, false, false, false, "N/A"}};
  bool flag = false;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.e.Seconds());
    const PPSPresence p = CheckPPSPresence(r.e, flag);
    EXPECT_EQ(flag, r.present);
    EXPECT_EQ(p.detectedNow, r.detectedNow);
    EXPECT_EQ(p.lostNow, r.lostNow);
    EXPECT_EQ(p.editTimeTag, r.text);
  }
}

// Tag lists by second offsets (ms from noon) and positions; kFree marks a
// free entry that stops the walk.
constexpr int64_t kFree = INT64_MIN;
using Tags = std::vector<std::pair<int64_t, int32_t>>;
TArrayOfPPS TagArray(const Tags& list) {
  TArrayOfPPS tags(kPPSTagCount);
  for (size_t r = 0; r < list.size(); ++r)
    tags[r] = {list[r].first == kFree ? 0 : AtMs(kNoonMs + list[r].first), list[r].second};
  return tags;
}

// The window moved by 8000 values of 1440000 at noon + 450 ms; the clock
// fallback's tag is (450, 1439992).
TEST(TimeTags, MoveWithTheWindowAndTagEachNewSecondOnce) {
  // second: the pulse's, kFree when unknown; earlier: pulses of the cycle before its last.
  const struct {
    const char* legend;
    Tags before;
    int32_t pps;
    int64_t second;
    bool atInput, saveNoPPS;
    Tags earlier;
    int32_t kept;
    Tags after;
  } rows[] = {
      {"leavers dropped, the walk stops at a free entry",
       {{-181000, 7992}, {-180000, 8000}, {-2000, 1424000}, {kFree, 55}, {0, 99}}, 1432000, -1000,
       false, false, {}, 2, {{-180000, 0}, {-2000, 1416000}, {-1000, 1432000}}},
      // A cycle shorter than a second: a clock tag would split that second in two.
      {"no new pulse second, no clock tag", {{-1000, 20000}}, 1432000, -1000, true, true, {}, 1, {{-1000, 12000}}},
      {"nor with clock tags off", {{-1000, 20000}}, 1432000, -1000, true, false, {}, 1, {{-1000, 12000}}},
      {"tags never run backwards", {{-1000, 20000}}, 1432000, -2000, true, true, {}, 1, {{-1000, 12000}}},
      // A 2.6 s cycle brought three pulses; the first was tagged last cycle.
      {"every new second of a long cycle in order", {{-3000, 1416000}}, 1432000, 0, false, false,
       {{-3000, 1408000}, {-2000, 1416000}, {-1000, 1424000}}, 3,
       {{-3000, 1408000}, {-2000, 1416000}, {-1000, 1424000}, {0, 1432000}}},
      // A clock on whole seconds: last cycle's fallback names the pulse's second.
      {"the pulse replaces the clock fallback of its second", {{-3000, 500000}, {-1000, 1439992}},
       1432000, -1000, true, true, {}, 1, {{-3000, 492000}, {-1000, 1432000}}},
      {"no pulse while it is at the input leaves the entry free", {}, 0, -1000, true, true, {}, 0, {}},
      {"no pulse without it at the input: the clock tag", {}, 0, -1000, false, true, {}, 0, {{450, 1439992}}},
      {"a pulse of an unknown second: the clock tag", {}, 5000, kFree, true, true, {}, 0, {{450, 1439992}}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.legend);
    TArrayOfPPS tags = TagArray(r.before);
    const TArrayOfPPS earlierTags = TagArray(r.earlier);
    const std::vector<TPPSRecord> earlier(earlierTags.begin(), earlierTags.begin() + r.earlier.size());
    const TagUpdateArgs a{r.pps, 8000, kNoonMs + 450, r.second == kFree ? 0 : AtMs(kNoonMs + r.second),
                          1440000, r.atInput, r.saveNoPPS, &earlier};
    EXPECT_EQ(UpdateTimeTags(tags, a), r.kept);
    EXPECT_EQ(tags, TagArray(r.after));
  }
}

TEST(TimeTags, FullArrayTakesNoNewTag) {
  TArrayOfPPS tags(kPPSTagCount);
  for (int r = 0; r < 184; ++r) tags[r] = {AtMs(kNoonMs - 1000 * (200 - r)), 8000 + 8 * r};
  EXPECT_EQ(UpdateTimeTags(tags, {1432000, 8000, kNoonMs, AtMs(kNoonMs - 1000), 1440000, false, false}), -1);
  EXPECT_EQ(tags[183].Index, 8 * 183);
  EXPECT_EQ(tags[184], TPPSRecord{});
}

}  // namespace
