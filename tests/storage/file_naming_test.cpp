#include "storage/file_naming.h"

#include <gtest/gtest.h>

#include "storage_test_support.h"

using storage_test::LegendName;

namespace {

enum class Kind { Continuous, Trigger, Ascii };

struct NamingCase {
  const char* legend;
  Kind kind;
  bool tree;
  bool twenty;
  TDateTime t;
  const char* expected;
};

TDateTime At(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
  return EncodeDateTime(y, mo, d, h, mi, s, ms);
}

class FileNamingTest : public ::testing::TestWithParam<NamingCase> {};

TEST_P(FileNamingTest, NameFollowsKindAndStartTime) {
  const NamingCase& c = GetParam();
  TProgParam p;
  p.DataDir = "/st/Data";
  p.TrigDir = "/st/Triggers";
  p.IDStation = "KRA";
  p.SeparateDirectory = c.tree;
  p.TwentyMinuteFile = c.twenty;
  std::string name;
  switch (c.kind) {
    case Kind::Continuous: name = ContinuousFileName(p, c.t); break;
    case Kind::Trigger: name = TriggerFileName(p, c.t); break;
    case Kind::Ascii: name = AsciiFileName("/st/ASCII", "OTH", c.t); break;
  }
  EXPECT_EQ(name, c.expected) << c.legend;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileNamingTest,
    ::testing::Values(
        NamingCase{"hourly file in the month/day tree", Kind::Continuous, true, false,
                   At(2005, 1, 15, 12, 19, 59, 990), "/st/Data/01/15/05011512.KRA"},
        NamingCase{"last moment of the first third", Kind::Continuous, true, true,
                   At(2005, 1, 15, 12, 19, 59, 990), "/st/Data/01/15/05011512a.KRA"},
        NamingCase{"first moment of the second third", Kind::Continuous, true, true,
                   At(2005, 1, 15, 12, 20, 0), "/st/Data/01/15/05011512b.KRA"},
        NamingCase{"last third without tree", Kind::Continuous, false, true,
                   At(2005, 1, 15, 12, 40, 0), "/st/Data/05011512c.KRA"},
        NamingCase{"hour boundary: last millisecond", Kind::Continuous, true, true,
                   At(2005, 1, 15, 12, 59, 59, 999), "/st/Data/01/15/05011512c.KRA"},
        NamingCase{"hour boundary: next hour", Kind::Continuous, true, true,
                   At(2005, 1, 15, 13, 0, 0), "/st/Data/01/15/05011513a.KRA"},
        NamingCase{"day and year boundary", Kind::Continuous, true, false,
                   At(2006, 1, 1, 0, 0, 0), "/st/Data/01/01/06010100.KRA"},
        // Milliseconds are dropped, not rounded: two triggers in one second share a file.
        NamingCase{"trigger with seconds", Kind::Trigger, true, true,
                   At(2005, 1, 15, 12, 3, 7, 900), "/st/Triggers/01/15/050115120307.KRA"},
        NamingCase{"trigger without tree", Kind::Trigger, false, false,
                   At(2005, 11, 5, 23, 59, 9), "/st/Triggers/051105235909.KRA"},
        NamingCase{"ASCII export: never a tree, code from the data", Kind::Ascii, true, true,
                   At(2005, 1, 15, 12, 3, 7), "/st/ASCII/050115120307.OTH"}),
    LegendName<NamingCase>);

TEST(FileNaming, ARootWithATrailingSlashIsNotDoubled) {
  EXPECT_EQ(ContinuousFileName("/data/", "X", false, false, At(2005, 1, 15, 12, 0, 0)),
            "/data/05011512.X");
}

// The code comes from a file being exported, which may be foreign: it must
// not lead the export out of its directory.
TEST(FileNaming, AnAsciiCodeCannotReachAnotherDirectory) {
  EXPECT_EQ(AsciiFileName("/st/ASCII", "../..", At(2005, 1, 15, 12, 3, 7)),
            "/st/ASCII/050115120307..._..");
  EXPECT_EQ(AsciiFileName("/st/ASCII", std::string("a/b\0c", 5), At(2005, 1, 15, 12, 3, 7)),
            "/st/ASCII/050115120307.a_b_c");
}

}  // namespace
