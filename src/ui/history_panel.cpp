#include "ui/history_panel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QVBoxLayout>
#include <new>

#include "station/station_controller.h"
#include "storage/ascii_export.h"
#include "ui/qt_text.h"
#include "ui/waveform.h"

namespace {
// The panel's messages are listed with the main window's texts.
QString WindowText(const char* source) { return QCoreApplication::translate("TMainForm", source); }
}  // namespace

THistoryPanel::THistoryPanel(QWidget* parent, StationController& station, TDisplaySettings& display,
                             TWaveForm& waveForm)
    : TPanel(parent, "PanelHistory", "History Control Panel "),
      m_station(station),
      m_display(display),
      m_waveForm(waveForm) {
  auto* nav = new QHBoxLayout;
  BtnPrev = NewButton(this, "BtnPrev", "&< Previous");
  BtnNext = NewButton(this, "BtnNext", "Next &>");
  MaskEditDateTime = new QLineEdit(this);
  MaskEditDateTime->setObjectName("MaskEditDateTime");
  MaskEditDateTime->setInputMask("99.99.9999 99:99:99;_");
  MaskEditDateTime->setToolTip("Date And Time Currently Displayed Data");
  MaskEditDateTime->setStatusTip(MaskEditDateTime->toolTip());
  EditShowHistorySeconds =
      NewSecondsEdit("EditShowHistorySeconds", "Number Of Visible Read Periods", m_display.SecondsShown);
  nav->addWidget(BtnPrev);
  nav->addWidget(MaskEditDateTime, 1);
  nav->addWidget(BtnNext);
  nav->addWidget(EditShowHistorySeconds);
  Column()->addLayout(nav);

  auto* opts = new QHBoxLayout;
  ChkBoxNormHist = new QCheckBox("&Norm", this);
  ChkBoxNormHist->setObjectName("ChkBoxNormHist");
  ChkBoxNormHist->setChecked(true);
  ChkBoxTrigger = new QCheckBox("T&rigger", this);
  ChkBoxTrigger->setObjectName("ChkBoxTrigger");
  auto* units = new QButtonGroup(this);
  NanometresRadioBtnHist =
      NewUnitButton("NanometresRadioBtnHist", "n&m/s", DisplayUnitKind::NanoMetrePerSecond);
  MicrometresRadioBtnHist =
      NewUnitButton("MicrometresRadioBtnHist", "µm/s", DisplayUnitKind::MicroMetrePerSecond);
  MillimetresRadioBtnHist =
      NewUnitButton("MillimetresRadioBtnHist", "mm/s", DisplayUnitKind::MilliMetrePerSecond);
  NanometresRadioBtnHist->setChecked(true);
  opts->addWidget(ChkBoxNormHist);
  opts->addWidget(ChkBoxTrigger);
  opts->addSpacing(8);
  for (QRadioButton* b : {NanometresRadioBtnHist, MicrometresRadioBtnHist, MillimetresRadioBtnHist}) {
    units->addButton(b);
    opts->addWidget(b);
  }
  opts->addStretch(1);
  Column()->addLayout(opts);

  auto* actions = new QHBoxLayout;
  BtnEmailHist = NewButton(this, "BtnEmailHist", "Email");
  BtnEmailHist->setEnabled(false);
  BtnASCIIHist = NewButton(this, "BtnASCIIHist", "ASCII");
  BtnPrintHist = NewButton(this, "BtnPrintHist", "Print");
  actions->addStretch(1);
  actions->addWidget(BtnEmailHist);
  actions->addWidget(BtnASCIIHist);
  actions->addWidget(BtnPrintHist);
  Column()->addLayout(actions);
  connect(BtnPrev, &QPushButton::clicked, this, [this] { BtnPrevNextClick(THistoryStep::Previous); });
  connect(BtnNext, &QPushButton::clicked, this, [this] { BtnPrevNextClick(THistoryStep::Next); });
  connect(MaskEditDateTime, &QLineEdit::returnPressed, this,
          [this] { BtnPrevNextClick(THistoryStep::None); });
  connect(ChkBoxTrigger, &QCheckBox::toggled, this, [this] { BtnPrevNextClick(THistoryStep::None); });
  connect(BtnASCIIHist, &QPushButton::clicked, this, &THistoryPanel::BtnAsciiClick);
  Finish();
}

void THistoryPanel::Opening() {
  m_display.BandCount = m_picture.Valid ? m_picture.ChannelCount : kChannelCount;
  m_waveForm.setWindowTitle(QString());
  m_waveForm.SetBandCount(m_display.BandCount);
  m_waveForm.SetPaintProcedure([this] { return substGraphPaintAllHist(m_picture, m_display); });
  SelectUnit(m_display.Unit, DisplayUnitKind::NanoMetrePerSecond);
}

void THistoryPanel::BtnPrevNextClick(THistoryStep step) {
  TDateTime typed = 0;
  const QString text = MaskEditDateTime->text();
  if (!ParseHistoryDateTime(Latin1(text), typed)) {
    if (text.contains(QRegularExpression("[0-9]"))) {
      emit message(WindowText("\"%1\" is not a valid date and time.").arg(text));
      return;
    }
    // An empty field starts from the newest data.
    typed = AddMs(m_station.StationClock().NowUtc(), -1000LL * m_display.SecondsShown);
  }
  THistoryNavigation nav;
  try {
    nav = ::BtnPrevNextClick(m_reader, m_record, m_station.Params(), typed, m_display.SecondsShown,
                             step, ChkBoxTrigger->isChecked());
  } catch (const std::bad_alloc&) {
    // Acquisition runs on this thread too: a read must not end it.
    emit message(WindowText("Not enough memory for the history picture."));
    return;
  }
  MaskEditDateTime->setText(Latin1(FormatHistoryDateTime(nav.Shown)));
  // The reader's messages are listed with the window texts.
  if (!nav.Message.empty()) emit message(WindowText(nav.Message.c_str()));
  m_picture = {m_record.Valid, m_record.ChannelCount, m_record.SampleRate, m_record.DisplaySamples};
  m_display.BandCount = m_record.ChannelCount >= 1 ? m_record.ChannelCount : kChannelCount;
  m_waveForm.SetBandCount(m_display.BandCount);
  // A failed read keeps the previous picture, and its caption with it.
  if (m_waveForm.isVisible() && isVisible() && m_record.Valid) {
    m_waveForm.setWindowTitle(Latin1(HistoryCaption(m_record)));
    m_waveForm.update();
  }
}

void THistoryPanel::BtnAsciiClick() {
  const TAsciiExportResult r = ::BtnAsciiClick(m_record, m_station.Params().ASCIIDir);
  if (r.Attempted) m_station.IndicateSaveLog(r.LogLine);
}
