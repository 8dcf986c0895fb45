#include "timekeeping/pps_sync.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

constexpr int64_t kBounceMs = 950;      // closer pulses are noise
constexpr int64_t kMissedMs = 1050;     // a longer gap lost a pulse
constexpr int kPulsesBeforeSync = 10;
constexpr int kInvalidPulses = 30;
constexpr int kExcessPulses = 5;        // the sixth excess raises a request
constexpr int kValidityWatchSeconds = 60;

}  // namespace

std::string FormatClockDiff(int64_t diffMs) {
  const int64_t a = diffMs < 0 ? -diffMs : diffMs;
  char buf[16];
  std::snprintf(buf, sizeof buf, "%d.%03d", static_cast<int>(a / 1000 % 60), static_cast<int>(a % 1000));
  return buf;
}

TPPSSync::TPPSSync(const TGPSrec& gps, const Clock& clock, ClockSetter& setter, GPSTextPort& port)
    : m_ppsLine(gps.PPS),
      m_upDateOn(gps.UpDateOn),
      m_validOnly(gps.ValidOnly),
      m_decNumber(gps.DecNumber),
      m_readingDelay(gps.ReadingDelay < 0 ? 0 : gps.ReadingDelay > 255 ? 255 : gps.ReadingDelay),
      m_interval(gps.Interval),
      m_maxDiff(gps.MaxDiff),
      m_correction(gps.Correction),
      m_clock(clock),
      m_setter(setter),
      m_port(port),
      m_wait([](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }),
      m_lastPulseMs(clock.NowUnixMs() - 1000),
      m_lastValidMs(clock.NowUnixMs()),
      m_syncCountdown(gps.Interval) {}

void TPPSSync::SetEffectSink(std::function<void(TPPSEffects)> sink) {
  std::lock_guard lock(m_mutex);
  m_sink = std::move(sink);
}

void TPPSSync::SetWait(std::function<void(int)> wait) {
  std::lock_guard lock(m_mutex);
  m_wait = std::move(wait);
}

void TPPSSync::Emit(TPPSEffects fx) {
  if (fx.empty()) return;
  std::function<void(TPPSEffects)> sink;
  {
    std::lock_guard lock(m_mutex);
    sink = m_sink;
  }
  if (sink) sink(std::move(fx));
}

void TPPSSync::ComPortGPSDSRorCTSChange(bool state, int64_t stampMs) {
  if ((m_ppsLine == kSignalCTS || m_ppsLine == kSignalDSR) && !state) OnPPSaction(stampMs);
}

void TPPSSync::ComPortGPSRing(int64_t stampMs) {
  if (m_ppsLine == kSignalRI) OnPPSaction(stampMs);
}

int TPPSSync::TimeSyncOnPulse(TPulseTexts& texts, int64_t stampMs) {
  TPPSEffects fx;
  std::unique_lock lock(m_mutex);
  const int result = TimeSyncLocked(lock, texts, fx, stampMs);
  lock.unlock();
  Emit(std::move(fx));
  return result;
}

