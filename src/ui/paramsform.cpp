#include "ui/paramsform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "common/baudrate.h"
#include "config/converter_table.h"
#include "config/valueconv.h"
#include "ui/qt_text.h"

namespace {

const char* const kBaudItems[] = {"600",   "1200",  "2400",   "4800",   "9600",   "19200",
                                  "38400", "56000", "57600", "115200", "128000", "256000"};

QStringList PortItems(const char* simulated) {
  QStringList items;
  for (int i = 1; i <= 8; ++i) items << QStringLiteral("COM%1").arg(i);
  items << simulated;
  return items;
}

// Sets a combo box's text from code; an entry missing from the list is added.
void SetComboText(QComboBox* box, const QString& text) {
  if (box->isEditable()) {
    box->setCurrentText(text);
    return;
  }
  int i = box->findText(text);
  if (i < 0) {
    box->addItem(text);
    i = box->count() - 1;
  }
  box->setCurrentIndex(i);
}

// General format with 15 significant digits, a tie rounded away from zero
// (5000000 / 2097152 shows as 2.38418579101563).
QString Real15(double v) {
  if (!std::isfinite(v) || v == 0) return Latin1(FormatReal(v));
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.24e", std::fabs(v));
  std::string digits = std::string(1, buf[0]) + std::string(buf + 2, 24);
  int exponent = std::atoi(std::strchr(buf, 'e') + 1);
  const bool up = digits[15] >= '5';
  digits.resize(15);
  if (up) {
    int i = 14;
    while (i >= 0 && digits[i] == '9') digits[i--] = '0';
    if (i >= 0) {
      ++digits[i];
    } else {
      digits.insert(digits.begin(), '1');
      digits.pop_back();
      ++exponent;
    }
  }
  const std::string text = std::string(v < 0 ? "-" : "") + digits[0] + "." + digits.substr(1) + "e" +
                           std::to_string(exponent);
  return Latin1(FormatReal(std::strtod(text.c_str(), nullptr)));
}

// The conversion errors of the numeric fields, as the operator reads them.
QString NotInteger(const QString& text) {
  return QCoreApplication::translate("TParamsForm", "'%1' is not a valid integer value").arg(text);
}
QString NotReal(const QString& text) {
  return QCoreApplication::translate("TParamsForm", "'%1' is not a valid floating point value").arg(text);
}

// Field names of the conversion errors that are no caption.
[[maybe_unused]] const char* const kFieldNames[] = {
    QT_TRANSLATE_NOOP("TParamsForm", "LSB/Averages"),
    QT_TRANSLATE_NOOP("TParamsForm", "SeedLink Port"),
};

// A control and the label that names it.
void EnableWithLabel(QWidget* w, bool on) {
  w->setEnabled(on);
  if (auto* parent = w->parentWidget())
    for (QLabel* l : parent->findChildren<QLabel*>())
      if (l->buddy() == w) l->setEnabled(on);
}
}  // namespace

