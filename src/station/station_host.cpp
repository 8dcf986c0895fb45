// The station on its host: a close that ends in bounded time, and repeated
// faults that do not flood the log.
#include <chrono>

#include "station/station_controller.h"

namespace {
// After a request to stop: long enough for the final save, short enough for
// any stop timeout.
constexpr int64_t kStopWaitMs = 6000;
// Any close: longer than every job with a limit of its own needs (the mail
// command's 60 s, the modem jobs' 20 s after the close began), so only a
// job that hangs is cut off.
constexpr int64_t kCloseWaitMs = 65'000;

int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

void StationController::ArmStopDeadline() {
  if (m_stopDeadlineMs < 0) m_stopDeadlineMs = SteadyMs() + kStopWaitMs;
}

void StationController::ArmCloseWait() {
  if (m_closeWaitEndMs < 0) m_closeWaitEndMs = SteadyMs() + kCloseWaitMs;
}

bool StationController::CloseWaitOver() const {
  const int64_t now = SteadyMs();
  return (m_stopDeadlineMs >= 0 && now >= m_stopDeadlineMs) ||
         (m_closeWaitEndMs >= 0 && now >= m_closeWaitEndMs);
}

void StationController::Log(const std::string& message) {
  // Any thread. A full disk fails every one-second segment: the writers'
  // lines are limited.
  if (message.rfind("Sav: Disk write error", 0) == 0)
    LogLimited(m_diskErrors, message);
  else
    IndicateSaveLog(message);
}

void StationController::LogLimited(RepeatLimiter& limiter, const std::string& line) {
  for (const std::string& l : limiter.Occurred(line, m_clock->NowUnixMs())) IndicateSaveLog(l);
}

void StationController::LogCleared(RepeatLimiter& limiter) {
  for (const std::string& l : limiter.Cleared()) IndicateSaveLog(l);
}
