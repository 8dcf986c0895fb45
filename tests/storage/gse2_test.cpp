#include "storage/gse2.h"

#include <gtest/gtest.h>

#include <climits>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

#include "storage/history_reader.h"
#include "storage/save_lock.h"
#include "storage/save_path.h"
#include "storage_test_support.h"
#include "support/recording_host.h"

using namespace storage_test;

namespace {

TEST(Gse2Checksum, MatchesTheModulusRule) {
  const struct {
    const char* legend;
    std::vector<int32_t> values;
    int64_t expected;
  } rows[] = {{"no values", {}, 0},
              {"negative sum wraps keeping its sign", {-60'000'000, -50'000'000}, 10'000'000},
              {"the running sum wraps as it goes", {60'000'000, 50'000'000, -20'000'000}, 10'000'000},
              {"largest magnitudes", {INT_MIN, INT_MAX}, 1},
              {"sum exactly at the modulus is 0", {99'999'999, 1}, 0}};
  for (const auto& r : rows) EXPECT_EQ(Gse2Checksum(r.values), r.expected) << r.legend;
}

// Byte for byte: texts longer than their limit are cut and the following
// columns stay in place; empty texts (no channel code, no orientation) leave
// their columns blank; the orientation follows the auxiliary id in any case.
// The inserted texts push their length in spaces to the end of the line.
TEST(Wid2Line, TextsAreCutToTheirColumnsAndTheOrientationFollowsTheAuxiliaryId) {
  const struct {
    Wid2Fields fields;
    int trailingSpaces;
    std::string text;
  } rows[] = {
      {{At(0), "ST01", "", "GPS", 100, 100, 1.0, "CMG-4T"}, 82,
       "WID2 2005/01/15 12:00:00.000 ST01      GPS  INT 100      100.000000  1.0000E+00 1.000   CMG-4T"},
      // "-1.5000E-120" is 12 characters.
      {{At(0), "LONGSTATION", "BHZXX", "ALRMX", 12'345'678, 100, -1.5e-120, "TRILLIUM-120"}, 90,
       "WID2 2005/01/15 12:00:00.000 LONGS BHZ ALRM INT 123456   100.000000  -1.5000E-1 1.000   TRILLI"},
      {{At(0), "ST01", "bhz", "z", 100, 100, 1.0, "CMG-4T"}, 80,
       "WID2 2005/01/15 12:00:00.000 ST01  bhz z    INT 100      100.000000  1.0000E+00 1.000   CMG-4T -1.0  0.0"},
      {{At(0), "ST01", "BHN", "n", 100, 100, 1.0, "CMG-4T"}, 79,
       "WID2 2005/01/15 12:00:00.000 ST01  BHN n    INT 100      100.000000  1.0000E+00 1.000   CMG-4T 0.0   90.0"},
      {{At(0), "ST01", "BHE", "E", 100, 100, 1.0, "CMG-4T"}, 80,
       "WID2 2005/01/15 12:00:00.000 ST01  BHE E    INT 100      100.000000  1.0000E+00 1.000   CMG-4T 90.0  90.0"}};
  for (const auto& r : rows)
    EXPECT_EQ(FormatWid2Line(r.fields), r.text + std::string(r.trailingSpaces, ' ')) << r.fields.AuxId;
}

TEST(Wid2Line, NumbersAreFormattedLocaleFree) {
  EXPECT_EQ(FormatWid2Time(EncodeDateTime(2026, 12, 6, 8, 5, 9, 7)), "2026/12/06 08:05:09.007");
  EXPECT_EQ(FormatWid2SampleRate(1000.0), "1000.000000");
  EXPECT_EQ(FormatWid2SampleRate(1000.0 / 3.0), "333.300000");
  EXPECT_EQ(FormatWid2SampleRate(12.34567), "12.350000");
  EXPECT_EQ(FormatWid2Calibration(0.0012345), "1.2345E-03");
  EXPECT_EQ(FormatWid2Calibration(123456.0), "1.2346E+05");
}

std::vector<std::string> Lines(const std::vector<int32_t>& values) {
  Gse2LineBuilder b;
  std::vector<std::string> out;
  std::string line;
  for (int32_t v : values)
    if (b.Add(v, line)) out.push_back(line);
  if (b.Finish(line)) out.push_back(line);
  return out;
}

TEST(Gse2DataLines, NeverReach132Characters) {
  // 11 characters with the minus sign: the 11th value makes 131 and still fits.
  const std::vector<std::string> full = Lines(std::vector<int32_t>(25, INT_MIN));
  ASSERT_EQ(full.size(), 3u);
  EXPECT_EQ(full[0].size(), 131u);
  EXPECT_EQ(full[1].size(), 131u);
  EXPECT_EQ(full[2], "-2147483648 -2147483648 -2147483648");
  // 130 characters, then " 5" would make exactly 132: it starts a new line.
  std::vector<int32_t> values(11, 1'999'999'999);
  values.insert(values.end(), {999'999, 99, 5});
  const std::vector<std::string> lines = Lines(values);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), 130u);
  EXPECT_EQ(lines[1], "5");
}

TSaveSeisDataThread TwoChannelWriter(const std::string& file, TDateTime start, std::vector<int32_t> samples) {
  return {.SegmentStart = start, .SampleRate = 100.0, .ChannelCount = 2,
          .Channels = {{0, "Z", "BHZ", 1.0}, {1, "N", "BHN", 2.5e-3}}, .FileName = file,
          .Instrument = "CMG-4T", .Station = "ST01", .Samples = std::move(samples)};
}

class Gse2FileTest : public ::testing::Test {
 protected:
  // The segment failed, said why in one "Sav: " line naming the file, and let the lock go.
  void ExpectOneSavError(int result, const std::string& file, const std::string& alsoInLine) {
    EXPECT_EQ(result, -1);
    const std::vector<std::string> log = host->LogLines();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("Sav: Disk write error. " + file, 0), 0u) << log[0];
    EXPECT_NE(log[0].find(alsoInLine), std::string::npos) << log[0];
    EXPECT_FALSE(lock.Held());
  }

  TempDir dir;
  SaveLock lock;
  std::unique_ptr<RecordingHost> host = std::make_unique<RecordingHost>();
};

// The second segment goes over the first one's STOP: one BEGIN, one STOP at the end.
TEST_F(Gse2FileTest, TwoSegmentsOfTwoChannelsMatchTheGoldenFileByteForByte) {
  const std::string file = dir.Path("golden.ST01");
  EXPECT_EQ(TwoChannelWriter(file, At(0), {10, 100'000'000, -20, -5, 35, 7}).Execute(lock, *host), 4);
  EXPECT_EQ(TwoChannelWriter(file, At(1), {-7, 60'000'000, -8, 50'000'000}).Execute(lock, *host), 4);
  EXPECT_EQ(ReadFile(file), ReadFile(VELKOR_TEST_DATA "/storage/two_segments_two_channels.gse"));
  EXPECT_TRUE(host->LogLines().empty());
  EXPECT_FALSE(lock.Held());
}

// A kill or a full disk mid-segment leaves half a block. Before the next
// append the file is cut back to its last complete block, so the whole file
// keeps the strict block layout; the cut is logged once.
struct TornCase {
  const char* legend;
  const char* cutAfter;  // the torn file ends just after this text of the second segment
  int extra;             // ... plus this many more bytes
  size_t blocksKept;     // blocks of the second segment that survive
};

class TornFileTest : public Gse2FileTest, public ::testing::WithParamInterface<TornCase> {};

TEST_P(TornFileTest, IsCutBackToItsLastCompleteBlockBeforeAppending) {
  const TornCase& c = GetParam();
  const std::string file = dir.Path("torn.ST01");
  ASSERT_EQ(TwoChannelWriter(file, At(0), {1, 2, 3, 4}).Execute(lock, *host), 4);
  const size_t firstEnd = ReadFile(file).size() - 4;
  ASSERT_EQ(TwoChannelWriter(file, At(1), {123456, -77, 123457, -78}).Execute(lock, *host), 4);
  const std::string whole = ReadFile(file);
  const size_t at = whole.find(c.cutAfter, firstEnd);
  ASSERT_NE(at, std::string::npos) << c.cutAfter;
  WriteFile(file, whole.substr(0, at + std::strlen(c.cutAfter) + c.extra));

  ASSERT_EQ(TwoChannelWriter(file, At(2), {5, 6}).Execute(lock, *host), 4);
  const std::string bytes = ReadFile(file);
  size_t blocks = 0;
  EXPECT_EQ(gse2_strict::LayoutProblem(bytes, &blocks), "");
  EXPECT_EQ(blocks, 2 + c.blocksKept + 2);
  EXPECT_EQ(bytes.compare(0, firstEnd, whole, 0, firstEnd), 0) << "the first segment changed";
  const std::vector<std::string> log = host->LogLines();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].rfind("Sav: Torn file repaired: " + file + " cut back from ", 0), 0u) << log[0];
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TornFileTest,
    ::testing::Values(TornCase{"cut mid value", "DAT2\n12345", 0, 0},
                      TornCase{"cut mid line after a blank", "DAT2\n123456 ", 0, 0},
                      TornCase{"cut inside a WID2 line", "WID2 2005/01/15 12:00:01", 0, 0},
                      TornCase{"cut inside the second WID2 line", "CHK2 246913\n\nWID2 2005", 0, 1},
                      TornCase{"CHK2 line without the empty line", "CHK2 246913\n", 0, 0},
                      TornCase{"cut inside STOP", "CHK2 155\n\n", 2, 2}),
    LegendName<TornCase>);

