#include "storage/ascii_export.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace {

THistoryRecord Picture() {
  THistoryRecord r;
  r.Valid = true;
  r.StartTime = EncodeDateTime(2005, 1, 15, 12, 3, 4, 250);
  r.Station = "ST01";
  r.SampleRate = 100;
  r.ChannelCount = 3;
  r.Calibration = {1.0, 0.0012345, 2.5};
  r.Peak = {7, -8, 0};
  r.AuxIds = {"Z", "N", "GPS"};
  r.Samples = {1, -2, 0, 7, -8, 3};
  r.DisplaySamples = {9, 9, 9, 9, 9, 9};  // never exported
  return r;
}

// Written by hand from the file layout, not by the code under test.
const std::string kGolden =
    "15.01.05 12:03:04\r\n"
    "ST01\r\n"
    "0\r\n"
    "100\r\n"
    "1\t0.0012345\t2.5\r\n"
    "2\r\n"
    "7\t-8\t0\r\n"
    "Z\tN\tGPS\r\n"
    "1\t-2\t0\r\n"
    "7\t-8\t3\r\n";

struct AsciiExportTest : ::testing::Test {
  TempDir m_dir;
  std::string AsciiDir() const { return m_dir.Path("out/ASCII"); }
};

// A second export of the same moment replaces the first, also a longer one.
TEST_F(AsciiExportTest, WritesTheGoldenTextIntoANewDirectoryAndReplacesAnEarlierExport) {
  EXPECT_EQ(FormatAsciiExport(Picture()), kGolden);
  THistoryRecord longer = Picture();
  longer.Samples.insert(longer.Samples.end(), {4, 5, 6, 7, 8, 9});
  ASSERT_TRUE(BtnAsciiClick(longer, AsciiDir()).Written);
  const TAsciiExportResult res = BtnAsciiClick(Picture(), AsciiDir());
  ASSERT_TRUE(res.Written) << res.Error;
  EXPECT_EQ(res.FileName, AsciiDir() + "/050115120304.ST01");
  EXPECT_EQ(ReadFile(res.FileName), kGolden);
  EXPECT_EQ(res.LogLine, "Sav: ASCII file saved: " + res.FileName);
}

TEST_F(AsciiExportTest, InvalidPictureDoesNothingAndAFailedOneIsLoggedAsNotSaved) {
  THistoryRecord invalid = Picture();
  invalid.Valid = false;
  const TAsciiExportResult none = BtnAsciiClick(invalid, AsciiDir());
  EXPECT_FALSE(none.Attempted);
  EXPECT_EQ(none.LogLine, "");
  EXPECT_FALSE(std::filesystem::exists(AsciiDir()));
  std::filesystem::create_directories(m_dir.Path("out"));
  WriteFile(AsciiDir(), "a file where the directory should be");
  const TAsciiExportResult res = BtnAsciiClick(Picture(), AsciiDir());
  EXPECT_TRUE(res.Attempted);
  EXPECT_FALSE(res.Written);
  EXPECT_FALSE(res.Error.empty());
  EXPECT_EQ(res.LogLine.rfind("Sav: ASCII file not saved: " + res.FileName + " (", 0), 0u)
      << res.LogLine;
}

}  // namespace
