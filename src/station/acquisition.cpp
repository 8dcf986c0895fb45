#include "station/acquisition.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "processing/conditioning.h"
#include "processing/resampler.h"
#include "station/pps.h"

namespace {

// Shift work is done in slices that stay in the cache between the move and
// the passes over the moved values (sums, display, PPS detection).
constexpr int32_t kSliceValues = 8192;

// The positions of one cycle. The new values come from the carry (source
// indexes −L … −1) and the block (0 … R − 1); M of them enter the window of N
// values, whose first S = N − M values are the old data moved left.
struct CycleSpan {
  int32_t N = 0, L = 0, R = 0;
  int32_t M = 0, S = 0;
  int32_t jStart = 0;  // source index of the first new value
};

CycleSpan SpanOf(const StationState& s) {
  CycleSpan c;
  c.N = s.BufferLength;
  c.L = static_cast<int32_t>(s.CarryBlock.size());
  c.R = static_cast<int32_t>(s.RawBlock.size());
  // A block longer than the window: its oldest frames would only pass through.
  const int32_t total = c.L + c.R - kCarryValues;
  const int32_t skip = std::max(total - c.N, 0);
  c.M = total - skip;
  c.S = c.N - c.M;
  c.jStart = -c.L + skip;
  return c;
}

// What the cycle reads and writes in the windows, fixed for the cycle.
struct CycleContext {
  CycleSpan span;
  int32_t ch = -1;  // PPS channel, −1 = none
  bool compensate = false;
  std::array<int32_t, kChannelCount> avg{};
  DisplayFactors factors;
  bool display = false;
  int32_t* data = nullptr;
  int32_t* raw = nullptr;
  const int32_t* block = nullptr;
  const int32_t* carry = nullptr;
  const int32_t* displaySource = nullptr;
  int32_t* displayBuffer = nullptr;
};

CycleContext ContextOf(StationState& s, const TProgParam& P, const ArrayOfReal& gain,
                       DisplayUnitKind displayUnit) {
  CycleContext x;
  x.span = SpanOf(s);
  const int32_t N = x.span.N;
  x.ch = (P.PPSChannel >= 0 && P.PPSChannel < kChannelCount) ? P.PPSChannel : -1;
  x.compensate = P.Converter.OffsetCompensation;
  x.avg = ChannelArray(P.AVGin, 0);
  x.factors = MakeDisplayFactors(displayUnit, P.LSBin, gain);
  x.display = !s.DisplayPaused && static_cast<int32_t>(s.DisplayBuffer.size()) == N;
  x.data = s.DataBuffer.data();
  x.raw = s.RawBuffer.data();
  x.block = s.RawBlock.data();
  x.carry = s.CarryBlock.data();
  x.displaySource = (s.ShowFiltered && static_cast<int32_t>(s.FilteredBuffer.size()) == N)
                        ? s.FilteredBuffer.data()
                        : x.data;
  x.displayBuffer = x.display ? s.DisplayBuffer.data() : nullptr;
  return x;
}

// Pulse detection across the cycle: the shift and the fill share one run
// counter, so a run may span old and new data.
struct PulseScan {
  int32_t prevPPS = 0, curPPS = 0, run = 0;
  int32_t level = 0;
  // Every pulse of the window, in window order: a cycle longer than a second
  // brings several, and each second gets its tag.
  std::vector<int32_t> pulses;
  size_t firstNewPulse = 0;  // the first found by the fill
};

// Sums of the new values of this cycle (carried values already hold AVGin).
void SumNewValues(const CycleContext& x, std::array<int64_t, kChannelCount>& sums) {
  const CycleSpan& c = x.span;
  const int32_t carryFrom = c.L + c.jStart;  // first carried value used
  if (carryFrom < c.L) AddChannelSums(x.carry, carryFrom, c.L, sums);
  const int32_t blockFrom = std::max(c.jStart, 0);
  // Positions L + j share the channel of j because L is whole frames.
  AddChannelSums(x.block, blockFrom, c.jStart + c.M, sums);
}

// Shifts the windows by M, summing what stays, converting for display and
// looking for the last pulse of the old data.
void ShiftOldData(const CycleContext& x, std::array<int64_t, kChannelCount>& sums,
                  PulseScan& scan) {
  const int32_t S = x.span.S, M = x.span.M;
  int32_t* const data = x.data;
  int32_t* const raw = x.raw;
  for (int32_t a = 0; a < S; a += kSliceValues) {
    const int32_t b = std::min(a + kSliceValues, S);
    std::memmove(data + a, data + a + M, sizeof(int32_t) * (b - a));
    std::memmove(raw + a, raw + a + M, sizeof(int32_t) * (b - a));
    AddChannelSums(raw, a, b, sums);
    if (x.display) ConvertForDisplay(x.displaySource, x.displayBuffer, a, b, x.factors);
    if (x.ch >= 0) DetectPPSRange(data, a, b, x.ch, scan.level, scan.prevPPS, scan.run, &scan.pulses);
  }
  scan.firstNewPulse = scan.pulses.size();
}

struct FillResult {
  int32_t j = 0;  // source index after the last value used
  int32_t ppsMin = 0, ppsMax = 0;
  bool alarmFound = false;
};

// Fills the new part of the window; a pulse found here may insert or drop
// frames. Offsets are those of the raw window including the new values.
FillResult FillNewData(const CycleContext& x, const TProgParam& P,
                       const std::array<int32_t, kChannelCount>& offsets,
                       CycleAlarmDetector* alarm, PulseScan& scan,
                       std::vector<int32_t>& rateCorrections) {
  const int32_t N = x.span.N, L = x.span.L, R = x.span.R, S = x.span.S;
  const int32_t ch = x.ch;
  int32_t* const data = x.data;
  int32_t* const raw = x.raw;
  const int32_t* const block = x.block;
  const int32_t* const carry = x.carry;
  FillResult f;
  // The pulse range of this cycle starts from the value about to be replaced.
  f.ppsMin = ch >= 0 ? data[S + ch] : 0;
  f.ppsMax = f.ppsMin;
  const bool alarmOn = P.AlarmOn && alarm != nullptr;
  if (alarmOn) alarm->BeginCycle();
  bool alarmFound = false;
  const RateCorrectionArgs correction{data, N, P.SampleRate, ch, L > 0, R};
  int32_t i = S;
  int32_t j = x.span.jStart;
  while (i < N) {
    const int32_t c = i & 7;
    if (j < -L) {
      // Repeated after an insertion: still the end of the previous window,
      // conditioned already.
      const int32_t from = std::max(N + L + j, 0);
      data[i] = data[from];
      raw[i] = raw[from];
    } else if (j < 0) {
      const int32_t v = carry[L + j];
      raw[i] = v;
      data[i] = ConditionValue(v, 0, offsets[c], x.compensate);
    } else {
      if (j >= R) break;  // cannot happen: corrections keep the source long enough
      const int32_t v = block[j];
      raw[i] = v;
      data[i] = ConditionValue(v, x.avg[c], offsets[c], x.compensate);
    }
    const int32_t v = data[i];
    if (x.display) x.displayBuffer[i] = ConvertValueForDisplay(x.displaySource[i], i, x.factors);
    if (alarmOn && !alarmFound) alarmFound = alarm->DetectAt(i, v);
    if (c == ch) {
      f.ppsMin = std::min(f.ppsMin, v);
      f.ppsMax = std::max(f.ppsMax, v);
      DetectPPS(i, v, ch, scan.level, scan.curPPS, scan.run);
      if (scan.curPPS > 0) {
        const int32_t n = CorrectSamplingRate(correction, scan.prevPPS, scan.curPPS, i, j);
        if (n != 0) rateCorrections.push_back(n);
        if (scan.prevPPS > 0) scan.pulses.push_back(scan.prevPPS);
      }
    }
    ++j;
    ++i;
  }
  f.j = j;
  f.alarmFound = alarmFound;
  return f;
}

// A cycle shorter than the gap between two pulses may bring no pulse at all,
// and a level set from that flat range finds pulses everywhere: the range
// always covers at least the last second of the window.
void WidenToTheLastSecond(const CycleContext& x, int32_t sampleRate, FillResult& f) {
  if (x.ch < 0 || sampleRate <= 0) return;
  const int32_t N = x.span.N, S = x.span.S;
  const int64_t from = std::max<int64_t>(N - 8LL * sampleRate, 0);
  for (int64_t p = from - from % 8 + x.ch; p < S; p += 8) {
    f.ppsMin = std::min(f.ppsMin, x.data[p]);
    f.ppsMax = std::max(f.ppsMax, x.data[p]);
  }
}

// The values the fill did not use, conditioned with AVGin, for the next
// cycle; the carry starts on a frame boundary.
ArrayOfDataType UnusedValues(const CycleContext& x, int32_t j) {
  const int32_t L = x.span.L, R = x.span.R;
  ArrayOfDataType next;
  next.reserve(static_cast<size_t>(std::max(R - j, 0)) + kCarryValues);
  for (int32_t p = std::max(j, -L); p < R; ++p) {
    if (p < 0) {
      next.push_back(x.carry[L + p]);
    } else {
      const int32_t k = static_cast<int32_t>(next.size());
      next.push_back(ConditionValue(x.block[p], x.avg[k & 7], 0, false));
    }
  }
  return next;
}

// The seconds of the pulses since the last one of the old data, counted back
// from the newest at `secondMs`: the rate correction keeps them one second apart.
std::vector<TPPSRecord> EarlierPulseSeconds(const PulseScan& scan, int64_t secondMs,
                                            int32_t sampleRate) {
  std::vector<TPPSRecord> earlier;
  if (scan.prevPPS <= 0 || sampleRate <= 0) return earlier;
  const double second = 8.0 * sampleRate;
  for (size_t p = scan.firstNewPulse > 0 ? scan.firstNewPulse - 1 : 0; p < scan.pulses.size();
       ++p) {
    if (scan.pulses[p] >= scan.prevPPS) break;
    const int64_t back = std::llround((scan.prevPPS - scan.pulses[p]) / second);
    if (back >= 1) earlier.push_back({UnixMsToDateTime(secondMs - 1000 * back), scan.pulses[p]});
  }
  return earlier;
}

// The pulse seconds tagged in the data window; the filtered and decimated
// windows take their tags from these, so a pulse whose frame is made only in
// a later cycle still gets its second there.
std::vector<TPPSRecord> TaggedPulses(const TArrayOfPPS& tags, const std::vector<int32_t>& pulses) {
  std::vector<TPPSRecord> pulseTags;
  size_t p = 0;
  for (const TPPSRecord& tag : tags) {
    if (tag.Time == 0) break;
    while (p < pulses.size() && pulses[p] < tag.Index) ++p;
    if (p < pulses.size() && pulses[p] == tag.Index) pulseTags.push_back(tag);
  }
  return pulseTags;
}

// Tags a derived (filtered or decimated) window: the pulse seconds `list`
// (positions in that window) become this cycle's tags; without a pulse second
// the window's own pulse position `unknown` decides the fallback as in the data
// window. Returns the newest pulse position, 0 = none.
struct DerivedTagging {
  const StationState& s;
  const TProgParam& P;
  int64_t nowMs;
  TDateTime T;  // the data window's pulse second, 0 = unknown

