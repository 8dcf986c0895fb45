#include "storage/ascii_export.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "storage_test_support.h"

using namespace storage_test;

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

class AsciiExportTest : public ::testing::Test {
 protected:
  std::string AsciiDir() const { return m_dir.Path("out/ASCII"); }
  TempDir m_dir;
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

TEST_F(AsciiExportTest, ExportOfARealReadHasOneLinePerFrameOfRawValues) {
  const std::string path = m_dir.Path("data.ST01");
  WriteSeconds(path, Range(100, 104), 2);  // channel 1 all negative
  THistoryReader reader;
  THistoryRecord r;
  ASSERT_EQ(reader.Read(path, r, At(103), At(100)), kHistOk);
  const TAsciiExportResult res = BtnAsciiClick(r, AsciiDir());
  ASSERT_TRUE(res.Written);

  const std::vector<std::string> lines = CrLfLines(ReadFile(res.FileName));
  ASSERT_GE(lines.size(), 8u);
  EXPECT_EQ(lines[3], "100");
  EXPECT_EQ(lines[4], "1\t0.5");
  EXPECT_EQ(lines[6], "102100\t-2100");
  EXPECT_EQ(lines[7], "Z\tN");
  const size_t frames = std::stoul(lines[5]);
  ASSERT_EQ(frames, 3u * kRate) << "the requested three seconds";
  ASSERT_EQ(lines.size(), 8 + frames);
  for (size_t f = 0; f < frames; ++f)
    ASSERT_EQ(lines[8 + f], std::to_string(r.Samples[2 * f]) + "\t" + std::to_string(r.Samples[2 * f + 1]));
}

}  // namespace
