#pragma once
// Records made by the packer and read back with libmseed's own unpacking.
#include <libmseed.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "mseed/mseed_record.h"

constexpr int64_t kNoonUs = 1'768'478'400'000'000LL;  // 2026-01-15 12:00:00 (day 015)

struct DecodedRecord {
  std::string Channel, Text;  // Text: the payload of an ASCII record
  int64_t StartUs = 0;
  std::vector<int32_t> Samples;
  int Quality = -1;  // B1001 timing quality, -1 without B1001
  uint8_t IoFlags = 0, DqFlags = 0;
  int Encoding = -1;
  bool Ok = false;  // a whole record of integer samples
  bool Unpacked = false;
};

inline DecodedRecord Decode(const char* data) {
  DecodedRecord d;
  MSRecord* msr = nullptr;
  if (msr_unpack(const_cast<char*>(data), kMseedRecordLength, &msr, 1, 0) == MS_NOERROR) {
    d.Unpacked = true;
    d.Ok = msr->sampletype == 'i' && msr->reclen == kMseedRecordLength;
    d.Channel = msr->channel;
    d.StartUs = msr->starttime;
    const int32_t* s = static_cast<const int32_t*>(msr->datasamples);
    if (d.Ok) d.Samples.assign(s, s + msr->numsamples);
    if (msr->sampletype == 'a') d.Text.assign(static_cast<const char*>(msr->datasamples), msr->numsamples);
    d.Quality = msr->Blkt1001 ? msr->Blkt1001->timing_qual : -1;
    d.IoFlags = msr->fsdh->io_flags;
    d.DqFlags = msr->fsdh->dq_flags;
    d.Encoding = msr->encoding;
  }
  if (msr) msr_free(&msr);
  return d;
}

// Every record of a file of records, in order.
inline std::vector<DecodedRecord> DecodeAll(const std::string& bytes) {
  std::vector<DecodedRecord> out;
  for (size_t at = 0; at + kMseedRecordLength <= bytes.size(); at += kMseedRecordLength)
    out.push_back(Decode(bytes.data() + at));
  return out;
}

inline uint16_t Be16At(const char* p) {
  return static_cast<uint16_t>((static_cast<uint8_t>(p[0]) << 8) | static_cast<uint8_t>(p[1]));
}

// A Steim-2 workout: differences between neighbours of every size up to 30 bits.
inline std::vector<int32_t> TestSignal(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<int32_t> v(n);
  for (int32_t& x : v) x = static_cast<int32_t>(rng()) >> (rng() % 29 + 3);
  return v;
}

// The records of XX.IDX of one channel, its samples fed second by second as the station does.
inline std::vector<MseedRecord> Pack(const std::vector<int32_t>& v, int64_t startUs, int rate = 100,
                                     SecondTiming timing = TimingOf(true, true), const std::string& location = "",
                                     const std::string& channel = "BHZ") {
  std::vector<MseedRecord> out;
  MiniSeedPacker packer("XX", "IDX", location, rate, [&out](const MseedRecord& r) { out.push_back(r); });
  for (size_t at = 0; at < v.size(); at += rate)
    packer.AddSecond(channel, startUs + static_cast<int64_t>(at / rate) * 1'000'000, v.data() + at,
                     std::min<size_t>(rate, v.size() - at), timing);
  packer.FlushAll();
  return out;
}
