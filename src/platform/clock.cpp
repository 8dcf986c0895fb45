#include "platform/clock.h"

#include <chrono>

int64_t SystemClock::NowUnixMs() const {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}
