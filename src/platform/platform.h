#pragma once
// Operating-system seams. Setting the host clock and restarting the computer
// are dangerous on a development machine where everything runs as root: tests,
// the simulation and a station on the simulated GPS get recording fakes.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// Best effort; a refusal (no privilege) is ignored.
void RaiseProcessPriority();
// Lowers the calling thread's scheduling priority by one step (log writers).
void LowerThreadPriority();

// Free bytes on the file system that holds `path`; -1 when unknown.
int64_t FreeSpaceBytes(const std::string& path);
std::string ComputerName();

class ClockSetter {
 public:
  virtual ~ClockSetter() = default;
  // Sets the host clock to this UTC time; false with `error` filled on refusal.
  virtual bool SetUtc(int64_t unixMs, std::string& error) = 0;
};

class SystemClockSetter final : public ClockSetter {
 public:
  bool SetUtc(int64_t unixMs, std::string& error) override;
};

// Records the requests instead of touching the host clock.
class RecordingClockSetter final : public ClockSetter {
 public:
  bool SetUtc(int64_t unixMs, std::string& error) override;
  std::vector<int64_t> Requests() const;

 private:
  mutable std::mutex m_mutex;
  std::vector<int64_t> m_requests;
};

class Restarter {
 public:
  virtual ~Restarter() = default;
  // Starts the system restart; false when it could not be started.
  virtual bool Restart() = 0;
};

// Runs "systemctl reboot" detached.
class SystemRestarter final : public Restarter {
 public:
  bool Restart() override;
};

class RecordingRestarter final : public Restarter {
 public:
  bool Restart() override {
    ++m_count;
    return true;
  }
  int Count() const { return m_count; }

 private:
  int m_count = 0;
};
