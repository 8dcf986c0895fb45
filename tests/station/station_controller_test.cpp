#include "station/station_controller.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <regex>

#include "support/station_test_access.h"
#include "support/temp_dir.h"

namespace {

const char* const kNoGps = "[Registration]\r\nFilter=\r\n[GPS]\r\nUpDateOn=0\r\n";

class StationTest : public ::testing::Test {
 protected:
  void SetUp() override { clock.Set(EncodeDateTime(2026, 1, 15, 12, 0, 0)); }

  std::unique_ptr<StationController> Make(const std::string& exe = "velkor") {
    StationOptions o;
    o.ProgramDir = dir.Dir();
    o.ExecutableName = exe;
    o.clock = &clock;
    o.clockSetter = &setter;
    o.restarter = &restarter;
    o.simulated = true;
    o.converterSeed = 7;
    auto s = std::make_unique<StationController>(o);
    QObject::connect(s.get(), &StationController::messageDispatched,
                     [this](const std::string& t) { messages.push_back(t); });
    return s;
  }
  std::vector<std::string> LogLines(const std::string& name = "velkor.log") {
    return CrLfLines(ReadFile(dir.Path(name)));
  }
  // The message part of each log line, after the 23-character timestamp and its blank.
  std::vector<std::string> Messages(const std::string& name = "velkor.log") {
    std::vector<std::string> out;
    for (const auto& l : LogLines(name)) out.push_back(l.size() > 24 ? l.substr(24) : l);
    return out;
  }
  static bool Has(const std::vector<std::string>& v, const std::string& prefix) {
    for (const auto& s : v)
      if (s.rfind(prefix, 0) == 0) return true;
    return false;
  }
  static int Count(const std::vector<std::string>& v, const std::string& text) {
    int n = 0;
    for (const auto& s : v) n += s == text;
    return n;
  }

  TempDir dir;
  ManualClock clock;
  RecordingClockSetter setter;
  RecordingRestarter restarter;
  std::vector<std::string> messages;
};

TEST_F(StationTest, StartAndCloseWriteStartSummaryAndEndLinesInLogFormat) {
  WriteFile(dir.Path("velkor.ini"), kNoGps);
  auto s = Make();
  s->FormCreate();
  clock.AdvanceMs(1500);
  s->FormClose();
  const std::string raw = ReadFile(dir.Path("velkor.log"));
  ASSERT_GE(raw.size(), 2u);
  EXPECT_EQ(raw.substr(raw.size() - 2), "\r\n");
  const auto lines = LogLines();
  ASSERT_GE(lines.size(), 3u);
  const std::regex stamp(R"(^\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\.\d{3} .*)");
  for (const auto& l : lines) EXPECT_TRUE(std::regex_match(l, stamp)) << l;
  EXPECT_EQ(lines[0], "15.01.2026 12:00:00.000 Inf: ****** S T A R T ****** (" VELKOR_VERSION ")");
  const std::string summary =
      "Inf: \"Kelta-16\" \"KM-16S1\" \"1\" \"English\" \"IDx\" \"" + dir.Dir() + "Data\" \"" +
      dir.Dir() + "Triggers\" \"" + dir.Dir() + "ASCII\" ";
  EXPECT_EQ(lines[1].substr(24, summary.size()), summary);
  EXPECT_EQ(lines.back(), "15.01.2026 12:00:01.500 Inf: ******** E N D ********");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "start 15.01.2026 12:00:00.000");
}

