#include "ui/mainform.h"

#include "ui/language.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QIcon>
#include <QScreen>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrinter>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <limits>

#include "maintenance/backup_guard.h"

#include "ui/manual.h"
#include "ui/qt_text.h"

namespace {
constexpr int kPanelGap = 5;
constexpr int32_t kCountsFullScale = 536'870'912;  // 2^29

// round(perCount × 2^29), halves to even, kept inside the int32 range the
// renderer takes: a calibration of 4 or more per count would otherwise wrap to
// a negative scale.
int32_t FullScaleOf(const ArrayOfReal& perCount) {
  if (perCount.empty() || !std::isfinite(perCount[0])) return 0;
  const double v = std::nearbyint(perCount[0] * double(kCountsFullScale));
  constexpr double kMax = std::numeric_limits<int32_t>::max();
  constexpr double kMin = std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(std::clamp(v, kMin, kMax));
}
}  // namespace

TMainForm::TMainForm(StationController& station, QWidget* parent)
    : QMainWindow(parent), m_station(station) {
  setObjectName("MainForm");
  setWindowTitle("Velkor");
  // One icon for every window of the program and for the tray.
  QApplication::setWindowIcon(QIcon(":/velkor.png"));
  setWindowIcon(QApplication::windowIcon());
  auto* central = new QWidget(this);
  central->installEventFilter(this);
  // The header keeps its own layout; the panels below it are placed by
  // PanelShow, in the order they were opened.
  m_header = new QWidget(central);
  auto* row = new QHBoxLayout(m_header);
  row->setContentsMargins(4, 2, 4, 2);
  row->setSpacing(6);
  // The first five lamps stand on the window; the other three belong to the information panel.
  for (int i = 0; i < TInfoPanel::kFirstLamp; ++i) {
    m_lamps[i] = new TLamp(kLedTable[i], central);
    row->addWidget(m_lamps[i]);
  }
  row->addStretch(1);
  auto makeButton = [&](const char* name, const QString& text, const QString& hint) {
    QPushButton* b = NewButton(m_header, name, text, hint);
    connect(b, &QPushButton::clicked, this, [this, b] { PanelShow(b); });
    row->addWidget(b);
    return b;
  };
  BtnActual = makeButton("BtnActual", "&Actual Measurement >", "View Actual Measurement");
  BtnHistory = makeButton("BtnHistory", "&History >", "Show History Browser");
  BtnInfo = makeButton("BtnInfo", "&Info >", "Show Information");
  m_header->adjustSize();
  setCentralWidget(central);
  central->setMinimumSize(m_header->sizeHint());

  StatusPanel0 = new QLabel(this);
  StatusPanel0->setFixedWidth(196);
  StatusPanel1 = new QLabel(this);
  StatusPanel1->setFixedWidth(50);
  statusBar()->addWidget(StatusPanel0);
  statusBar()->addWidget(StatusPanel1);

  BuildMenus();
  // No parent: a window owned by the main window would be kept above it by
  // the desktop, and the live picture belongs behind the main window.
  WaveForm = new TWaveForm(nullptr);
  WaveForm->hide();
  BuildPanels(central);
  connect(WaveForm, &TWaveForm::closed, this, &TMainForm::OnWaveFormCloseAction);
  connect(WaveForm, &TWaveForm::mainWindowRequested, this, [this] {
    raise();
    activateWindow();
  });

  ParamsForm = new TParamsForm(this);
  TerminalForm = new TTerminalForm(this);
  m_station.SwitchLanguage = [](const std::string& language) { return SwitchLanguage(Latin1(language)); };
  LogView = new TLogViewForm(this);
  // Lines come from worker threads too: the viewer as context runs the update on its own thread.
  connect(&m_station, &StationController::logLine, LogView, &TLogViewForm::AddLine);

  // The pop-up exists even where the desktop shows no tray, so its two
  // commands stay reachable (and testable) everywhere.
  auto* pop = new QMenu(this);
  PopMinMax = pop->addAction("Minimize");
  PopMinMax->setObjectName("PopMinMax");
  QAction* close = pop->addAction("Close");
  close->setObjectName("PopUpClose");
  connect(PopMinMax, &QAction::triggered, this, &TMainForm::PopMinMaxClick);
  connect(close, &QAction::triggered, this, &QWidget::close);
  TrayIcon = new QSystemTrayIcon(windowIcon(), this);
  TrayIcon->setToolTip("Velkor");
  connect(TrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
    if (r == QSystemTrayIcon::Trigger) PopMinMaxClick();
  });
  TrayIcon->setContextMenu(pop);
  if (QSystemTrayIcon::isSystemTrayAvailable()) TrayIcon->show();

  connect(&m_station, &StationController::indicatorsChanged, this, &TMainForm::RefreshIndicators);
  connect(&m_station, &StationController::messageBox, this, [this](const std::string& text) {
    // Start-up goes on: an unattended station must not wait for a click.
    auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(), Latin1(text), QMessageBox::Ok, this);
    box->setObjectName("StartUpMessage");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
  });
  connect(&m_station, &StationController::titleChanged, this,
          [this](const std::string& title) { StatusPanel0->setText(Latin1(title)); });
  connect(&m_station, &StationController::closeRequested, this, &QWidget::close);
  connect(&m_station, &StationController::liveDataChanged, this, [this](const std::string& caption) {
    WaveForm->setWindowTitle(Latin1(caption));
    WaveForm->update();
  });
}

