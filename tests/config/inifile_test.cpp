#include "config/inifile.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

TEST(IniFileTest, ReadsEachValueAsWritten) {
  // legend, text, section, key, value (nullptr: not found)
  const std::tuple<const char*, const char*, const char*, const char*, const char*> rows[] = {
      {"BlanksAroundNameAndValue", "  [ S ]  \n  k  =  v w  \n", "S", "k", "v w"},
      {"EqualsSignInsideTheValue", "[S]\nk=a=b\n", "S", "k", "a=b"},
      {"DoubleQuotesAreDropped", "[S]\nk=\"quoted text\"\n", "S", "k", "quoted text"},
      {"SingleQuotesAreDropped", "[S]\nk='q'\n", "S", "k", "q"},
      {"UnmatchedQuoteStays", "[S]\nk=\"open\n", "S", "k", "\"open"},
      {"KeyBeforeAnySectionIsIgnored", "k=v\n[S]\n", "S", "k", nullptr},
      {"UTF8ByteOrderMarkIgnored", "\xEF\xBB\xBF[S]\nk=v\n", "S", "k", "v"},
      {"KeyOfALaterSection", "[S]\n[T]\nk=v\n", "S", "k", nullptr},
      {"NamesWithoutCase", "[Common]\r\nBackUpDir=D1\r\n", "COMMON", "backupdir", "D1"},
      {"FirstOfDuplicateKeys", "[A]\nk=first\nk=second\n[a]\nK=third\n", "A", "k", "first"},
      {"RepeatedSectionAddsKeys", "[A]\nk=1\n[B]\nk=b\n[a]\nonly=later\n", "A", "only", "later"},
      {"KeyOfTheOtherSection", "[A]\nk=1\n[B]\nk=b\n[a]\nk=3\n", "B", "k", "b"},
  };
  for (const auto& [legend, text, section, key, expected] : rows) {
    const IniFile ini = IniFile::Parse(text);
    const std::string* v = ini.Find(section, key);
    EXPECT_EQ(v ? "=" + *v : "not found", expected ? "=" + std::string(expected) : "not found") << legend;
  }
}

// An empty line after every section but the last; empty sections are left out.
TEST(FormatIniTest, LayoutAndLineBreaksInsideAValueCannotForgeLines) {
  const std::string text =
      FormatIni({{"A", {{"x", "1"}, {"msg", "hi\r\n[GPS]\nPort=evil"}}}, {"Empty", {}}, {"C", {{"w", ""}}}});
  EXPECT_EQ(text, "[A]\r\nx=1\r\nmsg=hi  [GPS] Port=evil\r\n\r\n[C]\r\nw=\r\n");
  EXPECT_FALSE(IniFile::Parse(text).HasSection("GPS"));
}

}  // namespace
