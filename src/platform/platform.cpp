#include "platform/platform.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>

extern char** environ;

void RaiseProcessPriority() { (void)setpriority(PRIO_PROCESS, 0, -10); }

void LowerThreadPriority() {
  // On Linux the nice value of a thread is per thread (PRIO_PROCESS with tid 0 = caller).
  errno = 0;
  const int cur = getpriority(PRIO_PROCESS, 0);
  if (errno == 0) (void)setpriority(PRIO_PROCESS, 0, cur + 1);
}

int64_t FreeSpaceBytes(const std::string& path) {
  std::error_code ec;
  std::filesystem::path p(path);
  // The directory may not exist yet: ask for the nearest existing parent.
  while (!p.empty() && !std::filesystem::exists(p, ec)) {
    if (p == p.parent_path()) break;
    p = p.parent_path();
  }
  const auto info = std::filesystem::space(p.empty() ? "." : p, ec);
  if (ec) return -1;
  return static_cast<int64_t>(info.available);
}

std::string ComputerName() {
  char buf[256] = {};
  if (gethostname(buf, sizeof buf - 1) != 0) return {};
  return buf;
}

bool SystemClockSetter::SetUtc(int64_t unixMs, std::string& error) {
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(unixMs / 1000);
  ts.tv_nsec = static_cast<long>((unixMs % 1000) * 1'000'000);
  if (clock_settime(CLOCK_REALTIME, &ts) != 0) {
    error = std::strerror(errno);
    return false;
  }
  return true;
}

bool RecordingClockSetter::SetUtc(int64_t unixMs, std::string&) {
  std::lock_guard lock(m_mutex);
  m_requests.push_back(unixMs);
  return true;
}

std::vector<int64_t> RecordingClockSetter::Requests() const {
  std::lock_guard lock(m_mutex);
  return m_requests;
}

bool SystemRestarter::Restart() {
  const char* argv[] = {"systemctl", "reboot", nullptr};
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, "systemctl", nullptr, nullptr, const_cast<char**>(argv), environ);
  return rc == 0;
}
