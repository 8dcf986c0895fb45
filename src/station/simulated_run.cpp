#include "station/simulated_run.h"

#include <QCoreApplication>

#include <algorithm>

#include "serial/sim_gps.h"
#include "station/station_controller.h"
#include "station/station_gps.h"

void RunSimulated(StationController& station, ManualClock& clock, int64_t seconds,
                  const std::function<int64_t()>& intervalMs) {
  SimGpsReceiver* receiver = station.m_gps->SimReceiver();
  const StationState& state = station.m_state;
  // The run is counted in simulated time that passed, not read off the clock:
  // the receiver may set the clock anywhere (back a century after 2099).
  int64_t left = seconds * 1000;
  // Moves the clock on by `ms`, stopping at every whole second on the way so
  // that the simulated receiver's pulses are handled at their own times.
  auto advance = [&](int64_t ms) {
    while (ms > 0 && !state.Closing) {
      const int64_t now = clock.NowUnixMs();
      const int64_t toSecond = (now / 1000 + 1) * 1000 - now;
      const int64_t step = std::min(ms, toSecond);
      clock.SetUnixMs(now + step);
      ms -= step;
      left -= step;
      if (step == toSecond && receiver) receiver->Pump();
      QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
  };
  // The first cycle comes one timer interval after start-up, then one a second.
  int64_t wait = kCycleIntervalMs;
  while (!state.Closing && wait < left) {
    advance(wait);
    if (station.TimerOn() && !state.Closing) station.TimerTimer();
    wait = intervalMs ? std::max<int64_t>(intervalMs(), 0) : 1000;
  }
  if (!state.Closing) advance(left);
  station.FormClose();
}
