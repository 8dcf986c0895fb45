#pragma once
// The station's diary: one line per event, appended to the log file by one
// writer thread that keeps the order of requests. Every requested line is
// counted as a pending worker and reported with code 11 (appended) or 12
// (the file could not be opened or written), so the close sequence can wait
// until each line is on disk.
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "common/thread_codes.h"
#include "common/worker.h"
#include "platform/clock.h"

class EventLog {
 public:
  EventLog(WorkerHost& host, const Clock& clock);
  ~EventLog();
  EventLog(const EventLog&) = delete;
  EventLog& operator=(const EventLog&) = delete;

  void Configure(std::string path, bool enabled);
  bool Enabled() const;
  // Queues timestamp + " " + message; returns the line, or empty when logging is off.
  std::string Append(const std::string& message);
  // Blocks until every queued line has been written (or failed).
  void Drain();
  // Held while the file is being appended; exports take it to read a whole file.
  std::mutex& FileMutex() { return m_fileMutex; }

  // One append of line + CR LF in a single write; false when it failed.
  static bool AppendLine(const std::string& path, const std::string& line);

 private:
  void Run();

  WorkerHost& m_host;
  const Clock& m_clock;
  mutable std::mutex m_mutex;
  std::condition_variable m_cv, m_idle;
  std::deque<std::string> m_queue;
  std::string m_path;
  bool m_enabled = false;
  bool m_writing = false;
  bool m_stop = false;
  std::mutex m_fileMutex;
  std::thread m_thread;
};
