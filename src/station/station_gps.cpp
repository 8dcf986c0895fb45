#include "station/station_gps.h"

#include "platform/service.h"
#include "serial/comport.h"
#include "serial/sim_gps.h"
#include "station/station_controller.h"
#include "timekeeping/nmea.h"
#include "timekeeping/pps_sync.h"

namespace {
constexpr int64_t kPortRetryMs = 10'000;
}  // namespace

StationGps::StationGps(StationController& station) : m_station(station) {}

StationGps::~StationGps() {
  // The port's event thread calls into the pulse handling: stop it first.
  if (m_port) m_port->Close();
  m_led.reset();
}

bool StationGps::Open() {
  StationController& st = m_station;
  const StationOptions& options = st.m_options;
  const TGPSrec& gps = st.m_params.GPS;
  m_port = std::make_unique<TComPort>();
  m_port->SetPort(gps.Port);
  m_port->SetBaudRate(gps.BaudRate);
  TFlowControl flow;
  flow.OutCTSFlow = true;
  flow.OutDSRFlow = false;
  flow.ControlDTR = TDTRFlowControl::dtrEnable;
  flow.ControlRTS = TRTSFlowControl::rtsHandshake;
  m_port->SetFlowControl(flow);
  m_port->SetEvents(evRing | evCTS | evDSR);
  m_port->SetSyncMethod(TSyncMethod::smNone);
  m_port->SetEventThreadPriority(TThreadPriority::tpHigher);
  SimGpsOptions sim;
  sim.clock = st.m_clock;
  // No PPS line configured: the receiver sends sentences only.
  sim.PPSLine = gps.PPS == kSignalCTS   ? clCTS
                : gps.PPS == kSignalRI  ? clRing
                : gps.PPS == kSignalDSR ? clDSR
                                        : 0u;
  // On the simulated clock the receiver is pumped by the cycle driver.
  sim.Threaded = !options.simulated;
  m_port->SetSimGpsOptions(sim);

  m_text = std::make_unique<PortTextAdapter<TComPort>>(*m_port);
  ClockSetter* setter = options.clockSetter;
  if (!setter) {
    m_portSetter = MakeClockSetterForPort(gps.Port, options.manualClock);
    setter = m_portSetter.get();
  }
  m_sync = std::make_unique<TPPSSync>(gps, *st.m_clock, *setter, *m_text);
  if (options.simulated) m_sync->SetWait({});
  // The host clock only ever takes a plausible receiver date.
  if (!options.simulated && !options.manualClock) {
    constexpr int64_t kTwentyYearsMs = 20LL * 36525 * 864'000;
    m_sync->SetDateWindow(BuildDateUnixMs(), BuildDateUnixMs() + kTwentyYearsMs);
  }
  if (st.m_state.ClockSynchronised) m_sync->SetClockSynchronised();
  m_sync->SetEffectSink([this](TPPSEffects fx) {
    m_station.RunOnMainThread([this, fx = std::move(fx)] { ApplyPPSEffects(fx); });
  });
  TPPSSync* sync = m_sync.get();
  m_port->SetClock(st.m_clock);
  m_port->OnDSRChange = [sync](TComPort&, bool on) {
    sync->ComPortGPSDSRorCTSChange(on, TComPort::LineEventStampMs());
  };
  m_port->OnCTSChange = [sync](TComPort&, bool on) {
    sync->ComPortGPSDSRorCTSChange(on, TComPort::LineEventStampMs());
  };
  m_port->OnRing = [sync](TComPort&) { sync->ComPortGPSRing(TComPort::LineEventStampMs()); };
  m_port->OnError = [this](TComPort&, const std::string& text) {
    m_station.RunOnMainThread([this, text] { OnPortError(text); });
  };
  // LedPPS follows the line that carries the pulse.
  m_led = std::make_unique<TComLed>();
  m_led->SetKind(TLedKind::lkRed);
  m_led->OnChange = [this](bool on) {
    m_station.RunOnMainThread([this, on] { m_station.SetLed(LedId::PPS, on); });
  };
  // Without a PPS line the lamp shows that the port is open.
  m_led->Bind(m_port.get(), gps.PPS == kSignalCTS   ? TLedSignal::lsCTS
                            : gps.PPS == kSignalRI  ? TLedSignal::lsRing
                            : gps.PPS == kSignalDSR ? TLedSignal::lsDSR
                                                    : TLedSignal::lsConn);
  return m_port->Open();
}

void StationGps::Close() {
  if (m_port && m_port->Connected()) m_port->Close();
}

bool StationGps::IsOpen() const { return m_port && m_port->Connected(); }

std::string StationGps::ErrorString() const { return m_port ? m_port->ErrorString() : std::string(); }

SimGpsReceiver* StationGps::SimReceiver() { return m_port ? m_port->SimGps() : nullptr; }

void StationGps::Suspend() {
  m_wasOpenBeforeTerminal = IsOpen();
  if (m_wasOpenBeforeTerminal) m_port->Close();
}

void StationGps::Resume() {
  if (m_sync) m_sync->CancelSyncRequest(5);
  if (m_wasOpenBeforeTerminal && !m_port->Open()) m_station.IndicateSaveLog("GPS: Error opening port.");
  m_wasOpenBeforeTerminal = false;
}

void StationGps::OnPortError(const std::string& text) {
  if (m_lost || m_station.m_state.Closing || !m_port) return;
  m_station.IndicateSaveLog("GPS: Port error: " + text);
  m_lost = true;
  m_retryMs = m_station.m_clock->NowUnixMs() + kPortRetryMs;
  // Closed here, on the main thread; the cycle opens it again.
  m_port->Close();
}

void StationGps::RetryLost(int64_t nowMs) {
  if (!m_lost || !m_port || m_station.m_state.Closing) return;
  // A clock set back while waiting must not put the retry off for long.
  if (nowMs < m_retryMs && m_retryMs - nowMs <= kPortRetryMs) return;
  m_retryMs = nowMs + kPortRetryMs;
  if (!m_port->Open()) return;
  m_lost = false;
  m_station.IndicateSaveLog("GPS: Port is back, reading the receiver again.");
}

void StationGps::ApplyPPSEffects(const std::vector<TPPSEffect>& effects) {
  static const InfoField kFields[] = {InfoField::PCtime,  InfoField::Diff,
                                      InfoField::PCDate,  InfoField::GPSDate,
                                      InfoField::GPStime, InfoField::Latitude,
                                      InfoField::Longitude, InfoField::Altitude};
  for (const TPPSEffect& e : effects) {
    switch (e.kind) {
      case TPPSEffect::Kind::Log: m_station.IndicateSaveLog(e.text); break;
      case TPPSEffect::Kind::Text: m_station.SetField(kFields[static_cast<int>(e.field)], e.text); break;
      case TPPSEffect::Kind::Lamp:
        m_station.SetLed(e.lamp == TPPSLamp::LedValidTime ? LedId::ValidTime : LedId::SyncReq, e.on);
        break;
      case TPPSEffect::Kind::ClockSynchronised: m_station.m_state.ClockSynchronised = true; break;
    }
  }
}
