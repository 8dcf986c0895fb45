#include "ui/mainform.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <cmath>
#include <functional>

#include "common/datetime.h"
#include "support/temp_dir.h"
#include "timekeeping/pps_sync.h"

namespace {

// No filter, no GPS port; input 0 calibrated at 0.5 nm/s per count.
const char* const kIniRest =
    "[Sensor]\r\nLSBin1=1\r\nLSBin2=1\r\nLSBin3=1\r\nLSBin4=1\r\nLSBin5=1\r\n"
    "LSBin6=1\r\nLSBin7=1\r\n";

class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock.Set(EncodeDateTime(2026, 3, 2, 10, 0, 0));
    WriteFile(dir.Path("velkor.ini"), Ini());
    WriteFile(dir.Path("f.txt"), "1\n3\n");
    StationOptions o;
    o.ProgramDir = dir.Dir();
    o.clock = &clock;
    o.clockSetter = &setter;
    o.restarter = &restarter;
    o.simulated = true;
    o.converterSeed = 11;
    station = std::make_unique<StationController>(o);
    form = std::make_unique<TMainForm>(*station);
    form->FormCreate();
    form->show();
    Settle();
  }
  void TearDown() override {
    form->close();
    Settle();
  }
  virtual std::string CommonKeys() const { return ""; }
  virtual std::string Lsb0() const { return "0.5"; }
  virtual std::string FilterFile() const { return ""; }
  virtual std::string GpsKeys() const { return "UpDateOn=0\r\n"; }
  std::string Ini() const {
    // The station code in the INI file is 8-bit text.
    return "[Common]\r\nIDStation=K\xD6L\r\n" + CommonKeys() +
           "[Registration]\r\nFilter=" + FilterFile() + "\r\n[GPS]\r\n" + GpsKeys() + kIniRest +
           "LSBin0=" + Lsb0() + "\r\n";
  }
  static void Settle() { QCoreApplication::processEvents(QEventLoop::AllEvents); }
  // One acquisition cycle per second of station time.
  void Cycles(int n) {
    for (int i = 0; i < n; ++i) {
      station->TimerTimer();
      clock.AdvanceMs(1000);
      Settle();
    }
  }
  static void Click(QPushButton* b) {
    b->click();
    Settle();
  }
  QString Caption() const { return form->WaveForm->windowTitle(); }

  TempDir dir;
  ManualClock clock;
  RecordingClockSetter setter;
  RecordingRestarter restarter;
  std::unique_ptr<StationController> station;
  std::unique_ptr<TMainForm> form;
};

TEST_F(MainFormTest, StartsCompactWithEveryPanelClosed) {
  for (QFrame* p : {form->PanelInfo, form->PanelHistory, form->PanelActual}) EXPECT_FALSE(p->isVisible());
  EXPECT_FALSE(form->WaveForm->isVisible());
  for (QPushButton* b : {form->BtnActual, form->BtnHistory, form->BtnInfo}) EXPECT_TRUE(b->isEnabled());
  for (const char* name : {"MenuActual", "MenuHistory", "MenuInfo"})
    EXPECT_TRUE(form->Action(name)->isEnabled()) << name;
  // No filter loaded: the Filtered box cannot be used.
  EXPECT_FALSE(form->ChkBoxFilterAct->isEnabled());
  EXPECT_EQ(form->Field(InfoField::GPStime)->text(), "N/A");
  // No GPS updating: neither way of asking for a clock synchronisation is open.
  EXPECT_FALSE(form->BtnSetTime->isEnabled());
  EXPECT_FALSE(form->MenuSyncPCClock->isEnabled());
  EXPECT_FALSE(form->MenuSyncPCClock->isChecked());
}

TEST_F(MainFormTest, PanelFieldsShowStationTextsAsLatin1) {
  station->SetField(InfoField::Latitude, "48\xB0" "12.5 N");
  Settle();
  EXPECT_EQ(form->Field(InfoField::Latitude)->text(), QString::fromUtf8("48°12.5 N"));
}