// An empty file, or one holding its BEGIN header or only part of it, ends as
// a fresh one.
TEST_F(Gse2FileTest, AnEmptyOrTornHeaderIsWrittenAfresh) {
  ASSERT_EQ(TwoChannelWriter(dir.Path("none"), At(0), {}).Execute(lock, *host), 4);
  EXPECT_EQ(ReadFile(dir.Path("none")), "BEGIN GSE2.0\n\nSTOP") << "a segment without samples";
  ASSERT_EQ(TwoChannelWriter(dir.Path("fresh"), At(0), {5, 6}).Execute(lock, *host), 4);
  for (const std::string existing : {"", "BEGIN GS", "BEGIN GSE2.0\n\n"}) {
    WriteFile(dir.Path("old"), existing);
    ASSERT_EQ(TwoChannelWriter(dir.Path("old"), At(0), {5, 6}).Execute(lock, *host), 4);
    EXPECT_EQ(ReadFile(dir.Path("old")), ReadFile(dir.Path("fresh"))) << existing;
  }
}

// A history read holds the file shared for the moment it copies it; a writer
// meeting it waits instead of losing its segment.
TEST_F(Gse2FileTest, AWriterWaitsForAHistoryReadAndThenAppends) {
  const std::string file = dir.Path("read.ST01");
  ASSERT_EQ(TwoChannelWriter(file, At(0), {1, 2}).Execute(lock, *host), 4);
  const int reader = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  ASSERT_EQ(::flock(reader, LOCK_SH | LOCK_NB), 0);
  int pauses = 0;
  Gse2FileWriter w;
  w.SetReaderWait([&](int64_t) {
    if (++pauses == 3) ::close(reader);  // the read ends
  });
  ASSERT_TRUE(w.Open(file)) << w.Error();
  EXPECT_EQ(pauses, 3);
  w.Close();

  // A read that never ends is waited for only up to the limit.
  const int stuck = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(stuck, LOCK_SH | LOCK_NB), 0);
  int64_t waited = 0;
  w.SetReaderWait([&](int64_t ms) { waited += ms; }, 2000);
  EXPECT_FALSE(w.Open(file));
  EXPECT_EQ(waited, 2000);
  EXPECT_NE(w.Error().find("history read"), std::string::npos) << w.Error();
  ::close(stuck);
}

