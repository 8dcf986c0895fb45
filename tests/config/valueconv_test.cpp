#include "config/valueconv.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "config/loadini.h"

namespace {

TEST(ValueConv, ParseInt32AcceptsOnlyWholeDecimalNumbersInRange) {
  const std::pair<const char*, std::optional<int32_t>> rows[] = {
      {"0", 0}, {"42", 42}, {"-7", -7}, {"+7", 7}, {" 12 ", 12}, {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN}, {"2147483648", std::nullopt},
      {"99999999999999999999", std::nullopt}, {"", std::nullopt}, {"-", std::nullopt},
      {"+-1", std::nullopt}, {"12a", std::nullopt}, {"1.5", std::nullopt}, {"1e3", std::nullopt},
      {"1 2", std::nullopt}};
  for (const auto& [text, expected] : rows) EXPECT_EQ(ParseInt32(text), expected) << '"' << text << '"';
}

TEST(ValueConv, ParseRealAcceptsOnlyFiniteNumbersWithADecimalPoint) {
  const std::pair<const char*, std::optional<double>> rows[] = {
      {"1", 1.0}, {"0.5", 0.5}, {"-2.25", -2.25}, {"+3", 3.0}, {".5", 0.5}, {"2.5e-3", 0.0025},
      {"1E2", 100.0}, {" 7 ", 7.0}, {"0,5", std::nullopt}, {"", std::nullopt},
      {"abc", std::nullopt}, {"inf", std::nullopt}, {"nan", std::nullopt},
      {"1e400", std::nullopt}, {"0x10", std::nullopt}, {"1.5x", std::nullopt}};
  for (const auto& [text, expected] : rows) EXPECT_EQ(ParseReal(text), expected) << '"' << text << '"';
}

TEST(ValueConv, ParseTimeOfDay) {
  // {h, m, s, ms}; empty: not a time of day.
  const std::pair<const char*, std::vector<int>> rows[] = {
      {"06:15", {6, 15, 0, 0}}, {"6:15", {6, 15, 0, 0}}, {"23:59:58", {23, 59, 58, 0}},
      {"0:00:01.250", {0, 0, 1, 250}}, {"25:00", {}}, {"24:00", {}}, {"12:60", {}},
      {"12:00:60", {}}, {"6", {}}, {"6.15", {}}, {"", {}}, {"123:00", {}}, {"12:00 junk", {}},
      {"-1:00", {}}};
  for (const auto& [text, expected] : rows) {
    const std::optional<TimeOfDay> t = ParseTimeOfDay(text);
    const std::vector<int> got =
        t ? std::vector<int>{t->hour, t->minute, t->second, t->msec} : std::vector<int>{};
    EXPECT_EQ(got, expected) << '"' << text << '"';
  }
}

TEST(ValueConv, FormatRealIsGeneralFormatWith15Digits) {
  const std::pair<double, const char*> rows[] = {
      {1, "1"}, {0.5, "0.5"}, {0, "0"}, {-0.0, "0"}, {-2.5, "-2.5"}, {100, "100"}, {0.1, "0.1"},
      {1.0 / 3, "0.333333333333333"}, {2.0 / 3, "0.666666666666667"}, {0.0001, "0.0001"},
      {0.00001, "1E-5"}, {1.5e-7, "1.5E-7"}, {123456789012345, "123456789012345"},
      {1e15, "1E15"}, {1.5e20, "1.5E20"}, {12.75, "12.75"}};
  for (const auto& [value, text] : rows) EXPECT_EQ(FormatReal(value), text) << text;
}

}  // namespace
