#pragma once
// A station in a temporary directory on a manual clock, cycles driven by the
// test, and what it logged and dispatched.
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include "station/simulated_run.h"
#include "station/station_controller.h"
#include "support/station_options.h"

// No filter file, no GPS port.
inline constexpr char kPlainIni[] = "[Registration]\r\nFilter=\r\n[GPS]\r\nUpDateOn=0\r\n";

// Lines of `lines` that begin with `prefix`.
inline int CountPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}
// Index of the first such line at or after `from`, or -1.
inline int IndexOfPrefix(const std::vector<std::string>& lines, const std::string& prefix,
                         int from = 0) {
  for (size_t i = static_cast<size_t>(from); i < lines.size(); ++i)
    if (lines[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
  return -1;
}

class StationRig : public ::testing::Test {
 protected:
  // Writes the INI file (none when empty) and starts the station with its clock at `start`.
  std::unique_ptr<StationController> Make(const std::string& ini = kPlainIni,
                                          TDateTime start = EncodeDateTime(2026, 1, 15, 12, 0, 0),
                                          const std::function<void(StationOptions&)>& tweak = {}) {
    if (ini.empty())
      std::filesystem::remove(dir.Path("velkor.ini"));
    else
      WriteFile(dir.Path("velkor.ini"), ini);
    clock.Set(start);
    StationOptions o = SimulatedStationOptions(dir, clock, 11);
    if (tweak) tweak(o);
    auto s = std::make_unique<StationController>(o);
    QObject::connect(s.get(), &StationController::messageDispatched,
                     [this](const std::string& t) { messages.push_back(t); });
    // Lines logged by workers arrive on the main thread too.
    QObject::connect(s.get(), &StationController::logLine, s.get(),
                     [this](const std::string& l) { lines.push_back(l.substr(24)); });
    QObject::connect(s.get(), &StationController::messageBox, [this](const std::string& t) { boxes.push_back(t); });
    s->FormCreate();
    return s;
  }
  // One cycle, then one second of station time and whatever it brings.
  void Cycle(StationController& s) {
    if (s.TimerOn()) s.TimerTimer();
    clock.AdvanceMs(1000);
    QCoreApplication::processEvents();
  }
  // The log file's lines without their 23-character timestamps and blank.
  std::vector<std::string> Messages(const std::string& name = "velkor.log") const {
    std::vector<std::string> out;
    for (const auto& l : CrLfLines(ReadFile(dir.Path(name)))) out.push_back(l.size() > 24 ? l.substr(24) : l);
    return out;
  }
  int Count(const std::string& prefix) const { return CountPrefix(Messages(), prefix); }
  // A bounded wait, in real time, for what ports' and jobs' threads bring.
  static bool WaitUntil(const std::function<bool()>& done, int seconds = 20) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done() && std::chrono::steady_clock::now() < end) {
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
  }

  TempDir dir;
  ManualClock clock;
  std::vector<std::string> messages;  // dispatched station messages
  std::vector<std::string> lines;     // logged, as they were logged
  std::vector<std::string> boxes;     // message boxes shown
};
