#include "processing/conditioning.h"

#include <cstring>

int32_t DisplayDivisor(DisplayUnitKind unit) {
  switch (unit) {
    case DisplayUnitKind::MicroMetrePerSecond: return 1000;
    case DisplayUnitKind::MilliMetrePerSecond: return 1000000;
    default: return 1;
  }
}

DisplayFactors MakeDisplayFactors(DisplayUnitKind unit, const ArrayOfReal& LSBin,
                                  const ArrayOfReal& gain) {
  DisplayFactors f;
  const ArrayOfReal* table = nullptr;
  switch (unit) {
    case DisplayUnitKind::Counts: return f;
    case DisplayUnitKind::MicroVolt: table = &gain; break;
    default: table = &LSBin; break;
  }
  f.scaled = true;
  for (int c = 0; c < kChannelCount; ++c)
    f.factor[c] = c < static_cast<int>(table->size()) ? (*table)[c] : 1.0;
  return f;
}

namespace {

// Hot loops get AVX-512 and AVX2 variants, picked at load time by the CPU;
// the results are the same bit for bit (no fused or reassociated arithmetic).
// Sanitizer builds take the scalar path: the load-time resolver runs before
// the sanitizer runtime is up and crashes ThreadSanitizer.
// No fused multiply-add either: the product is rounded before it is rounded
// to an integer, as in the scalar path.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(VELKOR_SANITIZED)
#define VELKOR_VECTOR_CLONES                                    \
  __attribute__((target_clones("avx512f", "avx2", "default"), \
                 optimize("fp-contract=off")))
// The clamps only need to become vector max/min, which GCC emits when it may
// ignore NaN and signed-zero details; on finite products the result is equal.
#define VELKOR_CLAMP_MATH \
  __attribute__((optimize("no-trapping-math", "finite-math-only", "no-signed-zeros")))
#elif defined(__GNUC__)
#define VELKOR_VECTOR_CLONES __attribute__((optimize("fp-contract=off")))
#define VELKOR_CLAMP_MATH
#else
#define VELKOR_VECTOR_CLONES
#define VELKOR_CLAMP_MATH
#endif

constexpr double kRoundMagic = 6755399441055744.0;  // 2^52 + 2^51
// |INT32_MIN × factor| stays below 2^31 − 0.5 from here up.
constexpr double kMinUnclampedFactor = -1.0 + 0x1p-30;
// Products stay far inside the range of a double (and are never NaN).
constexpr double kMaxVectorFactor = 1e9;

void ConvertValues(const int32_t* source, int32_t* display, int32_t begin, int32_t end,
                   const DisplayFactors& f) {
  for (int32_t i = begin; i < end; ++i) display[i] = ConvertValueForDisplay(source[i], i, f);
}

// Frame-aligned block: the channel of value k is k, so the eight factors stay
// in registers and the frame vectorises. Products with factors in
// [kMinUnclampedFactor, 1] round into 32 bits and need no clamp (-1 turns
// INT32_MIN into 2^31).
VELKOR_VECTOR_CLONES
void ScaleFramesUnclamped(const int32_t* src, int32_t* dst, int32_t frames,
                          const double* factor) {
  double f[kChannelCount];
  for (int c = 0; c < kChannelCount; ++c) f[c] = factor[c];
  for (int32_t n = 0; n < frames; ++n) {
    for (int c = 0; c < kChannelCount; ++c) {
      const double x = static_cast<double>(src[c]) * f[c];
      dst[c] = static_cast<int32_t>((x + kRoundMagic) - kRoundMagic);
    }
    src += kChannelCount;
    dst += kChannelCount;
  }
}

VELKOR_VECTOR_CLONES VELKOR_CLAMP_MATH
void ScaleFramesClamped(const int32_t* src, int32_t* dst, int32_t frames, const double* factor) {
  constexpr double kLow = -2147483648.0, kHigh = 2147483647.0;
  double f[kChannelCount];
  for (int c = 0; c < kChannelCount; ++c) f[c] = factor[c];
  for (int32_t n = 0; n < frames; ++n) {
    for (int c = 0; c < kChannelCount; ++c) {
      double x = static_cast<double>(src[c]) * f[c];
      x = x > kLow ? x : kLow;
      x = x < kHigh ? x : kHigh;
      dst[c] = static_cast<int32_t>((x + kRoundMagic) - kRoundMagic);
    }
    src += kChannelCount;
    dst += kChannelCount;
  }
}

VELKOR_VECTOR_CLONES
void SumFrames(const int32_t* p, int32_t frames, int64_t* sums) {
  int64_t acc[kChannelCount] = {};
  for (int32_t f = 0; f < frames; ++f, p += kChannelCount)
    for (int c = 0; c < kChannelCount; ++c) acc[c] += p[c];
  for (int c = 0; c < kChannelCount; ++c) sums[c] += acc[c];
}

}  // namespace

