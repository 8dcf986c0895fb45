// The station's GPS port on a device that vanishes (an unplugged USB
// receiver) and comes back, through a pseudo-terminal behind a symlink as
// udev gives one.
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "station/station_controller.h"
#include "support/station_options.h"
#include "support/temp_dir.h"

namespace {

struct Pty {
  int master = -1;
  std::string slave;
  Pty() {
    int s = -1;
    char name[128] = {};
    if (::openpty(&master, &s, name, nullptr, nullptr) == 0) {
      slave = name;
      ::close(s);  // the station opens it by name
    }
  }
  void Close() {
    if (master >= 0) ::close(master);
    master = -1;
  }
  ~Pty() { Close(); }
};

struct Station {
  TempDir dir;
  ManualClock clock{DateTimeToUnixMs(EncodeDateTime(2026, 12, 20, 12, 0, 0))};
  std::unique_ptr<StationController> s;
  std::vector<std::string> lines;
  explicit Station(const std::string& port) {
    WriteFile(dir.Path("velkor.ini"), "[Registration]\r\nFilter=\r\nWaitForSync=0\r\n[GPS]\r\nUpDateOn=1\r\nPort=" +
                                          port + "\r\n");
    s = std::make_unique<StationController>(SimulatedStationOptions(dir, clock));
    QObject::connect(s.get(), &StationController::logLine,
                     [this](const std::string& l) { lines.push_back(l.substr(24)); });
  }
  int Count(const std::string& prefix) const {
    return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                          [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
  }
  // The hang-up arrives on the port's own thread: a bounded wait for it.
  bool WaitFor(const std::string& prefix, int n) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Count(prefix) < n && std::chrono::steady_clock::now() < end) {
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return Count(prefix) >= n;
  }
  void Cycle(int64_t ms) {
    clock.AdvanceMs(ms);
    s->TimerTimer();
  }
};

const std::string kLost = "GPS: Port error: ";
const std::string kBack = "GPS: Port is back, reading the receiver again.";

TEST(StationHost, VanishedGpsPortIsOpenedAgainEveryTenSeconds) {
  TempDir links;
  const std::string link = links.Path("gps");
  auto first = std::make_unique<Pty>();
  ASSERT_FALSE(first->slave.empty());
  std::filesystem::create_symlink(first->slave, link);
  Station st(link);
  st.s->FormCreate();
  ASSERT_EQ(st.Count("GPS: Error opening port."), 0);

  first->Close();  // unplugged
  ASSERT_TRUE(st.WaitFor(kLost, 1));
  Pty second;  // plugged in again, behind the same name
  std::filesystem::remove(link);
  std::filesystem::create_symlink(second.slave, link);
  st.Cycle(5'000);
  EXPECT_EQ(st.Count(kBack), 0);  // not yet ten seconds
  st.Cycle(5'000);
  EXPECT_EQ(st.Count(kBack), 1);
  EXPECT_EQ(st.Count(kLost), 1);

  // Gone again: noticed again, since the port was back in between.
  second.Close();
  EXPECT_TRUE(st.WaitFor(kLost, 2));
  st.Cycle(10'000);  // nothing to open: quiet
  EXPECT_EQ(st.Count(kBack), 1);
  st.s->FormClose();
}

TEST(StationHost, GpsPortThatCannotBeOpenedLogsTheSystemsReason) {
  TempDir links;
  Station st(links.Path("no-such-receiver"));
  st.s->FormCreate();
  const auto at = std::find(st.lines.begin(), st.lines.end(), "GPS: Error opening port.");
  ASSERT_NE(at, st.lines.end());
  ASSERT_NE(at + 1, st.lines.end());
  EXPECT_EQ(*(at + 1), "Err: " + links.Path("no-such-receiver") + ": No such file or directory");
  st.s->FormClose();
}

}  // namespace

namespace {

// A modem that answers "OK" to each command line, so that a job takes a few
// exchanges, not the minutes of counted silence a mute one costs (which a
// loaded machine stretches past any bound in real time).
struct OkModem {
  Pty pty;
  std::atomic<bool> stop{false};
  std::thread thread{[this] {
    while (!stop) {
      pollfd p{pty.master, POLLIN, 0};
      if (::poll(&p, 1, 10) <= 0 || !(p.revents & POLLIN)) continue;
      char buf[256];
      const ssize_t n = ::read(pty.master, buf, sizeof buf);
      for (ssize_t i = 0; i < n; ++i)
        if (buf[i] == '\r') (void)!::write(pty.master, "\r\nOK\r\n", 6);
      // A closed slave reads as EIO and polls as hung up: wait for the next open.
      if (n <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }};
  ~OkModem() {
    stop = true;
    thread.join();
  }
};

// The modem's port vanishes between two jobs and comes back before a third:
// said once when gone (with the reason), once when back.
TEST(StationHost, GsmPortVanishingBetweenJobsIsLoggedGoneAndBack) {
  TempDir links;
  const std::string link = links.Path("gsm");
  OkModem modem;
  std::filesystem::create_symlink(modem.pty.slave, link);
  TempDir dir;
  ManualClock clock{DateTimeToUnixMs(EncodeDateTime(2026, 12, 20, 12, 0, 0))};
  WriteFile(dir.Path("velkor.ini"), "[Registration]\r\nFilter=\r\n[GPS]\r\nUpDateOn=0\r\n"
                                    "[Communication]\r\nSendSMS=1\r\nSendEmail=0\r\n"
                                    "[GSM]\r\nEmailGate=\r\nPIN=1234\r\nSMScentrum=+420603052000\r\nPort=" + link + "\r\n");
  StationController s(SimulatedStationOptions(dir, clock));
  std::vector<std::string> lines;
  QObject::connect(&s, &StationController::logLine,
                   [&](const std::string& l) { lines.push_back(l.substr(24)); });
  auto count = [&](const std::string& line) { return std::count(lines.begin(), lines.end(), line); };
  auto settle = [&] {  // bounded wait for the jobs
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (s.State().PendingThreads.load() > 0 && std::chrono::steady_clock::now() < end)
      QCoreApplication::processEvents();
    EXPECT_EQ(s.State().PendingThreads.load(), 0) << "a modem job did not end";
  };
  s.FormCreate();
  settle();
  std::filesystem::remove(link);  // unplugged
  s.BtnSignalClick();
  settle();
  s.BtnSignalClick();
  settle();
  EXPECT_EQ(count("GSM: Error opening port."), 1);
  EXPECT_EQ(count("Err: " + link + ": No such file or directory"), 1);
  std::filesystem::create_symlink(modem.pty.slave, link);
  s.BtnSignalClick();
  settle();
  EXPECT_EQ(count("GSM: Port is back."), 1);
  s.FormClose();
}

}  // namespace
