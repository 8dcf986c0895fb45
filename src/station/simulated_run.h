#pragma once
// Simulated time: the station's cycles run back to back on a manual clock
// instead of on a timer, and the simulated receiver's pulses come at every
// whole second of that clock.
#include <cstdint>
#include <functional>

class ManualClock;
class StationController;

// Runs cycles of a started station, 1000 ms of station time per cycle (or as
// many as `intervalMs` gives before each next cycle, like the timer and the
// scheduler of a real computer), for `seconds` of station time, then closes.
void RunSimulated(StationController& station, ManualClock& clock, int64_t seconds,
                  const std::function<int64_t()>& intervalMs = {});
