#include "platform/service.h"

#include <fcntl.h>
#include <sys/file.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/datetime.h"

namespace {
std::atomic<bool> g_notify{false};
std::atomic<int64_t> g_lastWatchdogMs{INT64_MIN};
constexpr int64_t kWatchdogSpacingMs = 5000;

void Notify(const char* state) {
  if (g_notify.load()) (void)sd_notify(0, state);
}
}  // namespace

void EnableServiceNotifications() { g_notify.store(true); }
void NotifyServiceReady() { Notify("READY=1"); }
void NotifyServiceStopping() { Notify("STOPPING=1"); }

void NotifyServiceWatchdog() {
  if (!g_notify.load()) return;
  // The cycle runs back to back on a simulated clock; the manager needs far less.
  const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now().time_since_epoch())
                          .count();
  int64_t last = g_lastWatchdogMs.load();
  if (last != INT64_MIN && now - last < kWatchdogSpacingMs) return;
  if (!g_lastWatchdogMs.compare_exchange_strong(last, now)) return;
  Notify("WATCHDOG=1");
}

bool AcquireInstanceLock(const std::string& path, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int e = errno;
    char pid[32] = {};
    const ssize_t n = ::pread(fd, pid, sizeof pid - 1, 0);
    ::close(fd);
    if (e == EWOULDBLOCK) {
      std::string holder = n > 0 ? std::string(pid, static_cast<size_t>(n)) : std::string();
      while (!holder.empty() && (holder.back() == '\n' || holder.back() == '\r')) holder.pop_back();
      error = "another station runs in this directory (" + path +
              (holder.empty() ? std::string(" is locked)") : " is held by process " + holder + ")");
    } else {
      error = path + ": " + std::strerror(e);
    }
    return false;
  }
  // The holder's process id, for the operator who finds the second one refused.
  const std::string text = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) == 0) (void)!::pwrite(fd, text.data(), text.size(), 0);
  // Kept open (and locked) until the process ends.
  return true;
}

int64_t BuildDateUnixMs() {
  static const char* const kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
  const char* date = __DATE__;  // "Mmm dd yyyy"
  int month = 1;
  for (int m = 0; m < 12; ++m)
    if (std::strncmp(kMonths + 3 * m, date, 3) == 0) month = m + 1;
  const int day = std::atoi(date + 4);
  const int year = std::atoi(date + 7);
  return DateTimeToUnixMs(EncodeDateTime(year, month, day));
}
