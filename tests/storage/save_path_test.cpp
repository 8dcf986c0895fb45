#include "storage/save_path.h"

#include <gtest/gtest.h>

#include <thread>

#include <algorithm>
#include <array>
#include <map>

#include "config/loadini.h"
#include "platform/clock.h"
#include "storage/file_naming.h"
#include "storage_test_support.h"
#include "support/recording_host.h"

using namespace storage_test;

namespace {

// The default station (full load, GPS saved, 1000 Hz resampled by 10),
// recording triggers too.
TProgParam DefaultParams(const std::string& root = "/nonexistent") {
  TProgParam p = FileDefaults();
  p.IDStation = "TST";
  p.DataDir = root + "/Data";
  p.TrigDir = root + "/Triggers";
  p.PPSChannel = 6;
  p.Triggers = true;
  return p;
}

SaveJob Job(ArrayOfDataType samples, TArrayOfPPS tags) {
  SaveJob job;
  job.Samples = std::move(samples);
  job.Tags = std::move(tags);
  return job;
}

// An output window of `seconds` tagged seconds of `frames` frames each, tags
// at At(1 + i); values count up, or are all zero. Prepare applies the new
// LastSaveTime as the controller does.
struct Window {
  ArrayOfDataType buffer;
  TArrayOfPPS tags = TArrayOfPPS(kPPSTagCount);
  TDateTime lastSaveTime = kHour;

