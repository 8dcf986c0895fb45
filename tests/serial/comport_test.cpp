#include "serial/comport.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>
#include <condition_variable>

#include "serial/termios_port.h"
#include "support/pty.h"
#include "support/scripted_com.h"

namespace {

using namespace std::chrono_literals;

TEST(PortNames, ResolveToDevicesOrSimulations) {
  const struct { const char* name; TPortKind kind; const char* path; } rows[] = {
      {"COM1", TPortKind::Device, "/dev/ttyS0"}, {"com8", TPortKind::Device, "/dev/ttyS7"},
      {"/dev/ttyUSB0", TPortKind::Device, "/dev/ttyUSB0"}, {"sim-gps", TPortKind::SimGps, ""},
      {"sim-gsm", TPortKind::SimGsm, ""}, {"COM9", TPortKind::Unknown, ""},
      {"COM0", TPortKind::Unknown, ""}, {"COM10", TPortKind::Unknown, ""}, {"", TPortKind::Unknown, ""}};
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

TEST_F(PtyPort, OpenConfiguresRaw8N1AndFiresAfterOpenAndClose) {
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
  // A format change while open reaches the device (a pseudo-terminal keeps
  // only the stop bits: it forces 8 data bits and no parity).
  for (const TStopBits stop : {TStopBits::sbTwoStopBits, TStopBits::sbOneStopBit}) {
    port.SetLineFormat({8, TParityBits::prNone, stop});
    ASSERT_EQ(tcgetattr(pty.slave, &t), 0);
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, stop == TStopBits::sbTwoStopBits);
  }
  port.Close();
}

// Writing is seen through the terminal window's tests.
TEST_F(PtyPort, ReadAvailableAndClearBuffers) {
  ASSERT_TRUE(port.Open()) << port.ErrorString();
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
  ASSERT_TRUE(port.SetPort(b.path));
  EXPECT_TRUE(port.Connected());
  EXPECT_EQ(opens, 2);
  ASSERT_TRUE(port.Write("B"));
  EXPECT_EQ(b.Receive(1), "B");
  port.Close();
}

bool ChecksumOk(const std::string& sentence) {
  const auto star = sentence.find('*');
  if (sentence.empty() || sentence[0] != '$' || star == std::string::npos) return false;
  unsigned sum = 0;
  for (std::size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(sentence[i]);
  return std::stoul(sentence.substr(star + 1, 2), nullptr, 16) == sum && sentence.substr(star + 3) == "\r\n";
}

struct SimRig {
  explicit SimRig(unsigned line, bool threaded = false) {
    SimGpsOptions options;
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
    port.OnDSRChange = port.OnCTSChange = [pulse](TComPort& p, bool on) {
      if (!on) pulse(p);
    };
    port.OnRing = pulse;
  }
  void Step(int64_t ms) {
    clock.AdvanceMs(ms);
    port.SimGps()->Pump();
  }
  ManualClock clock{DateTimeToUnixMs(EncodeDateTime(2026, 12, 31, 23, 59, 58, 0))};
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
    for (int i = 0; i < 6; ++i) rig.Step(500);
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
  rig.Step(3'600'000);
  EXPECT_EQ(rig.readings.size(), 1u);
  rig.Step(-600'000);  // set back
  EXPECT_EQ(rig.readings.size(), 1u);
  rig.Step(1000);
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
  rig.Step(1950);  // within the pulse of the next second
  EXPECT_TRUE(led.State());
  led.SetState(false);  // the line drives a bound lamp
  EXPECT_TRUE(led.State());
  rig.Step(50);
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
    EXPECT_TRUE(dynamic_cast<RecordingClockSetter*>(MakeClockSetterForPort(other, nullptr).get())) << other;
  ManualClock manual;
  EXPECT_TRUE(dynamic_cast<ManualClockSetter*>(MakeClockSetterForPort("COM1", &manual).get()));
}

class ScriptedPort : public ::testing::Test {
 protected:
  void SetUp() override {
    UseScript(port, script);
    port.SetSyncMethod(TSyncMethod::smNone);
  }
  std::shared_ptr<ComScript> script = std::make_shared<ComScript>();
  TComPort port;
};

TEST_F(ScriptedPort, LineEventsFollowTheEventsSetAndRingFiresOnItsTrailingEdge) {
  std::vector<std::string> seen;
  port.SetEvents(evRing | evDSR);
  port.OnCTSChange = [&](TComPort&, bool on) { seen.push_back(on ? "cts+" : "cts-"); };
  port.OnDSRChange = [&](TComPort&, bool on) { seen.push_back(on ? "dsr+" : "dsr-"); };
  port.OnRing = [&](TComPort&) { seen.push_back("ring"); };
  ASSERT_TRUE(port.Open());
  auto& fire = script->events.LineChange;
  fire(clCTS, clCTS, 0);  // not in Events
  fire(clDSR, clDSR, 0);
  fire(clDSR, 0, 0);
  fire(clRing, clRing, 0);
  fire(clRing, 0, 0);
  EXPECT_EQ(seen, (std::vector<std::string>{"dsr+", "dsr-", "ring"}));
  EXPECT_EQ(port.LineState(), 0u);
}

TEST_F(ScriptedPort, ThreadSyncQueuesEventsAndDropsThoseOfADestroyedPort) {
  std::vector<std::function<void()>> queue;
  int rx = 0;
  {
    TComPort owned;  // gone before the queue runs out
    UseScript(owned, script);
    owned.SetSyncMethod(TSyncMethod::smThreadSync);
    owned.SetDispatcher([&](std::function<void()> f) { queue.push_back(std::move(f)); });
    owned.OnRxChar = [&](TComPort&, std::size_t n) { rx += static_cast<int>(n); };
    ASSERT_TRUE(owned.Open());
    script->events.RxChar(3);
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_EQ(rx, 0);  // not delivered until the owner runs it
    queue[0]();
    EXPECT_EQ(rx, 3);
    script->events.RxChar(4);
  }
  ASSERT_EQ(queue.size(), 2u);
  queue[1]();  // the port is gone: nothing runs
  EXPECT_EQ(rx, 3);
}

TEST_F(ScriptedPort, SettingsReachAnOpenBackendAndUnknownBaudNamesRead9600) {
  ASSERT_TRUE(port.Open());
  port.SetBaudRateName("31250");
  EXPECT_EQ(script->settings.BaudRate, TBaudRate::br9600);
  port.SetBaudRateName("115200");
  EXPECT_EQ(script->settings.BaudRate, TBaudRate::br115200);
  TFlowControl flow;
  flow.OutCTSFlow = true;
  port.SetFlowControl(flow);
  EXPECT_TRUE(script->settings.FlowControl.OutCTSFlow);
}

// A handler that closes or reopens its own port must neither hang on its own
// thread nor destroy the backend that thread runs on.
TEST_F(PtyPort, ClosingOrReopeningFromItsOwnHandler) {
  int reopened = 0;
  std::size_t rx = 0;
  port.OnRxChar = [&](TComPort& p, std::size_t n) {
    p.ReadAvailable(100);
    ev.Update([&] {
      rx += n;
      p.Close();
      if (reopened < 2 && p.Open()) ++reopened;
    });
  };
  ASSERT_TRUE(port.Open());
  for (std::size_t i = 1; i <= 3; ++i) {
    pty.Send("x");
    ASSERT_TRUE(ev.WaitFor([&] { return rx >= i; })) << i;
  }
  EXPECT_EQ(reopened, 2);
  EXPECT_FALSE(port.Connected());
  ASSERT_TRUE(port.Open());  // finishes the old event thread, starts anew
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
  const std::pair<TLineFormat, unsigned> cases[] = {
      {{8, TParityBits::prNone, TStopBits::sbOneStopBit}, CS8},
      {{7, TParityBits::prEven, TStopBits::sbTwoStopBits}, CS7 | PARENB | CSTOPB},
      {{6, TParityBits::prOdd, TStopBits::sbOne5StopBits}, CS6 | PARENB | PARODD | CSTOPB},
      {{5, TParityBits::prMark, TStopBits::sbOneStopBit}, CS5 | PARENB | PARODD | CMSPAR},
      {{8, TParityBits::prSpace, TStopBits::sbOneStopBit}, CS8 | PARENB | CMSPAR},
  };
  for (const auto& [format, flags] : cases) EXPECT_EQ(LineFormatFlags(format), flags) << format.DataBits;
}

}  // namespace
