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

// No filter, no GPS port, every input calibrated: start-up asks nothing of the operator.
inline constexpr char kQuietStationIni[] =
    "[Registration]\r\nFilter=\r\n[GPS]\r\nUpDateOn=0\r\n[Sensor]\r\nLSBin0=1\r\nLSBin1=1\r\n"
    "LSBin2=1\r\nLSBin3=1\r\nLSBin4=1\r\nLSBin5=1\r\nLSBin6=1\r\nLSBin7=1\r\n";
