#include "serial/comport.h"
#include "serial/termios_port.h"
#include "support/pty.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace {

using namespace std::chrono_literals;

TEST(PortNames, ResolveToDevicesOrSimulations) {
  const struct {
    const char* name;
    TPortKind kind;
    const char* path;
  } rows[] = {{"COM1", TPortKind::Device, "/dev/ttyS0"},   {"com8", TPortKind::Device, "/dev/ttyS7"},
              {"COM9", TPortKind::Unknown, ""},            {"COM0", TPortKind::Unknown, ""},
              {"COM10", TPortKind::Unknown, ""},           {"/dev/ttyUSB0", TPortKind::Device, "/dev/ttyUSB0"},
              {"sim-gps", TPortKind::SimGps, ""},          {"sim-gsm", TPortKind::SimGsm, ""},
              {"", TPortKind::Unknown, ""}};
  for (const auto& r : rows) {
    std::string path;
    EXPECT_EQ(ResolvePortName(r.name, path), r.kind) << r.name;
    EXPECT_EQ(path, r.path) << r.name;
  }
}

// Lets a test wait, with a generous bound, for what handlers on other threads report.
struct Waiter {
  std::mutex m;
  std::condition_variable cv;
  template <class F>
  void Update(F f) {
    std::lock_guard lock(m);
    f();
    cv.notify_all();
  }
  template <class Pred>
  bool WaitFor(Pred pred) {
    std::unique_lock lock(m);
    return cv.wait_for(lock, 10s, pred);
  }
};

struct Events : Waiter {
  std::size_t rx = 0;
  std::vector<std::string> errors;
  void Hook(TComPort& port) {
    port.OnRxChar = [this](TComPort&, std::size_t n) { Update([&] { rx += n; }); };
    port.OnError = [this](TComPort&, const std::string& e) { Update([&] { errors.push_back(e); }); };
  }
};

// A device that cannot be opened leaves the port closed with the reason.
TEST(TermiosPort, OpenConfiguresRaw8N1AndFiresAfterOpenAndClose) {
  Pty pty;
  TComPort port;
  port.SetPort(pty.path);
  port.SetBaudRateName("19200");
  int opened = 0, closed = 0;
  port.OnAfterOpen = [&](TComPort& p) { opened += p.Connected() ? 1 : 100; };
  port.OnAfterClose = [&](TComPort& p) { closed += p.Connected() ? 100 : 1; };
  ASSERT_TRUE(port.Open()) << port.ErrorString();
  EXPECT_TRUE(port.Connected());
  termios t{};
  ASSERT_EQ(tcgetattr(pty.slave, &t), 0);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB), 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
  port.Close();
  EXPECT_FALSE(port.Connected());
  port.Close();
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(closed, 1);

  port.SetBaudRateName("14400");  // no B-constant: set through termios2
  ASSERT_TRUE(port.Open()) << port.ErrorString();
  ASSERT_EQ(tcgetattr(pty.slave, &t), 0);
  EXPECT_EQ(t.c_cflag & CBAUD, static_cast<tcflag_t>(0010000));  // BOTHER
  port.Close();

  TComPort missing;
  bool missingOpened = false;
  missing.OnAfterOpen = [&](TComPort&) { missingOpened = true; };
  missing.SetPort("/nonexistent/ttyGPS");
  EXPECT_FALSE(missing.Open());
  EXPECT_FALSE(missing.Connected());
  EXPECT_NE(missing.ErrorString().find("/nonexistent/ttyGPS"), std::string::npos);
  EXPECT_FALSE(missingOpened);
  missing.SetPort("COM9");
  EXPECT_FALSE(missing.Open());
}

// A port on a pseudo-terminal, events delivered on the port's own thread.
class PtyPort : public ::testing::Test {
 protected:
  PtyPort() {
    ev.Hook(port);
    port.SetSyncMethod(TSyncMethod::smNone);
    port.SetPort(pty.path);
  }
  Pty pty;
  Events ev;
  TComPort port;
};

