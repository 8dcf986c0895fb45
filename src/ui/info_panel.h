#pragma once
// The information panel: the station's fields (times, position, samples, GSM),
// the clock and GSM buttons and the last three lamps.
#include <array>

#include "station/indicators.h"
#include "ui/panel.h"

class QLabel;
class QLineEdit;
class StationController;
class TLamp;

class TInfoPanel : public TPanel {
  Q_OBJECT
 public:
  TInfoPanel(QWidget* parent, StationController& station);

  // After start-up: the GPS and GSM controls follow the configuration.
  void EnableControls();
  // The fields follow the controller's indicators.
  void ShowFields(const Indicators& indicators);
  QLineEdit* Field(InfoField field) const { return m_fields[static_cast<int>(field)]; }
  // Lamps kFirstLamp… stand on this panel.
  static constexpr int kFirstLamp = 5;
  TLamp* Lamp(int id) const { return m_lamps[id - kFirstLamp]; }

  QLabel* LblPIN = nullptr;
  QLabel* LblSignal = nullptr;
  QPushButton* BtnSetTime = nullptr;
  QPushButton* BtnTestSMS = nullptr;
  QPushButton* BtnSignal = nullptr;

 private:
  void EnableGsm(bool on);

  StationController& m_station;
  std::array<QLineEdit*, kInfoFieldCount> m_fields{};
  std::array<TLamp*, kLedCount - kFirstLamp> m_lamps{};
};
