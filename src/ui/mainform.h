#pragma once
// The station's main window: lamps, the three panel buttons with their
// fold-out panels (information, history, actual measurement), the menu bar,
// the status bar and the tray icon. It owns no device: it mirrors the
// controller, keeps the display settings and forwards the operator's actions.
// The panels are widgets of their own; the window stacks them and applies the
// settings the live and the history view share.
#include <QCoreApplication>
#include <QMainWindow>

#include <array>
#include <functional>

#include "station/station_controller.h"
#include "maintenance/backup_guard.h"
#include "maintenance/export_menu.h"
#include "ui/actual_panel.h"
#include "ui/history_panel.h"
#include "ui/info_panel.h"
#include "ui/lamp.h"
#include "ui/logview.h"
#include "ui/paramsform.h"
#include "ui/terminalform.h"
#include "ui/printing.h"
#include "ui/waveform.h"
#include "ui/waveform_renderer.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QSystemTrayIcon;

class TMainForm : public QMainWindow {
  Q_OBJECT
 public:
  explicit TMainForm(StationController& station, QWidget* parent = nullptr);
  ~TMainForm() override;
  // Start-up: window placement, then the controller's start-up sequence.
  void FormCreate();
  // With AutoShowDetails: opens the information panel and the live view.
  void FormShow();

  TLamp* Lamp(LedId id) const { return m_lamps[static_cast<int>(id)]; }
  QAction* Action(const QString& objectName) const;
  QLineEdit* Field(InfoField field) const { return PanelInfo->Field(field); }
  const TDisplaySettings& DisplaySettings() const { return m_display; }

  QPushButton* BtnActual = nullptr;
  QPushButton* BtnHistory = nullptr;
  QPushButton* BtnInfo = nullptr;
  QSystemTrayIcon* TrayIcon = nullptr;
  QAction* MenuActual = nullptr;
  QAction* MenuHistory = nullptr;
  QAction* MenuInfo = nullptr;
  QAction* MenuSuspend = nullptr;
  QAction* MenuSyncPCClock = nullptr;
  QAction* PopMinMax = nullptr;
  QLabel* StatusPanel0 = nullptr;
  QLabel* StatusPanel1 = nullptr;
  TWaveForm* WaveForm = nullptr;  // its own top-level window, deleted with this one
  TLogViewForm* LogView = nullptr;  // a window of its own, a child of this one
  TParamsForm* ParamsForm = nullptr;
  TTerminalForm* TerminalForm = nullptr;

  TInfoPanel* PanelInfo = nullptr;
  THistoryPanel* PanelHistory = nullptr;
  TActualPanel* PanelActual = nullptr;

  // `sender` is one of the three panel buttons or View menu items.
  void PanelShow(QObject* sender);
  void OnWaveFormCloseAction();
  // Settings both views share: seconds shown, norm and unit.
  void EditShowActualSecondsChange(int seconds);
  void ChkBoxNormActClick(bool checked);
  void ApplyUnit(DisplayUnitKind unit);
  void MenuSuspendClick();
  void MenuViewLogClick();
  // Options: the parameters dialog and the terminal window, both modal.
  void MenuParametresClick();
  void MenuTerminalClick();
  // Both Print buttons: the waveform window as a seismogram.
  void BtnPrintClick();
  // The print dialog; a test replaces the modal one (empty: the system's).
  TPrintDialog PrintDialogHook;
  // Messages of operator actions; a test replaces the modal box.
  std::function<void(const QString&)> MessageHook;
  // Export menu: the save dialog (empty result: cancelled) and the Yes/No question.
  void ExportClick(ExportMenuItem item);
  std::function<QString(const QString& proposed)> SaveFileHook;
  std::function<bool(const QString& question)> AskHook;
  void MenuAboutClick();
  void MenuManualClick();
  // Where the manual is looked for first; a test points it elsewhere.
  QString ManualSearchDir = QCoreApplication::applicationDirPath();
  void PopMinMaxClick();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct PanelSet {
    TPanel* panel;
    QPushButton* button;
    QAction* menu;
    QPushButton* oppositeButton;  // null for Info
    QAction* oppositeMenu;
    QSpinBox* seconds;
    QCheckBox* norm;
  };
  void BuildMenus();
  void BuildPanels(QWidget* central);
  void RefreshIndicators();
  void ShowMessage(const QString& text);
  // The operator's wording of the backup refusal and question; the log keeps the English one.
  QString BackupRefusalText(const BackupConflict& c, const std::string& folder) const;
  QString DeleteBackUpQuestionText(const std::string& folder, const FolderSize& size) const;
  void UpdateLiveView();
  // Repaint rule of the settings handlers: history shown, or the live view frozen.
  void RepaintIfStill();
  QAction* AddItem(QMenu* menu, const char* name, const QString& text, const QKeySequence& key,
                   bool enabled);

  StationController& m_station;
  std::array<TLamp*, kLedCount> m_lamps{};
  TDisplaySettings m_display;  // shared by the live and the history view
  ExportMenuChecks m_exportChecks;
  QWidget* m_header = nullptr;
  int m_contentHeight = 0;  // header plus the open panels, each with its 5-pixel gap
  bool m_shown = false;
};
