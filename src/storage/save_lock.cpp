#include "storage/save_lock.h"

#include <chrono>

#include "platform/clock.h"

SaveLock::SaveLock() = default;

SaveLock::SaveLock(const Clock& clock, std::function<void(int64_t ms)> sleep)
    : m_clock(&clock), m_sleep(std::move(sleep)) {}

int64_t SaveLock::NowMs() const {
  if (m_clock) return m_clock->NowUnixMs();
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool SaveLock::Acquire(int64_t limitMs) {
  const int64_t began = NowMs();
  std::unique_lock<std::mutex> lk(m_mutex);
  while (m_held) {
    if (NowMs() - began > limitMs) return false;
    if (m_sleep) {
      lk.unlock();
      m_sleep(kSaveLockPollMs);
      lk.lock();
    } else {
      m_freed.wait_for(lk, std::chrono::milliseconds(kSaveLockPollMs));
    }
  }
  m_held = true;
  return true;
}

void SaveLock::Release() {
  {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_held = false;
  }
  m_freed.notify_all();
}

bool SaveLock::Held() const {
  std::lock_guard<std::mutex> lk(m_mutex);
  return m_held;
}

uint64_t SaveLock::TakeJobTicket() {
  std::lock_guard lock(m_mutex);
  return m_nextTicket++;
}

void SaveLock::WaitJobTurn(uint64_t ticket) {
  std::unique_lock lock(m_mutex);
  m_turn.wait(lock, [&] { return m_serving == ticket; });
}

void SaveLock::EndJobTurn(uint64_t ticket) {
  {
    std::lock_guard lock(m_mutex);
    m_ended.insert(ticket);
    while (!m_ended.empty() && *m_ended.begin() == m_serving) {
      m_ended.erase(m_ended.begin());
      ++m_serving;
    }
  }
  m_turn.notify_all();
}
