#pragma once
// The station's messages and its GSM modem: the dispatcher that turns a
// station message into SMS and e-mail jobs, the modem port that each job
// opens and closes, the lock that serves the jobs in order and lets the
// terminal window borrow the modem, and the PIN and signal jobs. Jobs run on
// detached threads and hold the port, the lock and the session: they live as
// long as the controller (see StationController::FormClose).
#include <cstdint>
#include <memory>
#include <string>

#include "messaging/gsm_jobs.h"

class MessageDispatcher;
class StationController;
class TComPort;

class StationGsm {
 public:
  explicit StationGsm(StationController& station);
  ~StationGsm();
  StationGsm(const StationGsm&) = delete;
  StationGsm& operator=(const StationGsm&) = delete;

  // Proves that the GSM port opens, then starts the PIN job; false when the
  // port does not open (ErrorString says why).
  bool StartPINthread();
  std::string ErrorString() const;
  // SMS through the modem when its port exists, e-mail by the configuration.
  void CreateDispatcher();
  // Hands the text to the dispatcher. The sender matters for quarry mode:
  // true only for trigger messages.
  void SendMessage(const std::string& text, bool senderIsMainWindow);
  // The signal job, when there is a modem.
  void StartSignalThread();
  // Every cycle: modem signal and position report every two hours.
  void SignalQuery(int64_t nowMs);
  // Jobs give up 20 s from now: a dead modem must not hold the close.
  void RequestClose();
  // Closes the port if a job left it open.
  void ClosePort();
  bool PortOpen() const;

  // The terminal window holds the modem while it is open; jobs wait.
  void SetTerminalActive(bool active);
  bool TerminalActive() const { return m_modemLock.TerminalActive(); }

 private:
  GsmLink LinkOf();
  void OnPortOpened(bool opened, const std::string& error);

  StationController& m_station;
  std::unique_ptr<TComPort> m_port;
  ModemLock m_modemLock;
  std::shared_ptr<GsmSession> m_session;
  std::unique_ptr<MessageDispatcher> m_dispatcher;
  bool m_lost = false;
};