int TPPSSync::TimeSyncLocked(std::unique_lock<std::mutex>& lock, TPulseTexts& texts, TPPSEffects& fx,
                             int64_t stampMs) {
  // A handler called outside a line event has no stamp (0): read the clock.
  const int64_t now = stampMs > 0 ? stampMs : m_clock.NowUnixMs();
  const int64_t d = now - m_lastPulseMs;
  if (d <= kBounceMs) {
    m_pulseCounter = 0;
    return 0;
  }
  m_lastPulseMs = now;
  ++m_pulseCounter;
  const bool missed = d >= kMissedMs;

  // The record and the flag were decoded at the previous pulse: they hold
  // the time expected for this one.
  int result = -1;
  if (d < kMissedMs && m_readyToSync && m_pulseCounter >= kPulsesBeforeSync && m_syncRequest &&
      (m_gpsValid || (!m_validOnly && m_clockSynchronised)) && SystemTimeIsValid(m_gpsTime) &&
      SaneReceiverDateLocked(fx)) {
    const int64_t target = SystemTimeToUnixMs(m_gpsTime);
    // The pulse was at `target`: what passed since its stamp (lamps, locks,
    // queued calls) is added, so that it does not become the clock's error.
    const int64_t elapsed = std::max<int64_t>(0, m_clock.NowUnixMs() - now);
    std::string error;
    m_syncRequest = false;
    if (m_setter.SetUtc(target + elapsed, error)) {
      result = 1;
      // This pulse happened at `target` on the corrected clock; measuring
      // the next one from the old reading would reject or skip pulses.
      m_lastPulseMs = target;
    } else {
      // Dropped rather than retried at every pulse; the request rules raise it again.
      OnSetRefused(error, fx);
    }
  }

  if (!m_initialized) {
    m_gpsTime = UnixMsToSystemTime(now + 1000);
    m_port.ClearBuffers();
    m_initialized = true;
    return result;
  }

  const TSystemTime pc = UnixMsToSystemTime(now);
  texts.PCTime = FormatTimeHMSZ(pc);
  texts.PCDate = FormatDateDMY(pc);
  m_clockDiffMs = now - SystemTimeToUnixMs(m_gpsTime);

  // The reading waits; the main thread must not wait with it.
  const int delay = m_readingDelay;
  const auto wait = m_wait;
  lock.unlock();
  const std::string text = ReadGPSText(m_port, delay, wait);
  lock.lock();

  const bool decoded = DecodeRMCTime(text, m_gpsTime, m_gpsValid, m_correction);
  if (missed) {
    // Nothing cleared the port at the lost pulse, so this reading starts
    // with a sentence one second old. Wait for two fresh readings again
    // rather than set the clock a second wrong.
    m_firstReadDone = false;
    m_readyToSync = false;
  }
  if (m_firstReadDone) m_readyToSync = true;
  TGPSInfoTexts info;
  const bool formatted = FormatGPSInfo(text, m_correction, m_decNumber, info);
  texts.GPSDate = info.GPSDate;
  texts.GPSTime = info.GPSTime;
  texts.Latitude = info.Latitude;
  texts.Longitude = info.Longitude;
  texts.Altitude = info.Altitude;
  if (!formatted && decoded && SystemTimeIsValid(m_gpsTime)) {
    TSystemTime shown = m_gpsTime;
    AdvanceSystemTime(shown, -1);
    texts.GPSDate = FormatDateDMY(shown);
    texts.GPSTime = FormatTimeHMS(shown);
  }
  m_firstReadDone = true;
  return result;
}

