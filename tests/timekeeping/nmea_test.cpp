#include "timekeeping/nmea.h"

#include <gtest/gtest.h>

#include "support/shared_testdata.h"

#include <filesystem>
#include <fstream>
#include <vector>

namespace {

const std::string kRMC = "$GPRMC,123456.00,A,4912.3456,N,01634.5678,E,0.0,0.0,061226,,,A*5E\r\n";
const std::string kGGA = "$GPGGA,123456.00,4912.3456,N,01634.5678,E,1,08,0.9,234.5,M,46.9,M,,*67\r\n";

TSystemTime At(int y, int mo, int d, int h, int mi, int s) {
  return UnixMsToSystemTime(DateTimeToUnixMs(EncodeDateTime(y, mo, d, h, mi, s)));
}

struct FieldCase {
  const char* legend;
  std::string text;
  std::string name;
  int n;
  bool found;
  std::string field;
};

void PrintTo(const FieldCase& c, std::ostream* os) { *os << c.legend; }

class ExtractField : public ::testing::TestWithParam<FieldCase> {};

TEST_P(ExtractField, FindsFieldOnlyWhenItsSeparatorWasSeen) {
  const FieldCase& c = GetParam();
  std::string field = "stale";
  EXPECT_EQ(ExtractNMEAField(c.text, c.name, c.n, field), c.found) << c.legend;
  EXPECT_EQ(field, c.field) << c.legend;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExtractField,
    ::testing::Values(
        FieldCase{"time field", kRMC, "GPRMC", 1, true, "123456.00"},
        FieldCase{"status", kRMC, "GPRMC", 2, true, "A"},
        FieldCase{"date", kRMC, "GPRMC", 9, true, "061226"},
        FieldCase{"empty field is found", kRMC, "GPRMC", 10, true, ""},
        FieldCase{"star ends the last field", kRMC, "GPRMC", 12, true, "A"},
        FieldCase{"past the checksum", kRMC, "GPRMC", 14, false, ""},
        FieldCase{"field at the very end without separator", "$GPRMC,1,AB", "GPRMC", 2, false, "A"},
        FieldCase{"separator as last character is never examined", "$GPRMC,1,A,", "GPRMC", 2,
                  false, "A"},
        FieldCase{"one character after the separator suffices", "$GPRMC,1,A,x", "GPRMC", 2, true,
                  "A"},
        FieldCase{"name missing", kGGA, "GPRMC", 1, false, ""},
        FieldCase{"name at the end of a short text", "xx$GPRMC,", "GPRMC", 1, false, ""},
        FieldCase{"NUL byte ends the scan", std::string("$GPRMC,12\0,A,", 13), "GPRMC", 1, false,
                  "12"},
        FieldCase{"first occurrence wins", "$GPRMC,111111,V,*\r\n$GPRMC,222222,A,*", "GPRMC", 1,
                  true, "111111"},
        FieldCase{"second sentence in the reading", kRMC + kGGA, "GPGGA", 9, true, "234.5"}),
    [](const auto& info) { return "row" + std::to_string(info.index); });

TEST(DecodeRMCTime, RecordHoldsTheNextPulseWithCorrectionPlusOne) {
  TSystemTime record;
  bool valid = false;
  ASSERT_TRUE(DecodeRMCTime(kRMC, record, valid, 1));
  EXPECT_TRUE(valid);
  EXPECT_EQ(record, At(2026, 12, 6, 12, 34, 58));
  EXPECT_EQ(record.DayOfWeek, 0);  // a Sunday
}

TEST(DecodeRMCTime, RepeatedSentenceAdvancesOneSecond) {
  TSystemTime record;
  bool valid = false;
  ASSERT_TRUE(DecodeRMCTime(kRMC, record, valid, 1));
  ASSERT_TRUE(DecodeRMCTime(kRMC, record, valid, 1));
  EXPECT_EQ(record, At(2026, 12, 6, 12, 34, 59));
}

TEST(DecodeRMCTime, ReadingWithoutRMCAdvancesAndClearsValidity) {
  TSystemTime record = At(2026, 12, 31, 23, 59, 59);
  bool valid = true;
  EXPECT_TRUE(DecodeRMCTime(kGGA, record, valid, 1));
  EXPECT_FALSE(valid);
  EXPECT_EQ(record, At(2027, 1, 1, 0, 0, 0));
  EXPECT_EQ(record.DayOfWeek, 5);  // Friday
}

TEST(DecodeRMCTime, VoidStatusKeepsTimeButNotValidity) {
  TSystemTime record;
  bool valid = true;
  EXPECT_TRUE(DecodeRMCTime("$GPRMC,000000,V,,,,,,,010101,,*00\r\n", record, valid, 0));
  EXPECT_FALSE(valid);
  EXPECT_EQ(record, At(2001, 1, 1, 0, 0, 1));
}

TEST(DecodeRMCTime, GarbageFailsButTimeKeepsRunning) {
  for (const std::string text : {"$GPRMC,12x456,A,,,,,,,061226,,*00\r\n",
                                 "$GPRMC,123456,A,,,,,,,310226,,*00\r\n",  // 31 Feb
                                 "$GPRMC,,V,,,,,,,,,,N*53\r\n"}) {
    TSystemTime record = At(2026, 1, 1, 0, 0, 0);
    bool valid = true;
    EXPECT_FALSE(DecodeRMCTime(text, record, valid, 1)) << text;
    EXPECT_FALSE(valid);
    EXPECT_EQ(record, At(2026, 1, 1, 0, 0, 1)) << text;
  }
}

TEST(DecodeRMCTime, MidnightRolloverCrossesDateAndYear) {
  TSystemTime record;
  bool valid = false;
  ASSERT_TRUE(DecodeRMCTime("$GPRMC,235959.00,A,,,,,,,311226,,*00\r\n", record, valid, 1));
  EXPECT_EQ(record, At(2027, 1, 1, 0, 0, 1));
}

TEST(FormatGPSInfo, DocumentedExamples) {
  TGPSInfoTexts t;
  ASSERT_TRUE(FormatGPSInfo(kRMC + kGGA, 1, false, t));
  EXPECT_EQ(t.GPSTime, "12:34:57");
  EXPECT_EQ(t.GPSDate, "06.12.2026");
  EXPECT_EQ(t.Latitude, "N 49\xB0" "12.3456'");
  EXPECT_EQ(t.Longitude, "E 016\xB0" "34.5678'");
  EXPECT_EQ(t.Altitude, "234.5 m");
  ASSERT_TRUE(FormatGPSInfo(kRMC + kGGA, 1, true, t));
  EXPECT_EQ(t.Latitude, "N 49.20576\xB0");
  EXPECT_EQ(t.Longitude, "E 16.57613\xB0");
}

TEST(FormatGPSInfo, MidnightShowsNextSecondWithSentenceDate) {
  TGPSInfoTexts t;
  ASSERT_TRUE(FormatGPSInfo("$GPRMC,235959.00,A,,,,,,,250910,,*00\r\n", 1, false, t));
  EXPECT_EQ(t.GPSTime, "00:00:00");
  EXPECT_EQ(t.GPSDate, "25.09.2010");
}

TEST(FormatGPSInfo, VoidStatusEmptiesPositionTexts) {
  TGPSInfoTexts t{"d", "t", "lat", "lon", "alt"};
  ASSERT_TRUE(FormatGPSInfo("$GPRMC,123456,V,4912.3456,N,01634.5678,E,,,061226,,*00\r\n" + kGGA, 0,
                            false, t));
  EXPECT_EQ(t.Latitude, "");
  EXPECT_EQ(t.Longitude, "");
  EXPECT_EQ(t.Altitude, "");
  EXPECT_EQ(t.GPSTime, "12:34:56");
}

TEST(FormatGPSInfo, WithoutStatusNothingChanges) {
  TGPSInfoTexts t{"d", "t", "lat", "lon", "alt"};
  EXPECT_FALSE(FormatGPSInfo(kGGA + "$GPRMC,12", 1, false, t));
  EXPECT_EQ(t.GPSTime, "t");
  EXPECT_EQ(t.Latitude, "lat");
}

TEST(FormatGPSInfo, AltitudeShowsOneDecimal) {
  auto alt = [](const std::string& field) {
    TGPSInfoTexts t;
    FormatGPSInfo("$GPRMC,123456,A,,,,,,,061226,,*00$GPGGA,1,2,3,4,5,6,7,8," + field + ",M,x", 0,
                  false, t);
    return t.Altitude;
  };
  EXPECT_EQ(alt("0.0"), "0.0 m");
  EXPECT_EQ(alt("-4.0"), "-4.0 m");
  EXPECT_EQ(alt("12.34"), "12.3 m");
  EXPECT_EQ(alt("102.907"), "102.9 m");
  EXPECT_EQ(alt(""), "");
}

TEST(FormatGPSInfo, BadCoordinateEmptiesOnlyThatText) {
  TGPSInfoTexts t;
  ASSERT_TRUE(FormatGPSInfo("$GPRMC,123456,A,49x2.3456,N,01634.5678,E,,,061226,,*00\r\n", 0, true, t));
  EXPECT_EQ(t.Latitude, "");
  EXPECT_EQ(t.Longitude, "E 16.57613\xB0");
}

TEST(FormatGPSInfo, MissingTimeEmptiesBothTimeTexts) {
  TGPSInfoTexts t{"d", "t", "", "", ""};
  EXPECT_FALSE(FormatGPSInfo("$GPRMC,,V,,,,,,,,,,N*53\r\n", 1, false, t));
  EXPECT_EQ(t.GPSTime, "");
  EXPECT_EQ(t.GPSDate, "");
}

class FakeTextPort final : public GPSTextPort {
 public:
  std::string rx;
  std::vector<std::string> calls;
  std::string ReadAvailable(std::size_t max) override {
    calls.push_back("read " + std::to_string(max));
    std::string out = rx.substr(0, max);
    rx.erase(0, out.size());
    return out;
  }
  void ClearBuffers() override {
    calls.push_back("clear");
    rx.clear();
  }
};

TEST(ReadGPSText, WaitsReadsAtMost77ThenWaitsHalfAndClears) {
  FakeTextPort port;
  port.rx = kRMC + kGGA;
  std::vector<std::string> order;
  auto wait = [&](int ms) { port.calls.push_back("wait " + std::to_string(ms)); };
  const std::string text = ReadGPSText(port, 101, wait);
  EXPECT_EQ(text, (kRMC + kGGA).substr(0, 77));
  EXPECT_EQ(port.calls, (std::vector<std::string>{"wait 101", "read 77", "wait 50", "clear"}));
  EXPECT_TRUE(port.rx.empty());
}

// Splits a receiver log into what the port would deliver, '#' lines removed.
std::string Stream(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string line, out;
  while (std::getline(in, line))
    if (line.empty() || line[0] != '#') out += line + "\n";
  return out;
}

// What each whole sentence decodes to is pinned by the golden files; this
// feeds the same logs cut at arbitrary places, as a reading may begin.
TEST(ReceiverLogs, ReadingsCutAnywhereNeverBreakTheRunningTime) {
  VELKOR_REQUIRE_SHARED_NMEA();
  const std::filesystem::path dir = SharedNmeaDir();
  int logs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".log") continue;
    ++logs;
    const std::string stream = Stream(entry.path());
    TSystemTime record = At(2020, 1, 1, 0, 0, 0);
    for (std::size_t at = 0; at < stream.size(); at += 53) {
      const std::string reading = stream.substr(at, kGPSReadingLength);
      bool valid = false;
      DecodeRMCTime(reading, record, valid, 1);
      ASSERT_TRUE(SystemTimeIsValid(record)) << entry.path();
      TGPSInfoTexts t;
      FormatGPSInfo(reading, 1, true, t);
      FormatGPSInfo(reading, 1, false, t);
      EXPECT_TRUE(t.GPSTime.empty() || t.GPSTime.size() == 8u) << reading;
    }
  }
  EXPECT_EQ(logs, 8);
}

TEST(ReceiverLogs, ColdBootLogCrossesMidnight) {
  VELKOR_REQUIRE_SHARED_NMEA();
  const std::string stream = Stream(SharedNmeaDir() / "gp-320fw-2019-04-07-coldboot.log");
  const auto at = stream.find("$GPRMC,235959.00");
  ASSERT_NE(at, std::string::npos);
  TSystemTime record;
  bool valid = false;
  ASSERT_TRUE(DecodeRMCTime(stream.substr(at, kGPSReadingLength), record, valid, 1));
  EXPECT_EQ(record, At(2010, 9, 26, 0, 0, 1));
}

}  // namespace
