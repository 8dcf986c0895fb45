#pragma once
// The optional FIR filter over the conditioned window. Output frame f depends
// on input frames f … f + T − 1 (oldest first, coefficient t on frame f + t);
// channels below the PPS channel are filtered, the PPS channel and those
// above it pass through with the value of the newest frame of the run.
#include <cstdint>

#include "common/types.h"
#include "config/progparam.h"

// Moves `filtered` left by the cycle's new count, filters the frames of `data`
// that now have all their inputs, updates `filteredLength` and moves
// `ppsPosition` (when set) back by T − 1 frames. Returns the filter's new
// count, `newCount`. With no coefficients nothing changes.
int32_t RunFilter(const ArrayOfDataType& data, ArrayOfDataType& filtered, int32_t& filteredLength,
                  const TProgParam& params, int32_t newCount, int32_t& ppsPosition);

// The filtering alone over plain arrays: `input` and `output` hold `length` values each.
// `filteredLength` is in/out.
void FilterWindow(const int32_t* input, int32_t* output, int32_t length, const double* coefs,
                  int32_t taps, int32_t ppsChannel, int32_t newCount, int32_t& filteredLength);
