#pragma once
// The station state as a test sets it up; the views only read it.
#include "station/station_controller.h"

struct StationTestAccess {
  static StationState& State(StationController& s) { return s.m_state; }
};
