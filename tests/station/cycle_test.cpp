// The acquisition cycle end to end on the manual clock: converter opening,
// data flow, the GPS start-up sequence, converter faults and the periodic jobs.
#include <deque>
#include <regex>

#include "station/converter.h"
#include "station/station_rig.h"
#include "storage/storage_test_support.h"

namespace {

// Plays a script of read results; blocks of 8000 zero values otherwise.
struct ScriptedConverter final : ADConverter {
  std::deque<int32_t> results;
  bool throwOnRead = false;
  int32_t alarmInput = 0;  // value of channel 7 in every frame
  int initCount = 0;
  ArrayOfReal gain = ArrayOfReal(8, 1.0);
  void ADSelectModule(const std::string&) override {}
  int32_t ADInitialize(int32_t, std::string&, double) override {
    ++initCount;
    return 0;
  }
  int32_t ADReadBlock(int32_t, ArrayOfDataType& block) override {
    if (throwOnRead) throw std::runtime_error("converter gone");
    block.assign(8000, 0);
    for (size_t i = 7; i < block.size(); i += 8) block[i] = alarmInput;
    const int32_t r = results.empty() ? 0 : results.front();
    if (!results.empty()) results.pop_front();
    return r;
  }
  int32_t ADClose(int32_t) override { return kADClosedHandle; }
  int32_t ADChannelCount(const std::string&) const override { return 8; }
  const ArrayOfReal& ADGain() const override { return gain; }
  bool ADBusy() const override { return false; }
};

using CycleTest = StationRig;

TEST_F(CycleTest, FirstCycleOpensConverterThenDataFlowAndPpsIsDetected) {
  auto s = Make();
  Cycle(*s);
  EXPECT_EQ(s->State().ADHandle, 0);
  EXPECT_EQ(s->Lamps().Field(InfoField::Samples), "N/A") << "no block is read while opening";
  Cycle(*s);
  EXPECT_EQ(s->Lamps().Field(InfoField::Samples), "8000");
  EXPECT_EQ(s->Lamps().Led(LedId::ADStatus).color, LedColor::Green);
  for (int i = 0; i < 28; ++i) Cycle(*s);
  EXPECT_EQ(Count("A/D: Inicialized OK. \"Simulation Drumlo-4, Drumlo-8, Kelta-16\""), 1);
  EXPECT_EQ(Count("Tim: PPS detected and used."), 1);
  EXPECT_NE(s->Lamps().Field(InfoField::TimeTag), "N/A");
  s->FormClose();
}

TEST_F(CycleTest, SimulatedReceiverSynchronisesTheClockBeforeAcquisitionStarts) {
  auto s = Make("[Registration]\r\nFilter=\r\n[GPS]\r\nPort=sim-gps\r\n");
  ASSERT_TRUE(s->TimerOn());
  EXPECT_FALSE(s->State().ClockSynchronised);
  RunSimulated(*s, clock, 20);
  const auto m = Messages();
  // Waiting, the request, valid time, the clock set; only then the converter opens.
  std::vector<int> at;
  for (const char* line : {"Tim: Waiting for valid time...", "Cor: Time synchronization request Activated.",
                           "Tim: Present time is Valid Time.",
                           "Cor: Computer time was synchronized with GPS. Difference before: ",
                           "A/D: Inicialized OK."})
    at.push_back(IndexOfPrefix(m, line));
  ASSERT_GE(at[0], 0);
  ASSERT_EQ(std::adjacent_find(at.begin(), at.end(), std::greater_equal<>()), at.end())
      << ::testing::PrintToString(at);
  // The converter opens in the cycle after the pulse that set the clock.
  const auto all = CrLfLines(ReadFile(dir.Path("velkor.log")));
  EXPECT_EQ(all[static_cast<size_t>(at[4])].substr(0, 23), "15.01.2026 12:00:10.850");
  EXPECT_EQ(all.back(), "15.01.2026 12:00:20.000 Inf: ******** E N D ********");
}

// A converter that keeps returning no data or fails is closed and opened
// again; an exception in a cycle is logged once and the timer runs on. The
// alarm input lights its lamp, logs and reports once each way.
TEST_F(CycleTest, ConverterFaultsAndTheAlarmInput) {
  ScriptedConverter* conv = nullptr;  // the station's, which the test keeps watching
  auto s = Make(std::string(kPlainIni) + "[Common]\r\nAlarmOn=1\r\n", EncodeDateTime(2026, 1, 15, 12, 0, 0),
                [&conv](StationOptions& o) {
                  o.converterFactory = [&conv]() -> std::unique_ptr<ADConverter> {
                    auto c = std::make_unique<ScriptedConverter>();
                    conv = c.get();
                    return c;
                  };
                });
  Cycle(*s);  // opens
  Cycle(*s);
  EXPECT_FALSE(s->Lamps().Led(LedId::Alarm).on);
  conv->alarmInput = 9000;
  for (int i = 0; i < 3; ++i) Cycle(*s);
  EXPECT_TRUE(s->Lamps().Led(LedId::Alarm).on);
  conv->alarmInput = 0;
  Cycle(*s);
  EXPECT_FALSE(s->Lamps().Led(LedId::Alarm).on);
  EXPECT_EQ(messages, (std::vector<std::string>{"start 15.01.2026 12:00:00.000",
                                                "Alarm activated! 15.01.2026 12:00:02.000",
                                                "Alarm deactivated. 15.01.2026 12:00:05.000"}));
  conv->results = {1, 1, 1, 1, 1, 1, 7};
  for (int i = 0; i < 5; ++i) Cycle(*s);
  EXPECT_EQ(s->State().ADHandle, 0) << "five no-data results pass";
  Cycle(*s);
  EXPECT_LT(s->State().ADHandle, 0) << "the sixth is an error";
  EXPECT_EQ(s->Lamps().Led(LedId::ADStatus).color, LedColor::Red);
  Cycle(*s);  // reopens
  EXPECT_EQ(s->State().ADHandle, 0);
  EXPECT_EQ(conv->initCount, 2);
  Cycle(*s);  // result 7
  EXPECT_LT(s->State().ADHandle, 0);
  Cycle(*s);  // reopens
  conv->throwOnRead = true;
  for (int i = 0; i < 5; ++i) Cycle(*s);
  EXPECT_TRUE(s->TimerOn());
  conv->throwOnRead = false;
  Cycle(*s);
  EXPECT_EQ(s->Lamps().Field(InfoField::Samples), "8000");
  s->FormClose();
  for (const char* once : {"A/D: Error occured: 1", "A/D: Error occured: 7",
                           "Err: Acquisition cycle failed: converter gone", "Alr: Alarm signal activated.",
                           "Alr: Alarm signal dropped down."})
    EXPECT_EQ(Count(once), 1) << once;
}

// A send time in hour 0 sends once a day; a start inside the send minute
// still sends, with the status text. Offsets are logged and saved once in
// each odd hour.
TEST_F(CycleTest, DailyMessageIsSentOncePerDayWithTheStatusText) {
  auto s = Make(std::string(kPlainIni) + "[Communication]\r\nSendTime=00:00\r\n",
                EncodeDateTime(2026, 1, 15, 23, 59, 0));
  RunSimulated(*s, clock, 180);
  EXPECT_EQ(CountPrefix(messages, "active "), 1);
  EXPECT_EQ(Count("Ofs: Actual offsets: "), 1);
  EXPECT_TRUE(std::filesystem::exists(dir.Path("offsets.bin")));

  messages.clear();
  s = Make(std::string(kPlainIni) + "[Communication]\r\nSendTime=12:30\r\n",
           EncodeDateTime(2026, 1, 15, 12, 30, 40));
  RunSimulated(*s, clock, 60);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], "start 15.01.2026 12:30:40.000");
  // Converter lamp, time validity, PPS, free space of the data directory's
  // file system in whole units, last save, time tag.
  EXPECT_TRUE(std::regex_search(messages[1], std::regex("^active GVA [0-9]+(GB|MB|kB) "))) << messages[1];
  EXPECT_NE(messages[1].find(" 15.01.2026 12:30:40 N/A"), std::string::npos) << messages[1];
}

