#include "storage/gse2.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

std::string FormatWid2Time(TDateTime t) {
  const DateTimeParts p = DecodeDateTime(t);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d.%03d", p.year, p.month, p.day,
                p.hour, p.minute, p.second, p.msec);
  return buf;
}

std::string FormatWid2SampleRate(double rate) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.3e", rate);
  const double rounded = std::strtod(buf, nullptr);
  std::snprintf(buf, sizeof buf, "%.6f", rounded);
  return buf;
}

std::string FormatWid2Calibration(double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.4E", value);
  return buf;
}

namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

std::vector<std::string> Wid2FieldTexts(const Wid2Fields& f) {
  const std::string aux = Upper(f.AuxId);
  std::string horizontal, vertical;
  if (aux == "Z") {
    horizontal = "-1.0";
    vertical = "0.0";
  } else if (aux == "N") {
    horizontal = "0.0";
    vertical = "90.0";
  } else if (aux == "E") {
    horizontal = "90.0";
    vertical = "90.0";
  }
  return {"WID2",
          FormatWid2Time(f.Start),
          f.Station,
          f.Channel,
          f.AuxId,
          "INT",
          std::to_string(f.SampleCount),
          FormatWid2SampleRate(f.SampleRate),
          FormatWid2Calibration(f.Calibration),
          "1.000",
          f.Instrument,
          horizontal,
          vertical};
}

std::string FormatWid2Line(const Wid2Fields& f) {
  const std::vector<std::string> texts = Wid2FieldTexts(f);
  std::string line(kWid2BaseWidth, ' ');
  for (size_t i = 0; i < kWid2FieldCount; ++i) {
    const Wid2Column& col = kWid2Layout[i];
    line.insert(static_cast<size_t>(col.Column - 1), texts[i].substr(0, col.Limit));
  }
  return line;
}

int64_t Gse2Checksum(const int32_t* values, size_t count, size_t stride) {
  int64_t sum = 0;
  for (size_t k = 0; k < count; ++k) {
    int64_t v = values[k * stride];
    if (v >= kGse2ChecksumModulus || v <= -kGse2ChecksumModulus) v %= kGse2ChecksumModulus;
    sum += v;
    if (sum >= kGse2ChecksumModulus || sum <= -kGse2ChecksumModulus) sum %= kGse2ChecksumModulus;
  }
  return sum < 0 ? -sum : sum;
}

bool Gse2LineBuilder::Add(int32_t value, std::string& full) {
  const std::string text = std::to_string(value);
  if (m_line.empty()) {
    m_line = text;
    return false;
  }
  if (m_line.size() + 1 + text.size() >= kGse2LineLimit) {
    full.swap(m_line);
    m_line = text;
    return true;
  }
  m_line += ' ';
  m_line += text;
  return false;
}

bool Gse2LineBuilder::Finish(std::string& last) {
  if (m_line.empty()) return false;
  last.swap(m_line);
  m_line.clear();
  return true;
}

Gse2FileWriter::~Gse2FileWriter() { Close(); }

void Gse2FileWriter::Fail(const std::string& what, int err) {
  if (!m_failed) m_error = what + ": " + std::strerror(err);
  m_failed = true;
}

