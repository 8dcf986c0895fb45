#include "config/calibration_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>
#include <vector>

#include "config/atomic_file.h"
#include "config/valueconv.h"

namespace {

std::optional<std::string> ReadWholeFile(const std::string& path) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return text;
}

// Splits at LF and drops the CR of a CR LF.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t pos = 0;
  while (true) {
    size_t end = text.find('\n', pos);
    std::string_view line = text.substr(pos, end == std::string_view::npos ? end : end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    pos = end + 1;
  }
  return lines;
}

std::string OffsetsPath(const std::string& programDir) { return programDir + kOffsetsFileName; }

}  // namespace

bool LoadFilterFile(const std::string& path, ArrayOfReal& coefs) {
  coefs.clear();
  std::optional<std::string> text = ReadWholeFile(path);
  if (!text) return false;
  std::vector<std::string_view> lines = SplitLines(*text);
  // A line break after the last number ends that line; it does not start a blank one.
  if (lines.size() > 1 && lines.back().empty()) lines.pop_back();

  ArrayOfReal values;
  values.reserve(lines.size());
  double sum = 0;
  for (std::string_view line : lines) {
    std::optional<double> v = ParseReal(line);
    if (!v) return false;
    values.push_back(*v);
    sum += *v;
  }
  if (values.empty() || sum == 0 || !std::isfinite(sum)) return false;
  for (double& v : values) v /= sum;
  coefs = std::move(values);
  return true;
}

void ReadOffsets(const std::string& programDir, ArrayOfDataType& offsets, int64_t nowUnixMs) {
  const std::string path = OffsetsPath(programDir);
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) return;
  const int64_t writtenMs =
      static_cast<int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1'000'000;
  const int64_t ageMs = nowUnixMs > writtenMs ? nowUnixMs - writtenMs : writtenMs - nowUnixMs;
  if (ageMs / 3'600'000 >= kOffsetsMaxAgeHours) return;

  std::optional<std::string> text = ReadWholeFile(path);
  if (!text) return;
  std::vector<std::string_view> lines = SplitLines(*text);
  offsets.resize(kChannelCount);
  for (int ch = 0; ch < kChannelCount; ++ch) {
    offsets[ch] = ch < static_cast<int>(lines.size()) ? ParseInt32(lines[ch]).value_or(0) : 0;
  }
}

bool WriteOffsets(const std::string& programDir, const ArrayOfDataType& offsets) {
  if (offsets.empty()) return false;
  std::string text;
  const size_t count = std::min<size_t>(offsets.size(), kChannelCount);
  for (size_t ch = 0; ch < count; ++ch) {
    if (ch > 0) text += "\r\n";
    text += std::to_string(offsets[ch]);
  }
  return WriteFileAtomically(OffsetsPath(programDir), text);
}

bool DeleteOffsets(const std::string& programDir) {
  return ::unlink(OffsetsPath(programDir).c_str()) == 0 || errno == ENOENT;
}
