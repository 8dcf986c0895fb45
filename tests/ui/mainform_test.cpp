#include "ui/mainform.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <cmath>

#include "station_window.h"
#include "timekeeping/pps_sync.h"

namespace {

// Station code in 8-bit text; input 0 calibrated at Lsb0() nm/s per count.
class MainFormTest : public StationWindowTest {
 protected:
  std::string Ini() const override {
    WriteFile(dir.Path("f.txt"), "1\n3\n");
    std::string ini = "[Common]\r\nIDStation=K\xD6L\r\n" + CommonKeys() + "[Registration]\r\nFilter=" +
                      FilterFile() + "\r\n[GPS]\r\n" + GpsKeys() + "[Sensor]\r\nLSBin0=" + Lsb0() + "\r\n";
    for (int n = 1; n < 8; ++n) ini += "LSBin" + std::to_string(n) + "=1\r\n";
    return ini;
  }
  StationOptions Options() override {
    StationOptions o = SimulatedStationOptions(dir, clock, 11);
    o.manualClock = nullptr;
    o.clockSetter = &setter;
    return o;
  }
  virtual std::string CommonKeys() const { return ""; }
  virtual std::string Lsb0() const { return "0.5"; }
  virtual std::string FilterFile() const { return ""; }
  virtual std::string GpsKeys() const { return "UpDateOn=0\r\n"; }
  TActualPanel& Actual() { return *Form().PanelActual; }

