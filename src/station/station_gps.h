#pragma once
// The station's GPS port: the serial port with its pulse line and the PPS
// lamp, the receiver's text, the pulse handling that keeps the clock
// (TPPSSync), and a port that vanishes (an unplugged USB receiver) and comes
// back. Port events arrive on the port's own thread; what they show or log is
// handed to the controller's main thread.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class ClockSetter;
class GPSTextPort;
class SimGpsReceiver;
class StationController;
class TComLed;
class TComPort;
class TPPSSync;
struct TPPSEffect;

class StationGps {
 public:
  explicit StationGps(StationController& station);
  ~StationGps();
  StationGps(const StationGps&) = delete;
  StationGps& operator=(const StationGps&) = delete;

  // Builds the port and its pulse handling from GPS/*, then opens it; false
  // when it does not open (ErrorString says why).
  bool Open();
  // Closes the port if it is open: no more pulses.
  void Close();
  bool IsOpen() const;
  std::string ErrorString() const;
  // Null before Open.
  TPPSSync* Sync() { return m_sync.get(); }
  const TPPSSync* Sync() const { return m_sync.get(); }
  // The simulated receiver behind "sim-gps"; null otherwise.
  SimGpsReceiver* SimReceiver();

  // The terminal window borrows the port; Resume opens it again if it was open.
  void Suspend();
  void Resume();

  // Every cycle: a lost port is tried again every ten seconds.
  void RetryLost(int64_t nowMs);

 private:
  void OnPortError(const std::string& text);
  void ApplyPPSEffects(const std::vector<TPPSEffect>& effects);

  StationController& m_station;
  std::unique_ptr<TComPort> m_port;
  std::unique_ptr<GPSTextPort> m_text;
  // Chosen by the port: the system clock only for a real device on the host clock.
  std::unique_ptr<ClockSetter> m_portSetter;
  std::unique_ptr<TPPSSync> m_sync;
  std::unique_ptr<TComLed> m_led;
  bool m_wasOpenBeforeTerminal = false;
  bool m_lost = false;
  int64_t m_retryMs = 0;
};