TParamsForm::TParamsForm(QWidget* parent) : QDialog(parent) {
  setObjectName("ParamsForm");
  setWindowTitle(tr("Registration Parametres"));

  auto edit = [](const char* name) {
    auto* e = new QLineEdit;
    e->setObjectName(name);
    return e;
  };
  auto check = [](const char* name, const QString& text) {
    auto* c = new QCheckBox(text);
    c->setObjectName(name);
    return c;
  };
  auto combo = [](const char* name, bool editable) {
    auto* c = new QComboBox;
    c->setObjectName(name);
    c->setEditable(editable);
    return c;
  };
  auto group = [this](const QString& title) {
    auto* g = new QGroupBox(title);
    m_groups.push_back(g);
    return g;
  };
  auto form = [](QGroupBox* g) {
    auto* f = new QFormLayout(g);
    f->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    f->setContentsMargins(6, 4, 6, 4);
    f->setVerticalSpacing(3);
    return f;
  };
  auto row = [](QFormLayout* f, const QString& caption, QWidget* field) {
    auto* l = new QLabel(caption);
    l->setBuddy(field);
    f->addRow(l, field);
    return l;
  };

  // Common
  QGroupBox* common = group(tr("Common "));
  QFormLayout* f = form(common);
  row(f, tr("Station"), StationEdit = edit("StationEdit"));
  row(f, tr("Language"), LanguageEdit = edit("LanguageEdit"));
  row(f, tr("Data Directory"), DataDirEdit = edit("DataDirEdit"));
  row(f, tr("Trigger Directory"), TrigDirEdit = edit("TrigDirEdit"));
  row(f, tr("ASCII Directory"), AsciiDirEdit = edit("AsciiDirEdit"));
  row(f, tr("BackUp Directory"), BackUpDirEdit = edit("BackUpDirEdit"));
  f->addRow(SaveLogChkBox = check("SaveLogChkBox", tr("Save Log File")));
  f->addRow(AlarmChkBox = check("AlarmChkBox", tr("Register Alarms")));

  // Communication
  QGroupBox* comm = group(tr("Communication "));
  f = form(comm);
  auto* radios = new QHBoxLayout;
  SendSMSRadioButton = new QRadioButton(tr("Send SMS"));
  SendSMSRadioButton->setObjectName("SendSMSRadioButton");
  SendEmailRadioButton = new QRadioButton(tr("Send E-mail"));
  SendEmailRadioButton->setObjectName("SendEmailRadioButton");
  NoneRadioButton = new QRadioButton(tr("None"));
  NoneRadioButton->setObjectName("NoneRadioButton");
  radios->addWidget(SendSMSRadioButton);
  radios->addWidget(SendEmailRadioButton);
  radios->addWidget(NoneRadioButton);
  f->addRow(radios);
  MaskEdit = edit("MaskEdit");
  MaskEdit->setInputMask("09:99;_");
  DailyTimeLbl = row(f, tr("Daily Message At"), MaskEdit);
  DailyTimeLbl->setObjectName("DailyTimeLbl");
  row(f, tr("Start Msg."), StarMsgEdit = edit("StarMsgEdit"));
  row(f, tr("Daily Msg."), DailyMsgEdit = edit("DailyMsgEdit"));
  row(f, tr("E-mail Address"), EmailAddrEdit = edit("EmailAddrEdit"));
  f->addRow(SendTrgChkBox = check("SendTrgChkBox", tr("Send Triggers")));
  row(f, tr("At Minute"), TriggerMinuteEdit = edit("TriggerMinuteEdit"));
  row(f, tr("TCP/IP server"), TCPIPserverEdit = edit("TCPIPserverEdit"));
  row(f, tr("Port"), TCPIPportEdit = edit("TCPIPportEdit"));
  EnableWithLabel(TCPIPserverEdit, false);
  EnableWithLabel(TCPIPportEdit, false);
  for (QLineEdit* e : {DataDirEdit, TrigDirEdit, AsciiDirEdit, BackUpDirEdit})
    e->setMinimumWidth(e->fontMetrics().horizontalAdvance(QString(30, 'x')));

  // Converter
  QGroupBox* conv = group(tr("Converter "));
  f = form(conv);
  row(f, tr("Model"), ModelComboBox = combo("ModelComboBox", true));
  for (const std::string& m : ConverterModels()) ModelComboBox->addItem(Latin1(m));
  row(f, tr("Module"), ModuleComboBox = combo("ModuleComboBox", true));
  for (const std::string& m : AllConverterModules()) ModuleComboBox->addItem(Latin1(m));
  f->addRow(OffsetCompChkBox = check("OffsetCompChkBox", tr("Offset Compensation")));
  f->addRow(ContinuousChkBox = check("ContinuousChkBox", tr("Continuous Recording")));
  f->addRow(LockGPSChBox = check("LockGPSChBox", tr("Wait For GPS Sync.")));
  row(f, tr("Puls Per Sec. Channel "), PPSChannelEdit = edit("PPSChannelEdit"));
  PPSChannelEdit->setReadOnly(true);
  PPSChannelEdit->setEnabled(false);

  // Conversion
  QGroupBox* convn = group(tr("Conversion "));
  f = form(convn);
  row(f, tr("Sampling Rate [Hz]"), SamplingEdit = combo("SamplingEdit", true))
      ->setObjectName("SamplingRateLbl");
  row(f, tr("Resampling [smpls]"), ResamplingEdit = edit("ResamplingEdit"));
  f->addRow(FullLoadChkBox = check("FullLoadChkBox", tr("Full Load")));
  f->addRow(DoubleSensChkBox = check("DoubleSensChkBox", tr("Double Sensitivity")));

  // Digital Filter
  QGroupBox* filter = group(tr("Digital Filter"));
  f = form(filter);
  f->addRow(FilterChkBox = check("FilterChkBox", tr("Filter Enabled")));
  FilterChkBox->setEnabled(false);
  auto* fileRow = new QHBoxLayout;
  FilterFileEdit = edit("FilterFileEdit");
  PickUpFileBtn = new QPushButton("...");
  PickUpFileBtn->setObjectName("PickUpFileBtn");
  PickUpFileBtn->setAutoDefault(false);
  PickUpFileBtn->setFixedWidth(PickUpFileBtn->fontMetrics().horizontalAdvance("....") + 12);
  fileRow->addWidget(FilterFileEdit);
  fileRow->addWidget(PickUpFileBtn);
  auto* fileLbl = new QLabel(tr("File Name"));
  fileLbl->setBuddy(FilterFileEdit);
  f->addRow(fileLbl, fileRow);

  // Trigger
  QGroupBox* trig = group(tr("Trigger "));
  f = form(trig);
  f->addRow(SaveTrigChkBox = check("SaveTrigChkBox", tr("Save Triggers")));
  row(f, tr("PredTime [sec]"), PredTimeEdit = edit("PredTimeEdit"));
  row(f, tr("PostTime [sec]"), PostTimeEdit = edit("PostTimeEdit"));
  row(f, tr("STA Length [sec]"), STALengthEdit = edit("STALengthEdit"));
  row(f, tr("STA Start [nm/s]"), STAStartEdit = edit("STAStartEdit"));
  row(f, tr("STA Stop [nm/s]"), STAStopEdit = edit("STAStopEdit"));
  for (QLineEdit* e : {PredTimeEdit, PostTimeEdit, STALengthEdit, STAStartEdit, STAStopEdit})
    e->setEnabled(false);

  // GSM
  QGroupBox* gsm = group(tr("GSM "));
  f = form(gsm);
  GSMPortLbl = row(f, tr("Port"), GSMPortComboBox = combo("GSMPortComboBox", true));
  GSMPortComboBox->addItems(PortItems("sim-gsm"));
  GSMBaudLbl = row(f, tr("Baud Rate"), GSMBaudComboBox = combo("GSMBaudComboBox", false));
  GSMPortLbl->setObjectName("GSMPortLbl");
  GSMBaudLbl->setObjectName("GSMBaudLbl");
  row(f, tr("Pin"), GSMPinEdit = edit("GSMPinEdit"));
  row(f, tr("E-mail Gate"), GSMGateEdit = edit("GSMGateEdit"));
  auto* modes = new QHBoxLayout;
  modes->addWidget(GSMEmailOnlyChkBox = check("GSMEmailOnlyChkBox", tr("E-mail Only")));
  modes->addWidget(GSMQuarryModeChkBox = check("GSMQuarryModeChkBox", tr("Quarry")));
  modes->addWidget(GSMM1modeChkBox = check("GSMM1modeChkBox", tr("M1 Mode")));
  f->addRow(modes);
  row(f, tr("SMS centrum"), GSMcentrumEdit = edit("GSMcentrumEdit"));
  row(f, tr("Indicate"), GSMemailIndicator = edit("GSMemailIndicator"));
  auto* receivers = new QVBoxLayout;
  receivers->setSpacing(2);
  receivers->addWidget(Receiver1Edit = edit("Receiver1Edit"));
  receivers->addWidget(Receiver2Edit = edit("Receiver2Edit"));
  receivers->addWidget(Receiver3Edit = edit("Receiver3Edit"));
  auto* recLbl = new QLabel(tr("Receivers"));
  recLbl->setBuddy(Receiver1Edit);
  f->addRow(recLbl, receivers);

  // GPS
  QGroupBox* gps = group(tr("GPS "));
  f = form(gps);
  GPSPortLbl = row(f, tr("Port"), GPSPortComboBox = combo("GPSPortComboBox", true));
  GPSPortComboBox->addItems(PortItems("sim-gps"));
  GPSBaudLbl = row(f, tr("Baud Rate"), GPSBaudComboBox = combo("GPSBaudComboBox", false));
  GPSPPSLbl = row(f, tr("PPS Pin"), GPSpinPPSComboBox = combo("GPSpinPPSComboBox", false));
  GPSpinPPSComboBox->addItems({"DSR", "CTS", "RI"});
  for (QComboBox* b : {GSMBaudComboBox, GPSBaudComboBox})
    for (const char* item : kBaudItems) b->addItem(item);
  f->addRow(GPSSyncChkBox = check("GPSSyncChkBox", tr("Synchronize PC Clock")));
  f->addRow(GPSValidOnlyChkBox = check("GPSValidOnlyChkBox", tr("Sync. Only Valid Time")));
  f->addRow(GPSDecNumChkBox = check("GPSDecNumChkBox", tr("Decimal Code")));
  f->addRow(GPSDelayChkBox = check("GPSDelayChkBox", tr("Delay (0 ->100)")));
  row(f, tr("Interval [sec]"), GPSIntervalEdit = edit("GPSIntervalEdit"));
  row(f, tr("Max. Difference [ms]"), GPSMaxDiffEdit = edit("GPSMaxDiffEdit"));

  // Seismograph
  QGroupBox* seis = group(tr("Seismograph (GSE) "));
  f = form(seis);
  row(f, tr("Model (Type)"), SeismographEdit = edit("SeismographEdit"));
  row(f, tr("Serial No."), SerialNumberEdit = edit("SerialNumberEdit"));
  auto* flags = new QHBoxLayout;
  for (auto [name, caption, target] : {std::tuple{"FlagZedit", "Z", &FlagZedit},
                                       std::tuple{"FlagNedit", "N", &FlagNedit},
                                       std::tuple{"FlagEedit", "E", &FlagEedit}}) {
    *target = edit(name);
    auto* l = new QLabel(caption);
    l->setBuddy(*target);
    flags->addSpacing(6);
    flags->addWidget(l);
    flags->addWidget(*target);
  }
  f->addRow(flags);

  // Saving Conditions
  QGroupBox* saving = group(tr("Saving Conditions"));
  auto* sg = new QGridLayout(saving);
  sg->setContentsMargins(6, 4, 6, 4);
  sg->addWidget(SaveAllChkBox = check("SaveAllChkBox", tr("All Channels")), 0, 0);
  sg->addWidget(NoValidTimeChkBox = check("NoValidTimeChkBox", tr("Time Not Valid")), 0, 1);
  sg->addWidget(NoPPSChkBox = check("NoPPSChkBox", tr("No PPS")), 1, 0);
  sg->addWidget(SaveGPSChkBox = check("SaveGPSChkBox", tr("GPS")), 1, 1);

  // The four value lists.
  auto list = [&](const char* name, const QString& title, const QString& valueTitle, bool grey) {
    QGroupBox* g = group(title);
    auto* t = new QTableWidget(0, 2);
    t->setObjectName(name);
    t->setHorizontalHeaderLabels({tr("Channel"), valueTitle});
    t->verticalHeader()->hide();
    t->horizontalHeader()->setStretchLastSection(true);
    t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 4);
    t->setColumnWidth(0, std::max(t->fontMetrics().horizontalAdvance(tr("Channel")),
                                  t->fontMetrics().horizontalAdvance("AIN00")) + 18);
    const int rows = 8 * (t->fontMetrics().height() + 4) + t->horizontalHeader()->sizeHint().height() + 4;
    t->setMinimumHeight(rows);
    t->setMaximumHeight(rows);
    t->setMinimumWidth(t->fontMetrics().horizontalAdvance("AIN0 2.38418579101563") + 24);
    if (grey) t->setEnabled(false);
    auto* l = new QVBoxLayout(g);
    l->setContentsMargins(4, 2, 4, 4);
    l->addWidget(t);
    return t;
  };
  SensorListEditor = list("SensorListEditor", tr("Sensor "), tr("(nm/s)/LSB"), false);
  AveragesListEditor = list("AveragesListEditor", tr("Averages "), tr("LSBs"), false);
  OffsetsListEditor = list("OffsetsListEditor", tr("Current Offsets "), tr("LSBs"), true);
  SensitivityListEditor = list("SensitivityListEditor", tr("Sensitivity "), tr("\xC2\xB5V/LSB"), true);

  // Live data: the miniSEED archive and the SeedLink server.
  QGroupBox* live = group(tr("miniSEED / SeedLink"));
  f = form(live);
  auto* codes = new QHBoxLayout;
  NetworkEdit = edit("NetworkEdit");
  LocationEdit = edit("LocationEdit");
  for (auto [caption, target] : {std::pair{tr("Network"), NetworkEdit}, std::pair{tr("Location"), LocationEdit}}) {
    auto* l = new QLabel(caption);
    l->setBuddy(target);
    target->setFixedWidth(target->fontMetrics().horizontalAdvance("WWW") + 12);
    codes->addWidget(l);
    codes->addSpacing(4);
    codes->addWidget(target);
    codes->addSpacing(6);
  }
  codes->addStretch(1);
  f->addRow(codes);
  // Each check box shares its line with what it switches, so the group fits
  // below the filter.
  auto* archive = new QHBoxLayout;
  archive->addWidget(ArchiveChkBox = check("ArchiveChkBox", tr("Archive")));
  archive->addWidget(ArchiveDirEdit = edit("ArchiveDirEdit"), 1);
  f->addRow(archive);
  auto* server = new QHBoxLayout;
  server->addWidget(SeedLinkChkBox = check("SeedLinkChkBox", tr("SeedLink Server")));
  server->addStretch(1);
  auto* portLbl = new QLabel(tr("Port"));
  server->addWidget(portLbl);
  server->addSpacing(4);
  server->addWidget(SeedLinkPortEdit = edit("SeedLinkPortEdit"));
  portLbl->setBuddy(SeedLinkPortEdit);
  SeedLinkPortEdit->setFixedWidth(SeedLinkPortEdit->fontMetrics().horizontalAdvance("655350") + 12);
  f->addRow(server);
  row(f, tr("Allow"), SeedLinkAllowEdit = edit("SeedLinkAllowEdit"));
  NetworkEdit->setToolTip(tr("SEED network code: one or two upper-case letters or digits (XX: no network)"));
  LocationEdit->setToolTip(tr("SEED location code: up to two upper-case letters or digits, often empty"));
  ArchiveChkBox->setToolTip(tr("Write the miniSEED records into a day-file archive"));
  ArchiveDirEdit->setToolTip(tr("Root directory of the archive; inside the station directory it is saved relative to it"));
  SeedLinkChkBox->setToolTip(tr("Serve the live records to SeedLink clients"));
  SeedLinkPortEdit->setToolTip(tr("TCP port of the SeedLink server (1 to 65535)"));
  SeedLinkAllowEdit->setToolTip(tr("Client addresses or subnets allowed to connect; empty: everybody"));

  SaveBtn = new QPushButton(tr("Save"));
  SaveBtn->setObjectName("SaveBtn");
  SaveBtn->setAutoDefault(false);
  BackBtn = new QPushButton(tr("Back"));
  BackBtn->setObjectName("BackBtn");
  BackBtn->setDefault(true);

  // Four columns of groups above the four lists; the buttons close the last column.
  auto* grid = new QGridLayout(this);
  grid->setSpacing(6);
  auto column = [&](int c, std::initializer_list<QWidget*> widgets, QWidget* tail = nullptr) {
    auto* v = new QVBoxLayout;
    for (QWidget* w : widgets) v->addWidget(w);
    v->addStretch(1);
    if (tail) v->addWidget(tail);
    grid->addLayout(v, 0, c);
  };
  column(0, {common, comm});
  column(1, {conv, convn, filter, live});
  column(2, {gsm, gps});
  auto* buttons = new QWidget;
  auto* bl = new QHBoxLayout(buttons);
  bl->setContentsMargins(0, 0, 0, 0);
  bl->addStretch(1);
  bl->addWidget(SaveBtn);
  bl->addWidget(BackBtn);
  column(3, {seis, saving, trig}, buttons);
  grid->addWidget(m_groups[10], 1, 0);
  grid->addWidget(m_groups[11], 1, 1);
  grid->addWidget(m_groups[12], 1, 2);
  grid->addWidget(m_groups[13], 1, 3);
  grid->setSizeConstraint(QLayout::SetFixedSize);

  // Combo boxes run their handlers only when the operator picks an item;
  // check boxes and radio buttons also when code changes their state.
  connect(ModelComboBox, &QComboBox::activated, this, [this] { ModelComboBoxChange(); });
  connect(ModuleComboBox, &QComboBox::activated, this, [this] { ModuleComboBoxChange(); });
  for (QCheckBox* c : {AlarmChkBox, FullLoadChkBox, DoubleSensChkBox})
    connect(c, &QCheckBox::toggled, this, [this] { AlarmChkBoxClick(); });
  for (QRadioButton* r : {SendSMSRadioButton, SendEmailRadioButton, NoneRadioButton})
    connect(r, &QRadioButton::toggled, this, [this] { SendRadioButtonClick(); });
  connect(SendTrgChkBox, &QCheckBox::toggled, this, [this] { SendTrgChkBoxClick(); });
  connect(SaveTrigChkBox, &QCheckBox::toggled, this, [this] { SaveTrigChkBoxClick(); });
  connect(GPSSyncChkBox, &QCheckBox::toggled, this, [this] { GPSSyncChkBoxClick(); });
  connect(SaveAllChkBox, &QCheckBox::toggled, this, [this] { SaveAllChkBoxClick(); });
  connect(ArchiveChkBox, &QCheckBox::toggled, this, [this] { ArchiveChkBoxClick(); });
  connect(SeedLinkChkBox, &QCheckBox::toggled, this, [this] { SeedLinkChkBoxClick(); });
  connect(PickUpFileBtn, &QPushButton::clicked, this, [this] { PickUpFileBtnClick(); });
  connect(SaveBtn, &QPushButton::clicked, this, [this] { SaveBtnClick(); });
  connect(BackBtn, &QPushButton::clicked, this, [this] { BackBtnClick(); });
}

