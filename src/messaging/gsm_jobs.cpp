#include "messaging/gsm_jobs.h"

#include <chrono>
#include <future>
#include <thread>

#include "messaging/pdu.h"
#include "platform/platform.h"
#include "serial/comport.h"

void RealSleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void ModemLock::Acquire() {
  std::unique_lock lock(m_mutex);
  m_changed.wait(lock, [this] { return !m_busy && !m_terminal; });
  m_busy = true;
}

bool ModemLock::TryAcquire() {
  std::lock_guard lock(m_mutex);
  if (m_busy || m_terminal) return false;
  m_busy = true;
  return true;
}

void ModemLock::Release() {
  {
    std::lock_guard lock(m_mutex);
    m_busy = false;
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

namespace {

// Holds the modem for the life of a job; released before the final code is posted.
class ModemHold {
 public:
  explicit ModemHold(ModemLock* lock) : m_lock(lock) {
    if (m_lock) m_lock->Acquire();
  }
  ~ModemHold() {
    if (m_lock) m_lock->Release();
  }
  ModemHold(const ModemHold&) = delete;
  ModemHold& operator=(const ModemHold&) = delete;

 private:
  ModemLock* m_lock;
};

bool Contains(const std::string& s, const char* what) { return s.find(what) != std::string::npos; }

}  // namespace

std::string SendAT(TComPort& port, const std::string& command, const std::string& terminator,
                   const SleepFn& sleep) {
  if (!port.Connected()) return {};
  port.ClearBuffers(true, true);
  sleep(10);
  if (!port.Write(command + terminator)) return {};
  std::string answer;
  for (int pass = 0; pass < kATMaxPasses; ++pass) {
    sleep(kATPassDelayMs);
    if (!port.Connected()) return {};
    answer += port.ReadAvailable(kATReadPerPass);
    if (ATAnswerComplete(answer)) return answer;
  }
  return {};
}

bool PingModem(TComPort& port, const SleepFn& sleep) {
  for (int i = 0; i < kPingTries; ++i)
    if (Contains(SendAT(port, "AT", "\r\n", sleep), "OK")) return true;
  return false;
}

bool ModemSetUp(TComPort& port, const std::string& smsCentre, const SleepFn& sleep) {
  const std::string a = SendAT(port, "AT+CLIP?", "\r\n", sleep);
  if (!Contains(a, "0,") || smsCentre.empty()) return true;
  for (const std::string& cmd : {"AT+CSCA=" + smsCentre, std::string("AT+CLIP=1"),
                                 std::string("AT+COPS=3,0")})
    if (!Contains(SendAT(port, cmd, "\r\n", sleep), "OK")) return false;
  return true;
}

static bool OpenModemPort(const GsmLink& link) {
  const bool ok = link.port->Open();
  if (link.opened) link.opened(ok, ok ? std::string() : link.port->ErrorString());
  return ok;
}

int RunPINJob(const GsmLink& link, const std::string& pin, const std::string& smsCentre,
              const PINInterimFn& interim) {
  ModemHold hold(link.lock);
  int code = kCodePINError;
  TComPort& port = *link.port;
  if (OpenModemPort(link) && PingModem(port, link.sleep)) {
    std::string a = SendAT(port, "AT+CPIN?", "\r\n", link.sleep);
    const bool ok = (Contains(a, "SIM PIN") && !pin.empty())
                        ? Contains(SendAT(port, "AT+CPIN=\"" + pin + "\"", "\r\n", link.sleep), "OK")
                        : Contains(a, "READY");
    if (ok) code = kCodePINOK;
    if (interim) interim(code, CurrentThreadId());
    code = ModemSetUp(port, smsCentre, link.sleep) ? kCodeModemActivated : kCodeModemActivationError;
  }
  port.Close();
  return code;
}

int RunSignalJob(const GsmLink& link) {
  ModemHold hold(link.lock);
  int value = 0;
  TComPort& port = *link.port;
  if (OpenModemPort(link) && PingModem(port, link.sleep)) {
    const std::string a = SendAT(port, "AT+CSQ", "\r\n", link.sleep);
    if (Contains(a, "OK")) value = SignalValueFromCSQ(a);
  }
  port.Close();
  return value;
}

int RunSendSMSJob(const GsmLink& link, const std::string& smsCentre, const std::string& number,
                  const std::string& text, bool m1mode, bool statusReport) {
  ModemHold hold(link.lock);
  std::string answer;
  TComPort& port = *link.port;
  if (OpenModemPort(link)) {
    std::size_t n = 160;
    const std::string tpdu = BuildSubmitTPDU(number, text, statusReport);
    if (PingModem(port, link.sleep)) n = tpdu.size() / 2;
    std::string pdu;
    if (m1mode) {
      SendAT(port, "AT+CSCA=\"" + smsCentre + "\"", "\r\n", link.sleep);
      pdu = tpdu;
    } else {
      pdu = EncodeSMSCField(smsCentre) + tpdu;
    }
    answer = SendAT(port, "AT+CMGS=" + std::to_string(n), "\r\n", link.sleep);
    if (Contains(answer, ">")) answer = SendAT(port, pdu, kCtrlZ, link.sleep);
    else answer.clear();  // no prompt: the PDU is not sent
  }
  port.Close();
  return Contains(answer, "OK") ? kCodeSMSSent : kCodeSMSNotSent;
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

uint64_t StartPINthread(WorkerHost& host, const GsmLink& link, const std::string& pin,
                        const std::string& smsCentre, PINInterimFn interim) {
  if (!interim)
    interim = [&host](int code, uint64_t id) {
      host.Log(std::string(code == kCodePINOK ? "GSM: PIN is OK." : "GSM: PIN error.") + " (" +
               std::to_string(id) + ")");
    };
  return StartWorkerWithId(host, [link, pin, smsCentre, interim = std::move(interim)] {
    return RunPINJob(link, pin, smsCentre, interim);
  });
}

uint64_t StartSignalThread(WorkerHost& host, const GsmLink& link) {
  return StartWorkerWithId(host, [link] { return RunSignalJob(link); });
}

uint64_t StartSendSMSthread(WorkerHost& host, const GsmLink& link, const std::string& smsCentre,
                            const std::string& number, const std::string& text, bool m1mode) {
  return StartWorkerWithId(host, [link, smsCentre, number, text, m1mode] {
    return RunSendSMSJob(link, smsCentre, number, text, m1mode);
  });
}
