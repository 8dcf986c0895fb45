#include "ui/mainform.h"

#include "ui/language.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFrame>
#include <QIcon>
#include <QScreen>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "maintenance/backup_guard.h"

#include "ui/manual.h"

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
// Station texts (log lines, panel fields, files) are 8-bit Latin-1.
QString Latin1(const std::string& s) {
  return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

constexpr int kPanelGap = 5;
constexpr int kSecondsMin = 1, kSecondsMax = 60;
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

bool IsVelocity(const std::string& unit) {
  return unit == "nm/s" || unit == "µm/s" || unit == "mm/s";
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
  for (int i = 0; i < kLedCount; ++i) {
    m_lamps[i] = new TLamp(kLedTable[i], central);
    if (i < 5) row->addWidget(m_lamps[i]);
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
  BuildInfoPanel(central);
  BuildHistoryPanel(central);
  BuildActualPanel(central);

  // No parent: a window owned by the main window would be kept above it by
  // the desktop, and the live picture belongs behind the main window.
  WaveForm = new TWaveForm(nullptr);
  WaveForm->hide();
  connect(WaveForm, &TWaveForm::closed, this, &TMainForm::OnWaveFormCloseAction);
  connect(WaveForm, &TWaveForm::mainWindowRequested, this, [this] {
    raise();
    activateWindow();
  });

  ParamsForm = new TParamsForm(this);
  TerminalForm = new TTerminalForm(this);
  m_station.SwitchLanguage = [](const std::string& language) {
    return SwitchLanguage(QString::fromLatin1(language.data(), static_cast<qsizetype>(language.size())));
  };
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
    auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(), Q(text), QMessageBox::Ok, this);
    box->setObjectName("StartUpMessage");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
  });
  connect(&m_station, &StationController::titleChanged, this,
          [this](const std::string& title) { StatusPanel0->setText(Q(title)); });
  connect(&m_station, &StationController::closeRequested, this, &QWidget::close);
  connect(&m_station, &StationController::liveDataChanged, this, [this](const std::string& caption) {
    WaveForm->setWindowTitle(Q(caption));
    WaveForm->update();
  });
}

TMainForm::~TMainForm() { delete WaveForm; }

QPushButton* TMainForm::NewButton(QWidget* parent, const char* name, const QString& text,
                                  const QString& hint) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(name);
  if (!hint.isEmpty()) {
    b->setToolTip(hint);
    b->setStatusTip(hint);
  }
  return b;
}

QRadioButton* TMainForm::NewUnitButton(QWidget* parent, const char* name, const QString& text) {
  auto* b = new QRadioButton(text, parent);
  b->setObjectName(name);
  connect(b, &QRadioButton::clicked, this, [this, b] { RadioBtnClick(b); });
  m_unitButtons.push_back(b);
  return b;
}

QSpinBox* TMainForm::NewSecondsEdit(QWidget* parent, const char* name, const QString& hint) {
  auto* e = new QSpinBox(parent);
  e->setObjectName(name);
  e->setRange(kSecondsMin, kSecondsMax);
  e->setValue(m_display.SecondsShown);
  e->setSuffix(" s");
  if (!hint.isEmpty()) {
    e->setToolTip(hint);
    e->setStatusTip(hint);
  }
  connect(e, &QSpinBox::valueChanged, this, &TMainForm::EditShowActualSecondsChange);
  return e;
}

QFrame* TMainForm::NewPanel(QWidget* central, const char* name, const QString& title) {
  auto* panel = new QFrame(central);
  panel->setObjectName(name);
  panel->setFrameShape(QFrame::StyledPanel);
  panel->setFrameShadow(QFrame::Raised);
  auto* column = new QVBoxLayout(panel);
  column->setContentsMargins(6, 4, 6, 6);
  column->setSpacing(4);
  auto* caption = new QLabel(title, panel);
  QFont f = caption->font();
  f.setBold(true);
  caption->setFont(f);
  column->addWidget(caption);
  return panel;
}

void TMainForm::FinishPanel(QFrame* panel) {
  panel->adjustSize();
  panel->setFixedHeight(panel->sizeHint().height());
  panel->hide();
}

