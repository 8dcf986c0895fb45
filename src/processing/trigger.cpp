#include "processing/trigger.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

double Abs(const int32_t* b, int32_t i, double f) { return std::fabs(static_cast<double>(b[i]) * f); }

// Fixed point with 3 decimals after rounding to 5 significant digits.
// Three decimals, at most 5 significant digits, rounded once from the value
// itself: rounding to 5 digits first and then to 3 decimals turns
// 9.1915317 into 9.191.
std::string Fixed5x3(double x) {
  int decimals = 3;
  if (x != 0 && std::isfinite(x)) {
    const int integerDigits = static_cast<int>(std::floor(std::log10(std::fabs(x)))) + 1;
    decimals = std::clamp(5 - integerDigits, 0, 3);
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, x);
  std::string text = buf;
  if (decimals < 3) text += (decimals == 0 ? "." : "") + std::string(3 - decimals, '0');
  // No "-0.000" for a value that rounds to zero.
  return text == "-0.000" ? "0.000" : text;
}

}  // namespace

bool STATest(const int32_t* b, int32_t n, int32_t m, double factor, double staSeconds,
             double threshold, int32_t c, int32_t rate) {
  const int64_t L = std::llrint(static_cast<double>(rate) * staSeconds * 8.0);  // halves to even
  int64_t lo = static_cast<int64_t>(n) - m - L;
  if (lo < 0 || L < 0 || m < 0 || n <= 0) return false;
  int64_t hi = lo;
  double sum = 0;
  while (hi <= n - 1 && hi - lo + 1 <= L) {
    if (hi % 8 == c) {
      sum += Abs(b, static_cast<int32_t>(hi), factor);
      hi += 8;
    } else {
      hi += 1;
    }
  }
  int64_t oldest = lo;
  while (oldest % 8 != c) ++oldest;
  while (hi <= n - 1) {
    const int64_t count = (hi - lo) / 8;
    if (count > 0 && sum / static_cast<double>(count) > threshold) return true;
    if (oldest > n - 1) return false;
    sum -= Abs(b, static_cast<int32_t>(oldest), factor);
    oldest += 8;
    lo += 8;
    sum += Abs(b, static_cast<int32_t>(hi), factor);
    hi += 8;
  }
  return false;
}

TriggerDecision TriggerRun(TriggerState& s, const TProgParam& P, const ArrayOfDataType& output,
                           const TArrayOfPPS& tags, int32_t newCount, int32_t k) {
  TriggerDecision d;
  const int32_t channel = P.DoubleSensitivity ? 1 : 0;
  const double factor = channel < static_cast<int32_t>(P.LSBin.size()) ? P.LSBin[channel] : 1.0;
  const int32_t rate = P.SampleRate / (P.ReSampling >= 1 ? P.ReSampling : 1);
  const double threshold = s.Detected ? P.StopSTA : P.StartSTA;
  const bool positive =
      STATest(output.data(), static_cast<int32_t>(output.size()), newCount, factor, P.STAlength,
              threshold, channel, rate);
  if (positive) {
    s.Detected = true;
    ++s.TriggerCycles;
  } else if (s.Detected) {
    ++s.QuietCycles;
  }
  d.EventBegan = s.TriggerCycles == 1 && s.QuietCycles == 0 && s.Detected;
  // Only a recorded event is ever saved: with PostTime 0 an idle station
  // would otherwise save and report a record in every cycle.
  if (!s.Detected) return d;
  int32_t D = P.PredTime + s.TriggerCycles + s.QuietCycles;
  const int32_t full = static_cast<int32_t>(tags.size()) * 3 / 4;
  if (D != full && s.QuietCycles != P.PostTime) return d;

  const int32_t count = static_cast<int32_t>(tags.size());
  auto timeAt = [&](int32_t i) { return i >= 0 && i < count ? tags[static_cast<size_t>(i)].Time : 0.0; };
  d.EventTime = timeAt(k - (s.TriggerCycles + s.QuietCycles) + 1);
  if (k < D) D = k;
  d.StartTime = timeAt(k - D);
  d.Seconds = D;
  d.Save = true;
  s = TriggerState{};
  return d;
}

std::string TriggerPeakText(double z, double n, double e) {
  const bool mm = std::fabs(z) > 100000 || std::fabs(n) > 100000 || std::fabs(e) > 100000;
  const double f = mm ? 0.000001 : 0.001;
  const char* unit = mm ? "mm/s" : "um/s";
  return " Z=" + Fixed5x3(z * f) + unit + " N=" + Fixed5x3(n * f) + unit + " E=" +
         Fixed5x3(e * f) + unit;
}

bool TriggerMinuteAllows(const std::string& pattern, TDateTime eventTime) {
  if (pattern.empty()) return true;
  const char digit = static_cast<char>('0' + DecodeDateTime(eventTime).minute % 10);
  return pattern.find(digit) != std::string::npos;
}