TEST_F(PtyPort, WriteReadAvailableAndClearBuffers) {
  ASSERT_TRUE(port.Open()) << port.ErrorString();

  ASSERT_TRUE(port.Write("AT\r"));
  EXPECT_EQ(pty.Receive(3), "AT\r");

  EXPECT_EQ(port.ReadAvailable(100), "");  // nothing yet, and no waiting
  pty.Send("$GPRMC,1,A*00\r\n");
  ASSERT_TRUE(ev.WaitFor([&] { return ev.rx >= 15; }));
  EXPECT_EQ(port.ReadAvailable(6), "$GPRMC");
  EXPECT_EQ(port.ReadAvailable(100), ",1,A*00\r\n");

  pty.Send("stale");
  ASSERT_TRUE(ev.WaitFor([&] { return ev.rx >= 20; })) << ev.rx;
  port.ClearBuffers(true, true);
  EXPECT_EQ(port.ReadAvailable(100), "");
  EXPECT_TRUE(ev.errors.empty());
  port.Close();
}

TEST_F(PtyPort, UnpluggedDeviceReportsOnceAndClosesCleanly) {
  ASSERT_TRUE(port.Open());
  close(pty.slave);
  pty.slave = -1;
  close(pty.master);  // the device goes away
  pty.master = -1;
  ASSERT_TRUE(ev.WaitFor([&] { return !ev.errors.empty(); }));
  EXPECT_EQ(port.ReadAvailable(10), "");
  EXPECT_FALSE(port.Write("x"));  // fails, does not block
  port.Close();
  EXPECT_EQ(ev.errors.size(), 1u);
}

TEST(TermiosPort, PriorityRefusedWhileOpenAndRenameReopens) {
  Pty a, b;
  TComPort port;
  int opens = 0;
  port.OnAfterOpen = [&](TComPort&) { ++opens; };
  port.SetPort(a.path);
  EXPECT_TRUE(port.SetEventThreadPriority(TThreadPriority::tpHigher));
  ASSERT_TRUE(port.Open());
  EXPECT_FALSE(port.SetEventThreadPriority(TThreadPriority::tpLower));
  EXPECT_EQ(port.EventThreadPriority(), TThreadPriority::tpHigher);
  ASSERT_TRUE(port.SetPort(b.path));
  EXPECT_TRUE(port.Connected());
  EXPECT_EQ(opens, 2);
  ASSERT_TRUE(port.Write("B"));
  EXPECT_EQ(b.Receive(1), "B");
  port.Close();
}

// ---- the simulated receiver ----

