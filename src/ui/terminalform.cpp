#include "ui/terminalform.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <fstream>

#include "ui/lamp.h"
#include "ui/portsetup.h"
#include "ui/qt_text.h"

namespace {

QPushButton* NewButton(const char* name, const QString& text) {
  auto* b = new QPushButton(text);
  b->setObjectName(name);
  b->setAutoDefault(false);
  return b;
}

QPlainTextEdit* NewMemo(const char* name) {
  auto* m = new QPlainTextEdit;
  m->setObjectName(name);
  m->setReadOnly(true);
  m->setLineWrapMode(QPlainTextEdit::NoWrap);
  // A receiver left talking for days must not fill the memory.
  m->setMaximumBlockCount(20000);
  m->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setPointSize(9);
  m->setFont(font);
  m->setMinimumSize(520, 150);
  return m;
}

}  // namespace

TTerminalForm::TTerminalForm(QWidget* parent)
    : QDialog(parent), m_gpsPort(std::make_unique<TComPort>()), m_gsmPort(std::make_unique<TComPort>()) {
  setObjectName("TerminalForm");
  setWindowTitle(tr("Terminal"));

  GPSMemo = NewMemo("GPSMemo");
  GPSOpenBtn = NewButton("GPSOpenBtn", tr("Open"));
  GPSSettingsBtn = NewButton("GPSSettingsBtn", tr("Settings"));
  GPSClearBtn = NewButton("GPSClearBtn", tr("Clear"));
  GPSSaveBtn = NewButton("GPSSaveBtn", tr("Save"));
  GSMMemo = NewMemo("GSMMemo");
  GSMOpenBtn = NewButton("GSMOpenBtn", tr("Open"));
  GSMSettingBtn = NewButton("GSMSettingBtn", tr("Settings"));
  GSMClearBtn = NewButton("GSMClearBtn", tr("Clear"));
  GSMSaveBtn = NewButton("GSMSaveBtn", tr("Save"));
  GSMSendBtn = NewButton("GSMSendBtn", tr("Send"));
  GSMSendBtn->setEnabled(false);
  Edit = new QLineEdit("at+cpin?");
  Edit->setObjectName("Edit");
  CRLFCheckBox = new QCheckBox(tr("+CRLF"));
  CRLFCheckBox->setObjectName("CRLFCheckBox");
  CRLFCheckBox->setChecked(true);
  CtrlZCheckBox = new QCheckBox(tr("+Ctrl+Z"));
  CtrlZCheckBox->setObjectName("CtrlZCheckBox");
  BackBtn = new QPushButton(".", this);
  BackBtn->setObjectName("BackBtn");
  BackBtn->setDefault(true);
  BackBtn->setFixedSize(0, 0);

  // GPS terminal port "COM1" 9600, GSM terminal port "COM2" 19200; both 8N1,
  // no CTS/DSR flow, DTR enabled, RTS disabled, no XON/XOFF.
  m_gpsPort->SetPort("COM1");
  m_gpsPort->SetBaudRate(TBaudRate::br9600);
  m_gsmPort->SetPort("COM2");
  m_gsmPort->SetBaudRate(TBaudRate::br19200);
  SetUpPort(*m_gpsPort, GPSMemo, GPSOpenBtn, false);
  SetUpPort(*m_gsmPort, GSMMemo, GSMOpenBtn, true);

  auto half = [&](const char* name, const QString& title, QPlainTextEdit* memo, QWidget* lamps,
                  std::initializer_list<QPushButton*> buttons, QLayout* extra) {
    auto* box = new QGroupBox(title);
    box->setObjectName(name);
    auto* v = new QVBoxLayout(box);
    v->addWidget(memo, 1);
    if (extra) v->addLayout(extra);
    auto* row = new QHBoxLayout;
    for (QPushButton* b : buttons) row->addWidget(b);
    row->addStretch(1);
    row->addWidget(lamps);
    v->addLayout(row);
    return box;
  };
  auto* command = new QHBoxLayout;
  command->addWidget(Edit, 1);
  command->addWidget(CRLFCheckBox);
  command->addWidget(CtrlZCheckBox);
  command->addWidget(GSMSendBtn);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(half("GPSBox", tr("GPS"), GPSMemo,
                         NewLamps(*m_gpsPort,
                                  {{"Rx", TLedSignal::lsRX},
                                   {"Tx", TLedSignal::lsTX},
                                   {"CTS", TLedSignal::lsCTS},
                                   {"DSR", TLedSignal::lsDSR},
                                   {"RI", TLedSignal::lsRing}},
                                  "GPS"),
                         {GPSOpenBtn, GPSSettingsBtn, GPSClearBtn, GPSSaveBtn}, nullptr));
  layout->addWidget(half("GSMBox", tr("GSM"), GSMMemo,
                         NewLamps(*m_gsmPort,
                                  {{"Rx", TLedSignal::lsRX},
                                   {"Tx", TLedSignal::lsTX},
                                   {"DSR", TLedSignal::lsDSR},
                                   {"CTS", TLedSignal::lsCTS}},
                                  "GSM"),
                         {GSMOpenBtn, GSMSettingBtn, GSMClearBtn, GSMSaveBtn}, command));
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(GPSOpenBtn, &QPushButton::clicked, this, [this] { GPSOpenBtnClick(); });
  connect(GSMOpenBtn, &QPushButton::clicked, this, [this] { GSMOpenBtnClick(); });
  connect(GPSSettingsBtn, &QPushButton::clicked, this, [this] { GPSSettingsBtnClick(); });
  connect(GSMSettingBtn, &QPushButton::clicked, this, [this] { GSMSettingBtnClick(); });
  connect(GPSClearBtn, &QPushButton::clicked, GPSMemo, &QPlainTextEdit::clear);
  connect(GSMClearBtn, &QPushButton::clicked, GSMMemo, &QPlainTextEdit::clear);
  connect(GPSSaveBtn, &QPushButton::clicked, this, [this] { SaveBtnClick(GPSMemo); });
  connect(GSMSaveBtn, &QPushButton::clicked, this, [this] { SaveBtnClick(GSMMemo); });
  connect(GSMSendBtn, &QPushButton::clicked, this, [this] { GSMSendBtnClick(); });
  connect(BackBtn, &QPushButton::clicked, this, &QDialog::accept);
}

