#include "processing/resampler.h"

#include <gtest/gtest.h>

#include <random>

namespace {

constexpr int32_t kFrames = 2000;
constexpr int32_t kN = 8 * kFrames;
constexpr int32_t kR = 10;

struct Resampled {
  ArrayOfDataType buffer = ArrayOfDataType(ResampledBufferLength(kN, kR), 0);
  int32_t length = ResampledBufferLength(kN, kR);
  int32_t sourcePos = kN;
  ResamplerWindow Window() { return {buffer, length, sourcePos}; }
};

// The window moves one frame more than it gains when almost full, else one
// less; fewer new frames than the factor leave it where it is.
TEST(Resampler, WindowMovesByTheFramesItGainsCorrectedForItsRoom) {
  const struct {
    int32_t freeFrames, newCount, factor, moved, lengthAfter;
  } rows[] = {{0, 8000, kR, 101 * 8, 1672}, {10, 8000, kR, 99 * 8, 1608}, {10, 88, 20, 0, 1600}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.freeFrames);
    const ArrayOfDataType source(kN, 3);
    Resampled w;
    w.length -= 8 * r.freeFrames;
    const ArrayOfDataType before = w.buffer;
    int32_t pps = 0;
    EXPECT_EQ(Resample(source.data(), kN, r.newCount, r.factor, w.Window(), pps), r.moved);
    EXPECT_EQ(w.length, r.lengthAfter);
    EXPECT_EQ(w.buffer == before, r.moved == 0);
  }
}

TEST(Resampler, AveragesBlocksRoundingHalvesToEven) {
  ArrayOfDataType source(kN, 0);
  // The last 20 frames: block sums 25 on channel 0 and 35 on channel 1, then -25.
  const int32_t first = kN - 160;
  for (int f = 0; f < 10; ++f) {
    source[first + 8 * f + 0] = f < 5 ? 5 : 0;
    source[first + 8 * f + 1] = f < 7 ? 5 : 0;
    source[first + 80 + 8 * f + 0] = f < 5 ? -5 : 0;
  }
  Resampled r;
  int32_t pps = 0;
  const int32_t s = Resample(source.data(), kN, 160, kR, r.Window(), pps);
  // The two new output frames: 2.5, 3.5 and -2.5 rounded.
  const ArrayOfDataType added(r.buffer.begin() + 1680 - s, r.buffer.begin() + r.length);
  EXPECT_EQ(added, (ArrayOfDataType{2, 4, 0, 0, 0, 0, 0, 0, -2, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(r.sourcePos, kN);
}

// New data start at source frame 1900. A pulse found only after its block was
// averaged lands on the same frame, counted back from the end.
TEST(Resampler, PulseGoesToTheBlockWhoseEndLiesHalfAFactorToAFactorAndAHalfAfterIt) {
  const struct {
    int32_t ppsFrame;
    int32_t outputBlock;  // -1: not placed
    int32_t fromEnd;      // output frames back from the end when found late; 0: none yet
  } rows[] = {{1908, 1, 9},    // 2 before block 0 ends, 12 before block 1 ends
              {1907, 1, 9},    // 3 before block 0 ends: the next block
              {1905, 0, 10},   // 5 before the end: this block
              {1900, 0, 10},   // first frame of the block
              {1997, -1, 0},   // 3 before the last block ends: no next block
              {1850, -1, 15},  // already consumed
              {0, -1, 0}};     // no pulse
  for (const auto& c : rows) {
    SCOPED_TRACE(c.ppsFrame);
    const ArrayOfDataType source(kN, 0);
    Resampled r;
    int32_t pps = c.ppsFrame * 8;
    const int32_t w0 = 1680 - Resample(source.data(), kN, 800, kR, r.Window(), pps);
    EXPECT_EQ(pps, c.outputBlock < 0 ? 0 : w0 + 8 * c.outputBlock);
    EXPECT_EQ(ResampledPulsePosition(c.ppsFrame * 8, r.sourcePos, r.length, kR),
              c.fromEnd > 0 ? r.length - 8 * c.fromEnd : 0);
  }
}

// The output is the same sequence of frames however the source arrives.
ArrayOfDataType StreamThrough(const ArrayOfDataType& stream, const std::vector<int32_t>& chunks) {
  ArrayOfDataType window(kN, 0), produced;
  Resampled r;
  size_t at = 0;
  for (int32_t m : chunks) {
    std::copy(window.begin() + m, window.end(), window.begin());
    std::copy(stream.begin() + at, stream.begin() + at + m, window.end() - m);
    at += m;
    const int32_t before = r.length;
    int32_t pps = 0;
    const int32_t s = Resample(window.data(), kN, m, kR, r.Window(), pps);
    produced.insert(produced.end(), r.buffer.begin() + std::max(before - s, 0),
                    r.buffer.begin() + r.length);
  }
  return produced;
}

TEST(Resampler, SameOutputWhetherTheDataComeInOneBlockOrMany) {
  std::mt19937 gen(11);
  std::uniform_int_distribution<int32_t> value(-100000, 100000);
  std::uniform_int_distribution<int32_t> frames(10, 300);
  ArrayOfDataType stream(8 * 1900);
  for (int32_t& v : stream) v = value(gen);
  std::vector<int32_t> many;
  int32_t left = 1900;
  while (left > 0) {
    const int32_t f = std::min(frames(gen), left);
    many.push_back(8 * f);
    left -= f;
  }
  const ArrayOfDataType once = StreamThrough(stream, {8 * 1900});
  ASSERT_EQ(once.size(), 190u * 8);
  EXPECT_EQ(StreamThrough(stream, many), once);
}

}  // namespace
