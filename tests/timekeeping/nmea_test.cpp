#include "timekeeping/nmea.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

const std::string kRMC = "$GPRMC,123456.00,A,4912.3456,N,01634.5678,E,0.0,0.0,061226,,,A*5E\r\n";
const std::string kGGA = "$GPGGA,123456.00,4912.3456,N,01634.5678,E,1,08,0.9,234.5,M,46.9,M,,*67\r\n";

TSystemTime At(int y, int mo, int d, int h, int mi, int s) {
  return UnixMsToSystemTime(DateTimeToUnixMs(EncodeDateTime(y, mo, d, h, mi, s)));
}

// A field is found only when the separator after it was seen.
TEST(ExtractField, FindsFieldOnlyWhenItsSeparatorWasSeen) {
  // legend, text, name, n, found, field
  const std::tuple<const char*, std::string, std::string, int, bool, std::string> rows[] = {
      {"empty field is found", kRMC, "GPRMC", 10, true, ""},
      {"star ends the last field", kRMC, "GPRMC", 12, true, "A"},
      {"past the checksum", kRMC, "GPRMC", 14, false, ""},
      {"field at the very end without separator", "$GPRMC,1,AB", "GPRMC", 2, false, "A"},
      {"separator as last character is never examined", "$GPRMC,1,A,", "GPRMC", 2, false, "A"},
      {"one character after the separator suffices", "$GPRMC,1,A,x", "GPRMC", 2, true, "A"},
      {"name at the end of a short text", "xx$GPRMC,", "GPRMC", 1, false, ""},
      {"NUL byte ends the scan", std::string("$GPRMC,12\0,A,", 13), "GPRMC", 1, false, "12"},
      {"first occurrence wins", "$GPRMC,111111,V,*\r\n$GPRMC,222222,A,*", "GPRMC", 1, true, "111111"}};
  for (const auto& [legend, text, name, n, found, expected] : rows) {
    std::string field = "stale";
    EXPECT_EQ(ExtractNMEAField(text, name, n, field), found) << legend;
    EXPECT_EQ(field, expected) << legend;
  }
}

struct DecodeCase {
  const char* legend;
  std::string text;
  TSystemTime start;
  bool startValid;
  int correction, calls;  // calls: the same reading decoded this often
  bool ok, valid;
  TSystemTime expected;
  int dayOfWeek = -1;  // -1: not checked
};

class DecodeRMC : public ::testing::TestWithParam<DecodeCase> {};

// The record always holds the next pulse: it advances even when the reading is useless.
TEST_P(DecodeRMC, RecordHoldsTheNextPulse) {
  const DecodeCase& c = GetParam();
  TSystemTime record = c.start;
  bool valid = c.startValid, ok = false;
  for (int i = 0; i < c.calls; ++i) ok = DecodeRMCTime(c.text, record, valid, c.correction);
  EXPECT_EQ(ok, c.ok);
  EXPECT_EQ(valid, c.valid);
  EXPECT_EQ(record, c.expected);
  EXPECT_EQ(record.DayOfWeek, c.dayOfWeek < 0 ? record.DayOfWeek : c.dayOfWeek);
}

const TSystemTime kNewYear = At(2026, 1, 1, 0, 0, 0);
const TSystemTime kNewYearPlus1 = At(2026, 1, 1, 0, 0, 1);

const DecodeCase kDecodeCases[] = {
    {"CorrectionPlusOne", kRMC, {}, false, 1, 1, true, true, At(2026, 12, 6, 12, 34, 58), 0},
    {"RepeatedSentenceAdvancesOneSecond", kRMC, {}, false, 1, 2, true, true, At(2026, 12, 6, 12, 34, 59)},
    {"NoRMCAdvancesAcrossYearAndClearsValidity", kGGA, At(2026, 12, 31, 23, 59, 59), true, 1, 1, true, false,
     At(2027, 1, 1, 0, 0, 0), 5},
    {"GarbledTime", "$GPRMC,12x456,A,,,,,,,061226,,*00\r\n", kNewYear, true, 1, 1, false, false, kNewYearPlus1},
    {"February31", "$GPRMC,123456,A,,,,,,,310226,,*00\r\n", kNewYear, true, 1, 1, false, false, kNewYearPlus1},
    {"MidnightRolloverCrossesDateAndYear", "$GPRMC,235959.00,A,,,,,,,311226,,*00\r\n", {}, false, 1, 1, true, true,
     At(2027, 1, 1, 0, 0, 1)},
};

INSTANTIATE_TEST_SUITE_P(Table, DecodeRMC, ::testing::ValuesIn(kDecodeCases),
                         [](const auto& info) { return std::string(info.param.legend); });

// Texts before the call are {"d", "t", "lat", "lon", "alt"}; nullptr: not checked.
struct InfoCase {
  const char* legend;
  std::string text;
  int correction = 0;
  bool decimal = false, shown = true;
  const char *date = nullptr, *time = nullptr, *lat = nullptr, *lon = nullptr, *alt = nullptr;
};

class FormatInfo : public ::testing::TestWithParam<InfoCase> {};

TEST_P(FormatInfo, Texts) {
  const InfoCase& c = GetParam();
  TGPSInfoTexts t{"d", "t", "lat", "lon", "alt"};
  EXPECT_EQ(FormatGPSInfo(c.text, c.correction, c.decimal, t), c.shown);
  const std::pair<const char*, const std::string*> checks[] = {
      {c.date, &t.GPSDate}, {c.time, &t.GPSTime}, {c.lat, &t.Latitude}, {c.lon, &t.Longitude}, {c.alt, &t.Altitude}};
  for (const auto& [expected, actual] : checks)
    EXPECT_EQ(*actual, expected ? expected : *actual);
}

const std::string kAltitude = "$GPRMC,123456,A,,,,,,,061226,,*00$GPGGA,1,2,3,4,5,6,7,8,";

const InfoCase kInfoCases[] = {
    {.legend = "MidnightShowsNextSecondWithSentenceDate", .text = "$GPRMC,235959.00,A,,,,,,,250910,,*00\r\n",
     .correction = 1, .date = "25.09.2010", .time = "00:00:00"},
    {"WithoutStatusNothingChanges", kGGA + "$GPRMC,12", 1, false, false, "d", "t", "lat", "lon"},
    {.legend = "BadCoordinateEmptiesOnlyThatText",
     .text = "$GPRMC,123456,A,49x2.3456,N,01634.5678,E,,,061226,,*00\r\n", .decimal = true, .lat = "",
     .lon = "E 16.57613\xB0"},
    {.legend = "VoidStatusEmptiesAltitude", .text = "$GPRMC,123456,V,,,,,,,061226,,*00" + kGGA, .alt = ""},
    {.legend = "AltitudeZero", .text = kAltitude + "0.0,M,x", .alt = "0.0 m"},
    {.legend = "AltitudeNegative", .text = kAltitude + "-4.0,M,x", .alt = "-4.0 m"},
    {.legend = "AltitudeOneDecimal", .text = kAltitude + "12.34,M,x", .alt = "12.3 m"},
    {.legend = "AltitudeThreeDecimals", .text = kAltitude + "102.907,M,x", .alt = "102.9 m"},
    {.legend = "AltitudeEmpty", .text = kAltitude + ",M,x", .alt = ""},
};

INSTANTIATE_TEST_SUITE_P(Table, FormatInfo, ::testing::ValuesIn(kInfoCases),
                         [](const auto& info) { return std::string(info.param.legend); });

}  // namespace
