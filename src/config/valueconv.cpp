#include "config/valueconv.h"

#include <charconv>
#include <cmath>

namespace {

std::string_view TrimBlanks(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads 1 to `maxDigits` digits at `pos`; false when there are none.
bool ScanNumber(std::string_view s, size_t& pos, size_t maxDigits, int& value) {
  size_t start = pos;
  value = 0;
  while (pos < s.size() && IsDigit(s[pos]) && pos - start < maxDigits)
    value = value * 10 + (s[pos++] - '0');
  return pos > start && (pos >= s.size() || !IsDigit(s[pos]));
}

}  // namespace

std::optional<int32_t> ParseInt32(std::string_view text) {
  text = TrimBlanks(text);
  // from_chars takes "-" but not "+".
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return std::nullopt;
  }
  int32_t value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc{} || ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<double> ParseReal(std::string_view text) {
  text = TrimBlanks(text);
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return std::nullopt;
  }
  double value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value,
                                   std::chars_format::general);
  if (text.empty() || ec != std::errc{} || ptr != text.data() + text.size() ||
      !std::isfinite(value))
    return std::nullopt;
  return value;
}

std::optional<TimeOfDay> ParseTimeOfDay(std::string_view text) {
  text = TrimBlanks(text);
  size_t pos = 0;
  int h = 0, m = 0, s = 0, ms = 0;
  if (!ScanNumber(text, pos, 2, h) || pos >= text.size() || text[pos++] != ':' ||
      !ScanNumber(text, pos, 2, m))
    return std::nullopt;
  if (pos < text.size() && text[pos] == ':') {
    ++pos;
    if (!ScanNumber(text, pos, 2, s)) return std::nullopt;
    if (pos < text.size() && text[pos] == '.') {
      ++pos;
      if (!ScanNumber(text, pos, 3, ms)) return std::nullopt;
    }
  }
  if (pos != text.size() || h > 23 || m > 59 || s > 59) return std::nullopt;
  return TimeOfDay{static_cast<uint16_t>(h), static_cast<uint16_t>(m), static_cast<uint16_t>(s),
                   static_cast<uint16_t>(ms)};
}
