#pragma once
// Alignment of the data to the GPS pulse per second found in the converter's
// PPS channel, and the UTC time tags of the windows. Pure functions; the
// cycle logs what they report.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/types.h"

inline constexpr const char* kLogPPSDetected = "Tim: PPS detected and used.";
inline constexpr const char* kLogPPSLost = "Err: PPS is at least 60 seconds off (at A/D input).";
// A rate correction result that is not a whole number of frames.
constexpr int32_t kRateCorrectionError = -2147483647;  // 0x80000001

// A pulse is a run of at least this many high frames.
constexpr int32_t kPPSMinRunFrames = 25;
// At most this many values (5 frames) are inserted or dropped per pulse.
constexpr int32_t kMaxRateCorrection = 40;
// The level follows the PPS channel's range at most this often.
constexpr int64_t kPPSLevelIntervalSeconds = 15;

std::string RateCorrectionLogText(int32_t n);

// Counts high values of the PPS channel; when a run reaches 25 frames,
// `position` becomes the first value of the run's first frame.
inline void DetectPPS(int32_t i, int32_t value, int32_t ppsChannel, int32_t level,
                      int32_t& position, int32_t& runCounter) {
  if ((i & 7) != ppsChannel) return;
  if (value >= level) {
    if (++runCounter == kPPSMinRunFrames) position = i - 8 * (kPPSMinRunFrames - 1) - ppsChannel;
  } else {
    runCounter = 0;
  }
}

// Detection over [begin, end) of `data`, in position order. Every pulse
// found (position > 0) is also appended to `found` when given.
void DetectPPSRange(const int32_t* data, int32_t begin, int32_t end, int32_t ppsChannel,
                    int32_t level, int32_t& position, int32_t& runCounter,
                    std::vector<int32_t>* found = nullptr);

// Keeps exactly one second of frames between the pulses at prevPPS and curPPS
// of `data` (`n` values). i and j are the fill loop's window position and
// source index, already at the value that completed the pulse; they are moved
// so that the loop rewrites the data from the pulse frame on. `sourceEnd` is
// the source index one past the last value that may be read (the block's
// length), so a removal never runs the fill past its source.
// Returns frames inserted (> 0), removed (< 0), 0, or kRateCorrectionError.
struct RateCorrectionArgs {
  int32_t* data;
  int32_t n;
  int32_t sampleRate;
  int32_t ppsChannel;
  bool carryHadValues;
  int32_t sourceEnd;
};
int32_t CorrectSamplingRate(const RateCorrectionArgs& a, int32_t& prevPPS, int32_t& curPPS,
                            int32_t& i, int32_t& j);

// Updates `level`/`peak`/`lastLevelMs` from the PPS channel's range of this
// cycle; returns true when it did. Times are Unix ms.
bool UpdatePPSLevel(int32_t min, int32_t max, int32_t tresholdPercent, int64_t nowMs,
                    int64_t& lastLevelMs, int32_t& level, int32_t& peak);

// The time error of the latest pulse: e = numerator / (1000 × sampleRate) s,
// kept in integers so that the bounds of the PPS second are exact.
struct PPSTimeError {
  int64_t numerator = 0;
  int64_t denominator = 1;
  double Seconds() const { return static_cast<double>(numerator) / static_cast<double>(denominator); }
};
PPSTimeError ComputePPSTimeError(int64_t nowUnixMs, int32_t prevPPS, int32_t n, int32_t sampleRate);

// The whole UTC second the pulse belongs to (Unix ms); none when e fits none.
std::optional<int64_t> ComputePPSSecond(const PPSTimeError& e, int64_t nowUnixMs);

struct TagUpdateArgs {
  int32_t ppsPosition;  // 0 = no pulse in this window
  int32_t newCount;     // how far the window moved
  int64_t nowMs;        // Unix ms; the clock fallback's tag
  TDateTime T;          // PPS second, 0 = unknown
  int32_t windowLength;
  bool ppsAtADInput;
  bool saveNoPPS;
  // Pulses of this window before ppsPosition, oldest first, with their
  // seconds: a cycle longer than a second brings more than one.
  const std::vector<TPPSRecord>* earlier = nullptr;
};
// Moves the tags with the window, drops those that left it and adds this
// cycle's tags. A pulse second is tagged once, in time and window order; while
// the pulse is present a cycle without a new second adds nothing. Returns the
// number of tags before the newest place, or −1 when the array is full
// (nothing added).
int32_t UpdateTimeTags(TArrayOfPPS& tags, const TagUpdateArgs& a);

struct PPSPresence {
  std::string editTimeTag;
  bool detectedNow = false;  // log kLogPPSDetected
  bool lostNow = false;      // log kLogPPSLost
};
// Watches whether the pulse is within ±60 s; updates `ppsAtADInput`.
PPSPresence CheckPPSPresence(const PPSTimeError& e, bool& ppsAtADInput);

// "-0.750s": the error with 3 decimals.
std::string FormatTimeError(const PPSTimeError& e);
