// The history panel reading stored data, and the export menu.
#include "ui/history_panel.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <filesystem>

#include "station_window.h"
#include "storage/file_naming.h"
#include "storage/gse2.h"

namespace {

class HistoryPanelTest : public StationWindowTest {
 protected:
  std::string Ini() const override { return std::string("[Common]\r\nIDStation=HIS\r\n") + kQuietStationIni; }
  TDateTime Start() const override { return EncodeDateTime(2026, 3, 2, 10, 30, 0); }
  void SetUp() override {
    StationWindowTest::SetUp();
    WriteHour(EncodeDateTime(2026, 3, 2, 10, 0, 0), 60);
  }
  // `seconds` one-second segments of Z, N, E at 100 Hz: value = second × 10 + channel.
  void WriteHour(TDateTime start, int seconds, bool trigger = false) {
    const TProgParam& p = w->station.Params();
    const std::string name = trigger ? TriggerFileName(p, start) : ContinuousFileName(p, start);
    std::filesystem::create_directories(std::filesystem::path(name).parent_path());
    Gse2FileWriter out;
    ASSERT_TRUE(out.Open(name));
    for (int s = 0; s < seconds; ++s) {
      for (int c = 0; c < 3; ++c) {
        const Wid2Fields f{AddMs(start, 1000LL * s), "HIS", std::string("BH") + "ZNE"[c],
                           std::string(1, "ZNE"[c]), 100, 100, 1, "CMG-4T"};
        const std::vector<int32_t> v(100, s * 10 + c);
        ASSERT_TRUE(out.WriteBlock(f, v.data(), v.size(), 1));
      }
    }
    ASSERT_EQ(out.WriteStop(), 4);  // closed as it goes out of scope
  }
  THistoryPanel& History() { return *Form().PanelHistory; }
  void ReadAt(const char* typed) {
    History().MaskEditDateTime->setText(typed);
    History().BtnPrevNextClick(THistoryStep::None);
  }
  ArrayOfDataType SamplesShown() {
    const auto s = Form().WaveForm->CurrentPicture().Samples;
    return ArrayOfDataType(s.begin(), s.end());
  }
  QString Messages() const { return w->messages.join("|"); }
};

// Ten seconds from 10:00:20: the picture runs from that second to the tenth, complete data
// have no errors; Next steps three quarters, and ASCII exports what is shown.
TEST_F(HistoryPanelTest, PictureShowsTheRequestedSecondsAndNextStepsThreeQuarters) {
  Click(Form().BtnHistory);
  ReadAt("02.03.2026 10:00:20");
  const THistoryRecord& r = History().HistoryRecord();
  ASSERT_TRUE(r.Valid) << Messages().toStdString();
  EXPECT_EQ(History().MaskEditDateTime->text(), "02.03.2026 10:00:20");
  EXPECT_TRUE(w->Caption().startsWith("HIS 02.03.2026 10:00:20")) << w->Caption().toStdString();
  EXPECT_TRUE(w->Caption().endsWith(" Errors: 0")) << w->Caption().toStdString();
  const WaveformInput picture = Form().WaveForm->CurrentPicture();
  const WaveformLayout layout =
      ComputeWaveformLayout(picture, Form().WaveForm->width(), Form().WaveForm->height());
  ASSERT_EQ(layout.Count, static_cast<int64_t>(picture.Samples.size()));
  EXPECT_EQ(picture.Samples.front(), 200) << "first value drawn: second 20, channel Z";
  EXPECT_EQ(picture.Samples[picture.Samples.size() - 3], 290) << "last frame drawn: second 29";
  Click(History().BtnNext);
  EXPECT_EQ(History().MaskEditDateTime->text(), "02.03.2026 10:00:27");
  EXPECT_TRUE(w->messages.isEmpty());
  Click(History().BtnASCIIHist);
  std::vector<std::string> exports;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir.Path("ASCII")))
    if (e.is_regular_file()) exports.push_back(e.path().string());
  EXPECT_EQ(exports.size(), 1u);
  w.reset();  // the close sequence drains the log
  EXPECT_NE(ReadFile(dir.Path("velkor.log")).find("Sav: ASCII file saved: "), std::string::npos);
}

