#include "station/acquisition.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "platform/clock.h"
#include "processing/conditioning.h"
#include "processing/fir_filter.h"
#include "station/converter.h"
#include "station/pps.h"

namespace {

constexpr int64_t kStartMs = 1'780'315'200'000;  // 2026-06-01 12:00:00.000 UTC
const ArrayOfReal kGain(8, 1.0);

TProgParam Params(int32_t sampleRate) {
  TProgParam P;
  P.SampleRate = sampleRate;
  P.ReSampling = 1;
  P.PPSChannel = 3;
  P.PPSTreshold = 5;
  P.PPSLevel = P.PPSPeak = kInitialPPSLevel;
  P.LSBin = ArrayOfReal(8, 1.0);
  P.AVGin = ArrayOfChannels(8, 0);
  return P;
}

// Frames of a stream: channel 3 carries pulses of 30 frames at `pulses`.
ArrayOfDataType Stream(int32_t firstFrame, int32_t frames, const std::set<int32_t>& pulses) {
  ArrayOfDataType v(8 * frames);
  for (int32_t f = 0; f < frames; ++f) {
    const int32_t g = firstFrame + f;
    bool high = false;
    for (int32_t p : pulses) high |= g >= p && g < p + 30;
    for (int c = 0; c < 8; ++c) v[8 * f + c] = (g * 8 + c) % 97 - 40;
    v[8 * f + 3] = high ? 9000 : -1000;
  }
  return v;
}

// First frames of the runs of 9000 on channel 3.
std::vector<int32_t> PulseFrames(const ArrayOfDataType& data) {
  std::vector<int32_t> starts;
  bool high = false;
  for (size_t i = 3; i < data.size(); i += 8) {
    const bool now = data[i] >= 9000;
    if (now && !high) starts.push_back(static_cast<int32_t>(i / 8));
    high = now;
  }
  return starts;
}

class Acquisition : public ::testing::Test {
 protected:
  void SetUpStation(int32_t sampleRate) {
    P = Params(sampleRate);
    AllocateBuffers(s, P, false);
    s.LastPPSLevelTime = kStartMs;
  }
  CycleResult Append(const ArrayOfDataType& block, int64_t atMs = kStartMs,
                     DisplayUnitKind unit = DisplayUnitKind::Counts, const CycleHooks& hooks = {}) {
    s.RawBlock = block;
    return AppendBlock(s, P, kGain, unit, atMs, hooks);
  }
  StationState s;
  TProgParam P;
};

TEST_F(Acquisition, EightyValuesAreNotAppendedEightyEightAppendOneFrame) {
  SetUpStation(10);
  const ArrayOfDataType before = s.DataBuffer;
  EXPECT_FALSE(Append(ArrayOfDataType(80, 5)).appended);
  EXPECT_FALSE(Append(ArrayOfDataType(92, 5)).appended);  // not whole frames
  EXPECT_EQ(s.DataBuffer, before);
  EXPECT_EQ(s.OutputBuffer, nullptr);

  P.AVGin = {10, 20, 30, 40, 50, 60, 70, 80};
  ArrayOfDataType block(88), data(80, 0), raw(80, 0), carry;
  for (int k = 0; k < 88; ++k) {
    block[k] = 1000 + k;
    // The initial carry, then the block's first frame; the rest is carried with its averages.
    (k < 8 ? data : carry).push_back(1000 + k + P.AVGin[k % 8]);
    if (k < 8) raw.push_back(1000 + k);
  }
  const CycleResult r = Append(block);
  ASSERT_TRUE(r.appended);
  EXPECT_EQ(r.newCount, 88);
  EXPECT_EQ(ArrayOfDataType(s.DataBuffer.end() - 88, s.DataBuffer.end()), data);
  EXPECT_EQ(ArrayOfDataType(s.RawBuffer.end() - 88, s.RawBuffer.end()), raw);
  EXPECT_EQ(s.CarryBlock, carry);
  EXPECT_EQ(std::pair(s.OutputBuffer, s.OutputPPS), std::pair(&std::as_const(s.DataBuffer), &std::as_const(s.DataPPS)));
}

// The offsets are the rounded means of the raw window, removed from the data
// when compensation is on.
TEST_F(Acquisition, OffsetsAreTheRoundedMeansOfTheRawWindow) {
  for (bool compensate : {true, false}) {
    SetUpStation(10);
    P.Converter.OffsetCompensation = compensate;
    const int32_t N = s.BufferLength;
    for (int cycle = 0; cycle < 3; ++cycle) Append(ArrayOfDataType(N, 1000));
    EXPECT_EQ(s.Offsets, ArrayOfDataType(8, 1000));
    EXPECT_EQ(s.DataBuffer, ArrayOfDataType(N, compensate ? 0 : 1000)) << compensate;
  }
  SetUpStation(10);
  // Channel 0 alternates 2, 3 (mean 2.5), channel 1 alternates 3, 4 (mean 3.5);
  // the twelve new frames (two carried, ten of the block) keep the alternation.
  const auto alternate = [](ArrayOfDataType& v) {
    for (size_t f = 0; f < v.size() / 8; ++f) {
      v[8 * f] = 2 + f % 2;
      v[8 * f + 1] = 3 + f % 2;
    }
  };
  std::fill(s.RawBuffer.begin(), s.RawBuffer.end(), 0);
  alternate(s.RawBuffer);
  s.CarryBlock.assign(16, 0);
  alternate(s.CarryBlock);
  ArrayOfDataType block(8 * 20, 0);
  alternate(block);
  Append(block);
  EXPECT_EQ(ArrayOfDataType(s.Offsets.begin(), s.Offsets.begin() + 3), (ArrayOfDataType{2, 4, 0}));
}

// The display window is the data window in the display unit, shifted and
// filled alike, and stays while paused.
TEST_F(Acquisition, DisplayFollowsTheDataInItsUnitAndStaysWhilePaused) {
  SetUpStation(10);
  P.LSBin = {2.5, 1, 1, 1, 1, 1, 1, 3};
  ArrayOfDataType block(8 * 100);
  for (size_t k = 0; k < block.size(); ++k) block[k] = static_cast<int32_t>(k % 7) - 3;
  const DisplayFactors f = MakeDisplayFactors(DisplayUnitKind::NanoMetrePerSecond, P.LSBin, kGain);
  for (int cycle = 0; cycle < 2; ++cycle) Append(block, kStartMs, DisplayUnitKind::NanoMetrePerSecond);
  ArrayOfDataType expected(s.DataBuffer.size());
  for (int32_t i = 0; i < s.BufferLength; ++i) expected[i] = ConvertValueForDisplay(s.DataBuffer[i], i, f);
  EXPECT_TRUE(s.DisplayBuffer == expected);
  s.DisplayPaused = true;
  Append(block, kStartMs, DisplayUnitKind::NanoMetrePerSecond);
  EXPECT_TRUE(s.DisplayBuffer == expected);
}

// A pulse 2 to 5 frames off one second after the last is moved there by
// inserted or removed frames; further off, nothing is corrected.
TEST_F(Acquisition, SamplingRateCorrectionKeepsOneSecondBetweenPulses) {
  // interval: frames between the two pulses of the block; spacing: between them in the window.
  const struct { int32_t interval; std::vector<int32_t> corrections; int32_t spacing; size_t carry; } rows[] = {
      {98, {2}, 100, 96}, {102, {-2}, 100, 64}, {95, {5}, 100, 120},
      {106, {}, 106, 80}, {94, {}, 94, 80},     {100, {}, 100, 80}};
  for (const auto& c : rows) {
    SCOPED_TRACE(c.interval);
    SetUpStation(100);
    P.PPSLevel = -500;
    const CycleResult r = Append(Stream(0, 300, {20, 20 + c.interval}));
    EXPECT_EQ(r.rateCorrections, c.corrections);
    const std::vector<int32_t> pulses = PulseFrames(s.DataBuffer);
    ASSERT_EQ(pulses.size(), 2u);
    EXPECT_EQ(pulses[1] - pulses[0], c.spacing);
    EXPECT_EQ(s.CarryBlock.size(), c.carry);
    EXPECT_EQ(r.ppsPosition, 8 * pulses[1]);
  }
}

TEST_F(Acquisition, InsertionInAShortBlockCarriesTheUnusedCarryAgain) {
  SetUpStation(100);
  P.PPSLevel = 4000;
  P.Converter.OffsetCompensation = false;
  P.AVGin = ArrayOfChannels(8, 5);
  const int32_t F = s.BufferLength / 8;
  // The pulse at F - 20 comes 98 frames after the previous one and completes
  // inside the 11 new frames, so 2 frames are inserted and the window ends
  // before the last carried frame.
  const std::set<int32_t> pulses = {F - 318, F - 218, F - 118, F - 20};
  const ArrayOfDataType old = Stream(0, F, pulses);
  std::copy(old.begin(), old.end(), s.DataBuffer.begin());
  // The averages of 5 are added to the carried frames as they arrive.
  const auto plus5 = [](ArrayOfDataType v) {
    for (int32_t& x : v) x += 5;
    return v;
  };
  s.CarryBlock = plus5(Stream(F, 10, pulses));
  const ArrayOfDataType block = Stream(F + 10, 11, pulses);
  const CycleResult r = Append(block);
  ASSERT_EQ(r.rateCorrections, std::vector<int32_t>{2});
  ASSERT_EQ(s.CarryBlock.size(), 96u);
  // The last carried frame comes again, then the block; the window ends with
  // the frame before it.
  EXPECT_EQ(s.CarryBlock, plus5(Stream(F + 9, 12, pulses)));
  EXPECT_EQ(ArrayOfDataType(s.DataBuffer.end() - 8, s.DataBuffer.end()), plus5(Stream(F + 8, 1, pulses)));
}

TEST_F(Acquisition, BlockLongerThanTheWindowKeepsItsNewestValues) {
  SetUpStation(10);
  const int32_t N = s.BufferLength;
  ArrayOfDataType block(N + 800);
  for (size_t k = 0; k < block.size(); ++k) block[k] = static_cast<int32_t>(k);
  const CycleResult r = Append(block);
  ASSERT_TRUE(r.appended);
  EXPECT_EQ(r.newCount, N);
  EXPECT_EQ(s.DataBuffer[N - 1], N + 800 - 81);
  EXPECT_EQ(s.DataBuffer[0], 800 - 80);
  EXPECT_EQ(s.CarryBlock.size(), 80u);
}

// The FIR filter behind the cycle's filter step, as the controller wires it.
struct FirStep final : CycleFilter {
  explicit FirStep(const TProgParam& params) : P(params) {}
  int32_t FilterStep(const ArrayOfDataType& data, int32_t newCount, ArrayOfDataType& filtered,
                     int32_t& filteredLength, int32_t& ppsPosition) override {
    ++calls;
    return RunFilter(data, filtered, filteredLength, P, newCount, ppsPosition);
  }
  const TProgParam& P;
  int calls = 0;
};

TEST_F(Acquisition, OutputIsResampledElseFilteredElseTheDataWindow) {
  SetUpStation(10);
  P.Filter.Coefs = {1.0};
  FirStep filter(P);
  const ArrayOfDataType block = Stream(0, 100, {});
  Append(block, kStartMs, DisplayUnitKind::Counts, {&filter, nullptr});
  EXPECT_EQ(filter.calls, 0);  // no filter loaded
  EXPECT_EQ(s.OutputBuffer, &s.DataBuffer);

  P.Filter.Loaded = true;
  P.ReSampling = 1;
  AllocateBuffers(s, P);
  const CycleResult r = Append(block, kStartMs, DisplayUnitKind::Counts, {&filter, nullptr});
  EXPECT_EQ(filter.calls, 1);
  EXPECT_EQ(std::pair(s.OutputBuffer, s.OutputPPS),
            std::pair(&std::as_const(s.FilteredBuffer), &std::as_const(s.FilteredPPS)));
  EXPECT_EQ(r.outputNewCount, r.newCount);

  P.ReSampling = 10;
  AllocateBuffers(s, P);
  const CycleResult q = Append(block, kStartMs, DisplayUnitKind::Counts, {&filter, nullptr});
  EXPECT_EQ(std::pair(s.OutputBuffer, s.OutputPPS),
            std::pair(&std::as_const(s.ResampledBuffer), &std::as_const(s.ResampledPPS)));
  EXPECT_EQ(q.outputNewCount, 11 * 8);  // 100 frames / 10 + 1 (window full at start)
}

TEST_F(Acquisition, ResamplerReadsOnlyTheFilteredFramesAlreadyComputed) {
  SetUpStation(100);
  P.Converter.OffsetCompensation = false;
  P.Filter.Loaded = true;
  P.Filter.Coefs = {0.25, 0.5, 0.25};
  P.ReSampling = 10;
  AllocateBuffers(s, P);
  FirStep filter(P);
  ArrayOfDataType block(8 * 100);
  for (size_t k = 0; k < block.size(); ++k) block[k] = k % 8 == 3 ? -1000 : 1000;
  for (int cycle = 0; cycle < 6; ++cycle)
    Append(block, kStartMs + 1000 * cycle, DisplayUnitKind::Counts, {&filter, nullptr});
  ASSERT_EQ(s.OutputBuffer, &s.ResampledBuffer);
  // The newest 40 output frames come from constant input only; the frames
  // the filter has not reached yet must not be averaged in.
  for (int32_t f = 1; f <= 40; ++f)
    EXPECT_EQ(s.ResampledBuffer[s.ResampledLength - 8 * f], 1000) << f;
}

// Tags hold consecutive whole seconds `spacing` values apart.
void ExpectConsecutiveSeconds(const TArrayOfPPS& tags, int32_t spacing, int atLeast) {
  int count = 0;
  for (size_t r = 0; r < tags.size() && tags[r].Time != 0; ++r, ++count) {
    EXPECT_EQ(DateTimeToMs(tags[r].Time) % 1000, 0) << r;
    if (r == 0) continue;
    EXPECT_EQ(DateTimeToMs(tags[r].Time) - DateTimeToMs(tags[r - 1].Time), 1000) << r;
    EXPECT_EQ(tags[r].Index - tags[r - 1].Index, spacing) << r;
  }
  EXPECT_GE(count, atLeast);
}

// The simulated converter read once per 1000 ms of a manual clock.
TEST(SimulatedAcquisition, PulseFoundAfterFifteenSecondsThenWholeSecondsTagged) {
  ManualClock clock{kStartMs};
  SimulatedConverter converter(clock, 2024);
  StationState s;
  TProgParam P = Params(1000);
  P.ReSampling = 10;
  AllocateBuffers(s, P, false);
  s.LastPPSLevelTime = kStartMs;
  int detectedAt = -1;
  CycleResult last;
  for (int n = 1; n <= 40; ++n) {
    clock.AdvanceMs(1000);
    converter.ADReadBlock(0, s.RawBlock);
    last = AppendBlock(s, P, converter.ADGain(), DisplayUnitKind::Counts, clock.NowUnixMs());
    s.RawBlock.clear();
    if (last.ppsDetectedNow && detectedAt < 0) detectedAt = n;
    EXPECT_TRUE(last.rateCorrections.empty());
    EXPECT_EQ(last.newCount, 8000);
    EXPECT_FALSE(last.ppsLostNow);
  }
  EXPECT_GE(detectedAt, 15);
  EXPECT_LE(detectedAt, 17);
  EXPECT_TRUE(s.PPSAtADInput);
  EXPECT_EQ(P.PPSLevel, -500);
  EXPECT_EQ(P.PPSPeak, 9000);
  // Read on the whole second: its pulse is still to come, the last one lies
  // 990 frames back (10 frames wait in the carry).
  EXPECT_NEAR(last.e, -0.990, 1e-9);
  EXPECT_EQ(last.editTimeTag, "-0.990s");
  EXPECT_EQ(DateTimeToUnixMs(last.T), clock.NowUnixMs() - 1000);
  ExpectConsecutiveSeconds(s.DataPPS, 8000, 20);
  ExpectConsecutiveSeconds(s.ResampledPPS, 800, 20);
  EXPECT_EQ(s.OutputPPS, &s.ResampledPPS);
}

}  // namespace
