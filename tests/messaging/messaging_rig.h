#pragma once
// Shared pieces of the messaging tests: a worker host that records what jobs
// post, a scripted modem, and a sleep that only counts.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "common/worker.h"
#include "messaging/gsm_jobs.h"
#include "serial/com_backend.h"
#include "serial/comport.h"
#include "support/temp_dir.h"

class RecordingHost final : public WorkerHost {
 public:
  void WorkerStarting(bool) override {
    std::lock_guard lock(m_mutex);
    ++m_started;
  }
  void PostThreadFinished(int code, uint64_t threadId) override {
    // Notified under the lock: the waiting test may destroy the host as soon
    // as it wakes.
    std::lock_guard lock(m_mutex);
    m_posts.emplace_back(code, threadId);
    m_changed.notify_all();
  }
  void Log(const std::string& message) override {
    std::lock_guard lock(m_mutex);
    m_log.push_back(message);
  }
  // Waits for the jobs to report (a bound against a hung job, not a timing).
  std::vector<std::pair<int, uint64_t>> WaitForPosts(std::size_t n) {
    std::unique_lock lock(m_mutex);
    const bool ok = m_changed.wait_for(lock, std::chrono::seconds(20), [&] { return m_posts.size() >= n; });
    EXPECT_TRUE(ok) << "only " << m_posts.size() << " of " << n << " jobs reported";
    return m_posts;
  }
  int Started() {
    std::lock_guard lock(m_mutex);
    return m_started;
  }
  std::vector<std::string> LogLines() {
    std::lock_guard lock(m_mutex);
    return m_log;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  int m_started = 0;
  std::vector<std::pair<int, uint64_t>> m_posts;
  std::vector<std::string> m_log;
};

// A transcript: each written command (terminator included) is checked
// against the next expected one and answered with its text; an empty answer
// is silence. Writes beyond the transcript are recorded and get silence.
struct ModemScript {
  std::mutex mutex;
  std::deque<std::pair<std::string, std::string>> steps;
  std::vector<std::string> written;
  std::vector<std::string> mismatches;
  std::string rx;
  bool refuseOpen = false;
  int opens = 0, closes = 0;
};

class ScriptedModem final : public ComBackend {
 public:
  explicit ScriptedModem(std::shared_ptr<ModemScript> s) : m_s(std::move(s)) {}
  bool Open(const TComSettings&, ComBackendEvents, std::string& error) override {
    std::lock_guard lock(m_s->mutex);
    if (m_s->refuseOpen) {
      error = "cannot open";
      return false;
    }
    ++m_s->opens;
    return true;
  }
  void Close() override {
    std::lock_guard lock(m_s->mutex);
    ++m_s->closes;
  }
  bool Apply(const TComSettings&, std::string&) override { return true; }
  bool Write(const std::string& data, std::string&) override {
    std::lock_guard lock(m_s->mutex);
    m_s->written.push_back(data);
    if (m_s->steps.empty()) return true;
    auto [expected, answer] = m_s->steps.front();
    m_s->steps.pop_front();
    if (expected != data) m_s->mismatches.push_back("expected " + expected + " got " + data);
    m_s->rx += answer;
    return true;
  }
  std::string ReadAvailable(std::size_t max) override {
    std::lock_guard lock(m_s->mutex);
    std::string out = m_s->rx.substr(0, max);
    m_s->rx.erase(0, out.size());
    return out;
  }
  void ClearBuffers(bool input, bool) override {
    std::lock_guard lock(m_s->mutex);
    if (input) m_s->rx.clear();
  }
  bool SetDTR(bool) override { return true; }
  unsigned LineState() override { return 0; }

 private:
  std::shared_ptr<ModemScript> m_s;
};

inline void UseScript(TComPort& port, const std::shared_ptr<ModemScript>& script) {
  port.SetPort("COM2");
  port.SetBackendFactory([script](const std::string&, std::string&) -> std::unique_ptr<ComBackend> {
    return std::make_unique<ScriptedModem>(script);
  });
}

// Counts the time a job would have waited.
struct CountingSleep {
  std::shared_ptr<std::atomic<long long>> total = std::make_shared<std::atomic<long long>>(0);
  SleepFn Fn() const {
    auto t = total;
    return [t](int ms) { *t += ms; };
  }
  long long Ms() const { return total->load(); }
};

inline const std::string kOk = "\r\nOK\r\n";

inline GsmLink MakeLink(TComPort& port, ModemLock& lock, SleepFn sleep,
                        std::shared_ptr<GsmSession> session = nullptr) {
  GsmLink link;
  link.port = &port;
  link.lock = &lock;
  link.sleep = std::move(sleep);
  link.session = std::move(session);
  return link;
}

// One line of the simulated modem's log: number, part/parts, PDU hex, text.
struct SimSms {
  std::string Number, Part, Pdu, Text;
};
inline std::vector<SimSms> ReadSimSms(const std::string& path) {
  std::vector<SimSms> out;
  const std::string all = ReadFile(path);
  std::size_t pos = 0;
  while (pos < all.size()) {
    std::size_t end = all.find('\n', pos);
    if (end == std::string::npos) end = all.size();
    const std::string line = all.substr(pos, end - pos);
    pos = end + 1;
    SimSms s;
    std::size_t a = line.find('\t'), b = line.find('\t', a + 1), c = line.find('\t', b + 1);
    EXPECT_NE(c, std::string::npos) << line;
    if (c == std::string::npos) continue;
    out.push_back({line.substr(0, a), line.substr(a + 1, b - a - 1), line.substr(b + 1, c - b - 1),
                   line.substr(c + 1)});
  }
  return out;
}