// A read that fails, or a date that cannot be, leaves picture, caption and field as they were.
TEST_F(HistoryPanelTest, AFailedReadOrAnImpossibleDateKeepsThePictureAndCaption) {
  Click(Form().BtnHistory);
  ReadAt("02.03.2026 10:00:20");
  const QString caption = w->Caption();
  const ArrayOfDataType before = SamplesShown();
  ASSERT_FALSE(before.empty());
  for (const char* typed : {"02.03.2026 08:00:00", "32.13.2026 25:61:00"}) {
    SCOPED_TRACE(typed);
    ReadAt(typed);
    EXPECT_EQ(w->Caption(), caption);
    EXPECT_EQ(SamplesShown(), before);
  }
  ASSERT_EQ(w->messages.size(), 2);
  EXPECT_TRUE(w->messages[0].startsWith("No data file found. \"")) << w->messages[0].toStdString();
  EXPECT_EQ(w->messages[1], "\"32.13.2026 25:61:00\" is not a valid date and time.");
}

// Trigger mode: Next pages through the record shown, not through file names
// that cannot exist.
TEST_F(HistoryPanelTest, TriggerModeNextPagesThroughTheRecord) {
  WriteHour(EncodeDateTime(2026, 3, 2, 10, 20, 0), 30, true);
  Click(Form().BtnHistory);
  History().MaskEditDateTime->setText("02.03.2026 10:20:00");
  History().ChkBoxTrigger->setChecked(true);  // reads the trigger file of that second
  ASSERT_TRUE(History().HistoryRecord().Valid) << Messages().toStdString();
  History().BtnNext->click();
  EXPECT_EQ(History().MaskEditDateTime->text(), "02.03.2026 10:20:07");
  EXPECT_TRUE(w->messages.isEmpty()) << Messages().toStdString();
}

// The chosen job runs and marks its item; Cancel and No start nothing and leave no mark.
TEST_F(HistoryPanelTest, ExportMenuMarksOnlyTheJobsThatRun) {
  Form().SaveFileHook = [](const QString&) { return QString(); };
  QString asked;
  Form().AskHook = [&](const QString& q) {
    asked = q;
    return false;
  };
  for (const char* item : {"MenuExportLog", "MenuExportTriggers", "MenuExportLongTime", "MenuDeleteBackUp"}) {
    Form().Action(item)->trigger();
    EXPECT_FALSE(Form().Action(item)->isChecked()) << item;
  }
  EXPECT_TRUE(asked.startsWith("Do you really want to delete backup folder?\n\n" +
                               QString::fromStdString(dir.Path("Backup"))))
      << asked.toStdString();
  QString proposed;
  Form().SaveFileHook = [&](const QString& p) {
    proposed = p;
    return QString::fromStdString(dir.Path("station-log"));
  };
  Form().ExportClick(ExportMenuItem::LogFile);
  EXPECT_TRUE(proposed.startsWith(QString::fromStdString(dir.Dir())));
  EXPECT_TRUE(Form().Action("MenuExportLog")->isChecked());
  w.reset();  // waits for the export job
  EXPECT_TRUE(std::filesystem::exists(dir.Path("station-log.zip")));
}

// A backup folder that is the station directory is refused before the question.
TEST_F(HistoryPanelTest, TheStationFolderIsNeverDeletedAsBackup) {
  w.reset();
  WriteFile(dir.Path("velkor.ini"), "[Common]\r\nIDStation=HIS\r\nBackUpDir=\r\n" + std::string(kQuietStationIni));
  w = std::make_unique<StationWindow>(dir, clock);
  bool questioned = false;
  Form().AskHook = [&](const QString&) { return questioned = true; };
  Form().Action("MenuDeleteBackUp")->trigger();
  EXPECT_FALSE(questioned);
  ASSERT_EQ(w->messages.size(), 1);
  EXPECT_TRUE(w->messages[0].contains("it is the station folder")) << w->messages[0].toStdString();
  w.reset();
  EXPECT_TRUE(std::filesystem::exists(dir.Path("velkor.ini")));
  EXPECT_NE(ReadFile(dir.Path("velkor.log")).find("Err: The backup folder "), std::string::npos);
}

}  // namespace
