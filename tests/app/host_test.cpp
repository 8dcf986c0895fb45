// The executable told to stop in every state it can be in, a second start on
// the same station, and what it tells the service manager. Waits are bounded
// waits on the child, never sleeps through station time.
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Child {
  pid_t pid = -1;
  int out = -1;  // stdout and stderr
  std::string seen;
};

// `env` entries are "NAME=value"; every child loses an inherited NOTIFY_SOCKET.
Child Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
  int fds[2];
  Child c;
  if (::pipe(fds) != 0) return c;
  c.pid = ::fork();
  if (c.pid == 0) {
    ::dup2(fds[1], 1);
    ::dup2(fds[1], 2);
    ::close(fds[0]);
    ::unsetenv("NOTIFY_SOCKET");
    for (const std::string& e : env) ::putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> argv{const_cast<char*>("velkor")};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(VELKOR_BINARY, argv.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  c.out = fds[0];
  return c;
}

// Reads the child's output until `text` shows, at most `limitMs`.
bool WaitForOutput(Child& c, const std::string& text, int limitMs = 20000) {
  const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
  while (c.seen.find(text) == std::string::npos) {
    const int left = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
    pollfd p{c.out, POLLIN, 0};
    if (left <= 0 || ::poll(&p, 1, left) <= 0) return false;
    char buf[4096];
    const ssize_t n = ::read(c.out, buf, sizeof buf);
    if (n <= 0) return false;
    c.seen.append(buf, static_cast<size_t>(n));
  }
  return true;
}

// Polls a file the child writes until `text` shows.
bool WaitForFile(const std::string& path, const std::string& text, int limitMs = 20000) {
  const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
  while (ReadFile(path).find(text) == std::string::npos) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// The child's exit status within `limitMs`, or -1 (it is then killed).
int WaitExit(Child& c, int limitMs) {
  const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
  int status = 0;
  for (;;) {
    const pid_t r = ::waitpid(c.pid, &status, WNOHANG);
    if (r == c.pid) break;
    if (Clock::now() > end) {
      ::kill(c.pid, SIGKILL);
      ::waitpid(c.pid, &status, 0);
      status = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (c.out >= 0) ::close(c.out);
  c.out = -1;
  if (status == -1) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int Count(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1)) ++n;
  return n;
}

// No sensor section, no filter file; no SeedLink server on its fixed port.
const std::string kPartialIni = "[GPS]\r\nUpDateOn=0\r\n[SeedLink]\r\nServer=0\r\n";
const std::string kEnd = "Inf: ******** E N D ********\r\n";
const std::string kAcquiring = "A/D: Inicialized OK.";
const std::string kTagged = "Tim: PPS detected and used.";

struct StopCase {
  const char* name;
  bool window;                 // offscreen window: the start-up box is shown
  bool simulated;
  std::vector<int> signals;    // sent one after another, the later ones during the close
  bool closeStdout;            // the reader goes away before the signal
};

class StopTest : public ::testing::TestWithParam<StopCase> {};

// Told to stop in any state, the station runs the close sequence once: final
// save, END logged once, and the process gone within 10 s.
TEST_P(StopTest, EndsWithinTenSecondsWithEndLoggedOnce) {
  const StopCase& c = GetParam();
  TempDir dir;
  WriteFile(dir.Path("velkor.ini"), kPartialIni);
  std::vector<std::string> args{"--dir", dir.Dir()};
  if (!c.window) args.push_back("--headless");
  if (c.simulated)
    for (const char* a : {"--simulate-from", "2026-01-15 12:00:00", "--run-for", "100000000"})
      args.push_back(a);
  Child child = Spawn(args, {c.window ? "QT_QPA_PLATFORM=offscreen" : "QT_QPA_PLATFORM="});
  ASSERT_GT(child.pid, 0);
  // Tagged data prove that start-up went on past the box; the final save writes them.
  ASSERT_TRUE(WaitForFile(dir.Path("velkor.log"), kTagged)) << ReadFile(dir.Path("velkor.log"));
  if (c.closeStdout) {
    ::close(child.out);
    child.out = -1;
  }
  for (int s : c.signals) ::kill(child.pid, s);
  const auto start = Clock::now();
  const int rc = WaitExit(child, 10000);
  const std::string log = ReadFile(dir.Path("velkor.log"));
  EXPECT_EQ(rc, 0) << log;
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(Count(log, kEnd), 1) << log;
  // A signal during the close is noted (signals close together may arrive as
  // one), but closes nothing twice.
  const int forced = Count(log, "Inf: Windows shutdown... (forced end)");
  EXPECT_GE(forced, 1) << log;
  EXPECT_LE(forced, c.signals.size() > 1 ? 2 : 1) << log;
  // The final save wrote the data acquired so far.
  EXPECT_TRUE(std::filesystem::exists(dir.Path("Data"))) << log;
}

INSTANTIATE_TEST_SUITE_P(
    Signals, StopTest,
    ::testing::Values(StopCase{"SigtermDuringStartUpBox", true, false, {SIGTERM}, false},
                      StopCase{"SigtermDuringSimulatedRun", false, true, {SIGTERM}, false},
                      StopCase{"SigtermDuringClose", false, false, {SIGTERM, SIGTERM, SIGINT}, false},
                      StopCase{"Sighup", false, false, {SIGHUP}, false},
                      StopCase{"SighupWithStdoutClosed", false, true, {SIGHUP}, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A reader that goes away (`velkor --headless | head`) does not end the station.
TEST(VelkorHost, ClosedStdoutDoesNotEndASimulatedRun) {
  TempDir dir;
  WriteFile(dir.Path("velkor.ini"), kPartialIni);
  Child child = Spawn({"--headless", "--dir", dir.Dir(), "--simulate-from", "2026-01-15 12:00:00",
                       "--run-for", "900"});
  ASSERT_TRUE(WaitForOutput(child, "S T A R T"));
  ::close(child.out);
  child.out = -1;
  EXPECT_EQ(WaitExit(child, 60000), 0);
  EXPECT_EQ(Count(ReadFile(dir.Path("velkor.log")), "15.01.2026 12:15:00.000 " + kEnd), 1);
}

TEST(VelkorHost, SecondStationInTheSameDirectoryIsRefused) {
  TempDir dir;
  WriteFile(dir.Path("velkor.ini"), kPartialIni);
  Child first = Spawn({"--headless", "--dir", dir.Dir()});
  ASSERT_TRUE(WaitForOutput(first, kAcquiring)) << first.seen;
  Child second = Spawn({"--headless", "--dir", dir.Dir()});
  WaitForOutput(second, "\n", 10000);
  EXPECT_EQ(WaitExit(second, 10000), 3) << second.seen;
  EXPECT_NE(second.seen.find("another station runs in this directory"), std::string::npos) << second.seen;
  ::kill(first.pid, SIGTERM);
  EXPECT_EQ(WaitExit(first, 10000), 0);
  const std::string log = ReadFile(dir.Path("velkor.log"));
  EXPECT_EQ(Count(log, "S T A R T"), 1) << log;
  // The lock goes with the process: the next start is accepted.
  Child third = Spawn({"--headless", "--dir", dir.Dir()});
  EXPECT_TRUE(WaitForOutput(third, kAcquiring)) << third.seen;
  ::kill(third.pid, SIGTERM);
  EXPECT_EQ(WaitExit(third, 10000), 0);
}

TEST(VelkorHost, CommandLineRefusesYearsTheReceiverCannotSendAndOverflowingRuns) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--simulate-from", "1999-12-31 23:59:59", "--run-for", "10"},
        std::vector<std::string>{"--simulate-from", "2100-01-01 00:00:00", "--run-for", "10"},
        std::vector<std::string>{"--simulate-from", "2026-01-01 00:00:00", "--run-for",
                                 "9223372036854775"}}) {
    SCOPED_TRACE(args[1] + " " + args[3]);
    TempDir dir;
    std::vector<std::string> a{"--headless", "--dir", dir.Dir()};
    a.insert(a.end(), args.begin(), args.end());
    Child child = Spawn(a);
    WaitForOutput(child, "\n", 10000);
    EXPECT_EQ(WaitExit(child, 10000), 2) << child.seen;
    EXPECT_FALSE(std::filesystem::exists(dir.Path("velkor.log")));
  }
}

// Past 2099 the receiver's two-digit year sets the simulated clock back a
// century: the run still lasts its simulated seconds and ends, no spinning.
TEST(VelkorHost, SimulatedRunEndsAfterTheReceiverSetsTheClockBack) {
  TempDir dir;
  WriteFile(dir.Path("velkor.ini"), "[Registration]\r\nFilter=\r\n[GPS]\r\nPort=sim-gps\r\nPPS=DSR\r\n");
  Child child = Spawn({"--headless", "--dir", dir.Dir(), "--simulate-from", "2099-12-31 23:59:00",
                       "--run-for", "120"});
  EXPECT_EQ(WaitExit(child, 30000), 0);
  const std::string log = ReadFile(dir.Path("velkor.log"));
  EXPECT_EQ(Count(log, kEnd), 1) << log;
  EXPECT_EQ(Count(log, "01.01.2000 00:01:00.000 " + kEnd), 1) << log;
}

// Readiness after start-up, the watchdog from the cycle, stopping at the close,
// through a notify socket of our own.
TEST(VelkorHost, TellsTheServiceManagerReadyWatchdogAndStopping) {
  TempDir dir;
  WriteFile(dir.Path("velkor.ini"), kPartialIni);
  const std::string socketPath = dir.Path("notify");
  const int sock = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  ASSERT_GE(sock, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  ASSERT_LT(socketPath.size(), sizeof addr.sun_path);
  std::strcpy(addr.sun_path, socketPath.c_str());
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  Child child = Spawn({"--headless", "--dir", dir.Dir(), "--simulate-from", "2026-01-15 12:00:00",
                       "--run-for", "60"},
                      {"NOTIFY_SOCKET=" + socketPath});
  EXPECT_EQ(WaitExit(child, 30000), 0);
  std::vector<std::string> messages;
  char buf[512];
  ssize_t n;
  while ((n = ::recv(sock, buf, sizeof buf, 0)) > 0) messages.emplace_back(buf, static_cast<size_t>(n));
  ::close(sock);
  ASSERT_GE(messages.size(), 3u);
  EXPECT_EQ(messages.front(), "READY=1");
  EXPECT_EQ(messages[1], "WATCHDOG=1");
  EXPECT_EQ(messages.back(), "STOPPING=1");
}

}  // namespace
