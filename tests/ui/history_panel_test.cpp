// The history panel of the main window reading stored continuous data.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>

#include <filesystem>

#include "storage/file_naming.h"
#include "storage/gse2.h"
#include "support/station_options.h"
#include "support/temp_dir.h"
#include "ui/mainform.h"

namespace {

class HistoryPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock.Set(EncodeDateTime(2026, 3, 2, 10, 30, 0));
    WriteFile(dir.Path("velkor.ini"),
              "[Common]\r\nIDStation=HIS\r\n[Registration]\r\nFilter=\r\n[GPS]\r\nUpDateOn=0\r\n");
    station = std::make_unique<StationController>(SimulatedStationOptions(dir, clock));
    form = std::make_unique<TMainForm>(*station);
    form->MessageHook = [this](const QString& m) { messages << m; };
    form->FormCreate();
    form->show();
    WriteHour(EncodeDateTime(2026, 3, 2, 10, 0, 0), 60);
  }
  void TearDown() override { form->close(); }

  // `seconds` one-second segments of Z, N, E at 100 Hz: value = second × 10 + channel.
  void WriteHour(TDateTime start, int seconds, bool trigger = false) {
    const std::string name = trigger ? TriggerFileName(station->Params(), start)
                                     : ContinuousFileName(station->Params(), start);
    std::filesystem::create_directories(std::filesystem::path(name).parent_path());
    Gse2FileWriter w;
    ASSERT_TRUE(w.Open(name));
    for (int s = 0; s < seconds; ++s) {
      for (int c = 0; c < 3; ++c) {
        Wid2Fields f;
        f.Start = AddMs(start, 1000LL * s);
        f.Station = "HIS";
        f.Channel = std::string("BH") + "ZNE"[c];
        f.AuxId = std::string(1, "ZNE"[c]);
        f.SampleCount = 100;
        f.SampleRate = 100;
        f.Calibration = 1;
        f.Instrument = "CMG-4T";
        const std::vector<int32_t> v(100, s * 10 + c);
        ASSERT_TRUE(w.WriteBlock(f, v.data(), v.size(), 1));
      }
    }
    ASSERT_EQ(w.WriteStop(), 4);
    w.Close();
  }
  static void Settle() { QCoreApplication::processEvents(); }

  TempDir dir;
  ManualClock clock;
  std::unique_ptr<StationController> station;
  std::unique_ptr<TMainForm> form;
  QStringList messages;
};

TEST_F(HistoryPanelTest, EnterReadsTheTypedMomentAndNextStepsThreeQuarters) {
  form->BtnHistory->click();
  Settle();
  form->MaskEditDateTime->setText("02.03.2026 10:00:20");
  form->BtnPrevNextClick(THistoryStep::None);
  const THistoryRecord& r = form->HistoryRecord();
  ASSERT_TRUE(r.Valid) << messages.join("|").toStdString();
  EXPECT_EQ(r.ChannelCount, 3);
  EXPECT_EQ(form->MaskEditDateTime->text(), "02.03.2026 10:00:20");
  EXPECT_TRUE(form->WaveForm->windowTitle().startsWith("HIS 02.03.2026 10:00:20")) << form->WaveForm->windowTitle().toStdString();
  EXPECT_EQ(r.Samples[0], 200) << "second 20, channel Z";
  // Ten seconds shown: a step of seven.
  form->BtnNext->click();
  Settle();
  EXPECT_EQ(form->MaskEditDateTime->text(), "02.03.2026 10:00:27");
  EXPECT_TRUE(messages.isEmpty());
}

