#include "processing/fir_filter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

int32_t RoundToSample(double v) {
  const double r = std::nearbyint(v);
  if (std::isnan(r)) return 0;
  if (r >= static_cast<double>(std::numeric_limits<int32_t>::max()))
    return std::numeric_limits<int32_t>::max();
  if (r <= static_cast<double>(std::numeric_limits<int32_t>::min()))
    return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(r);
}

}  // namespace

void FilterWindow(const int32_t* input, int32_t* output, int32_t length, const double* coefs,
                  int32_t taps, int32_t ppsChannel, int32_t newCount, int32_t& filteredLength) {
  if (taps < 1 || length <= 0) return;
  if (filteredLength > length) filteredLength = length;
  int32_t q = filteredLength - newCount;
  if (q >= 0 && newCount >= 0) {
    std::memmove(output, output + newCount, static_cast<size_t>(q) * sizeof(int32_t));
  } else {
    q = 0;
  }
  // Frames are whole even when a caller's count is not.
  q -= q % 8;
  const int64_t run = 8 * static_cast<int64_t>(taps);
  while (q + run < length) {
    double acc[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    for (int32_t t = 0; t < taps; ++t) {
      const int32_t* frame = input + q + 8 * t;
      for (int c = 0; c < 8; ++c) {
        if (c < ppsChannel)
          acc[c] = frame[c] * coefs[t] + acc[c];
        else
          acc[c] = frame[c];
      }
    }
    for (int c = 0; c < 8; ++c) output[q + c] = RoundToSample(acc[c]);
    q += 8;
  }
  filteredLength = q;
}

int32_t RunFilter(const ArrayOfDataType& data, ArrayOfDataType& filtered, int32_t& filteredLength,
                  const TProgParam& params, int32_t newCount, int32_t& ppsPosition) {
  const int32_t taps = static_cast<int32_t>(params.Filter.Coefs.size());
  if (taps < 1) return newCount;
  const int32_t length = static_cast<int32_t>(std::min(data.size(), filtered.size()));
  FilterWindow(data.data(), filtered.data(), length, params.Filter.Coefs.data(), taps,
               params.PPSChannel, newCount, filteredLength);
  // A pulse in the first T - 1 frames has no output frame: no pulse.
  if (ppsPosition > 0) ppsPosition = std::max(0, ppsPosition - 8 * (taps - 1));
  return newCount;
}
