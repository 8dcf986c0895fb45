#include "messaging/gsm_jobs.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <random>
#include <thread>
#include <vector>

#include "messaging/pdu.h"
#include "platform/platform.h"
#include "serial/comport.h"

void RealSleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

uint64_t ModemLock::TakeTicket() {
  std::lock_guard lock(m_mutex);
  return m_nextTicket++;
}

void ModemLock::PassLocked(uint64_t ticket) {
  if (ticket == m_serving) {
    ++m_serving;
    while (m_passed.erase(m_serving) > 0) ++m_serving;
  } else if (ticket > m_serving) {
    m_passed.insert(ticket);
  }
}

bool ModemLock::Acquire(uint64_t ticket, const std::function<bool()>& giveUp) {
  std::unique_lock lock(m_mutex);
  for (;;) {
    if (giveUp && giveUp()) {
      PassLocked(ticket);
      lock.unlock();
      m_changed.notify_all();
      return false;
    }
    if (!m_busy && !m_terminal && m_serving == ticket) break;
    // The give-up condition has no notification of its own: look again now and then.
    if (giveUp)
      m_changed.wait_for(lock, std::chrono::milliseconds(20));
    else
      m_changed.wait(lock);
  }
  m_busy = true;
  return true;
}

bool ModemLock::TryAcquire() {
  std::lock_guard lock(m_mutex);
  if (m_busy || m_terminal || m_serving != m_nextTicket) return false;
  ++m_nextTicket;
  m_busy = true;
  return true;
}

void ModemLock::Release() {
  {
    std::lock_guard lock(m_mutex);
    m_busy = false;
    PassLocked(m_serving);
  }
  m_changed.notify_all();
}

void ModemLock::Cancel(uint64_t ticket) {
  {
    std::lock_guard lock(m_mutex);
    PassLocked(ticket);
  }
  m_changed.notify_all();
}

void ModemLock::SetTerminalActive(bool active) {
  {
    std::lock_guard lock(m_mutex);
    m_terminal = active;
  }
  m_changed.notify_all();
}

bool ModemLock::ModemBusy() const {
  std::lock_guard lock(m_mutex);
  return m_busy;
}

bool ModemLock::TerminalActive() const {
  std::lock_guard lock(m_mutex);
  return m_terminal;
}

int64_t GsmSession::NowUnixMs() const { return m_clock ? m_clock->NowUnixMs() : m_waited.load(); }

void GsmSession::Waited(int ms) { m_waited += ms; }

void GsmSession::RequestClose(int boundMs) {
  int64_t expected = INT64_MAX;
  m_deadline.compare_exchange_strong(expected, NowUnixMs() + boundMs);
}

bool GsmSession::Expired() const { return NowUnixMs() >= m_deadline.load(); }

namespace {

bool Contains(const std::string& s, const char* what) { return s.find(what) != std::string::npos; }

// One job's view of the link: its session (shared, or its own) and waits
// that end early once the close bound has passed.
struct JobContext {
  explicit JobContext(const GsmLink& l)
      : link(l), session(l.session ? l.session : std::make_shared<GsmSession>()), port(*l.port) {}
  // False when the close bound has passed.
  bool Wait(int ms) {
    if (session->Expired()) return false;
    link.sleep(ms);
    session->Waited(ms);
    return !session->Expired();
  }
  bool WaitLong(int ms) {
    constexpr int kStepMs = 500;
    for (int left = ms; left > 0; left -= kStepMs)
      if (!Wait(std::min(left, kStepMs))) return false;
    return true;
  }
  void Log(const std::string& line) const {
    if (link.log) link.log(line);
  }

  const GsmLink& link;
  std::shared_ptr<GsmSession> session;
  TComPort& port;
};

// Holds the modem for the life of a job; released before the final code is posted.
class ModemHold {
 public:
  ModemHold(const GsmLink& link, const GsmSession& session) : m_lock(link.lock) {
    if (!m_lock) return;
    const uint64_t ticket = link.ticket ? *link.ticket : m_lock->TakeTicket();
    m_held = m_lock->Acquire(ticket, [&session] { return session.Expired(); });
  }
  ~ModemHold() {
    if (m_lock && m_held) m_lock->Release();
  }
  bool Held() const { return m_held || !m_lock; }
  ModemHold(const ModemHold&) = delete;
  ModemHold& operator=(const ModemHold&) = delete;

