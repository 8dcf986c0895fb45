// The velkor executable run as an operator runs it: headless, in a temporary
// station directory, on the simulated clock.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <string>

#include "support/temp_dir.h"

namespace {

struct RunResult {
  int exitCode = -1;
  std::string output;
};

// Runs velkor with the arguments, stdout and stderr together.
RunResult RunVelkor(const std::string& args) {
  RunResult r;
  const std::string cmd = std::string("'") + VELKOR_BINARY + "' " + args + " 2>&1";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.output.append(buf.data(), n);
  const int status = ::pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

constexpr std::chrono::seconds kPipeLimit{30};

// Reads `fd` into `out` until `until` appears (empty: until end of file).
// False when `limit` passed first.
bool ReadPipe(int fd, std::string& out, const std::string& until, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  char buf[512];
  while (until.empty() || !Contains(out, until)) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd p{fd, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) return until.empty();
    out.append(buf, static_cast<size_t>(n));
  }
  return true;
}

TEST(VelkorApp, SimulatedRunStartsAcquiresAndEnds) {
  TempDir dir;
  WriteFile(dir.Path("velkor.ini"), "[GPS]\r\nUpDateOn=0\r\n");
  const RunResult r = RunVelkor("--headless --dir '" + dir.Dir() +
                                "' --simulate-from '2026-01-15 12:00:00' --run-for 120");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  const std::string log = ReadFile(dir.Path("velkor.log"));
  EXPECT_TRUE(Contains(log, "15.01.2026 12:00:00.000 Inf: ****** S T A R T ****** ("));
  EXPECT_TRUE(Contains(
      log, "A/D: Inicialized OK. \"Simulation Drumlo-4, Drumlo-8, Kelta-16\"\r\n"));
  EXPECT_TRUE(Contains(log, "Tim: PPS detected and used.\r\n"));
  EXPECT_TRUE(Contains(log, "15.01.2026 12:02:00.000 Inf: ******** E N D ********\r\n"));
  // Headless, every log line is echoed to the terminal.
  EXPECT_TRUE(Contains(r.output, "Inf: ****** S T A R T ******"));
}

TEST(VelkorApp, UnwritableStationDirectoryIsOneClearErrorNotACrash) {
  TempDir dir;
  WriteFile(dir.Path("plain-file"), "x");
  const RunResult r = RunVelkor("--headless --dir '" + dir.Path("plain-file") + "/station'");
  EXPECT_NE(r.exitCode, 0);
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_TRUE(Contains(r.output, "cannot be written")) << r.output;
}

TEST(VelkorApp, BadCommandLineIsRefusedWithUsage) {
  for (const char* args : {"--run-for 10", "--simulate-from '2026-13-01 00:00:00' --run-for 5",
                           "--bogus", "--simulate-from '2026-01-01 00:00:00' --run-for -3"}) {
    const RunResult r = RunVelkor(std::string("--headless ") + args);
    EXPECT_EQ(r.exitCode, 2) << args << "\n" << r.output;
    EXPECT_TRUE(Contains(r.output, "velkor:")) << args;
  }
}

TEST(VelkorApp, TerminationSignalRunsTheCloseSequence) {
  TempDir dir;
  WriteFile(dir.Path("velkor.ini"), "[GPS]\r\nUpDateOn=0\r\n");
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::dup2(fds[1], 1);
    ::close(fds[0]);
    const std::string d = dir.Dir();
    ::execl(VELKOR_BINARY, "velkor", "--headless", "--dir", d.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(fds[1]);
  // Wait on the pipe until the station has started, then until it has ended;
  // a station that hangs is killed well before ctest's own limit.
  std::string out;
  const bool started = ReadPipe(fds[0], out, "Inf: \"", kPipeLimit);
  if (started) ::kill(pid, SIGTERM);
  const bool ended = started && ReadPipe(fds[0], out, "", kPipeLimit);
  if (!ended) ::kill(pid, SIGKILL);
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(started) << out;
  ASSERT_TRUE(ended) << out;
  EXPECT_TRUE(WIFEXITED(status)) << out;
  const std::string log = ReadFile(dir.Path("velkor.log"));
  EXPECT_TRUE(Contains(log, "Inf: Windows shutdown... (forced end)\r\n")) << log;
  EXPECT_TRUE(Contains(log, "Inf: ******** E N D ********\r\n")) << log;
  EXPECT_TRUE(std::filesystem::exists(dir.Path("velkor.ini")));
}

}  // namespace
