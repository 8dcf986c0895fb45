// The station on its host: a close that ends in bounded time after a request
// to stop, repeated faults that do not flood the log, and a GPS port that
// vanishes (an unplugged USB receiver) and comes back.
#include <chrono>

#include "serial/comport.h"
#include "station/station_controller.h"

namespace {
// Long enough for the final save, short enough for any stop timeout.
constexpr int64_t kStopWaitMs = 6000;
constexpr int64_t kPortRetryMs = 10'000;

int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

void StationController::ArmStopDeadline() {
  if (m_stopDeadlineMs < 0) m_stopDeadlineMs = SteadyMs() + kStopWaitMs;
}

bool StationController::PastStopDeadline() const {
  return m_stopDeadlineMs >= 0 && SteadyMs() >= m_stopDeadlineMs;
}

void StationController::Log(const std::string& message) {
  // A full disk fails every one-second segment: the writers' lines are limited.
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

void StationController::OnGpsPortError(const std::string& text) {
  if (m_gpsLost || m_state.Closing || !m_gpsPort) return;
  IndicateSaveLog("GPS: Port error: " + text);
  m_gpsLost = true;
  m_gpsRetryMs = m_clock->NowUnixMs() + kPortRetryMs;
  // Closed here, on the main thread; the cycle opens it again.
  m_gpsPort->Close();
}

void StationController::RetryLostPorts(TDateTime now) {
  if (!m_gpsLost || !m_gpsPort || m_state.Closing) return;
  const int64_t ms = DateTimeToUnixMs(now);
  // A clock set back while waiting must not put the retry off for long.
  if (ms < m_gpsRetryMs && m_gpsRetryMs - ms <= kPortRetryMs) return;
  m_gpsRetryMs = ms + kPortRetryMs;
  if (!m_gpsPort->Open()) return;
  m_gpsLost = false;
  IndicateSaveLog("GPS: Port is back, reading the receiver again.");
}

void StationController::OnGsmPortOpened(bool opened, const std::string& error) {
  // Each job opens the modem anew: a vanished port is said once, and its
  // return when a later job opens it.
  if (!opened && !m_gsmLost) {
    m_gsmLost = true;
    IndicateSaveLog("GSM: Error opening port.");
    IndicateSaveLog("Err: " + error);
  } else if (opened && m_gsmLost) {
    m_gsmLost = false;
    IndicateSaveLog("GSM: Port is back.");
  }
}