 private:
  ModemLock* m_lock;
  bool m_held = false;
};

struct Exchange {
  std::string answer;
  bool done = false;
};

Exchange Talk(JobContext& c, const std::string& command, const std::string& terminator,
              int maxPasses, bool (*done)(const std::string&)) {
  TComPort& port = c.port;
  if (!port.Connected()) return {};
  port.ClearBuffers(true, true);
  if (!c.Wait(10)) return {};
  if (!port.Write(command + terminator)) return {};
  Exchange e;
  for (int pass = 0; pass < maxPasses; ++pass) {
    if (!c.Wait(kATPassDelayMs)) return e;
    if (!port.Connected()) return {};
    e.answer += port.ReadAvailable(kATReadPerPass);
    if (done(e.answer)) {
      e.done = true;
      return e;
    }
  }
  return e;
}

std::string AT(JobContext& c, const std::string& command, const std::string& terminator = "\r\n") {
  const Exchange e = Talk(c, command, terminator, kATMaxPasses, ATAnswerComplete);
  return e.done ? e.answer : std::string();
}

bool Ping(JobContext& c) {
  for (int i = 0; i < kPingTries && !c.session->Expired(); ++i)
    if (Contains(AT(c, "AT"), "OK")) return true;
  return false;
}

bool SetUp(JobContext& c, const std::string& smsCentre) {
  const std::string a = AT(c, "AT+CLIP?");
  if (!Contains(a, "OK")) return false;
  if (!Contains(a, "0,") || smsCentre.empty()) return true;
  for (const std::string& cmd : {"AT+CSCA=" + smsCentre, std::string("AT+CLIP=1"),
                                 std::string("AT+COPS=3,0")})
    if (!Contains(AT(c, cmd), "OK")) return false;
  return true;
}

bool Decided(const std::string& a) { return SubmitAnswerOf(a) != SubmitAnswer::Pending; }

// The PDU and the network's answer. Without a decision in 60 s the line is
// drained before the modem is let go, so that a late answer is not read by
// the next job; a late "+CMGS:" still counts.
bool Submit(JobContext& c, const std::string& pdu) {
  Exchange e = Talk(c, pdu, kCtrlZ, kSubmitMaxPasses, Decided);
  for (int pass = 0; !e.done && pass < kDrainMaxPasses && c.port.Connected(); ++pass) {
    if (!c.Wait(kATPassDelayMs)) break;
    e.answer += c.port.ReadAvailable(256);
    e.done = Decided(e.answer);
  }
  if (!e.done) c.port.ClearBuffers(true, false);
  return SubmitAnswerOf(e.answer) == SubmitAnswer::Sent;
}

// PDU mode once per session; after the PIN, up to 60 s for the network.
void PrepareForSms(JobContext& c) {
  GsmSession& s = *c.session;
  if (!s.PduModeSet && Contains(AT(c, "AT+CMGF=0"), "OK")) s.PduModeSet = true;
  if (!s.RegistrationPending) return;
  const int64_t start = s.NowUnixMs();
  for (;;) {
    if (RegisteredInCREG(AT(c, "AT+CREG?"))) {
      s.RegistrationPending = false;
      return;
    }
    if (s.NowUnixMs() - start >= kRegistrationWaitMs || !c.Wait(kRegistrationPollMs)) return;
  }
}

// Tells the station whether the open worked, so that a port that vanished
// between jobs and came back is noticed.
bool OpenModemPort(const GsmLink& link) {
  const bool ok = link.port->Open();
  if (link.opened) link.opened(ok, ok ? std::string() : link.port->ErrorString());
  return ok;
}

// One attempt: the parts from `next` on; `next` moves past each part the
// network took, so a retry does not send them twice.
bool SendParts(JobContext& c, const std::string& smsCentre, const std::vector<std::string>& tpdus,
               std::size_t& next, bool m1mode) {
  TComPort& port = c.port;
  if (OpenModemPort(c.link)) {
    const bool alive = Ping(c);
    if (alive) PrepareForSms(c);
    if (m1mode) AT(c, "AT+CSCA=\"" + smsCentre + "\"");
    while (next < tpdus.size() && !c.session->Expired()) {
      const std::string& tpdu = tpdus[next];
      const std::size_t n = alive ? tpdu.size() / 2 : 160;
      const std::string pdu = m1mode ? tpdu : EncodeSMSCField(smsCentre) + tpdu;
      if (!Contains(AT(c, "AT+CMGS=" + std::to_string(n)), ">")) break;  // no prompt: not sent
      if (!Submit(c, pdu)) break;
      ++next;
    }
  }
  port.Close();
  return next == tpdus.size();
}

GsmLink PortOnly(TComPort& port, const SleepFn& sleep) {
  GsmLink link;
  link.port = &port;
  link.sleep = sleep;
  return link;
}

uint8_t NextReference() {
  static std::atomic<unsigned> next{std::random_device{}()};
  return static_cast<uint8_t>(next.fetch_add(1));
}

}  // namespace

std::string SendAT(TComPort& port, const std::string& command, const std::string& terminator,
                   const SleepFn& sleep) {
  const GsmLink link = PortOnly(port, sleep);
  JobContext c(link);
  return AT(c, command, terminator);
}

bool PingModem(TComPort& port, const SleepFn& sleep) {
  const GsmLink link = PortOnly(port, sleep);
  JobContext c(link);
  return Ping(c);
}

bool ModemSetUp(TComPort& port, const std::string& smsCentre, const SleepFn& sleep) {
  const GsmLink link = PortOnly(port, sleep);
  JobContext c(link);
  return SetUp(c, smsCentre);
}

