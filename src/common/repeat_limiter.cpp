#include "common/repeat_limiter.h"

RepeatLimiter::RepeatLimiter(std::string clearedLine, int64_t intervalMs)
    : m_clearedLine(std::move(clearedLine)), m_intervalMs(intervalMs) {}

std::vector<std::string> RepeatLimiter::Occurred(const std::string& line, int64_t nowMs) {
  std::lock_guard lock(m_mutex);
  if (!m_active) {
    m_active = true;
    m_lastLoggedMs = nowMs;
    m_unlogged = 0;
    return {line};
  }
  ++m_unlogged;
  // A clock set backwards must not silence the fault for good.
  if (nowMs - m_lastLoggedMs < m_intervalMs && nowMs >= m_lastLoggedMs) return {};
  const int64_t n = m_unlogged;
  m_unlogged = 0;
  m_lastLoggedMs = nowMs;
  return {line + " ... repeated " + std::to_string(n) + " times"};
}

std::vector<std::string> RepeatLimiter::Cleared() {
  std::lock_guard lock(m_mutex);
  if (!m_active) return {};
  m_active = false;
  std::string line = m_clearedLine;
  if (m_unlogged > 0) line += " (repeated " + std::to_string(m_unlogged) + " more times before)";
  m_unlogged = 0;
  return {line};
}

bool RepeatLimiter::Active() const {
  std::lock_guard lock(m_mutex);
  return m_active;
}