void TParamsForm::Attach(const TProgParam& running, const ArrayOfDataType& offsets,
                         std::function<void(bool)> saved, const ArrayOfReal& adGain,
                         const ProgramFiles& files) {
  m_running = &running;
  m_offsets = &offsets;
  m_savedHook = std::move(saved);
  m_adGain = &adGain;
  m_files = &files;
}

void TParamsForm::showEvent(QShowEvent* event) {
  FormShow();
  QDialog::showEvent(event);
}

void TParamsForm::FormShow() {
  if (!m_running) return;
  const TProgParam& P = *m_running;
  StationEdit->setText(Latin1(P.IDStation));
  LanguageEdit->setText(Latin1(P.Language));
  DataDirEdit->setText(Latin1(P.DataDir));
  TrigDirEdit->setText(Latin1(P.TrigDir));
  AsciiDirEdit->setText(Latin1(P.ASCIIDir));
  BackUpDirEdit->setText(Latin1(P.BackupDir));
  SaveLogChkBox->setChecked(P.SaveLog);
  AlarmChkBox->setChecked(P.AlarmOn);

  if (P.SendSMS)
    SendSMSRadioButton->setChecked(true);
  else if (P.SendEmail)
    SendEmailRadioButton->setChecked(true);
  else
    NoneRadioButton->setChecked(true);
  MaskEdit->setText(QStringLiteral("%1:%2").arg(P.SendHour, 2, 10, QChar('0')).arg(P.SendMinute, 2, 10, QChar('0')));
  StarMsgEdit->setText(Latin1(P.StartMsg));
  DailyMsgEdit->setText(Latin1(P.DailyMsg));
  EmailAddrEdit->setText(Latin1(P.EmailAddr));
  SendTrgChkBox->setChecked(P.SendTrigger);
  TriggerMinuteEdit->setText(Latin1(P.TriggerMinute));
  TCPIPserverEdit->setText(Latin1(P.TCPIPserver));
  TCPIPportEdit->setText(QString::number(P.TCPIPport));

  ModelComboBox->setCurrentText(Latin1(P.Converter.Model));
  ModuleComboBox->setCurrentText(Latin1(P.Converter.Module));
  OffsetCompChkBox->setChecked(P.Converter.OffsetCompensation);
  ContinuousChkBox->setChecked(P.Continuous);
  LockGPSChBox->setChecked(P.WaitForSync);
  PPSChannelEdit->setText(QString::number(P.PPSChannel));

  SamplingEdit->setCurrentText(QString::number(P.SampleRate));
  ResamplingEdit->setText(QString::number(P.ReSampling));
  FullLoadChkBox->setChecked(P.FullLoad);
  DoubleSensChkBox->setChecked(P.DoubleSensitivity);

  FilterChkBox->setChecked(P.Filter.Loaded);
  QString hint = tr("Filter Values");
  for (double c : P.Filter.Coefs) hint += "\n" + Real15(c);
  FilterChkBox->setToolTip(hint);
  FilterFileEdit->setText(Latin1(P.Filter.FileName));

  SaveTrigChkBox->setChecked(P.Triggers);
  PredTimeEdit->setText(QString::number(P.PredTime));
  PostTimeEdit->setText(QString::number(P.PostTime));
  STALengthEdit->setText(Real15(P.STAlength));
  STAStartEdit->setText(QString::number(P.StartSTA));
  STAStopEdit->setText(QString::number(P.StopSTA));

  GSMPortComboBox->setCurrentText(Latin1(P.GSM.Port));
  SetComboText(GSMBaudComboBox, Latin1(BaudRateToStr(P.GSM.BaudRate)));
  GSMPinEdit->setText(Latin1(P.GSM.PIN));
  GSMGateEdit->setText(Latin1(P.GSM.EmailGate));
  GSMEmailOnlyChkBox->setChecked(P.GSM.EmailOnly);
  GSMQuarryModeChkBox->setChecked(P.GSM.QuarryMode);
  GSMM1modeChkBox->setChecked(P.GSM.M1mode);
  GSMemailIndicator->setText(Latin1(P.GSM.EmailIndicator));
  // One step: a record with fewer than three receivers stops it early.
  QLineEdit* rec[] = {Receiver1Edit, Receiver2Edit, Receiver3Edit};
  for (size_t i = 0; i < 3 && i < P.GSM.TelNum.size(); ++i) rec[i]->setText(Latin1(P.GSM.TelNum[i]));
  if (P.GSM.TelNum.size() >= 3) GSMcentrumEdit->setText(Latin1(P.GSM.SMScentrum));

  GPSPortComboBox->setCurrentText(Latin1(P.GPS.Port));
  SetComboText(GPSBaudComboBox, Latin1(BaudRateToStr(P.GPS.BaudRate)));
  SetComboText(GPSpinPPSComboBox, Latin1(PPSSignalToLine(P.GPS.PPS)));
  GPSSyncChkBox->setChecked(P.GPS.UpDateOn);
  GPSValidOnlyChkBox->setChecked(P.GPS.ValidOnly);
  GPSDecNumChkBox->setChecked(P.GPS.DecNumber);
  GPSDelayChkBox->setChecked(P.GPS.ReadingDelay > 0);
  GPSIntervalEdit->setText(QString::number(P.GPS.Interval));
  GPSMaxDiffEdit->setText(QString::number(P.GPS.MaxDiff));

  SeismographEdit->setText(Latin1(P.Seismograph.Model));
  SerialNumberEdit->setText(Latin1(P.Seismograph.SerialNo));
  FlagZedit->setText(Latin1(P.Seismograph.FlagZ));
  FlagNedit->setText(Latin1(P.Seismograph.FlagN));
  FlagEedit->setText(Latin1(P.Seismograph.FlagE));

  SaveAllChkBox->setChecked(P.AllChannels);
  NoValidTimeChkBox->setChecked(P.SaveNotValid);
  NoPPSChkBox->setChecked(P.SaveNoPPS);
  SaveGPSChkBox->setChecked(P.SaveGPS);

  NetworkEdit->setText(Latin1(P.MiniSEED.Network));
  LocationEdit->setText(Latin1(P.MiniSEED.Location));
  ArchiveChkBox->setChecked(P.MiniSEED.Archive);
  ArchiveDirEdit->setText(Latin1(P.MiniSEED.ArchiveDir));
  SeedLinkChkBox->setChecked(P.SeedLink.Server);
  SeedLinkPortEdit->setText(QString::number(P.SeedLink.Port));
  SeedLinkAllowEdit->setText(Latin1(P.SeedLink.Allow));

  ClearLists();
  for (int n = 0; n < kChannelCount; ++n) {
    AppendRow(SensorListEditor, n, n < static_cast<int>(P.LSBin.size()) ? Real15(P.LSBin[n]) : "1");
    AppendRow(AveragesListEditor, n,
              n < static_cast<int>(P.AVGin.size()) ? QString::number(P.AVGin[n]) : "0");
    AppendRow(OffsetsListEditor, n,
              m_offsets && n < static_cast<int>(m_offsets->size()) ? QString::number((*m_offsets)[n]) : "0");
    AppendRow(SensitivityListEditor, n,
              m_adGain && n < static_cast<int>(m_adGain->size()) ? Real15((*m_adGain)[n]) : "0");
  }
  SetRates(P.Converter.Model);
  SamplingEdit->setCurrentText(QString::number(P.SampleRate));

  // The rules follow the values just filled in, whatever the boxes held before.
  AlarmChkBoxClick();
  SaveTrigChkBoxClick();
  GPSSyncChkBoxClick();
  SaveAllChkBoxClick();
  ArchiveChkBoxClick();
  SeedLinkChkBoxClick();
  SendRadioButtonClick();
  if (ModelComboBox->currentText() == "Drumlo-4" && DoubleSensChkBox->isEnabled())
    DoubleSensChkBox->setEnabled(false);
  BackBtn->setFocus();
}

