#include "station/pps.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Frames from the value that completes a run back to its first value.
int32_t RunBackValues(int32_t ppsChannel) { return 8 * (kPPSMinRunFrames - 1) + ppsChannel + 1; }

}  // namespace

std::string RateCorrectionLogText(int32_t n) {
  return "A/D: Sampling rate correction. (" + std::to_string(n) + ")";
}

void DetectPPSRange(const int32_t* data, int32_t begin, int32_t end, int32_t ppsChannel,
                    int32_t level, int32_t& position, int32_t& runCounter,
                    std::vector<int32_t>* found) {
  if (ppsChannel < 0 || ppsChannel >= kChannelCount) return;
  int32_t i = begin + ((ppsChannel - begin) % 8 + 8) % 8;
  int32_t run = runCounter;
  for (; i < end; i += 8) {
    if (data[i] >= level) {
      if (++run == kPPSMinRunFrames) {
        position = i - 8 * (kPPSMinRunFrames - 1) - ppsChannel;
        if (found && position > 0) found->push_back(position);
      }
    } else {
      run = 0;
    }
  }
  runCounter = run;
}

int32_t CorrectSamplingRate(const RateCorrectionArgs& a, int32_t& prevPPS, int32_t& curPPS,
                            int32_t& i, int32_t& j) {
  if (prevPPS <= 0) {
    prevPPS = curPPS;
    curPPS = 0;
    return 0;
  }
  const int64_t d = static_cast<int64_t>(curPPS) - prevPPS - 8LL * a.sampleRate;
  int32_t result = 0;
  if (d % 8 != 0) {
    result = kRateCorrectionError;
  } else if (d >= -kMaxRateCorrection && d < 0 && curPPS >= 16) {
    // Too few frames since the last pulse: repeat the two frames before it.
    const int32_t count = std::min(static_cast<int32_t>(-d), a.n - curPPS);
    for (int32_t x = curPPS; x < curPPS + count; ++x) a.data[x] = a.data[x - 16];
    i = curPPS + count - 1;
    j -= RunBackValues(a.ppsChannel);
    curPPS += count;
    result = count / 8;
  } else if (d > 0 && d <= kMaxRateCorrection && a.carryHadValues) {
    // Too many frames: write the data from the pulse frame on d values earlier.
    const int32_t newCur = curPPS - static_cast<int32_t>(d);
    const int32_t newI = newCur - 1;
    const int32_t newJ = j - RunBackValues(a.ppsChannel);
    // The fill then reads up to source index newJ + (n − newI) − 1; a block
    // that cannot cover the rest of the window keeps its frames.
    if (static_cast<int64_t>(newJ) + (a.n - newI) <= a.sourceEnd) {
      curPPS = newCur;
      i = newI;
      j = newJ;
      result = -static_cast<int32_t>(d / 8);
    }
  }
  prevPPS = curPPS;
  curPPS = 0;
  return result;
}

bool UpdatePPSLevel(int32_t min, int32_t max, int32_t tresholdPercent, int64_t nowMs,
                    int64_t& lastLevelMs, int32_t& level, int32_t& peak) {
  // Whole seconds either way: a clock set back waits as long as one set forward.
  const int64_t sinceMs = nowMs - lastLevelMs;
  if ((sinceMs < 0 ? -sinceMs : sinceMs) / 1000 < kPPSLevelIntervalSeconds || max == min)
    return false;
  lastLevelMs = nowMs;
  // 64-bit product: a full-scale range times the percentage overflows 32 bits.
  const int64_t product = (static_cast<int64_t>(max) - min) * tresholdPercent;
  const double value = min + static_cast<double>(product) / 100.0;
  level = static_cast<int32_t>(std::clamp(std::nearbyint(value), -2147483648.0, 2147483647.0));
  peak = max;
  return true;
}

PPSTimeError ComputePPSTimeError(int64_t nowUnixMs, int32_t prevPPS, int32_t n,
                                 int32_t sampleRate) {
  PPSTimeError e;
  if (sampleRate <= 0) {
    e.numerator = 1'000'000;  // far outside every bound
    return e;
  }
  const int64_t millisecond = nowUnixMs - FloorDiv(nowUnixMs, 1000) * 1000;
  const int64_t frames = (static_cast<int64_t>(n) - prevPPS) / 8;
  e.numerator = millisecond * sampleRate - 1000 * frames;
  e.denominator = 1000LL * sampleRate;
  return e;
}