void TMainForm::BuildInfoPanel(QWidget* central) {
  PanelInfo = NewPanel(central, "PanelInfo", "Information Panel ");
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(2);
  // Two columns of labelled fields, in table order, row by row.
  for (int i = 0; i < kInfoFieldCount; ++i) {
    const InfoFieldInfo& info = kInfoFieldTable[i];
    auto* label = new QLabel(info.label, PanelInfo);
    const QString editName = info.name;
    label->setObjectName("Lbl" + editName.mid(4));
    auto* edit = new QLineEdit("N/A", PanelInfo);
    edit->setObjectName(editName);
    edit->setReadOnly(true);
    edit->setMinimumWidth(90);
    label->setBuddy(edit);
    m_fields[i] = edit;
    grid->addWidget(label, i / 2, (i % 2) * 2);
    grid->addWidget(edit, i / 2, (i % 2) * 2 + 1);
  }
  LblPIN = PanelInfo->findChild<QLabel*>("LblPIN");
  LblSignal = PanelInfo->findChild<QLabel*>("LblSignal");
  // The GSM fields come alive only when the station sends SMS.
  for (QWidget* w : std::initializer_list<QWidget*>{LblPIN, LblSignal, Field(InfoField::PIN),
                                                    Field(InfoField::Signal)})
    w->setEnabled(false);
  static_cast<QVBoxLayout*>(PanelInfo->layout())->addLayout(grid);

  auto* row = new QHBoxLayout;
  row->setSpacing(6);
  BtnSetTime = NewButton(PanelInfo, "BtnSetTime", "Set PC &Time", "Force Computer Clock Sychronization");
  connect(BtnSetTime, &QPushButton::clicked, this, [this] { m_station.BtnSetTimeClick(); });
  BtnTestSMS = NewButton(PanelInfo, "BtnTestSMS", "Test", "Send Test Message");
  BtnSignal = NewButton(PanelInfo, "BtnSignal", "Signal", "Scan GSM Signal Intensity");
  BtnSignal->setEnabled(false);
  row->addWidget(BtnSetTime);
  row->addWidget(BtnTestSMS);
  row->addWidget(BtnSignal);
  connect(BtnTestSMS, &QPushButton::clicked, this, [this] { m_station.BtnTestSMSClick(); });
  connect(BtnSignal, &QPushButton::clicked, this, [this] { m_station.BtnSignalClick(); });
  row->addStretch(1);
  for (int i = 5; i < kLedCount; ++i) {
    m_lamps[i]->setParent(PanelInfo);
    row->addWidget(m_lamps[i]);
  }
  static_cast<QVBoxLayout*>(PanelInfo->layout())->addLayout(row);
  FinishPanel(PanelInfo);
}

