#include "storage/ascii_export.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "storage/file_naming.h"

namespace {

std::string ShortestNumber(double v) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string Header(const THistoryRecord& r) {
  const size_t n = static_cast<size_t>(r.ChannelCount);
  const DateTimeParts p = DecodeDateTime(r.StartTime);
  char start[32];
  std::snprintf(start, sizeof start, "%02d.%02d.%02d %02d:%02d:%02d", p.day, p.month,
                p.year % 100, p.hour, p.minute, p.second);
  std::string h = std::string(start) + "\r\n" + r.Station + "\r\n0\r\n" +
                  ShortestNumber(r.SampleRate) + "\r\n";
  for (size_t k = 0; k < n; ++k) {
    if (k) h += '\t';
    h += ShortestNumber(k < r.Calibration.size() ? r.Calibration[k] : 0.0);
  }
  h += "\r\n" + std::to_string(r.Samples.size() / n) + "\r\n";
  for (size_t k = 0; k < n; ++k) {
    if (k) h += '\t';
    h += std::to_string(k < r.Peak.size() ? r.Peak[k] : 0);
  }
  h += "\r\n";
  for (size_t k = 0; k < n; ++k) {
    if (k) h += '\t';
    if (k < r.AuxIds.size()) h += r.AuxIds[k];
  }
  return h + "\r\n";
}

// Whole frames only: a partial last frame never gets its line end.
void AppendFrames(const THistoryRecord& r, size_t fromFrame, size_t toFrame, std::string& out) {
  const size_t n = static_cast<size_t>(r.ChannelCount);
  char buf[16];
  for (size_t f = fromFrame; f < toFrame; ++f) {
    for (size_t k = 0; k < n; ++k) {
      if (k) out += '\t';
      const auto res = std::to_chars(buf, buf + sizeof buf, r.Samples[f * n + k]);
      out.append(buf, res.ptr);
    }
    out += "\r\n";
  }
}

}  // namespace

std::string FormatAsciiExport(const THistoryRecord& record) {
  if (!record.Valid || record.ChannelCount < 1) return "";
  std::string text = Header(record);
  AppendFrames(record, 0, record.Samples.size() / static_cast<size_t>(record.ChannelCount), text);
  return text;
}

TAsciiExportResult BtnAsciiClick(const THistoryRecord& record, const std::string& asciiDir) {
  TAsciiExportResult res;
  if (!record.Valid || record.ChannelCount < 1) return res;
  res.Attempted = true;
  res.FileName = AsciiFileName(asciiDir, record.Station, record.StartTime);
  std::error_code ec;
  const std::filesystem::path dir = std::filesystem::path(res.FileName).parent_path();
  if (!dir.empty()) std::filesystem::create_directories(dir, ec);
  int fd = -1;
  if (ec) {
    res.Error = "directory cannot be created: " + ec.message();
  } else {
    fd = ::open(res.FileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) res.Error = std::string("file cannot be created: ") + std::strerror(errno);
  }
  if (fd >= 0) {
    bool ok = WriteAll(fd, Header(record));
    // Data lines go out in batches of frames, not one write per value.
    const size_t frames = record.Samples.size() / static_cast<size_t>(record.ChannelCount);
    constexpr size_t kBatch = 4096;
    std::string chunk;
    for (size_t f = 0; ok && f < frames; f += kBatch) {
      chunk.clear();
      AppendFrames(record, f, std::min(frames, f + kBatch), chunk);
      ok = WriteAll(fd, chunk);
    }
    if (!ok) res.Error = std::string("write failed: ") + std::strerror(errno);
    if (::close(fd) != 0 && ok) {
      ok = false;
      res.Error = std::string("write failed: ") + std::strerror(errno);
    }
    res.Written = ok;
  }
  // A failed export must not read as saved in the log.
  res.LogLine = res.Written ? "Sav: ASCII file saved: " + res.FileName
                            : "Sav: ASCII file not saved: " + res.FileName + " (" + res.Error + ")";
  return res;
}
