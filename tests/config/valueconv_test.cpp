#include "config/valueconv.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "config/loadini.h"

namespace {

struct IntCase {
  const char* text;
  std::optional<int32_t> expected;
};
class ParseInt32Test : public ::testing::TestWithParam<IntCase> {};
TEST_P(ParseInt32Test, Converts) {
  EXPECT_EQ(ParseInt32(GetParam().text), GetParam().expected) << '"' << GetParam().text << '"';
}
INSTANTIATE_TEST_SUITE_P(
    Table, ParseInt32Test,
    ::testing::Values(IntCase{"0", 0}, IntCase{"42", 42}, IntCase{"-7", -7}, IntCase{"+7", 7},
                      IntCase{" 12 ", 12}, IntCase{"2147483647", 2147483647},
                      IntCase{"-2147483648", INT32_MIN}, IntCase{"2147483648", std::nullopt},
                      IntCase{"99999999999999999999", std::nullopt},
                      IntCase{"", std::nullopt},
                      IntCase{"-", std::nullopt}, IntCase{"+-1", std::nullopt},
                      IntCase{"12a", std::nullopt}, IntCase{"1.5", std::nullopt},
                      IntCase{"1e3", std::nullopt}, IntCase{"1 2", std::nullopt}));

struct RealCase {
  const char* text;
  std::optional<double> expected;
};
class ParseRealTest : public ::testing::TestWithParam<RealCase> {};
TEST_P(ParseRealTest, Converts) {
  EXPECT_EQ(ParseReal(GetParam().text), GetParam().expected) << '"' << GetParam().text << '"';
}
INSTANTIATE_TEST_SUITE_P(
    Table, ParseRealTest,
    ::testing::Values(RealCase{"1", 1.0}, RealCase{"0.5", 0.5}, RealCase{"-2.25", -2.25},
                      RealCase{"+3", 3.0}, RealCase{".5", 0.5}, RealCase{"2.5e-3", 0.0025},
                      RealCase{"1E2", 100.0}, RealCase{" 7 ", 7.0},
                      RealCase{"0,5", std::nullopt}, RealCase{"", std::nullopt},
                      RealCase{"abc", std::nullopt}, RealCase{"inf", std::nullopt},
                      RealCase{"nan", std::nullopt}, RealCase{"1e400", std::nullopt},
                      RealCase{"0x10", std::nullopt}, RealCase{"1.5x", std::nullopt}));

struct TimeCase {
  const char* text;
  bool valid = false;
  int h = 0, m = 0, s = 0, ms = 0;
};
class ParseTimeOfDayTest : public ::testing::TestWithParam<TimeCase> {};
TEST_P(ParseTimeOfDayTest, Converts) {
  const TimeCase& c = GetParam();
  std::optional<TimeOfDay> t = ParseTimeOfDay(c.text);
  ASSERT_EQ(t.has_value(), c.valid) << '"' << c.text << '"';
  if (t) {
    EXPECT_EQ((std::vector<int>{t->hour, t->minute, t->second, t->msec}),
              (std::vector<int>{c.h, c.m, c.s, c.ms}));
  }
}
INSTANTIATE_TEST_SUITE_P(
    Table, ParseTimeOfDayTest,
    ::testing::Values(TimeCase{"06:15", true, 6, 15, 0, 0}, TimeCase{"6:15", true, 6, 15, 0, 0},
                      TimeCase{"23:59:58", true, 23, 59, 58, 0},
                      TimeCase{"0:00:01.250", true, 0, 0, 1, 250},
                      TimeCase{"25:00"}, TimeCase{"24:00"}, TimeCase{"12:60"},
                      TimeCase{"12:00:60"}, TimeCase{"6"}, TimeCase{"6.15"}, TimeCase{""},
                      TimeCase{"123:00"}, TimeCase{"12:00 junk"}, TimeCase{"-1:00"}));

struct RealFormatCase {
  double value;
  const char* text;
};
class FormatRealTest : public ::testing::TestWithParam<RealFormatCase> {};
TEST_P(FormatRealTest, GeneralFormat) {
  EXPECT_EQ(FormatReal(GetParam().value), GetParam().text);
}
INSTANTIATE_TEST_SUITE_P(
    Table, FormatRealTest,
    ::testing::Values(RealFormatCase{1, "1"}, RealFormatCase{0.5, "0.5"},
                      RealFormatCase{0, "0"}, RealFormatCase{-0.0, "0"},
                      RealFormatCase{-2.5, "-2.5"}, RealFormatCase{100, "100"},
                      RealFormatCase{0.1, "0.1"}, RealFormatCase{1.0 / 3, "0.333333333333333"},
                      RealFormatCase{2.0 / 3, "0.666666666666667"},
                      RealFormatCase{0.0001, "0.0001"}, RealFormatCase{0.00001, "1E-5"},
                      RealFormatCase{1.5e-7, "1.5E-7"},
                      RealFormatCase{123456789012345, "123456789012345"},
                      RealFormatCase{1e15, "1E15"}, RealFormatCase{1.5e20, "1.5E20"},
                      RealFormatCase{12.75, "12.75"}));

TEST(FormatRealTest, RoundTripsThroughTheParserTo15Digits) {
  for (double v : {0.25, 3.1415926535, -1234.5678, 6.02e23, 1e-10, 0.1 + 0.2}) {
    std::optional<double> back = ParseReal(FormatReal(v));
    ASSERT_TRUE(back.has_value()) << FormatReal(v);
    EXPECT_NEAR(*back, v, std::abs(v) * 1e-14) << FormatReal(v);
  }
}

}  // namespace
