#pragma once
// A main window over a simulated station in a temporary directory, with the
// log lines it wrote; a second one on the same directory is a restart.
#include <QCoreApplication>
#include <QDir>
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

class StationWindow {
 public:
  StationWindow(const TempDir& dir, ManualClock& clock)
      : station(SimulatedStationOptions(dir, clock)) {
    QObject::connect(&station, &StationController::logLine,
                     [this](const std::string& line) { log.push_back(line); });
    form = std::make_unique<TMainForm>(station);
    form->FormCreate();
    form->show();
    Settle();
  }
  ~StationWindow() {
    form->close();
    Settle();
  }
  int Count(const std::string& text) const {
    return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const std::string& l) {
      return l.find(text) != std::string::npos;
    }));
  }

  StationController station;
  std::vector<std::string> log;
  std::unique_ptr<TMainForm> form;
};