TEST_F(StationTest, MissingIniIsCreatedAtCloseAndAnExistingOneIsKept) {
  {
    auto s = Make();
    s->FormCreate();
    EXPECT_FALSE(std::filesystem::exists(dir.Path("velkor.ini")));
    s->FormClose();
  }
  const std::string ini = ReadFile(dir.Path("velkor.ini"));
  std::vector<std::string> sections;
  for (const auto& l : CrLfLines(ini))
    if (!l.empty() && l[0] == '[') sections.push_back(l);
  EXPECT_EQ(sections, (std::vector<std::string>{"[Converter]", "[Seismograph]", "[Common]",
                                                "[Sensor]", "[Averages]", "[Limits]", "[ADcard]",
                                                "[Registration]", "[Triggers]", "[Communication]",
                                                "[Internet]", "[GSM]", "[GPS]", "[MiniSEED]",
                                                "[SeedLink]"}));
  // An empty line closes every section but the last.
  EXPECT_NE(ini.find("\r\n\r\n[GPS]\r\n"), std::string::npos);
  EXPECT_NE(ini.find("\r\n\r\n[SeedLink]\r\n"), std::string::npos);
  EXPECT_EQ(ini.find("\r\n\r\n", ini.find("[SeedLink]")), std::string::npos);

  WriteFile(dir.Path("velkor.ini"), kNoGps);
  {
    auto s = Make();
    s->FormCreate();
    s->FormClose();
  }
  EXPECT_EQ(ReadFile(dir.Path("velkor.ini")), kNoGps);
}

TEST_F(StationTest, SecondCloseAndEndOfSessionAfterCloseDoNothing) {
  WriteFile(dir.Path("velkor.ini"), kNoGps);
  auto s = Make();
  s->FormCreate();
  s->FormClose();
  s->FormClose();
  s->WMEndSession();
  const auto m = Messages();
  EXPECT_EQ(Count(m, "Inf: ******** E N D ********"), 1);
  EXPECT_FALSE(Has(m, "Inf: Windows shutdown"));
}

TEST_F(StationTest, EndOfSessionLogsForcedEndThenCloses) {
  WriteFile(dir.Path("velkor.ini"), kNoGps);
  auto s = Make();
  s->FormCreate();
  s->WMEndSession();
  const auto m = Messages();
  ASSERT_GE(m.size(), 2u);
  EXPECT_EQ(m[m.size() - 2], "Inf: Windows shutdown... (forced end)");
  EXPECT_EQ(m.back(), "Inf: ******** E N D ********");
}

TEST_F(StationTest, ExecutableNameDecidesFileNamesAndTitle) {
  std::string title;
  ProgramFiles f;
  StationController::DeriveNames("velkor-b", title, f);
  EXPECT_EQ(title, "velkor \"velkor-b\"");
  EXPECT_EQ(f.IniName, "velkor-b.ini");
  EXPECT_EQ(f.LogName, "velkor-b.log");
  StationController::DeriveNames("velkor.north", title, f);
  EXPECT_EQ(f.IniName, "velkor.north.ini") << "only a three-letter extension is dropped";
  StationController::DeriveNames("Velkor.exe", title, f);
  EXPECT_EQ(title, "velkor");
  EXPECT_EQ(f.IniName, "velkor.ini");
  StationController::DeriveNames("VELKOR", title, f);
  EXPECT_EQ(title, "velkor");
  EXPECT_EQ(f.IniName, "velkor.ini");
  EXPECT_EQ(f.LogName, "velkor.log");

  WriteFile(dir.Path("station2.ini"), kNoGps);
  auto s = Make("station2");
  s->FormCreate();
  s->FormClose();
  EXPECT_TRUE(std::filesystem::exists(dir.Path("station2.log")));
  EXPECT_FALSE(std::filesystem::exists(dir.Path("velkor.log")));
  EXPECT_EQ(s->Caption(), "velkor \"station2\" (" + StationController::ConverterModelText() + ")");
}