void TParamsForm::FormClose() { ClearLists(); }

void TParamsForm::ClearLists() {
  for (QTableWidget* t : {SensorListEditor, AveragesListEditor, OffsetsListEditor, SensitivityListEditor})
    t->setRowCount(0);
}

void TParamsForm::AppendRow(QTableWidget* list, int channel, const QString& value) {
  const int r = list->rowCount();
  list->insertRow(r);
  auto* name = new QTableWidgetItem(QStringLiteral("AIN%1").arg(channel));
  name->setFlags(name->flags() & ~Qt::ItemIsEditable);
  list->setItem(r, 0, name);
  list->setItem(r, 1, new QTableWidgetItem(value));
}

void TParamsForm::SetRates(const std::string& model) {
  SamplingEdit->clear();
  for (int rate : RatesOfModel(model)) SamplingEdit->addItem(QString::number(rate));
}

void TParamsForm::ModelComboBoxChange() { ModelChanged(true); }

void TParamsForm::ModuleComboBoxChange() {
  const std::string model = ModelOfModule(Latin1(ModuleComboBox->currentText()));
  if (!model.empty()) ModelComboBox->setCurrentText(Latin1(model));
  ModelChanged(false);
}

void TParamsForm::ModelChanged(bool fromModelBox) {
  const std::string model = Latin1(ModelComboBox->currentText());
  const ArrayOfReal sens = ModelSensitivities(model, Latin1(ModuleComboBox->currentText()));
  if (fromModelBox) {
    ModuleComboBox->clear();
    for (const std::string& m : ModulesOfModel(model)) ModuleComboBox->addItem(Latin1(m));
    ModuleComboBox->setCurrentText(QString());
    SetRates(model);
  }
  ClearLists();
  for (int n = 0; n < static_cast<int>(sens.size()); ++n) {
    AppendRow(SensorListEditor, n, "1");
    AppendRow(AveragesListEditor, n, "0");
    AppendRow(OffsetsListEditor, n, "0");
    AppendRow(SensitivityListEditor, n, Real15(sens[n]));
  }
  AlarmChkBoxClick();
}

