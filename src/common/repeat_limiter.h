#pragma once
// Keeps a fault that recurs every second from flooding the log: the first
// occurrence is logged, then at most one "... repeated N times" line per
// interval, and one line when the fault clears. Thread-safe.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class RepeatLimiter {
 public:
  // `clearedLine` is logged when an active fault clears.
  explicit RepeatLimiter(std::string clearedLine, int64_t intervalMs = 10 * 60 * 1000);

  // The lines to log for one occurrence (`line`) at `nowMs`.
  std::vector<std::string> Occurred(const std::string& line, int64_t nowMs);
  // The lines to log when the fault is seen gone; none while it is not active.
  std::vector<std::string> Cleared();
  bool Active() const;

 private:
  const std::string m_clearedLine;
  const int64_t m_intervalMs;
  mutable std::mutex m_mutex;
  bool m_active = false;
  int64_t m_lastLoggedMs = 0;
  int64_t m_unlogged = 0;
};