TEST_F(MainFormTest, PanelsStackInOpeningOrderAndCloseUpwards) {
  const int h0 = form->height();
  const int infoH = form->PanelInfo->height(), actH = form->PanelActual->height();

  Click(form->BtnInfo);
  ASSERT_TRUE(form->PanelInfo->isVisible());
  const int infoTop = form->PanelInfo->y();
  EXPECT_EQ(form->height(), h0 + infoH + 5);
  EXPECT_EQ(form->BtnInfo->text(), "&Info <");
  EXPECT_EQ(form->BtnInfo->toolTip(), "Hide Information");
  EXPECT_TRUE(form->MenuInfo->isChecked());

  Click(form->BtnActual);
  EXPECT_EQ(form->PanelActual->y(), infoTop + infoH + 5);
  EXPECT_EQ(form->height(), h0 + infoH + actH + 10);
  EXPECT_EQ(form->BtnActual->toolTip(), "Hide Actual Measurement");
  // The status bar stays below the last panel.
  const QPoint actBottom = form->PanelActual->mapTo(form.get(), QPoint(0, actH));
  EXPECT_LE(actBottom.y(), form->statusBar()->y());

  Click(form->BtnInfo);
  EXPECT_FALSE(form->PanelInfo->isVisible());
  EXPECT_EQ(form->PanelActual->y(), infoTop);
  EXPECT_EQ(form->height(), h0 + actH + 5);
  EXPECT_EQ(form->BtnInfo->text(), "&Info >");
  EXPECT_EQ(form->BtnInfo->toolTip(), "Show Information");
  EXPECT_EQ(form->BtnInfo->statusTip(), "Show Information");
  EXPECT_FALSE(form->MenuInfo->isChecked());

  Click(form->BtnActual);
  EXPECT_EQ(form->height(), h0);
  EXPECT_EQ(form->BtnActual->toolTip(), "Show Actual Measurement");
}

TEST_F(MainFormTest, ActualAndHistoryExcludeEachOtherUntilTheWaveformWindowCloses) {
  Click(form->BtnActual);
  EXPECT_TRUE(form->WaveForm->isVisible());
  EXPECT_FALSE(form->BtnHistory->isEnabled());
  EXPECT_FALSE(form->MenuHistory->isEnabled());

  form->WaveForm->close();
  Settle();
  EXPECT_FALSE(form->PanelActual->isVisible());
  EXPECT_FALSE(form->WaveForm->isVisible());
  EXPECT_TRUE(form->BtnHistory->isEnabled());
  EXPECT_TRUE(form->MenuHistory->isEnabled());
  EXPECT_EQ(form->BtnActual->text(), "&Actual Measurement >");

  // The same through the menu, for the history view.
  form->MenuHistory->trigger();
  Settle();
  EXPECT_TRUE(form->PanelHistory->isVisible());
  EXPECT_TRUE(form->WaveForm->isVisible());
  EXPECT_FALSE(form->BtnActual->isEnabled());
  EXPECT_FALSE(form->MenuActual->isEnabled());
  EXPECT_TRUE(Caption().isEmpty());
  form->WaveForm->close();
  Settle();
  EXPECT_FALSE(form->PanelHistory->isVisible());
  EXPECT_TRUE(form->BtnActual->isEnabled());
  EXPECT_TRUE(form->MenuActual->isEnabled());
  EXPECT_EQ(form->BtnHistory->text(), "&History >");
}

struct UnitCase {
  const char* legend;
  const char* actualButton;
  const char* historyButton;  // checked when the history opens
  const char* unit;           // after the history opened
  double divisor;
};

class UnitCarryTest : public MainFormTest, public ::testing::WithParamInterface<UnitCase> {};

TEST_P(UnitCarryTest, HistoryKeepsVelocityAndFallsBackToNanometres) {
  const UnitCase& c = GetParam();
  Click(form->BtnActual);
  auto* actual = form->findChild<QRadioButton*>(c.actualButton);
  ASSERT_NE(actual, nullptr);
  actual->click();
  Settle();
  EXPECT_EQ(station->DisplayUnit(), form->DisplaySettings().UnitText);
  Click(form->BtnActual);

  Click(form->BtnHistory);
  auto* hist = form->findChild<QRadioButton*>(c.historyButton);
  ASSERT_NE(hist, nullptr);
  EXPECT_TRUE(hist->isChecked());
  const TDisplaySettings& d = form->DisplaySettings();
  EXPECT_EQ(d.UnitText, c.unit);
  EXPECT_EQ(d.FullScale, 268'435'456);  // round(0.5 × 2^29) whatever the unit
  EXPECT_DOUBLE_EQ(d.UnitDivisor, c.divisor);
  EXPECT_EQ(station->DisplayUnit(), c.unit);
  Click(form->BtnHistory);

  // Back in the live view, the unit's own button is checked.
  Click(form->BtnActual);
  const char* back = std::string(c.unit) == "nm/s"   ? "NanometresRadioBtn"
                     : std::string(c.unit) == "µm/s" ? "MicrometresRadioBtn"
                                                      : "MillimetresRadioBtn";
  EXPECT_TRUE(form->findChild<QRadioButton*>(back)->isChecked());
}

