#include "ui/portsetup.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QPushButton>

#include <algorithm>

#include "ui/qt_text.h"

namespace {

const char* const kBaudNames[] = {"110",   "300",   "600",   "1200",  "2400",   "4800",   "9600",  "14400",
                                  "19200", "38400", "56000", "57600", "115200", "128000", "256000"};

enum FlowItem { kFlowNone, kFlowHardware, kFlowSoftware };

QComboBox* NewCombo(const char* name, const QStringList& items, bool editable = false) {
  auto* c = new QComboBox;
  c->setObjectName(name);
  c->setEditable(editable);
  c->addItems(items);
  return c;
}

// ttyS10 after ttyS9.
bool NaturalLess(const QString& a, const QString& b) {
  int i = a.size();
  while (i > 0 && a[i - 1].isDigit()) --i;
  int j = b.size();
  while (j > 0 && b[j - 1].isDigit()) --j;
  if (a.left(i) != b.left(j)) return a < b;
  return a.mid(i).toInt() < b.mid(j).toInt();
}

}  // namespace

QStringList AvailablePorts(const QString& devDir) {
  QStringList ports;
  for (int i = 1; i <= 8; ++i) ports << QStringLiteral("COM%1").arg(i);
  QStringList found;
  const QDir dir(devDir);
  for (const QString& name : dir.entryList({"ttyS*", "ttyUSB*", "ttyACM*"}, QDir::System | QDir::Files))
    found << dir.absoluteFilePath(name);
  std::sort(found.begin(), found.end(), NaturalLess);
  ports << found << "sim-gps" << "sim-gsm";
  return ports;
}

TPortSetupForm::TPortSetupForm(const TComSettings& settings, QWidget* parent, const QStringList& ports)
    : QDialog(parent), m_settings(settings) {
  setObjectName("PortSetupForm");
  setWindowTitle(tr("Setup"));
  QStringList bauds;
  for (const char* b : kBaudNames) bauds << b;
  PortComboBox = NewCombo("PortComboBox", ports, true);
  PortComboBox->setCurrentText(Latin1(settings.Port));
  PortComboBox->setMinimumContentsLength(16);
  BaudComboBox = NewCombo("BaudComboBox", bauds);
  BaudComboBox->setCurrentText(Latin1(BaudRateToStr(settings.BaudRate)));
  DataBitsComboBox = NewCombo("DataBitsComboBox", {"5", "6", "7", "8"});
  DataBitsComboBox->setCurrentText(QString::number(std::clamp(settings.Format.DataBits, 5, 8)));
  StopBitsComboBox = NewCombo("StopBitsComboBox", {"1", "1.5", "2"});
  StopBitsComboBox->setCurrentIndex(static_cast<int>(settings.Format.StopBits));
  ParityComboBox = NewCombo("ParityComboBox", {tr("None"), tr("Odd"), tr("Even"), tr("Mark"), tr("Space")});
  ParityComboBox->setCurrentIndex(static_cast<int>(settings.Format.Parity));
  FlowComboBox = NewCombo("FlowComboBox", {tr("None"), tr("Hardware (RTS/CTS)"), tr("Software (XON/XOFF)")});
  const TFlowControl& f = settings.FlowControl;
  FlowComboBox->setCurrentIndex(f.XonXoffIn || f.XonXoffOut ? kFlowSoftware
                                : f.OutCTSFlow || f.ControlRTS == TRTSFlowControl::rtsHandshake
                                    ? kFlowHardware
                                    : kFlowNone);

  auto* form = new QFormLayout(this);
  form->addRow(tr("Port"), PortComboBox);
  form->addRow(tr("Baud rate"), BaudComboBox);
  form->addRow(tr("Data bits"), DataBitsComboBox);
  form->addRow(tr("Stop bits"), StopBitsComboBox);
  form->addRow(tr("Parity"), ParityComboBox);
  form->addRow(tr("Flow control"), FlowComboBox);
  auto* buttons = new QDialogButtonBox;
  buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole)->setObjectName("OKBtn");
  buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole)->setObjectName("CancelBtn");
  form->addRow(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

TComSettings TPortSetupForm::Settings() const {
  TComSettings s = m_settings;
  s.Port = Latin1(PortComboBox->currentText().trimmed());
  s.BaudRate = StrToBaudRate(Latin1(BaudComboBox->currentText()));
  s.Format.DataBits = DataBitsComboBox->currentText().toInt();
  s.Format.StopBits = static_cast<TStopBits>(StopBitsComboBox->currentIndex());
  s.Format.Parity = static_cast<TParityBits>(ParityComboBox->currentIndex());
  TFlowControl& f = s.FlowControl;
  const int flow = FlowComboBox->currentIndex();
  f.OutCTSFlow = flow == kFlowHardware;
  f.OutDSRFlow = false;
  f.ControlRTS = flow == kFlowHardware ? TRTSFlowControl::rtsHandshake
                 : f.ControlRTS == TRTSFlowControl::rtsHandshake ? TRTSFlowControl::rtsDisable
                                                                 : f.ControlRTS;
  f.XonXoffIn = f.XonXoffOut = flow == kFlowSoftware;
  return s;
}
