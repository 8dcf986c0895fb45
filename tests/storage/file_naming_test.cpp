#include "storage/file_naming.h"

#include <gtest/gtest.h>

#include "config/progparam.h"

namespace {

TDateTime Jan15(int h, int mi, int s, int ms = 0) { return EncodeDateTime(2005, 1, 15, h, mi, s, ms); }

// Continuous (C) and trigger (T) files, in the month/day tree or not, hourly
// or in thirds of the hour, and ASCII exports (A).
TEST(FileNaming, NameFollowsKindAndStartTime) {
  const struct {
    const char* legend;
    char kind;
    bool tree, twenty;
    TDateTime t;
    const char* expected;
  } rows[] = {
      {"hourly file in the month/day tree", 'C', true, false, Jan15(12, 19, 59, 990), "/st/Data/01/15/05011512.KRA"},
      {"last moment of the first third", 'C', true, true, Jan15(12, 19, 59, 990), "/st/Data/01/15/05011512a.KRA"},
      {"first moment of the second third", 'C', true, true, Jan15(12, 20, 0), "/st/Data/01/15/05011512b.KRA"},
      {"last third without tree", 'C', false, true, Jan15(12, 40, 0), "/st/Data/05011512c.KRA"},
      {"hour boundary: last millisecond", 'C', true, true, Jan15(12, 59, 59, 999), "/st/Data/01/15/05011512c.KRA"},
      {"hour boundary: next hour", 'C', true, true, Jan15(13, 0, 0), "/st/Data/01/15/05011513a.KRA"},
      {"day and year boundary", 'C', true, false, EncodeDateTime(2006, 1, 1, 0, 0, 0), "/st/Data/01/01/06010100.KRA"},
      // Milliseconds are dropped, not rounded: two triggers in one second share a file.
      {"trigger with seconds", 'T', true, true, Jan15(12, 3, 7, 900), "/st/Triggers/01/15/050115120307.KRA"},
      {"trigger, no tree", 'T', false, false, EncodeDateTime(2005, 11, 5, 23, 59, 9), "/st/Triggers/051105235909.KRA"},
      {"ASCII: no tree, the data's code", 'A', true, true, Jan15(12, 3, 7), "/st/ASCII/050115120307.OTH"}};
  for (const auto& c : rows) {
    TProgParam p;
    p.DataDir = "/st/Data";
    p.TrigDir = "/st/Triggers";
    p.IDStation = "KRA";
    p.SeparateDirectory = c.tree;
    p.TwentyMinuteFile = c.twenty;
    const std::string name = c.kind == 'C'   ? ContinuousFileName(p, c.t)
                             : c.kind == 'T' ? TriggerFileName(p, c.t)
                                             : AsciiFileName("/st/ASCII", "OTH", c.t);
    EXPECT_EQ(name, c.expected) << c.legend;
  }
}

TEST(FileNaming, ARootWithATrailingSlashIsNotDoubled) {
  EXPECT_EQ(ContinuousFileName("/data/", "X", false, false, Jan15(12, 0, 0)), "/data/05011512.X");
}

// The code comes from a file being exported, which may be foreign: it must
// not lead the export out of its directory.
TEST(FileNaming, AnAsciiCodeCannotReachAnotherDirectory) {
  EXPECT_EQ(AsciiFileName("/st/ASCII", "../..", Jan15(12, 3, 7)), "/st/ASCII/050115120307..._..");
  EXPECT_EQ(AsciiFileName("/st/ASCII", std::string("a/b\0c", 5), Jan15(12, 3, 7)),
            "/st/ASCII/050115120307.a_b_c");
}

}  // namespace