  RecordingClockSetter setter;
};

TEST_F(MainFormTest, StartsCompactWithoutTheControlsTheConfigurationLacks) {
  for (QFrame* p : std::initializer_list<QFrame*>{Form().PanelInfo, Form().PanelHistory, Form().PanelActual})
    EXPECT_FALSE(p->isVisible());
  EXPECT_FALSE(Form().WaveForm->isVisible());
  EXPECT_FALSE(Actual().ChkBoxFilterAct->isEnabled()) << "no filter loaded";
  EXPECT_FALSE(Form().PanelInfo->BtnSetTime->isEnabled()) << "no GPS updating";
  EXPECT_FALSE(Form().MenuSyncPCClock->isEnabled());
  EXPECT_FALSE(Form().MenuSyncPCClock->isChecked());
  // Station texts are 8-bit.
  w->station.SetField(InfoField::Latitude, "48\xB0" "12.5 N");
  Settle();
  EXPECT_EQ(Form().Field(InfoField::Latitude)->text(), QString::fromUtf8("48°12.5 N"));
  EXPECT_EQ(Form().Field(InfoField::GPStime)->text(), "N/A");
}

TEST_F(MainFormTest, PanelsStackInOpeningOrderAndCloseUpwards) {
  TMainForm& f = Form();
  const int h0 = f.height();
  const int infoH = f.PanelInfo->height(), actH = f.PanelActual->height();
  Click(f.BtnInfo);
  ASSERT_TRUE(f.PanelInfo->isVisible());
  const int infoTop = f.PanelInfo->y();
  EXPECT_EQ(f.height(), h0 + infoH + 5);
  EXPECT_EQ(f.BtnInfo->text(), "&Info <");
  EXPECT_EQ(f.BtnInfo->toolTip(), "Hide Information");
  EXPECT_TRUE(f.MenuInfo->isChecked());

  Click(f.BtnActual);
  EXPECT_EQ(f.PanelActual->y(), infoTop + infoH + 5);
  EXPECT_EQ(f.height(), h0 + infoH + actH + 10);
  // The status bar stays below the last panel.
  EXPECT_LE(f.PanelActual->mapTo(&f, QPoint(0, actH)).y(), f.statusBar()->y());

  Click(f.BtnInfo);
  EXPECT_FALSE(f.PanelInfo->isVisible());
  EXPECT_EQ(f.PanelActual->y(), infoTop);
  EXPECT_EQ(f.height(), h0 + actH + 5);
  EXPECT_EQ(f.BtnInfo->text(), "&Info >");
  EXPECT_EQ(f.BtnInfo->statusTip(), "Show Information");
  EXPECT_FALSE(f.MenuInfo->isChecked());
  Click(f.BtnActual);
  EXPECT_EQ(f.height(), h0);
  EXPECT_EQ(f.BtnActual->toolTip(), "Show Actual Measurement");
}

TEST_F(MainFormTest, ActualAndHistoryExcludeEachOtherUntilTheWaveformWindowCloses) {
  TMainForm& f = Form();
  // Once by button, once by menu.
  for (const bool actual : {true, false}) {
    QPushButton* other = actual ? f.BtnHistory : f.BtnActual;
    QAction* otherMenu = actual ? f.MenuHistory : f.MenuActual;
    actual ? f.BtnActual->click() : f.MenuHistory->trigger();
    Settle();
    EXPECT_TRUE(f.WaveForm->isVisible());
    EXPECT_FALSE(other->isEnabled());
    EXPECT_FALSE(otherMenu->isEnabled());
    EXPECT_TRUE(actual || w->Caption().isEmpty());
    f.WaveForm->close();
    Settle();
    EXPECT_FALSE(f.PanelActual->isVisible());
    EXPECT_FALSE(f.PanelHistory->isVisible());
    EXPECT_TRUE(other->isEnabled());
    EXPECT_TRUE(otherMenu->isEnabled());
  }
  EXPECT_EQ(f.BtnActual->text(), "&Actual Measurement >");
  EXPECT_EQ(f.BtnHistory->text(), "&History >");
}

struct UnitCase {
  const char* legend;
  const char* actualButton;
  const char* historyButton;  // checked when the history opens
  DisplayUnitKind unit;       // after the history opened
  const char* backButton;     // checked again in the live view
};

class UnitCarryTest : public MainFormTest, public ::testing::WithParamInterface<UnitCase> {};

TEST_P(UnitCarryTest, HistoryKeepsVelocityAndFallsBackToNanometres) {
  const UnitCase& c = GetParam();
  Click(Form().BtnActual);
  auto* actual = Form().findChild<QRadioButton*>(c.actualButton);
  ASSERT_NE(actual, nullptr);
  actual->click();
  EXPECT_EQ(w->station.DisplayUnit(), Form().DisplaySettings().Unit);
  Click(Form().BtnActual);
  Click(Form().BtnHistory);
  EXPECT_TRUE(Form().findChild<QRadioButton*>(c.historyButton)->isChecked());
  EXPECT_EQ(Form().DisplaySettings().Unit, c.unit);
  EXPECT_EQ(Form().DisplaySettings().FullScale, 268'435'456);  // round(0.5 × 2^29) whatever the unit
  EXPECT_EQ(w->station.DisplayUnit(), c.unit);
  Click(Form().BtnHistory);
  Click(Form().BtnActual);
  EXPECT_TRUE(Form().findChild<QRadioButton*>(c.backButton)->isChecked());
}

INSTANTIATE_TEST_SUITE_P(
    Units, UnitCarryTest,
    ::testing::Values(
        UnitCase{"counts", "CountsRadioBtn", "NanometresRadioBtnHist", DisplayUnitKind::NanoMetrePerSecond,
                 "NanometresRadioBtn"},
        UnitCase{"microvolts", "microVoltRadioBtn", "NanometresRadioBtnHist", DisplayUnitKind::NanoMetrePerSecond,
                 "NanometresRadioBtn"},
        UnitCase{"micrometres", "MicrometresRadioBtn", "MicrometresRadioBtnHist",
                 DisplayUnitKind::MicroMetrePerSecond, "MicrometresRadioBtn"},
        UnitCase{"millimetres", "MillimetresRadioBtn", "MillimetresRadioBtnHist",
                 DisplayUnitKind::MilliMetrePerSecond, "MillimetresRadioBtn"}),
    [](const ::testing::TestParamInfo<UnitCase>& i) { return std::string(i.param.legend); });

// Velocities take the calibration × 2^29, rounded half to even, saturating
// where a 32-bit value would wrap (4 nm/s per count or more); µV the
// converter's gain, counts 2^29.
struct FullScaleCase {
  const char* legend;
  const char* lsb0;
  const char* button;
  DisplayUnitKind unit;
  int32_t fullScale;  // 0: from the converter's gain
};

class FullScaleTest : public MainFormTest, public ::testing::WithParamInterface<FullScaleCase> {
  std::string Lsb0() const override { return GetParam().lsb0; }
};

TEST_P(FullScaleTest, LiveUnitsSetFullScaleFromTheCalibration) {
  const FullScaleCase& c = GetParam();
  Click(Form().BtnActual);
  Form().findChild<QRadioButton*>(c.button)->click();
  ASSERT_FALSE(w->station.ADGain().empty());
  const int32_t gain = static_cast<int32_t>(std::llround(w->station.ADGain()[0] * 536870912.0));
  EXPECT_EQ(Form().DisplaySettings().FullScale, c.fullScale ? c.fullScale : gain);
  EXPECT_EQ(w->station.DisplayUnit(), c.unit);
}

INSTANTIATE_TEST_SUITE_P(
    Units, FullScaleTest,
    ::testing::Values(
        FullScaleCase{"RoundsToEven", "4.656612873077392578125E-9", "NanometresRadioBtn",
                      DisplayUnitKind::NanoMetrePerSecond, 2},  // 2.5
        FullScaleCase{"Saturates", "8", "MillimetresRadioBtn", DisplayUnitKind::MilliMetrePerSecond, 2'147'483'647},
        FullScaleCase{"MicroVolt", "8", "microVoltRadioBtn", DisplayUnitKind::MicroVolt, 0},
        FullScaleCase{"Counts", "8", "CountsRadioBtn", DisplayUnitKind::Counts, 536'870'912}),
    [](const auto& i) { return std::string(i.param.legend); });

TEST_F(MainFormTest, SecondsStayWithinOneToSixtyAndCarryToTheOtherViewAsDoesTheMask) {
  Click(Form().BtnActual);
  QSpinBox* e = Actual().EditShowActualSeconds;
  EXPECT_EQ(e->value(), 10);
  e->stepBy(-100);
  EXPECT_EQ(Form().DisplaySettings().SecondsShown, 1);
  e->stepBy(100);
  EXPECT_EQ(e->value(), 60);
  e->stepBy(1);
  EXPECT_EQ(Form().DisplaySettings().SecondsShown, 60);
  e->setValue(25);
  // A channel box masks the channel of its last digit.
  Actual().ChkBoxIN[6]->click();
  EXPECT_EQ(Form().DisplaySettings().ChannelMask, (std::array<int32_t, 8>{1, 1, 1, 1, 1, 1, 0, 1}));
  Click(Form().BtnActual);
  Click(Form().BtnHistory);
  EXPECT_EQ(Form().PanelHistory->EditShowHistorySeconds->value(), 25);
}

TEST_F(MainFormTest, LiveDataSetTheWaveformCaptionOnlyWhileTheLiveViewIsOpen) {
  w->Cycles(2);
  EXPECT_EQ(w->Caption(), "Seismograph");  // window hidden: no live redraw
  Click(Form().BtnActual);
  const TDateTime t = clock.NowUtc();
  w->Cycles(1);
  EXPECT_EQ(w->Caption().toStdString(), FormatLogTimestamp(t));
  EXPECT_NE(Form().Field(InfoField::Samples)->text(), "N/A");
  EXPECT_EQ(Form().Field(InfoField::Samples)->text().toStdString(),
            w->station.Lamps().Field(InfoField::Samples));
}

TEST_F(MainFormTest, TrayItemTogglesBetweenMinimisedAndRestoredAndEveryWindowHasTheIcon) {
  QAction* pop = Form().PopMinMax;
  EXPECT_EQ(pop->text(), "Minimize");
  for (const bool minimised : {true, false}) {
    pop->trigger();
    Settle();
    EXPECT_EQ(Form().isMinimized(), minimised);
    EXPECT_EQ(pop->text(), minimised ? "Maximize" : "Minimize");
  }
  EXPECT_FALSE(Form().TrayIcon->icon().isNull());
  EXPECT_FALSE(Form().windowIcon().isNull());
  EXPECT_FALSE(Form().WaveForm->windowIcon().isNull());
  // The frame, title bar included, is on the screen.
  EXPECT_TRUE(Form().screen()->availableGeometry().contains(Form().frameGeometry().topLeft()));
}

// The simulated receiver stands in for the GPS port.
class GpsTest : public MainFormTest {
  std::string GpsKeys() const override { return "UpDateOn=1\r\nPort=sim-gps\r\n"; }
};

TEST_F(GpsTest, SetTimeButtonAndSyncMenuItemRequestASynchronisation) {
  ASSERT_FALSE(w->station.State().HaltRequested);
  EXPECT_TRUE(Form().MenuSyncPCClock->isChecked());
  TPPSSync* sync = w->station.PPSSync();
  ASSERT_NE(sync, nullptr);
  for (const auto& ask : std::vector<std::function<void()>>{[&] { Form().PanelInfo->BtnSetTime->click(); },
                                                            [&] { Form().MenuSyncPCClock->trigger(); }}) {
    // The station starts with a request pending; take it back so a new one shows.
    sync->CancelSyncRequest();
    ASSERT_FALSE(sync->SyncRequest());
    ask();
    Settle();
    EXPECT_TRUE(sync->SyncRequest());
    EXPECT_TRUE(Form().Lamp(LedId::SyncReq)->State().on);
  }
  EXPECT_TRUE(Form().MenuSyncPCClock->isChecked());
}

class FilteredTest : public MainFormTest {
  std::string FilterFile() const override { return "f.txt"; }
};

// Pause freezes the picture with the station code in its caption; the
// Filtered box rests meanwhile.
TEST_F(FilteredTest, PauseFreezesTheCaptionAndFilteredSwitchesTheLiveView) {
  ASSERT_TRUE(w->station.Params().Filter.Loaded);
  Click(Form().BtnActual);
  EXPECT_TRUE(Actual().ChkBoxFilterAct->isEnabled());
  Actual().ChkBoxFilterAct->click();
  EXPECT_TRUE(w->station.State().ShowFiltered);
  w->Cycles(1);  // opens the converter
  // The filtered picture lags one cycle, and its caption says so.
  const TDateTime t = clock.NowUtc();
  w->Cycles(1);
  const QString live = w->Caption();
  EXPECT_EQ(live.toStdString(), FormatLogTimestamp(AddMs(t, -1000)));

  Click(Actual().BtnPause);
  EXPECT_TRUE(w->station.State().DisplayPaused);
  EXPECT_EQ(Actual().BtnPause->text(), "> &Pause <");
  EXPECT_EQ(w->Caption(), QString::fromUtf8("KÖL ") + live);  // the code read as Latin-1
  EXPECT_TRUE(Actual().BtnPrintAct->isEnabled());
  EXPECT_FALSE(Actual().ChkBoxFilterAct->isEnabled());
  w->Cycles(2);
  EXPECT_EQ(w->Caption(), QString::fromUtf8("KÖL ") + live);

  Click(Actual().BtnPause);
  EXPECT_FALSE(w->station.State().DisplayPaused);
  EXPECT_EQ(Actual().BtnPause->text(), "< &Pause >");
  EXPECT_FALSE(Actual().BtnPrintAct->isEnabled());
  EXPECT_TRUE(Actual().ChkBoxFilterAct->isEnabled());
  w->Cycles(1);
  EXPECT_FALSE(w->Caption().startsWith("K"));
  Actual().ChkBoxFilterAct->click();
  EXPECT_FALSE(w->station.State().ShowFiltered);
}

class AutoShowTest : public MainFormTest {
  std::string CommonKeys() const override { return "AutoShowDetails=1\r\n"; }
};

TEST_F(AutoShowTest, ShowingTheWindowOpensInformationAndTheLiveView) {
  EXPECT_TRUE(Form().PanelInfo->isVisible());
  EXPECT_TRUE(Form().PanelActual->isVisible());
  EXPECT_TRUE(Form().WaveForm->isVisible());
  EXPECT_LT(Form().PanelInfo->y(), Form().PanelActual->y());
}

}  // namespace
