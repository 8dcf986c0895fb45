#include "serial/comport.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "serial/sim_gsm.h"
#include "serial/termios_port.h"

namespace {
// The port whose handler runs directly on this (event) thread.
thread_local TComPort* t_eventPort = nullptr;
// The stamp of the line event whose handler runs on this thread.
thread_local int64_t t_lineStamp = 0;

// Runs a line handler with its event's stamp in view.
template <typename Handler>
void WithStamp(int64_t stamp, Handler&& handler) {
  const int64_t outer = t_lineStamp;
  t_lineStamp = stamp;
  handler();
  t_lineStamp = outer;
}
}  // namespace

int64_t TComPort::LineEventStampMs() { return t_lineStamp; }

TPortKind ResolvePortName(const std::string& name, std::string& devicePath) {
  devicePath.clear();
  if (name == "sim-gps") return TPortKind::SimGps;
  if (name == "sim-gsm") return TPortKind::SimGsm;
  if (!name.empty() && name[0] == '/') {
    devicePath = name;
    return TPortKind::Device;
  }
  if (name.size() == 4 && std::toupper(static_cast<unsigned char>(name[0])) == 'C' &&
      std::toupper(static_cast<unsigned char>(name[1])) == 'O' &&
      std::toupper(static_cast<unsigned char>(name[2])) == 'M' && name[3] >= '1' && name[3] <= '8') {
    devicePath = "/dev/ttyS" + std::string(1, static_cast<char>(name[3] - 1));
    return TPortKind::Device;
  }
  return TPortKind::Unknown;
}

std::unique_ptr<ClockSetter> MakeClockSetterForPort(const std::string& gpsPortName,
                                                    ManualClock* simulatedClock) {
  if (simulatedClock) return std::make_unique<ManualClockSetter>(*simulatedClock);
  std::string path;
  if (ResolvePortName(gpsPortName, path) == TPortKind::Device)
    return std::make_unique<SystemClockSetter>();
  return std::make_unique<RecordingClockSetter>();
}

void ApplyThreadPriority(TThreadPriority priority) {
  int step = 0;
  switch (priority) {
    case TThreadPriority::tpIdle: step = 19; break;
    case TThreadPriority::tpLowest: step = 2; break;
    case TThreadPriority::tpLower: step = 1; break;
    case TThreadPriority::tpNormal: return;
    case TThreadPriority::tpHigher: step = -1; break;
    case TThreadPriority::tpHighest: step = -2; break;
    case TThreadPriority::tpTimeCritical: step = -10; break;
  }
  // A thread's nice value is its own on Linux; the new thread inherited the process's.
  const auto tid = static_cast<id_t>(syscall(SYS_gettid));
  errno = 0;
  const int current = getpriority(PRIO_PROCESS, tid);
  if (errno != 0) return;
  (void)setpriority(PRIO_PROCESS, tid, std::clamp(current + step, -20, 19));
}

TComPort::TComPort() : m_alive(std::make_shared<TComPort*>(this)) {}

TComPort::~TComPort() {
  Close();
  m_retired.clear();
  *m_alive = nullptr;
  std::lock_guard lock(m_ledMutex);
  for (TComLed* led : m_leds) {
    std::lock_guard ledLock(led->m_mutex);
    led->m_port = nullptr;
  }
  m_leds.clear();
}

bool TComPort::SetPort(const std::string& name) {
  {
    std::lock_guard lock(m_settingsMutex);
    if (m_settings.Port == name) return true;
    m_settings.Port = name;
  }
  if (!Connected()) return true;
  Close();
  return Open();
}

std::string TComPort::Port() const {
  std::lock_guard lock(m_settingsMutex);
  return m_settings.Port;
}

void TComPort::SetBaudRate(TBaudRate rate) {
  TComSettings s;
  {
    std::lock_guard lock(m_settingsMutex);
    m_settings.BaudRate = rate == TBaudRate::brCustom ? TBaudRate::br9600 : rate;
    s = m_settings;
  }
  std::lock_guard lock(m_openMutex);
  if (m_backend && m_connected) (void)m_backend->Apply(s, m_error);
}

TBaudRate TComPort::BaudRate() const {
  std::lock_guard lock(m_settingsMutex);
  return m_settings.BaudRate;
}

void TComPort::SetFlowControl(const TFlowControl& flow) {
  TComSettings s;
  {
    std::lock_guard lock(m_settingsMutex);
    m_settings.FlowControl = flow;
    s = m_settings;
  }
  std::lock_guard lock(m_openMutex);
  if (m_backend && m_connected) (void)m_backend->Apply(s, m_error);
}

TFlowControl TComPort::FlowControl() const {
  std::lock_guard lock(m_settingsMutex);
  return m_settings.FlowControl;
}

