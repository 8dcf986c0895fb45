#include "processing/conditioning.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

TEST(Offsets, RoundedMeansHalvesToEvenAndTheirLogText) {
  const struct {
    int64_t sum, frames;
    int32_t expected;
  } rows[] = {{5, 2, 2},   {7, 2, 4},   {-5, 2, -2}, {-7, 2, -4},  {1, 2, 0},
              {-1, 2, 0},  {9, 4, 2},   {11, 4, 3},  {-11, 4, -3}, {360000000000LL, 180000, 2000000},
              {42, 0, 0}};
  for (const auto& r : rows) EXPECT_EQ(RoundedMean(r.sum, r.frames), r.expected) << r.sum << "/" << r.frames;
  EXPECT_EQ(OffsetsText({2, 4, -2, 0, 4, 0, 2, -2}), "2 4 -2 0 4 0 2 -2");
}

constexpr double kG = 0.004656612873077393;
const ArrayOfReal kLsb{2.5, 0.5, 1, 1, 1, 1, 1, 3};
const ArrayOfReal kGain{kG, kG, kG, kG, kG, kG, kG, 1.0};

ArrayOfDataType Convert(DisplayUnitKind unit, const ArrayOfReal& lsb, const ArrayOfDataType& src) {
  ArrayOfDataType dst(src.size(), -1);
  const int32_t n = static_cast<int32_t>(src.size());
  ConvertForDisplay(src.data(), dst.data(), 0, n, MakeDisplayFactors(unit, lsb, kGain));
  return dst;
}

// Counts pass unchanged, velocities scale by LSBin, µV by the gain; large
// products saturate instead of wrapping.
TEST(DisplayConversion, EachUnitScalesByItsFactor) {
  const ArrayOfDataType raw{1, -2, 3, INT32_MAX, -5, 6, 7, INT32_MIN};
  EXPECT_EQ(Convert(DisplayUnitKind::Counts, kLsb, raw), raw);
  const ArrayOfDataType src{1, 5, 0, 0, 0, 0, 0, 1000};
  // 2.5 and 2.5 round to even.
  EXPECT_EQ(Convert(DisplayUnitKind::MilliMetrePerSecond, kLsb, src), (ArrayOfDataType{2, 2, 0, 0, 0, 0, 0, 3000}));
  EXPECT_EQ(Convert(DisplayUnitKind::MicroVolt, kLsb, src), (ArrayOfDataType{0, 0, 0, 0, 0, 0, 0, 1000}));
  const ArrayOfDataType large{536870912, -536870912, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(Convert(DisplayUnitKind::NanoMetrePerSecond, ArrayOfReal(8, 10.0), large),
            (ArrayOfDataType{INT32_MAX, INT32_MIN, 0, 0, 0, 0, 0, 0}));
}

TEST(DisplayConversion, RangesStartingMidFrameMatchValueByValue) {
  std::mt19937 gen(5);
  std::uniform_int_distribution<int32_t> dist(-2147483647 - 1, 2147483647);
  ArrayOfDataType src(8 * 300);
  for (int32_t& v : src) v = dist(gen);
  src[16] = INT32_MIN;
  src[17] = INT32_MAX;
  src[25] = INT32_MIN;  // times -1 leaves 32 bits
  // Factors in (-1, 1] take the path without clamping, larger ones clamp.
  // Just above -1 INT32_MIN still rounds to 2^31; non-finite and huge
  // factors must not reach the frame loops built for finite products.
  const double nearMinusOne = std::nextafter(-1.0, 0.0);
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const ArrayOfReal& lsbin : {ArrayOfReal{0.37, -0.999, 1, 0.001, 0.5, 0.25, 0.999, 0.75},
                                   ArrayOfReal{0.37, -1, 1, 0.001, 0.5, 0.25, 0.999, 0.75},
                                   ArrayOfReal{0.37, nearMinusOne, 1, 0.001, 0.5, 0.25, 0.9, 0.75},
                                   ArrayOfReal{0.37, 1.5, 2.25, 0.001, 7, 1, 0.5, 3},
                                   ArrayOfReal{0.37, 1.5, inf, nan, -inf, 1e300, 0.5, 3}}) {
    const DisplayFactors f = MakeDisplayFactors(DisplayUnitKind::NanoMetrePerSecond, lsbin, kGain);
    ArrayOfDataType bulk(src.size(), -1), single(src.size(), -1);
    ConvertForDisplay(src.data(), bulk.data(), 3, 2390, f);
    for (int32_t i = 3; i < 2390; ++i) single[i] = ConvertValueForDisplay(src[i], i, f);
    EXPECT_EQ(bulk, single);
  }
}

TEST(ConditionValue, AddsAverageRemovesOffsetAndSaturates) {
  EXPECT_EQ(ConditionValue(1000, 10, 1000, true), 10);
  EXPECT_EQ(ConditionValue(1000, 10, 1000, false), 1010);
  EXPECT_EQ(ConditionValue(2147483647, 10, 0, false), INT32_MAX);
  EXPECT_EQ(ConditionValue(-2147483647, -10, 5, true), INT32_MIN);
}

}  // namespace