TTerminalForm::~TTerminalForm() {
  // The lamps go before their ports, the ports before the window.
  m_leds.clear();
  m_gpsPort->Close();
  m_gsmPort->Close();
}

void TTerminalForm::SetUpPort(TComPort& port, QPlainTextEdit* memo, QPushButton* openBtn, bool gsm) {
  TFlowControl flow;
  flow.OutCTSFlow = false;
  flow.OutDSRFlow = false;
  flow.ControlDTR = TDTRFlowControl::dtrEnable;
  flow.ControlRTS = TRTSFlowControl::rtsDisable;
  port.SetFlowControl(flow);
  port.SetEvents(kAllComEvents);
  port.SetSyncMethod(TSyncMethod::smThreadSync);
  port.SetDispatcher([this](std::function<void()> work) {
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
  });
  port.OnRxChar = [memo](TComPort& p, std::size_t count) {
    const std::string bytes = p.ReadAvailable(count);
    if (bytes.empty()) return;
    // Bytes as they came, each one character of Latin-1.
    memo->moveCursor(QTextCursor::End);
    memo->insertPlainText(Latin1(bytes));
    memo->verticalScrollBar()->setValue(memo->verticalScrollBar()->maximum());
  };
  port.OnAfterOpen = [this, openBtn, gsm](TComPort&) {
    openBtn->setText(tr("Close"));
    if (gsm) GSMSendBtn->setEnabled(true);
  };
  port.OnAfterClose = [this, openBtn, gsm](TComPort&) {
    openBtn->setText(tr("Open"));
    if (gsm) GSMSendBtn->setEnabled(false);
  };
}

