#include "processing/resampler.h"

#include <algorithm>
#include <cstring>

#include "processing/conditioning.h"

namespace {
// The output keeps about this many free frames at its end.
constexpr int32_t kTargetFreeFrames = 5;
}  // namespace

int32_t ResampledBufferLength(int32_t bufferLength, int32_t factor) {
  if (factor < 1) factor = 1;
  return ((bufferLength / kChannelCount) / factor) * kChannelCount + 80;
}

int32_t Resample(const int32_t* source, int32_t sourceLength, int32_t newCount, int32_t factor,
                 ResamplerWindow out, int32_t& ppsPosition) {
  const int32_t R = std::max(factor, 1);
  const int32_t capacity = static_cast<int32_t>(out.buffer.size());
  int32_t p = std::max(out.sourcePos - newCount, 0);
  // The pulse still waits in the unconsumed part (0 means no pulse).
  const bool ppsAhead = ppsPosition > 0 && ppsPosition >= p;

  int32_t s = ((newCount / kChannelCount) / R) * kChannelCount;
  if ((capacity - out.length) / kChannelCount < kTargetFreeFrames)
    s += kChannelCount;
  else
    s -= kChannelCount;
  // A window never moves backwards: with fewer than R new frames the nominal
  // shift is 0 and the correction would read before the buffer.
  s = std::max(s, 0);

  int32_t w = std::min(out.length, capacity) - s;
  if (w >= 1)
    std::memmove(out.buffer.data(), out.buffer.data() + s, sizeof(int32_t) * w);
  else
    w = 0;

  bool placed = false;
  const int64_t blockValues = static_cast<int64_t>(kChannelCount) * R;
  while (capacity >= w + kChannelCount && p + blockValues <= sourceLength) {
    int64_t acc[kChannelCount] = {};
    const int32_t* frame = source + p;
    for (int32_t f = 0; f < R; ++f, frame += kChannelCount)
      for (int c = 0; c < kChannelCount; ++c) acc[c] += frame[c];
    // Integer sums of at most R 32-bit values are exact in a double.
    for (int c = 0; c < kChannelCount; ++c)
      out.buffer[w + c] = RoundToInt32(static_cast<double>(acc[c]) / R);
    if (!placed && ppsAhead) {
      const int64_t f = (p + blockValues - ppsPosition) / kChannelCount;
      if (R / 2 <= f && f < R / 2 + R) {
        ppsPosition = w;
        placed = true;
      }
    }
    p += static_cast<int32_t>(blockValues);
    w += kChannelCount;
  }
  out.length = w;
  out.sourcePos = p;
  if (!placed) ppsPosition = 0;
  return s;
}

int32_t ResampledPulsePosition(int32_t q, int32_t sourcePos, int32_t length, int32_t factor) {
  const int64_t R = std::max(factor, 1);
  if (q <= 0 || q > sourcePos) return 0;
  // Frames from the pulse to the end of the consumed source; the carrying
  // block is the k-th from that end.
  const int64_t D = (static_cast<int64_t>(sourcePos) - q) / kChannelCount;
  const int64_t k = (D + R - R / 2) / R;
  if (k < 1) return 0;
  const int64_t position = static_cast<int64_t>(length) - kChannelCount * k;
  return position > 0 ? static_cast<int32_t>(position) : 0;
}