bool ChecksumOk(const std::string& sentence) {
  const auto star = sentence.find('*');
  if (sentence.empty() || sentence[0] != '$' || star == std::string::npos) return false;
  unsigned sum = 0;
  for (std::size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(sentence[i]);
  return std::stoul(sentence.substr(star + 1, 2), nullptr, 16) == sum &&
         sentence.substr(star + 3) == "\r\n";
}

struct SimRig {
  explicit SimRig(unsigned line, bool threaded = false) {
    options.clock = &clock;
    options.Threaded = threaded;
    options.PollMs = 1;
    options.PPSLine = line;
    port.SetSimGpsOptions(options);
    port.SetSyncMethod(TSyncMethod::smNone);
    port.SetEvents(evRing | evCTS | evDSR);
    port.SetPort("sim-gps");
    // What a reader sees at the off-edge: the previous second's sentences.
    auto pulse = [this](TComPort& p) {
      readings.push_back(p.ReadAvailable(1000));
      pulseTimes.push_back(clock.NowUnixMs());
    };
    port.OnDSRChange = [this, pulse](TComPort& p, bool on) {
      if (!on) pulse(p);
    };
    port.OnCTSChange = [this, pulse](TComPort& p, bool on) {
      if (!on) pulse(p);
    };
    port.OnRing = pulse;
  }
  ManualClock clock{DateTimeToUnixMs(EncodeDateTime(2026, 12, 31, 23, 59, 58, 0))};
  SimGpsOptions options;
  TComPort port;
  std::vector<std::string> readings;
  std::vector<int64_t> pulseTimes;
};

TEST(SimGps, OnePulseThenRMCAndGGAPerSecondWithValidChecksums) {
  for (unsigned line : {clDSR, clCTS, clRing}) {
    SimRig rig(line);
    ASSERT_TRUE(rig.port.Open());
    ASSERT_NE(rig.port.SimGps(), nullptr);
    rig.port.SimGps()->Pump();
    EXPECT_TRUE(rig.readings.empty());  // not yet at a whole second
    for (int i = 0; i < 3; ++i) {
      rig.clock.AdvanceMs(500);
      rig.port.SimGps()->Pump();
      rig.clock.AdvanceMs(500);
      rig.port.SimGps()->Pump();
    }
    ASSERT_EQ(rig.readings.size(), 3u) << line;
    const int64_t base = DateTimeToUnixMs(EncodeDateTime(2026, 12, 31, 23, 59, 59, 0));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(rig.pulseTimes[i], base + 1000 * i);
    EXPECT_EQ(rig.readings[0], "");  // nothing arrived before the first pulse
    const std::string& text = rig.readings[1];
    const auto gga = text.find("$GPGGA");
    ASSERT_NE(gga, std::string::npos);
    EXPECT_EQ(text.rfind("$GPRMC,235959.00,A,", 0), 0u) << text;
    EXPECT_NE(text.find(",311226,"), std::string::npos);
    EXPECT_TRUE(ChecksumOk(text.substr(0, gga)));
    EXPECT_TRUE(ChecksumOk(text.substr(gga)));
    EXPECT_NE(text.find(",234.5,M,"), std::string::npos);
    EXPECT_EQ(rig.readings[2].rfind("$GPRMC,000000.00,A,", 0), 0u);
    EXPECT_NE(rig.readings[2].find(",010127,"), std::string::npos);
  }
}

TEST(SimGps, ClockJumpsDoNotFloodPulses) {
  SimRig rig(clDSR);
  ASSERT_TRUE(rig.port.Open());
  rig.clock.AdvanceMs(3'600'000);
  rig.port.SimGps()->Pump();
  EXPECT_EQ(rig.readings.size(), 1u);
  rig.clock.AdvanceMs(-600'000);  // set back
  rig.port.SimGps()->Pump();
  EXPECT_EQ(rig.readings.size(), 1u);
  rig.clock.AdvanceMs(1000);
  rig.port.SimGps()->Pump();
  EXPECT_EQ(rig.readings.size(), 2u);
}

TEST(ComLed, BoundLampFollowsItsLineAndUnboundIsSetDirectly) {
  SimRig rig(clDSR);
  TComLed led;
  std::vector<bool> changes;
  led.OnChange = [&](bool on) { changes.push_back(on); };
  led.Bind(&rig.port, TLedSignal::lsDSR);
  EXPECT_FALSE(led.State());
  ASSERT_TRUE(rig.port.Open());
  rig.clock.AdvanceMs(1950);  // within the pulse of the next second
  rig.port.SimGps()->Pump();
  EXPECT_TRUE(led.State());
  led.SetState(false);  // the line drives a bound lamp
  EXPECT_TRUE(led.State());
  rig.clock.AdvanceMs(50);
  rig.port.SimGps()->Pump();
  EXPECT_FALSE(led.State());
  EXPECT_EQ(changes, (std::vector<bool>{true, false, true, false}));

  TComLed conn;
  conn.Bind(&rig.port, TLedSignal::lsConn);
  EXPECT_TRUE(conn.State());
  rig.port.Close();
  EXPECT_FALSE(conn.State());
  conn.Bind(nullptr, TLedSignal::lsConn);
  conn.SetState(true);
  EXPECT_TRUE(conn.State());
}

TEST(ClockSetterChoice, OnlyARealReceiverOnTheHostClockGetsTheRealSetter) {
  for (const char* real : {"COM1", "/dev/ttyUSB0"})
    EXPECT_TRUE(dynamic_cast<SystemClockSetter*>(MakeClockSetterForPort(real, nullptr).get())) << real;
  for (const char* other : {"sim-gps", "bogus"})
    EXPECT_TRUE(dynamic_cast<RecordingClockSetter*>(MakeClockSetterForPort(other, nullptr).get()))
        << other;
  ManualClock manual;
  EXPECT_TRUE(dynamic_cast<ManualClockSetter*>(MakeClockSetterForPort("COM1", &manual).get()));
}

// A scripted device: the test fires its events by hand.
class FakeBackend final : public ComBackend {
 public:
  bool Open(const TComSettings& s, ComBackendEvents e, std::string&) override {
    settings = s;
    events = std::move(e);
    return true;
  }
  void Close() override { ++closes; }
  bool Apply(const TComSettings& s, std::string&) override {
    settings = s;
    return true;
  }
  bool Write(const std::string& d, std::string&) override {
    written += d;
    return true;
  }
  std::string ReadAvailable(std::size_t) override { return {}; }
  void ClearBuffers(bool, bool) override {}
  bool SetDTR(bool) override { return true; }
  unsigned LineState() override { return 0; }
  TComSettings settings;
  ComBackendEvents events;
  std::string written;
  int closes = 0;
};

struct FakeRig {
  FakeRig() {
    port.SetBackendFactory([this](const std::string&, std::string&) {
      auto b = std::make_unique<FakeBackend>();
      backend = b.get();
      return b;
    });
    port.SetPort("fake");
  }
  TComPort port;
  FakeBackend* backend = nullptr;
};

TEST(ComPortEvents, LineEventsFollowTheEventsSetAndRingFiresOnItsTrailingEdge) {
  FakeRig rig;
  std::vector<std::string> seen;
  rig.port.SetSyncMethod(TSyncMethod::smNone);
  rig.port.SetEvents(evRing | evDSR);
  rig.port.OnCTSChange = [&](TComPort&, bool on) { seen.push_back(on ? "cts+" : "cts-"); };
  rig.port.OnDSRChange = [&](TComPort&, bool on) { seen.push_back(on ? "dsr+" : "dsr-"); };
  rig.port.OnRing = [&](TComPort&) { seen.push_back("ring"); };
  ASSERT_TRUE(rig.port.Open());
  auto& fire = rig.backend->events.LineChange;
  fire(clCTS, clCTS, 0);  // not in Events
  fire(clDSR, clDSR, 0);
  fire(clDSR, 0, 0);
  fire(clRing, clRing, 0);
  fire(clRing, 0, 0);
  EXPECT_EQ(seen, (std::vector<std::string>{"dsr+", "dsr-", "ring"}));
  EXPECT_EQ(rig.port.LineState(), 0u);
}

TEST(ComPortEvents, DeviceErrorReachesTheOwnerOncePerOpen) {
  FakeRig rig;
  int errors = 0;
  rig.port.SetSyncMethod(TSyncMethod::smNone);
  rig.port.OnError = [&](TComPort&, const std::string&) { ++errors; };
  ASSERT_TRUE(rig.port.Open());
  rig.backend->events.Error("gone");
  rig.backend->events.Error("gone");
  EXPECT_EQ(errors, 1);
  rig.port.Close();
  ASSERT_TRUE(rig.port.Open());
  rig.backend->events.Error("gone again");
  EXPECT_EQ(errors, 2);
}

TEST(ComPortEvents, ThreadSyncQueuesEventsAndDropsThoseOfADestroyedPort) {
  std::vector<std::function<void()>> queue;
  int rx = 0;
  {
    FakeRig rig;
    rig.port.SetSyncMethod(TSyncMethod::smThreadSync);
    rig.port.SetDispatcher([&](std::function<void()> f) { queue.push_back(std::move(f)); });
    rig.port.OnRxChar = [&](TComPort&, std::size_t n) { rx += static_cast<int>(n); };
    ASSERT_TRUE(rig.port.Open());
    rig.backend->events.RxChar(3);
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_EQ(rx, 0);  // not delivered until the owner runs it
    queue[0]();
    EXPECT_EQ(rx, 3);
    rig.backend->events.RxChar(4);
  }
  ASSERT_EQ(queue.size(), 2u);
  queue[1]();  // the port is gone: nothing runs
  EXPECT_EQ(rx, 3);
}

TEST(ComPortEvents, SettingsReachAnOpenBackendAndUnknownBaudNamesRead9600) {
  FakeRig rig;
  ASSERT_TRUE(rig.port.Open());
  rig.port.SetBaudRateName("31250");
  EXPECT_EQ(rig.backend->settings.BaudRate, TBaudRate::br9600);
  rig.port.SetBaudRateName("115200");
  EXPECT_EQ(rig.backend->settings.BaudRate, TBaudRate::br115200);
  TFlowControl flow;
  flow.OutCTSFlow = true;
  rig.port.SetFlowControl(flow);
  EXPECT_TRUE(rig.backend->settings.FlowControl.OutCTSFlow);
  EXPECT_TRUE(rig.port.Write("AT\r"));
  EXPECT_EQ(rig.backend->written, "AT\r");
}

TEST(TermiosPort, ClosingFromItsOwnHandlerNeitherHangsNorCrashes) {
  Pty pty;
  Waiter w;
  bool closed = false;
  TComPort port;
  port.SetSyncMethod(TSyncMethod::smNone);
  port.SetPort(pty.path);
  port.OnRxChar = [&](TComPort& p, std::size_t) {
    p.ReadAvailable(100);
    p.Close();
  };
  port.OnAfterClose = [&](TComPort&) { w.Update([&] { closed = true; }); };
  ASSERT_TRUE(port.Open());
  pty.Send("bye");
  ASSERT_TRUE(w.WaitFor([&] { return closed; }));
  EXPECT_FALSE(port.Connected());
  ASSERT_TRUE(port.Open());  // finishes the old event thread, starts anew
  EXPECT_TRUE(port.Connected());
}

// A handler that renames or reopens its own port must not destroy the
// backend whose thread it is running on.
TEST(TermiosPort, ReopeningFromItsOwnHandlerKeepsDelivering) {
  Pty pty;
  Waiter w;
  int reopened = 0;
  std::size_t rx = 0;
  TComPort port;
  port.SetSyncMethod(TSyncMethod::smNone);
  port.SetPort(pty.path);
  port.OnRxChar = [&](TComPort& p, std::size_t n) {
    p.ReadAvailable(100);
    w.Update([&] {
      rx += n;
      if (reopened < 2) {
        p.Close();
        if (p.Open()) ++reopened;
      }
    });
  };
  ASSERT_TRUE(port.Open());
  for (std::size_t i = 1; i <= 3; ++i) {
    pty.Send("x");
    ASSERT_TRUE(w.WaitFor([&] { return rx >= i; })) << i;
  }
  EXPECT_EQ(reopened, 2);
  EXPECT_TRUE(port.Connected());
}

// Threaded: the test never pumps, so every pulse comes from the receiver's thread.
TEST(SimGps, ReopeningFromItsOwnPulseHandlerKeepsPulsing) {
  Waiter w;
  int pulses = 0;
  SimRig rig(clDSR, true);
  rig.port.OnDSRChange = [&](TComPort& p, bool on) {
    if (on) return;
    p.Close();
    const bool reopened = p.Open();
    w.Update([&] { pulses += reopened ? 1 : 0; });
  };
  ASSERT_TRUE(rig.port.Open());
  for (int i = 1; i <= 3; ++i) {
    rig.clock.AdvanceMs(1000);
    ASSERT_TRUE(w.WaitFor([&] { return pulses >= i; })) << i;
  }
  rig.port.Close();
  ASSERT_TRUE(rig.port.Open());  // joins the retired receivers' threads
  rig.port.Close();
  EXPECT_EQ(pulses, 3);
}

TEST(SimGps, NothingIsDeliveredAfterAHandlerClosedThePort) {
  SimRig rig(clDSR);
  int pulses = 0;
  rig.port.OnDSRChange = [&](TComPort& p, bool on) {
    if (on) return;
    ++pulses;
    p.Close();
  };
  ASSERT_TRUE(rig.port.Open());
  SimGpsReceiver* receiver = rig.port.SimGps();
  rig.clock.AdvanceMs(3000);  // three pulses due at once
  receiver->Pump();
  EXPECT_EQ(pulses, 1);
  EXPECT_EQ(receiver->PulseCount(), 1);
}

// The terminal's setup dialog may change data bits, parity and stop bits.
TEST(LineFormat, TermiosFlags) {
  struct Case {
    TLineFormat format;
    unsigned flags;
  };
  const Case cases[] = {
      {{8, TParityBits::prNone, TStopBits::sbOneStopBit}, CS8},
      {{7, TParityBits::prEven, TStopBits::sbTwoStopBits}, CS7 | PARENB | CSTOPB},
      {{6, TParityBits::prOdd, TStopBits::sbOne5StopBits}, CS6 | PARENB | PARODD | CSTOPB},
      {{5, TParityBits::prMark, TStopBits::sbOneStopBit}, CS5 | PARENB | PARODD | CMSPAR},
      {{8, TParityBits::prSpace, TStopBits::sbOneStopBit}, CS8 | PARENB | CMSPAR},
  };
  for (const Case& c : cases) EXPECT_EQ(LineFormatFlags(c.format), c.flags) << c.format.DataBits;
}

// A change while open reaches the device (a pseudo-terminal keeps only the
// stop bits of the format: it forces 8 data bits and no parity).
TEST_F(PtyPort, LineFormatChangeReachesTheOpenDevice) {
  ASSERT_TRUE(port.Open());
  for (const TStopBits stop : {TStopBits::sbTwoStopBits, TStopBits::sbOneStopBit}) {
    port.SetLineFormat({8, TParityBits::prNone, stop});
    termios t{};
    ASSERT_EQ(tcgetattr(pty.slave, &t), 0);
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, stop == TStopBits::sbTwoStopBits);
  }
  port.Close();
}

}  // namespace