void ConvertForDisplay(const int32_t* source, int32_t* display, int32_t begin, int32_t end,
                       const DisplayFactors& f) {
  if (end <= begin) return;
  if (!f.scaled) {
    if (source != display)
      std::memmove(display + begin, source + begin, sizeof(int32_t) * (end - begin));
    return;
  }
  int32_t i = begin;
  for (; i < end && (i & 7) != 0; ++i) display[i] = ConvertValueForDisplay(source[i], i, f);
  const int32_t frames = (end - i) / kChannelCount;
  // The frame loops assume finite products (they are built with finite-math
  // flags); factors that could break that take the value-by-value path.
  bool moderate = true, withinOne = true;
  for (double x : f.factor) {
    moderate = moderate && std::fabs(x) <= kMaxVectorFactor;
    // Just above -1, INT32_MIN would round to 2^31, which needs the clamp.
    withinOne = withinOne && x >= kMinUnclampedFactor && x <= 1.0;
  }
  if (!moderate) {
    ConvertValues(source, display, i, end, f);
    return;
  }
  if (withinOne)
    ScaleFramesUnclamped(source + i, display + i, frames, f.factor.data());
  else
    ScaleFramesClamped(source + i, display + i, frames, f.factor.data());
  i += frames * kChannelCount;
  for (; i < end; ++i) display[i] = ConvertValueForDisplay(source[i], i, f);
}

int32_t RoundedMean(int64_t sum, int64_t frames) {
  if (frames <= 0) return 0;
  int64_t q = sum / frames;
  int64_t r = sum % frames;  // same sign as sum
  if (r < 0) {
    r += frames;
    --q;
  }
  // Now sum = q × frames + r with 0 ≤ r < frames.
  const int64_t twice = 2 * r;
  if (twice > frames || (twice == frames && (q & 1) != 0)) ++q;
  if (q > INT32_MAX) return INT32_MAX;
  if (q < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(q);
}

void OffsetsFromSums(const std::array<int64_t, kChannelCount>& sums, int32_t bufferLength,
                     ArrayOfDataType& offsets) {
  offsets.resize(kChannelCount);
  const int64_t frames = bufferLength / kChannelCount;
  for (int c = 0; c < kChannelCount; ++c) offsets[c] = RoundedMean(sums[c], frames);
}

void AddChannelSums(const int32_t* values, int32_t begin, int32_t end,
                    std::array<int64_t, kChannelCount>& sums) {
  int32_t i = begin;
  for (; i < end && (i & 7) != 0; ++i) sums[i & 7] += values[i];
  const int32_t frames = (end - i) / kChannelCount;
  SumFrames(values + i, frames, sums.data());
  i += frames * kChannelCount;
  for (; i < end; ++i) sums[i & 7] += values[i];
}

std::string OffsetsText(const ArrayOfDataType& offsets) {
  std::string text;
  for (size_t c = 0; c < offsets.size(); ++c) {
    if (c) text += ' ';
    text += std::to_string(offsets[c]);
  }
  return text;
}

std::array<int32_t, kChannelCount> ChannelArray(const ArrayOfChannels& values, int32_t fallback) {
  std::array<int32_t, kChannelCount> a;
  for (int c = 0; c < kChannelCount; ++c)
    a[c] = c < static_cast<int>(values.size()) ? values[c] : fallback;
  return a;
}
