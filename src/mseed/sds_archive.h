#pragma once
// The SDS archive: SDS/YEAR/NET/STA/CHAN.D/NET.STA.LOC.CHAN.D.YEAR.DOY, one
// day file per stream, records appended in time order. On the first write to
// a day file after a start the file is checked: a torn record at its end
// (a crash mid-write) is cut off, and records that end no later than the
// file's last record are not written again.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "mseed/mseed_record.h"

// Path of the day file of `record` below `root` (which ends with "/").
std::string SdsPath(const std::string& root, const MseedRecord& record);

class SdsArchive {
 public:
  explicit SdsArchive(std::string root);
  // Appends one record to its day file; false (with `error`) when the
  // directory or the file cannot be written. A duplicate is skipped (true).
  bool Append(const MseedRecord& record, std::string& error);
  const std::string& Root() const { return m_root; }

 private:
  std::string m_root;
  // End time of the last record of each day file touched in this run.
  std::map<std::string, int64_t> m_lastEndUs;
};

// Runs file work off the acquisition thread, in order. The queue is bounded:
// when the disk falls that far behind, new work is dropped and counted.
class FileWorkQueue {
 public:
  explicit FileWorkQueue(size_t capacity = 65536);
  ~FileWorkQueue();  // finishes the queued work, then stops
  FileWorkQueue(const FileWorkQueue&) = delete;
  FileWorkQueue& operator=(const FileWorkQueue&) = delete;
  // False when the queue was full and the work was dropped.
  bool Post(std::function<void()> work);
  // Waits until everything posted so far has run.
  void Drain();
  uint64_t Dropped() const;

 private:
  void Run();
  size_t m_capacity;
  mutable std::mutex m_mutex;
  std::condition_variable m_wake, m_idle;
  std::deque<std::function<void()>> m_work;
  bool m_busy = false, m_stop = false;
  uint64_t m_dropped = 0;
  std::thread m_thread;
};
