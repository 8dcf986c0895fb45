#pragma once
// The event trigger: a short-term average of absolute ground velocity on the
// vertical component, with a start and a stop threshold, and the decision
// when a trigger record is due. Pure: the controller saves, logs and sends.
#include <cstdint>
#include <string>

#include "common/types.h"
#include "config/progparam.h"

// True when the mean |B × factor| of channel `channel` over any window of
// `staSeconds` at `outputRate` frames per second, sliding over the newest
// `newCount` values (and the window before them), exceeds `threshold`.
bool STATest(const int32_t* buffer, int32_t length, int32_t newCount, double factor,
             double staSeconds, double threshold, int32_t channel, int32_t outputRate);

struct TriggerState {
  bool Detected = false;  // LedTriggerDetected: an event is being recorded
  int32_t TriggerCycles = 0;
  int32_t QuietCycles = 0;
};

struct TriggerDecision {
  bool EventBegan = false;  // log "Trg: A trigger event has arise. "
  bool Save = false;        // a record is due
  TDateTime EventTime = 0;  // time of the event's first tag
  TDateTime StartTime = 0;  // the record's first second
  int32_t Seconds = 0;      // D: seconds handed to the save path
};

// One cycle of the trigger over the output window and its tags; `k` is the
// index of this cycle's tag. On a save the state returns to idle.
TriggerDecision TriggerRun(TriggerState& state, const TProgParam& P,
                           const ArrayOfDataType& output, const TArrayOfPPS& tags,
                           int32_t newCount, int32_t k);

// " Z=0.150mm/s N=0.000mm/s E=0.000mm/s" (mm/s above 100 000 nm/s, else um/s).
std::string TriggerPeakText(double z, double n, double e);
// Whether the event's minute lets the trigger message go out.
bool TriggerMinuteAllows(const std::string& pattern, TDateTime eventTime);
