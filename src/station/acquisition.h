#pragma once
// The data path of one acquisition cycle: appending a converter block to the
// 180-second windows with conditioning, PPS alignment and time tags, then the
// filter and resampler hand-over. Pure arithmetic on the station state; the
// controller does the gate, the logging and everything around it.
#include <cstdint>
#include <string>
#include <vector>

#include "common/types.h"
#include "config/progparam.h"
#include "processing/conditioning.h"
#include "station/station_state.h"

// Values held back at the end of every block for the next cycle.
constexpr int32_t kCarryValues = 80;
// Values per second of window per unit of sample rate: 8 channels × 180 s.
constexpr int32_t kWindowValuesPerHz = 1440;

// The filter step of the cycle. Filters the new part of `data` into
// `filtered` (updating `filteredLength`), moves `ppsPosition` to the filtered
// window's frame (0 = none) and returns the filter's new count.
class CycleFilter {
 public:
  virtual ~CycleFilter() = default;
  virtual int32_t FilterStep(const ArrayOfDataType& data, int32_t newCount,
                             ArrayOfDataType& filtered, int32_t& filteredLength,
                             int32_t& ppsPosition) = 0;
};

// Alarm detection on the appended values of one cycle.
class CycleAlarmDetector {
 public:
  virtual ~CycleAlarmDetector() = default;
  virtual void BeginCycle() = 0;
  // Called for each appended value until it returns true once in the cycle.
  virtual bool DetectAt(int32_t position, int32_t value) = 0;
};

// Optional parts of the cycle; absent ones are skipped (no filtered window,
// no alarm found).
struct CycleHooks {
  CycleFilter* filter = nullptr;
  CycleAlarmDetector* alarm = nullptr;
};

struct CycleResult {
  bool appended = false;  // false: the block was not usable and nothing changed
  int32_t newCount = 0;   // values appended to DataBuffer (M)
  int32_t k = -1;         // DataPPS tags kept before this cycle's; −1 when full
  TDateTime T = 0;        // PPS second used for the tags; 0 = unknown
  double e = 0;           // PPS time error, seconds
  std::vector<int32_t> rateCorrections;  // non-zero results, each logged
  bool ppsDetectedNow = false;  // log "Tim: PPS detected and used."
  bool ppsLostNow = false;      // log "Err: PPS is at least 60 seconds off (at A/D input)."
  std::string editTimeTag;      // the text EditTimeTag shows after this cycle
  bool alarmFound = false;      // for AlarmAction
  bool levelUpdated = false;    // PPSLevel/PPSPeak were recomputed
  int32_t ppsPosition = 0;        // latest pulse in DataBuffer (prevPPS), 0 = none
  int32_t outputPPSPosition = 0;  // the same in OutputBuffer
  int32_t outputNewCount = 0;     // new count of OutputBuffer, for the trigger
};

// A block the cycle appends: more than the carry and whole frames.
bool IsUsableBlock(size_t values);

// Start-up allocation of the windows and tag arrays. RawBuffer holds the
// current Offsets of each channel, so call it after the offsets are known (or
// refill RawBuffer afterwards).
void AllocateBuffers(StationState& s, const TProgParam& P, bool filterLoaded);
void AllocateBuffers(StationState& s, const TProgParam& P);

// Appends s.RawBlock to the windows. Updates DataBuffer, RawBuffer,
// DisplayBuffer (unless paused), Offsets, CarryBlock, the tags, PPSAtADInput,
// LastPPSLevelTime, P.PPSLevel/P.PPSPeak, the filtered and resampled windows
// and OutputBuffer/OutputPPS. RawBlock is left for the caller to empty.
CycleResult AppendBlock(StationState& s, TProgParam& P, const ArrayOfReal& gain,
                        DisplayUnitKind displayUnit, int64_t nowUnixMs,
                        const CycleHooks& hooks = {});