// A file in the way of a directory, a level the system refuses to even look
// at (a name longer than any file system allows), a file that cannot be
// opened, a file that is not GSE2 at all: each fails the segment with one log
// line, never an exception, and is left alone.
TEST_F(Gse2FileTest, AnUnwritablePlaceFailsTheSegmentWithOneLogLine) {
  WriteFile(dir.Path("blocked"), "not a directory");
  WriteFile(dir.Path("foreign.ST01"), "holiday photos");
  std::filesystem::create_directory(dir.Path("isadir.ST01"));
  const std::pair<std::string, std::string> rows[] = {
      {dir.Path("blocked/01/15/x.ST01"), "directory " + dir.Path("blocked") + ": a file is in the way"},
      {dir.Path(std::string(300, 'd') + "/x.ST01"), ""},
      {dir.Path("isadir.ST01"), " ("},
      {dir.Path("foreign.ST01"), ""}};
  for (const auto& [file, inLine] : rows) {
    SCOPED_TRACE(file);
    host = std::make_unique<RecordingHost>();
    int result = 0;
    EXPECT_NO_THROW(result = TwoChannelWriter(file, At(0), {1, 2}).Execute(lock, *host));
    ExpectOneSavError(result, file, inLine);
  }
  EXPECT_EQ(ReadFile(dir.Path("blocked")), "not a directory");
  EXPECT_EQ(ReadFile(dir.Path("foreign.ST01")), "holiday photos");
}