  int32_t operator()(TArrayOfPPS& tags, std::vector<TPPSRecord>& list, int32_t newCount,
                     int32_t length, int32_t unknown) const {
    const TPPSRecord newest = list.empty() ? TPPSRecord{T, T > 0 ? 0 : unknown} : list.back();
    if (!list.empty()) list.pop_back();
    UpdateTimeTags(tags, {newest.Index, newCount, nowMs, newest.Time, length, s.PPSAtADInput,
                          P.SaveNoPPS, &list});
    if (newest.Index > 0 && newest.Time > 0) list.push_back(newest);
    return newest.Index;
  }
};

// The filter step; the output window becomes the filtered one when a filter
// is loaded, else the data window. `position` and `count` enter as the data
// window's and leave as the output window's.
void FilterStep(StationState& s, const TProgParam& P, CycleFilter* filter,
                const DerivedTagging& tagging, int32_t prevPPS, int32_t M,
                std::vector<TPPSRecord>& pulseTags, int32_t& position, int32_t& count) {
  const int32_t N = s.BufferLength;
  if (!(filter && P.Filter.Loaded && static_cast<int32_t>(s.FilteredBuffer.size()) == N &&
        !s.FilteredPPS.empty())) {
    s.OutputBuffer = &s.DataBuffer;
    s.OutputPPS = &s.DataPPS;
    return;
  }
  count = filter->FilterStep(s.DataBuffer, M, s.FilteredBuffer, s.FilteredLength, position);
  position = std::max(position, 0);
  // The filter moves every position by the same delay.
  std::vector<TPPSRecord> mapped;
  if (position > 0)
    for (const TPPSRecord& tag : pulseTags)
      if (tag.Index - (prevPPS - position) > 0)
        mapped.push_back({tag.Time, tag.Index - (prevPPS - position)});
  pulseTags.swap(mapped);
  position = tagging(s.FilteredPPS, pulseTags, count, N, position);
  s.OutputBuffer = &s.FilteredBuffer;
  s.OutputPPS = &s.FilteredPPS;
}

// Decimation of the output window, which then becomes the decimated one.
void ResampleStep(StationState& s, const TProgParam& P, const DerivedTagging& tagging,
                  const std::vector<TPPSRecord>& pulseTags, int32_t& position, int32_t& count) {
  if (!(P.ReSampling > 1 && !s.ResampledBuffer.empty() && !s.ResampledPPS.empty())) return;
  const ArrayOfDataType& source = *s.OutputBuffer;
  // The filter leaves its newest frames for the next cycle; until then they
  // hold no data and must not be averaged into the decimated window.
  const int32_t sourceLength =
      s.OutputBuffer == &s.FilteredBuffer
          ? std::clamp(s.FilteredLength, 0, static_cast<int32_t>(source.size()))
          : static_cast<int32_t>(source.size());
  count = Resample(source.data(), sourceLength, count, P.ReSampling,
                   {s.ResampledBuffer, s.ResampledLength, s.ResampledSourcePos}, position);
  std::vector<TPPSRecord> mapped;
  for (const TPPSRecord& tag : pulseTags) {
    const int32_t q =
        ResampledPulsePosition(tag.Index, s.ResampledSourcePos, s.ResampledLength, P.ReSampling);
    if (q > 0) mapped.push_back({tag.Time, q});
  }
  position = tagging(s.ResampledPPS, mapped, count, static_cast<int32_t>(s.ResampledBuffer.size()),
                     position);
  s.OutputBuffer = &s.ResampledBuffer;
  s.OutputPPS = &s.ResampledPPS;
}

}  // namespace