TMainForm::~TMainForm() { delete WaveForm; }

void TMainForm::BuildPanels(QWidget* central) {
  PanelInfo = new TInfoPanel(central, m_station);
  for (int i = TInfoPanel::kFirstLamp; i < kLedCount; ++i) m_lamps[i] = PanelInfo->Lamp(i);
  PanelHistory = new THistoryPanel(central, m_station, m_display, *WaveForm);
  PanelActual = new TActualPanel(central, m_station, m_display, *WaveForm);
  // Settings both views share.
  for (TPanel* panel : std::initializer_list<TPanel*>{PanelHistory, PanelActual})
    connect(panel, &TPanel::unitChosen, this, &TMainForm::ApplyUnit);
  for (QSpinBox* e : {PanelHistory->SecondsEdit(), PanelActual->SecondsEdit()})
    connect(e, &QSpinBox::valueChanged, this, &TMainForm::EditShowActualSecondsChange);
  for (QCheckBox* b : {PanelHistory->NormBox(), PanelActual->NormBox()})
    connect(b, &QCheckBox::clicked, this, &TMainForm::ChkBoxNormActClick);
  for (QPushButton* b : {PanelHistory->BtnPrintHist, PanelActual->BtnPrintAct})
    connect(b, &QPushButton::clicked, this, &TMainForm::BtnPrintClick);
  connect(PanelHistory, &THistoryPanel::message, this, &TMainForm::ShowMessage);
}

QAction* TMainForm::AddItem(QMenu* menu, const char* name, const QString& text,
                            const QKeySequence& key, bool enabled) {
  QAction* a = menu->addAction(text);
  a->setObjectName(name);
  if (!key.isEmpty()) a->setShortcut(key);
  a->setEnabled(enabled);
  return a;
}

