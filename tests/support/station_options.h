#pragma once
// A station in a temporary directory on a manual clock, cycles driven by the test.
#include "station/station_controller.h"
#include "support/temp_dir.h"

inline StationOptions SimulatedStationOptions(const TempDir& dir, ManualClock& clock,
                                              uint32_t seed = 3) {
  StationOptions o;
  o.ProgramDir = dir.Dir();
  o.clock = &clock;
  o.manualClock = &clock;
  o.simulated = true;
  o.converterSeed = seed;
  return o;
}
