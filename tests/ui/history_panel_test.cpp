// The history panel of the main window reading stored continuous data.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QAction>
#include <QLineEdit>
#include <QPushButton>

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
  void WriteHour(TDateTime start, int seconds) {
    const std::string name = ContinuousFileName(station->Params(), start);
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
