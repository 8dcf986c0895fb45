#include "ui/mainform.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QUrl>
#include <QVBoxLayout>

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

TMainForm::TMainForm(StationController& station, QWidget* parent)
    : QMainWindow(parent), m_station(station) {
  setObjectName("MainForm");
  setWindowTitle("Velkor");
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(4, 2, 4, 2);
  column->setSpacing(2);

  auto* row = new QHBoxLayout;
  row->setSpacing(6);
  // The first five lamps stand on the window; the other three belong to the information panel.
  for (int i = 0; i < kLedCount; ++i) {
    m_lamps[i] = new TLamp(kLedTable[i], central);
    if (i < 5)
      row->addWidget(m_lamps[i]);
    else
      m_lamps[i]->hide();
  }
  row->addStretch(1);
  auto makeButton = [&](const char* name, const QString& text, const QString& hint) {
    auto* b = new QPushButton(text, central);
    b->setObjectName(name);
    b->setToolTip(hint);
    b->setStatusTip(hint);
    // The fold-out panels are not available yet.
    b->setEnabled(false);
    row->addWidget(b);
    return b;
  };
  BtnActual = makeButton("BtnActual", "&Actual Measurement >", "View Actual Measurement");
  BtnHistory = makeButton("BtnHistory", "&History >", "Show History Browser");
  BtnInfo = makeButton("BtnInfo", "&Info >", "Show Information");
  column->addLayout(row);
  setCentralWidget(central);

  StatusPanel0 = new QLabel(this);
  StatusPanel0->setFixedWidth(196);
  StatusPanel1 = new QLabel(this);
  StatusPanel1->setFixedWidth(50);
  statusBar()->addWidget(StatusPanel0);
  statusBar()->addWidget(StatusPanel1);

  BuildMenus();

  if (QSystemTrayIcon::isSystemTrayAvailable()) {
    TrayIcon = new QSystemTrayIcon(windowIcon(), this);
    TrayIcon->setToolTip("Velkor");
    auto* pop = new QMenu(this);
    PopMinMax = pop->addAction("Minimize");
    PopMinMax->setObjectName("PopMinMax");
    QAction* close = pop->addAction("Close");
    close->setObjectName("PopUpClose");
    connect(PopMinMax, &QAction::triggered, this, &TMainForm::PopMinMaxClick);
    connect(close, &QAction::triggered, this, &QWidget::close);
    connect(TrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
      if (r == QSystemTrayIcon::Trigger) PopMinMaxClick();
    });
    TrayIcon->setContextMenu(pop);
    TrayIcon->show();
  }

  connect(&m_station, &StationController::indicatorsChanged, this, &TMainForm::RefreshIndicators);
  connect(&m_station, &StationController::messageBox, this, [this](const std::string& text) {
    QMessageBox::warning(this, windowTitle(), Q(text));
  });
  connect(&m_station, &StationController::titleChanged, this,
          [this](const std::string& title) { StatusPanel0->setText(Q(title)); });
  connect(&m_station, &StationController::closeRequested, this, &QWidget::close);
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
  AddItem(exportMenu, "MenuExportLog", "Log File", QKeySequence(Qt::Key_F7), false);
  AddItem(exportMenu, "MenuExportTriggers", "Triggers", QKeySequence(Qt::Key_F8), false);
  AddItem(exportMenu, "MenuExportLongTime", "Long Time Data", {}, false);
  AddItem(exportMenu, "MenuDeleteBackUp", "Delete BackUp Folder", {}, false);

  QMenu* general = menuBar()->addMenu("&General");
  AddItem(general, "MenuActual", "View Actual Measurement", QKeySequence(Qt::Key_F2), false);
  AddItem(general, "MenuHistory", "View History", QKeySequence(Qt::Key_F3), false);
  AddItem(general, "MenuInfo", "View Station Information", QKeySequence(Qt::Key_F4), false);
  MenuSyncPCClock =
      AddItem(general, "MenuSyncPCClock", "Synchronize PC Clock", QKeySequence(Qt::Key_F5), false);
  MenuSyncPCClock->setCheckable(true);

  QMenu* options = menuBar()->addMenu("&Options");
  AddItem(options, "MenuParametres", "Parametres", QKeySequence(Qt::Key_F11), false);
  AddItem(options, "MenuViewLog", "View log", QKeySequence(Qt::Key_F12), false);
  AddItem(options, "MenuTerminal", "Terminal", {}, false);
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
  setGeometry(1, 1, 414, 96);
  m_station.FormCreate();
  setWindowTitle(Q(m_station.Caption()));
  if (TrayIcon) TrayIcon->setToolTip(Q(m_station.Caption()));
  MenuSyncPCClock->setChecked(m_station.MenuSyncPCClockChecked());
  StatusPanel0->setText(Q(m_station.Title()));
  RefreshIndicators();
}

void TMainForm::RefreshIndicators() {
  for (int i = 0; i < kLedCount; ++i) m_lamps[i]->SetState(m_station.Lamps().Led(static_cast<LedId>(i)));
}

void TMainForm::MenuSuspendClick() {
  m_station.MenuSuspendClick();
  MenuSuspend->setChecked(m_station.Suspended());
}

void TMainForm::MenuAboutClick() {
  QMessageBox::about(this, "About Velkor",
                     QString("Velkor %1\nDatalogger for unattended seismic stations.")
                         .arg(VELKOR_VERSION));
}

void TMainForm::MenuManualClick() {
  const QString path = Q(m_station.Params().HelpFile);
  if (QFileInfo::exists(path)) QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void TMainForm::PopMinMaxClick() {
  if (isMinimized()) {
    showNormal();
    if (PopMinMax) PopMinMax->setText("Minimize");
  } else {
    showMinimized();
    if (PopMinMax) PopMinMax->setText("Maximize");
  }
}

void TMainForm::closeEvent(QCloseEvent* event) {
  m_station.FormClose();
  if (TrayIcon) TrayIcon->hide();
  event->accept();
}