void TPPSSync::OnPPSaction(int64_t stampMs) {
  TPPSEffects fx;
  TPulseTexts texts;
  std::unique_lock lock(m_mutex);
  const int result = TimeSyncLocked(lock, texts, fx, stampMs);
  if (result == 0) {
    lock.unlock();
    Emit(std::move(fx));
    return;
  }
  CheckKeptClockLocked(fx);
  if (result == 1) {
    if (!m_clockSynchronised) {
      m_clockSynchronised = true;
      fx.push_back(TPPSEffect::Synchronised());
    }
    fx.push_back(TPPSEffect::Log("Cor: Computer time was synchronized with GPS. Difference before: " +
                                 FormatClockDiff(m_clockDiffMs) + "s"));
  }

  if (m_gpsValid) {
    m_invalidCount = 0;
    if (!m_ledValidTime) {
      m_ledValidTime = true;
      fx.push_back(TPPSEffect::Lamp(TPPSLamp::LedValidTime, true));
      fx.push_back(TPPSEffect::Log("Tim: Present time is Valid Time."));
    }
    m_lastValidMs = m_clock.NowUnixMs();
    if (!texts.Latitude.empty()) fx.push_back(TPPSEffect::Text(TPPSField::EditLatitude, texts.Latitude));
    if (!texts.Longitude.empty())
      fx.push_back(TPPSEffect::Text(TPPSField::EditLongitude, texts.Longitude));
    if (!texts.Altitude.empty()) fx.push_back(TPPSEffect::Text(TPPSField::EditAltitude, texts.Altitude));
  } else if (m_invalidCount != kInvalidPulses) {
    ++m_invalidCount;
  } else if (m_ledValidTime) {
    m_ledValidTime = false;
    fx.push_back(TPPSEffect::Lamp(TPPSLamp::LedValidTime, false));
    fx.push_back(TPPSEffect::Log("Tim: Present time not valid."));
  }

  const std::string diff = FormatClockDiff(m_clockDiffMs) + "s";
  fx.push_back(TPPSEffect::Text(TPPSField::EditDiff, m_clockDiffMs < 0   ? "-" + diff
                                                     : m_clockDiffMs > 0 ? "+" + diff
                                                                         : std::string("0s")));
  if (!texts.GPSDate.empty()) fx.push_back(TPPSEffect::Text(TPPSField::EditGPSDate, texts.GPSDate));
  if (!texts.GPSTime.empty()) fx.push_back(TPPSEffect::Text(TPPSField::EditGPStime, texts.GPSTime));
  if (!texts.PCDate.empty()) fx.push_back(TPPSEffect::Text(TPPSField::EditPCDate, texts.PCDate));
  if (!texts.PCTime.empty()) fx.push_back(TPPSEffect::Text(TPPSField::EditPCtime, texts.PCTime));

  if (m_upDateOn && !m_syncRequest && (m_gpsValid || !m_validOnly)) {
    // Once the host refused, only the periodic request tries again: a clock
    // that may not be set would otherwise raise a request every few pulses.
    if (m_maxDiff > 0 && !m_setRefused) {
      if (std::llabs(m_clockDiffMs) > std::abs(m_maxDiff)) {
        if (m_diffCount >= kExcessPulses) {
          m_syncRequest = true;
          m_syncCountdown = m_interval;
          m_diffCount = 0;
        } else {
          ++m_diffCount;
        }
      } else {
        m_diffCount = 0;  // a pulse within the limit (0 ms included) restarts the count
      }
    }
    if (!m_syncRequest && m_interval >= 1) {
      if (m_syncCountdown <= 1) {
        m_syncRequest = true;
        m_syncCountdown = m_interval;
      } else {
        --m_syncCountdown;
      }
    }
  }

  if (m_syncRequest && !m_ledSyncReq) {
    fx.push_back(TPPSEffect::Log("Cor: Time synchronization request Activated."));
    fx.push_back(TPPSEffect::Lamp(TPPSLamp::LedSyncReq, true));
    m_ledSyncReq = true;
  } else if (!m_syncRequest && m_ledSyncReq) {
    fx.push_back(TPPSEffect::Log("Cor: Time synchronization request DEactivated."));
    fx.push_back(TPPSEffect::Lamp(TPPSLamp::LedSyncReq, false));
    m_ledSyncReq = false;
  }
  lock.unlock();
  Emit(std::move(fx));
}

void TPPSSync::SetDateWindow(int64_t fromMs, int64_t toMs) {
  std::lock_guard lock(m_mutex);
  m_dateFromMs = fromMs;
  m_dateToMs = toMs;
}

bool TPPSSync::SaneReceiverDateLocked(TPPSEffects& fx) {
  const int64_t t = SystemTimeToUnixMs(m_gpsTime);
  if (t >= m_dateFromMs && t <= m_dateToMs) {
    m_insaneDateLogged = false;
    return true;
  }
  if (!m_insaneDateLogged) {
    m_insaneDateLogged = true;
    fx.push_back(TPPSEffect::Log("Cor: The receiver's date " + FormatDateDMY(m_gpsTime) +
                                 " is not plausible; the computer clock waits for a sane date."));
  }
  return false;
}

void TPPSSync::OnSetRefused(const std::string& error, TPPSEffects& fx) {
  m_setRefused = true;
  // Refused again for the same reason at every request: said once.
  if (error == m_refusalLogged) return;
  m_refusalLogged = error;
  fx.push_back(TPPSEffect::Log("Cor: Error setting computer clock: " + error));
}

void TPPSSync::CheckKeptClockLocked(TPPSEffects& fx) {
  if (!m_setRefused || m_clockSynchronised || !m_readyToSync || !m_gpsValid) return;
  // Without a configured limit a second is the least the time tags can bear.
  const int64_t limit = m_maxDiff != 0 ? std::abs(m_maxDiff) : 1000;
  if (std::llabs(m_clockDiffMs) <= limit) {
    m_clockSynchronised = true;
    fx.push_back(TPPSEffect::Synchronised());
    fx.push_back(TPPSEffect::Log(
        "Cor: The computer clock is kept by the system and agrees with GPS (difference " +
        std::to_string(m_clockDiffMs) + " ms); measuring starts."));
    return;
  }
  const int64_t now = m_clock.NowUnixMs();
  constexpr int64_t kHourMs = 3600 * 1000;
  if (m_offLogged && now >= m_offLoggedMs && now - m_offLoggedMs < kHourMs) return;
  m_offLogged = true;
  m_offLoggedMs = now;
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%+.3f", static_cast<double>(m_clockDiffMs) / 1000.0);
  fx.push_back(TPPSEffect::Log(std::string("Err: Measuring waits: the computer clock is off by ") +
                               seconds + " s from GPS and may not be set."));
}