namespace {

bool PreadAll(int fd, std::string& out, int64_t from, size_t count) {
  out.resize(count);
  size_t got = 0;
  while (got < count) {
    const ssize_t n = ::pread(fd, out.data() + got, count - got, static_cast<off_t>(from + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return true;
}

bool IsChk2Line(const std::string& s, size_t from, size_t to) {
  static constexpr char kChk2[] = "CHK2 ";
  if (to <= from + 5 || s.compare(from, 5, kChk2) != 0) return false;
  for (size_t i = from + 5; i < to; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

}  // namespace

int64_t Gse2CompleteLength(const std::string& header, const std::string& tail, int64_t tailFrom) {
  const size_t beginSize = sizeof kGse2Begin - 1;
  const size_t compared = std::min(header.size(), beginSize);
  if (header.compare(0, compared, kGse2Begin, compared) != 0) return -1;
  if (header.size() < beginSize) return 0;
  // The last "CHK2 <digits>" line that is followed by the empty line.
  size_t end = tail.size();
  while (end >= 2) {
    const size_t gap = tail.rfind("\n\n", end - 2);
    if (gap == std::string::npos) break;
    const size_t lineStart = tail.rfind('\n', gap == 0 ? 0 : gap - 1);
    if (lineStart != std::string::npos && lineStart < gap && IsChk2Line(tail, lineStart + 1, gap))
      return tailFrom + static_cast<int64_t>(gap) + 2;
    if (gap == 0) break;
    end = gap + 1;
  }
  return tailFrom == 0 ? static_cast<int64_t>(beginSize) : -2;
}

int64_t RepairTornGse2(int fd, int64_t size, int64_t& cut, std::string& error) {
  cut = 0;
  std::string header;
  if (!PreadAll(fd, header, 0, static_cast<size_t>(std::min<int64_t>(size, sizeof kGse2Begin - 1)))) {
    error = "cannot read start of file";
    return -1;
  }
  // The last complete block is almost always in the last megabyte; the whole
  // file is read only when it is not.
  constexpr int64_t kTail = 1 << 20;
  int64_t from = size > kTail ? size - kTail : 0;
  int64_t length = -2;
  while (length == -2) {
    std::string tail;
    if (!PreadAll(fd, tail, from, static_cast<size_t>(size - from))) {
      error = "cannot read end of file";
      return -1;
    }
    length = Gse2CompleteLength(header, tail, from);
    from = 0;
  }
  if (length < 0) {
    error = "not a GSE2 file, left as it is";
    return -1;
  }
  if (length < size && ::ftruncate(fd, static_cast<off_t>(length)) != 0) {
    error = std::string("cannot cut torn end: ") + std::strerror(errno);
    return -1;
  }
  cut = size - length;
  return length;
}

bool Gse2FileWriter::LockOut() {
  // A shared lock is a history read of the file: it ends within moments, so
  // wait for it. An exclusive one is another writer: leave the file alone.
  int64_t waited = 0;
  for (;;) {
    if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK) return true;  // a file system without locks
    if (::flock(m_fd, LOCK_SH | LOCK_NB) != 0) {
      Fail("in use by another writer", EWOULDBLOCK);
      return false;
    }
    ::flock(m_fd, LOCK_UN);
    if (waited >= m_readerWaitMs) {
      Fail("held by a history read for " + std::to_string(waited / 1000) + " s", EWOULDBLOCK);
      return false;
    }
    if (m_sleep)
      m_sleep(kGse2ReaderPollMs);
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(kGse2ReaderPollMs));
    waited += kGse2ReaderPollMs;
  }
}

bool Gse2FileWriter::Open(const std::string& path) {
  Close();
  m_failed = false;
  m_error.clear();
  m_repairNote.clear();
  m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (m_fd < 0) {
    Fail("cannot open", errno);
    return false;
  }
  // Other writers are kept out for as long as the file is open.
  if (!LockOut()) return false;
  struct stat st {};
  if (::fstat(m_fd, &st) != 0) {
    Fail("cannot read size", errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    Fail("not a regular file", EINVAL);
    return false;
  }
  int64_t size = st.st_size;
  if (size > 4) {
    char tail[4];
    if (::pread(m_fd, tail, 4, static_cast<off_t>(size - 4)) != 4) {
      Fail("cannot read end of file", errno ? errno : EIO);
      return false;
    }
    if (std::memcmp(tail, kGse2Stop, 4) == 0) {
      if (::lseek(m_fd, static_cast<off_t>(size - 4), SEEK_SET) < 0) {
        Fail("cannot seek", errno);
        return false;
      }
      return true;
    }
  }
  if (size > 0) {
    // Torn by a crash, a kill or a full disk mid-write: standard readers
    // reject a file with half a block in it, so the half block goes.
    int64_t cut = 0;
    std::string error;
    const int64_t kept = RepairTornGse2(m_fd, size, cut, error);
    if (kept < 0) {
      m_error = error;
      m_failed = true;
      return false;
    }
    if (cut > 0)
      m_repairNote = "Torn file repaired: " + path + " cut back from " + std::to_string(size) +
                     " to " + std::to_string(kept) + " bytes (" + std::to_string(cut) +
                     " bytes of an unfinished block removed).";
    size = kept;
  }
  if (::lseek(m_fd, static_cast<off_t>(size), SEEK_SET) < 0) {
    Fail("cannot seek", errno);
    return false;
  }
  // New, or created by a writer that died before its header was whole.
  if (size == 0) return WriteAll(kGse2Begin, sizeof kGse2Begin - 1);
  return true;
}

bool Gse2FileWriter::WriteAll(const char* data, size_t size) {
  if (m_failed) return false;
  if (m_fd < 0) {
    Fail("file not open", EBADF);
    return false;
  }
  while (size > 0) {
    const ssize_t n = ::write(m_fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("write failed", errno);
      return false;
    }
    if (n == 0) {
      Fail("write failed", EIO);
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool Gse2FileWriter::WriteBlock(const Wid2Fields& header, const int32_t* values, size_t count,
                                size_t stride) {
  std::string text = FormatWid2Line(header);
  text += "\nDAT2\n";
  if (!WriteAll(text.data(), text.size())) return false;
  Gse2LineBuilder lines;
  std::string line;
  for (size_t k = 0; k < count; ++k) {
    if (lines.Add(values[k * stride], line)) {
      line += '\n';
      if (!WriteAll(line.data(), line.size())) return false;
    }
  }
  if (lines.Finish(line)) {
    line += '\n';
    if (!WriteAll(line.data(), line.size())) return false;
  }
  text = "CHK2 " + std::to_string(Gse2Checksum(values, count, stride)) + "\n\n";
  return WriteAll(text.data(), text.size());
}

int Gse2FileWriter::WriteStop() {
  if (!WriteAll(kGse2Stop, 4)) return -1;
  return 4;
}

void Gse2FileWriter::Close() {
  if (m_fd >= 0) {
    if (::close(m_fd) != 0 && !m_failed) Fail("close failed", errno);
    m_fd = -1;
  }
}