void TMainForm::BuildMenus() {
  // Items whose windows and jobs do not exist yet stay disabled.
  QMenu* exportMenu = menuBar()->addMenu("Export");
  const std::pair<const char*, ExportMenuItem> exportItems[] = {
      {"MenuExportLog", ExportMenuItem::LogFile},
      {"MenuExportTriggers", ExportMenuItem::Triggers},
      {"MenuExportLongTime", ExportMenuItem::LongTimeData},
      {"MenuDeleteBackUp", ExportMenuItem::DeleteBackUpFolder}};
  AddItem(exportMenu, "MenuExportLog", "Log File", QKeySequence(Qt::Key_F7), true);
  AddItem(exportMenu, "MenuExportTriggers", "Triggers", QKeySequence(Qt::Key_F8), true);
  AddItem(exportMenu, "MenuExportLongTime", "Long Time Data", {}, true);
  AddItem(exportMenu, "MenuDeleteBackUp", "Delete BackUp Folder", {}, true);
  for (const auto& [name, item] : exportItems) {
    QAction* a = Action(name);
    a->setCheckable(true);
    connect(a, &QAction::triggered, this, [this, item = item] { ExportClick(item); });
  }

  QMenu* general = menuBar()->addMenu("&General");
  MenuActual = AddItem(general, "MenuActual", "View Actual Measurement", QKeySequence(Qt::Key_F2), true);
  MenuHistory = AddItem(general, "MenuHistory", "View History", QKeySequence(Qt::Key_F3), true);
  MenuInfo = AddItem(general, "MenuInfo", "View Station Information", QKeySequence(Qt::Key_F4), true);
  for (QAction* a : {MenuActual, MenuHistory, MenuInfo}) {
    a->setCheckable(true);
    connect(a, &QAction::triggered, this, [this, a] { PanelShow(a); });
  }
  MenuSyncPCClock =
      AddItem(general, "MenuSyncPCClock", "Synchronize PC Clock", QKeySequence(Qt::Key_F5), false);
  // The check mark tells that the clock follows GPS; choosing the item only
  // asks for a synchronisation, it does not switch that off.
  MenuSyncPCClock->setCheckable(true);
  connect(MenuSyncPCClock, &QAction::triggered, this, [this] {
    MenuSyncPCClock->setChecked(m_station.MenuSyncPCClockChecked());
    m_station.BtnSetTimeClick();
  });

  QMenu* options = menuBar()->addMenu("&Options");
  QAction* params = AddItem(options, "MenuParametres", "Parametres", QKeySequence(Qt::Key_F11), true);
  connect(params, &QAction::triggered, this, &TMainForm::MenuParametresClick);
  QAction* viewLog = AddItem(options, "MenuViewLog", "View log", QKeySequence(Qt::Key_F12), true);
  connect(viewLog, &QAction::triggered, this, &TMainForm::MenuViewLogClick);
  QAction* terminal = AddItem(options, "MenuTerminal", "Terminal", {}, true);
  connect(terminal, &QAction::triggered, this, &TMainForm::MenuTerminalClick);
  MenuSuspend = AddItem(options, "MenuSuspend", "Suspend", {}, true);
  MenuSuspend->setCheckable(true);
  connect(MenuSuspend, &QAction::triggered, this, &TMainForm::MenuSuspendClick);

  QMenu* help = menuBar()->addMenu("&Help");
  QAction* manual = AddItem(help, "MenuManual", "Manual", QKeySequence(Qt::Key_F1), true);
  connect(manual, &QAction::triggered, this, &TMainForm::MenuManualClick);
  QAction* about = AddItem(help, "MenuAbout", "About", {}, true);
  connect(about, &QAction::triggered, this, &TMainForm::MenuAboutClick);
}

QAction* TMainForm::Action(const QString& objectName) const {
  return findChild<QAction*>(objectName);
}

void TMainForm::FormCreate() {
  // 96 pixels counted the title bar; the client area takes no more than the
  // lamps, the buttons, the menu and the status bar need. The frame, title
  // bar included, goes to the top left of the screen: placing the client
  // area there would push the title bar off the screen.
  resize(414, std::min(96, minimumSizeHint().height()));
  move(screen() ? screen()->availableGeometry().topLeft() + QPoint(1, 1) : QPoint(1, 1));
  m_station.FormCreate();
  ParamsForm->Attach(
      m_station.Params(), m_station.State().Offsets,
      [this](bool keepOffsetsFile) { m_station.ApplySavedParameters(keepOffsetsFile); },
      m_station.ADGain(), m_station.Files());
  setWindowTitle(Latin1(m_station.Caption()));
  if (TrayIcon) TrayIcon->setToolTip(Latin1(m_station.Caption()));
  MenuSyncPCClock->setChecked(m_station.MenuSyncPCClockChecked());
  StatusPanel0->setText(Latin1(m_station.Title()));
  PanelActual->EnableControls();
  PanelInfo->EnableControls();
  MenuSyncPCClock->setEnabled(m_station.GpsControlsEnabled());
  m_station.SetDisplayUnit(m_display.Unit);
  RefreshIndicators();
}

