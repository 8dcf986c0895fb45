#include "config/inifile.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(IniFileTest, SectionsAndKeysMatchWithoutRegardToCase) {
  IniFile ini = IniFile::Parse("[Common]\r\nBackUpDir=D1\r\n[gps]\r\nPPS=cts\r\n");
  ASSERT_NE(ini.Find("COMMON", "backupdir"), nullptr);
  EXPECT_EQ(*ini.Find("COMMON", "backupdir"), "D1");
  EXPECT_EQ(ini.ReadString("GPS", "pps", "x"), "cts");
  EXPECT_EQ(ini.ReadString("GPS", "Port", "fallback"), "fallback");
  EXPECT_EQ(ini.Find("Missing", "PPS"), nullptr);
  EXPECT_TRUE(ini.HasSection("Gps"));
}

TEST(IniFileTest, FirstOccurrenceOfAKeyWinsAcrossDuplicateSections) {
  IniFile ini = IniFile::Parse(
      "[A]\nk=first\nk=second\n[B]\nk=b\n[a]\nK=third\nonly=later\n");
  EXPECT_EQ(*ini.Find("A", "k"), "first");
  EXPECT_EQ(*ini.Find("A", "only"), "later");
  EXPECT_EQ(*ini.Find("B", "k"), "b");
}

struct LineCase {
  const char* legend;
  const char* text;
  const char* section;
  const char* key;
  const char* expected;  // nullptr: not found
};

class IniLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(IniLineTest, ReadsValue) {
  const LineCase& c = GetParam();
  IniFile ini = IniFile::Parse(c.text);
  const std::string* v = ini.Find(c.section, c.key);
  if (c.expected == nullptr) {
    EXPECT_EQ(v, nullptr) << c.legend;
  } else {
    ASSERT_NE(v, nullptr) << c.legend;
    EXPECT_EQ(*v, c.expected) << c.legend;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, IniLineTest,
    ::testing::Values(
        LineCase{"CR LF lines", "[S]\r\nk=v\r\n", "S", "k", "v"},
        LineCase{"no final line break", "[S]\nk=v", "S", "k", "v"},
        LineCase{"blanks around name and value", "  [ S ]  \n  k  =  v w  \n", "S", "k", "v w"},
        LineCase{"equals sign inside the value", "[S]\nk=a=b\n", "S", "k", "a=b"},
        LineCase{"double quotes are dropped", "[S]\nk=\"quoted text\"\n", "S", "k", "quoted text"},
        LineCase{"single quotes are dropped", "[S]\nk='q'\n", "S", "k", "q"},
        LineCase{"unmatched quote stays", "[S]\nk=\"open\n", "S", "k", "\"open"},
        LineCase{"key before any section is ignored", "k=v\n[S]\n", "S", "k", nullptr},
        LineCase{"garbage lines are skipped", "[S]\n%%garbage\n=novalue\nk=v\n", "S", "k", "v"},
        LineCase{"broken header keeps the section", "[S]\n[broken\nk=v\n", "S", "k", "v"},
        LineCase{"non-UTF-8 bytes pass through", "[S]\nk=\xE8\xE9\xFF\x01\n", "S", "k",
                 "\xE8\xE9\xFF\x01"},
        LineCase{"UTF-8 byte order mark ignored", "\xEF\xBB\xBF[S]\nk=v\n", "S", "k", "v"},
        LineCase{"key of a later section", "[S]\n[T]\nk=v\n", "S", "k", nullptr}),
    [](const ::testing::TestParamInfo<LineCase>& info) {
      std::string name;
      for (const char* p = info.param.legend; *p; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
      return name;
    });

TEST(FormatIniTest, EmptyLineAfterEverySectionButTheLastAndEmptySectionsLeftOut) {
  std::string text = FormatIni({{"A", {{"x", "1"}, {"y", "2"}}},
                                {"Empty", {}},
                                {"B", {{"z", "3"}}},
                                {"C", {{"w", ""}}}});
  EXPECT_EQ(text, "[A]\r\nx=1\r\ny=2\r\n\r\n[B]\r\nz=3\r\n\r\n[C]\r\nw=\r\n");
}

TEST(FormatIniTest, LineBreaksInsideAValueCannotForgeLines) {
  std::string text = FormatIni({{"A", {{"msg", "hi\r\n[GPS]\nPort=evil"}}}});
  EXPECT_EQ(text, "[A]\r\nmsg=hi  [GPS] Port=evil\r\n");
  EXPECT_FALSE(IniFile::Parse(text).HasSection("GPS"));
}

}  // namespace