  Window(int seconds, int frames, bool silent = false) {
    buffer.resize(static_cast<size_t>(seconds) * frames * 8);
    for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = silent ? 0 : static_cast<int32_t>(i);
    for (int s = 0; s < seconds; ++s) tags[s] = {At(1 + s), s * frames * 8};
  }
  SavePreparation Prepare(const TProgParam& p, TDateTime start, bool trigger, int32_t& span) {
    SavePreparation r = PrepareBufferForSave(&buffer, &tags, nullptr, p, start, trigger, span);
    if (r.LastSaveTime) lastSaveTime = *r.LastSaveTime;
    return r;
  }
};

// Whole segments tagged after the start, up to `span` seconds from the first;
// the last segment of the window (maybe still growing) waits for the next save.
TEST(PrepareBufferForSave, CutsTheSegmentsAfterTheStartWithinTheSpan) {
  int32_t unused = 360;
  const SavePreparation none = PrepareBufferForSave(nullptr, nullptr, nullptr, DefaultParams(), kHour, false, unused);
  EXPECT_EQ(none.Outcome, SaveOutcome::NoOutputWindow);
  EXPECT_FALSE(none.Job || none.LastSaveTime);
  struct Row {
    int start, span, first, count, spanLeft;
  } rows[] = {{0, 360, 1, 9, 9 - 360}, {2, 3, 3, 4, 1}, {9, 360, 0, 0, 0}, {12, 360, 0, 0, 0}};
  for (const Row& c : rows) {
    SCOPED_TRACE(c.start);
    Window w(10, 4);
    int32_t span = c.span;
    const SavePreparation r = w.Prepare(DefaultParams(), At(c.start), false, span);
    if (c.count == 0) {
      EXPECT_EQ(r.Outcome, SaveOutcome::NothingToSave);
      EXPECT_FALSE(r.Job);
      EXPECT_EQ(w.lastSaveTime, kHour);
      continue;
    }
    ASSERT_EQ(r.Outcome, SaveOutcome::Saved);
    ASSERT_EQ(r.Job->Tags.size(), static_cast<size_t>(c.count));
    for (int i = 0; i < c.count; ++i) EXPECT_EQ(r.Job->Tags[i], (TPPSRecord{At(c.first + i), i * 32}));
    const auto from = w.buffer.begin() + (c.first - 1) * 32;
    EXPECT_EQ(r.Job->Samples, ArrayOfDataType(from, from + c.count * 32));
    EXPECT_EQ(w.lastSaveTime, At(c.first + c.count - 1));
    EXPECT_EQ(span, c.spanLeft);
  }
}

TEST(PrepareBufferForSave, ATriggerSaveMovesLastSaveTimeOnlyWhenOnlyTriggersAreRecorded) {
  TProgParam p = DefaultParams();
  for (bool continuous : {true, false}) {
    p.Continuous = continuous;
    Window w(10, 4);
    int32_t span = 5;
    ASSERT_TRUE(w.Prepare(p, At(1), true, span).Job);
    EXPECT_EQ(w.lastSaveTime, continuous ? kHour : At(7));
  }
}

// Peaks in nm/s keep their sign; with double sensitivity a saturated high-gain
// input makes the peaks (and the saved data) fall back to low gain.
TEST(PrepareBufferForSave, PeaksKeepTheirSignAndScale) {
  struct Row {
    const char* legend;
    bool doubleSensitivity;
    ArrayOfReal lsb;
    std::vector<std::pair<int, int32_t>> values;  // (position, value)
    double z, n, e;
    bool highGainUsable;
  } rows[] = {
      {"single", false, {2.0, 1, 0.5, 1, 1, 1, 1, 1},
       {{8, -300}, {16, 200}, {9, 50}, {26, -7}}, -600.0, 50.0, -3.5, true},
      {"high gain saturated", true, {100, 1, 100, 1, 100, 1, 1, 1},
       {{9, -kHighGainLimit}, {11, -kHighGainLimit}, {13, -kHighGainLimit}, {8, -600'000},
        {10, 10}, {20, 20}}, -60'000'000.0, 1000.0, 2000.0, false},
      {"one high-gain input below the limit", true, {100, 1, 100, 1, 100, 1, 1, 1},
       {{9, kHighGainLimit}, {11, 1234}}, 0.0, 1234.0, 0.0, true},
  };
  for (const Row& c : rows) {
    SCOPED_TRACE(c.legend);
    TProgParam p = DefaultParams();
    p.DoubleSensitivity = c.doubleSensitivity;
    p.LSBin = c.lsb;
    Window w(3, 4, true);
    for (const auto& [at, v] : c.values) w.buffer[at] = v;
    int32_t span = 360;
    const SavePreparation r = w.Prepare(p, kHour, false, span);
    ASSERT_TRUE(r.Job);
    EXPECT_EQ((std::array{r.PeakZ, r.PeakN, r.PeakE}), (std::array{c.z, c.n, c.e}));
    EXPECT_EQ(r.Job->HighGainUsable, c.highGainUsable);
  }
}

// The saved inputs with their labels by full load, double sensitivity, all
// channels, GPS saved and alarm.
TEST(ChannelTable, SavedInputsWithTheirLabels) {
  const struct {
    const char* legend;
    bool fl, ds, all, gps, alm;
    const char* expected;  // "input:aux:code" …
  } rows[] = {
      {"defaults", true, false, false, true, false, "0:Z:BHZ 1:N:BHN 2:E:BHE 6:GPS:"},
      {"half load without GPS", false, false, false, false, true, "0:Z:BHZ 1:N:BHN 2:E:BHE"},
      {"full load, all, alarm", true, false, true, true, true, "0:Z:BHZ 1:N:BHN 2:E:BHE 3:: 4:: 5:: 6:GPS: 7::"},
      {"half load, all: upper inputs need full load", false, false, true, true, true, "0:Z:BHZ 1:N:BHN 2:E:BHE 3:GPS:"},
      {"double sensitivity: high gain only", true, true, false, true, false, "1:Z:BHZ 3:N:BHN 5:E:BHE 6:GPS:"},
      {"double sensitivity, all, alarm", true, true, true, true, true,
       "0:Z:BHZ 1:Z:BHZ 2:N:BHN 3:N:BHN 4:E:BHE 5:E:BHE 6:GPS: 7::"},
      {"double sensitivity on half load relabels 3", false, true, false, false, false, "1:Z:BHZ 3:GPS:BHN 5:E:BHE"},
      {"double sensitivity on half load with the alarm", false, true, true, false, true,
       "0:Z:BHZ 1:Z:BHZ 2:N:BHN 3:GPS:BHN 4:E:BHE 5:E:BHE 6:: 7:ALRM:"}};
  for (const auto& c : rows) {
    TProgParam p = DefaultParams();
    p.FullLoad = c.fl;
    p.PPSChannel = c.fl ? 6 : 3;
    p.DoubleSensitivity = c.ds;
    p.AllChannels = c.all;
    p.SaveGPS = c.gps;
    p.AlarmOn = c.alm;
    std::string got;
    for (const SavedChannel& s : BuildChannelTable(p))
      got += (got.empty() ? "" : " ") + std::to_string(s.Input) + ":" + s.AuxId + ":" + s.Code;
    EXPECT_EQ(got, c.expected) << c.legend;
  }
}

// Low-gain values in high-gain counts: 12.5, 17.5, -12.5, 2.5, 5 and 7.5 round
// to even; what does not fit saturates.
TEST(LowGainSubstitution, SaturatedHighGainIsWrittenFromLowGainUnderTheHighGainHeader) {
  EXPECT_EQ(ConvertLowToHighGain(2'000'000'000, 100.0, 1.0), INT32_MAX);
  EXPECT_EQ(ConvertLowToHighGain(5, 1.0, 0.0), INT32_MAX);
  TProgParam p = DefaultParams();
  p.DoubleSensitivity = true;
  p.SaveGPS = false;
  p.LSBin = {10, 4, 10, 4, 10, 4, 1, 1};
  constexpr int32_t kHigh = 60'000'000;
  SaveJob job = Job({5, kHigh, 7, -kHigh, -5, kHigh, 9, 9, 1, kHigh, 2, kHigh, 3, kHigh, 9, 9}, {{kHour, 0}});
  job.HighGainUsable = false;
  SaveLock lock;
  std::vector<TSaveSeisDataThread> writers = TStartSaveSeisDataThread(job, p, lock).BuildWriters();
  ASSERT_EQ(writers.size(), 1u);
  EXPECT_EQ(writers[0].ChannelCount, 3);
  EXPECT_EQ(writers[0].Samples, (ArrayOfDataType{12, 18, -12, 2, 5, 8}));
  EXPECT_EQ(writers[0].Channels[0].Calibration, 4.0);

  job.HighGainUsable = true;
  writers = TStartSaveSeisDataThread(job, p, lock).BuildWriters();
  EXPECT_EQ(writers[0].Samples, (ArrayOfDataType{kHigh, -kHigh, kHigh, kHigh, kHigh, kHigh}));
}

// Continuous segments go to the file of their own start time (checked end to
// end below); a trigger keeps the whole event in the file of its first second.
TEST(SaveJob, ATriggerJobWritesEverySegmentToTheFileOfItsFirstSecond) {
  TProgParam p = DefaultParams("/r");
  p.TwentyMinuteFile = true;
  SaveJob job = Job(ArrayOfDataType(3 * 16, 1), {{At(1199), 0}, {At(1200), 16}, {At(1201), 32}});
  job.Trigger = true;
  SaveLock lock;
  const std::vector<TSaveSeisDataThread> w = TStartSaveSeisDataThread(job, p, lock).BuildWriters();
  ASSERT_EQ(w.size(), 3u);
  for (const TSaveSeisDataThread& x : w) EXPECT_EQ(x.FileName, "/r/Triggers/01/15/050115121959.TST");
}

// Each segment is written by a counted save thread that reports 31, or 32 and
// one "Sav: " line when it fails; the job reports its own code last.
TEST(SaveJob, RunsOneCountedWriterPerSegmentAndReportsItsOwnCode) {
  TempDir dir;
  TProgParam p = DefaultParams(dir.Path("r"));
  SaveJob job = Job(ArrayOfDataType(2 * 80, 5), {{At(1), 0}, {At(2), 80}});
  SaveLock lock;
  RecordingHost host;
  EXPECT_EQ(TStartSaveSeisDataThread(job, p, lock).Execute(host), kSaveJobDoneCode);
  EXPECT_EQ(host.Codes(), (std::vector<int>{31, 31}));
  EXPECT_EQ(host.StartedSave(), 2);
  job.Trigger = true;
  EXPECT_EQ(TStartSaveSeisDataThread(job, p, lock).Execute(host), kSaveJobTriggerCode);
  p.Continuous = false;
  EXPECT_EQ(TStartSaveSeisDataThread(job, p, lock).Execute(host), kSaveJobDoneCode);

  WriteFile(dir.Path("f"), "a file where the data root's parent should be");
  const TProgParam blocked = DefaultParams(dir.Path("f"));
  job.Trigger = false;
  RecordingHost failing;
  ASSERT_TRUE(StartSaveJob(failing, job, blocked, lock));
  EXPECT_EQ(failing.WaitForCodes(3), (std::vector<int>{32, 32, 90}));
  EXPECT_EQ(failing.Started(), 1);
  EXPECT_EQ(failing.StartedSave(), 2);
  const std::vector<std::string> log = failing.LogLines();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].rfind("Sav: Disk write error. " + ContinuousFileName(blocked, At(1)), 0), 0u);
}

TEST(SaveJob, JobsWriteInTheOrderTheyWerePreparedWhateverOrderTheyRun) {
  TempDir dir;
  TProgParam p = DefaultParams(dir.Path("r"));
  SaveLock lock;
  RecordingHost host;
  TStartSaveSeisDataThread a(Job(ArrayOfDataType(80, 1), {{At(1), 0}}), p, lock);
  TStartSaveSeisDataThread b(Job(ArrayOfDataType(80, 2), {{At(2), 0}}), p, lock);
  a.SetTicket(lock.TakeJobTicket());
  b.SetTicket(lock.TakeJobTicket());
  // The later job starts first and must wait for the earlier one.
  std::thread later([&] { b.Execute(host); });
  a.Execute(host);
  later.join();
  const std::vector<ReadBlock> blocks = ParseGse2(ReadFile(ContinuousFileName(p, At(1))));
  ASSERT_EQ(blocks.size(), 2u * 4);
  EXPECT_EQ(blocks.front().Values.front(), 1);
  EXPECT_EQ(blocks.back().Values.front(), 2);
}

// The lock gives up after more than ten minutes, without real waiting; a
// writer that cannot get it writes nothing and says so.
TEST(SaveLock, GivesUpAfterMoreThanTenMinutesAndItsWriterWritesNothing) {
  TempDir dir;
  ManualClock clock(1'000'000);
  int sleeps = 0;
  SaveLock lock(clock, [&](int64_t ms) {
    ++sleeps;
    clock.AdvanceMs(ms);
  });
  ASSERT_TRUE(lock.Acquire());
  EXPECT_FALSE(lock.Acquire());
  EXPECT_EQ(sleeps, 601);  // at 600 000 ms it still waits; past it, it gives up
  RecordingHost host;
  TSaveSeisDataThread w;
  w.FileName = dir.Path("x.TST");
  w.ChannelCount = 1;
  w.Channels = {{0, "Z", "BHZ", 1}};
  w.Samples = {1, 2, 3};
  EXPECT_EQ(w.Execute(lock, host), -1);
  EXPECT_FALSE(std::filesystem::exists(w.FileName));
  ASSERT_EQ(host.LogLines().size(), 1u);
  EXPECT_EQ(host.LogLines()[0].rfind("Sav: ", 0), 0u);
  EXPECT_TRUE(lock.Held());  // still the test's
  lock.Release();
  EXPECT_TRUE(lock.Acquire());
  EXPECT_EQ(sleeps, 2 * 601);
}

// Continuous saving by position, through the slide of the window and across
// failed writes.
constexpr int kFrames = 10;   // per second in the output window
constexpr int kWindow = 30;   // seconds in the window
constexpr int kDueSeconds = 20;
constexpr int32_t kSecondValues = kFrames * 8;

struct Case {
  const char* legend;
  int stepEvery, stepBack;   // tag times step back this many seconds every so many cycles
  int blockFrom, blockTo;    // cycles in which the data folder cannot be created
  int closeAfter;  // the close's final save follows the first regular save from this cycle on
};

class ContinuationTest : public ::testing::TestWithParam<Case> {};

// Values name their second, so a block read back tells which second it holds
// whatever its time label says.
int32_t SecondValue(int second, int frame, int input) { return second * 10'000 + frame * 10 + input; }

TEST_P(ContinuationTest, EverySecondStillInTheWindowIsWrittenOnce) {
  const Case& c = GetParam();
  TempDir dir;
  TProgParam p = DefaultParams(dir.Path("r"));
  p.TwentyMinuteFile = true;  // across a 20-minute file boundary
  const int64_t base = DateTimeToUnixMs(EncodeDateTime(2026, 1, 15, 12, 18, 30));
  SaveLock lock;
  RecordingHost host;
  SaveContinuation cont;
  ArrayOfDataType window(static_cast<size_t>(kWindow) * kSecondValues, 0);
  TArrayOfPPS tags(kPPSTagCount);
  TDateTime lastSaveTime = UnixMsToDateTime(base - 1000);
  int lost = 0, recoveredOldest = -1, closedAt = -1;
  auto save = [&](int span) {
    int32_t left = span;
    SavePreparation r = PrepareBufferForSave(&window, &tags, &cont, p, lastSaveTime, false, left);
    lost += r.Lost;
    if (r.LastSaveTime) lastSaveTime = *r.LastSaveTime;
    if (r.Job) {
      EXPECT_EQ(TStartSaveSeisDataThread(std::move(*r.Job), p, lock).Execute(host), 90);
    }
    return r.Outcome == SaveOutcome::Saved;
  };

  for (int second = 0; second < 200 && closedAt < 0; ++second) {
    const TDateTime now = UnixMsToDateTime(base + 1000LL * second);
    // The cycle: one second enters, the oldest leaves, the tags move along.
    window.erase(window.begin(), window.begin() + kSecondValues);
    for (int f = 0; f < kFrames; ++f)
      for (int in = 0; in < 8; ++in) window.push_back(SecondValue(second, f, in));
    TArrayOfPPS kept(kPPSTagCount);
    int k = 0;
    for (const TPPSRecord& t : tags)
      if (t.Time != 0 && t.Index >= kSecondValues) kept[k++] = {t.Time, t.Index - kSecondValues};
    const int behind = c.stepEvery > 0 ? second / c.stepEvery * c.stepBack : 0;
    kept[k] = {AddMs(now, -1000LL * behind), static_cast<int32_t>(window.size()) - kSecondValues};
    tags = kept;
    cont.Slide(kSecondValues);

    // A file in the way fails every writer, as a full disk does; the data
    // written so far wait aside meanwhile.
    namespace fs = std::filesystem;
    if (second == c.blockFrom) {
      fs::create_directories(dir.Path("r"));
      if (fs::exists(dir.Path("r/Data"))) fs::rename(dir.Path("r/Data"), dir.Path("aside"));
      WriteFile(dir.Path("r/Data"), "in the way of the data folder");
    }
    if (second == c.blockTo) {
      fs::remove(dir.Path("r/Data"));
      if (fs::exists(dir.Path("aside"))) fs::rename(dir.Path("aside"), dir.Path("r/Data"));
    }
    const bool due = SecondsBetween(lastSaveTime, now) > kDueSeconds;
    if (!due && !cont.RetryDue(now)) continue;
    const int oldest = std::max(0, second - kWindow + 1);
    if (save(360) && second >= c.blockTo && recoveredOldest < 0) recoveredOldest = oldest;
    if (due && second >= c.closeAfter) {
      if (SecondsBetween(lastSaveTime, now) > 0) save(900);
      closedAt = second;
    }
  }
  ASSERT_GE(closedAt, 0);
  if (recoveredOldest < 0) recoveredOldest = 0;

  std::map<int, int> blocks;  // second -> blocks read back (4 channels each)
  if (std::filesystem::exists(dir.Path("r")))
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.Path("r"))) {
      if (!e.is_regular_file()) continue;
      const std::string path = e.path().string();
      for (const ReadBlock& b : ParseGse2(ReadFile(path))) {
        // A segment goes to the file of its own start time, whatever that says.
        int y, mo, d, h, mi, sec, ms;
        ASSERT_EQ(std::sscanf(b.Time.c_str(), "%d/%d/%d %d:%d:%d.%d", &y, &mo, &d, &h, &mi, &sec, &ms), 7);
        EXPECT_EQ(ContinuousFileName(p, EncodeDateTime(y, mo, d, h, mi, sec, ms)), path);
        EXPECT_EQ(FieldAt(b.Wid2, 58), "100.000000");  // 1000 Hz resampled by 10
        ASSERT_EQ(b.Values.size(), static_cast<size_t>(kFrames));
        const int second = b.Values[0] / 10'000;
        const int input = b.AuxId == "Z" ? 0 : b.AuxId == "N" ? 1 : b.AuxId == "E" ? 2 : 6;
        for (int f = 0; f < kFrames; ++f) EXPECT_EQ(b.Values[f], SecondValue(second, f, input));
        ++blocks[second];
      }
    }
  // All four blocks of a second, or none when it left the window unwritten;
  // the last second of the window is still growing at the close.
  EXPECT_EQ(blocks.count(closedAt), 0u);
  int never = 0;
  for (int second = 0; second < closedAt; ++second) {
    const int n = blocks[second];
    EXPECT_EQ(n, n == 0 && second < recoveredOldest ? 0 : 4) << "second " << second;
    never += n == 0;
  }
  EXPECT_EQ(never, lost) << "every second given up is reported";
  EXPECT_TRUE(c.blockFrom >= 0 || never == 0) << never << " seconds unwritten without a failure";
}

INSTANTIATE_TEST_SUITE_P(
    SaveContinuation, ContinuationTest,
    ::testing::Values(Case{"tags step back 2 s every 7 s", 7, 2, -1, -1, 60},
                      Case{"tags step back 3 s every 5 s", 5, 3, -1, -1, 62},
                      Case{"disk full for 12 s", 0, 0, 40, 52, 90},
                      Case{"disk full for 70 s, tags stepping back", 9, 2, 40, 110, 150}),
    LegendName<Case>);

}  // namespace