TEST_F(HistoryPanelTest, AMissingFileIsReportedAndAsciiExportsWhatIsShown) {
  form->BtnHistory->click();
  Settle();
  form->MaskEditDateTime->setText("02.03.2026 08:00:00");
  form->BtnPrevNextClick(THistoryStep::None);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].startsWith("No data file found. \"")) << messages[0].toStdString();

  form->MaskEditDateTime->setText("02.03.2026 10:00:05");
  form->BtnPrevNextClick(THistoryStep::None);
  ASSERT_TRUE(form->HistoryRecord().Valid);
  form->BtnASCIIHist->click();
  Settle();
  std::vector<std::string> exports;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir.Path("ASCII")))
    if (e.is_regular_file()) exports.push_back(e.path().string());
  ASSERT_EQ(exports.size(), 1u);
  form->close();  // the close sequence drains the log
  EXPECT_NE(ReadFile(dir.Path("velkor.log")).find("Sav: ASCII file saved: "), std::string::npos);
}

TEST_F(HistoryPanelTest, ExportMenuRunsTheChosenJobAndMarksItsItem) {
  form->AskHook = [](const QString&) { return false; };
  form->ExportClick(ExportMenuItem::DeleteBackUpFolder);
  EXPECT_FALSE(form->Action("MenuDeleteBackUp")->isChecked()) << "a No changes nothing";
  QString proposed;
  form->SaveFileHook = [&](const QString& p) {
    proposed = p;
    return QString::fromStdString(dir.Path("station-log"));
  };
  form->ExportClick(ExportMenuItem::LogFile);
  EXPECT_TRUE(proposed.startsWith(QString::fromStdString(dir.Dir())));
  EXPECT_TRUE(form->Action("MenuExportLog")->isChecked());
  form->close();  // waits for the export job
  EXPECT_TRUE(std::filesystem::exists(dir.Path("station-log.zip")));
}

}  // namespace

