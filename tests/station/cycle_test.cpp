// The acquisition cycle end to end on the manual clock: converter opening,
// data flow, PPS tags, continuous files, the GPS start-up sequence and the
// periodic jobs.
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <deque>
#include <regex>
#include <map>

#include "station/converter.h"
#include "station/simulated_run.h"
#include "station/station_controller.h"
#include "storage/gse2.h"
#include "storage/storage_test_support.h"
#include "support/station_options.h"
#include "support/temp_dir.h"

namespace {

// Plays a script of read results; blocks of 8000 zero values otherwise.
class ScriptedConverter final : public ADConverter {
 public:
  std::deque<int32_t> results;
  bool throwOnRead = false;
  int32_t alarmInput = 0;  // value of channel 7 in every frame
  int initCount = 0, closeCount = 0;
  void ADSelectModule(const std::string&) override {}
  int32_t ADInitialize(int32_t, std::string& d, double) override {
    ++initCount;
    d = "Scripted";
    return 0;
  }
  int32_t ADReadBlock(int32_t, ArrayOfDataType& block) override {
    if (throwOnRead) throw std::runtime_error("converter gone");
    block.assign(8000, 0);
    for (size_t i = 7; i < block.size(); i += 8) block[i] = alarmInput;
    if (results.empty()) return 0;
    const int32_t r = results.front();
    results.pop_front();
    return r;
  }
  int32_t ADClose(int32_t) override {
    ++closeCount;
    return kADClosedHandle;
  }
  int32_t ADChannelCount(const std::string&) const override { return 8; }
  const ArrayOfReal& ADGain() const override { return m_gain; }
  bool ADBusy() const override { return false; }

