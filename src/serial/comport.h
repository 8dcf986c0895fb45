#pragma once
// The serial port service: settings, open/close, write, read-available,
// clear buffers, DTR and the line events of one port. The device behind a
// port is a backend: a termios device, or a built-in simulation
// ("sim-gps"). Events arrive on the backend's own event thread; with
// smThreadSync they are handed to a dispatcher that the owner injects (the
// station passes one that queues onto its main thread).
//
// Handlers and the dispatcher are set before Open and not changed while the
// port is open. No exception leaves this interface: failures are a false
// result with ErrorString().
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/baudrate.h"
#include "serial/com_backend.h"
#include "serial/sim_gps.h"

enum class TPortKind { Unknown, Device, SimGps, SimGsm };
// "COM1".."COM8" are /dev/ttyS0..7 (any letter case); a name starting with
// "/" is that device; "sim-gps" and "sim-gsm" are the simulations.
TPortKind ResolvePortName(const std::string& name, std::string& devicePath);

// The one place that decides who may set the host clock: the real setter
// only for a real receiver on a station that runs on the host clock. A
// station on a simulated clock moves that clock; anything else only records.
std::unique_ptr<ClockSetter> MakeClockSetterForPort(const std::string& gpsPortName,
                                                    ManualClock* simulatedClock);

class TComLed;

class TComPort {
 public:
  // Returns a backend for a name, or null: null with `error` empty means
  // "not mine, use the built-in ones".
  using BackendFactory =
      std::function<std::unique_ptr<ComBackend>(const std::string& name, std::string& error)>;
  using Dispatcher = std::function<void(std::function<void()>)>;

  TComPort();
  ~TComPort();
  TComPort(const TComPort&) = delete;
  TComPort& operator=(const TComPort&) = delete;

  // Renaming an open port closes and reopens it; false when the reopen failed.
  bool SetPort(const std::string& name);
  std::string Port() const;
  void SetBaudRate(TBaudRate rate);
  // Any name not in the list reads as "9600".
  void SetBaudRateName(const std::string& name) { SetBaudRate(StrToBaudRate(name)); }
  TBaudRate BaudRate() const;
  void SetFlowControl(const TFlowControl& flow);
  TFlowControl FlowControl() const;
  void SetLineFormat(const TLineFormat& format);
  TLineFormat LineFormat() const;
  void SetEvents(TComEvents events) { m_events = events; }
  TComEvents Events() const { return m_events; }
  void SetSyncMethod(TSyncMethod method) { m_syncMethod = method; }
  TSyncMethod SyncMethod() const { return m_syncMethod; }
  // Used with smThreadSync; without one, events stay on the event thread.
  void SetDispatcher(Dispatcher dispatcher) { m_dispatcher = std::move(dispatcher); }
  // Refused (false, error) while the port is open.
  bool SetEventThreadPriority(TThreadPriority priority);
  TThreadPriority EventThreadPriority() const;
  void SetBackendFactory(BackendFactory factory) { m_factory = std::move(factory); }
  // Used when the port named "sim-gps" is opened.
  void SetSimGpsOptions(const SimGpsOptions& options) { m_simOptions = options; }
  // The clock that stamps a device's line changes; null: the system clock.
  // Set before Open.
  void SetClock(const Clock* clock) { m_clock = clock; }
  // Inside OnCTSChange, OnDSRChange and OnRing: the clock (Unix ms) as the
  // event thread read it first when the change woke it, before the lamps,
  // locks and queues that led to the handler. 0 outside a line handler.
  static int64_t LineEventStampMs();

  bool Open();
  void Close();
  bool Connected() const { return m_connected.load(); }
  const std::string& ErrorString() const { return m_error; }

