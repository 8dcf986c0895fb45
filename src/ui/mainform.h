#pragma once
// The station's main window: lamps, the three panel buttons with their
// fold-out panels (information, history, actual measurement), the menu bar,
// the status bar and the tray icon. It owns no device: it mirrors the
// controller, keeps the display settings and forwards the operator's actions.
#include <QCoreApplication>
#include <QMainWindow>

#include <array>
#include <functional>
#include <vector>

#include "station/station_controller.h"
#include "maintenance/backup_guard.h"
#include "maintenance/export_menu.h"
#include "storage/ascii_export.h"
#include "storage/history_reader.h"
#include "ui/lamp.h"
#include "ui/logview.h"
#include "ui/paramsform.h"
#include "ui/terminalform.h"
#include "ui/printing.h"
#include "ui/waveform.h"
#include "ui/waveform_renderer.h"

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
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
  QLineEdit* Field(InfoField field) const { return m_fields[static_cast<int>(field)]; }
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

  // Information panel.
  QFrame* PanelInfo = nullptr;
  QLabel* LblPIN = nullptr;
  QLabel* LblSignal = nullptr;
  QPushButton* BtnSetTime = nullptr;
  QPushButton* BtnTestSMS = nullptr;
  QPushButton* BtnSignal = nullptr;

  // History panel.
  QFrame* PanelHistory = nullptr;
  QPushButton* BtnPrev = nullptr;
  QPushButton* BtnNext = nullptr;
  QLineEdit* MaskEditDateTime = nullptr;
  QSpinBox* EditShowHistorySeconds = nullptr;  // the edit and its up/down buttons
  QCheckBox* ChkBoxNormHist = nullptr;
  QCheckBox* ChkBoxTrigger = nullptr;
  QRadioButton* NanometresRadioBtnHist = nullptr;
  QRadioButton* MicrometresRadioBtnHist = nullptr;
  QRadioButton* MillimetresRadioBtnHist = nullptr;
  QPushButton* BtnEmailHist = nullptr;
  QPushButton* BtnASCIIHist = nullptr;
  QPushButton* BtnPrintHist = nullptr;

  // Actual measurement panel.
  QFrame* PanelActual = nullptr;
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

  // `sender` is one of the three panel buttons or View menu items.
  void PanelShow(QObject* sender);
  void OnWaveFormCloseAction();
  void EditShowActualSecondsChange(int seconds);
  void ChkBoxNormActClick(bool checked);
  void ChkBoxAINClick(QCheckBox* box);
  void RadioBtnClick(QRadioButton* button);
  void ChkBoxFilteredActClick();
  void BtnPauseClick();
  void MenuSuspendClick();
  void MenuViewLogClick();
  // Options: the parameters dialog and the terminal window, both modal.
  void MenuParametresClick();
  void MenuTerminalClick();
  // History navigation: a step of the picture, or a fresh read at the typed time.
  void BtnPrevNextClick(THistoryStep step);
  void BtnAsciiClick();
  // Both Print buttons: the waveform window as a seismogram.
  void BtnPrintClick();
  // The print dialog; a test replaces the modal one (empty: the system's).
  TPrintDialog PrintDialogHook;
  const THistoryRecord& HistoryRecord() const { return m_historyRecord; }
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
    QFrame* panel;
    QPushButton* button;
    QAction* menu;
    QPushButton* oppositeButton;  // null for Info
    QAction* oppositeMenu;
    QSpinBox* seconds;
    QCheckBox* norm;
  };
  void BuildMenus();
  void BuildInfoPanel(QWidget* central);
  void BuildHistoryPanel(QWidget* central);
  void BuildActualPanel(QWidget* central);
  QFrame* NewPanel(QWidget* central, const char* name, const QString& title);
  void FinishPanel(QFrame* panel);
  QPushButton* NewButton(QWidget* parent, const char* name, const QString& text,
                         const QString& hint = {});
  QRadioButton* NewUnitButton(QWidget* parent, const char* name, const QString& text);
  QSpinBox* NewSecondsEdit(QWidget* parent, const char* name, const QString& hint);
  void RefreshIndicators();
  void ShowMessage(const QString& text);
  // The operator's wording of the backup refusal and question; the log keeps the English one.
  QString BackupRefusalText(const BackupConflict& c, const std::string& folder) const;
  QString DeleteBackUpQuestionText(const std::string& folder, const FolderSize& size) const;
  void UpdateLiveView();
  // Repaint rule of the settings handlers: history shown, or the live view frozen.
  void RepaintIfStill();
  // Checks `button` and applies its unit as a click would.
  void SelectUnit(QRadioButton* button);
  QAction* AddItem(QMenu* menu, const char* name, const QString& text, const QKeySequence& key,
                   bool enabled);

  StationController& m_station;
  std::array<TLamp*, kLedCount> m_lamps{};
  std::array<QLineEdit*, kInfoFieldCount> m_fields{};
  std::vector<QRadioButton*> m_unitButtons;
  TDisplaySettings m_display;
  THistoryPicture m_history;  // what the history view draws: the record's display samples
  THistoryReader m_historyReader;
  THistoryRecord m_historyRecord;
  ExportMenuChecks m_exportChecks;
  QWidget* m_header = nullptr;
  int m_contentHeight = 0;  // header plus the open panels, each with its 5-pixel gap
  bool m_shown = false;
};
