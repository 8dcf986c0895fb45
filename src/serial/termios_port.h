#pragma once
// A real serial device through termios: raw, 8N1 unless the port's line
// format says otherwise, non-blocking reads. Two event threads: one polls for received data (a self-pipe ends the poll),
// one waits with TIOCMIWAIT for CTS/DSR/RI/DCD and stamps the change first;
// close interrupts that wait with a signal. Devices without modem-line
// waiting (pseudo-terminals) just carry data.
#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "serial/com_backend.h"

// The c_cflag bits of data bits, parity and stop bits (CSIZE, PARENB,
// PARODD, CMSPAR, CSTOPB); 1.5 stop bits become two, the nearest Linux has.
unsigned LineFormatFlags(const TLineFormat& format);

class TermiosBackend final : public ComBackend {
 public:
  // `clock` stamps the line changes; null: the system clock.
  explicit TermiosBackend(std::string devicePath, const Clock* clock = nullptr);
  ~TermiosBackend() override;

  bool Open(const TComSettings& settings, ComBackendEvents events, std::string& error) override;
  void Close() override;
  bool Apply(const TComSettings& settings, std::string& error) override;
  bool Write(const std::string& data, std::string& error) override;
  std::string ReadAvailable(std::size_t max) override;
  void ClearBuffers(bool input, bool output) override;
  bool SetDTR(bool on) override;
  unsigned LineState() override;

 private:
  void RxLoop(TThreadPriority priority);
  void LineLoop(TThreadPriority priority);
  // Reads what the device holds into m_rx; false when the device is gone.
  bool Drain(std::size_t& got, std::string& error);
  void ReportError(const std::string& error);
  void JoinThreads();

  std::string m_path;
  SystemClock m_systemClock;
  const Clock* m_clock;
  int m_fd = -1;
  int m_wakeRead = -1, m_wakeWrite = -1;
  ComBackendEvents m_events;
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_lineDone{true};
  std::atomic<bool> m_failed{false};
  std::mutex m_rxMutex;
  std::string m_rx;
  std::thread m_rxThread, m_lineThread;
};

// Sets a rate that has no B-constant (14400, 56000, 128000, 256000).
bool SetCustomBaudRate(int fd, int bitsPerSecond);