void TMainForm::FormShow() {
  if (!m_station.Params().AutoShowDetails) return;
  if (!PanelInfo->isVisible()) PanelShow(BtnInfo);
  if (!WaveForm->isVisible()) PanelShow(BtnActual);
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // A restore from the tray or the task bar is not a new show.
  if (!event->spontaneous()) FormShow();
}

void TMainForm::RefreshIndicators() {
  const Indicators& ind = m_station.Lamps();
  for (int i = 0; i < kLedCount; ++i) m_lamps[i]->SetState(ind.Led(static_cast<LedId>(i)));
  PanelInfo->ShowFields(ind);
}

void TMainForm::PanelShow(QObject* sender) {
  PanelSet set{};
  if (sender == BtnHistory || sender == MenuHistory) {
    set = {PanelHistory, BtnHistory, MenuHistory, BtnActual, MenuActual, PanelHistory->SecondsEdit(),
           PanelHistory->NormBox()};
  } else if (sender == BtnActual || sender == MenuActual) {
    set = {PanelActual, BtnActual, MenuActual, BtnHistory, MenuHistory, PanelActual->SecondsEdit(),
           PanelActual->NormBox()};
  } else if (sender == BtnInfo || sender == MenuInfo) {
    set = {PanelInfo, BtnInfo, MenuInfo, nullptr, nullptr, nullptr, nullptr};
  } else {
    return;
  }
  // The two views exclude each other: a disabled pair cannot open its panel.
  if (!set.button->isEnabled()) return;
  const bool opening = !set.panel->isVisible();
  if (opening && set.panel == PanelHistory) PanelHistory->Opening();
  else if (opening && set.panel == PanelActual) PanelActual->Opening();

  QWidget* central = centralWidget();
  const int step = set.panel->height() + kPanelGap;
  const bool anyOpen = PanelInfo->isVisible() || PanelHistory->isVisible() || PanelActual->isVisible();
  if (!anyOpen) m_contentHeight = central->height();
  if (opening) {
    // Below whatever is open already, just above the status bar; the window
    // grows so that the status bar ends up below the new panel.
    set.panel->setGeometry(0, m_contentHeight + kPanelGap, central->width(), set.panel->height());
    set.panel->show();
    m_contentHeight += step;
    resize(width(), height() + step);
  } else {
    const int top = set.panel->y();
    set.panel->hide();
    for (TPanel* other : std::initializer_list<TPanel*>{PanelInfo, PanelHistory, PanelActual})
      if (other->isVisible() && other->y() > top) other->move(other->x(), other->y() - step);
    m_contentHeight -= step;
    resize(width(), height() - step);
  }

  set.menu->setChecked(opening);
  QString caption = set.button->text();
  caption.back() = opening ? QChar('<') : QChar('>');
  set.button->setText(caption);
  QString hint = set.button->toolTip();
  hint.replace(0, 4, hint.startsWith("Hide") ? "Show" : "Hide");
  set.button->setToolTip(hint);
  set.button->setStatusTip(hint);

  if (set.oppositeButton) {
    set.oppositeButton->setEnabled(!opening);
    set.oppositeMenu->setEnabled(!opening);
    set.seconds->setValue(m_display.SecondsShown);
    set.norm->setChecked(m_display.Normalise);
    if (opening) {
      WaveForm->show();
      // The waveform window stays behind the main window.
      raise();
      activateWindow();
    } else {
      WaveForm->hide();
    }
  }
  UpdateLiveView();
  set.button->setFocus();
}

void TMainForm::OnWaveFormCloseAction() {
  // The open view folds up with its window; with neither open there is nothing to fold.
  if (!PanelActual->isVisible() && !PanelHistory->isVisible()) {
    UpdateLiveView();
    return;
  }
  PanelShow(BtnActual->isEnabled() ? BtnActual : BtnHistory);
}

void TMainForm::UpdateLiveView() {
  m_station.SetLiveViewVisible(BtnActual->isEnabled() && WaveForm->isVisible());
}

