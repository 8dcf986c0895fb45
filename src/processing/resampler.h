#pragma once
// Decimation of a sliding window by an integer factor with averaging.
#include <cstdint>

#include "common/types.h"

// Length of the decimated window for a source window of `bufferLength` values.
int32_t ResampledBufferLength(int32_t bufferLength, int32_t factor);

struct ResamplerWindow {
  ArrayOfDataType& buffer;  // ResampledBuffer
  int32_t& length;          // ResampledLength: valid values in `buffer`
  int32_t& sourcePos;       // ResampledSourcePos: source consumed up to here
};

// One cycle: the source window (`sourceLength` values) has moved by
// `newCount` values. Appends one output frame per `factor` unconsumed source
// frames while the output has room. `ppsPosition` (source position, 0 = none)
// becomes the output position of the frame that carries the pulse, or 0 when
// no output frame carries it in this cycle. Returns the resampled new count:
// how far the output window moved.
int32_t Resample(const int32_t* source, int32_t sourceLength, int32_t newCount, int32_t factor,
                 ResamplerWindow out, int32_t& ppsPosition);

// Output position of the frame that carries the pulse at source position `q`,
// by the same rule as Resample, once the resampler has consumed its source up
// to `sourcePos` into `length` output values: the consumed blocks lie back to
// back behind both ends. 0 while that frame is not made yet or has left the
// window, so a pulse found after its block was averaged is still placed.
int32_t ResampledPulsePosition(int32_t q, int32_t sourcePos, int32_t length, int32_t factor);
