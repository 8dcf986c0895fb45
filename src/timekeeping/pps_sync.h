#pragma once
// Pulse handling and clock synchronisation. The GPS port's line events run
// these handlers on the port's event thread: the time is taken first, the
// clock is set with the least delay after the edge, and what the screen and
// the log must show is handed to the owner as one ordered batch per pulse.
// The owner (the station controller) marshals the batch to its main thread.
//
// The clock is set only through the ClockSetter given here: the real one
// for a real receiver, a recording or manual-clock setter for "sim-gps"
// and in every test.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "config/progparam.h"
#include "platform/clock.h"
#include "platform/platform.h"
#include "timekeeping/nmea.h"

// The information fields and lamps this part drives (the main window's names).
enum class TPPSField {
  EditPCtime, EditDiff, EditPCDate, EditGPSDate, EditGPStime, EditLatitude, EditLongitude, EditAltitude
};
enum class TPPSLamp { LedValidTime, LedSyncReq };

struct TPPSEffect {
  enum class Kind { Log, Text, Lamp, ClockSynchronised };
  Kind kind = Kind::Log;
  std::string text;  // the log line (without timestamp) or the field text
  TPPSField field = TPPSField::EditPCtime;
  TPPSLamp lamp = TPPSLamp::LedValidTime;
  bool on = false;

  static TPPSEffect Log(std::string line) { return Make(Kind::Log, std::move(line)); }
  static TPPSEffect Text(TPPSField f, std::string t) {
    TPPSEffect e = Make(Kind::Text, std::move(t));
    e.field = f;
    return e;
  }
  static TPPSEffect Lamp(TPPSLamp l, bool on) {
    TPPSEffect e = Make(Kind::Lamp, {});
    e.lamp = l;
    e.on = on;
    return e;
  }
  static TPPSEffect Synchronised() { return Make(Kind::ClockSynchronised, {}); }
  static TPPSEffect Make(Kind k, std::string t) {
    TPPSEffect e;
    e.kind = k;
    e.text = std::move(t);
    return e;
  }
  bool operator==(const TPPSEffect&) const = default;
};
using TPPSEffects = std::vector<TPPSEffect>;

// The texts of one pulse; empty ones are not shown.
struct TPulseTexts {
  std::string PCTime, PCDate, GPSTime, GPSDate, Latitude, Longitude, Altitude;
};

class TPPSSync {
 public:
  // `gps` is copied (GPS/PPS, UpDateOn, ValidOnly, DecNumber, ReadingDelay
  // 0-255, Interval, MaxDiff, Correction); SyncCountdown starts at Interval,
  // LastPulse and LastValidTime at the clock's now (less one second for LastPulse).
  TPPSSync(const TGPSrec& gps, const Clock& clock, ClockSetter& setter, GPSTextPort& port);

  // Receives each batch in order; called on the thread that produced it.
  void SetEffectSink(std::function<void(TPPSEffects)> sink);
  // The reading delay's wait; the default sleeps. Tests pass a recorder.
  void SetWait(std::function<void(int ms)> wait);

  // ---- event thread ----
  // `stampMs` is the clock as the port's thread read it when the edge woke
  // it (TComPort::LineEventStampMs); without one (0) the clock is read on entry.
  // CTS or DSR changed: a pulse is the off-edge when GPS/PPS is CTS or DSR.
  void ComPortGPSDSRorCTSChange(bool state, int64_t stampMs = 0);
  // Ring indicator: a pulse when GPS/PPS is RI.
  void ComPortGPSRing(int64_t stampMs = 0);
  void OnPPSaction(int64_t stampMs = 0);
  // -1 (clock not set), 0 (pulse ignored) or 1 (clock set); fills `texts`.
  int TimeSyncOnPulse(TPulseTexts& texts, int64_t stampMs = 0);

  // ---- main thread ----
  // Start-up with Registration/WaitForSync off: acquisition need not wait.
  void SetClockSynchronised();
  // Receiver dates outside [fromMs, toMs] never set the clock (a cold
  // receiver's 1980 reads as 2080); the default accepts every date.
  void SetDateWindow(int64_t fromMs, int64_t toMs);
  // "Set PC &Time" / "Synchronize PC Clock": raise a request, nothing logged.
  void BtnSetTimeClick();
  // The terminal window gave the port back: drop a pending request and
  // postpone the next periodic one by `pulses`.
  void CancelSyncRequest(int pulses = 5);
  // The acquisition cycle's time-validity watch: after 60 s without a valid
  // pulse, logs it, clears the time-valid flag and LedValidTime. The GPS
  // fields are the panel's texts. True when it fired.
  bool CheckTimeValidity(TDateTime now, const std::string& editGPStime,
                         const std::string& editGPSDate, bool haltRequested);
  // The watch's effect alone, for an owner that runs the watch itself:
  // clears the time-valid flag and turns LedValidTime off (lamp effect).
  void ClearTimeValid();

  // ---- state, any thread ----
  bool GPSTimeValid() const;
  bool LedValidTime() const;
  bool LedSyncReq() const;
  bool SyncRequest() const;
  bool ClockSynchronised() const;
  int SyncCountdown() const;
  TDateTime LastValidTime() const;
  // PC time minus GPS time at the last pulse.
  int64_t ClockDiffMs() const;
  TDateTime ClockDiff() const { return static_cast<double>(ClockDiffMs()) / kMsPerDay; }
  int PulseCounter() const;
  int InvalidCount() const;
  int DiffCount() const;
  TSystemTime GPSTime() const;

 private:
  int TimeSyncLocked(std::unique_lock<std::mutex>& lock, TPulseTexts& texts, TPPSEffects& fx,
                     int64_t stampMs);
  void Emit(TPPSEffects fx);
  void ClearTimeValidLocked(TPPSEffects& fx);
  // The host refused to set the clock (no privilege): from then on the pulses
  // compare the clock, which the system keeps, with GPS time instead.
  void OnSetRefused(const std::string& error, TPPSEffects& fx);
  void CheckKeptClockLocked(TPPSEffects& fx);
  bool SaneReceiverDateLocked(TPPSEffects& fx);

  // Settings
  uint8_t m_ppsLine;
  bool m_upDateOn, m_validOnly, m_decNumber;
  int m_readingDelay, m_interval, m_maxDiff, m_correction;

  const Clock& m_clock;
  ClockSetter& m_setter;
  GPSTextPort& m_port;
  std::function<void(TPPSEffects)> m_sink;
  std::function<void(int)> m_wait;

  mutable std::mutex m_mutex;
  bool m_initialized = false, m_firstReadDone = false, m_readyToSync = false;
  bool m_syncRequest = true;
  int m_pulseCounter = 0;
  int64_t m_lastPulseMs;
  TSystemTime m_gpsTime;
  bool m_gpsValid = false;
  bool m_clockSynchronised = false;
  int64_t m_lastValidMs;
  int m_invalidCount = 0, m_diffCount = 0;
  int64_t m_clockDiffMs = 0;
  int m_syncCountdown;
  bool m_ledValidTime = false, m_ledSyncReq = false;
  int64_t m_dateFromMs = INT64_MIN, m_dateToMs = INT64_MAX;
  bool m_insaneDateLogged = false;
  bool m_setRefused = false;
  std::string m_refusalLogged;
  int64_t m_offLoggedMs = 0;
  bool m_offLogged = false;
};

// "15.250": seconds of the minute and milliseconds of |diff|, no sign.
std::string FormatClockDiff(int64_t diffMs);
