#include "ui/actual_panel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "station/station_controller.h"
#include "ui/qt_text.h"
#include "ui/waveform.h"

TActualPanel::TActualPanel(QWidget* parent, StationController& station, TDisplaySettings& display,
                           TWaveForm& waveForm)
    : TPanel(parent, "PanelActual", "Actual Measurement Control Panel "),
      m_station(station),
      m_display(display),
      m_waveForm(waveForm) {
  auto* channels = new QGridLayout;
  channels->setVerticalSpacing(2);
  for (int k = 0; k < kChannelCount; ++k) {
    auto* box = new QCheckBox(QString("Channel &%1").arg(k), this);
    box->setObjectName(QString("ChkBoxIN%1").arg(k));
    box->setChecked(true);
    box->setToolTip("On/Off Channel");
    box->setStatusTip("On/Off Channel");
    connect(box, &QCheckBox::clicked, this, [this, box] { ChkBoxAINClick(box); });
    ChkBoxIN[k] = box;
    channels->addWidget(box, k / 4, k % 4);
  }
  Column()->addLayout(channels);

  auto* opts = new QHBoxLayout;
  ChkBoxNormAct = new QCheckBox("&Norm", this);
  ChkBoxNormAct->setObjectName("ChkBoxNormAct");
  ChkBoxNormAct->setChecked(true);
  ChkBoxFilterAct = new QCheckBox("&Filtered", this);
  ChkBoxFilterAct->setObjectName("ChkBoxFilterAct");
  ChkBoxFilterAct->setToolTip("Display Filtered Data");
  ChkBoxFilterAct->setStatusTip("Display Filtered Data");
  connect(ChkBoxFilterAct, &QCheckBox::clicked, this, &TActualPanel::ChkBoxFilteredActClick);
  EditShowActualSeconds = NewSecondsEdit("EditShowActualSeconds", {}, m_display.SecondsShown);
  BtnPause = NewButton(this, "BtnPause", "< &Pause >", "Freeze Current Wave Window");
  connect(BtnPause, &QPushButton::clicked, this, &TActualPanel::BtnPauseClick);
  opts->addWidget(ChkBoxNormAct);
  opts->addWidget(ChkBoxFilterAct);
  opts->addStretch(1);
  opts->addWidget(EditShowActualSeconds);
  opts->addWidget(BtnPause);
  Column()->addLayout(opts);

  auto* unitRow = new QHBoxLayout;
  auto* units = new QButtonGroup(this);
  CountsRadioBtn = NewUnitButton("CountsRadioBtn", "&counts", DisplayUnitKind::Counts);
  microVoltRadioBtn = NewUnitButton("microVoltRadioBtn", "µ&V", DisplayUnitKind::MicroVolt);
  NanometresRadioBtn = NewUnitButton("NanometresRadioBtn", "n&m/s", DisplayUnitKind::NanoMetrePerSecond);
  MicrometresRadioBtn = NewUnitButton("MicrometresRadioBtn", "µm/s", DisplayUnitKind::MicroMetrePerSecond);
  MillimetresRadioBtn = NewUnitButton("MillimetresRadioBtn", "mm/s", DisplayUnitKind::MilliMetrePerSecond);
  CountsRadioBtn->setChecked(true);
  for (QRadioButton* b : {CountsRadioBtn, microVoltRadioBtn, NanometresRadioBtn,
                          MicrometresRadioBtn, MillimetresRadioBtn}) {
    units->addButton(b);
    unitRow->addWidget(b);
  }
  unitRow->addStretch(1);
  Column()->addLayout(unitRow);

  auto* actions = new QHBoxLayout;
  BtnEmailAct = NewButton(this, "BtnEmailAct", "Email");
  BtnASCIIAct = NewButton(this, "BtnASCIIAct", "ASCII");
  BtnPrintAct = NewButton(this, "BtnPrintAct", "Print");
  actions->addStretch(1);
  for (QPushButton* b : {BtnEmailAct, BtnASCIIAct, BtnPrintAct}) {
    b->setEnabled(false);
    actions->addWidget(b);
  }
  Column()->addLayout(actions);
  Finish();
}

void TActualPanel::EnableControls() { ChkBoxFilterAct->setEnabled(m_station.Params().Filter.Loaded); }

void TActualPanel::Opening() {
  SelectUnit(m_display.Unit, DisplayUnitKind::Counts);
  m_display.BandCount = kChannelCount;
  m_waveForm.SetBandCount(m_display.BandCount);
  m_waveForm.SetPaintProcedure([this] {
    return substGraphPaintAllAct(m_station.State(), m_station.Params().SampleRate, m_display);
  });
}

void TActualPanel::ChkBoxAINClick(QCheckBox* box) {
  const QString name = box->objectName();
  const int channel = name.back().digitValue();
  if (channel < 0 || channel >= kChannelCount) return;
  m_display.ChannelMask[channel] = box->isChecked() ? 1 : 0;
  if (m_station.State().DisplayPaused) m_waveForm.update();
}

void TActualPanel::ChkBoxFilteredActClick() { m_station.SetShowFiltered(ChkBoxFilterAct->isChecked()); }

void TActualPanel::BtnPauseClick() {
  const bool paused = !m_station.State().DisplayPaused;
  m_station.SetDisplayPaused(paused);
  if (paused)
    m_waveForm.setWindowTitle(Latin1(m_station.Params().IDStation) + " " + m_waveForm.windowTitle());
  QString caption = BtnPause->text();
  if (caption.size() >= 2) {
    const QChar first = caption.front();
    caption.front() = caption.back();
    caption.back() = first;
    BtnPause->setText(caption);
  }
  ChkBoxFilterAct->setEnabled(!paused && m_station.Params().Filter.Loaded);
  BtnPrintAct->setEnabled(paused);
}
