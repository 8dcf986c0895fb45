#include "ui/paramsform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTableWidget>

#include "station_window.h"

namespace {

// Controls by object name and the value the operator gives them: a check box
// takes "0" or "1", an edit or a combo box the text.
using Changes = std::vector<std::pair<const char*, std::string>>;

// The dialog over a running configuration loaded from `ini`.
class ParamsRig {
 public:
  explicit ParamsRig(const std::string& ini) {
    files.ProgramDir = dir.Dir();
    WriteFile(files.IniPath(), ini);
    LoadParams(running, files);
    form.Attach(running, offsets, [this](bool keep) { keepOffsets = keep; }, gains, files);
    form.MessageHook = [this](const QString& m) { messages.push_back(m.toStdString()); };
    form.show();
    Settle();
  }
  std::string File() const { return ReadFile(files.IniPath()); }
  bool FileHas(const std::string& line) const { return File().find("\r\n" + line + "\r\n") != std::string::npos; }
  // "$" in a value stands for the station directory.
  std::string Expand(std::string value) const {
    if (const size_t at = value.find('$'); at != std::string::npos) value.replace(at, 1, dir.Dir());
    return value;
  }
  void Apply(const Changes& changes) {
    for (const auto& [name, raw] : changes) {
      const std::string value = Expand(raw);
      const QString text = QString::fromStdString(value);
      if (auto* box = form.findChild<QCheckBox*>(name)) box->setChecked(value == "1");
      else if (auto* edit = form.findChild<QLineEdit*>(name)) edit->setText(text);
      else if (auto* combo = form.findChild<QComboBox*>(name)) combo->setCurrentText(text);
      else ADD_FAILURE() << "no control " << name;
    }
  }
  static void Pick(QComboBox* box, const QString& text) {
    const int i = box->findText(text);
    ASSERT_GE(i, 0) << text.toStdString();
    box->setCurrentIndex(i);
    emit box->activated(i);
  }
  static QStringList Column(QTableWidget* t) {
    QStringList values;
    for (int r = 0; r < t->rowCount(); ++r) values << t->item(r, 1)->text();
    return values;
  }
  static QStringList Items(QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
    return items;
  }

