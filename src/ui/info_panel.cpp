#include "ui/info_panel.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "station/station_controller.h"
#include "ui/lamp.h"
#include "ui/qt_text.h"

TInfoPanel::TInfoPanel(QWidget* parent, StationController& station)
    : TPanel(parent, "PanelInfo", "Information Panel "), m_station(station) {
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(2);
  // Two columns of labelled fields, in table order, row by row.
  for (int i = 0; i < kInfoFieldCount; ++i) {
    const InfoFieldInfo& info = kInfoFieldTable[i];
    auto* label = new QLabel(info.label, this);
    const QString editName = info.name;
    label->setObjectName("Lbl" + editName.mid(4));
    auto* edit = new QLineEdit("N/A", this);
    edit->setObjectName(editName);
    edit->setReadOnly(true);
    edit->setMinimumWidth(90);
    label->setBuddy(edit);
    m_fields[i] = edit;
    grid->addWidget(label, i / 2, (i % 2) * 2);
    grid->addWidget(edit, i / 2, (i % 2) * 2 + 1);
  }
  LblPIN = findChild<QLabel*>("LblPIN");
  LblSignal = findChild<QLabel*>("LblSignal");
  // The GSM fields come alive only when the station sends SMS.
  EnableGsm(false);
  Column()->addLayout(grid);

  auto* row = new QHBoxLayout;
  row->setSpacing(6);
  BtnSetTime = NewButton(this, "BtnSetTime", "Set PC &Time", "Force Computer Clock Sychronization");
  connect(BtnSetTime, &QPushButton::clicked, this, [this] { m_station.BtnSetTimeClick(); });
  BtnTestSMS = NewButton(this, "BtnTestSMS", "Test", "Send Test Message");
  BtnSignal = NewButton(this, "BtnSignal", "Signal", "Scan GSM Signal Intensity");
  BtnSignal->setEnabled(false);
  row->addWidget(BtnSetTime);
  row->addWidget(BtnTestSMS);
  row->addWidget(BtnSignal);
  connect(BtnTestSMS, &QPushButton::clicked, this, [this] { m_station.BtnTestSMSClick(); });
  connect(BtnSignal, &QPushButton::clicked, this, [this] { m_station.BtnSignalClick(); });
  row->addStretch(1);
  for (int i = kFirstLamp; i < kLedCount; ++i) {
    m_lamps[i - kFirstLamp] = new TLamp(kLedTable[i], this);
    row->addWidget(m_lamps[i - kFirstLamp]);
  }
  Column()->addLayout(row);
  Finish();
}

void TInfoPanel::EnableGsm(bool on) {
  for (QWidget* w : std::initializer_list<QWidget*>{BtnSignal, LblPIN, LblSignal, Field(InfoField::PIN),
                                                    Field(InfoField::Signal)})
    if (w) w->setEnabled(on);
}

void TInfoPanel::EnableControls() {
  BtnSetTime->setEnabled(m_station.GpsControlsEnabled());
  EnableGsm(m_station.GsmControlsEnabled());
  BtnTestSMS->setEnabled(m_station.TestButtonEnabled());
}

void TInfoPanel::ShowFields(const Indicators& indicators) {
  for (int i = 0; i < kInfoFieldCount; ++i) {
    const QString text = Latin1(indicators.Field(static_cast<InfoField>(i)));
    if (m_fields[i]->text() != text) m_fields[i]->setText(text);
  }
}