void TParamsForm::AlarmChkBoxClick() {
  const QString model = ModelComboBox->currentText();
  const bool full = FullLoadChkBox->isChecked();
  if (model == "Drumlo-4") {
    DoubleSensChkBox->setChecked(false);
    DoubleSensChkBox->setEnabled(false);
    PPSChannelEdit->setText(full ? "4" : "3");
    if (full) AlarmChkBox->setChecked(false);
    AlarmChkBox->setEnabled(!full);
  } else if (model == "Kelta-16" || model == "Drumlo-8") {
    PPSChannelEdit->setText(full ? "6" : "3");
    if (!full) {
      DoubleSensChkBox->setChecked(false);
      AlarmChkBox->setChecked(false);
    }
    DoubleSensChkBox->setEnabled(full);
    AlarmChkBox->setEnabled(full);
  }
}


void TParamsForm::SendRadioButtonClick() {
  const bool sms = SendSMSRadioButton->isChecked();
  const bool email = SendEmailRadioButton->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{
           GSMPortComboBox, GSMBaudComboBox, GSMPinEdit, GSMGateEdit, GSMEmailOnlyChkBox,
           GSMQuarryModeChkBox, GSMM1modeChkBox, GSMcentrumEdit, GSMemailIndicator, Receiver1Edit,
           Receiver2Edit, Receiver3Edit})
    EnableWithLabel(w, sms);
  EnableWithLabel(EmailAddrEdit, sms || email);
  SendTrgChkBox->setEnabled(sms || email);
  EnableWithLabel(TriggerMinuteEdit, SendTrgChkBox->isEnabled() && SendTrgChkBox->isChecked());
  const bool any = !NoneRadioButton->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{MaskEdit, StarMsgEdit, DailyMsgEdit})
    EnableWithLabel(w, any);
}

