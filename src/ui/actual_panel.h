#pragma once
// The actual measurement panel: the live view's channels, norm, filter,
// seconds, pause and unit.
#include <array>

#include "common/types.h"
#include "ui/panel.h"

class QCheckBox;
class StationController;
class TWaveForm;
struct TDisplaySettings;

class TActualPanel : public TPanel {
  Q_OBJECT
 public:
  // `display` and `waveForm` belong to the main window and outlive the panel.
  TActualPanel(QWidget* parent, StationController& station, TDisplaySettings& display,
               TWaveForm& waveForm);

  // After start-up: the Filtered box needs a loaded filter.
  void EnableControls();
  // The panel opens: the live picture in the unit shown so far.
  void Opening();
  QSpinBox* SecondsEdit() const { return EditShowActualSeconds; }
  QCheckBox* NormBox() const { return ChkBoxNormAct; }

  void ChkBoxAINClick(QCheckBox* box);
  void ChkBoxFilteredActClick();
  void BtnPauseClick();

  std::array<QCheckBox*, kChannelCount> ChkBoxIN{};
  QCheckBox* ChkBoxNormAct = nullptr;
  QCheckBox* ChkBoxFilterAct = nullptr;
  QSpinBox* EditShowActualSeconds = nullptr;
  QPushButton* BtnPause = nullptr;
  QRadioButton* CountsRadioBtn = nullptr;
  QRadioButton* microVoltRadioBtn = nullptr;
  QRadioButton* NanometresRadioBtn = nullptr;
  QRadioButton* MicrometresRadioBtn = nullptr;
  QRadioButton* MillimetresRadioBtn = nullptr;
  QPushButton* BtnEmailAct = nullptr;
  QPushButton* BtnASCIIAct = nullptr;
  QPushButton* BtnPrintAct = nullptr;

 private:
  StationController& m_station;
  TDisplaySettings& m_display;
  TWaveForm& m_waveForm;
};
