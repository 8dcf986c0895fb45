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
  const int32_t L = static_cast<int32_t>(s.CarryBlock.size());
  const int32_t R = static_cast<int32_t>(s.RawBlock.size());
  if (N <= 0 || !IsUsableBlock(s.RawBlock.size()) || L % kChannelCount != 0 ||
      static_cast<int32_t>(s.DataBuffer.size()) != N ||
      static_cast<int32_t>(s.RawBuffer.size()) != N)
    return result;
  result.appended = true;

  const TDateTime now = UnixMsToDateTime(nowUnixMs);
  const int32_t ch = (P.PPSChannel >= 0 && P.PPSChannel < kChannelCount) ? P.PPSChannel : -1;
  const bool compensate = P.Converter.OffsetCompensation;
  const auto avg = ChannelArray(P.AVGin, 0);
  const DisplayFactors factors = MakeDisplayFactors(displayUnit, P.LSBin, gain);
  const bool display = !s.DisplayPaused && static_cast<int32_t>(s.DisplayBuffer.size()) == N;
  int32_t* const data = s.DataBuffer.data();
  int32_t* const raw = s.RawBuffer.data();
  const int32_t* const block = s.RawBlock.data();
  const int32_t* const carry = s.CarryBlock.data();
  const int32_t* const displaySource =
      (s.ShowFiltered && static_cast<int32_t>(s.FilteredBuffer.size()) == N)
          ? s.FilteredBuffer.data()
          : data;
  int32_t* const displayBuffer = display ? s.DisplayBuffer.data() : nullptr;

  // A block longer than the window: its oldest frames would only pass through.
  const int32_t total = L + R - kCarryValues;
  const int32_t skip = std::max(total - N, 0);
  const int32_t M = total - skip;
  const int32_t S = N - M;
  const int32_t jStart = -L + skip;
  result.newCount = M;

  int32_t prevPPS = 0, curPPS = 0, run = 0;
  const int32_t level = P.PPSLevel;
  // Every pulse of the window, in window order: a cycle longer than a second
  // brings several, and each second gets its tag.
  std::vector<int32_t> pulses;

  // Sums of the new values of this cycle (carried values already hold AVGin).
  std::array<int64_t, kChannelCount> sums{};
  {
    const int32_t carryFrom = L + jStart;  // first carried value used
    if (carryFrom < L) AddChannelSums(carry, carryFrom, L, sums);
    const int32_t blockFrom = std::max(jStart, 0);
    // Positions L + j share the channel of j because L is whole frames.
    AddChannelSums(block, blockFrom, jStart + M, sums);
  }

  // Shift the windows by M, summing what stays, converting for display and
  // looking for the last pulse of the old data.
  for (int32_t a = 0; a < S; a += kSliceValues) {
    const int32_t b = std::min(a + kSliceValues, S);
    std::memmove(data + a, data + a + M, sizeof(int32_t) * (b - a));
    std::memmove(raw + a, raw + a + M, sizeof(int32_t) * (b - a));
    AddChannelSums(raw, a, b, sums);
    if (display) ConvertForDisplay(displaySource, displayBuffer, a, b, factors);
    if (ch >= 0) DetectPPSRange(data, a, b, ch, level, prevPPS, run, &pulses);
  }
  const size_t firstNewPulse = pulses.size();

  // Offsets of the raw window including the new values.
  OffsetsFromSums(sums, N, s.Offsets);
  std::array<int32_t, kChannelCount> offsets;
  for (int c = 0; c < kChannelCount; ++c) offsets[c] = s.Offsets[c];

  // The pulse range of this cycle starts from the value about to be replaced.
  int32_t ppsMin = ch >= 0 ? data[S + ch] : 0;
  int32_t ppsMax = ppsMin;

  // Fill the new part; a pulse found here may insert or drop frames.
  const bool alarmOn = P.AlarmOn && hooks.alarm != nullptr;
  if (alarmOn) hooks.alarm->BeginCycle();
  bool alarmFound = false;
  const RateCorrectionArgs correction{data, N, P.SampleRate, ch, L > 0, R};
  int32_t i = S;
  int32_t j = jStart;
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
      data[i] = ConditionValue(v, 0, offsets[c], compensate);
    } else {
      if (j >= R) break;  // cannot happen: corrections keep the source long enough
      const int32_t v = block[j];
      raw[i] = v;
      data[i] = ConditionValue(v, avg[c], offsets[c], compensate);
    }
    const int32_t v = data[i];
    if (display) displayBuffer[i] = ConvertValueForDisplay(displaySource[i], i, factors);
    if (alarmOn && !alarmFound) alarmFound = hooks.alarm->DetectAt(i, v);
    if (c == ch) {
      ppsMin = std::min(ppsMin, v);
      ppsMax = std::max(ppsMax, v);
      DetectPPS(i, v, ch, level, curPPS, run);
      if (curPPS > 0) {
        const int32_t n = CorrectSamplingRate(correction, prevPPS, curPPS, i, j);
        if (n != 0) result.rateCorrections.push_back(n);
        if (prevPPS > 0) pulses.push_back(prevPPS);
      }
    }
    ++j;
    ++i;
  }
  result.alarmFound = alarmFound;

  // A cycle shorter than the gap between two pulses may bring no pulse at
  // all, and a level set from that flat range finds pulses everywhere: the
  // range always covers at least the last second of the window.
  if (ch >= 0 && P.SampleRate > 0) {
    const int64_t from = std::max<int64_t>(N - 8LL * P.SampleRate, 0);
    for (int64_t x = from - from % 8 + ch; x < S; x += 8) {
      ppsMin = std::min(ppsMin, data[x]);
      ppsMax = std::max(ppsMax, data[x]);
    }
  }
  // The detection level follows the range of the new values.
  if (ch >= 0)
    result.levelUpdated = UpdatePPSLevel(ppsMin, ppsMax, P.PPSTreshold, now, s.LastPPSLevelTime,
                                         P.PPSLevel, P.PPSPeak);

  // Carry what the fill did not use; it starts on a frame boundary.
  {
    ArrayOfDataType next;
    next.reserve(static_cast<size_t>(std::max(R - j, 0)) + kCarryValues);
    for (int32_t x = std::max(j, -L); x < R; ++x) {
      if (x < 0) {
        next.push_back(carry[L + x]);
      } else {
        const int32_t k = static_cast<int32_t>(next.size());
        next.push_back(ConditionValue(block[x], avg[k & 7], 0, false));
      }
    }
    s.CarryBlock.swap(next);
  }

  // Time of the latest pulse, the tags of the data window, pulse presence.
  const PPSTimeError e = ComputePPSTimeError(nowUnixMs, prevPPS, N, P.SampleRate);
  result.e = e.Seconds();
  TDateTime T = ComputePPSSecond(e, nowUnixMs);
  // The seconds of the pulses since the last one of the old data, counted
  // back from the newest: the rate correction keeps them one second apart.
  std::vector<TPPSRecord> earlier;
  if (T > 0 && prevPPS > 0 && P.SampleRate > 0) {
    const int64_t tMs = DateTimeToUnixMs(T);
    const double second = 8.0 * P.SampleRate;
    for (size_t x = firstNewPulse > 0 ? firstNewPulse - 1 : 0; x < pulses.size(); ++x) {
      if (pulses[x] >= prevPPS) break;
      const int64_t back = std::llround((prevPPS - pulses[x]) / second);
      if (back >= 1) earlier.push_back({UnixMsToDateTime(tMs - 1000 * back), pulses[x]});
    }
  }
  result.k = UpdateTimeTags(s.DataPPS,
                            {prevPPS, M, now, T, N, s.PPSAtADInput, P.SaveNoPPS, &earlier});
  if (result.k < 0) T = 0;
  result.T = T;
  result.ppsPosition = prevPPS;
  const PPSPresence presence = CheckPPSPresence(e, s.PPSAtADInput);
  result.editTimeTag = presence.editTimeTag;
  result.ppsDetectedNow = presence.detectedNow;
  result.ppsLostNow = presence.lostNow;

  // The pulse seconds tagged in the data window; the filtered and decimated
  // windows take their tags from these, so a pulse whose frame is made only
  // in a later cycle still gets its second there.
  std::vector<TPPSRecord> pulseTags;
  if (T > 0) {
    size_t x = 0;
    for (const TPPSRecord& tag : s.DataPPS) {
      if (tag.Time == 0) break;
      while (x < pulses.size() && pulses[x] < tag.Index) ++x;
      if (x < pulses.size() && pulses[x] == tag.Index) pulseTags.push_back(tag);
    }
  }
  // Adds the pulse seconds `list` (positions in `tags`' window) as the tags
  // of this cycle; without a pulse second the window's own pulse position
  // `unknown` decides the fallback as in the data window. Returns the newest
  // pulse position, 0 = none.
  auto updateFrom = [&](TArrayOfPPS& tags, std::vector<TPPSRecord>& list, int32_t newCount,
                        int32_t length, int32_t unknown) {
    const TPPSRecord newest =
        list.empty() ? TPPSRecord{T, T > 0 ? 0 : unknown} : list.back();
    if (!list.empty()) list.pop_back();
    UpdateTimeTags(tags, {newest.Index, newCount, now, newest.Time, length, s.PPSAtADInput,
                          P.SaveNoPPS, &list});
    if (newest.Index > 0 && newest.Time > 0) list.push_back(newest);
    return newest.Index;
  };

  // Filter step, then the output window for the trigger and the writer.
  int32_t position = prevPPS;
  int32_t count = M;
  if (hooks.filter && P.Filter.Loaded && static_cast<int32_t>(s.FilteredBuffer.size()) == N &&
      !s.FilteredPPS.empty()) {
    count = hooks.filter->FilterStep(s.DataBuffer, M, s.FilteredBuffer, s.FilteredLength,
                                     position);
    position = std::max(position, 0);
    // The filter moves every position by the same delay.
    std::vector<TPPSRecord> mapped;
    if (position > 0)
      for (const TPPSRecord& tag : pulseTags)
        if (tag.Index - (prevPPS - position) > 0)
          mapped.push_back({tag.Time, tag.Index - (prevPPS - position)});
    pulseTags.swap(mapped);
    position = updateFrom(s.FilteredPPS, pulseTags, count, N, position);
    s.OutputBuffer = &s.FilteredBuffer;
    s.OutputPPS = &s.FilteredPPS;
  } else {
    s.OutputBuffer = &s.DataBuffer;
    s.OutputPPS = &s.DataPPS;
  }

  // Decimation.
  if (P.ReSampling > 1 && !s.ResampledBuffer.empty() && !s.ResampledPPS.empty()) {
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
      const int32_t q = ResampledPulsePosition(tag.Index, s.ResampledSourcePos,
                                               s.ResampledLength, P.ReSampling);
      if (q > 0) mapped.push_back({tag.Time, q});
    }
    position = updateFrom(s.ResampledPPS, mapped, count,
                          static_cast<int32_t>(s.ResampledBuffer.size()), position);
    s.OutputBuffer = &s.ResampledBuffer;
    s.OutputPPS = &s.ResampledPPS;
  }
  result.outputPPSPosition = position;
  result.outputNewCount = count;
  return result;
}
