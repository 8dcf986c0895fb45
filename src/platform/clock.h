#pragma once
// Every "now" of the station goes through a Clock, so that tests and the
// simulation run hours of station time without waiting for it.
#include <atomic>
#include <cstdint>

#include "common/datetime.h"

class Clock {
 public:
  virtual ~Clock() = default;
  // UTC, milliseconds since 1970-01-01.
  virtual int64_t NowUnixMs() const = 0;
  TDateTime NowUtc() const { return UnixMsToDateTime(NowUnixMs()); }
};

class SystemClock final : public Clock {
 public:
  int64_t NowUnixMs() const override;
};

// A clock that moves only when told to; safe to read from any thread.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(int64_t unixMs = 0) : m_ms(unixMs) {}
  int64_t NowUnixMs() const override { return m_ms.load(); }
  void SetUnixMs(int64_t ms) { m_ms.store(ms); }
  void Set(TDateTime t) { m_ms.store(DateTimeToUnixMs(t)); }
  void AdvanceMs(int64_t ms) { m_ms.fetch_add(ms); }

 private:
  std::atomic<int64_t> m_ms;
};
