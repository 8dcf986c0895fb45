#pragma once
// The station's main window: lamps, the three panel buttons, the menu bar,
// the status bar and the tray icon. It owns no device: it mirrors the
// controller and forwards the operator's actions to it.
#include <QMainWindow>

#include <array>

#include "station/station_controller.h"
#include "ui/lamp.h"

class QAction;
class QLabel;
class QPushButton;
class QSystemTrayIcon;

class TMainForm : public QMainWindow {
  Q_OBJECT
 public:
  explicit TMainForm(StationController& station, QWidget* parent = nullptr);
  // Start-up: window placement, then the controller's start-up sequence.
  void FormCreate();

  TLamp* Lamp(LedId id) const { return m_lamps[static_cast<int>(id)]; }
  QAction* Action(const QString& objectName) const;
  QPushButton* BtnActual = nullptr;
  QPushButton* BtnHistory = nullptr;
  QPushButton* BtnInfo = nullptr;
  QSystemTrayIcon* TrayIcon = nullptr;
  QAction* MenuSuspend = nullptr;
  QAction* MenuSyncPCClock = nullptr;
  QAction* PopMinMax = nullptr;
  QLabel* StatusPanel0 = nullptr;
  QLabel* StatusPanel1 = nullptr;

  void MenuSuspendClick();
  void MenuAboutClick();
  void MenuManualClick();
  void PopMinMaxClick();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void RefreshIndicators();
  QAction* AddItem(QMenu* menu, const char* name, const QString& text, const QKeySequence& key,
                   bool enabled);

  StationController& m_station;
  std::array<TLamp*, kLedCount> m_lamps{};
};