namespace {

// Ten seconds asked for from 10:00:20: the picture runs from that second to
// the tenth, and complete data have no errors.
TEST_F(HistoryPanelTest, PictureShowsTheRequestedSecondsFromTheRequestedStart) {
  form->BtnHistory->click();
  Settle();
  form->MaskEditDateTime->setText("02.03.2026 10:00:20");
  form->BtnPrevNextClick(THistoryStep::None);
  ASSERT_TRUE(form->HistoryRecord().Valid);
  const WaveformInput picture = form->WaveForm->CurrentPicture();
  const WaveformLayout layout = ComputeWaveformLayout(picture, form->WaveForm->width(),
                                                      form->WaveForm->height());
  ASSERT_EQ(layout.Count, static_cast<int64_t>(picture.Samples.size()));
  EXPECT_EQ(picture.Samples.front(), 200) << "first value drawn: second 20, channel Z";
  EXPECT_EQ(picture.Samples[picture.Samples.size() - 3], 290) << "last frame drawn: second 29";
  EXPECT_TRUE(form->WaveForm->windowTitle().endsWith(" Errors: 0"))
      << form->WaveForm->windowTitle().toStdString();
}

// A read that fails, or a date that cannot be, leaves picture, caption and field as they were.
TEST_F(HistoryPanelTest, AFailedReadOrAnImpossibleDateKeepsThePictureAndCaption) {
  form->BtnHistory->click();
  Settle();
  form->MaskEditDateTime->setText("02.03.2026 10:00:20");
  form->BtnPrevNextClick(THistoryStep::None);
  const QString caption = form->WaveForm->windowTitle();
  const auto samplesShown = [&] {
    const auto s = form->WaveForm->CurrentPicture().Samples;
    return std::vector<int32_t>(s.begin(), s.end());
  };
  const std::vector<int32_t> before = samplesShown();
  ASSERT_FALSE(before.empty());
  for (const char* typed : {"02.03.2026 08:00:00", "32.13.2026 25:61:00"}) {
    SCOPED_TRACE(typed);
    messages.clear();
    form->MaskEditDateTime->setText(typed);
    form->BtnPrevNextClick(THistoryStep::None);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(form->WaveForm->windowTitle(), caption);
    EXPECT_EQ(samplesShown(), before);
  }
  EXPECT_EQ(messages[0], "\"32.13.2026 25:61:00\" is not a valid date and time.");
}

TEST_F(HistoryPanelTest, WindowsAndTrayCarryTheIconAndTheFrameIsOnScreen) {
  ASSERT_NE(form->TrayIcon, nullptr);
  EXPECT_FALSE(form->TrayIcon->icon().isNull());
  EXPECT_FALSE(form->windowIcon().isNull());
  EXPECT_FALSE(form->WaveForm->windowIcon().isNull());
  const QRect screen = form->screen()->availableGeometry();
  EXPECT_TRUE(screen.contains(form->frameGeometry().topLeft()))
      << form->frameGeometry().top() << " above " << screen.top();
}

// Cancel and No start nothing and leave no mark; a backup folder that is the
// station directory is refused before the question.
TEST_F(HistoryPanelTest, ExportMarksStayOffAfterCancelAndTheStationIsNeverDeleted) {
  form->SaveFileHook = [](const QString&) { return QString(); };
  form->AskHook = [](const QString&) { return false; };
  for (const char* item : {"MenuExportLog", "MenuExportTriggers", "MenuExportLongTime"}) {
    form->Action(item)->trigger();
    EXPECT_FALSE(form->Action(item)->isChecked()) << item;
  }
  QString asked;
  form->AskHook = [&](const QString& q) {
    asked = q;
    return false;
  };
  form->Action("MenuDeleteBackUp")->trigger();
  EXPECT_FALSE(form->Action("MenuDeleteBackUp")->isChecked());
  EXPECT_TRUE(asked.startsWith("Do you really want to delete backup folder?\n\n" +
                               QString::fromStdString(dir.Path("Backup"))))
      << asked.toStdString();

  form->close();
  WriteFile(dir.Path("velkor.ini"), "[Common]\r\nIDStation=HIS\r\nBackUpDir=\r\n[Registration]\r\n"
                                    "Filter=\r\n[GPS]\r\nUpDateOn=0\r\n");
  StationController second(SimulatedStationOptions(dir, clock));
  TMainForm other(second);
  QStringList shown;
  bool questioned = false;
  other.MessageHook = [&](const QString& m) { shown << m; };
  other.AskHook = [&](const QString&) { return questioned = true; };
  other.FormCreate();
  other.Action("MenuDeleteBackUp")->trigger();
  EXPECT_FALSE(questioned);
  ASSERT_EQ(shown.size(), 1);
  EXPECT_TRUE(shown[0].contains("it is the station folder")) << shown[0].toStdString();
  other.close();
  EXPECT_TRUE(std::filesystem::exists(dir.Path("velkor.ini")));
  EXPECT_NE(ReadFile(dir.Path("velkor.log")).find("Err: The backup folder "), std::string::npos);
}

// Trigger mode: Next pages through the record shown, not through file names
// that cannot exist, and says so past the last trigger file.
TEST_F(HistoryPanelTest, TriggerModeNextPagesThroughTheRecord) {
  WriteHour(EncodeDateTime(2026, 3, 2, 10, 20, 0), 30, true);
  form->BtnHistory->click();
  Settle();
  form->MaskEditDateTime->setText("02.03.2026 10:20:00");
  form->ChkBoxTrigger->setChecked(true);  // reads the trigger file of that second
  ASSERT_TRUE(form->HistoryRecord().Valid) << messages.join("|").toStdString();
  for (const char* shown : {"02.03.2026 10:20:07", "02.03.2026 10:20:14", "02.03.2026 10:20:21"}) {
    form->BtnNext->click();
    EXPECT_EQ(form->MaskEditDateTime->text(), shown);
  }
  EXPECT_TRUE(messages.isEmpty()) << messages.join("|").toStdString();
  form->BtnNext->click();
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0], "No later trigger file.");
  EXPECT_EQ(form->MaskEditDateTime->text(), "02.03.2026 10:20:21");
}

}  // namespace