void TParamsForm::SendTrgChkBoxClick() { EnableWithLabel(TriggerMinuteEdit, SendTrgChkBox->isChecked()); }

void TParamsForm::SaveTrigChkBoxClick() {
  for (QLineEdit* e : {PredTimeEdit, PostTimeEdit, STALengthEdit, STAStartEdit, STAStopEdit})
    EnableWithLabel(e, SaveTrigChkBox->isChecked());
}

void TParamsForm::GPSSyncChkBoxClick() {
  const bool on = GPSSyncChkBox->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{
           GPSPortComboBox, GPSBaudComboBox, GPSpinPPSComboBox, GPSValidOnlyChkBox, GPSDecNumChkBox,
           GPSDelayChkBox, GPSIntervalEdit, GPSMaxDiffEdit, LockGPSChBox})
    EnableWithLabel(w, on);
  if (!on) LockGPSChBox->setChecked(false);
}

void TParamsForm::SaveAllChkBoxClick() {
  if (SaveAllChkBox->isChecked()) SaveGPSChkBox->setChecked(true);
  SaveGPSChkBox->setEnabled(!SaveAllChkBox->isChecked());
}

void TParamsForm::ArchiveChkBoxClick() { EnableWithLabel(ArchiveDirEdit, ArchiveChkBox->isChecked()); }