INSTANTIATE_TEST_SUITE_P(
    Units, UnitCarryTest,
    ::testing::Values(
        UnitCase{"counts", "CountsRadioBtn", "NanometresRadioBtnHist", "nm/s", 1.0},
        UnitCase{"microvolts", "microVoltRadioBtn", "NanometresRadioBtnHist", "nm/s", 1.0},
        UnitCase{"micrometres", "MicrometresRadioBtn", "MicrometresRadioBtnHist", "µm/s", 1000.0},
        UnitCase{"millimetres", "MillimetresRadioBtn", "MillimetresRadioBtnHist", "mm/s", 1'000'000.0}),
    [](const ::testing::TestParamInfo<UnitCase>& i) { return std::string(i.param.legend); });

TEST_F(MainFormTest, LiveUnitsSetFullScaleFromTheCalibration) {
  Click(form->BtnActual);
  form->microVoltRadioBtn->click();
  ASSERT_FALSE(station->ADGain().empty());
  EXPECT_EQ(form->DisplaySettings().FullScale,
            static_cast<int32_t>(std::llround(station->ADGain()[0] * 536870912.0)));
  EXPECT_EQ(station->DisplayUnit(), "µV");
  form->CountsRadioBtn->click();
  EXPECT_EQ(form->DisplaySettings().FullScale, 536'870'912);
  EXPECT_EQ(station->DisplayUnit(), "counts");
}

TEST_F(MainFormTest, SecondsShownStayWithinOneToSixtyAndCarryToTheOtherView) {
  Click(form->BtnActual);
  QSpinBox* e = form->EditShowActualSeconds;
  EXPECT_EQ(e->value(), 10);
  e->stepBy(-100);
  EXPECT_EQ(e->value(), 1);
  EXPECT_EQ(form->DisplaySettings().SecondsShown, 1);
  e->stepBy(100);
  EXPECT_EQ(e->value(), 60);
  e->stepBy(1);
  EXPECT_EQ(form->DisplaySettings().SecondsShown, 60);
  e->setValue(25);
  Click(form->BtnActual);
  Click(form->BtnHistory);
  EXPECT_EQ(form->EditShowHistorySeconds->value(), 25);
}

TEST_F(MainFormTest, ChannelBoxesSetTheMaskByTheirLastDigit) {
  Click(form->BtnActual);
  form->ChkBoxIN[6]->click();
  auto mask = form->DisplaySettings().ChannelMask;
  EXPECT_EQ(mask[6], 0);
  EXPECT_EQ(mask[5], 1);
  form->ChkBoxIN[6]->click();
  EXPECT_EQ(form->DisplaySettings().ChannelMask[6], 1);
}

TEST_F(MainFormTest, LiveDataSetTheWaveformCaptionOnlyWhileTheLiveViewIsOpen) {
  Cycles(2);
  EXPECT_EQ(Caption(), "Seismograph");  // window hidden: no live redraw

  Click(form->BtnActual);
  const TDateTime t = clock.NowUtc();
  Cycles(1);
  EXPECT_EQ(Caption().toStdString(), FormatLogTimestamp(t));
  EXPECT_NE(form->Field(InfoField::Samples)->text(), "N/A");
  EXPECT_EQ(form->Field(InfoField::Samples)->text().toStdString(),
            station->Lamps().Field(InfoField::Samples));
}

TEST_F(MainFormTest, PauseFreezesTheCaptionWithTheStationCode) {
  Click(form->BtnActual);
  Cycles(2);
  const QString live = Caption();
  Click(form->BtnPause);
  EXPECT_TRUE(station->State().DisplayPaused);
  EXPECT_EQ(form->BtnPause->text(), "> &Pause <");
  EXPECT_EQ(Caption(), QString::fromUtf8("KÖL ") + live);  // the code read as Latin-1
  EXPECT_TRUE(form->BtnPrintAct->isEnabled());
  EXPECT_FALSE(form->ChkBoxFilterAct->isEnabled());
  Cycles(2);
  EXPECT_EQ(Caption(), QString::fromUtf8("KÖL ") + live);

  Click(form->BtnPause);
  EXPECT_FALSE(station->State().DisplayPaused);
  EXPECT_EQ(form->BtnPause->text(), "< &Pause >");
  EXPECT_FALSE(form->BtnPrintAct->isEnabled());
  EXPECT_FALSE(form->ChkBoxFilterAct->isEnabled());  // still no filter
  Cycles(1);
  EXPECT_FALSE(Caption().startsWith("K"));
}