void TMainForm::BuildHistoryPanel(QWidget* central) {
  PanelHistory = NewPanel(central, "PanelHistory", "History Control Panel ");
  auto* column = static_cast<QVBoxLayout*>(PanelHistory->layout());

  auto* nav = new QHBoxLayout;
  BtnPrev = NewButton(PanelHistory, "BtnPrev", "&< Previous");
  BtnNext = NewButton(PanelHistory, "BtnNext", "Next &>");
  MaskEditDateTime = new QLineEdit(PanelHistory);
  MaskEditDateTime->setObjectName("MaskEditDateTime");
  MaskEditDateTime->setInputMask("99.99.9999 99:99:99;_");
  MaskEditDateTime->setToolTip("Date And Time Currently Displayed Data");
  MaskEditDateTime->setStatusTip(MaskEditDateTime->toolTip());
  EditShowHistorySeconds =
      NewSecondsEdit(PanelHistory, "EditShowHistorySeconds", "Number Of Visible Read Periods");
  nav->addWidget(BtnPrev);
  nav->addWidget(MaskEditDateTime, 1);
  nav->addWidget(BtnNext);
  nav->addWidget(EditShowHistorySeconds);
  column->addLayout(nav);

  auto* opts = new QHBoxLayout;
  ChkBoxNormHist = new QCheckBox("&Norm", PanelHistory);
  ChkBoxNormHist->setObjectName("ChkBoxNormHist");
  ChkBoxNormHist->setChecked(true);
  connect(ChkBoxNormHist, &QCheckBox::clicked, this, &TMainForm::ChkBoxNormActClick);
  ChkBoxTrigger = new QCheckBox("T&rigger", PanelHistory);
  ChkBoxTrigger->setObjectName("ChkBoxTrigger");
  auto* units = new QButtonGroup(PanelHistory);
  NanometresRadioBtnHist = NewUnitButton(PanelHistory, "NanometresRadioBtnHist", "n&m/s");
  MicrometresRadioBtnHist = NewUnitButton(PanelHistory, "MicrometresRadioBtnHist", "µm/s");
  MillimetresRadioBtnHist = NewUnitButton(PanelHistory, "MillimetresRadioBtnHist", "mm/s");
  NanometresRadioBtnHist->setChecked(true);
  opts->addWidget(ChkBoxNormHist);
  opts->addWidget(ChkBoxTrigger);
  opts->addSpacing(8);
  for (QRadioButton* b : {NanometresRadioBtnHist, MicrometresRadioBtnHist, MillimetresRadioBtnHist}) {
    units->addButton(b);
    opts->addWidget(b);
  }
  opts->addStretch(1);
  column->addLayout(opts);

  auto* actions = new QHBoxLayout;
  BtnEmailHist = NewButton(PanelHistory, "BtnEmailHist", "Email");
  BtnEmailHist->setEnabled(false);
  BtnASCIIHist = NewButton(PanelHistory, "BtnASCIIHist", "ASCII");
  BtnPrintHist = NewButton(PanelHistory, "BtnPrintHist", "Print");
  actions->addStretch(1);
  actions->addWidget(BtnEmailHist);
  actions->addWidget(BtnASCIIHist);
  actions->addWidget(BtnPrintHist);
  column->addLayout(actions);
  connect(BtnPrev, &QPushButton::clicked, this, [this] { BtnPrevNextClick(THistoryStep::Previous); });
  connect(BtnNext, &QPushButton::clicked, this, [this] { BtnPrevNextClick(THistoryStep::Next); });
  connect(MaskEditDateTime, &QLineEdit::returnPressed, this,
          [this] { BtnPrevNextClick(THistoryStep::None); });
  connect(ChkBoxTrigger, &QCheckBox::toggled, this, [this] { BtnPrevNextClick(THistoryStep::None); });
  connect(BtnASCIIHist, &QPushButton::clicked, this, &TMainForm::BtnAsciiClick);
  connect(BtnPrintHist, &QPushButton::clicked, this, &TMainForm::BtnPrintClick);
  FinishPanel(PanelHistory);
}