void TPPSSync::SetClockSynchronised() {
  std::lock_guard lock(m_mutex);
  m_clockSynchronised = true;
}

void TPPSSync::BtnSetTimeClick() {
  TPPSEffects fx;
  {
    std::lock_guard lock(m_mutex);
    if (m_syncRequest) return;
    m_syncRequest = true;
    m_syncCountdown = m_interval;
    if (!m_ledSyncReq) {
      m_ledSyncReq = true;
      fx.push_back(TPPSEffect::Lamp(TPPSLamp::LedSyncReq, true));
    }
  }
  Emit(std::move(fx));
}

void TPPSSync::CancelSyncRequest(int pulses) {
  std::lock_guard lock(m_mutex);
  m_syncRequest = false;
  m_syncCountdown += pulses;
}

bool TPPSSync::CheckTimeValidity(TDateTime now, const std::string& editGPStime,
                                 const std::string& editGPSDate, bool haltRequested) {
  if (editGPStime.empty() || editGPSDate.empty() || editGPStime == "N/A" || editGPSDate == "N/A" ||
      haltRequested)
    return false;
  TPPSEffects fx;
  {
    // Checked and cleared under one lock: a valid pulse that lands in
    // between must not be wiped by a verdict taken before it.
    std::lock_guard lock(m_mutex);
    if (SecondsBetween(now, UnixMsToDateTime(m_lastValidMs)) < kValidityWatchSeconds || !m_upDateOn ||
        !(m_ledValidTime || m_gpsValid))
      return false;
    fx.push_back(TPPSEffect::Log("Tim: Time not valid at least " + std::to_string(kValidityWatchSeconds) +
                                 " seconds. GSP is switched off, unplugged or PPS is inactive."));
    ClearTimeValidLocked(fx);
  }
  Emit(std::move(fx));
  return true;
}

void TPPSSync::ClearTimeValid() {
  TPPSEffects fx;
  {
    std::lock_guard lock(m_mutex);
    ClearTimeValidLocked(fx);
  }
  Emit(std::move(fx));
}

void TPPSSync::ClearTimeValidLocked(TPPSEffects& fx) {
  m_gpsValid = false;
  if (m_ledValidTime) {
    m_ledValidTime = false;
    fx.push_back(TPPSEffect::Lamp(TPPSLamp::LedValidTime, false));
  }
}

bool TPPSSync::GPSTimeValid() const { std::lock_guard l(m_mutex); return m_gpsValid; }
bool TPPSSync::LedValidTime() const { std::lock_guard l(m_mutex); return m_ledValidTime; }
bool TPPSSync::LedSyncReq() const { std::lock_guard l(m_mutex); return m_ledSyncReq; }
bool TPPSSync::SyncRequest() const { std::lock_guard l(m_mutex); return m_syncRequest; }
bool TPPSSync::ClockSynchronised() const { std::lock_guard l(m_mutex); return m_clockSynchronised; }
int TPPSSync::SyncCountdown() const { std::lock_guard l(m_mutex); return m_syncCountdown; }
TDateTime TPPSSync::LastValidTime() const { std::lock_guard l(m_mutex); return UnixMsToDateTime(m_lastValidMs); }
int64_t TPPSSync::ClockDiffMs() const { std::lock_guard l(m_mutex); return m_clockDiffMs; }
int TPPSSync::PulseCounter() const { std::lock_guard l(m_mutex); return m_pulseCounter; }
int TPPSSync::InvalidCount() const { std::lock_guard l(m_mutex); return m_invalidCount; }
int TPPSSync::DiffCount() const { std::lock_guard l(m_mutex); return m_diffCount; }
TSystemTime TPPSSync::GPSTime() const { std::lock_guard l(m_mutex); return m_gpsTime; }