QWidget* TTerminalForm::NewLamps(TComPort& port,
                                 const std::vector<std::pair<const char*, TLedSignal>>& lines,
                                 const char* prefix) {
  auto* w = new QWidget;
  auto* row = new QHBoxLayout(w);
  row->setContentsMargins(0, 0, 0, 0);
  for (const auto& [name, signal] : lines) {
    const std::string objectName = std::string(prefix) + name + "Led";
    auto* lamp = new TLamp(LedInfo{objectName.c_str(), name, LedColor::Red, false});
    auto* label = new QLabel(name);
    row->addWidget(lamp);
    row->addWidget(label);
    auto led = std::make_unique<TComLed>();
    led->SetKind(TLedKind::lkRed);
    QPointer<TLamp> target(lamp);
    led->OnChange = [this, target](bool on) {
      QMetaObject::invokeMethod(this, [target, on] {
        if (target) target->SetState({on, LedColor::Red});
      }, Qt::QueuedConnection);
    };
    led->Bind(&port, signal);
    m_leds.push_back(std::move(led));
  }
  return w;
}

void TTerminalForm::OpenPort(TComPort& port) {
  if (!port.Open())
    ShowMessage(Latin1("Error opening port " + port.Port() + ": " + port.ErrorString()));
}

void TTerminalForm::GPSOpenBtnClick() {
  if (m_gpsPort->Connected())
    m_gpsPort->Close();
  else
    OpenPort(*m_gpsPort);
}

void TTerminalForm::GSMOpenBtnClick() {
  if (m_gsmPort->Connected()) {
    m_gsmPort->Close();
    return;
  }
  OpenPort(*m_gsmPort);
  if (m_gsmPort->Connected()) m_gsmPort->SetDTR(true);
}

void TTerminalForm::Settings(TComPort& port) {
  TComSettings s;
  s.Port = port.Port();
  s.BaudRate = port.BaudRate();
  s.FlowControl = port.FlowControl();
  s.Format = port.LineFormat();
  if (SetupHook) {
    if (!SetupHook(s)) return;
  } else {
    TPortSetupForm setup(s, this);
    if (setup.exec() != QDialog::Accepted) return;
    s = setup.Settings();
  }
  port.SetBaudRate(s.BaudRate);
  port.SetFlowControl(s.FlowControl);
  port.SetLineFormat(s.Format);
  // Renaming an open port reopens it on the new device.
  if (s.Port != port.Port() && !port.SetPort(s.Port))
    ShowMessage(Latin1("Error opening port " + s.Port + ": " + port.ErrorString()));
}

void TTerminalForm::GPSSettingsBtnClick() { Settings(*m_gpsPort); }
void TTerminalForm::GSMSettingBtnClick() { Settings(*m_gsmPort); }

void TTerminalForm::GSMSendBtnClick() {
  std::string text = Latin1(Edit->text());
  if (CtrlZCheckBox->isChecked()) text += '\x1A';
  if (CRLFCheckBox->isChecked()) text += "\r\n";
  if (!m_gsmPort->Write(text))
    ShowMessage(Latin1("Error writing to port " + m_gsmPort->Port() + ": " + m_gsmPort->ErrorString()));
}

void TTerminalForm::SaveBtnClick(QPlainTextEdit* memo) {
  const QString dir = QDir::currentPath();
  QString name = SaveFileHook ? SaveFileHook(dir)
                              : QFileDialog::getSaveFileName(this, tr("Save"), dir, tr("Text files (*.txt)"));
  if (name.isEmpty()) return;
  if (!name.endsWith(".txt", Qt::CaseInsensitive)) name += ".txt";
  // The memo's lines, each ended by CR LF, in the 8-bit text they came as.
  QString text = memo->toPlainText();
  text.replace("\r\n", "\n").replace('\r', '\n');
  QStringList lines = text.split('\n');
  if (lines.last().isEmpty()) lines.removeLast();
  std::string data;
  for (const QString& line : lines) data += Latin1(line) + "\r\n";
  std::ofstream out(QFile::encodeName(name).toStdString(), std::ios::binary | std::ios::trunc);
  out << data;
  out.close();
  if (!out) ShowMessage(tr("Error writing %1.").arg(name));
}

void TTerminalForm::FormClose() {
  if (m_gpsPort->Connected()) m_gpsPort->Close();
  if (m_gsmPort->Connected()) {
    m_gsmPort->SetDTR(false);
    m_gsmPort->Close();
  }
}

void TTerminalForm::done(int result) {
  FormClose();
  QDialog::done(result);
}

void TTerminalForm::ShowMessage(const QString& text) {
  if (MessageHook)
    MessageHook(text);
  else
    QMessageBox::warning(this, windowTitle(), text);
}
