#include "station/station_gsm.h"

#include <thread>

#include "messaging/dispatch.h"
#include "platform/platform.h"
#include "serial/comport.h"
#include "serial/sim_gsm.h"
#include "station/station_controller.h"

StationGsm::StationGsm(StationController& station) : m_station(station) {}

StationGsm::~StationGsm() = default;

GsmLink StationGsm::LinkOf() {
  GsmLink link;
  link.port = m_port.get();
  link.lock = &m_modemLock;
  link.session = m_session;
  link.opened = [this](bool ok, const std::string& error) {
    m_station.RunOnMainThread([this, ok, error] { OnPortOpened(ok, error); });
  };
  // On the simulated clock nothing waits in real time; the jobs count their waits.
  if (m_station.m_options.simulated) link.sleep = [](int) { std::this_thread::yield(); };
  return link;
}

void StationGsm::CreateDispatcher() {
  StationController& st = m_station;
  MessageDispatcher::SMSStarter sms;
  if (m_port)
    sms = MakeSMSStarter(st, st.m_params, LinkOf());
  else
    sms = [](const std::string&, const std::string&) -> uint64_t { return 0; };
  m_dispatcher = std::make_unique<MessageDispatcher>(
      st, MakeMailStarter(st, st.m_params, st.m_baseName, ComputerName()), std::move(sms));
}

void StationGsm::SendMessage(const std::string& text, bool senderIsMainWindow) {
  if (m_dispatcher) m_dispatcher->SendMessage(m_station.m_params, senderIsMainWindow, text);
}

bool StationGsm::StartPINthread() {
  StationController& st = m_station;
  const TProgParam& params = st.m_params;
  const bool simulated = st.m_options.simulated;
  // The GSM jobs open and close the port themselves; start-up only proves
  // that it can be opened, then the PIN job enters the PIN.
  m_port = std::make_unique<TComPort>();
  // On the simulated clock the modem's time is the jobs' own waits.
  m_session = std::make_shared<GsmSession>(simulated ? nullptr : st.m_clock);
  m_port->SetPort(params.GSM.Port);
  m_port->SetBaudRate(params.GSM.BaudRate);
  TFlowControl flow;
  flow.OutCTSFlow = false;
  flow.OutDSRFlow = false;
  flow.ControlDTR = TDTRFlowControl::dtrEnable;
  flow.ControlRTS = TRTSFlowControl::rtsDisable;
  m_port->SetFlowControl(flow);
  m_port->SetSyncMethod(TSyncMethod::smThreadSync);
  m_port->SetDispatcher([this](std::function<void()> work) { m_station.RunOnMainThread(std::move(work)); });
  if (params.GSM.Port == "sim-gsm") {
    SimGsmOptions sim;
    sim.Directory = st.m_files.ProgramDir;
    sim.PIN = params.GSM.PIN;
    // The simulated modem keeps the jobs' time; a real-time station leaves it on the system clock.
    if (simulated) sim.clock = m_session;
    SetSimGsmDefaultOptions(sim);
  }
  if (!m_port->Open()) return false;
  m_port->Close();
  // The PIN answer (3 or 4) is an interim result of the job: shown and
  // logged, but the job is counted down only by its final code.
  ::StartPINthread(st, LinkOf(), params.GSM.PIN, params.GSM.SMScentrum,
                   [this](int code, uint64_t tid) {
                     m_station.RunOnMainThread([this, code, tid] { m_station.ReactToThreadCode(code, tid); });
                   });
  return true;
}

std::string StationGsm::ErrorString() const { return m_port ? m_port->ErrorString() : std::string(); }

void StationGsm::StartSignalThread() {
  if (m_port) ::StartSignalThread(m_station, LinkOf());
}

void StationGsm::SignalQuery(int64_t nowMs) {
  StationController& st = m_station;
  if (!st.m_params.SendSMS) return;
  const DateTimeParts p = DecodeDateTime(UnixMsToDateTime(nowMs));
  if (p.hour % 2 == 0) {
    if (!st.m_state.SignalChecked) {
      st.m_state.SignalChecked = true;
      StartSignalThread();
      if (st.m_params.GPS.UpDateOn)
        st.IndicateSaveLog("GPS: Earth position: " + st.m_indicators.Field(InfoField::Longitude) +
                           " " + st.m_indicators.Field(InfoField::Latitude));
    }
  } else {
    st.m_state.SignalChecked = false;
  }
}

void StationGsm::RequestClose() {
  if (m_session) m_session->RequestClose();
}

void StationGsm::ClosePort() {
  if (m_port) m_port->Close();
}

bool StationGsm::PortOpen() const { return m_port && m_port->Connected(); }

void StationGsm::SetTerminalActive(bool active) { m_modemLock.SetTerminalActive(active); }

void StationGsm::OnPortOpened(bool opened, const std::string& error) {
  // Each job opens the modem anew: a vanished port is said once, and its
  // return when a later job opens it.
  if (!opened && !m_lost) {
    m_lost = true;
    m_station.IndicateSaveLog("GSM: Error opening port.");
    m_station.IndicateSaveLog("Err: " + error);
  } else if (opened && m_lost) {
    m_lost = false;
    m_station.IndicateSaveLog("GSM: Port is back.");
  }
}