 private:
  ArrayOfReal m_gain = ArrayOfReal(8, 1.0);
};

class CycleTest : public ::testing::Test {
 protected:
  std::unique_ptr<StationController> Make(const std::string& ini, TDateTime start,
                                          ADConverter* scripted = nullptr) {
    WriteFile(dir.Path("velkor.ini"), ini);
    clock.Set(start);
    StationOptions o = SimulatedStationOptions(dir, clock, 11);
    if (scripted)
      o.converterFactory = [scripted] {
        // The station owns its converter; the test keeps watching this one.
        struct Forward final : ADConverter {
          ADConverter* c;
          explicit Forward(ADConverter* x) : c(x) {}
          void ADSelectModule(const std::string& m) override { c->ADSelectModule(m); }
          int32_t ADInitialize(int32_t n, std::string& d, double r) override {
            return c->ADInitialize(n, d, r);
          }
          int32_t ADReadBlock(int32_t h, ArrayOfDataType& b) override { return c->ADReadBlock(h, b); }
          int32_t ADClose(int32_t h) override { return c->ADClose(h); }
          int32_t ADChannelCount(const std::string& m) const override { return c->ADChannelCount(m); }
          const ArrayOfReal& ADGain() const override { return c->ADGain(); }
          bool ADBusy() const override { return c->ADBusy(); }
        };
        return std::unique_ptr<ADConverter>(new Forward(scripted));
      };
    auto s = std::make_unique<StationController>(o);
    QObject::connect(s.get(), &StationController::messageDispatched,
                     [this](const std::string& t) { messages.push_back(t); });
    return s;
  }
  // One cycle, then one second of station time and whatever it brings.
  void Cycle(StationController& s) {
    if (s.TimerOn()) s.TimerTimer();
    clock.AdvanceMs(1000);
    QCoreApplication::processEvents();
  }
  std::vector<std::string> Messages() {
    std::vector<std::string> out;
    for (const auto& l : CrLfLines(ReadFile(dir.Path("velkor.log"))))
      out.push_back(l.size() > 24 ? l.substr(24) : l);
    return out;
  }
  static int IndexOf(const std::vector<std::string>& v, const std::string& prefix) {
    for (size_t i = 0; i < v.size(); ++i)
      if (v[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
    return -1;
  }
  static int Count(const std::vector<std::string>& v, const std::string& prefix) {
    int n = 0;
    for (const auto& s : v) n += s.rfind(prefix, 0) == 0;
    return n;
  }

  TempDir dir;
  ManualClock clock;
  std::vector<std::string> messages;
};

const char* const kPlain = "[Registration]\r\nFilter=\r\n[GPS]\r\nUpDateOn=0\r\n";

TEST_F(CycleTest, FirstCycleOpensConverterThenDataFlowAndPpsTagsWholeSeconds) {
  auto s = Make(kPlain, EncodeDateTime(2026, 1, 15, 12, 0, 0));
  s->FormCreate();
  Cycle(*s);
  EXPECT_EQ(s->State().ADHandle, 0);
  EXPECT_EQ(s->Lamps().Field(InfoField::Samples), "N/A") << "no block is read while opening";
  Cycle(*s);
  EXPECT_EQ(s->Lamps().Field(InfoField::Samples), "8000");
  EXPECT_EQ(s->Lamps().Led(LedId::ADStatus).color, LedColor::Green);
  for (int i = 0; i < 28; ++i) Cycle(*s);

  const auto m = Messages();
  EXPECT_EQ(Count(m, "A/D: Inicialized OK. \"Simulation Drumlo-4, Drumlo-8, Kelta-16\""), 1);
  EXPECT_EQ(Count(m, "Tim: PPS detected and used."), 1);
  EXPECT_TRUE(s->State().PPSAtADInput);
  EXPECT_NE(s->Lamps().Field(InfoField::TimeTag), "N/A");

  // After detection the newest tags are consecutive whole seconds one second of frames apart.
  const TArrayOfPPS& tags = s->State().DataPPS;
  std::vector<TPPSRecord> used;
  for (const auto& t : tags) {
    if (t.Time == 0) break;
    used.push_back(t);
  }
  ASSERT_GE(used.size(), 10u);
  for (size_t i = used.size() - 8; i < used.size(); ++i) {
    EXPECT_EQ(DateTimeToMs(used[i].Time) % 1000, 0);
    EXPECT_EQ(DateTimeToMs(used[i].Time) - DateTimeToMs(used[i - 1].Time), 1000) << i;
    EXPECT_EQ(used[i].Index - used[i - 1].Index, 8 * 1000) << i;
  }
  s->FormClose();
}

TEST_F(CycleTest, SimulatedReceiverSynchronisesTheClockBeforeAcquisitionStarts) {
  auto s = Make("[Registration]\r\nFilter=\r\n[GPS]\r\nPort=sim-gps\r\n",
                EncodeDateTime(2026, 1, 15, 12, 0, 0));
  s->FormCreate();
  ASSERT_TRUE(s->TimerOn());
  EXPECT_FALSE(s->State().ClockSynchronised);
  RunSimulated(*s, clock, 20);
  const auto m = Messages();
  const int wait = IndexOf(m, "Tim: Waiting for valid time...");
  const int request = IndexOf(m, "Cor: Time synchronization request Activated.");
  const int valid = IndexOf(m, "Tim: Present time is Valid Time.");
  const int synced = IndexOf(m, "Cor: Computer time was synchronized with GPS. Difference before: ");
  const int opened = IndexOf(m, "A/D: Inicialized OK.");
  ASSERT_GE(wait, 0);
  ASSERT_GT(request, wait);
  ASSERT_GT(valid, request);
  ASSERT_GT(synced, valid);
  EXPECT_GT(opened, synced) << "the converter opens only after the clock was set";
  // The tenth accepted pulse sets the clock: ten seconds after the first pulse.
  const auto lines = CrLfLines(ReadFile(dir.Path("velkor.log")));
  const auto stampOf = [&](int i) { return lines[static_cast<size_t>(i)].substr(0, 23); };
  EXPECT_EQ(stampOf(request), "15.01.2026 12:00:01.000");
  EXPECT_EQ(stampOf(synced), "15.01.2026 12:00:10.000");
  // The next cycle after the pulse that set the clock.
  EXPECT_EQ(stampOf(opened), "15.01.2026 12:00:10.850");
  EXPECT_EQ(lines.back(), "15.01.2026 12:00:20.000 Inf: ******** E N D ********");
}

TEST_F(CycleTest, ContinuousFilesHoldEverySecondOnceAcrossTheHour) {
  auto s = Make(kPlain, EncodeDateTime(2026, 1, 15, 11, 58, 0));
  s->FormCreate();
  RunSimulated(*s, clock, 300);
  const std::string day = dir.Path("Data/01/15/");
  std::map<std::string, std::vector<std::pair<int64_t, int>>> seconds;  // channel -> (ms, count)
  for (const char* name : {"26011511.IDx", "26011512.IDx"}) {
    const std::string bytes = ReadFile(day + name);
    ASSERT_FALSE(bytes.empty()) << name;
    for (const auto& b : storage_test::ParseGse2(bytes)) {
      EXPECT_EQ(b.Checksum, Gse2Checksum(b.Values)) << name << " " << b.Wid2;
      EXPECT_EQ(static_cast<int>(b.Values.size()), b.SampleCount);
      int y, mo, d, h, mi, sec, ms;
      ASSERT_EQ(std::sscanf(b.Time.c_str(), "%d/%d/%d %d:%d:%d.%d", &y, &mo, &d, &h, &mi, &sec, &ms), 7);
      seconds[b.Channel].push_back(
          {DateTimeToUnixMs(EncodeDateTime(y, mo, d, h, mi, sec, ms)), b.SampleCount});
    }
  }
  ASSERT_FALSE(seconds.empty());
  for (const auto& [channel, list] : seconds) {
    // From the first second tagged by the pulse on (one full second of samples), no gaps.
    size_t first = 0;
    while (first < list.size() && list[first].second != 100) ++first;
    ASSERT_LT(first + 100, list.size()) << channel;
    bool crossed = false;
    for (size_t i = first + 1; i < list.size(); ++i) {
      EXPECT_EQ(list[i].first - list[i - 1].first, 1000) << channel << " at " << i;
      crossed |= list[i].first % 3'600'000 == 0;
    }
    EXPECT_TRUE(crossed) << channel;
  }
}

TEST_F(CycleTest, ReadErrorsCloseTheConverterAndNoDataIsToleratedFiveTimes) {
  ScriptedConverter conv;
  auto s = Make(kPlain, EncodeDateTime(2026, 1, 15, 12, 0, 0), &conv);
  s->FormCreate();
  Cycle(*s);  // opens
  conv.results = {1, 1, 1, 1, 1, 1, 7};
  for (int i = 0; i < 5; ++i) Cycle(*s);
  EXPECT_EQ(s->State().ADHandle, 0) << "five no-data results pass";
  Cycle(*s);
  EXPECT_LT(s->State().ADHandle, 0) << "the sixth is an error";
  EXPECT_EQ(s->Lamps().Led(LedId::ADStatus).color, LedColor::Red);
  Cycle(*s);  // reopens
  EXPECT_EQ(s->State().ADHandle, 0);
  EXPECT_EQ(conv.initCount, 2);
  Cycle(*s);  // result 7
  EXPECT_LT(s->State().ADHandle, 0);
  s->FormClose();
  const auto m = Messages();
  EXPECT_EQ(Count(m, "A/D: Error occured: 1"), 1);
  EXPECT_EQ(Count(m, "A/D: Error occured: 7"), 1);
}

TEST_F(CycleTest, AnExceptionInACycleIsLoggedOnceAndTheTimerRunsOn) {
  ScriptedConverter conv;
  auto s = Make(kPlain, EncodeDateTime(2026, 1, 15, 12, 0, 0), &conv);
  s->FormCreate();
  Cycle(*s);
  conv.throwOnRead = true;
  for (int i = 0; i < 5; ++i) Cycle(*s);
  EXPECT_TRUE(s->TimerOn());
  conv.throwOnRead = false;
  Cycle(*s);
  EXPECT_EQ(s->Lamps().Field(InfoField::Samples), "8000");
  s->FormClose();
  EXPECT_EQ(Count(Messages(), "Err: "), 1);
}

TEST_F(CycleTest, DailyMessageInHourZeroIsSentOncePerDay) {
  auto s = Make(std::string(kPlain) + "[Communication]\r\nSendTime=00:00\r\n",
                EncodeDateTime(2026, 1, 15, 23, 59, 0));
  s->FormCreate();
  RunSimulated(*s, clock, 180);
  int daily = 0;
  for (const auto& t : messages) daily += t.rfind("active ", 0) == 0;
  EXPECT_EQ(daily, 1);
}

TEST_F(CycleTest, DailyMessageStartedInsideItsMinuteIsSentThenWithTheStatusText) {
  auto s = Make(std::string(kPlain) + "[Communication]\r\nSendTime=12:30\r\n",
                EncodeDateTime(2026, 1, 15, 12, 30, 40));
  s->FormCreate();
  RunSimulated(*s, clock, 60);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], "start 15.01.2026 12:30:40.000");
  // Converter lamp, time validity, PPS, free space, last save, time tag.
  EXPECT_EQ(messages[1].rfind("active GVA ", 0), 0u) << messages[1];
  EXPECT_NE(messages[1].find(" 15.01.2026 12:30:40 N/A"), std::string::npos) << messages[1];
  // The free space of the data directory's file system, in whole units.
  EXPECT_TRUE(std::regex_search(messages[1], std::regex("^active GVA [0-9]+(GB|MB|kB) ")))
      << messages[1];
}

TEST_F(CycleTest, AlarmInputLightsTheLampLogsAndReportsOnceEachWay) {
  ScriptedConverter conv;
  auto s = Make(std::string(kPlain) + "[Common]\r\nAlarmOn=1\r\n",
                EncodeDateTime(2026, 1, 15, 12, 0, 0), &conv);
  s->FormCreate();
  Cycle(*s);
  Cycle(*s);
  EXPECT_FALSE(s->Lamps().Led(LedId::Alarm).on);
  conv.alarmInput = 9000;
  for (int i = 0; i < 3; ++i) Cycle(*s);
  EXPECT_TRUE(s->Lamps().Led(LedId::Alarm).on);
  conv.alarmInput = 0;
  Cycle(*s);
  EXPECT_FALSE(s->Lamps().Led(LedId::Alarm).on);
  s->FormClose();
  const auto m = Messages();
  EXPECT_EQ(Count(m, "Alr: Alarm signal activated."), 1);
  EXPECT_EQ(Count(m, "Alr: Alarm signal dropped down."), 1);
  EXPECT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[1], "Alarm activated! 15.01.2026 12:00:02.000");
  EXPECT_EQ(messages[2], "Alarm deactivated. 15.01.2026 12:00:05.000");
}

