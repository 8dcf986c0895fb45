// The station's ports on devices that vanish (an unplugged USB receiver or modem) and
// come back, through pseudo-terminals behind a symlink as udev gives them.
#include <atomic>
#include <filesystem>
#include <utility>

#include "station/station_rig.h"
#include "support/pty.h"

namespace {

class StationHost : public StationRig {
 protected:
  int Logged(const std::string& prefix) const { return CountPrefix(lines, prefix); }
  // Plugged in (again) behind the same name.
  void Plug(const Pty& pty) {
    std::filesystem::remove(link);
    std::filesystem::create_symlink(pty.path, link);
  }
  static void Unplug(Pty& pty) { ::close(std::exchange(pty.master, -1)); }
  TempDir links;
  const std::string link = links.Path("device");
};

const std::string kLost = "GPS: Port error: ";
const std::string kBack = "GPS: Port is back, reading the receiver again.";

TEST_F(StationHost, VanishedGpsPortIsOpenedAgainEveryTenSeconds) {
  auto first = std::make_unique<Pty>();
  Plug(*first);
  auto s = Make("[Registration]\r\nFilter=\r\nWaitForSync=0\r\n[GPS]\r\nUpDateOn=1\r\nPort=" + link + "\r\n",
                EncodeDateTime(2026, 12, 20, 12, 0, 0));
  ASSERT_EQ(Logged("GPS: Error opening port."), 0);
  auto cycle = [&](int64_t ms) { clock.AdvanceMs(ms); s->TimerTimer(); };
  Unplug(*first);
  ASSERT_TRUE(WaitUntil([&] { return Logged(kLost) == 1; }));
  Pty second;
  Plug(second);
  cycle(5'000);
  EXPECT_EQ(Logged(kBack), 0);  // not yet ten seconds
  cycle(5'000);
  EXPECT_EQ(Logged(kBack), 1);
  EXPECT_EQ(Logged(kLost), 1);
  // Gone again: noticed again, since the port was back in between.
  Unplug(second);
  EXPECT_TRUE(WaitUntil([&] { return Logged(kLost) == 2; }));
  cycle(10'000);  // nothing to open: quiet
  EXPECT_EQ(Logged(kBack), 1);
  s->FormClose();
}

// A modem that answers "OK" to each command line, so that a job takes a few exchanges, not the
// minutes of counted silence a mute one costs (which a loaded machine stretches past any bound).
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
    }
  }};
  ~OkModem() {
    stop = true;
    thread.join();
  }
};

// The modem's port vanishes between two jobs and comes back before a third:
// said once when gone (with the reason), once when back.
TEST_F(StationHost, GsmPortVanishingBetweenJobsIsLoggedGoneAndBack) {
  OkModem modem;
  Plug(modem.pty);
  auto s = Make(std::string(kPlainIni) + "[Communication]\r\nSendSMS=1\r\nSendEmail=0\r\n"
                "[GSM]\r\nEmailGate=\r\nPIN=1234\r\nSMScentrum=+420603052000\r\nPort=" + link + "\r\n",
                EncodeDateTime(2026, 12, 20, 12, 0, 0));
  auto settle = [&] { EXPECT_TRUE(WaitUntil([&] { return s->State().PendingThreads.load() == 0; })) << "a job hangs"; };
  settle();
  std::filesystem::remove(link);  // unplugged
  s->BtnSignalClick();
  settle();
  s->BtnSignalClick();
  settle();
  EXPECT_EQ(Logged("GSM: Error opening port."), 1);
  EXPECT_EQ(Logged("Err: " + link + ": No such file or directory"), 1);
  Plug(modem.pty);
  s->BtnSignalClick();
  settle();
  EXPECT_EQ(Logged("GSM: Port is back."), 1);
  s->FormClose();
}

}  // namespace
