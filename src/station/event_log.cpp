#include "station/event_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"

EventLog::EventLog(WorkerHost& host, const Clock& clock) : m_host(host), m_clock(clock) {
  m_thread = std::thread([this] { Run(); });
}

EventLog::~EventLog() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  m_cv.notify_all();
  m_thread.join();
}

void EventLog::Configure(std::string path, bool enabled) {
  std::lock_guard lock(m_mutex);
  m_path = std::move(path);
  m_enabled = enabled;
}

bool EventLog::Enabled() const {
  std::lock_guard lock(m_mutex);
  return m_enabled;
}

std::string EventLog::Append(const std::string& message) {
  std::string line;
  {
    std::lock_guard lock(m_mutex);
    if (!m_enabled) return {};
    line = FormatLogTimestamp(m_clock.NowUtc()) + " " + message;
    m_host.WorkerStarting(false);
    m_queue.push_back(line);
  }
  m_cv.notify_one();
  return line;
}

void EventLog::Drain() {
  std::unique_lock lock(m_mutex);
  m_idle.wait(lock, [this] { return m_queue.empty() && !m_writing; });
}

bool EventLog::AppendLine(const std::string& path, const std::string& line) {
  const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  // A last line torn by a full disk or a crash is ended first, so that this
  // line starts a line of its own.
  std::string data;
  char last = '\n';
  const off_t size = ::lseek(fd, 0, SEEK_END);
  if (size > 0 && ::pread(fd, &last, 1, size - 1) == 1 && last != '\n')
    data = last == '\r' ? "\n" : "\r\n";
  data += line + "\r\n";
  ssize_t n;
  do {
    n = ::write(fd, data.data(), data.size());
  } while (n < 0 && errno == EINTR);
  const bool ok = n == static_cast<ssize_t>(data.size());
  return (::close(fd) == 0) && ok;
}

void EventLog::Run() {
  LowerThreadPriority();
  const uint64_t tid = CurrentThreadId();
  std::unique_lock lock(m_mutex);
  for (;;) {
    m_cv.wait(lock, [this] { return m_stop || !m_queue.empty(); });
    if (m_queue.empty()) break;  // stopping, nothing left
    std::string line = std::move(m_queue.front());
    m_queue.pop_front();
    const std::string path = m_path;
    m_writing = true;
    lock.unlock();
    bool ok;
    {
      std::lock_guard fileLock(m_fileMutex);
      ok = AppendLine(path, line);
    }
    m_host.PostThreadFinished(ok ? kLogAppended : kLogFailed, tid);
    lock.lock();
    m_writing = false;
    if (m_queue.empty()) m_idle.notify_all();
  }
  m_idle.notify_all();
}