void TComPort::SetLineFormat(const TLineFormat& format) {
  TComSettings s;
  {
    std::lock_guard lock(m_settingsMutex);
    m_settings.Format = format;
    s = m_settings;
  }
  std::lock_guard lock(m_openMutex);
  if (m_backend && m_connected) (void)m_backend->Apply(s, m_error);
}

TLineFormat TComPort::LineFormat() const {
  std::lock_guard lock(m_settingsMutex);
  return m_settings.Format;
}

bool TComPort::SetEventThreadPriority(TThreadPriority priority) {
  if (Connected()) {
    m_error = "Cannot change the event thread priority while the port is open.";
    return false;
  }
  std::lock_guard lock(m_settingsMutex);
  m_settings.EventThreadPriority = priority;
  return true;
}

TThreadPriority TComPort::EventThreadPriority() const {
  std::lock_guard lock(m_settingsMutex);
  return m_settings.EventThreadPriority;
}

bool TComPort::LockLifecycle(std::unique_lock<std::recursive_mutex>& lock) {
  // A handler must not wait for a close that is waiting for that handler.
  if (t_eventPort == this) return lock.try_lock();
  lock.lock();
  return true;
}

void TComPort::ReleaseRetired() {
  // A backend's destructor joins its event thread, so it may not run on one
  // of this port's event threads (a handler that reopens its port).
  if (t_eventPort != this) m_retired.clear();
}

bool TComPort::Open() {
  // The lifecycle lock orders open and close; the I/O lock only guards the
  // backend pointer, because handlers on the event thread take it too.
  std::unique_lock lifecycle(m_lifecycleMutex, std::defer_lock);
  if (!LockLifecycle(lifecycle)) return false;
  if (m_connected) return true;
  ReleaseRetired();
  const TComSettings settings = [this] {
    std::lock_guard s(m_settingsMutex);
    return m_settings;
  }();
  m_error.clear();
  std::unique_ptr<ComBackend> backend;
  if (m_factory) backend = m_factory(settings.Port, m_error);
  if (!backend && !m_error.empty()) return false;
  SimGpsReceiver* sim = nullptr;
  if (!backend) {
    std::string path;
    switch (ResolvePortName(settings.Port, path)) {
      case TPortKind::Device:
        backend = std::make_unique<TermiosBackend>(path, m_clock);
        break;
      case TPortKind::SimGps: {
        auto s = std::make_unique<SimGpsReceiver>(m_simOptions);
        sim = s.get();
        backend = std::move(s);
        break;
      }
      case TPortKind::SimGsm:
        backend = std::make_unique<SimGsmModem>(SimGsmDefaultOptions());
        break;
      case TPortKind::Unknown:
        m_error = "Unknown port name \"" + settings.Port + "\".";
        return false;
    }
  }
  ComBackendEvents events;
  events.RxChar = [this](std::size_t n) { HandleRx(n); };
  events.LineChange = [this](unsigned changed, unsigned state, int64_t stamp) {
    HandleLines(changed, state, stamp);
  };
  events.Error = [this](const std::string& e) { HandleError(e); };
  m_errorReported = false;
  m_lines = 0;
  {
    // Installed first, so that events of a backend that starts at once find it.
    std::lock_guard io(m_openMutex);
    m_backend = std::move(backend);
    m_simGps = sim;
    m_connected = true;
  }
  ComBackend* const opened = m_backend.get();
  if (!opened->Open(settings, std::move(events), m_error)) {
    std::unique_ptr<ComBackend> failed;
    {
      std::lock_guard io(m_openMutex);
      m_connected = false;
      failed = std::move(m_backend);
      m_simGps = nullptr;
    }
    return false;
  }
  m_lines = opened->LineState();
  RefreshLeds(false, false);
  if (OnAfterOpen) OnAfterOpen(*this);
  return true;
}

void TComPort::Close() {
  std::unique_lock lifecycle(m_lifecycleMutex, std::defer_lock);
  if (!LockLifecycle(lifecycle)) return;
  std::unique_ptr<ComBackend> backend;
  {
    std::lock_guard io(m_openMutex);
    if (!m_connected) return;
    m_connected = false;
    backend = std::move(m_backend);
    m_simGps = nullptr;
    m_lines = 0;
  }
  // Outside the I/O lock: a handler still running on the event thread may
  // read the port (it then finds it closed) while this waits for it to end.
  backend->Close();
  if (t_eventPort == this) m_retired.push_back(std::move(backend));  // its own thread: finish later
  backend.reset();
  RefreshLeds(false, false);
  if (OnAfterClose) OnAfterClose(*this);
}

bool TComPort::Write(const std::string& data) {
  std::lock_guard lock(m_openMutex);
  if (!m_backend || !m_connected) {
    m_error = "Port not open.";
    return false;
  }
  const bool ok = m_backend->Write(data, m_error);
  if (ok) RefreshLeds(false, true);
  return ok;
}