  TempDir dir;
  ProgramFiles files;
  TProgParam running;
  ArrayOfDataType offsets = ArrayOfDataType(8, 7);
  bool keepOffsets = true;
  ArrayOfReal gains = ArrayOfReal(8, 0.5);
  std::vector<std::string> messages;
  TParamsForm form;
};

struct ConverterCase {
  const char* name;
  std::string model, module;                    // the running configuration
  std::vector<std::pair<bool, QString>> picks;  // true: the model box
  QString shownModel;
  QStringList sensitivities;
};

const QString kS1Even = "76.2939453125", kS1Odd = "7.62939453125";
const QString kModelA = "2.38418579101563";

TEST(ParamsForm, PickingAConverterShowsItsSensitivities) {
  const ConverterCase rows[] = {
      {"model Drumlo-4 forgets the module", "Kelta-16", "KM-16S1", {{true, "Drumlo-4"}}, "Drumlo-4",
       {"0", "0", "0", "0", "1"}},
      {"module model-A", "Kelta-16", "KM-16S1", {{true, "Drumlo-4"}, {false, "model-A"}}, "Drumlo-4",
       {kModelA, kModelA, kModelA, kModelA, "1"}},
      {"module KM-16S1 switches to Kelta", "Drumlo-8", "\xB1" "10V", {{false, "KM-16S1"}}, "Kelta-16",
       {kS1Even, kS1Odd, kS1Even, kS1Odd, kS1Even, kS1Odd, kS1Even, kS1Odd}},
      {"range 500 mV switches to Drumlo-8", "Kelta-16", "KM-16A1", {{false, QString::fromLatin1("\xB1" "500mV")}},
       "Drumlo-8", QStringList(8, "15.2587890625")}};
  for (const ConverterCase& c : rows) {
    SCOPED_TRACE(c.name);
    ParamsRig rig(QuietStationIni() + "[Converter]\r\nModel=" + c.model + "\r\nModule=" + c.module + "\r\n");
    for (const auto& [modelBox, text] : c.picks)
      ParamsRig::Pick(modelBox ? rig.form.ModelComboBox : rig.form.ModuleComboBox, text);
    EXPECT_EQ(rig.form.ModelComboBox->currentText(), c.shownModel);
    EXPECT_EQ(ParamsRig::Column(rig.form.SensitivityListEditor), c.sensitivities);
    // New rows start from neutral values.
    EXPECT_EQ(ParamsRig::Column(rig.form.SensorListEditor), QStringList(c.sensitivities.size(), "1"));
    EXPECT_EQ(ParamsRig::Column(rig.form.OffsetsListEditor), QStringList(c.sensitivities.size(), "0"));
    if (c.picks.size() == 1 && c.shownModel == "Drumlo-4") {
      EXPECT_EQ(ParamsRig::Items(rig.form.ModuleComboBox), QStringList({"model-A", "model-B"}));
      EXPECT_EQ(ParamsRig::Items(rig.form.SamplingEdit), QStringList({"1000", "500", "250"}));
    }
  }
}

// Both options on in the file, so that every rule that clears them shows. A
// disabled option is also unchecked (Drumlo-4 without full load keeps the alarm).
TEST(ParamsForm, FullLoadRulesFollowTheModel) {
  // Model, full load; then the PPS channel shown, alarm and double sensitivity enabled.
  const std::tuple<const char*, bool, const char*, bool, bool> rows[] = {
      {"Kelta-16", true, "6", true, true},    {"Kelta-16", false, "3", false, false},
      {"Drumlo-8", false, "3", false, false}, {"Drumlo-4", true, "4", false, false},
      {"Drumlo-4", false, "3", true, false}};
  for (const auto& [model, fullLoad, ppsChannel, alarmEnabled, doubleEnabled] : rows) {
    SCOPED_TRACE(std::string(model) + (fullLoad ? " full load" : " partial load"));
    ParamsRig rig(QuietStationIni("AlarmOn=1\r\n") + "[Converter]\r\nModel=" + model +
                  "\r\n[ADcard]\r\nFullLoad=1\r\nDoubleSensitivity=1\r\n");
    rig.form.FullLoadChkBox->setChecked(fullLoad);
    EXPECT_EQ(rig.form.PPSChannelEdit->text(), ppsChannel);
    EXPECT_EQ(rig.form.AlarmChkBox->isEnabled(), alarmEnabled);
    EXPECT_EQ(rig.form.DoubleSensChkBox->isEnabled(), doubleEnabled);
    EXPECT_TRUE(alarmEnabled || !rig.form.AlarmChkBox->isChecked());
    EXPECT_TRUE(doubleEnabled || !rig.form.DoubleSensChkBox->isChecked());
  }
}

struct SaveCase {
  const char* name;
  std::string gpsKeys;  // the [GPS] keys of the running configuration
  Changes changes;
  std::vector<std::string> savedLines;  // "$" stands for the station directory
  std::function<void(ParamsRig&)> after = nullptr;
};

const std::string kNoGps = "UpDateOn=0\r\n";

const SaveCase kSaveCases[] = {
    {"DataDirInsideStationIsRelative", kNoGps, {{"DataDirEdit", "$Data/"}},
     {"DataDir=Data", "TrigDir=Triggers", "BackUpDir=Backup"}},
    // The station directory inside another path is not a prefix.
    {"DataDirElsewhereStaysWhole", kNoGps, {{"DataDirEdit", "/srv/seis/"}, {"TrigDirEdit", "/mnt$T/"}},
     {"DataDir=/srv/seis/", "TrigDir=/mnt$T/"}},
    {"PredTimeAbove50IsCut", kNoGps, {{"PredTimeEdit", "70"}}, {"PredTime=50"},
     [](ParamsRig& r) { EXPECT_EQ(r.form.PredTimeEdit->text(), "50"); }},
    {"UncheckedSyncClearsWaitForSync", "UpDateOn=1\r\n", {{"GPSSyncChkBox", "0"}}, {"WaitForSync=0", "UpDateOn=0"},
     [](ParamsRig& r) { EXPECT_FALSE(r.form.LockGPSChBox->isEnabled()); }},
    {"DelayCheckedFromZeroSaves100", "ReadingDelay=0\r\n", {{"GPSDelayChkBox", "1"}}, {"ReadingDelay=100"}},
    {"DelayCheckedKeepsTheRunningValue", "ReadingDelay=30\r\n", {}, {"ReadingDelay=30"}},
    {"DelayUncheckedSaves0", "ReadingDelay=30\r\n", {{"GPSDelayChkBox", "0"}}, {"ReadingDelay=0"}},
    {"OffsetCompensationOffDropsTheOffsetsFile", kNoGps, {{"OffsetCompChkBox", "0"}}, {"OffsetCompensation=0"},
     [](ParamsRig& r) { EXPECT_FALSE(r.keepOffsets); }},
    {"AllChannelsSavesGPS", kNoGps, {{"SaveGPSChkBox", "0"}, {"SaveAllChkBox", "1"}}, {"AllChannels=1", "SaveGPS=1"},
     [](ParamsRig& r) { EXPECT_FALSE(r.form.SaveGPSChkBox->isEnabled()); }},
    {"LiveDataKeysRoundTrip", kNoGps,
     {{"NetworkEdit", "gr"}, {"LocationEdit", "00"}, {"ArchiveDirEdit", "$Live/"}, {"ArchiveChkBox", "0"},
      {"SeedLinkPortEdit", "18123"}, {"SeedLinkAllowEdit", "10.0.0.0/8"}},
     {"Network=GR", "Location=00", "Archive=0", "ArchiveDir=Live", "Server=1", "Port=18123", "Allow=10.0.0.0/8"},
     [](ParamsRig& r) {
       EXPECT_FALSE(r.form.ArchiveDirEdit->isEnabled());
       EXPECT_TRUE(r.form.SeedLinkPortEdit->isEnabled());
       r.form.SeedLinkChkBox->setChecked(false);
       EXPECT_FALSE(r.form.SeedLinkAllowEdit->isEnabled());
       TProgParam back;
       LoadParams(back, r.files);
       EXPECT_EQ(back.MiniSEED.ArchiveDir, r.dir.Dir() + "Live/");
       EXPECT_EQ(back.SeedLink.Port, 18123);
     }}};

TEST(ParamsForm, SavesWriteTheFile) {
  for (const SaveCase& c : kSaveCases) {
    SCOPED_TRACE(c.name);
    ParamsRig rig(QuietStationIni("", "", c.gpsKeys));
    rig.Apply(c.changes);
    rig.form.SaveBtn->click();
    EXPECT_EQ(rig.messages, std::vector<std::string>{});
    EXPECT_TRUE(rig.form.Saved());
    EXPECT_EQ(rig.form.windowTitle(), "Please restart program to activate changes");
    for (const std::string& line : c.savedLines) EXPECT_TRUE(rig.FileHas(rig.Expand(line))) << line << rig.File();
    if (c.after) c.after(rig);
  }
}

// Valid changes before the bad field must not reach the file either.
TEST(ParamsForm, BadFieldsSaveNothingAndNameTheField) {
  const std::pair<Changes, std::string> rows[] = {
      {{{"PredTimeEdit", "7x"}}, "'7x' is not a valid integer value (PredTime [sec])"},
      {{{"STALengthEdit", "0,5"}}, "'0,5' is not a valid floating point value (STA Length [sec])"},
      {{}, "'abc' is not a valid floating point value (LSB/Averages)"},  // a sensor row
      {{{"GPSMaxDiffEdit", ""}}, "'' is not a valid integer value (Max. Difference [ms])"},
      {{{"MaskEdit", "25:00"}}, "'25:00' is not a valid time (Daily Message At)"},
      {{{"ModelComboBox", "Kelta-99"}}, "Selected converter is not supported by this program."},
      {{{"SeedLinkPortEdit", "70000"}}, "'70000' is not a valid integer value (SeedLink Port)"},
      {{{"NetworkEdit", "G-"}}, "'G-' is not a valid SEED code (Network)"}};
  for (const auto& [change, message] : rows) {
    SCOPED_TRACE(message);
    ParamsRig rig(QuietStationIni());
    const std::string before = rig.File();
    rig.form.StationEdit->setText("NEW");
    if (change.empty()) rig.form.SensorListEditor->item(3, 1)->setText("abc");
    rig.Apply(change);
    rig.form.SaveBtn->click();
    EXPECT_EQ(rig.messages, std::vector<std::string>{message});
    EXPECT_EQ(rig.File(), before);
    EXPECT_FALSE(rig.form.Saved());
    EXPECT_EQ(rig.form.windowTitle(), "Registration Parametres");
  }
}

TEST(ParamsForm, PickedFilterFileIsRelativeAndEnablesTheFilter) {
  ParamsRig rig(QuietStationIni());
  EXPECT_EQ(rig.form.NetworkEdit->text(), "XX");
  rig.form.OpenFileHook = [&](const QString&) { return QString::fromStdString(rig.dir.Dir() + "lowpass.txt"); };
  rig.form.PickUpFileBtn->click();
  EXPECT_TRUE(rig.form.FilterChkBox->isChecked());
  rig.form.SaveBtn->click();
  EXPECT_TRUE(rig.FileHas("Filter=lowpass.txt"));
}

// Options -> Parametres, a new station code, Save, Back: the restarted station logs
// the new code in its summary line.
TEST_F(StationWindowTest, ParamsMenuResultsAndRestart) {
  const char* const kSavedLine = "Inf: New parametres were saved into ini-file.";
  QAction* menu = Form().Action("MenuParametres");
  EXPECT_EQ(menu->shortcut(), QKeySequence(Qt::Key_F11));
  auto open = [&](std::function<void(TParamsForm&)> inside) {
    WhenModal([&, inside] { inside(*Form().ParamsForm); });
    menu->trigger();
    return Form().ParamsForm->result();
  };
  EXPECT_EQ(open([](TParamsForm& f) { f.BackBtn->click(); }), kModalCancel);
  EXPECT_EQ(w->Count(kSavedLine), 0);
  EXPECT_EQ(open([](TParamsForm& f) {
              f.StationEdit->setText("NEWC");
              f.OffsetCompChkBox->setChecked(false);
              f.SaveBtn->click();
              SavePicture(&f, "params_form.png");
              f.BackBtn->click();
            }),
            kModalOK);
  // The saved flag lasts the run; only the close box cancels.
  EXPECT_EQ(open([](TParamsForm& f) { f.BackBtn->click(); }), kModalOK);
  EXPECT_EQ(open([](TParamsForm& f) { f.close(); }), kModalCancel);
  EXPECT_EQ(w->Count(kSavedLine), 2);
  // Nothing changes for the running station but the fate of its offsets file.
  EXPECT_EQ(w->station.Params().IDStation, "OLD");
  EXPECT_FALSE(w->station.State().KeepOffsetsFile);
  w.reset();
  StationWindow restarted(dir, clock);
  EXPECT_EQ(restarted.Count("Inf: \"Kelta-16\" \"KM-16S1\" \"0\" \"English\" \"NEWC\""), 1);
}

}  // namespace