void TParamsForm::SeedLinkChkBoxClick() {
  EnableWithLabel(SeedLinkPortEdit, SeedLinkChkBox->isChecked());
  EnableWithLabel(SeedLinkAllowEdit, SeedLinkChkBox->isChecked());
}

void TParamsForm::PickUpFileBtnClick() {
  const QString dir = QDir::currentPath();
  const QString file = OpenFileHook ? OpenFileHook(dir)
                                    : QFileDialog::getOpenFileName(this, tr("Open"), dir,
                                                                   tr("Text files (*.txt *.TXT);;All Files (*)"));
  if (file.isEmpty()) return;
  FilterFileEdit->setText(file);
  FilterChkBox->setChecked(true);
}

std::string TParamsForm::Relative(const QString& path) const {
  std::string p = Latin1(path);
  const std::string& dir = m_files->ProgramDir;
  // Only a path that begins with the station directory lies inside it.
  if (!dir.empty() && p.size() > dir.size() && p.compare(0, dir.size(), dir) == 0) {
    p.erase(0, dir.size());
    if (p.size() > 1 && p.back() == '/') p.pop_back();
  }
  return p;
}

bool TParamsForm::FillWorkingRecord(TProgParam& w, QString& error) {
  // Names the field and refuses the whole save: a half-converted record
  // would write values the operator never typed.
  auto fail = [&](const QString& message, const char* field) {
    // The field names are the captions, so they read as the operator sees them.
    if (error.isEmpty()) error = message + " (" + tr(field) + ")";
    return false;
  };
  auto toInt = [&](QLineEdit* e, const char* field, int32_t& out) {
    const std::optional<int32_t> v = ParseInt32(Latin1(e->text()));
    if (!v) return fail(NotInteger(e->text()), field);
    out = *v;
    return true;
  };
  auto comboInt = [&](QComboBox* c, const char* field, int32_t& out) {
    const std::optional<int32_t> v = ParseInt32(Latin1(c->currentText()));
    if (!v) return fail(NotInteger(c->currentText()), field);
    out = *v;
    return true;
  };

  // Keys the dialog does not show keep the running values.
  w = *m_running;
  w.Converter.Model = Latin1(ModelComboBox->currentText());
  w.Converter.Module = Latin1(ModuleComboBox->currentText());
  w.Converter.OffsetCompensation = OffsetCompChkBox->isChecked();
  w.Language = Latin1(LanguageEdit->text());
  w.IDStation = Latin1(StationEdit->text());
  w.DataDir = Relative(DataDirEdit->text());
  w.TrigDir = Relative(TrigDirEdit->text());
  w.ASCIIDir = Relative(AsciiDirEdit->text());
  w.BackupDir = Relative(BackUpDirEdit->text());
  w.SaveLog = SaveLogChkBox->isChecked();
  w.AlarmOn = AlarmChkBox->isChecked();

  const int rows = SensorListEditor->rowCount();
  w.LSBin.assign(rows, 0);
  w.AVGin.assign(AveragesListEditor->rowCount(), 0);
  for (int n = 0; n < rows; ++n) {
    auto cell = [](QTableWidget* t, int r) {
      QTableWidgetItem* i = t->item(r, 1);
      return i ? i->text() : QString();
    };
    const QString lsb = cell(SensorListEditor, n);
    const QString avg = n < AveragesListEditor->rowCount() ? cell(AveragesListEditor, n) : QString();
    const std::optional<double> l = ParseReal(Latin1(lsb));
    if (!l) return fail(NotReal(lsb), "LSB/Averages");
    w.LSBin[n] = *l;
    const std::optional<int32_t> a = ParseInt32(Latin1(avg));
    if (!a) return fail(NotInteger(avg), "LSB/Averages");
    if (n < static_cast<int>(w.AVGin.size())) w.AVGin[n] = *a;
  }

  w.Seismograph.Model = Latin1(SeismographEdit->text());
  w.Seismograph.SerialNo = Latin1(SerialNumberEdit->text());
  w.Seismograph.FlagZ = Latin1(FlagZedit->text());
  w.Seismograph.FlagN = Latin1(FlagNedit->text());
  w.Seismograph.FlagE = Latin1(FlagEedit->text());
  w.FullLoad = FullLoadChkBox->isChecked();
  w.DoubleSensitivity = DoubleSensChkBox->isChecked();
  if (!comboInt(SamplingEdit, "Sampling Rate [Hz]", w.SampleRate) ||
      !toInt(ResamplingEdit, "Resampling [smpls]", w.ReSampling))
    return false;

  w.WaitForSync = LockGPSChBox->isChecked();
  w.AllChannels = SaveAllChkBox->isChecked();
  w.SaveGPS = SaveAllChkBox->isChecked() || SaveGPSChkBox->isChecked();
  w.Filter.FileName = Relative(FilterFileEdit->text());
  w.SaveNotValid = NoValidTimeChkBox->isChecked();
  w.SaveNoPPS = NoPPSChkBox->isChecked();
  w.Continuous = ContinuousChkBox->isChecked();
  w.Triggers = SaveTrigChkBox->isChecked();

  // A record reaches back and forward at most 50 s.
  auto span = [&](QLineEdit* e, const char* field, int32_t& out) {
    if (!toInt(e, field, out)) return false;
    if (out > 50) {
      out = 50;
      e->setText("50");
    }
    return true;
  };
  if (!span(PredTimeEdit, "PredTime [sec]", w.PredTime) || !span(PostTimeEdit, "PostTime [sec]", w.PostTime))
    return false;
  const std::optional<double> sta = ParseReal(Latin1(STALengthEdit->text()));
  if (!sta) return fail(NotReal(STALengthEdit->text()), "STA Length [sec]");
  w.STAlength = *sta;
  if (!toInt(STAStartEdit, "STA Start [nm/s]", w.StartSTA) || !toInt(STAStopEdit, "STA Stop [nm/s]", w.StopSTA))
    return false;

  w.EmailAddr = Latin1(EmailAddrEdit->text());
  // Characters 1-2 and 4-5 of "hh:mm"; a time outside the day would be read
  // back as the default time at the next start, so it is refused here.
  const QString time = MaskEdit->text();
  const std::optional<int32_t> hour = ParseInt32(Latin1(time.mid(0, 2)));
  const std::optional<int32_t> minute = ParseInt32(Latin1(time.mid(3, 2)));
  if (!hour || !minute || *hour < 0 || *hour > 23 || *minute < 0 || *minute > 59)
    return fail(tr("'%1' is not a valid time").arg(time), "Daily Message At");
  w.SendHour = static_cast<uint16_t>(*hour);
  w.SendMinute = static_cast<uint16_t>(*minute);
  w.SendSecond = w.SendMSec = 0;
  w.StartMsg = Latin1(StarMsgEdit->text());
  w.DailyMsg = Latin1(DailyMsgEdit->text());
  w.TCPIPserver = Latin1(TCPIPserverEdit->text());
  int32_t port = 0;
  if (!toInt(TCPIPportEdit, "Port", port)) return false;
  if (port < 0 || port > 65535) return fail(NotInteger(TCPIPportEdit->text()), "Port");
  w.TCPIPport = static_cast<uint16_t>(port);

  w.SendEmail = SendEmailRadioButton->isChecked();
  w.SendSMS = SendSMSRadioButton->isChecked();
  w.SendTrigger = SendTrgChkBox->isChecked();
  w.TriggerMinute = Latin1(TriggerMinuteEdit->text());

  w.GSM.Port = Latin1(GSMPortComboBox->currentText());
  w.GSM.BaudRate = StrToBaudRate(Latin1(GSMBaudComboBox->currentText()));
  w.GSM.PIN = Latin1(GSMPinEdit->text());
  w.GSM.EmailOnly = GSMEmailOnlyChkBox->isChecked();
  w.GSM.QuarryMode = GSMQuarryModeChkBox->isChecked();
  w.GSM.M1mode = GSMM1modeChkBox->isChecked();
  w.GSM.TelNum = {Latin1(Receiver1Edit->text()), Latin1(Receiver2Edit->text()), Latin1(Receiver3Edit->text())};
  w.GSM.SMScentrum = Latin1(GSMcentrumEdit->text());
  w.GSM.EmailIndicator = Latin1(GSMemailIndicator->text());
  w.GSM.EmailGate = Latin1(GSMGateEdit->text());

  w.GPS.Port = Latin1(GPSPortComboBox->currentText());
  w.GPS.BaudRate = StrToBaudRate(Latin1(GPSBaudComboBox->currentText()));
  const int32_t delay = m_running->GPS.ReadingDelay;
  w.GPS.ReadingDelay = GPSDelayChkBox->isChecked() ? (delay != 0 ? delay : 100) : 0;
  w.GPS.PPS = PPSLineToSignal(Latin1(GPSpinPPSComboBox->currentText()));
  w.GPS.UpDateOn = GPSSyncChkBox->isChecked();
  w.GPS.ValidOnly = GPSValidOnlyChkBox->isChecked();
  if (!toInt(GPSIntervalEdit, "Interval [sec]", w.GPS.Interval) ||
      !toInt(GPSMaxDiffEdit, "Max. Difference [ms]", w.GPS.MaxDiff))
    return false;
  w.GPS.DecNumber = GPSDecNumChkBox->isChecked();

  // SEED codes are upper-case letters and digits; the network code is never empty.
  auto seedCode = [&](QLineEdit* e, const char* field, int minLength, std::string& out) {
    const QString code = e->text().trimmed().toUpper();
    static const QRegularExpression valid("^[A-Z0-9]*$");
    if (code.size() < minLength || code.size() > 2 || !valid.match(code).hasMatch())
      return fail(tr("'%1' is not a valid SEED code").arg(e->text()), field);
    out = Latin1(code);
    return true;
  };
  if (!seedCode(NetworkEdit, "Network", 1, w.MiniSEED.Network) ||
      !seedCode(LocationEdit, "Location", 0, w.MiniSEED.Location))
    return false;
  w.MiniSEED.Archive = ArchiveChkBox->isChecked();
  w.MiniSEED.ArchiveDir = Relative(ArchiveDirEdit->text());
  w.SeedLink.Server = SeedLinkChkBox->isChecked();
  int32_t slPort = 0;
  if (!toInt(SeedLinkPortEdit, "SeedLink Port", slPort)) return false;
  if (slPort < 1 || slPort > 65535) return fail(NotInteger(SeedLinkPortEdit->text()), "SeedLink Port");
  w.SeedLink.Port = static_cast<uint16_t>(slPort);
  w.SeedLink.Allow = Latin1(SeedLinkAllowEdit->text());
  return true;
}

