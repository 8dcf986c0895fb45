#include "mseed/sds_archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace {

std::string Trimmed(const std::string& s) {
  size_t end = s.size();
  while (end > 0 && s[end - 1] == ' ') --end;
  return s.substr(0, end);
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Cuts a torn tail and returns the end time of the file's last whole record
// (INT64_MIN for an empty or unreadable file).
int64_t PrepareDayFile(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return INT64_MIN;
  const off_t whole = st.st_size - st.st_size % kMseedRecordLength;
  if (whole != st.st_size && ::ftruncate(fd, whole) != 0) return INT64_MIN;
  // Walk back over trailing records that do not parse (torn inside a record
  // boundary, e.g. zero-filled after a crash).
  for (off_t at = whole - kMseedRecordLength; at >= 0; at -= kMseedRecordLength) {
    char buf[kMseedRecordLength];
    if (::pread(fd, buf, sizeof buf, at) != static_cast<ssize_t>(sizeof buf)) break;
    MseedRecord last;
    if (ParseRecordHeader(buf, last)) {
      if (at + kMseedRecordLength != whole && ::ftruncate(fd, at + kMseedRecordLength) != 0)
        return INT64_MIN;
      return last.EndUs();
    }
  }
  if (whole > 0 && ::ftruncate(fd, 0) != 0) return INT64_MIN;
  return INT64_MIN;
}

}  // namespace

std::string SdsPath(const std::string& root, const MseedRecord& r) {
  const time_t seconds = static_cast<time_t>(r.StartUs >= 0 ? r.StartUs / 1'000'000
                                                            : (r.StartUs - 999'999) / 1'000'000);
  struct tm t {};
  gmtime_r(&seconds, &t);
  const std::string net = Trimmed(r.Network), sta = Trimmed(r.Station),
                    loc = Trimmed(r.Location), cha = Trimmed(r.Channel);
  char tail[64];
  std::snprintf(tail, sizeof tail, ".D.%04d.%03d", t.tm_year + 1900, t.tm_yday + 1);
  const std::string year = std::to_string(t.tm_year + 1900);
  return root + year + "/" + net + "/" + sta + "/" + cha + ".D/" + net + "." + sta + "." + loc +
         "." + cha + tail;
}

SdsArchive::SdsArchive(std::string root) : m_root(std::move(root)) {
  if (!m_root.empty() && m_root.back() != '/') m_root += '/';
}

bool SdsArchive::Append(const MseedRecord& record, std::string& error) {
  const std::string path = SdsPath(m_root, record);
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  auto known = m_lastEndUs.find(path);
  if (known == m_lastEndUs.end()) known = m_lastEndUs.emplace(path, PrepareDayFile(fd)).first;
  bool ok = true;
  // Half a sample of slack: record times are rounded to microseconds.
  const int64_t slack = record.SampleRate > 0 ? static_cast<int64_t>(0.5e6 / record.SampleRate) : 0;
  if (record.EndUs() > known->second + slack) {
    ok = ::lseek(fd, 0, SEEK_END) >= 0 && WriteAll(fd, record.Data.data(), record.Data.size());
    if (ok)
      known->second = record.EndUs();
    else
      error = path + ": " + std::strerror(errno);
  }
  ::close(fd);
  return ok;
}

FileWorkQueue::FileWorkQueue(size_t capacity) : m_capacity(capacity) {
  m_thread = std::thread([this] { Run(); });
}

FileWorkQueue::~FileWorkQueue() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  m_wake.notify_all();
  if (m_thread.joinable()) m_thread.join();
}

bool FileWorkQueue::Post(std::function<void()> work) {
  {
    std::lock_guard lock(m_mutex);
    if (m_work.size() >= m_capacity) {
      ++m_dropped;
      return false;
    }
    m_work.push_back(std::move(work));
  }
  m_wake.notify_one();
  return true;
}

void FileWorkQueue::Drain() {
  std::unique_lock lock(m_mutex);
  m_idle.wait(lock, [this] { return m_work.empty() && !m_busy; });
}

uint64_t FileWorkQueue::Dropped() const {
  std::lock_guard lock(m_mutex);
  return m_dropped;
}

void FileWorkQueue::Run() {
  std::unique_lock lock(m_mutex);
  for (;;) {
    m_wake.wait(lock, [this] { return m_stop || !m_work.empty(); });
    if (m_work.empty()) break;  // stopping, and everything is done
    std::function<void()> work = std::move(m_work.front());
    m_work.pop_front();
    m_busy = true;
    lock.unlock();
    try {
      work();
    } catch (...) {
      // File work reports through its own results; nothing may end the thread.
    }
    lock.lock();
    m_busy = false;
    if (m_work.empty()) m_idle.notify_all();
  }
  m_idle.notify_all();
}
