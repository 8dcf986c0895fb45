#pragma once
// The setup dialog of a serial port: port, baud rate, data bits, parity,
// stop bits and flow control. It edits a copy of the settings; the caller
// applies them to its port when the operator confirms.
#include <QDialog>
#include <QStringList>

#include "serial/com_backend.h"

class QComboBox;

// The ports offered: COM1..COM8, the devices found under /dev/ttyS*,
// /dev/ttyUSB* and /dev/ttyACM* (`devDir` for tests), then the simulations.
QStringList AvailablePorts(const QString& devDir = QStringLiteral("/dev"));

class TPortSetupForm : public QDialog {
  Q_OBJECT
 public:
  explicit TPortSetupForm(const TComSettings& settings, QWidget* parent = nullptr,
                          const QStringList& ports = AvailablePorts());
  // The settings as the controls show them.
  TComSettings Settings() const;

  QComboBox *PortComboBox, *BaudComboBox, *DataBitsComboBox, *StopBitsComboBox, *ParityComboBox,
      *FlowComboBox;

 private:
  TComSettings m_settings;
};