void TMainForm::RepaintIfStill() {
  if (PanelHistory->isVisible() || (PanelActual->isVisible() && m_station.State().DisplayPaused))
    WaveForm->update();
}

void TMainForm::EditShowActualSecondsChange(int seconds) {
  m_display.SecondsShown = std::clamp(seconds, kSecondsShownMin, kSecondsShownMax);
  if (PanelHistory->isVisible() && PanelHistory->ChkBoxTrigger->isChecked()) {
    PanelHistory->BtnPrevNextClick(THistoryStep::None);
    return;
  }
  RepaintIfStill();
}

void TMainForm::ExportClick(ExportMenuItem item) {
  const TProgParam& p = m_station.Params();
  bool confirmed = false;
  if (item == ExportMenuItem::DeleteBackUpFolder) {
    const std::string refusal =
        BackupDeletionRefusal(p.BackupDir, p, m_station.Files().ProgramDir);
    if (!refusal.empty()) {
      m_station.IndicateSaveLog("Err: " + refusal);
      ShowMessage(BackupRefusalText(FindBackupConflict(p.BackupDir, p, m_station.Files().ProgramDir), p.BackupDir));
    } else {
      const QString question = DeleteBackUpQuestionText(p.BackupDir, MeasureFolder(p.BackupDir));
      confirmed = AskHook ? AskHook(question)
                          : QMessageBox::question(this, windowTitle(), question) == QMessageBox::Yes;
    }
    if (confirmed) m_station.DeleteBackUpFolderClick();
  } else {
    const std::string proposed =
        item == ExportMenuItem::LogFile
            ? LogExportProposedName(p.IDStation, m_station.StationClock().NowUtc())
            : std::string(kDirExportProposedName);
    const QString start = Latin1(m_station.Files().ProgramDir + proposed);
    const QString chosen =
        SaveFileHook ? SaveFileHook(start) : QFileDialog::getSaveFileName(this, QString(), start);
    confirmed = !chosen.isEmpty();
    if (confirmed) {
      const std::string file = Latin1(chosen);
      if (item == ExportMenuItem::LogFile)
        m_station.ExportLogClick(file);
      else
        m_station.ExportDirClick(item == ExportMenuItem::Triggers ? ExportSourceKind::Triggers
                                                                  : ExportSourceKind::LongTimeData,
                                 file);
    }
  }
  // The menu has ticked the item on its own; Cancel or No starts nothing.
  if (confirmed) m_exportChecks = CheckExportMenu(m_exportChecks, item);
  Action("MenuExportLog")->setChecked(m_exportChecks.LogFile);
  Action("MenuExportTriggers")->setChecked(m_exportChecks.Triggers);
  Action("MenuExportLongTime")->setChecked(m_exportChecks.LongTimeData);
  Action("MenuDeleteBackUp")->setChecked(m_exportChecks.DeleteBackUpFolder);
}

QString TMainForm::BackupRefusalText(const BackupConflict& c, const std::string& folder) const {
  auto bare = [](std::string s) {
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return Latin1(s);
  };
  const QString name = c.Folder.Name == "station" ? tr("station")
                       : c.Folder.Name == "data"  ? tr("data")
                       : c.Folder.Name == "trigger" ? tr("trigger")
                       : c.Folder.Name == "log"   ? tr("log")
                                                  : Latin1(c.Folder.Name);
  const QString text = c.How == "is"         ? tr("The backup folder %1 is not deleted: it is the %2 folder %3.")
                       : c.How == "contains" ? tr("The backup folder %1 is not deleted: it contains the %2 folder %3.")
                                             : tr("The backup folder %1 is not deleted: it lies inside the %2 folder %3.");
  return text.arg(bare(folder), name, bare(c.Folder.Path));
}