bool IsUsableBlock(size_t values) { return values > kCarryValues && values % kChannelCount == 0; }

void AllocateBuffers(StationState& s, const TProgParam& P, bool filterLoaded) {
  s.CarryBlock.assign(kCarryValues, 0);
  const int64_t n = static_cast<int64_t>(std::max(P.SampleRate, 0)) * kWindowValuesPerHz;
  s.BufferLength = static_cast<int32_t>(std::min<int64_t>(n, INT32_MAX - INT32_MAX % 8));
  const int32_t N = s.BufferLength;
  s.Offsets.resize(kChannelCount, 0);
  s.DataBuffer.assign(N, 0);
  s.RawBuffer.resize(N);
  for (int32_t k = 0; k < N; ++k) s.RawBuffer[k] = s.Offsets[k % kChannelCount];
  s.DisplayBuffer.assign(N, 0);
  s.DataPPS.assign(kPPSTagCount, {});
  if (filterLoaded) {
    s.FilteredBuffer.assign(N, 0);
    s.FilteredPPS.assign(kPPSTagCount, {});
    s.FilteredLength = N;
  } else {
    s.FilteredBuffer.clear();
    s.FilteredPPS.clear();
    s.FilteredLength = 0;
  }
  if (P.ReSampling >= 2) {
    const int32_t length = ResampledBufferLength(N, P.ReSampling);
    s.ResampledBuffer.assign(length, 0);
    s.ResampledPPS.assign(kPPSTagCount, {});
    s.ResampledSourcePos = N;
    s.ResampledLength = length;
  } else {
    s.ResampledBuffer.clear();
    s.ResampledPPS.clear();
    s.ResampledSourcePos = N;
    s.ResampledLength = 0;
  }
  s.OutputBuffer = nullptr;
  s.OutputPPS = nullptr;
}