int RunPINJob(const GsmLink& link, const std::string& pin, const std::string& smsCentre,
              const PINInterimFn& interim) {
  JobContext c(link);
  ModemHold hold(link, *c.session);
  int code = kCodePINError;
  if (!hold.Held()) return code;
  TComPort& port = c.port;
  if (OpenModemPort(link) && Ping(c)) {
    const std::string a = AT(c, "AT+CPIN?");
    const bool ok = Contains(a, "SIM PIN")
                        ? !pin.empty() && Contains(AT(c, "AT+CPIN=\"" + pin + "\""), "OK")
                        : Contains(a, "READY");
    if (ok) code = kCodePINOK;
    if (interim) interim(code, CurrentThreadId());
    if (ok) {
      code = SetUp(c, smsCentre) ? kCodeModemActivated : kCodeModemActivationError;
      c.session->PduModeSet = false;
      c.session->RegistrationPending = true;
    } else {
      code = kCodePINRefused;  // a locked SIM sends nothing; set-up would only hide that
    }
  }
  port.Close();
  return code;
}

int RunSignalJob(const GsmLink& link) {
  JobContext c(link);
  ModemHold hold(link, *c.session);
  int value = 0;
  if (!hold.Held()) return value;
  TComPort& port = c.port;
  if (OpenModemPort(link) && Ping(c)) {
    const std::string a = AT(c, "AT+CSQ");
    if (Contains(a, "OK")) value = SignalValueFromCSQ(a);
  }
  port.Close();
  return value;
}

int RunSendSMSJob(const GsmLink& link, const std::string& smsCentre, const std::string& number,
                  const std::string& text, bool m1mode, bool statusReport) {
  JobContext c(link);
  const std::vector<std::string> tpdus = BuildSubmitTPDUs(number, text, NextReference(), statusReport);
  const std::string id = " (" + std::to_string(CurrentThreadId()) + ")";
  auto abandon = [&] {
    c.Log("GSM: SMS abandoned at shutdown: " + number + ": \"" + text + "\"" + id);
    return kCodeSMSNotSent;
  };
  ModemHold hold(link, *c.session);
  if (!hold.Held()) return abandon();
  std::size_t next = 0;
  for (int attempt = 0;; ++attempt) {
    if (SendParts(c, smsCentre, tpdus, next, m1mode)) return kCodeSMSSent;
    if (c.session->Expired()) return abandon();
    if (attempt == static_cast<int>(std::size(kSmsRetryDelaysMs))) return kCodeSMSNotSent;
    const int delay = kSmsRetryDelaysMs[attempt];
    c.Log("GSM: SMS not sent, next try in " + std::to_string(delay / 60000) + " min: " + number + id);
    if (!c.WaitLong(delay)) return abandon();
  }
}

uint64_t StartWorkerWithId(WorkerHost& host, std::function<int()> body) {
  auto started = std::make_shared<std::promise<uint64_t>>();
  std::future<uint64_t> id = started->get_future();
  const bool ok = StartWorker(host, false, [started, body = std::move(body)]() {
    started->set_value(CurrentThreadId());
    LowerThreadPriority();
    return body();
  });
  return ok ? id.get() : 0;
}

namespace {

// The ticket is taken here, on the dispatching thread: that fixes the order.
uint64_t StartGsmJob(WorkerHost& host, GsmLink& link, std::function<int(const GsmLink&)> body) {
  if (link.lock && !link.ticket) link.ticket = link.lock->TakeTicket();
  if (!link.log) link.log = [&host](const std::string& line) { host.Log(line); };
  const uint64_t id =
      StartWorkerWithId(host, [link, body = std::move(body)] { return body(link); });
  if (id == 0 && link.lock) link.lock->Cancel(*link.ticket);
  return id;
}

}  // namespace

uint64_t StartPINthread(WorkerHost& host, GsmLink link, const std::string& pin,
                        const std::string& smsCentre, PINInterimFn interim) {
  if (!interim)
    interim = [&host](int code, uint64_t id) {
      host.Log(std::string(code == kCodePINOK ? "GSM: PIN is OK." : "GSM: PIN error.") + " (" +
               std::to_string(id) + ")");
    };
  return StartGsmJob(host, link, [pin, smsCentre, interim = std::move(interim)](const GsmLink& l) {
    return RunPINJob(l, pin, smsCentre, interim);
  });
}

uint64_t StartSignalThread(WorkerHost& host, GsmLink link) {
  return StartGsmJob(host, link, [](const GsmLink& l) { return RunSignalJob(l); });
}

uint64_t StartSendSMSthread(WorkerHost& host, GsmLink link, const std::string& smsCentre,
                            const std::string& number, const std::string& text, bool m1mode) {
  return StartGsmJob(host, link, [smsCentre, number, text, m1mode](const GsmLink& l) {
    return RunSendSMSJob(l, smsCentre, number, text, m1mode);
  });
}
