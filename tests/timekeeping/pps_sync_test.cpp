#include "timekeeping/pps_sync.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <tuple>

#include "serial/comport.h"
#include "support/scripted_com.h"

namespace {

// The GPS/PPS setting is passed to the simulated receiver as a line bit.
static_assert(+clCTS == +kSignalCTS && +clDSR == +kSignalDSR && +clRing == +kSignalRI);

const int64_t kGps0 = DateTimeToUnixMs(EncodeDateTime(2026, 12, 6, 12, 0, 0));

// A port whose receive buffer the test fills; `calls` records what the reader asked of it and its waits.
class ScriptPort final : public GPSTextPort {
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

TGPSrec Settings(int32_t interval = 0, int32_t maxDiff = 0, bool validOnly = true, uint8_t pps = kSignalDSR) {
  return {.Port = {}, .PPS = pps, .UpDateOn = true, .ValidOnly = validOnly, .ReadingDelay = 20, .Interval = interval,
          .MaxDiff = maxDiff, .Correction = 1};
}

// The RMC sentence a receiver sends after the pulse of the GPS second `ms`.
std::string Rmc(int64_t ms, const std::string& status = "A") {
  const DateTimeParts p = DecodeDateTime(UnixMsToDateTime(ms));
  char buf[96];
  std::snprintf(buf, sizeof buf, "$GPRMC,%02d%02d%02d.00,%s,4912.3456,N,01634.5678,E,,,%02d%02d%02d,,*00\r\n", p.hour,
                p.minute, p.second, status.c_str(), p.day, p.month, p.year % 100);
  return buf;
}

// A receiver whose pulses mark whole GPS seconds; the PC clock runs `offset`
// ms from GPS time. After each pulse the receiver sends that second's RMC.
struct Rig {
  explicit Rig(const TGPSrec& gps, int64_t offset = 0, ClockSetter* otherSetter = nullptr)
      : clock(kGps0 - 1000 + offset), sync(gps, clock, otherSetter ? *otherSetter : setter, port) {
    sync.SetEffectSink([this](TPPSEffects batch) { fx.insert(fx.end(), batch.begin(), batch.end()); });
    sync.SetWait([this](int ms) { port.calls.push_back("wait " + std::to_string(ms)); });
  }
  TPPSEffects Pulse(int64_t offset = 0) {
    const std::size_t before = fx.size();
    clock.SetUnixMs(gps + offset);
    sync.ComPortGPSDSRorCTSChange(false);
    if (!silent) port.rx += Rmc(gps, status);
    gps += 1000;
    return TPPSEffects(fx.begin() + static_cast<std::ptrdiff_t>(before), fx.end());
  }
  void Pulses(int n, int64_t offset = 0) {
    for (int i = 0; i < n; ++i) Pulse(offset);
  }
  int Count(const std::string& line) const {
    return static_cast<int>(std::count(fx.begin(), fx.end(), TPPSEffect::Log(line)));
  }
  ManualClock clock;
  RecordingClockSetter setter;
  ScriptPort port;
  TPPSSync sync;
  TPPSEffects fx;
  int64_t gps = kGps0;  // GPS time of the next pulse
  std::string status = "A";
  bool silent = false;  // the receiver sends nothing after its pulses
};

bool Has(const TPPSEffects& fx, const TPPSEffect& e) { return std::find(fx.begin(), fx.end(), e) != fx.end(); }

const std::string kActivated = "Cor: Time synchronization request Activated.";
const std::string kDeactivated = "Cor: Time synchronization request DEactivated.";

TEST(PPSSync, ClockIsSetAtTheTenthPulseAndTheDifferenceShowsSecondsOfTheMinute) {
  Rig rig(Settings(), 75'250);
  const TPPSEffects first = rig.Pulse(75'250);
  EXPECT_TRUE(Has(first, TPPSEffect::Log(kActivated)));
  EXPECT_TRUE(Has(first, TPPSEffect::Text(TPPSField::EditDiff, "0s")));
  rig.Pulses(8, 75'250);
  const int64_t tenth = rig.gps;
  const TPPSEffects fx = rig.Pulse(75'250);
  EXPECT_EQ(rig.setter.Requests(), std::vector<int64_t>{tenth});
  for (const TPPSEffect& e :
       {TPPSEffect::Synchronised(), TPPSEffect::Log(kDeactivated),
        TPPSEffect::Log("Cor: Computer time was synchronized with GPS. Difference before: 15.250s"),
        TPPSEffect::Text(TPPSField::EditDiff, "+15.250s"), TPPSEffect::Text(TPPSField::EditGPStime, "12:00:09"),
        TPPSEffect::Text(TPPSField::EditPCtime, "12:01:24.250"),
        TPPSEffect::Text(TPPSField::EditLatitude, "N 49\xB0" "12.3456'")})
    EXPECT_TRUE(Has(fx, e)) << e.text;
  EXPECT_TRUE(rig.sync.ClockSynchronised());
  EXPECT_EQ(rig.Count("Tim: Present time is Valid Time."), 1);
  // The first pulse clears the port; each later one waits the reading delay, reads one
  // reading's length, waits half the delay and clears.
  ASSERT_EQ(rig.port.calls.size(), 37u);
  EXPECT_EQ(std::vector(rig.port.calls.begin(), rig.port.calls.begin() + 5),
            (std::vector<std::string>{"clear", "wait 20", "read 77", "wait 10", "clear"}));

  Rig behind(Settings(), -1'500);
  behind.Pulses(3, -1'500);
  EXPECT_TRUE(Has(behind.Pulse(-1'500), TPPSEffect::Text(TPPSField::EditDiff, "-1.500s")));
  EXPECT_EQ(behind.sync.ClockDiffMs(), -1'500);
}

TEST(PPSSync, BouncingPulsesAreIgnoredAndRestartTheTenPulseCount) {
  Rig rig(Settings());
  rig.Pulses(5);
  rig.clock.AdvanceMs(-700);  // 300 ms after the last accepted pulse
  const std::size_t before = rig.fx.size();
  rig.sync.ComPortGPSDSRorCTSChange(false);
  EXPECT_EQ(rig.sync.PulseCounter(), 0);
  rig.sync.ComPortGPSDSRorCTSChange(true);  // on-edges never count
  EXPECT_EQ(rig.fx.size(), before) << "not even a display update";
  rig.Pulses(9);
  EXPECT_TRUE(rig.setter.Requests().empty());
  rig.Pulse();
  EXPECT_EQ(rig.setter.Requests().size(), 1u);
}

TEST(PPSSync, MissedPulseWaitsForFreshReadingsInsteadOfSettingASecondWrong) {
  Rig rig(Settings());
  rig.Pulses(9);
  rig.port.rx += Rmc(rig.gps);  // the receiver talks, the pulse is lost
  rig.gps += 1000;
  rig.Pulse();  // 2 s gap: no set here
  rig.Pulse();  // the reading of the gap pulse began with a stale sentence
  EXPECT_TRUE(rig.setter.Requests().empty());
  const int64_t expected = rig.gps;
  rig.Pulse();
  EXPECT_EQ(rig.setter.Requests(), std::vector<int64_t>{expected});
}

TEST(PPSSync, SixthConsecutiveExcessRaisesARequestAndOneWithinTheLimitRestartsTheCount) {
  Rig rig(Settings(0, 45), 46);
  rig.Pulses(10, 46);  // synchronised at 10: first excess
  ASSERT_EQ(rig.setter.Requests().size(), 1u);
  rig.Pulses(4, 46);
  EXPECT_FALSE(rig.sync.SyncRequest());
  EXPECT_EQ(rig.Count(kActivated), 1);
  rig.Pulse(46);  // the sixth
  EXPECT_TRUE(rig.sync.SyncRequest());
  EXPECT_EQ(rig.Count(kActivated), 2);

  Rig again(Settings(0, 45), 46);
  again.Pulses(12, 46);
  again.Pulse(10);
  again.Pulses(5, 46);
  EXPECT_FALSE(again.sync.SyncRequest());
  again.Pulse(46);
  EXPECT_TRUE(again.sync.SyncRequest());
}

TEST(PPSSync, IntervalRaisesPeriodicRequestsAndZeroDisablesThem) {
  Rig rig(Settings(3600));
  EXPECT_EQ(rig.sync.SyncCountdown(), 3600);
  rig.Pulses(10 + 3598);
  EXPECT_EQ(rig.setter.Requests().size(), 1u);
  EXPECT_FALSE(rig.sync.SyncRequest());
  rig.Pulse();  // 3600 pulses after the one that set the clock
  EXPECT_TRUE(rig.sync.SyncRequest());
  rig.Pulse();
  EXPECT_EQ(rig.setter.Requests().size(), 2u);

  Rig none(Settings(0));
  none.Pulses(200);
  EXPECT_EQ(none.setter.Requests().size(), 1u);
  EXPECT_EQ(none.Count(kActivated), 1);
}

TEST(PPSSync, ValidTimeLampGoesOffOnceAtThe31stInvalidPulse) {
  Rig rig(Settings());
  rig.Pulses(3);
  ASSERT_TRUE(rig.sync.LedValidTime());
  rig.status = "V";
  rig.Pulses(31);  // the first still reads the last valid sentence
  EXPECT_TRUE(rig.sync.LedValidTime());
  EXPECT_EQ(rig.Count("Tim: Present time not valid."), 0);
  EXPECT_TRUE(Has(rig.Pulse(), TPPSEffect::Lamp(TPPSLamp::LedValidTime, false)));
  rig.Pulses(10);
  EXPECT_EQ(rig.Count("Tim: Present time not valid."), 1);
  EXPECT_FALSE(rig.sync.GPSTimeValid());
}

// Invalid time sets the clock only with ValidOnly off and once synchronised, and only
// then does it run the periodic countdown.
TEST(PPSSync, InvalidTimeSetsASynchronisedClockAndCountsDownOnlyWhenValidOnlyIsOff) {
  for (const bool validOnly : {true, false}) {
    SCOPED_TRACE(validOnly);
    Rig rig(Settings(100, 0, validOnly));
    rig.status = "V";
    rig.Pulses(20);
    EXPECT_TRUE(rig.setter.Requests().empty());
    rig.sync.SetClockSynchronised();
    rig.Pulses(20);
    EXPECT_EQ(rig.setter.Requests().size(), validOnly ? 0u : 1u);
    rig.status = "A";
    rig.Pulses(3);
    ASSERT_EQ(rig.setter.Requests().size(), 1u);
    rig.status = "V";
    rig.Pulse();  // reads the last valid sentence
    const int before = rig.sync.SyncCountdown();
    rig.Pulses(5);
    EXPECT_EQ(rig.sync.SyncCountdown(), validOnly ? before : before - 5);
  }
}

TEST(PPSSync, SetTimeButtonRaisesARequestWithoutLogging) {
  Rig rig(Settings());
  rig.Pulses(10);
  ASSERT_FALSE(rig.sync.SyncRequest());
  const size_t before = rig.fx.size();
  rig.sync.BtnSetTimeClick();
  EXPECT_EQ(TPPSEffects(rig.fx.begin() + before, rig.fx.end()),
            TPPSEffects{TPPSEffect::Lamp(TPPSLamp::LedSyncReq, true)});  // no log line
  rig.Pulse();
  EXPECT_EQ(rig.setter.Requests().size(), 2u);
  EXPECT_EQ(rig.Count(kDeactivated), 2);
}

TEST(PPSSync, TimeValidityWatchFiresAfterSixtySeconds) {
  Rig rig(Settings());
  rig.Pulses(3);
  ASSERT_TRUE(rig.sync.LedValidTime());
  const TDateTime last = rig.sync.LastValidTime();
  EXPECT_FALSE(rig.sync.CheckTimeValidity(AddMs(last, 59'999), "12:00:02", "06.12.2026", false));
  EXPECT_FALSE(rig.sync.CheckTimeValidity(AddMs(last, 60'000), "N/A", "06.12.2026", false));
  EXPECT_FALSE(rig.sync.CheckTimeValidity(AddMs(last, 60'000), "12:00:02", "06.12.2026", true));
  EXPECT_TRUE(rig.sync.CheckTimeValidity(AddMs(last, 60'000), "12:00:02", "06.12.2026", false));
  EXPECT_EQ(rig.Count("Tim: Time not valid at least 60 seconds. GSP is switched off, unplugged or PPS is inactive."),
            1);
  EXPECT_FALSE(rig.sync.LedValidTime());
  EXPECT_FALSE(rig.sync.GPSTimeValid());
  EXPECT_FALSE(rig.sync.CheckTimeValidity(AddMs(last, 61'000), "12:00:02", "06.12.2026", false));
}

// Without the right to set the clock, the pulses compare the system-kept clock with GPS time: close enough
// starts measuring, too far waits and says so once an hour. Neither refusal nor requests flood the log.
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
  // offLines: after a little more than an hour of pulses
  for (const auto& [name, offsetMs, synchronised, offLines] :
       {std::tuple{"within MaxDiff", 30, true, 0}, {"five seconds off", 5000, false, 2}}) {
    SCOPED_TRACE(name);
    Refusing refusing;
    Rig rig(Settings(600, 45), offsetMs, &refusing);
    rig.Pulses(3700, offsetMs);
    EXPECT_EQ(rig.sync.ClockSynchronised(), synchronised);
    EXPECT_EQ(std::count(rig.fx.begin(), rig.fx.end(), TPPSEffect::Synchronised()), synchronised ? 1 : 0);
    EXPECT_EQ(rig.Count("Cor: Error setting computer clock: Operation not permitted"), 1);
    EXPECT_EQ(std::count_if(rig.fx.begin(), rig.fx.end(), [&](auto& e) { return e.text.rfind(kKept, 0) == 0; }),
              synchronised ? 1 : 0);
    EXPECT_EQ(rig.Count(kOff), offLines);
    // The periodic request still tries the privilege now and then, no more.
    EXPECT_GE(refusing.calls, 2);
    EXPECT_LE(rig.Count(kActivated), 10);
  }
}

// A receiver's date before the build or more than 20 years after it (a cold
// receiver's 1980 read as 2080) never reaches the clock; a sane one does.
TEST(PPSSync, ImplausibleReceiverDateNeverSetsTheClock) {
  for (const auto& [receiver, date] : {std::pair{EncodeDateTime(2080, 1, 5, 0, 0, 0), "05.01.2080"},
                                       std::pair{EncodeDateTime(2019, 4, 7, 0, 0, 0), "07.04.2019"}}) {
    SCOPED_TRACE(date);
    Rig rig(Settings());
    rig.sync.SetDateWindow(kGps0 - 86'400'000, kGps0 + 20LL * 36525 * 864'000);
    rig.gps = DateTimeToUnixMs(receiver);
    rig.Pulses(30, kGps0 - rig.gps);
    EXPECT_TRUE(rig.setter.Requests().empty());
    EXPECT_EQ(rig.Count(std::string("Cor: The receiver's date ") + date +
                        " is not plausible; the computer clock waits for a sane date."),
              1);
    EXPECT_FALSE(rig.sync.ClockSynchronised());
    const int64_t pc = rig.clock.NowUnixMs() + 1000;
    rig.gps = pc;
    rig.Pulses(3);
    ASSERT_EQ(rig.setter.Requests().size(), 1u);
    EXPECT_GE(rig.setter.Requests()[0], pc);
    EXPECT_TRUE(rig.sync.ClockSynchronised());
  }
}

TEST(PPSSync, SilentReceiverShowsTheTimeOfThisPulseFromTheRunningRecord) {
  Rig rig(Settings());
  rig.Pulses(3);
  rig.silent = true;
  rig.Pulse();  // still reads the sentence sent after the third pulse
  const TPPSEffects fx = rig.Pulse();  // 12:00:04, nothing to read
  EXPECT_TRUE(Has(fx, TPPSEffect::Text(TPPSField::EditGPStime, "12:00:04")));
  EXPECT_TRUE(Has(fx, TPPSEffect::Text(TPPSField::EditGPSDate, "06.12.2026")));
  EXPECT_FALSE(rig.sync.GPSTimeValid());
  EXPECT_EQ(rig.sync.GPSTime(), UnixMsToSystemTime(kGps0 + 5000));  // the next pulse
}

// The clock is set to the pulse's second plus what passed since the stamp,
// and the difference is measured at the stamp, however late the handler runs.
TEST(PPSSync, ClockIsSetToThePulseSecondPlusTheTimeSinceTheStamp) {
  // GPS/PPS line, the port's handler thread (smThreadSync: from a queue), clock advance from stamp to handler
  for (const auto& [pps, method, lateMs] : {std::tuple{kSignalDSR, TSyncMethod::smNone, 37},
                                            {kSignalCTS, TSyncMethod::smThreadSync, 480},
                                            {kSignalRI, TSyncMethod::smNone, 0}}) {
    SCOPED_TRACE(lateMs);
    ManualClock clock(kGps0 - 1000);
    RecordingClockSetter setter;
    TComPort port;
    const auto device = std::make_shared<ComScript>();
    UseScript(port, device);
    port.SetSyncMethod(method);
    port.SetEvents(evRing | evCTS | evDSR);
    std::vector<std::function<void()>> queue;
    port.SetDispatcher([&](std::function<void()> call) { queue.push_back(std::move(call)); });
    PortTextAdapter<TComPort> text(port);
    TPPSSync sync(Settings(0, 0, true, pps), clock, setter, text);
    sync.SetWait({});
    port.OnDSRChange = [&](TComPort&, bool on) { sync.ComPortGPSDSRorCTSChange(on, TComPort::LineEventStampMs()); };
    port.OnCTSChange = port.OnDSRChange;
    port.OnRing = [&](TComPort&) { sync.ComPortGPSRing(TComPort::LineEventStampMs()); };
    ASSERT_TRUE(port.Open());
    const unsigned line = pps == kSignalRI ? clRing : pps == kSignalCTS ? clCTS : clDSR;
    for (int64_t second = kGps0; second < kGps0 + 10'000; second += 1000) {
      clock.SetUnixMs(second);
      device->events.LineChange(line, line, second);
      if (method == TSyncMethod::smNone) clock.AdvanceMs(lateMs);
      device->events.LineChange(line, 0, second);
      if (line != clRing) device->events.LineChange(clRing, 0, second + 500);  // a ring counts only when configured
      if (method == TSyncMethod::smThreadSync) {
        clock.AdvanceMs(lateMs);
        for (auto& call : queue) call();
        queue.clear();
      }
      device->rx += Rmc(second);
    }
    EXPECT_EQ(setter.Requests(), std::vector<int64_t>{kGps0 + 9'000 + lateMs});
    EXPECT_EQ(sync.ClockDiffMs(), 0);
    port.Close();
  }
}

}  // namespace