TEST_F(CycleTest, ALoudStationRecordsTriggerFilesAndLogsTheEvents) {
  auto s = Make(std::string(kPlainIni) + "[Registration]\r\nTriggers=1\r\nContinuous=0\r\n");
  RunSimulated(*s, clock, 200);
  const auto m = Messages();
  // The simulated converter's noise is far above 800 nm/s: one long event, cut at 138 seconds.
  EXPECT_GE(CountPrefix(m, "Trg: A trigger event has arise. "), 1);
  const int saved = IndexOfPrefix(m, "Trg: Saving trigger due to PredTime and PostTime. Time: ");
  ASSERT_GE(saved, 0);
  EXPECT_NE(m[saved].find(" Length: 137s Z="), std::string::npos) << m[saved];
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir.Path("Triggers")))
    if (e.is_regular_file()) files.push_back(e.path().string());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(storage_test::ParseGse2(ReadFile(files[0])).size(), 4u * 137);
  EXPECT_FALSE(std::filesystem::exists(dir.Path("Data"))) << "continuous recording is off";
}

// Past 2099 the receiver's two-digit year sets the clock back a century: the
// simulated run still lasts its simulated seconds and ends.
TEST_F(CycleTest, SimulatedRunEndsAfterTheReceiverSetsTheClockBack) {
  auto s = Make("[Registration]\r\nFilter=\r\n[GPS]\r\nPort=sim-gps\r\nPPS=DSR\r\n",
                EncodeDateTime(2099, 12, 31, 23, 59, 0));
  RunSimulated(*s, clock, 120);
  EXPECT_EQ(CrLfLines(ReadFile(dir.Path("velkor.log"))).back(),
            "01.01.2000 00:01:00.000 Inf: ******** E N D ********");
}

}  // namespace
