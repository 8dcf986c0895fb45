#pragma once
// Sample arrays interleave the eight channels: value k belongs to channel
// k mod 8; eight consecutive values from a multiple of 8 form one frame.
#include <cstdint>
#include <string>
#include <vector>

#include "common/datetime.h"

using ArrayOfDataType = std::vector<int32_t>;
using ArrayOfChannels = std::vector<int32_t>;
using ArrayOfReal = std::vector<double>;
using TArrayOfString = std::vector<std::string>;

constexpr int kChannelCount = 8;

// A whole UTC second (`Time`, 0 = free entry) and the buffer position of the
// first value of the frame that begins it.
struct TPPSRecord {
  TDateTime Time = 0;
  int32_t Index = 0;
  bool operator==(const TPPSRecord&) const = default;
};
using TArrayOfPPS = std::vector<TPPSRecord>;

constexpr int kPPSTagCount = 185;