  // Returns when the bytes were handed to the device; false on time-out or error.
  bool Write(const std::string& data);
  // At most `max` characters already received; never waits.
  std::string ReadAvailable(std::size_t max);
  void ClearBuffers(bool input, bool output);
  bool SetDTR(bool on);
  // TComLine bits of the lines seen active; 0 while closed.
  unsigned LineState() const { return m_lines.load(); }
  // The simulated receiver while "sim-gps" is open, else null.
  SimGpsReceiver* SimGps() { return m_simGps; }

  // Each handler gets the port as sender.
  std::function<void(TComPort&, std::size_t)> OnRxChar;
  std::function<void(TComPort&, bool)> OnCTSChange;
  std::function<void(TComPort&, bool)> OnDSRChange;
  // The trailing edge of the ring indicator.
  std::function<void(TComPort&)> OnRing;
  std::function<void(TComPort&)> OnAfterOpen;
  std::function<void(TComPort&)> OnAfterClose;
  // The device failed while open; once per open.
  std::function<void(TComPort&, const std::string&)> OnError;

 private:
  friend class TComLed;
  bool LockLifecycle(std::unique_lock<std::recursive_mutex>& lock);
  void ReleaseRetired();
  void Deliver(std::function<void()> call);
  void HandleRx(std::size_t count);
  void HandleLines(unsigned changed, unsigned state, int64_t stampMs);
  void HandleError(const std::string& error);
  void RefreshLeds(bool flashRx, bool flashTx);
  void AttachLed(TComLed* led);
  void DetachLed(TComLed* led);

  mutable std::mutex m_settingsMutex;
  TComSettings m_settings;
  std::atomic<TComEvents> m_events{kAllComEvents};
  std::atomic<TSyncMethod> m_syncMethod{TSyncMethod::smThreadSync};
  Dispatcher m_dispatcher;
  BackendFactory m_factory;
  SimGpsOptions m_simOptions;
  const Clock* m_clock = nullptr;

  std::recursive_mutex m_lifecycleMutex;  // open, close, reopen (handlers may reopen)
  std::mutex m_openMutex;                 // the backend pointer for I/O calls
  std::unique_ptr<ComBackend> m_backend;
  // Closed from their own event thread: destroyed later, from another thread.
  std::vector<std::unique_ptr<ComBackend>> m_retired;
  SimGpsReceiver* m_simGps = nullptr;
  std::atomic<bool> m_connected{false};
  std::atomic<unsigned> m_lines{0};
  std::atomic<bool> m_errorReported{false};
  std::string m_error;
  // Lets queued deliveries notice that the port is gone.
  std::shared_ptr<TComPort*> m_alive;

  std::mutex m_ledMutex;
  std::vector<TComLed*> m_leds;
};

enum class TLedKind { lkRed, lkGreen, lkBlue, lkYellow, lkPurple };
enum class TLedSignal { lsConn, lsCTS, lsDSR, lsRLSD, lsRing, lsTX, lsRX };

// A lamp that follows one line of a port, or is set directly when unbound.
class TComLed {
 public:
  TComLed() = default;
  ~TComLed();
  TComLed(const TComLed&) = delete;
  TComLed& operator=(const TComLed&) = delete;

  // A null port unbinds; the lamp then keeps the state last set directly.
  void Bind(TComPort* port, TLedSignal signal);
  TComPort* ComPort() const { return m_port; }
  TLedSignal LedSignal() const { return m_signal; }
  void SetKind(TLedKind kind) { m_kind = kind; }
  TLedKind Kind() const { return m_kind; }
  // Ignored while bound: the line drives the lamp.
  void SetState(bool on);
  bool State() const { return m_state.load(); }
  // Called on every change, on whichever thread made it (the port's event
  // thread for a bound lamp); the owner marshals it.
  std::function<void(bool)> OnChange;

 private:
  friend class TComPort;
  void Refresh(bool flashRx, bool flashTx);
  void Store(bool on);

  std::mutex m_mutex;
  TComPort* m_port = nullptr;
  TLedSignal m_signal = TLedSignal::lsConn;
  TLedKind m_kind = TLedKind::lkRed;
  std::atomic<bool> m_state{false};
};
