#pragma once
// The GSM modem jobs: PIN and set-up, signal query, one SMS. Each job opens
// the GSM port, talks AT commands, closes the port and reports one code
// through the thread-finished notification:
//   PIN job     3 PIN OK / 4 PIN error (interim), then 5 set up / 6 failed;
//               4 alone when the port does not open or the modem is silent
//   signal job  minus the signal in percent of the maximum, or 0
//   SMS job     1 sent, 2 not sent
// Waits go through an injected sleep, so tests run the 10 s answer limit
// without waiting for it.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "common/worker.h"

class TComPort;

constexpr int kCodeSMSSent = 1, kCodeSMSNotSent = 2, kCodePINOK = 3, kCodePINError = 4,
              kCodeModemActivated = 5, kCodeModemActivationError = 6;

constexpr int kATPassDelayMs = 50;
constexpr int kATMaxPasses = 200;        // about 10 s of silence
constexpr std::size_t kATReadPerPass = 5;
constexpr int kPingTries = 7;
constexpr char kCtrlZ[] = "\x1A";

using SleepFn = std::function<void(int ms)>;
void RealSleep(int ms);

// One job at a time on the modem, and none while the terminal window holds
// the port. Waiting jobs sleep on a condition, so releasing wakes them.
class ModemLock {
 public:
  void Acquire();
  bool TryAcquire();
  void Release();
  // The terminal window opened (true) or closed (false) the port.
  void SetTerminalActive(bool active);
  bool ModemBusy() const;
  bool TerminalActive() const;

 private:
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_busy = false;
  bool m_terminal = false;
};

// What a job needs: the GSM port (settings already made), the shared lock
// and the sleep. The port and the lock must outlive every started job.
struct GsmLink {
  TComPort* port = nullptr;
  ModemLock* lock = nullptr;
  SleepFn sleep = RealSleep;
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
// is off after power-on; true when set up.
bool ModemSetUp(TComPort& port, const std::string& smsCentre, const SleepFn& sleep);
int RunSignalJob(const GsmLink& link);
int RunSendSMSJob(const GsmLink& link, const std::string& smsCentre, const std::string& number,
                  const std::string& text, bool m1mode, bool statusReport = false);

// Starters: count the job in PendingThreads and run it on its own thread at
// one step below normal priority. They return the started thread's id, 0
// when the thread could not be started (the failure code then counts it down).
uint64_t StartPINthread(WorkerHost& host, const GsmLink& link, const std::string& pin,
                        const std::string& smsCentre, PINInterimFn interim);
uint64_t StartSignalThread(WorkerHost& host, const GsmLink& link);
uint64_t StartSendSMSthread(WorkerHost& host, const GsmLink& link, const std::string& smsCentre,
                            const std::string& number, const std::string& text, bool m1mode);

// StartWorker that also returns the id of the thread it started (0 on failure).
uint64_t StartWorkerWithId(WorkerHost& host, std::function<int()> body);