void AllocateBuffers(StationState& s, const TProgParam& P) {
  AllocateBuffers(s, P, P.Filter.Loaded);
}

CycleResult AppendBlock(StationState& s, TProgParam& P, const ArrayOfReal& gain,
                        DisplayUnitKind displayUnit, int64_t nowUnixMs,
                        const CycleHooks& hooks) {
  CycleResult result;
  const int32_t N = s.BufferLength;
  if (N <= 0 || !IsUsableBlock(s.RawBlock.size()) || s.CarryBlock.size() % kChannelCount != 0 ||
      static_cast<int32_t>(s.DataBuffer.size()) != N ||
      static_cast<int32_t>(s.RawBuffer.size()) != N)
    return result;
  result.appended = true;

  const CycleContext x = ContextOf(s, P, gain, displayUnit);
  const int32_t M = x.span.M;
  result.newCount = M;

  // Move the old data, then condition the new values against the offsets of
  // the raw window they complete.
  PulseScan scan;
  scan.level = P.PPSLevel;
  std::array<int64_t, kChannelCount> sums{};
  SumNewValues(x, sums);
  ShiftOldData(x, sums, scan);
  OffsetsFromSums(sums, N, s.Offsets);
  std::array<int32_t, kChannelCount> offsets;
  for (int c = 0; c < kChannelCount; ++c) offsets[c] = s.Offsets[c];
  FillResult fill = FillNewData(x, P, offsets, hooks.alarm, scan, result.rateCorrections);
  result.alarmFound = fill.alarmFound;

  // The detection level follows the range of the new values.
  WidenToTheLastSecond(x, P.SampleRate, fill);
  if (x.ch >= 0)
    result.levelUpdated = UpdatePPSLevel(fill.ppsMin, fill.ppsMax, P.PPSTreshold, nowUnixMs,
                                         s.LastPPSLevelTime, P.PPSLevel, P.PPSPeak);
  ArrayOfDataType next = UnusedValues(x, fill.j);
  s.CarryBlock.swap(next);

  // Time of the latest pulse, the tags of the data window, pulse presence.
  const int32_t prevPPS = scan.prevPPS;
  const PPSTimeError e = ComputePPSTimeError(nowUnixMs, prevPPS, N, P.SampleRate);
  result.e = e.Seconds();
  const std::optional<int64_t> secondMs = ComputePPSSecond(e, nowUnixMs);
  TDateTime T = secondMs ? UnixMsToDateTime(*secondMs) : 0;
  std::vector<TPPSRecord> earlier;
  if (T > 0) earlier = EarlierPulseSeconds(scan, *secondMs, P.SampleRate);
  result.k = UpdateTimeTags(
      s.DataPPS, {prevPPS, M, nowUnixMs, T, N, s.PPSAtADInput, P.SaveNoPPS, &earlier});
  if (result.k < 0) T = 0;
  result.T = T;
  result.ppsPosition = prevPPS;
  const PPSPresence presence = CheckPPSPresence(e, s.PPSAtADInput);
  result.editTimeTag = presence.editTimeTag;
  result.ppsDetectedNow = presence.detectedNow;
  result.ppsLostNow = presence.lostNow;

  // Filter step, then the output window for the trigger and the writer.
  std::vector<TPPSRecord> pulseTags;
  if (T > 0) pulseTags = TaggedPulses(s.DataPPS, scan.pulses);
  const DerivedTagging tagging{s, P, nowUnixMs, T};
  int32_t position = prevPPS;
  int32_t count = M;
  FilterStep(s, P, hooks.filter, tagging, prevPPS, M, pulseTags, position, count);
  ResampleStep(s, P, tagging, pulseTags, position, count);
  result.outputPPSPosition = position;
  result.outputNewCount = count;
  return result;
}