TEST_F(CycleTest, ALoudStationRecordsTriggerFilesAndLogsTheEvents) {
  auto s = Make(std::string(kPlain) + "[Registration]\r\nTriggers=1\r\nContinuous=0\r\n",
                EncodeDateTime(2026, 1, 15, 12, 0, 0));
  s->FormCreate();
  RunSimulated(*s, clock, 200);
  const auto m = Messages();
  // The simulated converter's noise is far above 800 nm/s: one long event, cut at 138 seconds.
  EXPECT_GE(Count(m, "Trg: A trigger event has arise. "), 1);
  const int saved = IndexOf(m, "Trg: Saving trigger due to PredTime and PostTime. Time: ");
  ASSERT_GE(saved, 0);
  EXPECT_NE(m[static_cast<size_t>(saved)].find(" Length: 137s Z="), std::string::npos)
      << m[static_cast<size_t>(saved)];
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir.Path("Triggers")))
    if (e.is_regular_file()) files.push_back(e.path().string());
  ASSERT_EQ(files.size(), 1u);
  const auto blocks = storage_test::ParseGse2(ReadFile(files[0]));
  EXPECT_EQ(blocks.size(), 4u * 137);
  EXPECT_FALSE(std::filesystem::exists(dir.Path("Data"))) << "continuous recording is off";
}