void TMainForm::BuildActualPanel(QWidget* central) {
  PanelActual = NewPanel(central, "PanelActual", "Actual Measurement Control Panel ");
  auto* column = static_cast<QVBoxLayout*>(PanelActual->layout());

  auto* channels = new QGridLayout;
  channels->setVerticalSpacing(2);
  for (int k = 0; k < kChannelCount; ++k) {
    auto* box = new QCheckBox(QString("Channel &%1").arg(k), PanelActual);
    box->setObjectName(QString("ChkBoxIN%1").arg(k));
    box->setChecked(true);
    box->setToolTip("On/Off Channel");
    box->setStatusTip("On/Off Channel");
    connect(box, &QCheckBox::clicked, this, [this, box] { ChkBoxAINClick(box); });
    ChkBoxIN[k] = box;
    channels->addWidget(box, k / 4, k % 4);
  }
  column->addLayout(channels);

  auto* opts = new QHBoxLayout;
  ChkBoxNormAct = new QCheckBox("&Norm", PanelActual);
  ChkBoxNormAct->setObjectName("ChkBoxNormAct");
  ChkBoxNormAct->setChecked(true);
  connect(ChkBoxNormAct, &QCheckBox::clicked, this, &TMainForm::ChkBoxNormActClick);
  ChkBoxFilterAct = new QCheckBox("&Filtered", PanelActual);
  ChkBoxFilterAct->setObjectName("ChkBoxFilterAct");
  ChkBoxFilterAct->setToolTip("Display Filtered Data");
  ChkBoxFilterAct->setStatusTip("Display Filtered Data");
  connect(ChkBoxFilterAct, &QCheckBox::clicked, this, &TMainForm::ChkBoxFilteredActClick);
  EditShowActualSeconds = NewSecondsEdit(PanelActual, "EditShowActualSeconds", {});
  BtnPause = NewButton(PanelActual, "BtnPause", "< &Pause >", "Freeze Current Wave Window");
  connect(BtnPause, &QPushButton::clicked, this, &TMainForm::BtnPauseClick);
  opts->addWidget(ChkBoxNormAct);
  opts->addWidget(ChkBoxFilterAct);
  opts->addStretch(1);
  opts->addWidget(EditShowActualSeconds);
  opts->addWidget(BtnPause);
  column->addLayout(opts);

  auto* unitRow = new QHBoxLayout;
  auto* units = new QButtonGroup(PanelActual);
  CountsRadioBtn = NewUnitButton(PanelActual, "CountsRadioBtn", "&counts");
  microVoltRadioBtn = NewUnitButton(PanelActual, "microVoltRadioBtn", "µ&V");
  NanometresRadioBtn = NewUnitButton(PanelActual, "NanometresRadioBtn", "n&m/s");
  MicrometresRadioBtn = NewUnitButton(PanelActual, "MicrometresRadioBtn", "µm/s");
  MillimetresRadioBtn = NewUnitButton(PanelActual, "MillimetresRadioBtn", "mm/s");
  CountsRadioBtn->setChecked(true);
  for (QRadioButton* b : {CountsRadioBtn, microVoltRadioBtn, NanometresRadioBtn,
                          MicrometresRadioBtn, MillimetresRadioBtn}) {
    units->addButton(b);
    unitRow->addWidget(b);
  }
  unitRow->addStretch(1);
  column->addLayout(unitRow);

  auto* actions = new QHBoxLayout;
  BtnEmailAct = NewButton(PanelActual, "BtnEmailAct", "Email");
  BtnASCIIAct = NewButton(PanelActual, "BtnASCIIAct", "ASCII");
  BtnPrintAct = NewButton(PanelActual, "BtnPrintAct", "Print");
  actions->addStretch(1);
  for (QPushButton* b : {BtnEmailAct, BtnASCIIAct, BtnPrintAct}) {
    b->setEnabled(false);
    actions->addWidget(b);
  }
  connect(BtnPrintAct, &QPushButton::clicked, this, &TMainForm::BtnPrintClick);
  column->addLayout(actions);
  FinishPanel(PanelActual);
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
  ParamsForm->Attach(m_station.Params(), m_station.State().Offsets, m_station.State().KeepOffsetsFile,
                     m_station.ADGain(), m_station.Files());
  setWindowTitle(Q(m_station.Caption()));
  if (TrayIcon) TrayIcon->setToolTip(Q(m_station.Caption()));
  MenuSyncPCClock->setChecked(m_station.MenuSyncPCClockChecked());
  StatusPanel0->setText(Q(m_station.Title()));
  ChkBoxFilterAct->setEnabled(m_station.Params().Filter.Loaded);
  BtnSetTime->setEnabled(m_station.GpsControlsEnabled());
  MenuSyncPCClock->setEnabled(m_station.GpsControlsEnabled());
  const bool gsm = m_station.GsmControlsEnabled();
  for (QWidget* w : std::initializer_list<QWidget*>{BtnSignal, LblPIN, LblSignal,
                                                    Field(InfoField::PIN), Field(InfoField::Signal)})
    w->setEnabled(gsm);
  BtnTestSMS->setEnabled(m_station.TestButtonEnabled());
  m_station.SetDisplayUnit(m_display.UnitText);
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
  for (int i = 0; i < kInfoFieldCount; ++i) {
    const QString text = Latin1(ind.Field(static_cast<InfoField>(i)));
    if (m_fields[i]->text() != text) m_fields[i]->setText(text);
  }
}