std::string TComPort::ReadAvailable(std::size_t max) {
  std::lock_guard lock(m_openMutex);
  if (!m_backend || !m_connected) return {};
  return m_backend->ReadAvailable(max);
}

void TComPort::ClearBuffers(bool input, bool output) {
  std::lock_guard lock(m_openMutex);
  if (m_backend && m_connected) m_backend->ClearBuffers(input, output);
}

bool TComPort::SetDTR(bool on) {
  std::lock_guard lock(m_openMutex);
  return m_backend && m_connected && m_backend->SetDTR(on);
}

void TComPort::Deliver(std::function<void()> call) {
  if (m_syncMethod == TSyncMethod::smThreadSync && m_dispatcher) {
    std::weak_ptr<TComPort*> alive = m_alive;
    m_dispatcher([alive, call = std::move(call)] {
      const auto port = alive.lock();
      if (port && *port) call();
    });
    return;
  }
  TComPort* const outer = t_eventPort;
  t_eventPort = this;
  call();
  t_eventPort = outer;
}

void TComPort::HandleRx(std::size_t count) {
  RefreshLeds(true, false);
  if ((m_events & evRxChar) && OnRxChar) Deliver([this, count] { OnRxChar(*this, count); });
}

void TComPort::HandleLines(unsigned changed, unsigned state, int64_t stamp) {
  m_lines = state;
  RefreshLeds(false, false);
  const TComEvents events = m_events;
  if ((changed & clCTS) && (events & evCTS) && OnCTSChange) {
    const bool on = state & clCTS;
    Deliver([this, on, stamp] { WithStamp(stamp, [&] { OnCTSChange(*this, on); }); });
  }
  if ((changed & clDSR) && (events & evDSR) && OnDSRChange) {
    const bool on = state & clDSR;
    Deliver([this, on, stamp] { WithStamp(stamp, [&] { OnDSRChange(*this, on); }); });
  }
  // The ring indicator counts its trailing edge, as the UART reports it.
  if ((changed & clRing) && !(state & clRing) && (events & evRing) && OnRing)
    Deliver([this, stamp] { WithStamp(stamp, [&] { OnRing(*this); }); });
}

void TComPort::HandleError(const std::string& error) {
  if (m_errorReported.exchange(true)) return;
  if (OnError) Deliver([this, error] { OnError(*this, error); });
}

void TComPort::RefreshLeds(bool flashRx, bool flashTx) {
  std::lock_guard lock(m_ledMutex);
  for (TComLed* led : m_leds) led->Refresh(flashRx, flashTx);
}

void TComPort::AttachLed(TComLed* led) {
  std::lock_guard lock(m_ledMutex);
  if (std::find(m_leds.begin(), m_leds.end(), led) == m_leds.end()) m_leds.push_back(led);
}

void TComPort::DetachLed(TComLed* led) {
  std::lock_guard lock(m_ledMutex);
  m_leds.erase(std::remove(m_leds.begin(), m_leds.end(), led), m_leds.end());
}

TComLed::~TComLed() { Bind(nullptr, m_signal); }

void TComLed::Bind(TComPort* port, TLedSignal signal) {
  TComPort* old;
  {
    std::lock_guard lock(m_mutex);
    old = m_port;
  }
  if (old) old->DetachLed(this);
  {
    std::lock_guard lock(m_mutex);
    m_port = port;
    m_signal = signal;
  }
  if (port) {
    port->AttachLed(this);
    Refresh(false, false);
  }
}

void TComLed::SetState(bool on) {
  {
    std::lock_guard lock(m_mutex);
    if (m_port) return;
  }
  Store(on);
}

void TComLed::Store(bool on) {
  if (m_state.exchange(on) != on && OnChange) OnChange(on);
}

void TComLed::Refresh(bool flashRx, bool flashTx) {
  TComPort* port;
  TLedSignal signal;
  {
    std::lock_guard lock(m_mutex);
    port = m_port;
    signal = m_signal;
  }
  if (!port) return;
  const unsigned lines = port->m_lines.load();
  const bool open = port->m_connected.load();
  switch (signal) {
    case TLedSignal::lsConn: Store(open); break;
    case TLedSignal::lsCTS: Store(open && (lines & clCTS)); break;
    case TLedSignal::lsDSR: Store(open && (lines & clDSR)); break;
    case TLedSignal::lsRLSD: Store(open && (lines & clRLSD)); break;
    case TLedSignal::lsRing: Store(open && (lines & clRing)); break;
    case TLedSignal::lsRX:
    case TLedSignal::lsTX:
      if ((signal == TLedSignal::lsRX ? flashRx : flashTx) && open) {
        Store(true);  // a flash per transfer: there is no timer to hold it
        Store(false);
      }
      break;
  }
}