std::optional<int64_t> ComputePPSSecond(const PPSTimeError& e, int64_t nowUnixMs) {
  // Bounds in units of the denominator / 10: −1.5 s is −15 tenths.
  const int64_t tenth = e.denominator / 10;
  const int64_t x = e.numerator;
  int64_t shiftMs;
  if (x > -15 * tenth && x <= -7 * tenth)
    shiftMs = -1000;
  else if (x >= -3 * tenth && x <= 3 * tenth)
    shiftMs = 0;
  else if (x >= 7 * tenth && x < 15 * tenth)
    shiftMs = 1000;
  else
    return std::nullopt;
  return FloorDiv(nowUnixMs, 1000) * 1000 + shiftMs;
}

int32_t UpdateTimeTags(TArrayOfPPS& tags, const TagUpdateArgs& a) {
  const int32_t size = static_cast<int32_t>(tags.size());
  int32_t kept = 0;
  TDateTime lastTime = 0;
  for (int32_t r = 0; r < size && tags[r].Time != 0; ++r) {
    if (tags[r].Index < a.newCount) continue;
    tags[kept] = {tags[r].Time, tags[r].Index - a.newCount};
    lastTime = tags[kept].Time;
    ++kept;
  }
  // Entries past the kept ones are stale copies now.
  if (kept >= size - 1) {
    for (int32_t r = kept; r < size; ++r) tags[r] = {};
    return -1;
  }
  const bool pulse = a.T > 0 && a.ppsPosition > 0;
  // A pulse second is new when it is later than the last tag, in time and in
  // the window: tags never run backwards, whatever the clock did.
  auto isNew = [&](TDateTime t, int32_t index) {
    if (lastTime != 0 && DateTimeToMs(t) <= DateTimeToMs(lastTime)) return false;
    return kept == 0 || index > tags[kept - 1].Index;
  };
  const bool sameSecond = lastTime != 0 && DateTimeToMs(a.T) == DateTimeToMs(lastTime);
  // The previous cycle's clock fallback sits on that window's last frame. When
  // the clock read a whole second, it names the very second this pulse
  // begins; the pulse then takes its place instead of being refused, or a
  // clock on whole seconds (the simulation) would never tag a pulse again.
  if (pulse && sameSecond && kept > 0 &&
      tags[kept - 1].Index == a.windowLength - 8 - a.newCount &&
      (kept < 2 || a.ppsPosition > tags[kept - 2].Index)) {
    --kept;
    tags[kept] = {a.T, a.ppsPosition};
    for (int32_t r = kept + 1; r < size; ++r) tags[r] = {};
    return kept;
  }
  if (pulse && a.earlier) {
    for (const TPPSRecord& e : *a.earlier) {
      if (kept >= size - 2) break;  // the newest pulse keeps its place
      if (e.Time <= 0 || e.Index <= 0 || DateTimeToMs(e.Time) >= DateTimeToMs(a.T)) continue;
      if (!isNew(e.Time, e.Index)) continue;
      tags[kept++] = e;
      lastTime = e.Time;
    }
  }
  TPPSRecord& tag = tags[kept];
  if (pulse)
    // With the pulse present, a cycle that brought no new second adds no tag:
    // a clock tag there would cut a second in two.
    tag = isNew(a.T, a.ppsPosition) ? TPPSRecord{a.T, a.ppsPosition} : TPPSRecord{};
  else if (a.ppsPosition == 0 && a.ppsAtADInput)
    tag = {};
  else if (a.saveNoPPS)
    tag = {UnixMsToDateTime(a.nowMs), a.windowLength - 8};
  else
    tag = {};
  for (int32_t r = kept + 1; r < size; ++r) tags[r] = {};
  return kept;
}

std::string FormatTimeError(const PPSTimeError& e) {
  // Whole milliseconds, halves away from zero.
  const int64_t unit = e.denominator / 1000;  // numerator units per millisecond
  const int64_t mag = e.numerator < 0 ? -e.numerator : e.numerator;
  const int64_t ms = unit > 0 ? (2 * mag + unit) / (2 * unit) : 0;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%s%lld.%03llds", (e.numerator < 0 && ms != 0) ? "-" : "",
                static_cast<long long>(ms / 1000), static_cast<long long>(ms % 1000));
  return buf;
}

PPSPresence CheckPPSPresence(const PPSTimeError& e, bool& ppsAtADInput) {
  PPSPresence r;
  const int64_t mag = e.numerator < 0 ? -e.numerator : e.numerator;
  if (mag < 60 * e.denominator) {
    r.editTimeTag = FormatTimeError(e);
    if (!ppsAtADInput) {
      ppsAtADInput = true;
      r.detectedNow = true;
    }
  } else {
    // The field already shows "N/A" when the pulse was missing before.
    r.editTimeTag = "N/A";
    if (ppsAtADInput) {
      ppsAtADInput = false;
      r.lostNow = true;
    }
  }
  return r;
}
