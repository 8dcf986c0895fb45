#include "processing/conditioning.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

TEST(RoundedMean, RoundsHalvesToEven) {
  const struct {
    int64_t sum, frames;
    int32_t expected;
  } rows[] = {{5, 2, 2},   {7, 2, 4},   {-5, 2, -2}, {-7, 2, -4},  {1, 2, 0},
              {-1, 2, 0},  {9, 4, 2},   {11, 4, 3},  {-11, 4, -3}, {360000000000LL, 180000, 2000000},
              {42, 0, 0}};
  for (const auto& r : rows) EXPECT_EQ(RoundedMean(r.sum, r.frames), r.expected) << r.sum << "/" << r.frames;
}

TEST(OffsetsFromSums, UseTheFramesOfTheWindow) {
  std::array<int64_t, kChannelCount> sums{5, 7, -5, 0, 8, 1, 3, -3};
  ArrayOfDataType offsets;
  OffsetsFromSums(sums, 16, offsets);  // 2 frames
  EXPECT_EQ(offsets, (ArrayOfDataType{2, 4, -2, 0, 4, 0, 2, -2}));
  EXPECT_EQ(OffsetsText(offsets), "2 4 -2 0 4 0 2 -2");
}

TEST(DisplayUnit, DivisorOfEachUnit) {
  EXPECT_EQ(DisplayDivisor(DisplayUnitKind::Counts), 1);
  EXPECT_EQ(DisplayDivisor(DisplayUnitKind::MicroVolt), 1);
  EXPECT_EQ(DisplayDivisor(DisplayUnitKind::NanoMetrePerSecond), 1);
  EXPECT_EQ(DisplayDivisor(DisplayUnitKind::MicroMetrePerSecond), 1000);
  EXPECT_EQ(DisplayDivisor(DisplayUnitKind::MilliMetrePerSecond), 1000000);
}

class DisplayConversion : public ::testing::Test {
 protected:
  ArrayOfReal lsb{2.5, 0.5, 1, 1, 1, 1, 1, 3};
  ArrayOfReal gain{0.004656612873077393, 0.004656612873077393, 0.004656612873077393,
                   0.004656612873077393, 0.004656612873077393, 0.004656612873077393,
                   0.004656612873077393, 1.0};
};

// Counts pass unchanged, velocities scale by LSBin, µV by the gain; large
// products saturate instead of wrapping.
TEST_F(DisplayConversion, EachUnitScalesByItsFactor) {
  ArrayOfDataType src{1, -2, 3, 2147483647, -5, 6, 7, -2147483647 - 1}, dst(8, 0);
  ConvertForDisplay(src.data(), dst.data(), 0, 8, MakeDisplayFactors(DisplayUnitKind::Counts, lsb, gain));
  EXPECT_EQ(dst, src);
  src = {1, 5, 0, 0, 0, 0, 0, 1000};
  ConvertForDisplay(src.data(), dst.data(), 0, 8, MakeDisplayFactors(DisplayUnitKind::MilliMetrePerSecond, lsb, gain));
  EXPECT_EQ(dst[0], 2);  // 2.5 to even
  EXPECT_EQ(dst[1], 2);  // 2.5 to even
  EXPECT_EQ(dst[7], 3000);
  ConvertForDisplay(src.data(), dst.data(), 0, 8, MakeDisplayFactors(DisplayUnitKind::MicroVolt, lsb, gain));
  EXPECT_EQ(dst[7], 1000);  // channel 7 gain 1.0
  EXPECT_EQ(dst[0], 0);
  src = {536870912, -536870912, 0, 0, 0, 0, 0, 0};
  ConvertForDisplay(src.data(), dst.data(), 0, 8, MakeDisplayFactors(DisplayUnitKind::NanoMetrePerSecond, ArrayOfReal(8, 10.0), gain));
  EXPECT_EQ(dst[0], INT32_MAX);
  EXPECT_EQ(dst[1], INT32_MIN);
}

TEST_F(DisplayConversion, RangesStartingMidFrameMatchValueByValue) {
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
    const DisplayFactors f = MakeDisplayFactors(DisplayUnitKind::NanoMetrePerSecond, lsbin, gain);
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