// Another program appending to the same file (a second station on the same
// data directory) would interleave its blocks with ours; a history read would
// copy a half-written block.
TEST_F(Gse2FileTest, AFileHeldByAnotherWriterIsLeftAloneAndNotRead) {
  const std::string file = dir.Path("held.ST01");
  ASSERT_EQ(TwoChannelWriter(file, At(0), {1, 2}).Execute(lock, *host), 4);
  const std::string before = ReadFile(file);
  const int other = ::open(file.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  ExpectOneSavError(TwoChannelWriter(file, At(1), {3, 4}).Execute(lock, *host), file, " (");
  EXPECT_EQ(ReadFile(file), before);
  THistoryReader reader;
  THistoryRecord record;
  EXPECT_EQ(reader.Read(file, record, At(1), At(0)), kHistCannotOpen);
  ::close(other);
  EXPECT_EQ(TwoChannelWriter(file, At(1), {3, 4}).Execute(lock, *host), 4);
  EXPECT_EQ(ParseGse2(ReadFile(file)).size(), 4u);
  EXPECT_EQ(reader.Read(file, record, At(2), At(0)), kHistOk);
}

// A full disk in a child process: the file-size limit makes writes fail
// (EFBIG) once the file has grown past it.
TEST_F(Gse2FileTest, AWriteThatFailsMidSegmentFailsTheSegmentWithOneLogLine) {
  const std::string file = dir.Path("full.ST01");
  const auto writeOverTheLimit = [&]() {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const int result = TwoChannelWriter(file, At(0), std::vector<int32_t>(20'000, 123'456)).Execute(lock, *host);
    const std::vector<std::string> log = host->LogLines();
    const bool ok = result == -1 && log.size() == 1 &&
                    log[0].rfind("Sav: Disk write error. " + file, 0) == 0 && !lock.Held();
    std::_Exit(ok ? 0 : 1);
  };
  EXPECT_EXIT(writeOverTheLimit(), ::testing::ExitedWithCode(0), "");
  // The part written before the failure stays; the next writer continues it.
  EXPECT_EQ(ReadFile(file).size(), 4096u);
}

}  // namespace
