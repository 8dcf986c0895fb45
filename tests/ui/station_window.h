#pragma once
// A main window over a simulated station in a temporary directory, with its log lines and
// messages; a second one on the same directory is a restart.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "support/station_options.h"
#include "ui/mainform.h"

// No filter file and no GPS port, so that start-up raises no message box.
inline std::string QuietStationIni(const std::string& common = "", const std::string& more = "",
                                   const std::string& gps = "UpDateOn=0\r\n") {
  std::string ini = "[Common]\r\nIDStation=OLD\r\n" + common + "[Registration]\r\nFilter=\r\n[Sensor]\r\n";
  for (int n = 0; n < 8; ++n) ini += "LSBin" + std::to_string(n) + "=1\r\n";
  return ini + more + "[GPS]\r\n" + gps;
}

inline void Settle() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

// Runs `body` once the next modal dialog's event loop is running.
inline void WhenModal(std::function<void()> body) { QTimer::singleShot(0, std::move(body)); }

inline void SavePicture(QWidget* w, const QString& name) {
  QDir().mkpath(VELKOR_ARTEFACTS);
  w->grab().save(QStringLiteral(VELKOR_ARTEFACTS) + "/" + name, "PNG");
}

inline void Click(QPushButton* b) {
  b->click();
  Settle();
}

class StationWindow {
 public:
  StationWindow(ManualClock& clock, const StationOptions& options) : clock(clock), station(options) {
    QObject::connect(&station, &StationController::logLine,
                     [this](const std::string& line) { log.push_back(line); });
    form = std::make_unique<TMainForm>(station);
    form->MessageHook = [this](const QString& m) { messages << m; };
    form->FormCreate();
    form->show();
    Settle();
  }
  StationWindow(const TempDir& dir, ManualClock& clock)
      : StationWindow(clock, SimulatedStationOptions(dir, clock)) {}
  ~StationWindow() {
    form->close();
    Settle();
  }
  int Count(const std::string& text) const {
    const auto has = [&](const std::string& l) { return l.find(text) != std::string::npos; };
    return static_cast<int>(std::ranges::count_if(log, has));
  }
  // One acquisition cycle per second of station time.
  void Cycles(int n) {
    for (int i = 0; i < n; ++i) {
      station.TimerTimer();
      clock.AdvanceMs(1000);
      Settle();
    }
  }
  QString Caption() const { return form->WaveForm->windowTitle(); }

  ManualClock& clock;
  StationController station;
  std::vector<std::string> log;
  QStringList messages;
  std::unique_ptr<TMainForm> form;
};

// A test on a window whose INI file and start time the test chooses.
class StationWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock.Set(Start());
    WriteFile(dir.Path("velkor.ini"), Ini());
    w = std::make_unique<StationWindow>(clock, Options());
  }
  // Before the fixtures' own members go: the station may hold pointers to them.
  void TearDown() override { w.reset(); }
  virtual std::string Ini() const { return QuietStationIni(); }
  virtual TDateTime Start() const { return EncodeDateTime(2026, 3, 2, 10, 0, 0); }
  virtual StationOptions Options() { return SimulatedStationOptions(dir, clock); }
  TMainForm& Form() { return *w->form; }

  TempDir dir;
  ManualClock clock;
  std::unique_ptr<StationWindow> w;
};
