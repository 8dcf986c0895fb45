#include "storage/history_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "config/loadini.h"
#include "storage/file_naming.h"
#include "storage_test_support.h"

using namespace storage_test;

namespace {

int32_t Frame(const THistoryRecord& r, int64_t frame, int k) { return r.Samples[frame * r.ChannelCount + k]; }

// Frames [from, to) of the picture hold the seconds from `firstSecond` on.
void ExpectSeconds(const THistoryRecord& r, int64_t from, int64_t to, int firstSecond) {
  for (int64_t f = from; f < to; ++f)
    for (int k = 0; k < r.ChannelCount; ++k) {
      const int64_t n = f - from;
      ASSERT_EQ(Frame(r, f, k), Value(firstSecond + static_cast<int>(n / kRate), k, n % kRate))
          << "frame " << f << " channel " << k;
    }
}

// Frames from `frame` on hold values fromJ … fromJ + n - 1 of channel 0's block of `second`.
void ExpectBlock(const THistoryRecord& r, int64_t frame, int second, int fromJ, int n) {
  for (int j = 0; j < n; ++j)
    ASSERT_EQ(Frame(r, frame + j, 0), Value(second, 0, fromJ + j)) << "frame " << frame + j;
}

class HistoryReaderTest : public ::testing::Test {
 protected:
  TProgParam Params() const {
    TProgParam p = FileDefaults();  // hourly files in the month/day tree
    p.IDStation = "ST01";
    p.DataDir = m_dir.Path("Data");
    p.TrigDir = m_dir.Path("Triggers");
    return p;
  }
  std::string Continuous(TDateTime t) const { return ContinuousFileName(Params(), t); }

