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

#include <sys/resource.h>

#include <filesystem>

#include "support/gse2_strict.h"
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
  // A station on real time would serve SeedLink on its fixed port: not in a test.
  WriteFile(dir.Path("velkor.ini"), "[GPS]\r\nUpDateOn=0\r\n[SeedLink]\r\nServer=0\r\n");
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

// Starts velkor on the simulated clock; `fileLimit` > 0 makes the kernel kill
// it (SIGXFSZ) in the middle of the write that crosses that file size.
pid_t StartSimulated(const TempDir& dir, const char* from, int runFor, rlim_t fileLimit, int& out) {
  int fds[2];
  if (::pipe(fds) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(fds[1], 1);
    ::dup2(fds[1], 2);
    ::close(fds[0]);
    if (fileLimit > 0) {
      struct rlimit limit {fileLimit, fileLimit};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    const std::string d = dir.Dir(), f = from, r = std::to_string(runFor);
    ::execl(VELKOR_BINARY, "velkor", "--headless", "--dir", d.c_str(), "--simulate-from", f.c_str(),
            "--run-for", r.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(fds[1]);
  out = fds[0];
  return pid;
}

std::string ReadUntil(int fd, const std::string& marker) {
  std::string out;
  char buf[4096];
  ssize_t n;
  while (!Contains(out, marker) && (n = ::read(fd, buf, sizeof buf)) > 0) out.append(buf, n);
  return out;
}

// A station killed while it writes, then started again, leaves hour files
// that every GSE2 reader accepts: every block well formed, end to end.
TEST(VelkorApp, KilledDuringSavesAndRestartedEveryBlockIsWellFormed) {
  TempDir dir;
  WriteFile(dir.Path("velkor.ini"), "[GPS]\r\nUpDateOn=0\r\n");
  int out = -1;
  // Killed by the kernel in the middle of a write of the hour file.
  pid_t pid = StartSimulated(dir, "2026-01-15 12:10:00", 3000, 300 * 1024, out);
  ASSERT_GT(pid, 0);
  ReadUntil(out, "\x01");
  ::close(out);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
  // Killed outright at whatever it was doing, a few times over.
  for (const char* from : {"2026-01-15 12:20:00", "2026-01-15 12:30:00", "2026-01-15 12:40:00"}) {
    pid = StartSimulated(dir, from, 3000, 0, out);
    ASSERT_GT(pid, 0);
    ReadUntil(out, "Tim: PPS detected and used.");
    ::kill(pid, SIGKILL);
    ::close(out);
    ::waitpid(pid, &status, 0);
  }
  pid = StartSimulated(dir, "2026-01-15 12:50:00", 120, 0, out);
  ASSERT_GT(pid, 0);
  ReadUntil(out, "\x01");
  ::close(out);
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  const std::string log = ReadFile(dir.Path("velkor.log"));
  EXPECT_TRUE(Contains(log, "Sav: Torn file repaired: ")) << log;
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