TEST_F(StationTest, ThreadFinishedCodesDriveLampsFieldsAndCounters) {
  WriteFile(dir.Path("velkor.ini"), "[GPS]\r\nUpDateOn=0\r\n[Common]\r\nSaveLog=0\r\n");
  auto s = Make();
  s->FormCreate();
  const StationState& st = s->State();
  ASSERT_EQ(st.PendingThreads.load(), 0);
  s->WMThreadFinished(0, 1);
  EXPECT_EQ(st.PendingThreads.load(), 0) << "a counter at 0 stays at 0";
  EXPECT_EQ(s->Lamps().Field(InfoField::Signal), "N/A");
  s->WMThreadFinished(-45, 1);
  EXPECT_EQ(s->Lamps().Field(InfoField::Signal), "45%");
  s->WMThreadFinished(4, 1);
  EXPECT_EQ(s->Lamps().Field(InfoField::PIN), "Error");
  s->WMThreadFinished(3, 1);
  EXPECT_EQ(s->Lamps().Field(InfoField::PIN), "OK");

  s->WorkerStarting(true);
  s->WorkerStarting(false);
  s->WMThreadFinished(32, 9);
  EXPECT_TRUE(s->Lamps().Led(LedId::WriteErr).on);
  EXPECT_EQ(st.PendingSaveThreads.load(), 0);
  EXPECT_EQ(st.PendingThreads.load(), 1);
  s->WMThreadFinished(11, 9);
  EXPECT_FALSE(s->Lamps().Led(LedId::WriteErr).on);
  EXPECT_EQ(st.PendingThreads.load(), 0);
  s->FormClose();
  EXPECT_FALSE(std::filesystem::exists(dir.Path("velkor.log"))) << "SaveLog off writes no file";
}

TEST_F(StationTest, ThreadFinishedLogTextsCarryTheThreadId) {
  WriteFile(dir.Path("velkor.ini"), kNoGps);
  auto s = Make();
  s->FormCreate();
  for (int code : {1, 2, 5, 6, 19, 20, 92, 93, 94, -7}) s->WMThreadFinished(code, 77);
  s->FormClose();
  const auto m = Messages();
  for (const char* text :
       {"GSM: SMS sent succesfully. (77)", "GSM: Error sending SMS. (77)",
        "GSM: Module activated succesfully. (77)", "GSM: Activation error. (77)",
        "Msg: Script file run succesfuly. (77)", "Msg: Script file run error. (77)",
        "Inf: Log-file export finished. (77)", "Inf: Zip-export done. (77)",
        "Inf: BackUp folder deleted. (77)", "GSM: Signal intensity: 7% (77)"})
    EXPECT_EQ(Count(m, text), 1) << text;
}

TEST_F(StationTest, UnwritableLogReportsFailureAndLightsWriteError) {
  WriteFile(dir.Path("velkor.ini"), kNoGps);
  std::filesystem::create_directory(dir.Path("velkor.log"));  // cannot be opened as a file
  auto s = Make();
  s->FormCreate();
  // Close waits for every log line's report, so all failures have arrived.
  s->FormClose();
  QCoreApplication::processEvents();
  EXPECT_TRUE(s->Lamps().Led(LedId::WriteErr).on);
}

TEST_F(StationTest, RestartOnlyAfterThirtyEmptySavesWithoutConverter) {
  WriteFile(dir.Path("velkor.ini"), kNoGps);
  for (int empties : {29, 30}) {
    RecordingRestarter r;
    StationOptions o;
    o.ProgramDir = dir.Dir();
    o.clock = &clock;
    o.restarter = &r;
    o.simulated = true;
    std::filesystem::remove(dir.Path("velkor.log"));
    StationController s(o);
    s.FormCreate();
    StationTestAccess::State(s).EmptySaveCount = empties;
    s.FormClose();
    const auto m = Messages();
    EXPECT_EQ(r.Count(), empties == 30 ? 1 : 0);
    EXPECT_EQ(Has(m, "Inf: rebooting..."), empties == 30);
    if (empties == 30) {
      // Nothing of the close sequence is written before it.
      const auto it = std::find(m.begin(), m.end(), "Inf: rebooting...");
      EXPECT_EQ(std::count(it, m.end(), "Inf: ******** E N D ********"), 1);
    }
  }
}

