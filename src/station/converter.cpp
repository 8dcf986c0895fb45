#include "station/converter.h"

#include "platform/clock.h"

namespace {

// ±10 V on a 32-bit scale, in µV per count.
constexpr double kSimGainMicroVolt = 10'000'000.0 / 2147483648.0;

constexpr int32_t kPulseHigh = 9000;
constexpr int32_t kPulseLow = -1000;
constexpr int32_t kPulseWidth = 799;  // interleaved positions

uint32_t SplitMix(uint64_t& x) {
  uint64_t z = (x += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
}

uint32_t Rotl(uint32_t x, int k) { return (x << k) | (x >> (32 - k)); }

}  // namespace

const char* ADModelText() { return "Simulation"; }

SimulatedConverter::SimulatedConverter(const Clock& clock, uint32_t seed)
    : m_clock(clock), m_gain(kChannelCount, kSimGainMicroVolt) {
  m_gain[7] = 1.0;
  uint64_t s = seed;
  for (uint32_t& word : m_rng) word = SplitMix(s);
  if ((m_rng[0] | m_rng[1] | m_rng[2] | m_rng[3]) == 0) m_rng[0] = 1;
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
  return 0;
}

int32_t SimulatedConverter::ADReadBlock(int32_t handle, ArrayOfDataType& block) {
  const int64_t ms = m_clock.NowUnixMs();
  const int32_t millisecond = static_cast<int32_t>(((ms % 1000) + 1000) % 1000);
  m_simPhase = (millisecond + 100) % 1000;
  constexpr int32_t length = kBlockValues - kBlockValues % 8;
  const int32_t pulseBegin = m_simPhase + m_simCarry;
  const int32_t pulseEnd = m_simPhase + kPulseWidth + m_simCarry;

  block.resize(length);
  int32_t divisor = 100;
  for (int32_t i = 0; i < length; ++i) {
    const int32_t r = Uniform(-50, 49);
    divisor = (r >= 5 || r <= -5) ? 100 : 1;
    const int32_t v = Uniform(-(1 << 29), (1 << 29) - 1);
    int32_t value = v / divisor;
    const int32_t channel = i % 8;
    if (channel == 3 || channel == 6)
      value = (i >= pulseBegin && i < pulseEnd) ? kPulseHigh : kPulseLow;
    block[i] = value;
  }
  m_simCarry = 0;  // the generated and delivered lengths are equal
  return kADReadOk;
}

std::unique_ptr<ADConverter> MakeConverter(const Clock& clock, uint32_t seed) {
  if (seed == 0) seed = static_cast<uint32_t>(clock.NowUnixMs()) | 1u;
  return std::make_unique<SimulatedConverter>(clock, seed);
}
