#include "ui/mainform.h"

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
  // A panel button's text and hint (the status tip only where it differs), and its menu item's mark.
  static QString Button(QPushButton* b, QAction* menu) {
    const QString status = b->statusTip() == b->toolTip() ? "" : " | status " + b->statusTip();
    return b->text() + " | " + b->toolTip() + status + (menu->isChecked() ? " | checked" : "");
  }

  RecordingClockSetter setter;
};

TEST_F(MainFormTest, StartsCompactOnScreenWithItsIconsAndWithoutTheControlsTheConfigurationLacks) {
  for (QWidget* p : std::initializer_list<QWidget*>{Form().PanelInfo, Form().PanelHistory, Form().PanelActual,
                                                    Form().WaveForm})
    EXPECT_FALSE(p->isVisible()) << p->objectName().toStdString();
  EXPECT_FALSE(Actual().ChkBoxFilterAct->isEnabled()) << "no filter loaded";
  EXPECT_FALSE(Form().PanelInfo->BtnSetTime->isEnabled()) << "no GPS updating";
  EXPECT_FALSE(Form().MenuSyncPCClock->isEnabled() || Form().MenuSyncPCClock->isChecked());
  // Station texts are 8-bit.
  w->station.SetField(InfoField::Latitude, "48\xB0" "12.5 N");
  Settle();
  EXPECT_EQ(Form().Field(InfoField::Latitude)->text(), QString::fromUtf8("48°12.5 N"));
  EXPECT_EQ(Form().Field(InfoField::GPStime)->text(), "N/A");
  for (const QIcon& icon : {Form().TrayIcon->icon(), Form().windowIcon(), Form().WaveForm->windowIcon()})
    EXPECT_FALSE(icon.isNull());
  // The frame, title bar included, is on the screen.
  EXPECT_TRUE(Form().screen()->availableGeometry().contains(Form().frameGeometry().topLeft()));
  // The tray item toggles between minimised and restored.
  QAction* pop = Form().PopMinMax;
  EXPECT_EQ(pop->text(), "Minimize");
  for (const bool minimised : {true, false}) {
    pop->trigger();
    Settle();
    EXPECT_EQ(Form().isMinimized(), minimised);
    EXPECT_EQ(pop->text(), minimised ? "Maximize" : "Minimize");
  }
}

TEST_F(MainFormTest, PanelsStackCloseUpwardsExcludeEachOtherAndShareTheSeconds) {
  TMainForm& f = Form();
  const int h0 = f.height();
  const int infoH = f.PanelInfo->height(), actH = f.PanelActual->height();
  Click(f.BtnInfo);
  ASSERT_TRUE(f.PanelInfo->isVisible());
  const int infoTop = f.PanelInfo->y();
  EXPECT_EQ(f.height(), h0 + infoH + 5);
  EXPECT_EQ(Button(f.BtnInfo, f.MenuInfo), "&Info < | Hide Information | checked");

  Click(f.BtnActual);
  EXPECT_EQ(f.PanelActual->y(), infoTop + infoH + 5);
  EXPECT_EQ(f.height(), h0 + infoH + actH + 10);
  // The status bar stays below the last panel.
  EXPECT_LE(f.PanelActual->mapTo(&f, QPoint(0, actH)).y(), f.statusBar()->y());

  Click(f.BtnInfo);
  EXPECT_FALSE(f.PanelInfo->isVisible());
  EXPECT_EQ(f.PanelActual->y(), infoTop);
  EXPECT_EQ(f.height(), h0 + actH + 5);
  EXPECT_EQ(Button(f.BtnInfo, f.MenuInfo), "&Info > | Show Information");
  Click(f.BtnActual);
  EXPECT_EQ(f.height(), h0);

  // Actual and History exclude each other until the waveform window closes;
  // once by button, once by menu.
  for (const bool actual : {true, false}) {
    QPushButton* other = actual ? f.BtnHistory : f.BtnActual;
    QAction* otherMenu = actual ? f.MenuHistory : f.MenuActual;
    actual ? f.BtnActual->click() : f.MenuHistory->trigger();
    Settle();
    EXPECT_TRUE(f.WaveForm->isVisible());
    EXPECT_EQ(std::pair(other->isEnabled(), otherMenu->isEnabled()), std::pair(false, false));
    EXPECT_TRUE(actual || w->Caption().isEmpty());
    f.WaveForm->close();
    Settle();
    EXPECT_FALSE(f.PanelActual->isVisible() || f.PanelHistory->isVisible());
    EXPECT_EQ(std::pair(other->isEnabled(), otherMenu->isEnabled()), std::pair(true, true));
  }
  EXPECT_EQ(Button(f.BtnActual, f.MenuActual), "&Actual Measurement > | Show Actual Measurement");
  EXPECT_EQ(Button(f.BtnHistory, f.MenuHistory), "&History > | Show History Browser");

  // The seconds shown stay within 1 to 60 and carry to the other view.
  Click(Form().BtnActual);
  QSpinBox* e = Actual().EditShowActualSeconds;
  EXPECT_EQ(e->value(), 10);
  e->stepBy(-100);
  EXPECT_EQ(Form().DisplaySettings().SecondsShown, 1);
  e->stepBy(100);
  EXPECT_EQ(Form().DisplaySettings().SecondsShown, 60);
  e->setValue(25);
  // A channel box masks the channel of its last digit.
  Actual().ChkBoxIN[6]->click();
  EXPECT_EQ(Form().DisplaySettings().ChannelMask, (std::array<int32_t, 8>{1, 1, 1, 1, 1, 1, 0, 1}));
  Click(Form().BtnActual);
  Click(Form().BtnHistory);
  EXPECT_EQ(Form().PanelHistory->EditShowHistorySeconds->value(), 25);
}

