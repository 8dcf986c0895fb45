#include "station/converter.h"

#include <algorithm>
#include <cmath>

#include "platform/clock.h"

namespace {

// ±10 V on a 32-bit scale, in µV per count.
constexpr double kSimGainMicroVolt = 10'000'000.0 / 2147483648.0;

constexpr int32_t kPulseHigh = 9000;
constexpr int32_t kPulseLow = -1000;

uint32_t SplitMix(uint64_t& x) {
  uint64_t z = (x += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
}

uint32_t Rotl(uint32_t x, int k) { return (x << k) | (x >> (32 - k)); }

}  // namespace

const char* ADModelText() { return "Simulation"; }

SimulatedConverter::SimulatedConverter(const Clock& clock, uint32_t seed, double driftPpm,
                                       std::function<void(const std::string&)> log)
    : m_clock(clock), m_gain(kChannelCount, kSimGainMicroVolt), m_log(std::move(log)),
      m_driftPpm(driftPpm) {
  m_gain[7] = 1.0;
  uint64_t s = seed;
  for (uint32_t& word : m_rng) word = SplitMix(s);
  if ((m_rng[0] | m_rng[1] | m_rng[2] | m_rng[3]) == 0) m_rng[0] = 1;
  // Sampling runs from construction until the converter is opened.
  std::string description;
  ADInitialize(0, description, 1000.0);
}

uint32_t SimulatedConverter::Next() {
  uint32_t* s = m_rng;
  const uint32_t result = Rotl(s[1] * 5, 7) * 9;
  const uint32_t t = s[1] << 9;
  s[2] ^= s[0];
  s[3] ^= s[1];
  s[1] ^= s[2];
  s[0] ^= s[3];
  s[2] ^= t;
  s[3] = Rotl(s[3], 11);
  return result;
}

int32_t SimulatedConverter::Uniform(int32_t low, int32_t high) {
  const uint64_t span = static_cast<uint64_t>(static_cast<int64_t>(high) - low + 1);
  // Multiply-shift: bias below 2^-32 × span, far under anything the station sees.
  return static_cast<int32_t>(low + static_cast<int64_t>((Next() * span) >> 32));
}

int32_t SimulatedConverter::ADInitialize(int32_t number, std::string& description,
                                         double sampleRate) {
  description = kDescription;
  m_sampleRate = std::clamp(static_cast<int32_t>(std::lround(sampleRate)), 1, 1'000'000);
  m_framesPerMs = static_cast<long double>(m_sampleRate) *
                  (1.0L + static_cast<long double>(m_driftPpm) / 1e6L) / 1000.0L;
  if (m_framesPerMs <= 0) m_framesPerMs = static_cast<long double>(m_sampleRate) / 1000.0L;
  // A freshly opened converter starts sampling now.
  m_originMs = m_clock.NowUnixMs();
  m_lastReadMs = m_originMs;
  m_delivered = 0;
  return 0;
}

int64_t SimulatedConverter::FramesDue(int64_t unixMs) const {
  return static_cast<int64_t>(
      std::floor(static_cast<long double>(unixMs - m_originMs) * m_framesPerMs));
}

int64_t SimulatedConverter::FrameAt(int64_t unixMs) const {
  return static_cast<int64_t>(
      std::ceil(static_cast<long double>(unixMs - m_originMs) * m_framesPerMs));
}

int32_t SimulatedConverter::ADReadBlock(int32_t handle, ArrayOfDataType& block) {
  const int64_t now = m_clock.NowUnixMs();
  if (now < m_lastReadMs) {
    // The station clock was set back; the converter's own clock runs on.
    m_originMs -= m_lastReadMs - now;
    m_lastReadMs = now;
    return kADReadNoData;
  }
  if (now == m_lastReadMs) return kADReadNoData;
  m_lastReadMs = now;
  int64_t count = FramesDue(now) - m_delivered;
  // Too few frames for the caller to use: they wait for the next read.
  if (count < kMinFrames) return kADReadNoData;
  const int64_t capacity = static_cast<int64_t>(m_sampleRate) * kMaxSeconds;
  if (count > capacity) {
    const int64_t lost = count - capacity;
    m_delivered += lost;
    count = capacity;
    if (m_log) m_log("A/D: Converter overrun, " + std::to_string(lost) + " frames lost.");
  }

  // The pulse of the second in which the block's first frame was sampled.
  const int64_t first = m_delivered;
  const long double firstMs =
      static_cast<long double>(m_originMs) + static_cast<long double>(first) / m_framesPerMs;
  int64_t second = static_cast<int64_t>(std::floor(firstMs / 1000.0L)) * 1000;
  int64_t pulseStart = FrameAt(second);
  if (pulseStart > first) {
    second -= 1000;
    pulseStart = FrameAt(second);
  }
  int64_t nextPulse = FrameAt(second + 1000);
  const int64_t width = std::max<int64_t>(
      (static_cast<int64_t>(m_sampleRate) * kPulseMs + 500) / 1000, kMinPulseFrames);

  const int32_t length = static_cast<int32_t>(count * kChannelCount);
  block.resize(length);
  m_simPhase = -1;
  int32_t divisor = 100;
  int32_t* out = block.data();
  for (int64_t f = first; f < first + count; ++f) {
    if (f >= nextPulse) {
      pulseStart = nextPulse;
      second += 1000;
      nextPulse = FrameAt(second + 1000);
    }
    if (f == pulseStart && m_simPhase < 0) m_simPhase = static_cast<int32_t>(f - first);
    const int32_t level = (f - pulseStart < width) ? kPulseHigh : kPulseLow;
    for (int c = 0; c < kChannelCount; ++c) {
      const int32_t r = Uniform(-50, 49);
      divisor = (r >= 5 || r <= -5) ? 100 : 1;
      const int32_t v = Uniform(-(1 << 29), (1 << 29) - 1);
      *out++ = (c == 3 || c == 6) ? level : v / divisor;
    }
  }
  m_delivered = first + count;
  return kADReadOk;
}

std::unique_ptr<ADConverter> MakeConverter(const Clock& clock, uint32_t seed, double driftPpm,
                                           std::function<void(const std::string&)> log) {
  if (seed == 0) seed = static_cast<uint32_t>(clock.NowUnixMs()) | 1u;
  return std::make_unique<SimulatedConverter>(clock, seed, driftPpm, std::move(log));
}
