#include "common/repeat_limiter.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

// A fault every second for 25 minutes: the first line, one summary per ten
// minutes, and one line when it clears with what was not said yet.
TEST(RepeatLimiter, FirstLineThenOneSummaryPerIntervalThenTheClearing) {
  RepeatLimiter limiter("Sav: Disk writes succeed again.");
  EXPECT_EQ(limiter.Cleared(), Lines{});  // nothing active: nothing to clear
  Lines logged;
  for (int s = 0; s < 25 * 60; ++s)
    for (const std::string& l : limiter.Occurred("Sav: Disk write error. f" + std::to_string(s), s * 1000LL))
      logged.push_back(l);
  EXPECT_EQ(logged, (Lines{"Sav: Disk write error. f0", "Sav: Disk write error. f600 ... repeated 600 times",
                           "Sav: Disk write error. f1200 ... repeated 600 times"}));
  EXPECT_EQ(limiter.Cleared(), Lines{"Sav: Disk writes succeed again. (repeated 299 more times before)"});
  EXPECT_EQ(limiter.Cleared(), Lines{});
  // The next fault is news again, and a clock set back does not silence it.
  EXPECT_EQ(limiter.Occurred("e", 5'000'000), Lines{"e"});
  EXPECT_EQ(limiter.Occurred("e", 1'000), Lines{"e ... repeated 1 times"});
  EXPECT_EQ(limiter.Cleared(), Lines{"Sav: Disk writes succeed again."});
}

}  // namespace