void TMainForm::PanelShow(QObject* sender) {
  PanelSet set{};
  if (sender == BtnHistory || sender == MenuHistory) {
    set = {PanelHistory, BtnHistory, MenuHistory, BtnActual, MenuActual, EditShowHistorySeconds,
           ChkBoxNormHist};
  } else if (sender == BtnActual || sender == MenuActual) {
    set = {PanelActual, BtnActual, MenuActual, BtnHistory, MenuHistory, EditShowActualSeconds,
           ChkBoxNormAct};
  } else if (sender == BtnInfo || sender == MenuInfo) {
    set = {PanelInfo, BtnInfo, MenuInfo, nullptr, nullptr, nullptr, nullptr};
  } else {
    return;
  }
  // The two views exclude each other: a disabled pair cannot open its panel.
  if (!set.button->isEnabled()) return;
  const bool opening = !set.panel->isVisible();

  if (opening && set.panel == PanelHistory) {
    m_display.BandCount = m_history.Valid ? m_history.ChannelCount : kChannelCount;
    WaveForm->setWindowTitle(QString());
    WaveForm->SetBandCount(m_display.BandCount);
    WaveForm->SetPaintProcedure([this] { return substGraphPaintAllHist(m_history, m_display); });
    if (m_display.UnitText == "µm/s")
      SelectUnit(MicrometresRadioBtnHist);
    else if (m_display.UnitText == "mm/s")
      SelectUnit(MillimetresRadioBtnHist);
    else
      SelectUnit(NanometresRadioBtnHist);
  } else if (opening && set.panel == PanelActual) {
    QRadioButton* unit = CountsRadioBtn;
    if (m_display.UnitText == "nm/s") unit = NanometresRadioBtn;
    else if (m_display.UnitText == "µm/s") unit = MicrometresRadioBtn;
    else if (m_display.UnitText == "mm/s") unit = MillimetresRadioBtn;
    else if (m_display.UnitText == "µV") unit = microVoltRadioBtn;
    SelectUnit(unit);
    m_display.BandCount = kChannelCount;
    WaveForm->SetBandCount(m_display.BandCount);
    WaveForm->SetPaintProcedure([this] {
      return substGraphPaintAllAct(m_station.State(), m_station.Params().SampleRate, m_display);
    });
  }

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
    for (QFrame* other : {PanelInfo, PanelHistory, PanelActual})
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
  m_display.SecondsShown = std::clamp(seconds, kSecondsMin, kSecondsMax);
  if (PanelHistory->isVisible() && ChkBoxTrigger->isChecked()) {
    BtnPrevNextClick(THistoryStep::None);
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
    const QString start = QString::fromStdString(m_station.Files().ProgramDir) + Latin1(proposed);
    const QString chosen =
        SaveFileHook ? SaveFileHook(start) : QFileDialog::getSaveFileName(this, QString(), start);
    confirmed = !chosen.isEmpty();
    if (confirmed) {
      const std::string file = chosen.toStdString();
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

void TMainForm::BtnPrevNextClick(THistoryStep step) {
  TDateTime typed = 0;
  const QString text = MaskEditDateTime->text();
  if (!ParseHistoryDateTime(text.toStdString(), typed)) {
    if (text.contains(QRegularExpression("[0-9]"))) {
      ShowMessage(tr("\"%1\" is not a valid date and time.").arg(text));
      return;
    }
    // An empty field starts from the newest data.
    typed = AddMs(m_station.StationClock().NowUtc(), -1000LL * m_display.SecondsShown);
  }
  THistoryNavigation nav;
  try {
    nav = ::BtnPrevNextClick(m_historyReader, m_historyRecord, m_station.Params(), typed,
                             m_display.SecondsShown, step, ChkBoxTrigger->isChecked());
  } catch (const std::bad_alloc&) {
    // Acquisition runs on this thread too: a read must not end it.
    ShowMessage(tr("Not enough memory for the history picture."));
    return;
  }
  MaskEditDateTime->setText(QString::fromStdString(FormatHistoryDateTime(nav.Shown)));
  // The reader's messages are listed with the window texts.
  if (!nav.Message.empty()) ShowMessage(tr(nav.Message.c_str()));
  m_history = {m_historyRecord.Valid, m_historyRecord.ChannelCount, m_historyRecord.SampleRate,
               m_historyRecord.DisplaySamples};
  m_display.BandCount =
      m_historyRecord.ChannelCount >= 1 ? m_historyRecord.ChannelCount : kChannelCount;
  WaveForm->SetBandCount(m_display.BandCount);
  // A failed read keeps the previous picture, and its caption with it.
  if (WaveForm->isVisible() && PanelHistory->isVisible() && m_historyRecord.Valid) {
    WaveForm->setWindowTitle(Latin1(HistoryCaption(m_historyRecord)));
    WaveForm->update();
  }
}

void TMainForm::BtnAsciiClick() {
  const TAsciiExportResult r = ::BtnAsciiClick(m_historyRecord, m_station.Params().ASCIIDir);
  if (r.Attempted) m_station.IndicateSaveLog(r.LogLine);
}

void TMainForm::BtnPrintClick() {
  QPrinter printer(QPrinter::HighResolution);
  const TPrintDialog dialog = PrintDialogHook ? PrintDialogHook : SystemPrintDialog(this);
  if (PrintSeismogram(*WaveForm, BtnPause, printer, dialog) == TPrintResult::PrinterFailed)
    ShowMessage(tr("The printer could not be opened; the seismogram was not printed."));
}

void TMainForm::ChkBoxNormActClick(bool checked) {
  m_display.Normalise = checked;
  RepaintIfStill();
}

void TMainForm::ChkBoxAINClick(QCheckBox* box) {
  const QString name = box->objectName();
  const int channel = name.back().digitValue();
  if (channel < 0 || channel >= kChannelCount) return;
  m_display.ChannelMask[channel] = box->isChecked() ? 1 : 0;
  if (m_station.State().DisplayPaused) WaveForm->update();
}

void TMainForm::SelectUnit(QRadioButton* button) {
  button->setChecked(true);
  RadioBtnClick(button);
}

void TMainForm::RadioBtnClick(QRadioButton* button) {
  std::string unit;
  if (button == NanometresRadioBtn || button == NanometresRadioBtnHist) unit = "nm/s";
  else if (button == MicrometresRadioBtn || button == MicrometresRadioBtnHist) unit = "µm/s";
  else if (button == MillimetresRadioBtn || button == MillimetresRadioBtnHist) unit = "mm/s";
  else if (button == microVoltRadioBtn) unit = "µV";
  else unit = "counts";

  m_display.UnitText = unit;
  if (IsVelocity(unit)) {
    m_display.FullScale = FullScaleOf(m_station.Params().LSBin);
    m_display.UnitDivisor = unit == "nm/s" ? 1.0 : unit == "µm/s" ? 1000.0 : 1'000'000.0;
  } else if (unit == "µV") {
    m_display.FullScale = FullScaleOf(m_station.ADGain());
    m_display.UnitDivisor = 1.0;
  } else {
    m_display.FullScale = kCountsFullScale;
    m_display.UnitDivisor = 1.0;
  }
  // The cycle converts the live window into the unit shown.
  m_station.SetDisplayUnit(unit);
  RepaintIfStill();
}

void TMainForm::ChkBoxFilteredActClick() {
  if (!m_station.Params().Filter.Loaded) return;
  m_station.State().ShowFiltered = ChkBoxFilterAct->isChecked();
}

void TMainForm::BtnPauseClick() {
  StationState& s = m_station.State();
  s.DisplayPaused = !s.DisplayPaused;
  if (s.DisplayPaused)
    WaveForm->setWindowTitle(Latin1(m_station.Params().IDStation) + " " + WaveForm->windowTitle());
  QString caption = BtnPause->text();
  if (caption.size() >= 2) {
    const QChar first = caption.front();
    caption.front() = caption.back();
    caption.back() = first;
    BtnPause->setText(caption);
  }
  ChkBoxFilterAct->setEnabled(!s.DisplayPaused && m_station.Params().Filter.Loaded);
  BtnPrintAct->setEnabled(s.DisplayPaused);
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
  const QString stationCopy = Q(m_station.Params().HelpFile);
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
    for (QFrame* p : {PanelInfo, PanelHistory, PanelActual}) p->resize(w, p->height());
  }
  return QMainWindow::eventFilter(watched, event);
}

void TMainForm::closeEvent(QCloseEvent* event) {
  m_station.FormClose();
  WaveForm->hide();
  if (TrayIcon) TrayIcon->hide();
  event->accept();
}