  TempDir m_dir;
  THistoryReader m_reader;
  THistoryRecord m_record;
};

TEST_F(HistoryReaderTest, ReadsBackWhatTheWriterWrote) {
  WriteSeconds(Continuous(kHour), Range(0, 60));
  ASSERT_EQ(m_reader.Read(Continuous(kHour), m_record, At(30), At(10)), kHistOk);
  ASSERT_TRUE(m_record.Valid);
  EXPECT_EQ(m_record.StartTime, At(10));
  EXPECT_EQ(m_record.ChannelCount, 3);
  EXPECT_EQ(m_record.SampleRate, 100.0);
  EXPECT_EQ(HistoryCaption(m_record), "ST01 15.01.2005 12:00:10  CMG-4T @100Hz Errors: 0");
  EXPECT_EQ(m_record.Calibration, (std::vector<double>{1.0, 0.5, 2.0}));
  EXPECT_EQ(m_record.AuxIds, (std::vector<std::string>{"Z", "N", "E"}));
  EXPECT_EQ(m_record.ChannelCodes, (std::vector<std::string>{"BHZ", "BHN", "BHE"}));
  // The requested 20 s from the requested start, complete: no errors.
  ASSERT_EQ(m_record.Samples.size(), 20u * kRate * 3);
  ExpectSeconds(m_record, 0, 20 * kRate, 10);
  EXPECT_EQ(m_record.Peak, (std::vector<int32_t>{Value(29, 0, 99), Value(10, 1, 0), Value(29, 2, 99)}));
  // Display samples carry each channel's calibration.
  EXPECT_EQ(m_record.DisplaySamples[1], static_cast<int32_t>(std::lround(Frame(m_record, 0, 1) * 0.5)));
  EXPECT_EQ(m_record.DisplaySamples[5], Frame(m_record, 1, 2) * 2);
}

TEST_F(HistoryReaderTest, RequestBetweenBlocksStartsAtTheNextBlockAndAfterTheLastFindsNone) {
  WriteSeconds(Continuous(kHour), Range(5, 20));
  ASSERT_EQ(m_reader.Read(Continuous(kHour), m_record, At(12), At(2, 500)), kHistOk);
  EXPECT_EQ(m_record.StartTime, At(5));
  // Placement is relative to the requested moment: second 5 begins 2.5 s in.
  EXPECT_EQ(Frame(m_record, 249, 0), 0);
  ExpectSeconds(m_record, 250, 250 + 7 * kRate, 5);
  THistoryRecord none;
  EXPECT_EQ(m_reader.Read(Continuous(kHour), none, At(40), At(20)), kHistNoRequestedData);
  EXPECT_FALSE(none.Valid);
}

TEST_F(HistoryReaderTest, TenSecondGapIsCountedAndFlat) {
  const std::string path = m_dir.Path("gap");
  WriteSeconds(path, Range(0, 20));
  WriteSeconds(path, Range(30, 70));
  ASSERT_EQ(m_reader.Read(path, m_record, At(60), At(0)), kHistOk);
  EXPECT_EQ(m_record.Errors, 10 * kRate);
  ExpectSeconds(m_record, 0, 20 * kRate, 0);
  for (int64_t f = 20 * kRate; f < 30 * kRate; ++f)
    for (int k = 0; k < 3; ++k) ASSERT_EQ(Frame(m_record, f, k), 0) << f;
  ExpectSeconds(m_record, 30 * kRate, 60 * kRate, 30);
}

TEST_F(HistoryReaderTest, GapOfAtMostOneBlockLengthIsClosedUpEvenAfterFiveSeconds) {
  // Ten-second blocks at 0 and 16 s: six seconds missing, less than a block.
  const std::string path = m_dir.Path("long-blocks");
  WriteSeconds(path, {0, 16}, 1, 10 * kRate);
  ASSERT_EQ(m_reader.Read(path, m_record, At(30), At(0)), kHistShort);
  ExpectBlock(m_record, 0, 0, 0, 10 * kRate);
  ExpectBlock(m_record, 10 * kRate, 16, 0, 10 * kRate);
}

TEST_F(HistoryReaderTest, TornBlockKeepsItsValuesAndTheFollowingSetsStayInPlace) {
  const std::string path = Continuous(kHour);
  WriteSeconds(path, Range(0, 5), 2);
  // A crash in second 5: channel 0's block got 30 of its 100 values and no
  // CHK2, the last line cut after the sign of a number; channel 1 never came.
  std::string bytes = ReadFile(path);
  bytes.resize(bytes.size() - 4);  // "STOP"
  bytes += FormatWid2Line(Header(0, At(5), kRate)) + "\nDAT2\n";
  for (int j = 0; j < 30; ++j) bytes += std::to_string(Value(5, 0, j)) + " ";
  bytes += "-";
  // Continued on a fresh line, as an older writer did before cutting torn ends.
  const std::string rest = m_dir.Path("rest");
  WriteSeconds(rest, Range(6, 10), 2);
  WriteFile(path, bytes + "\n" + ReadFile(rest).substr(sizeof kGse2Begin - 1));

  ASSERT_EQ(m_reader.Read(path, m_record, At(10), At(0)), kHistOk);
  ExpectSeconds(m_record, 0, 5 * kRate, 0);
  for (int j = 0; j < 30; ++j) EXPECT_EQ(Frame(m_record, 5 * kRate + j, 0), Value(5, 0, j));
  EXPECT_EQ(Frame(m_record, 5 * kRate + 30, 0), 0);
  EXPECT_EQ(Frame(m_record, 5 * kRate, 1), 0);
  ExpectSeconds(m_record, 6 * kRate, 10 * kRate, 6);
  // Second 5: 70 of channel 0 and 100 of channel 1 empty.
  EXPECT_EQ(m_record.Errors, (70 + 100) / 2);
}

TEST_F(HistoryReaderTest, FileCutInTheMiddleReadsUpToTheCut) {
  const std::string path = m_dir.Path("cut");
  WriteSeconds(path, Range(0, 10));
  const std::string bytes = ReadFile(path);
  WriteFile(path, bytes.substr(0, bytes.size() / 2));
  ASSERT_EQ(m_reader.Read(path, m_record, At(10), At(0)), kHistShort);
  ExpectSeconds(m_record, 0, 4 * kRate, 0);
  EXPECT_GE(m_record.Errors, 5 * kRate);
}

TEST_F(HistoryReaderTest, ValuesPastThePictureAreCarriedIntoTheNextPictureOfThatSecond) {
  // Three-second blocks: the set of second 9 runs two seconds past a 10-second
  // picture, and a set starting in second 10 follows.
  const std::string path = m_dir.Path("carry");
  WriteSeconds(path, {0, 3, 6, 9}, 1, 3 * kRate);
  WriteSeconds(path, {10}, 1);

  ASSERT_EQ(m_reader.Read(path, m_record, At(10), At(0)), kHistOk);
  EXPECT_EQ(m_record.CarriedFrames, 200);
  EXPECT_EQ(m_reader.CarriedFrames(), 200);
  ExpectBlock(m_record, 900, 9, 0, 100);

  THistoryRecord next;
  ASSERT_EQ(m_reader.Read(path, next, At(14), At(10)), kHistShort);
  // Values 100 … 299 of the second-9 block open the picture, then second 10.
  ExpectBlock(next, 0, 9, 100, 2 * kRate);
  ExpectBlock(next, 2 * kRate, 10, 0, kRate);
  EXPECT_EQ(m_reader.CarriedFrames(), 0);

  // A picture elsewhere drops what was carried.
  ASSERT_EQ(m_reader.Read(path, m_record, At(10), At(0)), kHistOk);
  THistoryRecord elsewhere;
  ASSERT_EQ(m_reader.Read(path, elsewhere, At(8), At(3)), kHistOk);
  ExpectBlock(elsewhere, 0, 3, 0, 3 * kRate);
}

std::string Block(const std::string& wid2, const std::string& data) {
  return wid2 + "\nDAT2\n" + data + "\nCHK2 0\n\n";
}

std::string GoodWid2() { return FormatWid2Line(Header(0, At(0), 3)); }

// A block whose WID2 line has `text` from a 1-based column on.
std::string Damaged(size_t column, const std::string& text, const std::string& data = "1 2 3") {
  return Block(GoodWid2().replace(column - 1, text.size(), text), data);
}

TEST(HistoryReaderOddball, ForeignTornAndDamagedFilesEndInTheirResultCodes) {
  // A block whose WID2 starts 10 bytes before the end of a 2000-byte chunk.
  const std::string wid2AtChunkEnd = std::string(kGse2Begin) + std::string(1990 - 14 - 1, 'x') + "\n" +
                                     Block(GoodWid2(), "1 2 3") + kGse2Stop;
  const struct {
    const char* legend;
    std::string bytes;
    int32_t expected;
  } rows[] = {
      {"foreign text", "This is not a data file.\nWID3\n", kHistNoRequestedData},
      {"binary bytes", std::string("\x00\x01WID2\xff\x00", 8), kHistNoRequestedData},
      {"header only", std::string(kGse2Begin) + kGse2Stop, kHistNoRequestedData},
      {"WID2 line cut before its date ends", "BEGIN GSE2.0\n\nWID2 2005/01/1", kHistNoRequestedData},
      {"WID2 torn before its numbers, then a whole block",
       GoodWid2().substr(0, 50) + "\n" + Block(GoodWid2(), "1 2 3") + kGse2Stop, kHistOk},
      {"WID2 found past a 2000-byte chunk border", wid2AtChunkEnd, kHistOk},
      {"WID2 inside a data line is not a block", Block(GoodWid2(), "1 2 3") + "xWID2\n" + kGse2Stop, kHistOk},
      {"letters in the date", Damaged(11, "Ja"), kHistDamaged},
      {"impossible date", Damaged(11, "13"), kHistDamaged},
      {"sample count not a number", Damaged(49, "x3"), kHistDamaged},
      {"sample rate zero", Damaged(58, "  0.000000"), kHistDamaged},
      {"calibration not a number", Damaged(70, "1.0000Q+00", "1"), kHistDamaged},
      {"data value not a number in a whole block", Block(GoodWid2(), "1 2x 3"), kHistDamaged},
      {"data value beyond 32 bits", Block(GoodWid2(), "1 2147483648 3"), kHistDamaged},
      {"sample rate too high for memory", Damaged(58, "9.000E+300", "1"), kHistNoMemory}};
  for (const auto& c : rows) {
    THistoryReader reader;
    THistoryRecord record;
    EXPECT_EQ(reader.ReadBytes(c.bytes, record, At(1), At(0)), c.expected) << c.legend;
    EXPECT_EQ(record.Valid, c.expected >= kHistShort) << c.legend;
  }
}

TEST_F(HistoryReaderTest, FilesThatCannotBeReadGiveTheirCodesAndMessages) {
  WriteFile(m_dir.Path("empty"), "");
  std::filesystem::create_directories(m_dir.Path("dir"));
  WriteFile(m_dir.Path("bad"), Damaged(49, "x3"));
  const struct {
    const char* file;
    int32_t code;
    const char* message;  // before the quoted file name
  } rows[] = {{"none", kHistNoFile, "No data file found. \""},
              {"empty", kHistUnknownSize, "Unknown file size. Cannot be read. \""},
              {"dir", kHistCannotOpen, "Data file cannot be opened. \""},
              {"bad", kHistDamaged, "Damaged data file (WID2 sample count is not a number). \""}};
  for (const auto& r : rows) {
    const std::string path = m_dir.Path(r.file);
    THistoryRecord record;
    EXPECT_EQ(m_reader.Read(path, record, At(1), At(0)), r.code) << r.file;
    EXPECT_FALSE(record.Valid);
    EXPECT_EQ(HistoryMessage(r.code, path, record.Problem), r.message + path + "\"");
  }
  EXPECT_EQ(HistoryMessage(kHistCannotSeek, "f"), "Cannot find bigining of file. \"f\"");
  EXPECT_EQ(HistoryMessage(kHistNoRequestedData, "f"), "No requested data in file. \"f\"");
  EXPECT_EQ(HistoryMessage(kHistShort, "f"), "");
}

// Pictures overlap by a quarter; Previous asks for a step earlier and shows
// the first block from there.
TEST_F(HistoryReaderTest, PreviousMovesByTheStepAndShowsTheFirstBlock) {
  for (const auto& [shown, step] : {std::pair{40, 30}, {1, 1}, {2, 1}, {3, 2}, {60, 45}})
    EXPECT_EQ(HistoryStepSeconds(shown), step) << shown;
  WriteSeconds(Continuous(kHour), Range(0, 120));
  const THistoryNavigation nav =
      BtnPrevNextClick(m_reader, m_record, Params(), At(40, 300), 40, THistoryStep::Previous, false);
  EXPECT_EQ(nav.Requested, At(10, 300));
  EXPECT_EQ(nav.Shown, At(11));
  EXPECT_EQ(nav.Message, "");
  EXPECT_EQ(HistoryCaption(m_record), "ST01 15.01.2005 12:00:11  CMG-4T @100Hz Errors: 70");
}

// A picture the file ends early is continued from the next hour's file when
// there is one; a missing one keeps what was read, without a message.
TEST_F(HistoryReaderTest, AShortPictureContinuesInTheNextHoursFileOnly) {
  const struct {
    const char* legend;
    int from, to;      // seconds in this hour's file
    bool nextHour;     // seconds 3600 … 3619 in the next one
    int typed, result;
    int nextSeconds;   // seconds read from the next file
    bool reportsNext;  // the result is the next file's
  } rows[] = {{"across the hour", 3590, 3600, true, 3590, kHistOk, 10, true},
              {"next hour missing", 3590, 3600, false, 3590, kHistNoFile, 0, true},
              {"short file within the hour", 0, 30, true, 20, kHistShort, 0, false}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.legend);
    TProgParam p = Params();
    p.DataDir = m_dir.Path(r.legend);
    WriteSeconds(ContinuousFileName(p, kHour), Range(r.from, r.to));
    if (r.nextHour) WriteSeconds(ContinuousFileName(p, At(3600)), Range(3600, 3620));
    THistoryRecord record;
    const THistoryNavigation nav =
        BtnPrevNextClick(m_reader, record, p, At(r.typed), 20, THistoryStep::None, false);
    EXPECT_EQ(nav.Result, r.result);
    EXPECT_EQ(nav.FileName, ContinuousFileName(p, r.reportsNext ? At(3600) : At(r.typed)));
    EXPECT_EQ(nav.Message, "");
    ASSERT_TRUE(record.Valid);
    const int seconds = std::min(r.to - r.typed, 20) + r.nextSeconds;
    ExpectSeconds(record, 0, seconds * kRate, r.typed);
    EXPECT_EQ(record.Errors, (20 - seconds) * kRate);
  }
}

