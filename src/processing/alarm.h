#pragma once
// The external alarm input: a run of 15 consecutive values of the alarm
// channel at or above the threshold among a cycle's new values.
#include <cstdint>

constexpr int32_t kAlarmRunLength = 15;

class AlarmDetector {
 public:
  AlarmDetector(int32_t channel, int32_t threshold) : m_channel(channel), m_threshold(threshold) {}
  // The run counter restarts in every cycle.
  void BeginCycle() { m_run = 0; }
  // True exactly when the run reaches 15.
  bool DetectAt(int32_t position, int32_t value) {
    if (position % 8 != m_channel) return false;
    if (value < m_threshold) {
      m_run = 0;
      return false;
    }
    return ++m_run == kAlarmRunLength;
  }

 private:
  int32_t m_channel, m_threshold;
  int32_t m_run = 0;
};