TEST_F(CycleTest, MessagesGoOutAsSmsThroughTheSimulatedModem) {
  auto s = Make(std::string(kPlain) +
                    "[Communication]\r\nSendSMS=1\r\n[GSM]\r\nPort=sim-gsm\r\nPIN=1234\r\n"
                    "SMScentrum=+420123456789\r\nTelNum0=+420111222333\r\nEmailOnly=0\r\n",
                EncodeDateTime(2026, 1, 15, 12, 0, 0));
  s->FormCreate();
  EXPECT_TRUE(s->TimerOn());
  s->BtnTestSMSClick();
  s->FormClose();  // waits for every job
  const auto m = Messages();
  EXPECT_EQ(Count(m, "GSM: PIN is OK. ("), 1);
  EXPECT_EQ(Count(m, "GSM: Module activated succesfully. ("), 1);
  EXPECT_EQ(Count(m, "GSM: Trying to send SMS: +420111222333: \"IDx start 15.01.2026 12:00:00.000\" ("), 1);
  EXPECT_EQ(Count(m, "GSM: Trying to send SMS: +420111222333: \"IDx Test...\" ("), 1);
  // Each message also goes to the default e-mail gateway: four SMS in all.
  EXPECT_EQ(Count(m, "GSM: Trying to send SMS: +420000000000: \"#station*example.com IDx "), 2);
  EXPECT_EQ(Count(m, "GSM: SMS sent succesfully. ("), 4);
  const std::string sms = ReadFile(dir.Path("sim-sms.log"));
  EXPECT_NE(sms.find("IDx start 15.01.2026 12:00:00.000"), std::string::npos) << sms;
  EXPECT_NE(sms.find("IDx Test..."), std::string::npos) << sms;
}

TEST_F(CycleTest, TheLogIsExportedAsAnArchiveAndMovedToTheBackupFolder) {
  auto s = Make(kPlain, EncodeDateTime(2026, 1, 15, 12, 0, 0));
  s->FormCreate();
  s->ExportLogClick(dir.Path("station-log"));
  s->FormClose();
  EXPECT_TRUE(std::filesystem::exists(dir.Path("station-log.zip")));
  EXPECT_TRUE(std::filesystem::exists(dir.Path("Backup/20260115.log")));
  // The station goes on writing into a fresh log, which ends with the export's report.
  const auto m = Messages();
  EXPECT_GE(Count(m, "Inf: Log-file export finished. ("), 1);
  EXPECT_EQ(m.back(), "Inf: ******** E N D ********");
  EXPECT_FALSE(s->Lamps().Led(LedId::ExportData).on);
}

TEST_F(CycleTest, OffsetsAreLoggedAndSavedOnceInEachOddHour) {
  auto s = Make(kPlain, EncodeDateTime(2026, 1, 15, 12, 59, 0));
  s->FormCreate();
  RunSimulated(*s, clock, 130);
  EXPECT_EQ(Count(Messages(), "Ofs: Actual offsets: "), 1);
  EXPECT_TRUE(std::filesystem::exists(dir.Path("offsets.bin")));
}

}  // namespace