TEST(HistoryDateTimeTest, FieldTextRoundTripsAndRejectsMalformedText) {
  TDateTime t = 0;
  ASSERT_TRUE(ParseHistoryDateTime("15.01.2005 12:03:04", t));
  EXPECT_EQ(t, EncodeDateTime(2005, 1, 15, 12, 3, 4));
  EXPECT_EQ(FormatHistoryDateTime(t), "15.01.2005 12:03:04");
  for (const char* bad : {"32.01.2005 12:03:04", "15.01.2005 12:3:04", "15/01/2005 12:03:04",
                          "15.01.2005 24:00:00", ""})
    EXPECT_FALSE(ParseHistoryDateTime(bad, t)) << bad;
}

TEST(HistoryDisplayTest, DisplaySamplesRoundAndSaturate) {
  THistoryRecord r;
  r.ChannelCount = 2;
  r.Calibration = {0.5, 1e6};
  r.Samples = {3, 5000, -3, -5000, 1, 0};
  ComputeDisplaySamples(r);
  EXPECT_EQ(r.DisplaySamples,
            (std::vector<int32_t>{2, INT32_MAX, -2, INT32_MIN, 0, 0}));
}

// A block dated 2099 (a damaged year) in the middle of an hour: the picture
// around it is read as usual, and nothing is carried towards 2099.
TEST_F(HistoryReaderTest, ABlockDatedFarAwayIsPassedOverWithMemoryBoundedByTheRequest) {
  const std::string path = Continuous(kHour);
  WriteSeconds(path, Range(0, 5));
  WriteSeconds(path, {5}, 3, kRate, EncodeDateTime(2099, 1, 15, 12, 0, 0));
  WriteSeconds(path, Range(6, 20));
  ASSERT_EQ(m_reader.Read(path, m_record, At(10), At(0)), kHistOk);
  EXPECT_EQ(m_record.StartTime, At(0));
  // Second 5 is missing; second 6 closes up the gap of one block.
  ExpectSeconds(m_record, 0, 5 * kRate, 0);
  ExpectSeconds(m_record, 5 * kRate, 9 * kRate, 6);
  EXPECT_EQ(m_record.Errors, kRate);
  EXPECT_LE(m_reader.CarriedFrames(), 10 * kRate);
  // A request after it starts at the data of the request, not in 2099.
  THistoryRecord later;
  ASSERT_EQ(m_reader.Read(path, later, At(12), At(5)), kHistOk);
  EXPECT_EQ(later.StartTime, At(6));
}