// Velocities take the calibration × 2^29, rounded half to even, saturating where a 32-bit value
// would wrap (4 nm/s per count or more); µV the converter's gain, counts 2^29. The history view
// keeps a velocity unit and falls back to nm/s; the live view then shows the history's unit.
struct UnitCase {
  const char* legend;
  const char* lsb0;
  const char* liveButton;  // the radio button's name without "RadioBtn"
  DisplayUnitKind liveUnit;
  int32_t liveFullScale;  // 0: from the converter's gain
  const char* velocity;   // its button, with "RadioBtnHist" in the history panel
  DisplayUnitKind histUnit;
  int32_t histFullScale;
};

class UnitTest : public MainFormTest, public ::testing::WithParamInterface<UnitCase> {
  std::string Lsb0() const override { return GetParam().lsb0; }
};

TEST_P(UnitTest, LiveUnitSetsTheFullScaleAndHistoryKeepsOnlyVelocities) {
  const UnitCase& c = GetParam();
  Click(Form().BtnActual);
  auto* live = Form().findChild<QRadioButton*>(QString(c.liveButton) + "RadioBtn");
  ASSERT_NE(live, nullptr);
  live->click();
  ASSERT_FALSE(w->station.ADGain().empty());
  const int32_t gain = static_cast<int32_t>(std::llround(w->station.ADGain()[0] * 536870912.0));
  EXPECT_EQ(Form().DisplaySettings().FullScale, c.liveFullScale ? c.liveFullScale : gain);
  EXPECT_EQ(std::pair(Form().DisplaySettings().Unit, w->station.DisplayUnit()), std::pair(c.liveUnit, c.liveUnit));
  Click(Form().BtnActual);
  Click(Form().BtnHistory);
  EXPECT_TRUE(Form().findChild<QRadioButton*>(QString(c.velocity) + "RadioBtnHist")->isChecked());
  EXPECT_EQ(Form().DisplaySettings().FullScale, c.histFullScale);
  EXPECT_EQ(std::pair(Form().DisplaySettings().Unit, w->station.DisplayUnit()), std::pair(c.histUnit, c.histUnit));
  Click(Form().BtnHistory);
  Click(Form().BtnActual);
  EXPECT_TRUE(Form().findChild<QRadioButton*>(QString(c.velocity) + "RadioBtn")->isChecked());
}

constexpr auto kCounts = DisplayUnitKind::Counts, kMicroVolt = DisplayUnitKind::MicroVolt,
               kNm = DisplayUnitKind::NanoMetrePerSecond, kUm = DisplayUnitKind::MicroMetrePerSecond,
               kMm = DisplayUnitKind::MilliMetrePerSecond;
constexpr int32_t kMax = 2'147'483'647;  // saturated

INSTANTIATE_TEST_SUITE_P(
    Units, UnitTest,
    ::testing::Values(UnitCase{"Counts", "8", "Counts", kCounts, 536'870'912, "Nanometres", kNm, kMax},
                      UnitCase{"MicroVolt", "8", "microVolt", kMicroVolt, 0, "Nanometres", kNm, kMax},
                      UnitCase{"RoundsToEven", "4.656612873077392578125E-9", "Nanometres", kNm, 2,  // 2.5
                               "Nanometres", kNm, 2},
                      UnitCase{"Micrometres", "0.5", "Micrometres", kUm, 268'435'456, "Micrometres", kUm, 268'435'456},
                      UnitCase{"MillimetresSaturate", "8", "Millimetres", kMm, kMax, "Millimetres", kMm, kMax}),
    [](const auto& i) { return std::string(i.param.legend); });


// The simulated receiver stands in for the GPS port; details shown at start.
class GpsTest : public MainFormTest {
  std::string GpsKeys() const override { return "UpDateOn=1\r\nPort=sim-gps\r\n"; }
  std::string CommonKeys() const override { return "AutoShowDetails=1\r\n"; }
};

TEST_F(GpsTest, ShowingTheWindowOpensTheDetailsAndSetTimeAndSyncMenuItemRequestASynchronisation) {
  EXPECT_TRUE(Form().PanelInfo->isVisible());
  EXPECT_TRUE(Form().PanelActual->isVisible());
  EXPECT_TRUE(Form().WaveForm->isVisible());
  EXPECT_LT(Form().PanelInfo->y(), Form().PanelActual->y());
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

// Live data set the caption only while the live view is open. Pause freezes
// the picture with the station code in its caption; the Filtered box rests meanwhile.
TEST_F(FilteredTest, PauseFreezesTheCaptionAndFilteredSwitchesTheLiveView) {
  w->Cycles(2);
  EXPECT_EQ(w->Caption(), "Seismograph");
  Click(Form().BtnActual);
  EXPECT_TRUE(Actual().ChkBoxFilterAct->isEnabled());
  Actual().ChkBoxFilterAct->click();
  EXPECT_TRUE(w->station.State().ShowFiltered);
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
  Actual().ChkBoxFilterAct->click();
  EXPECT_FALSE(w->station.State().ShowFiltered);
  const TDateTime u = clock.NowUtc();
  w->Cycles(1);
  EXPECT_EQ(w->Caption().toStdString(), FormatLogTimestamp(u));
  EXPECT_NE(Form().Field(InfoField::Samples)->text(), "N/A");
  EXPECT_EQ(Form().Field(InfoField::Samples)->text().toStdString(), w->station.Lamps().Field(InfoField::Samples));
}

}  // namespace