QString TMainForm::DeleteBackUpQuestionText(const std::string& folder, const FolderSize& size) const {
  std::string bare = folder;
  while (bare.size() > 1 && bare.back() == '/') bare.pop_back();
  const QString amount = size.Files == 1 ? tr("%1 in %2 file") : tr("%1 in %2 files");
  return tr("Do you really want to delete backup folder?") + "\n\n" + Latin1(bare) + "\n" +
         amount.arg(Latin1(FormatByteSize(size.Bytes))).arg(size.Files);
}

void TMainForm::ShowMessage(const QString& text) {
  if (MessageHook)
    MessageHook(text);
  else
    QMessageBox::information(this, windowTitle(), text);
}

void TMainForm::BtnPrintClick() {
  QPrinter printer(QPrinter::HighResolution);
  const TPrintDialog dialog = PrintDialogHook ? PrintDialogHook : SystemPrintDialog(this);
  if (PrintSeismogram(*WaveForm, PanelActual->BtnPause, printer, dialog) == TPrintResult::PrinterFailed)
    ShowMessage(tr("The printer could not be opened; the seismogram was not printed."));
}

void TMainForm::ChkBoxNormActClick(bool checked) {
  m_display.Normalise = checked;
  RepaintIfStill();
}

void TMainForm::ApplyUnit(DisplayUnitKind unit) {
  m_display.Unit = unit;
  switch (unit) {
    case DisplayUnitKind::NanoMetrePerSecond:
    case DisplayUnitKind::MicroMetrePerSecond:
    case DisplayUnitKind::MilliMetrePerSecond:
      m_display.FullScale = FullScaleOf(m_station.Params().LSBin);
      break;
    case DisplayUnitKind::MicroVolt: m_display.FullScale = FullScaleOf(m_station.ADGain()); break;
    case DisplayUnitKind::Counts: m_display.FullScale = kCountsFullScale; break;
  }
  // The cycle converts the live window into the unit shown.
  m_station.SetDisplayUnit(unit);
  RepaintIfStill();
}

void TMainForm::MenuSuspendClick() {
  m_station.MenuSuspendClick();
  MenuSuspend->setChecked(m_station.Suspended());
}

void TMainForm::MenuViewLogClick() { LogView->Open(m_station.Params().LogFile); }

void TMainForm::MenuParametresClick() {
  if (ParamsForm->exec() == kModalOK) m_station.IndicateSaveLog("Inf: New parametres were saved into ini-file.");
}

void TMainForm::MenuTerminalClick() {
  TerminalForm->GSMOpenBtn->setEnabled(m_station.TerminalSuspend());
  TerminalForm->exec();
  m_station.TerminalResume();
}

void TMainForm::MenuAboutClick() {
  QMessageBox::about(this, "About Velkor",
                     QString("Velkor %1\nDatalogger for unattended seismic stations.")
                         .arg(VELKOR_VERSION));
}

void TMainForm::MenuManualClick() {
  const QString stationCopy = Latin1(m_station.Params().HelpFile);
  const QString path = FindManual(ManualSearchDir, stationCopy);
  if (path.isEmpty())
    ShowMessage(tr("The manual was not found: neither %1 beside the program nor %2.")
                    .arg(kManualFileName, stationCopy));
  else
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void TMainForm::PopMinMaxClick() {
  if (isMinimized()) {
    showNormal();
    PopMinMax->setText(tr("Minimize"));
  } else {
    showMinimized();
    PopMinMax->setText(tr("Maximize"));
  }
}

void TMainForm::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  // Minimised or restored by the desktop: the tray item names the other command.
  if (event->type() == QEvent::WindowStateChange && PopMinMax)
    PopMinMax->setText(isMinimized() ? "Maximize" : "Minimize");
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == centralWidget() && event->type() == QEvent::Resize) {
    const int w = centralWidget()->width();
    m_header->setGeometry(0, 0, w, m_header->sizeHint().height());
    for (TPanel* p : std::initializer_list<TPanel*>{PanelInfo, PanelHistory, PanelActual})
      p->resize(w, p->height());
  }
  return QMainWindow::eventFilter(watched, event);
}

void TMainForm::closeEvent(QCloseEvent* event) {
  m_station.FormClose();
  WaveForm->hide();
  if (TrayIcon) TrayIcon->hide();
  event->accept();
}