// Trigger mode reads only the trigger file of the second typed, and a failed
// read keeps the picture and the field. Next and Previous page through a
// 30-second record shown 10 s at a time, and past its ends go to the
// neighbouring trigger files (Previous to the last page of the earlier one).
TEST_F(HistoryReaderTest, TriggerModePagesThroughTheRecordAndOnToTheNeighbours) {
  const TProgParam p = Params();
  WriteSeconds(TriggerFileName(p, At(100)), Range(100, 130));
  WriteSeconds(TriggerFileName(p, At(40)), Range(40, 50));
  WriteSeconds(TriggerFileName(p, At(3700)), Range(3700, 3720));  // another hour's folder
  using enum THistoryStep;
  THistoryNavigation nav = BtnPrevNextClick(m_reader, m_record, p, At(100), 10, None, true);
  ASSERT_EQ(nav.Result, kHistOk);
  nav = BtnPrevNextClick(m_reader, m_record, p, At(101), 10, None, true);
  EXPECT_EQ(nav.Result, kHistNoFile);
  EXPECT_EQ(nav.Message, "No data file found. \"" + TriggerFileName(p, At(101)) + "\"");
  EXPECT_TRUE(m_record.Valid);
  EXPECT_EQ(m_record.StartTime, At(100));
  EXPECT_EQ(nav.Shown, At(100));
  const std::pair<THistoryStep, int> steps[] = {{Next, 107},     {Next, 114},     {Next, 121},
                                                {Next, 3700},    {Previous, 120}, {Previous, 113},
                                                {Previous, 106}, {Previous, 100}, {Previous, 40}};
  for (const auto& [step, shown] : steps) {
    SCOPED_TRACE(shown);
    nav = BtnPrevNextClick(m_reader, m_record, p, nav.Shown, 10, step, true);
    ASSERT_TRUE(nav.Message.empty()) << nav.Message;
    EXPECT_EQ(nav.Shown, At(shown));
    EXPECT_EQ(Frame(m_record, 0, 0), Value(shown, 0, 0));
  }
  nav = BtnPrevNextClick(m_reader, m_record, p, nav.Shown, 10, Previous, true);
  EXPECT_EQ(nav.Message, "No earlier trigger file.");
  EXPECT_EQ(m_record.StartTime, At(40)) << "the picture stays";
}

}  // namespace
