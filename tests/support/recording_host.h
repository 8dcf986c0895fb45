#pragma once
// A worker host that records what the jobs report: started jobs, posted codes
// with their thread ids, and log lines. Every member is safe from any thread.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "common/worker.h"

class RecordingHost final : public WorkerHost {
 private:
  // Defined first: the members below deduce their results from it.
  template <class F>
  auto Locked(F f) const {
    std::lock_guard lock(m_mutex);
    return f();
  }

 public:
  void WorkerStarting(bool saveThread) override { Locked([&] { ++(saveThread ? m_startedSave : m_started); }); }
  // Notified under the lock: the waiting test may destroy the host as soon as it wakes.
  void PostThreadFinished(int code, uint64_t threadId) override {
    Locked([&] {
      m_posts.emplace_back(code, threadId);
      m_changed.notify_all();
    });
  }
  void Log(const std::string& message) override { Locked([&] { m_log.push_back(message); }); }
  // Waits for `n` reports (a bound against a hung job, not a timing) and
  // returns every report so far.
  std::vector<std::pair<int, uint64_t>> WaitForPosts(std::size_t n) {
    std::unique_lock lock(m_mutex);
    const bool ok = m_changed.wait_for(lock, std::chrono::seconds(30), [&] { return m_posts.size() >= n; });
    EXPECT_TRUE(ok) << "only " << m_posts.size() << " of " << n << " jobs reported";
    return m_posts;
  }
  // The same, codes only.
  std::vector<int> WaitForCodes(std::size_t n) { return CodesOf(WaitForPosts(n)); }
  std::vector<int> Codes() const { return CodesOf(Locked([&] { return m_posts; })); }
  int Started() const { return Locked([&] { return m_started; }); }
  int StartedSave() const { return Locked([&] { return m_startedSave; }); }
  std::vector<std::string> LogLines() const { return Locked([&] { return m_log; }); }

 private:
  static std::vector<int> CodesOf(const std::vector<std::pair<int, uint64_t>>& posts) {
    std::vector<int> codes;
    for (const auto& post : posts) codes.push_back(post.first);
    return codes;
  }
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  int m_started = 0;
  int m_startedSave = 0;
  std::vector<std::pair<int, uint64_t>> m_posts;
  std::vector<std::string> m_log;
};
