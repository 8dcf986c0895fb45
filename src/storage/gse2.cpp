#include "storage/gse2.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

bool Gse2FileWriter::Open(const std::string& path) {
  Close();
  m_failed = false;
  m_error.clear();
  m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (m_fd < 0) {
    Fail("cannot open", errno);
    return false;
  }
  // Other writers are kept out for as long as the file is open. A file system
  // without locks is written without one.
  if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    Fail("in use by another writer", errno);
    return false;
  }
  struct stat st {};
  if (::fstat(m_fd, &st) != 0) {
    Fail("cannot read size", errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    Fail("not a regular file", EINVAL);
    return false;
  }
  const off_t size = st.st_size;
  if (size == 0) {
    // New, or created by a writer that died before its first line.
    return WriteAll(kGse2Begin, sizeof kGse2Begin - 1);
  }
  char tail[4] = {0, 0, 0, 0};
  const size_t tailSize = size < 4 ? static_cast<size_t>(size) : 4;
  if (::pread(m_fd, tail + (4 - tailSize), tailSize, size - static_cast<off_t>(tailSize)) !=
      static_cast<ssize_t>(tailSize)) {
    Fail("cannot read end of file", errno ? errno : EIO);
    return false;
  }
  if (size > 4 && std::memcmp(tail, kGse2Stop, 4) == 0) {
    if (::lseek(m_fd, size - 4, SEEK_SET) < 0) {
      Fail("cannot seek", errno);
      return false;
    }
    return true;
  }
  // Torn by a crash or power cut mid-write: keep every byte that is there and
  // start the next block on a line of its own.
  if (::lseek(m_fd, 0, SEEK_END) < 0) {
    Fail("cannot seek", errno);
    return false;
  }
  if (tail[3] != '\n') return WriteAll("\n", 1);
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
