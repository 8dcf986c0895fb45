#pragma once
// Which converter inputs a data file holds, under which auxiliary id, channel
// code and calibration, and the low-gain substitution of double sensitivity.
#include <cstdint>
#include <string>
#include <vector>

#include "config/progparam.h"

struct SavedChannel {
  int Input = 0;
  std::string AuxId;
  std::string Code;
  double Calibration = 0;
};

// Saved inputs in input order (their count is the number of saved channels).
std::vector<SavedChannel> BuildChannelTable(const TProgParam& p);

// High-gain inputs 1, 3, 5 lose their use at this magnitude (2^29 / 10).
constexpr int32_t kHighGainLimit = 53'687'091;

// With double sensitivity and not all channels, an unusable high gain is
// written from the low-gain input below it: the low-gain input for `input`,
// or -1 when `input` keeps its own data.
int LowGainSourceFor(const TProgParam& p, bool highGainUsable, int input);

// value x LSBin(low) / LSBin(high), rounded half to even and held in range.
int32_t ConvertLowToHighGain(int32_t value, double lsbLow, double lsbHigh);
