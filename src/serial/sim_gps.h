#pragma once
// The built-in GPS receiver ("sim-gps"). It follows the station Clock: at
// every whole second the pulse line falls (it rose `PulseWidthMs` before), then
// $GPRMC and $GPGGA for that second arrive, status "A", a fixed position.
// With the default GPS/Correction of 1 the station sets its clock right.
//
// Pump() emits everything due up to the clock's now, so a test on a
// ManualClock drives it step by step; the threaded mode polls the clock with
// short waits and pumps on its own thread, which is then the event thread.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/platform.h"
#include "serial/com_backend.h"

struct SimGpsOptions {
  const Clock* clock = nullptr;  // the station clock; null = the system clock
  unsigned PPSLine = clDSR;      // TComLine bit that pulses; 0 = no pulse
  bool Threaded = true;
  int PollMs = 5;
  int PulseWidthMs = 100;
  std::string Latitude = "4912.3456", LatHemisphere = "N";
  std::string Longitude = "01634.5678", LonHemisphere = "E";
  std::string Altitude = "234.5";
};

// "$" + body + "*" + checksum + CR LF.
std::string NMEASentence(const std::string& body);

class SimGpsReceiver final : public ComBackend {
 public:
  explicit SimGpsReceiver(SimGpsOptions options);
  ~SimGpsReceiver() override;

  bool Open(const TComSettings& settings, ComBackendEvents events, std::string& error) override;
  void Close() override;
  bool Apply(const TComSettings&, std::string&) override { return true; }
  // Commands to the receiver are accepted and ignored.
  bool Write(const std::string& data, std::string& error) override;
  std::string ReadAvailable(std::size_t max) override;
  void ClearBuffers(bool input, bool output) override;
  bool SetDTR(bool) override { return true; }
  unsigned LineState() override;

  // Emits the edges and sentences due up to the clock's now, in time order.
  // A clock that jumped far ahead resumes at its current second; one that
  // went back resumes at its next second.
  void Pump();
  // The two sentences the receiver sends for that second.
  std::string SentencesFor(int64_t secondUnixMs) const;
  // Pulses emitted since Open.
  int64_t PulseCount() const;

 private:
  void ThreadLoop();
  void SetLine(bool on);

  SimGpsOptions m_options;
  SystemClock m_systemClock;
  const Clock* m_clock;
  ComBackendEvents m_events;

  mutable std::mutex m_pumpMutex;
  int64_t m_nextSecond = 0;  // unix ms of the next pulse
  bool m_risen = false;
  int64_t m_pulses = 0;

  mutable std::mutex m_rxMutex;
  std::string m_rx;
  unsigned m_lines = 0;

  std::mutex m_threadMutex;
  std::condition_variable m_wake;
  bool m_stop = false;
  std::thread m_thread;
  std::atomic<bool> m_open{false};
};

// Clock setting for a station that runs on a ManualClock with the simulated
// receiver: moves that clock and records the request; never the host clock.
class ManualClockSetter final : public ClockSetter {
 public:
  explicit ManualClockSetter(ManualClock& clock) : m_clock(clock) {}
  bool SetUtc(int64_t unixMs, std::string& error) override;
  std::vector<int64_t> Requests() const;

 private:
  ManualClock& m_clock;
  mutable std::mutex m_mutex;
  std::vector<int64_t> m_requests;
};
