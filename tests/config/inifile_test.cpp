#include "config/inifile.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct LineCase {
  const char *legend, *text, *section, *key, *expected;  // expected nullptr: not found
};

class IniLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(IniLineTest, ReadsValue) {
  const LineCase& c = GetParam();
  const IniFile ini = IniFile::Parse(c.text);
  const std::string* v = ini.Find(c.section, c.key);
  EXPECT_EQ(v ? "=" + *v : "not found", c.expected ? "=" + std::string(c.expected) : "not found");
}

INSTANTIATE_TEST_SUITE_P(
    Lines, IniLineTest,
    ::testing::Values(
        LineCase{"BlanksAroundNameAndValue", "  [ S ]  \n  k  =  v w  \n", "S", "k", "v w"},
        LineCase{"EqualsSignInsideTheValue", "[S]\nk=a=b\n", "S", "k", "a=b"},
        LineCase{"DoubleQuotesAreDropped", "[S]\nk=\"quoted text\"\n", "S", "k", "quoted text"},
        LineCase{"SingleQuotesAreDropped", "[S]\nk='q'\n", "S", "k", "q"},
        LineCase{"UnmatchedQuoteStays", "[S]\nk=\"open\n", "S", "k", "\"open"},
        LineCase{"KeyBeforeAnySectionIsIgnored", "k=v\n[S]\n", "S", "k", nullptr},
        LineCase{"UTF8ByteOrderMarkIgnored", "\xEF\xBB\xBF[S]\nk=v\n", "S", "k", "v"},
        LineCase{"KeyOfALaterSection", "[S]\n[T]\nk=v\n", "S", "k", nullptr},
        LineCase{"MissingSection", "[S]\nk=v\n", "T", "k", nullptr},
        LineCase{"NamesWithoutCase", "[Common]\r\nBackUpDir=D1\r\n", "COMMON", "backupdir", "D1"},
        LineCase{"FirstOfDuplicateKeys", "[A]\nk=first\nk=second\n[a]\nK=third\n", "A", "k", "first"},
        LineCase{"RepeatedSectionAddsKeys", "[A]\nk=1\n[B]\nk=b\n[a]\nonly=later\n", "A", "only", "later"},
        LineCase{"KeyOfTheOtherSection", "[A]\nk=1\n[B]\nk=b\n[a]\nk=3\n", "B", "k", "b"}),
    [](const auto& info) { return std::string(info.param.legend); });

// An empty line after every section but the last; empty sections are left out.
TEST(FormatIniTest, LayoutAndLineBreaksInsideAValueCannotForgeLines) {
  const std::string text =
      FormatIni({{"A", {{"x", "1"}, {"msg", "hi\r\n[GPS]\nPort=evil"}}}, {"Empty", {}}, {"C", {{"w", ""}}}});
  EXPECT_EQ(text, "[A]\r\nx=1\r\nmsg=hi  [GPS] Port=evil\r\n\r\n[C]\r\nw=\r\n");
  EXPECT_FALSE(IniFile::Parse(text).HasSection("GPS"));
}

}  // namespace
