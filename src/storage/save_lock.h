#pragma once
// The station-wide save lock: one GSE2 writer writes at a time, and a writer
// that cannot get the lock within ten minutes gives up.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>

class Clock;

constexpr int64_t kSaveLockLimitMs = 600'000;
constexpr int64_t kSaveLockPollMs = 1000;

class SaveLock {
 public:
  // Waits on a condition variable and measures the wait on a steady clock.
  SaveLock();
  // Measures the wait on `clock` and passes each pause to `sleep` instead of
  // waiting; a test's sleep advances a ManualClock.
  SaveLock(const Clock& clock, std::function<void(int64_t ms)> sleep);
  SaveLock(const SaveLock&) = delete;
  SaveLock& operator=(const SaveLock&) = delete;

  // True once taken; false when it stayed held for more than `limitMs`.
  bool Acquire(int64_t limitMs = kSaveLockLimitMs);
  void Release();
  bool Held() const;

  // Save jobs write in the order in which they were prepared: a continuous
  // job must not interleave its seconds with the next one's in a file. The
  // main thread takes a ticket when it prepares a job; the job waits for its
  // turn and ends it, also when it never ran.
  uint64_t TakeJobTicket();
  void WaitJobTurn(uint64_t ticket);
  void EndJobTurn(uint64_t ticket);

 private:
  int64_t NowMs() const;

  mutable std::mutex m_mutex;
  std::condition_variable m_freed;
  bool m_held = false;
  const Clock* m_clock = nullptr;
  std::function<void(int64_t)> m_sleep;
  std::condition_variable m_turn;
  uint64_t m_nextTicket = 0, m_serving = 0;
  std::set<uint64_t> m_ended;
};

// Releases on every way out of a writer.
class SaveLockGuard {
 public:
  explicit SaveLockGuard(SaveLock& lock) : m_lock(lock) {}
  ~SaveLockGuard() { m_lock.Release(); }
  SaveLockGuard(const SaveLockGuard&) = delete;
  SaveLockGuard& operator=(const SaveLockGuard&) = delete;

 private:
  SaveLock& m_lock;
};
