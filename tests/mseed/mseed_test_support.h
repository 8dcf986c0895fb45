#pragma once
// Records made by the packer and read back with libmseed's own unpacking.
#include <libmseed.h>

#include <cstring>
#include <string>
#include <vector>

#include "mseed/mseed_record.h"

struct DecodedRecord {
  std::string Channel;
  int64_t StartUs = 0;
  std::vector<int32_t> Samples;
  int Quality = -1;  // B1001 timing quality, -1 without B1001
  uint8_t IoFlags = 0, DqFlags = 0;
  int Encoding = -1;
  bool Ok = false;
};

inline DecodedRecord Decode(const char* data) {
  DecodedRecord d;
  MSRecord* msr = nullptr;
  if (msr_unpack(const_cast<char*>(data), kMseedRecordLength, &msr, 1, 0) == MS_NOERROR) {
    d.Ok = msr->sampletype == 'i' && msr->reclen == kMseedRecordLength;
    d.Channel = msr->channel;
    d.StartUs = msr->starttime;
    const int32_t* s = static_cast<const int32_t*>(msr->datasamples);
    if (d.Ok) d.Samples.assign(s, s + msr->numsamples);
    d.Quality = msr->Blkt1001 ? msr->Blkt1001->timing_qual : -1;
    d.IoFlags = msr->fsdh->io_flags;
    d.DqFlags = msr->fsdh->dq_flags;
    d.Encoding = msr->encoding;
  }
  if (msr) msr_free(&msr);
  return d;
}

inline uint16_t Be16At(const char* p) {
  return static_cast<uint16_t>((static_cast<uint8_t>(p[0]) << 8) | static_cast<uint8_t>(p[1]));
}

// A Steim-2 workout: steps of every size between neighbours.
inline std::vector<int32_t> TestSignal(size_t n, uint32_t seed) {
  std::vector<int32_t> v(n);
  uint32_t x = seed;
  int32_t level = 0;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1664525u + 1013904223u;
    const int bits = static_cast<int>((x >> 8) % 28) + 1;
    level += static_cast<int32_t>((x >> 3) % (1u << bits)) - (1 << (bits - 1));
    level = std::max(-100'000'000, std::min(100'000'000, level));
    v[i] = level;
  }
  return v;
}
