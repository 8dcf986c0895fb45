// The velkor executable run as an operator runs it, in a temporary station
// directory. Waits are bounded waits on the child, never sleeps through station time.
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/gse2_strict.h"
#include "support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Child {
  pid_t pid = -1;
  int out = -1;      // stdout and stderr
  std::string seen;  // read so far
};

// `env` entries are "NAME=value"; every child loses an inherited NOTIFY_SOCKET. `fileLimit` > 0
// makes the kernel kill it (SIGXFSZ) in the middle of the write that crosses that file size.
Child Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
            rlim_t fileLimit = 0) {
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
    if (fileLimit > 0) {
      struct rlimit limit {fileLimit, fileLimit};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
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

std::vector<std::string> Simulated(const TempDir& dir, const char* from, int runFor) {
  return {"--headless", "--dir", dir.Dir(), "--simulate-from", from, "--run-for", std::to_string(runFor)};
}

// Reads the child's output until `text` shows (empty: until it ends), at most `limitMs`.
bool WaitForOutput(Child& c, const std::string& text, int limitMs = 30000) {
  const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
  while (text.empty() || c.seen.find(text) == std::string::npos) {
    const int left = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
    pollfd p{c.out, POLLIN, 0};
    if (left <= 0 || ::poll(&p, 1, left) <= 0) return false;
    char buf[4096];
    const ssize_t n = ::read(c.out, buf, sizeof buf);
    if (n <= 0) return text.empty();
    c.seen.append(buf, static_cast<size_t>(n));
  }
  return true;
}

// Polls `done` for at most `limitMs`.
bool Until(const std::function<bool()>& done, int limitMs) {
  const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
  for (;; std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
    if (done()) return true;
    if (Clock::now() > end) return false;
  }
}

// The child's exit code (128 + signal when killed) within `limitMs`, or -1
// (it is then killed).
int WaitExit(Child& c, int limitMs = 30000) {
  int status = 0;
  const bool ended = Until([&] { return ::waitpid(c.pid, &status, WNOHANG) == c.pid; }, limitMs);
  if (!ended) {
    ::kill(c.pid, SIGKILL);
    ::waitpid(c.pid, &status, 0);
  }
  if (c.out >= 0) ::close(std::exchange(c.out, -1));
  return !ended ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
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

// Headless, every log line is echoed until the reader goes away
// (`velkor --headless | head`), which does not end the station. The service
// manager hears of readiness after start-up, the watchdog from the cycle and
// the stop at the close, here through a notify socket of our own.
TEST(VelkorApp, SimulatedRunStartsAcquiresAndEndsWhenItsReaderIsGone) {
  TempDir dir;
  WriteFile(dir.Path("velkor.ini"), kPartialIni);
  const int sock = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  ASSERT_LT(dir.Path("notify").size(), sizeof addr.sun_path);
  std::strcpy(addr.sun_path, dir.Path("notify").c_str());
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  Child child = Spawn(Simulated(dir, "2026-01-15 12:00:00", 300), {"NOTIFY_SOCKET=" + dir.Path("notify")});
  ASSERT_TRUE(WaitForOutput(child, "Inf: ****** S T A R T ******")) << child.seen;
  ::close(std::exchange(child.out, -1));
  EXPECT_EQ(WaitExit(child, 60000), 0);
  const std::string log = ReadFile(dir.Path("velkor.log"));
  EXPECT_EQ(Count(log, "15.01.2026 12:00:00.000 Inf: ****** S T A R T ****** ("), 1) << log;
  EXPECT_EQ(Count(log, "Tim: PPS detected and used.\r\n"), 1);
  EXPECT_EQ(Count(log, "15.01.2026 12:05:00.000 " + kEnd), 1);
  std::vector<std::string> messages;
  char buf[512];
  for (ssize_t n; (n = ::recv(sock, buf, sizeof buf, 0)) > 0;) messages.emplace_back(buf, static_cast<size_t>(n));
  ::close(sock);
  ASSERT_GE(messages.size(), 3u);
  EXPECT_EQ((std::vector<std::string>{messages.front(), messages[1], messages.back()}),
            (std::vector<std::string>{"READY=1", "WATCHDOG=1", "STOPPING=1"}));
}

// Refused starts exit with their code and write no log. One station runs per
// directory; its lock goes with the process.
TEST(VelkorApp, RefusedStartsExitWithTheirCodeAndWriteNoLog) {
  TempDir dir, busy;
  WriteFile(dir.Path("plain-file"), "x");
  WriteFile(busy.Path("velkor.ini"), kPartialIni);
  Child first = Spawn({"--headless", "--dir", busy.Dir()});
  ASSERT_TRUE(WaitForOutput(first, kAcquiring)) << first.seen;
  struct Case { std::vector<std::string> args; int code; const char* says; };
  for (const Case& c : std::vector<Case>{
           {{"--dir", dir.Path("plain-file") + "/station"}, 1, "cannot be written"},
           {{"--dir", busy.Dir()}, 3, "another station runs in this directory"},
           {{"--run-for", "10"}, 2, "go together"},
           {{"--bogus"}, 2, "unknown option --bogus"},
           {{"--simulate-from", "2026-13-01 00:00:00", "--run-for", "5"}, 2, "velkor:"},
           {{"--simulate-from", "2026-01-01 00:00:00", "--run-for", "-3"}, 2, "velkor:"},
           // The receiver's two-digit years, and runs that would overflow.
           {{"--simulate-from", "1999-12-31 23:59:59", "--run-for", "10"}, 2, "2000 to 2099"},
           {{"--simulate-from", "2100-01-01 00:00:00", "--run-for", "10"}, 2, "2000 to 2099"},
           {{"--simulate-from", "2026-01-01 00:00:00", "--run-for", "9223372036854775"}, 2, "limited"}}) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    std::vector<std::string> args{"--headless"};
    if (c.args[0] != "--dir") args.insert(args.end(), {"--dir", dir.Dir()});
    args.insert(args.end(), c.args.begin(), c.args.end());
    Child child = Spawn(args);
    WaitForOutput(child, "", 10000);
    EXPECT_EQ(WaitExit(child, 10000), c.code) << child.seen;
    EXPECT_NE(child.seen.find(c.says), std::string::npos) << child.seen;
    EXPECT_FALSE(std::filesystem::exists(dir.Path("velkor.log")));
  }
  ::kill(first.pid, SIGTERM);
  EXPECT_EQ(WaitExit(first, 10000), 0);
  EXPECT_EQ(Count(ReadFile(busy.Path("velkor.log")), "S T A R T"), 1);
  Child next = Spawn({"--headless", "--dir", busy.Dir()});
  EXPECT_TRUE(WaitForOutput(next, kAcquiring)) << next.seen;
  ::kill(next.pid, SIGTERM);
  EXPECT_EQ(WaitExit(next, 10000), 0);
}

// window: offscreen, so the start-up box is shown; signals: sent one after another,
// the later ones during the close; closeStdout: the reader goes away before the signal.
struct StopCase { const char* name; bool window, simulated; std::vector<int> signals; bool closeStdout; };

class StopTest : public ::testing::TestWithParam<StopCase> {};

// Told to stop in any state, the station runs the close sequence once: final
// save, END logged once, the INI file written, and the process gone within 10 s.
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
  ASSERT_TRUE(Until([&] { return Count(ReadFile(dir.Path("velkor.log")), "Tim: PPS detected and used.") > 0; }, 20000))
      << ReadFile(dir.Path("velkor.log"));
  if (c.closeStdout) ::close(std::exchange(child.out, -1));
  for (int s : c.signals) ::kill(child.pid, s);
  const int rc = WaitExit(child, 10000);  // -1 when still running after 10 s
  const std::string log = ReadFile(dir.Path("velkor.log"));
  EXPECT_EQ(rc, 0) << log;
  EXPECT_EQ(Count(log, kEnd), 1) << log;
  // A signal during the close is noted (signals close together may arrive as
  // one, or each on its own on a slow machine), but closes nothing twice.
  const int forced = Count(log, "Inf: Windows shutdown... (forced end)\r\n");
  EXPECT_GE(forced, 1) << log;
  EXPECT_LE(forced, static_cast<int>(c.signals.size())) << log;
  EXPECT_TRUE(std::filesystem::exists(dir.Path("Data"))) << log;
  EXPECT_NE(ReadFile(dir.Path("velkor.ini")).find("[SeedLink]"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Signals, StopTest,
    ::testing::Values(StopCase{"SigtermDuringStartUpBox", true, false, {SIGTERM}, false},
                      StopCase{"SigtermDuringSimulatedRun", false, true, {SIGTERM}, false},
                      StopCase{"SigtermDuringClose", false, false, {SIGTERM, SIGTERM, SIGINT}, false},
                      StopCase{"Sighup", false, false, {SIGHUP}, false},
                      StopCase{"SighupWithStdoutClosed", false, true, {SIGHUP}, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A station killed while it writes, then started again, leaves hour files
// that every GSE2 reader accepts: every block well formed, end to end.
TEST(VelkorApp, KilledDuringSavesAndRestartedEveryBlockIsWellFormed) {
  TempDir dir;
  WriteFile(dir.Path("velkor.ini"), "[GPS]\r\nUpDateOn=0\r\n");
  // Killed by the kernel in the middle of a write of the hour file.
  Child child = Spawn(Simulated(dir, "2026-01-15 12:10:00", 3000), {}, 300 * 1024);
  WaitForOutput(child, "", 60000);
  ASSERT_EQ(WaitExit(child), 128 + SIGXFSZ);
  // Killed outright at whatever it was doing, a few times over.
  for (const char* from : {"2026-01-15 12:20:00", "2026-01-15 12:30:00", "2026-01-15 12:40:00"}) {
    child = Spawn(Simulated(dir, from, 3000));
    WaitForOutput(child, "Tim: PPS detected and used.");
    ::kill(child.pid, SIGKILL);
    WaitExit(child);
  }
  child = Spawn(Simulated(dir, "2026-01-15 12:50:00", 120));
  WaitForOutput(child, "");
  ASSERT_EQ(WaitExit(child), 0);

  EXPECT_NE(ReadFile(dir.Path("velkor.log")).find("Sav: Torn file repaired: "), std::string::npos);
  int files = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir.Path("Data"))) {
    if (!e.is_regular_file()) continue;
    ++files;
    size_t blocks = 0;
    EXPECT_EQ(gse2_strict::LayoutProblem(ReadFile(e.path().string()), &blocks), "") << e.path();
    EXPECT_GT(blocks, 0u) << e.path();
  }
  EXPECT_EQ(files, 1);
}

}  // namespace
