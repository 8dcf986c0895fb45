#include "timekeeping/pps_sync.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <memory>

#include "serial/comport.h"

namespace {

// The GPS/PPS setting is passed to the simulated receiver as a line bit.
static_assert(+clCTS == +kSignalCTS && +clDSR == +kSignalDSR && +clRing == +kSignalRI);

const int64_t kGps0 = DateTimeToUnixMs(EncodeDateTime(2026, 12, 6, 12, 0, 0));

class ScriptPort final : public GPSTextPort {
 public:
  std::string rx;
  int clears = 0;
  std::string ReadAvailable(std::size_t max) override {
    std::string out = rx.substr(0, max);
    rx.erase(0, out.size());
    return out;
  }
  void ClearBuffers() override {
    ++clears;
    rx.clear();
  }
};

TGPSrec Settings() {
  TGPSrec g;
  g.PPS = kSignalDSR;
  g.UpDateOn = true;
  g.ValidOnly = true;
  g.Correction = 1;
  g.ReadingDelay = 20;
  return g;
}

// A receiver whose pulses mark whole GPS seconds; the PC clock runs `offset`
// ms from GPS time. After each pulse the receiver sends that second's RMC.
struct Rig {
  explicit Rig(const TGPSrec& gps, int64_t offset = 0, ClockSetter* otherSetter = nullptr)
      : clock(kGps0 - 1000 + offset), sync(gps, clock, otherSetter ? *otherSetter : setter, port) {
    sync.SetEffectSink([this](TPPSEffects batch) {
      for (auto& e : batch) fx.push_back(std::move(e));
    });
    sync.SetWait([this](int ms) { waits.push_back(ms); });
  }
  // Returns the effects of this pulse.
  TPPSEffects Pulse(int64_t offset = 0) {
    const std::size_t before = fx.size();
    clock.SetUnixMs(gps + offset);
    sync.ComPortGPSDSRorCTSChange(false);
    if (!silent) port.rx += Rmc(gps);
    gps += 1000;
    return TPPSEffects(fx.begin() + static_cast<std::ptrdiff_t>(before), fx.end());
  }
  void MissPulse() {
    port.rx += Rmc(gps);
    gps += 1000;
  }
  std::string Rmc(int64_t ms) const {
    const DateTimeParts p = DecodeDateTime(UnixMsToDateTime(ms));
    char buf[96];
    std::snprintf(buf, sizeof buf, "$GPRMC,%02d%02d%02d.00,%s,4912.3456,N,01634.5678,E,,,%02d%02d%02d,,*00\r\n",
                  p.hour, p.minute, p.second, status.c_str(), p.day, p.month, p.year % 100);
    return buf;
  }
  int Logs() const {
    return static_cast<int>(std::count_if(fx.begin(), fx.end(),
                                          [](auto& e) { return e.kind == TPPSEffect::Kind::Log; }));
  }
  int Count(const std::string& line) const {
    return static_cast<int>(std::count_if(fx.begin(), fx.end(), [&](const TPPSEffect& e) {
      return e.kind == TPPSEffect::Kind::Log && e.text == line;
    }));
  }
  ManualClock clock;
  RecordingClockSetter setter;
  ScriptPort port;
  TPPSSync sync;
  TPPSEffects fx;
  std::vector<int> waits;
  int64_t gps = kGps0;  // GPS time of the next pulse
  std::string status = "A";
  bool silent = false;  // the receiver sends nothing after its pulses
};

bool Has(const TPPSEffects& fx, const TPPSEffect& e) {
  return std::find(fx.begin(), fx.end(), e) != fx.end();
}

const std::string kActivated = "Cor: Time synchronization request Activated.";
const std::string kDeactivated = "Cor: Time synchronization request DEactivated.";

TEST(PPSSync, ClockIsSetAtTheTenthPulseAndTheDifferenceShowsSecondsOfTheMinute) {
  Rig rig(Settings(), 75'250);
  const TPPSEffects first = rig.Pulse(75'250);
  EXPECT_TRUE(Has(first, TPPSEffect::Log(kActivated)));
  EXPECT_TRUE(Has(first, TPPSEffect::Text(TPPSField::EditDiff, "0s")));
  for (int i = 2; i <= 9; ++i) rig.Pulse(75'250);
  EXPECT_TRUE(rig.setter.Requests().empty());
  const int64_t tenth = rig.gps;
  const TPPSEffects fx = rig.Pulse(75'250);
  EXPECT_EQ(rig.setter.Requests(), std::vector<int64_t>{tenth});
  EXPECT_TRUE(Has(fx, TPPSEffect::Synchronised()));
  EXPECT_TRUE(Has(fx, TPPSEffect::Log(
                          "Cor: Computer time was synchronized with GPS. Difference before: 15.250s")));
  EXPECT_TRUE(Has(fx, TPPSEffect::Text(TPPSField::EditDiff, "+15.250s")));
  EXPECT_TRUE(Has(fx, TPPSEffect::Log(kDeactivated)));
  EXPECT_TRUE(Has(fx, TPPSEffect::Text(TPPSField::EditGPStime, "12:00:09")));
  EXPECT_TRUE(Has(fx, TPPSEffect::Text(TPPSField::EditPCtime, "12:01:24.250")));
  EXPECT_TRUE(Has(fx, TPPSEffect::Text(TPPSField::EditLatitude, "N 49\xB0" "12.3456'")));
  EXPECT_TRUE(rig.sync.ClockSynchronised());
  EXPECT_EQ(rig.Count("Tim: Present time is Valid Time."), 1);
  // Every pulse but the first reads: the reading delay, then half of it.
  ASSERT_EQ(rig.waits.size(), 18u);
  EXPECT_EQ(rig.waits[0], 20);
  EXPECT_EQ(rig.waits[1], 10);
}

TEST(PPSSync, NegativeDifferenceShowsMinus) {
  Rig rig(Settings(), -1'500);
  for (int i = 0; i < 3; ++i) rig.Pulse(-1'500);
  EXPECT_TRUE(Has(rig.Pulse(-1'500), TPPSEffect::Text(TPPSField::EditDiff, "-1.500s")));
  EXPECT_EQ(rig.sync.ClockDiffMs(), -1'500);
}

TEST(PPSSync, BouncingPulsesAreIgnoredAndRestartTheTenPulseCount) {
  Rig rig(Settings());
  for (int i = 0; i < 5; ++i) rig.Pulse();
  rig.clock.AdvanceMs(-700);  // 300 ms after the last accepted pulse
  const std::size_t before = rig.fx.size();
  rig.sync.ComPortGPSDSRorCTSChange(false);
  EXPECT_EQ(rig.fx.size(), before);  // not even a display update
  EXPECT_EQ(rig.sync.PulseCounter(), 0);
  rig.sync.ComPortGPSDSRorCTSChange(true);  // on-edges never count
  EXPECT_EQ(rig.fx.size(), before);
  for (int i = 0; i < 9; ++i) rig.Pulse();
  EXPECT_TRUE(rig.setter.Requests().empty());
  rig.Pulse();
  EXPECT_EQ(rig.setter.Requests().size(), 1u);
}

TEST(PPSSync, MissedPulseWaitsForFreshReadingsInsteadOfSettingASecondWrong) {
  Rig rig(Settings());
  for (int i = 0; i < 9; ++i) rig.Pulse();
  rig.MissPulse();
  rig.Pulse();  // 2 s gap: no set here
  EXPECT_TRUE(rig.setter.Requests().empty());
  rig.Pulse();  // the reading of the gap pulse began with a stale sentence
  EXPECT_TRUE(rig.setter.Requests().empty());
  const int64_t expected = rig.gps;
  rig.Pulse();
  EXPECT_EQ(rig.setter.Requests(), std::vector<int64_t>{expected});
}

TEST(PPSSync, SixthConsecutiveExcessRaisesARequestAndOneWithinTheLimitRestartsTheCount) {
  TGPSrec g = Settings();
  g.MaxDiff = 45;
  Rig rig(g, 46);
  for (int i = 1; i <= 10; ++i) rig.Pulse(46);  // synchronised at 10: first excess
  ASSERT_EQ(rig.setter.Requests().size(), 1u);
  for (int i = 11; i <= 14; ++i) rig.Pulse(46);
  EXPECT_FALSE(rig.sync.SyncRequest());
  EXPECT_EQ(rig.Count(kActivated), 1);
  rig.Pulse(46);  // the sixth
  EXPECT_TRUE(rig.sync.SyncRequest());
  EXPECT_EQ(rig.Count(kActivated), 2);

  Rig again(g, 46);
  for (int i = 1; i <= 12; ++i) again.Pulse(46);
  again.Pulse(10);
  for (int i = 0; i < 5; ++i) again.Pulse(46);
  EXPECT_FALSE(again.sync.SyncRequest());
  again.Pulse(46);
  EXPECT_TRUE(again.sync.SyncRequest());
}

TEST(PPSSync, IntervalRaisesPeriodicRequestsAndZeroDisablesThem) {
  TGPSrec g = Settings();
  g.Interval = 3600;
  Rig rig(g);
  EXPECT_EQ(rig.sync.SyncCountdown(), 3600);
  for (int i = 1; i <= 10 + 3598; ++i) rig.Pulse();
  EXPECT_EQ(rig.setter.Requests().size(), 1u);
  EXPECT_FALSE(rig.sync.SyncRequest());
  rig.Pulse();  // 3600 pulses after the one that set the clock
  EXPECT_TRUE(rig.sync.SyncRequest());
  rig.Pulse();
  EXPECT_EQ(rig.setter.Requests().size(), 2u);

  g.Interval = 0;
  Rig none(g);
  for (int i = 0; i < 200; ++i) none.Pulse();
  EXPECT_EQ(none.setter.Requests().size(), 1u);
  EXPECT_EQ(none.Count(kActivated), 1);
}

TEST(PPSSync, ValidTimeLampGoesOffOnceAtThe31stInvalidPulse) {
  Rig rig(Settings());
  for (int i = 0; i < 3; ++i) rig.Pulse();
  ASSERT_TRUE(rig.sync.LedValidTime());
  rig.status = "V";
  rig.Pulse();  // still reads the last valid sentence
  for (int i = 0; i < 30; ++i) rig.Pulse();
  EXPECT_TRUE(rig.sync.LedValidTime());
  EXPECT_EQ(rig.Count("Tim: Present time not valid."), 0);
  EXPECT_TRUE(Has(rig.Pulse(), TPPSEffect::Lamp(TPPSLamp::LedValidTime, false)));
  for (int i = 0; i < 10; ++i) rig.Pulse();
  EXPECT_EQ(rig.Count("Tim: Present time not valid."), 1);
  EXPECT_FALSE(rig.sync.GPSTimeValid());
}

TEST(PPSSync, InvalidTimeSetsTheClockOnlyOnceSynchronisedWhenValidOnlyIsOff) {
  TGPSrec g = Settings();
  g.ValidOnly = false;
  Rig waiting(g);
  waiting.status = "V";
  for (int i = 0; i < 20; ++i) waiting.Pulse();
  EXPECT_TRUE(waiting.setter.Requests().empty());
  waiting.sync.SetClockSynchronised();
  waiting.Pulse();
  EXPECT_EQ(waiting.setter.Requests().size(), 1u);

  Rig strict(Settings());
  strict.status = "V";
  strict.sync.SetClockSynchronised();
  for (int i = 0; i < 20; ++i) strict.Pulse();
  EXPECT_TRUE(strict.setter.Requests().empty());
}

TEST(PPSSync, SetTimeButtonRaisesARequestWithoutLogging) {
  Rig rig(Settings());
  for (int i = 0; i < 10; ++i) rig.Pulse();
  ASSERT_FALSE(rig.sync.SyncRequest());
  const int logs = rig.Logs();
  rig.sync.BtnSetTimeClick();
  EXPECT_TRUE(rig.sync.SyncRequest());
  EXPECT_EQ(rig.fx.back(), TPPSEffect::Lamp(TPPSLamp::LedSyncReq, true));
  EXPECT_EQ(rig.Logs(), logs);
  rig.Pulse();
  EXPECT_EQ(rig.setter.Requests().size(), 2u);
  EXPECT_EQ(rig.Count(kDeactivated), 2);
}

TEST(PPSSync, TimeValidityWatchFiresAfterSixtySeconds) {
  Rig rig(Settings());
  for (int i = 0; i < 3; ++i) rig.Pulse();
  ASSERT_TRUE(rig.sync.LedValidTime());
  const TDateTime last = rig.sync.LastValidTime();
  EXPECT_FALSE(rig.sync.CheckTimeValidity(AddMs(last, 59'999), "12:00:02", "06.12.2026", false));
  EXPECT_FALSE(rig.sync.CheckTimeValidity(AddMs(last, 60'000), "N/A", "06.12.2026", false));
  EXPECT_FALSE(rig.sync.CheckTimeValidity(AddMs(last, 60'000), "12:00:02", "06.12.2026", true));
  EXPECT_TRUE(rig.sync.CheckTimeValidity(AddMs(last, 60'000), "12:00:02", "06.12.2026", false));
  EXPECT_EQ(rig.Count("Tim: Time not valid at least 60 seconds. GSP is switched off, unplugged or PPS is inactive."), 1);
  EXPECT_FALSE(rig.sync.LedValidTime());
  EXPECT_FALSE(rig.sync.GPSTimeValid());
  EXPECT_FALSE(rig.sync.CheckTimeValidity(AddMs(last, 61'000), "12:00:02", "06.12.2026", false));
}

// Without the right to set the clock, the pulses compare the system-kept
// clock with GPS time: close enough starts measuring, too far waits and says
// so once an hour. Neither the refusal nor the requests flood the log.
TEST(PPSSync, RefusedClockSettingComparesTheKeptClockWithGps) {
  struct Refusing final : ClockSetter {
    int calls = 0;
    bool SetUtc(int64_t, std::string& error) override {
      ++calls;
      error = "Operation not permitted";
      return false;
    }
  };
  const std::string kKept = "Cor: The computer clock is kept by the system and agrees with GPS";
  const std::string kOff = "Err: Measuring waits: the computer clock is off by +5.000 s from GPS and may not be set.";
  struct Case {
    const char* name;
    int64_t offsetMs;
    bool synchronised;
    int offLines;  // after a little more than an hour of pulses
  };
  for (const Case& c : {Case{"within MaxDiff", 30, true, 0}, Case{"five seconds off", 5000, false, 2}}) {
    SCOPED_TRACE(c.name);
    Refusing refusing;
    TGPSrec gps = Settings();
    gps.MaxDiff = 45;
    gps.Interval = 600;
    Rig rig(gps, c.offsetMs, &refusing);
    for (int i = 0; i < 3700; ++i) rig.Pulse(c.offsetMs);
    EXPECT_EQ(rig.sync.ClockSynchronised(), c.synchronised);
    EXPECT_EQ(std::count(rig.fx.begin(), rig.fx.end(), TPPSEffect::Synchronised()), c.synchronised ? 1 : 0);
    EXPECT_EQ(rig.Count("Cor: Error setting computer clock: Operation not permitted"), 1);
    EXPECT_EQ(std::count_if(rig.fx.begin(), rig.fx.end(),
                            [&](const TPPSEffect& e) { return e.text.rfind(kKept, 0) == 0; }),
              c.synchronised ? 1 : 0);
    EXPECT_EQ(rig.Count(kOff), c.offLines);
    // The periodic request still tries the privilege now and then, no more.
    EXPECT_GE(refusing.calls, 2);
    EXPECT_LE(rig.Count(kActivated), 10);
  }
}

// A receiver's date before the build or more than 20 years after it (a cold
// receiver's 1980 read as 2080) never reaches the clock; a sane one does.
TEST(PPSSync, ImplausibleReceiverDateNeverSetsTheClock) {
  struct Case {
    const char* name;
    TDateTime receiver;
    std::string line;
  };
  for (const Case& c :
       {Case{"cold receiver 1980 read as 2080", EncodeDateTime(2080, 1, 5, 0, 0, 0),
             "Cor: The receiver's date 05.01.2080 is not plausible; the computer clock waits for a sane date."},
        Case{"before the build", EncodeDateTime(2019, 4, 7, 0, 0, 0),
             "Cor: The receiver's date 07.04.2019 is not plausible; the computer clock waits for a sane date."}}) {
    SCOPED_TRACE(c.name);
    Rig rig(Settings());
    rig.sync.SetDateWindow(kGps0 - 86'400'000, kGps0 + 20LL * 36525 * 864'000);
    const int64_t shifted = DateTimeToUnixMs(c.receiver);
    rig.gps = shifted;
    for (int i = 0; i < 30; ++i) rig.Pulse(kGps0 - shifted);
    EXPECT_TRUE(rig.setter.Requests().empty());
    EXPECT_EQ(rig.Count(c.line), 1);
    EXPECT_FALSE(rig.sync.ClockSynchronised());
    // The receiver finds the right date: the clock is set to it.
    const int64_t pc = rig.clock.NowUnixMs() + 1000;
    rig.gps = pc;
    for (int i = 0; i < 3; ++i) rig.Pulse();
    ASSERT_EQ(rig.setter.Requests().size(), 1u);
    EXPECT_GE(rig.setter.Requests()[0], pc);
    EXPECT_TRUE(rig.sync.ClockSynchronised());
  }
}

TEST(PPSSync, SilentReceiverShowsTheTimeOfThisPulseFromTheRunningRecord) {
  Rig rig(Settings());
  for (int i = 0; i < 3; ++i) rig.Pulse();
  rig.silent = true;
  rig.Pulse();  // still reads the sentence sent after the third pulse
  const TPPSEffects fx = rig.Pulse();  // 12:00:04, nothing to read
  EXPECT_TRUE(Has(fx, TPPSEffect::Text(TPPSField::EditGPStime, "12:00:04")));
  EXPECT_TRUE(Has(fx, TPPSEffect::Text(TPPSField::EditGPSDate, "06.12.2026")));
  EXPECT_FALSE(rig.sync.GPSTimeValid());
  EXPECT_EQ(rig.sync.GPSTime(), UnixMsToSystemTime(kGps0 + 5000));  // the next pulse
}

TEST(PPSSync, InvalidTimeHoldsThePeriodicCountdownWhenValidOnlyIsOn) {
  TGPSrec g = Settings();
  g.Interval = 100;
  Rig rig(g);
  for (int i = 0; i < 10; ++i) rig.Pulse();
  ASSERT_FALSE(rig.sync.SyncRequest());
  rig.status = "V";
  rig.Pulse();  // reads the last valid sentence
  const int held = rig.sync.SyncCountdown();
  for (int i = 0; i < 5; ++i) rig.Pulse();
  EXPECT_EQ(rig.sync.SyncCountdown(), held);

  g.ValidOnly = false;
  Rig lax(g);
  for (int i = 0; i < 10; ++i) lax.Pulse();
  lax.status = "V";
  lax.Pulse();
  const int running = lax.sync.SyncCountdown();
  for (int i = 0; i < 5; ++i) lax.Pulse();
  EXPECT_EQ(lax.sync.SyncCountdown(), running - 5);
}

TEST(PPSSync, RingLineOnlyWhenConfigured) {
  Rig rig(Settings());
  rig.clock.SetUnixMs(kGps0);
  rig.sync.ComPortGPSRing();
  EXPECT_TRUE(rig.fx.empty());
  TGPSrec g = Settings();
  g.PPS = kSignalRI;
  Rig ring(g);
  ring.clock.SetUnixMs(kGps0);
  ring.sync.ComPortGPSRing();
  EXPECT_FALSE(ring.fx.empty());
}

// The whole chain on a simulated clock: receiver, port, decoding, clock setting.
TEST(PPSSync, SimulatedReceiverSynchronisesTheManualClock) {
  ManualClock clock(kGps0 + 400);
  ManualClockSetter setter(clock);
  SimGpsOptions sim;
  sim.clock = &clock;
  sim.Threaded = false;
  sim.PPSLine = clDSR;
  TComPort port;
  port.SetSimGpsOptions(sim);
  port.SetSyncMethod(TSyncMethod::smNone);
  port.SetEvents(evRing | evCTS | evDSR);
  port.SetPort("sim-gps");
  PortTextAdapter<TComPort> text(port);
  TPPSSync sync(Settings(), clock, setter, text);
  sync.SetWait({});
  TPPSEffects fx;
  sync.SetEffectSink([&](TPPSEffects b) { fx.insert(fx.end(), b.begin(), b.end()); });
  port.OnDSRChange = [&](TComPort&, bool on) { sync.ComPortGPSDSRorCTSChange(on); };
  ASSERT_TRUE(port.Open());
  for (int i = 0; i < 12; ++i) {
    clock.AdvanceMs(1000);
    port.SimGps()->Pump();
  }
  ASSERT_EQ(setter.Requests().size(), 1u);
  EXPECT_EQ(setter.Requests()[0], kGps0 + 10'000);  // the tenth pulse, set to its own second
  EXPECT_TRUE(sync.ClockSynchronised());
  EXPECT_TRUE(sync.LedValidTime());
  EXPECT_EQ(sync.ClockDiffMs(), 0);
  EXPECT_TRUE(Has(fx, TPPSEffect::Text(TPPSField::EditGPStime, "12:00:12")));
  EXPECT_TRUE(Has(fx, TPPSEffect::Text(TPPSField::EditLongitude, "E 016\xB0" "34.5678'")));
  port.Close();
}

}  // namespace

namespace {

// A device whose line changes the test fires with the stamp the port's
// thread would have taken, and whose receive buffer the test fills.
class ScriptedLines final : public ComBackend {
 public:
  bool Open(const TComSettings&, ComBackendEvents e, std::string&) override {
    events = std::move(e);
    return true;
  }
  void Close() override {}
  bool Apply(const TComSettings&, std::string&) override { return true; }
  bool Write(const std::string&, std::string&) override { return true; }
  std::string ReadAvailable(std::size_t max) override {
    std::string out = rx.substr(0, max);
    rx.erase(0, out.size());
    return out;
  }
  void ClearBuffers(bool input, bool) override {
    if (input) rx.clear();
  }
  bool SetDTR(bool) override { return true; }
  unsigned LineState() override { return lines; }
  ComBackendEvents events;
  std::string rx;
  unsigned lines = 0;
};

struct StampCase {
  const char* legend;
  uint8_t pps;        // GPS/PPS
  TSyncMethod method; // smThreadSync: the handler runs from a queue
  int64_t lateMs;     // clock advance between the stamp and the handler
};

class PulseStampTest : public ::testing::TestWithParam<StampCase> {};

// The clock is set to the pulse's second plus what passed since the stamp,
// and the difference is measured at the stamp, however late the handler runs.
TEST_P(PulseStampTest, ClockIsSetToThePulseSecondPlusTheTimeSinceTheStamp) {
  const StampCase& c = GetParam();
  ManualClock clock(kGps0 - 1000);
  RecordingClockSetter setter;
  TComPort port;
  ScriptedLines* device = nullptr;
  port.SetBackendFactory([&](const std::string&, std::string&) {
    auto d = std::make_unique<ScriptedLines>();
    device = d.get();
    return d;
  });
  port.SetPort("scripted");
  port.SetSyncMethod(c.method);
  port.SetEvents(evRing | evCTS | evDSR);
  std::vector<std::function<void()>> queue;
  port.SetDispatcher([&](std::function<void()> call) { queue.push_back(std::move(call)); });
  PortTextAdapter<TComPort> text(port);
  TGPSrec gps = Settings();
  gps.PPS = c.pps;
  TPPSSync sync(gps, clock, setter, text);
  sync.SetWait({});
  port.OnDSRChange = [&](TComPort&, bool on) {
    sync.ComPortGPSDSRorCTSChange(on, TComPort::LineEventStampMs());
  };
  port.OnCTSChange = port.OnDSRChange;
  port.OnRing = [&](TComPort&) { sync.ComPortGPSRing(TComPort::LineEventStampMs()); };
  ASSERT_TRUE(port.Open());
  const unsigned line = c.pps == kSignalRI ? clRing : c.pps == kSignalCTS ? clCTS : clDSR;

  Rig format(Settings());  // only for its RMC text
  for (int i = 0; i < 10; ++i) {
    const int64_t second = kGps0 + 1000LL * i;
    clock.SetUnixMs(second);
    const int64_t stamp = clock.NowUnixMs();
    device->events.LineChange(line, line, stamp);
    if (c.method == TSyncMethod::smNone) clock.AdvanceMs(c.lateMs);
    device->events.LineChange(line, 0, stamp);
    if (c.method == TSyncMethod::smThreadSync) {
      clock.AdvanceMs(c.lateMs);
      for (auto& call : queue) call();
      queue.clear();
    }
    device->rx += format.Rmc(second);
  }
  ASSERT_EQ(setter.Requests().size(), 1u);
  EXPECT_EQ(setter.Requests()[0], kGps0 + 9'000 + c.lateMs);
  EXPECT_EQ(sync.ClockDiffMs(), 0);
  EXPECT_EQ(sync.PulseCounter(), 10);
  port.Close();
}

INSTANTIATE_TEST_SUITE_P(
    PPSSync, PulseStampTest,
    ::testing::Values(StampCase{"DSR on the event thread 37 ms late", kSignalDSR, TSyncMethod::smNone, 37},
                      StampCase{"CTS queued 480 ms late", kSignalCTS, TSyncMethod::smThreadSync, 480},
                      StampCase{"RI on time", kSignalRI, TSyncMethod::smNone, 0}),
    [](const ::testing::TestParamInfo<StampCase>& info) {
      std::string name;
      for (const char* ch = info.param.legend; *ch; ++ch)
        name += std::isalnum(static_cast<unsigned char>(*ch)) ? *ch : '_';
      return name;
    });

}  // namespace
