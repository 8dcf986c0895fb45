#pragma once
// The GSM modem jobs: PIN and set-up, signal query, one SMS. Each job opens
// the GSM port, talks AT commands, closes the port and reports one code
// through the thread-finished notification:
//   PIN job     3 PIN OK / 4 PIN error (interim), then 5 set up / 6 failed,
//               or 7 when the SIM refused the PIN (no set-up);
//               4 alone when the port does not open or the modem is silent
//   signal job  minus the signal in percent of the maximum, or 0
//   SMS job     1 sent, 2 not sent
// Waits go through an injected sleep, so tests run the 10 s answer limit,
// the 60 s network wait and the 1 and 5 minute retries without waiting.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "common/thread_codes.h"
#include "common/worker.h"
#include "platform/clock.h"

class TComPort;

constexpr int kATPassDelayMs = 50;
constexpr int kATMaxPasses = 200;        // about 10 s of silence
constexpr int kSubmitMaxPasses = 1200;   // 60 s for the network's answer to a PDU
constexpr int kDrainMaxPasses = 200;     // after that, 10 s more to clear the line
constexpr std::size_t kATReadPerPass = 5;
constexpr int kPingTries = 7;
constexpr int kRegistrationWaitMs = 60000;
constexpr int kRegistrationPollMs = 1000;
constexpr int kSmsRetryDelaysMs[] = {60000, 300000};
constexpr int kCloseBoundMs = 20000;
constexpr char kCtrlZ[] = "\x1A";

using SleepFn = std::function<void(int ms)>;
void RealSleep(int ms);

// One job at a time on the modem, and none while the terminal window holds
// the port. Jobs are served in the order of their tickets, which their
// starters take on the dispatching thread, so messages leave in the order
// they were dispatched.
class ModemLock {
 public:
  uint64_t TakeTicket();
  // Waits for the ticket's turn, then holds the modem. `giveUp` is asked
  // while waiting; when it says so the turn passes and false is returned.
  bool Acquire(uint64_t ticket, const std::function<bool()>& giveUp = {});
  void Acquire() { Acquire(TakeTicket()); }
  // Only when nobody holds the modem or waits for it.
  bool TryAcquire();
  void Release();
  // A ticket whose job never came (its thread did not start).
  void Cancel(uint64_t ticket);
  // The terminal window opened (true) or closed (false) the port.
  void SetTerminalActive(bool active);
  bool ModemBusy() const;
  bool TerminalActive() const;

 private:
  void PassLocked(uint64_t ticket);
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_busy = false;
  bool m_terminal = false;
  uint64_t m_nextTicket = 0, m_serving = 0;
  std::set<uint64_t> m_passed;
};

// What the jobs of one station run share beyond the lock: whether the modem
// was put into PDU mode, whether it still has to find the network after the
// PIN, and the close bound. Its time is the given clock's, or (without one)
// the sum of the jobs' waits, which one job at a time makes.
class GsmSession final : public Clock {
 public:
  explicit GsmSession(const Clock* clock = nullptr) : m_clock(clock) {}
  int64_t NowUnixMs() const override;
  void Waited(int ms);
  // From now on jobs may go on for `boundMs`, then give up.
  void RequestClose(int boundMs = kCloseBoundMs);
  bool Expired() const;

  std::atomic<bool> PduModeSet{false};
  std::atomic<bool> RegistrationPending{false};

 private:
  const Clock* m_clock;
  std::atomic<int64_t> m_waited{0};
  std::atomic<int64_t> m_deadline{INT64_MAX};
};

// What a job needs: the GSM port (settings already made), the shared lock
// and the sleep. The port, the lock and the session must outlive every
// started job. Without a session each job is a session of its own.
struct GsmLink {
  TComPort* port = nullptr;
  ModemLock* lock = nullptr;
  SleepFn sleep = RealSleep;
  std::shared_ptr<GsmSession> session;
  std::function<void(const std::string&)> log;  // retries and abandoned messages
  std::optional<uint64_t> ticket;               // taken by the starter
  // Told whether each job's open succeeded (with the system's reason when
  // not), so that a port that vanished between jobs and came back is noticed.
  std::function<void(bool opened, const std::string& error)> opened;
};

// One command and its answer: the answer as received once it holds "OK",
// "ERROR" or ">", else "" (silence, or a port error).
std::string SendAT(TComPort& port, const std::string& command, const std::string& terminator,
                   const SleepFn& sleep);
// "AT" up to 7 times until an answer contains "OK".
bool PingModem(TComPort& port, const SleepFn& sleep);

// Called with the interim PIN code (3 or 4) and the job's thread id. It must
// not count the job down: only the final code does. The starter's default
// only logs the code's line through the host.
using PINInterimFn = std::function<void(int code, uint64_t threadId)>;

// The jobs themselves, run on the calling thread; they return the final code.
int RunPINJob(const GsmLink& link, const std::string& pin, const std::string& smsCentre,
              const PINInterimFn& interim);
// Sends "AT+CSCA=", "AT+CLIP=1", "AT+COPS=3,0" when caller identification
// is off after power-on; true when set up, which needs an OK to each.
bool ModemSetUp(TComPort& port, const std::string& smsCentre, const SleepFn& sleep);
int RunSignalJob(const GsmLink& link);
// Sends every part of the text; a failed attempt is tried again 1 and 5
// minutes later while the job keeps the modem, and only then reported.
int RunSendSMSJob(const GsmLink& link, const std::string& smsCentre, const std::string& number,
                  const std::string& text, bool m1mode, bool statusReport = false);

// Starters: take the job's ticket, count the job in PendingThreads and run it
// on its own thread at one step below normal priority. They return the
// started thread's id, 0 when the thread could not be started (the failure
// code then counts it down).
uint64_t StartPINthread(WorkerHost& host, GsmLink link, const std::string& pin,
                        const std::string& smsCentre, PINInterimFn interim);
uint64_t StartSignalThread(WorkerHost& host, GsmLink link);
uint64_t StartSendSMSthread(WorkerHost& host, GsmLink link, const std::string& smsCentre,
                            const std::string& number, const std::string& text, bool m1mode);

// StartWorker that also returns the id of the thread it started (0 on failure).
uint64_t StartWorkerWithId(WorkerHost& host, std::function<int()> body);
