#pragma once
// The filter coefficient file and the offsets file "offsets.bin".
#include <cstdint>
#include <string>

#include "common/types.h"

constexpr char kOffsetsFileName[] = "offsets.bin";
constexpr int64_t kOffsetsMaxAgeHours = 3;

// One real number per line (CR LF or LF, one line break after the last number
// allowed), normalised so that the coefficients sum to 1. False, with `coefs`
// cleared, when the file is missing or empty, a line (blank lines included) is
// not a number, or the numbers sum to 0.
bool LoadFilterFile(const std::string& path, ArrayOfReal& coefs);

// Loads the offsets from `programDir` + "offsets.bin" when the file was last
// written less than 3 whole hours from `nowUnixMs` (either way: a file stamped
// in the future by a clock that was wrong is as stale). `offsets` is made 8
// entries long; channel n takes line n, a line that is not a number gives 0,
// and so do the channels of lines missing from a short file. A missing, stale
// or unreadable file leaves `offsets` untouched.
void ReadOffsets(const std::string& programDir, ArrayOfDataType& offsets, int64_t nowUnixMs);
// Writes the first 8 offsets, CR LF between them and none after the last,
// replacing the file atomically. False when it could not be written or when
// there is nothing to write (the old file then stays).
bool WriteOffsets(const std::string& programDir, const ArrayOfDataType& offsets);
// True when the file is gone afterwards (a missing file included).
bool DeleteOffsets(const std::string& programDir);