TEST_F(StationTest, SuspendStopsTheTimerAndResumeRestartsIt) {
  WriteFile(dir.Path("velkor.ini"), kNoGps);
  auto s = Make();
  s->FormCreate();
  EXPECT_TRUE(s->TimerOn());
  s->MenuSuspendClick();
  EXPECT_FALSE(s->TimerOn());
  EXPECT_EQ(s->Lamps().Led(LedId::ADStatus).color, LedColor::Yellow);
  s->MenuSuspendClick();
  EXPECT_TRUE(s->TimerOn());
  s->FormClose();
  const auto m = Messages();
  EXPECT_EQ(Count(m, "Inf: Measuring suspended."), 1);
  EXPECT_EQ(Count(m, "Inf: Measuring reactivated."), 1);
}

TEST_F(StationTest, GpsPortThatCannotOpenHaltsButCloseStillEnds) {
  WriteFile(dir.Path("velkor.ini"),
            "[Registration]\r\nFilter=missing.txt\r\n[GPS]\r\nUpDateOn=1\r\nPort=/nonexistent/tty\r\n");
  auto s = Make();
  std::vector<std::string> boxes;
  QObject::connect(s.get(), &StationController::messageBox,
                   [&](const std::string& t) { boxes.push_back(t); });
  s->FormCreate();
  EXPECT_FALSE(s->TimerOn());
  EXPECT_TRUE(s->State().HaltRequested);
  // The filter error is shown first, with its reason on a second line, then the port.
  const std::string reason =
      "The filter file \"missing.txt\" is missing, empty or holds a line that is not a number.";
  EXPECT_EQ(boxes, (std::vector<std::string>{"Err: Error loading filter file.\n" + reason,
                                             "GPS: Error opening port."}));
  s->FormClose();
  const auto m = Messages();
  EXPECT_TRUE(Has(m, "GPS: Error opening port."));
  EXPECT_EQ(m[0], "Err: Error loading filter file.");
  EXPECT_EQ(m[1], "Err: " + reason);
  EXPECT_TRUE(Has(m, "Tim: Waiting for valid time..."));
  EXPECT_EQ(m.back(), "Inf: ******** E N D ********");
}

TEST_F(StationTest, GsmPortThatCannotOpenHaltsTheStation) {
  WriteFile(dir.Path("velkor.ini"),
            std::string(kNoGps) + "[Communication]\r\nSendSMS=1\r\n[GSM]\r\nPIN=1234\r\n"
                                  "SMScentrum=+420123456789\r\nPort=/nonexistent/modem\r\n");
  auto s = Make();
  s->FormCreate();
  EXPECT_TRUE(s->Params().SendSMS);
  EXPECT_TRUE(s->GsmControlsEnabled());
  EXPECT_FALSE(s->TimerOn());
  s->FormClose();
  const auto m = Messages();
  EXPECT_TRUE(Has(m, "GSM: Error opening port."));
  EXPECT_EQ(m.back(), "Inf: ******** E N D ********");
}

TEST_F(StationTest, OffsetsAreSavedAtCloseOrDeletedWhenNotKept) {
  // The offsets file is used only when younger than three hours by the file's own time.
  clock.SetUnixMs(SystemClock().NowUnixMs());
  WriteFile(dir.Path("velkor.ini"), kNoGps);
  {
    auto s = Make();
    s->FormCreate();
    StationTestAccess::State(*s).Offsets = {12, -3, 0, 0, 0, 0, 0, 7};
    s->FormClose();
  }
  EXPECT_EQ(ReadFile(dir.Path("offsets.bin")), "12\r\n-3\r\n0\r\n0\r\n0\r\n0\r\n0\r\n7");
  {
    auto s = Make();
    s->FormCreate();
    EXPECT_EQ(s->State().Offsets, (ArrayOfDataType{12, -3, 0, 0, 0, 0, 0, 7}));
    EXPECT_EQ(s->State().RawBuffer[1], -3);
    EXPECT_EQ(s->State().RawBuffer[8], 12);
    EXPECT_EQ(s->State().RawBuffer[15], 7);
    s->ApplySavedParameters(false);
    s->FormClose();
  }
  EXPECT_FALSE(std::filesystem::exists(dir.Path("offsets.bin")));
}

}  // namespace