TEST_F(MainFormTest, TrayItemTogglesBetweenMinimisedAndRestored) {
  QAction* pop = form->PopMinMax;
  ASSERT_NE(pop, nullptr);
  EXPECT_EQ(pop->text(), "Minimize");
  pop->trigger();
  Settle();
  EXPECT_TRUE(form->isMinimized());
  EXPECT_EQ(pop->text(), "Maximize");
  pop->trigger();
  Settle();
  EXPECT_FALSE(form->isMinimized());
  EXPECT_EQ(pop->text(), "Minimize");
}

// The velocity full scale is the calibration × 2^29, rounded half to even,
// and saturates where a 32-bit value would wrap (4 nm/s per count or more).
class FullScaleLsbTest : public MainFormTest,
                         public ::testing::WithParamInterface<std::pair<const char*, int32_t>> {
  std::string Lsb0() const override { return GetParam().first; }
};

TEST_P(FullScaleLsbTest, VelocityFullScaleRoundsAndSaturates) {
  Click(form->BtnActual);
  form->NanometresRadioBtn->click();
  EXPECT_EQ(form->DisplaySettings().FullScale, GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Lsb, FullScaleLsbTest,
                         ::testing::Values(std::pair{"4.656612873077392578125E-9", 2},  // 2.5
                                           std::pair{"8", 2'147'483'647}),
                         [](const auto& i) { return std::string(i.index ? "Saturates" : "RoundsToEven"); });

// The simulated receiver stands in for the GPS port.
class GpsTest : public MainFormTest {
 protected:
  std::string GpsKeys() const override { return "UpDateOn=1\r\nPort=sim-gps\r\n"; }
  // The station starts with a request pending; take it back so a new one shows.
  void NoRequestPending() {
    ASSERT_NE(station->PPSSync(), nullptr);
    station->PPSSync()->CancelSyncRequest();
    ASSERT_FALSE(station->PPSSync()->SyncRequest());
  }
};

TEST_F(GpsTest, SetTimeButtonAndSyncMenuItemRequestASynchronisation) {
  ASSERT_FALSE(station->State().HaltRequested);
  EXPECT_EQ(form->BtnSetTime->toolTip(), "Force Computer Clock Sychronization");
  EXPECT_TRUE(form->MenuSyncPCClock->isChecked());
  for (const auto& ask : std::vector<std::function<void()>>{[&] { form->BtnSetTime->click(); },
                                                            [&] { form->MenuSyncPCClock->trigger(); }}) {
    NoRequestPending();
    ask();
    Settle();
    EXPECT_TRUE(station->PPSSync()->SyncRequest());
    EXPECT_TRUE(form->Lamp(LedId::SyncReq)->State().on);
  }
  EXPECT_TRUE(form->MenuSyncPCClock->isChecked());
}

class FilteredTest : public MainFormTest {
  std::string FilterFile() const override { return "f.txt"; }
};

TEST_F(FilteredTest, FilteredBoxSwitchesTheLiveViewAndRestsWhilePaused) {
  ASSERT_TRUE(station->Params().Filter.Loaded);
  Click(form->BtnActual);
  EXPECT_TRUE(form->ChkBoxFilterAct->isEnabled());
  form->ChkBoxFilterAct->click();
  EXPECT_TRUE(station->State().ShowFiltered);
  Cycles(1);  // opens the converter
  // The filtered picture lags one cycle, and its caption says so.
  const TDateTime t = clock.NowUtc();
  Cycles(1);
  EXPECT_EQ(Caption().toStdString(), FormatLogTimestamp(AddMs(t, -1000)));

  Click(form->BtnPause);
  EXPECT_FALSE(form->ChkBoxFilterAct->isEnabled());
  Click(form->BtnPause);
  EXPECT_TRUE(form->ChkBoxFilterAct->isEnabled());
  form->ChkBoxFilterAct->click();
  EXPECT_FALSE(station->State().ShowFiltered);
}

class AutoShowTest : public MainFormTest {
  std::string CommonKeys() const override { return "AutoShowDetails=1\r\n"; }
};

TEST_F(AutoShowTest, ShowingTheWindowOpensInformationAndTheLiveView) {
  EXPECT_TRUE(form->PanelInfo->isVisible());
  EXPECT_TRUE(form->PanelActual->isVisible());
  EXPECT_TRUE(form->WaveForm->isVisible());
  EXPECT_LT(form->PanelInfo->y(), form->PanelActual->y());
}

}  // namespace