void TParamsForm::SaveBtnClick() {
  if (!m_running) return;
  if (!IsSupportedModel(Latin1(ModelComboBox->currentText()))) {
    ShowMessage(tr("Selected converter is not supported by this program."));
    return;
  }
  TProgParam w;
  QString error;
  if (!FillWorkingRecord(w, error)) {
    ShowMessage(error);
    return;
  }
  if (!SaveParams(w, *m_files)) {
    ShowMessage(tr("The configuration file %1 could not be written.").arg(Latin1(m_files->IniPath())));
    return;
  }
  if (m_savedHook) m_savedHook(OffsetCompChkBox->isChecked());
  setWindowTitle(tr("Please restart program to activate changes"));
  m_saved = 1;
}

void TParamsForm::ShowMessage(const QString& text) {
  if (MessageHook)
    MessageHook(text);
  else
    QMessageBox::warning(this, windowTitle(), text);
}

void TParamsForm::BackBtnClick() { done(m_saved ? kModalOK : kModalCancel); }

void TParamsForm::done(int result) {
  FormClose();
  QDialog::done(result);
}

// The window's close box; Escape goes through "Back".
void TParamsForm::reject() { done(kModalCancel); }

void TParamsForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    BackBtnClick();
    return;
  }
  QDialog::keyPressEvent(event);
}
