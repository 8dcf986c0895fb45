#pragma once
// Sample conditioning arithmetic: averages, offsets, display units.
// Rounding is to the nearest integer with halves to even throughout.
#include <array>
#include <cmath>
#include <cstdint>
#include <string>

#include "common/types.h"

enum class DisplayUnitKind { Counts, MicroVolt, NanoMetrePerSecond, MicroMetrePerSecond,
                             MilliMetrePerSecond };

// What the renderer divides DisplayBuffer by: 1 for counts, µV and nm/s,
// 1000 for µm/s, 1 000 000 for mm/s.
int32_t DisplayDivisor(DisplayUnitKind unit);

// Per-channel factors of the display conversion; `scaled` false means the
// values are copied unchanged.
struct DisplayFactors {
  bool scaled = false;
  std::array<double, kChannelCount> factor{};
};
// LSBin for velocities, the converter gain for µV. Missing entries count as 1.
DisplayFactors MakeDisplayFactors(DisplayUnitKind unit, const ArrayOfReal& LSBin,
                                  const ArrayOfReal& gain);

// Round half to even, saturating at the 32-bit limits (a scaled spike must not
// wrap around to the opposite sign). The default rounding mode rounds halves
// to even.
inline int32_t RoundToInt32(double x) {
  if (!(x > -2147483648.0)) return std::isnan(x) ? 0 : INT32_MIN;
  if (x > 2147483647.0) return INT32_MAX;
  return static_cast<int32_t>(std::nearbyint(x));
}

// Converts positions [begin, end) of `source` into `display`; the channel of
// position i is i mod 8.
void ConvertForDisplay(const int32_t* source, int32_t* display, int32_t begin, int32_t end,
                       const DisplayFactors& f);
inline int32_t ConvertValueForDisplay(int32_t v, int32_t position, const DisplayFactors& f) {
  return f.scaled ? RoundToInt32(static_cast<double>(v) * f.factor[position & 7]) : v;
}

// x + AVGin (− offset when compensating), kept within 32 bits.
inline int32_t ConditionValue(int64_t x, int32_t average, int32_t offset, bool compensate) {
  int64_t v = x + average;
  if (compensate) v -= offset;
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

// The mean sum / frames rounded half to even, in integers.
int32_t RoundedMean(int64_t sum, int64_t frames);

// Offsets of the window from the per-channel sums of RawBuffer.
void OffsetsFromSums(const std::array<int64_t, kChannelCount>& sums, int32_t bufferLength,
                     ArrayOfDataType& offsets);

// Adds the values of [begin, end) into the per-channel sums (channel = position mod 8).
void AddChannelSums(const int32_t* values, int32_t begin, int32_t end,
                    std::array<int64_t, kChannelCount>& sums);

// "o0 o1 … o7": the offsets in decimal separated by single blanks.
std::string OffsetsText(const ArrayOfDataType& offsets);

// The eight values of a per-channel setting, missing entries `fallback`.
std::array<int32_t, kChannelCount> ChannelArray(const ArrayOfChannels& values, int32_t fallback);
