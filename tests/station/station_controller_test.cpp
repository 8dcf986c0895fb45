// Start-up, close and the thread-finished notifications of the controller.
#include "station/station_rig.h"
#include "support/station_test_access.h"

namespace {

using StationTest = StationRig;

// The close runs once however it is asked: the end of the session logs the
// forced end and closes, a close or end of session after that writes nothing.
// A missing INI file is written with its defaults, an existing one is kept.
// Measuring is suspended and resumed on the way.
TEST_F(StationTest, StartAndCloseWriteTheLogLinesOnceAndTheMissingIniAndLogOffWritesNoLog) {
  auto s = Make("");
  // Suspended, no timer, a yellow lamp; resumed, the timer again.
  EXPECT_TRUE(s->TimerOn());
  s->MenuSuspendClick();
  EXPECT_FALSE(s->TimerOn());
  EXPECT_EQ(s->Lamps().Led(LedId::ADStatus).color, LedColor::Yellow);
  s->MenuSuspendClick();
  EXPECT_TRUE(s->TimerOn());
  clock.AdvanceMs(1500);
  s->WMEndSession();
  s->FormClose();
  s->WMEndSession();
  const auto all = CrLfLines(ReadFile(dir.Path("velkor.log")));
  ASSERT_GE(all.size(), 4u);
  // After the missing filter file's two lines.
  EXPECT_EQ(all[2], "15.01.2026 12:00:00.000 Inf: ****** S T A R T ****** (" VELKOR_VERSION ")");
  const std::string summary =
      "Inf: \"Kelta-16\" \"KM-16S1\" \"1\" \"English\" \"IDx\" \"" + dir.Dir() + "Data\" \"" +
      dir.Dir() + "Triggers\" \"" + dir.Dir() + "ASCII\" ";
  EXPECT_EQ(all[3].substr(24, summary.size()), summary);
  EXPECT_EQ(all[all.size() - 2], "15.01.2026 12:00:01.500 Inf: Windows shutdown... (forced end)");
  EXPECT_EQ(all.back(), "15.01.2026 12:00:01.500 Inf: ******** E N D ********");
  for (const char* once : {"Inf: ******** E N D", "Inf: Windows shutdown", "Inf: Measuring suspended.",
                           "Inf: Measuring reactivated."})
    EXPECT_EQ(Count(once), 1) << once;
  EXPECT_EQ(messages, std::vector<std::string>{"start 15.01.2026 12:00:00.000"});

  EXPECT_EQ(ReadFile(dir.Path("velkor.ini")), ReadFile(VELKOR_TEST_DATA "/../config/golden/default.ini"));
  // Kept as it is; with logging off, no log file.
  std::filesystem::remove(dir.Path("velkor.log"));
  const std::string quiet = std::string(kPlainIni) + "[Common]\r\nSaveLog=0\r\n";
  s = Make(quiet);
  s->FormClose();
  EXPECT_EQ(ReadFile(dir.Path("velkor.ini")), quiet);
  EXPECT_FALSE(std::filesystem::exists(dir.Path("velkor.log")));
}

TEST_F(StationTest, ExecutableNameDecidesFileNamesAndTitle) {
  struct Case { const char *exe, *title, *base; };  // base: of the INI, log and script file names
  for (const Case& c : {Case{"velkor-b", "velkor \"velkor-b\"", "velkor-b"},
                        // Only a three-letter extension is dropped.
                        Case{"velkor.north", "velkor \"velkor.north\"", "velkor.north"},
                        Case{"Velkor.exe", "velkor", "velkor"}, Case{"VELKOR", "velkor", "velkor"}}) {
    SCOPED_TRACE(c.exe);
    std::string title;
    ProgramFiles f;
    StationController::DeriveNames(c.exe, title, f);
    EXPECT_EQ(title, c.title);
    EXPECT_EQ(f.IniName + f.LogName + f.ScriptName,
              c.base + std::string(".ini") + c.base + ".log" + c.base + ".sh");
  }
  auto s = Make(kPlainIni, EncodeDateTime(2026, 1, 15, 12, 0, 0),
                [](StationOptions& o) { o.ExecutableName = "station2"; });
  s->FormClose();
  EXPECT_TRUE(std::filesystem::exists(dir.Path("station2.log")));
  EXPECT_TRUE(std::filesystem::exists(dir.Path("station2.ini")));
  EXPECT_FALSE(std::filesystem::exists(dir.Path("velkor.log")));
}

// Each code's log line (or silence), its lamp or field, and which counter it
// counts down.
TEST_F(StationTest, EachThreadFinishedCodeHasItsReaction) {
  // line: then " (77)", null: nothing logged; writeErr: the lamp afterwards, -1: left as it was.
  struct Case { int code; const char* line; int writeErr; InfoField field = InfoField::TimeTag; const char* text{}; };
  const Case cases[] = {
      {1, "GSM: SMS sent succesfully.", -1}, {2, "GSM: Error sending SMS.", -1},
      {3, "GSM: PIN is OK.", -1, InfoField::PIN, "OK"}, {4, "GSM: PIN error.", -1, InfoField::PIN, "Error"},
      {5, "GSM: Module activated succesfully.", -1}, {6, "GSM: Activation error.", -1},
      {7, "GSM: SIM not unlocked, module not activated.", -1},
      {0, "GSM: No signal or module error.", -1, InfoField::Signal, "N/A"},
      {-45, "GSM: Signal intensity: 45%", -1, InfoField::Signal, "45%"},
      {11, nullptr, 0}, {13, nullptr, 0}, {15, nullptr, 0}, {17, nullptr, 0}, {31, nullptr, 0},
      {12, nullptr, 1}, {14, nullptr, 1}, {16, nullptr, 1}, {18, nullptr, 1}, {32, nullptr, 1},
      {19, "Msg: Script file run succesfuly.", -1}, {20, "Msg: Script file run error.", -1},
      {92, "Inf: Log-file export finished.", -1}, {93, "Inf: Zip-export done.", -1},
      {94, "Inf: BackUp folder deleted.", -1},
      {90, nullptr, -1}, {91, nullptr, -1}, {99, nullptr, -1}, {50, nullptr, -1},
  };
  auto s = Make();
  const StationState& st = s->State();
  // A counter at 0 stays at 0.
  s->WMThreadFinished(31, 1);
  EXPECT_EQ(st.PendingSaveThreads.load(), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    for (bool lampBefore : {false, true}) {
      if (c.writeErr == lampBefore) continue;  // a lamp already as the code leaves it
      s->SetLed(LedId::WriteErr, lampBefore);
      lines.clear();
      const int32_t pending = st.PendingThreads.load(), pendingSave = st.PendingSaveThreads.load();
      s->WorkerStarting(c.code == 31 || c.code == 32);
      s->WMThreadFinished(c.code, 77);
      // Counted down where it was counted; a logged line is a job of its own.
      EXPECT_EQ(st.PendingThreads.load(), pending + (c.line ? 1 : 0));
      EXPECT_EQ(st.PendingSaveThreads.load(), pendingSave);
      EXPECT_EQ(lines, c.line ? std::vector<std::string>{c.line + std::string(" (77)")}
                              : std::vector<std::string>{});
      EXPECT_EQ(s->Lamps().Led(LedId::WriteErr).on, c.writeErr < 0 ? lampBefore : c.writeErr == 1);
      if (c.text) { EXPECT_EQ(s->Lamps().Field(c.field), c.text); }
    }
  }
  s->FormClose();
}

TEST_F(StationTest, RestartOnlyAfterThirtyEmptySavesWithoutConverter) {
  for (int empties : {29, 30}) {
    RecordingRestarter r;
    std::filesystem::remove(dir.Path("velkor.log"));
    auto s = Make(kPlainIni, EncodeDateTime(2026, 1, 15, 12, 0, 0), [&](StationOptions& o) { o.restarter = &r; });
    StationTestAccess::State(*s).EmptySaveCount = empties;
    s->FormClose();
    const auto m = Messages();
    EXPECT_EQ(r.Count(), empties == 30 ? 1 : 0);
    const int at = IndexOfPrefix(m, "Inf: rebooting...");
    EXPECT_EQ(at >= 0, empties == 30);
    // Nothing of the close sequence is written before it.
    if (at >= 0) { EXPECT_EQ(IndexOfPrefix(m, "Inf: ******** E N D"), static_cast<int>(m.size()) - 1); }
  }
}

// A port that does not open halts the station with a box and the system's
// reason in the log; the close still ends the log.
TEST_F(StationTest, PortThatCannotOpenHaltsButCloseStillEnds) {
  const std::string reason =
      "The filter file \"missing.txt\" is missing, empty or holds a line that is not a number.";
  // boxes: the port's box last; first: the first lines logged.
  struct Case { const char* name; std::string ini; std::vector<std::string> boxes, first; };
  for (const Case& c :
       {Case{"gps", "[Registration]\r\nFilter=missing.txt\r\n[GPS]\r\nUpDateOn=1\r\nPort=/nonexistent/tty\r\n",
             {"Err: Error loading filter file.\n" + reason, "GPS: Error opening port."},
             {"Err: Error loading filter file.", "Err: " + reason}},
        Case{"gsm", std::string(kPlainIni) + "[Communication]\r\nSendSMS=1\r\n[GSM]\r\nPIN=1234\r\n"
                      "SMScentrum=+420123456789\r\nPort=/nonexistent/tty\r\n",
             {"GSM: Error opening port."}, {}}}) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(dir.Path("velkor.log"));
    boxes.clear();
    auto s = Make(c.ini);
    EXPECT_FALSE(s->TimerOn());
    EXPECT_TRUE(s->State().HaltRequested);
    EXPECT_EQ(boxes, c.boxes);
    s->FormClose();
    const auto m = Messages();
    const int at = IndexOfPrefix(m, c.boxes.back());
    ASSERT_GE(at, 0);
    EXPECT_EQ(m.at(at + 1), "Err: /nonexistent/tty: No such file or directory");
    EXPECT_EQ(m.back(), "Inf: ******** E N D ********");
    // A filter error comes first, with its reason on a second line.
    EXPECT_EQ(std::vector<std::string>(m.begin(), m.begin() + c.first.size()), c.first);
  }
}

TEST_F(StationTest, OffsetsAreSavedAtCloseOrDeletedWhenNotKept) {
  // The offsets file is used only when younger than three hours by the file's own time.
  auto s = Make(kPlainIni, UnixMsToDateTime(SystemClock().NowUnixMs()));
  StationTestAccess::State(*s).Offsets = {12, -3, 0, 0, 0, 0, 0, 7};
  s->FormClose();
  EXPECT_EQ(ReadFile(dir.Path("offsets.bin")), "12\r\n-3\r\n0\r\n0\r\n0\r\n0\r\n0\r\n7");
  s = Make(kPlainIni, UnixMsToDateTime(SystemClock().NowUnixMs()));
  EXPECT_EQ(s->State().Offsets, (ArrayOfDataType{12, -3, 0, 0, 0, 0, 0, 7}));
  const ArrayOfDataType& raw = s->State().RawBuffer;
  EXPECT_EQ((ArrayOfDataType{raw[1], raw[8], raw[15]}), (ArrayOfDataType{-3, 12, 7}));
  s->ApplySavedParameters(false);
  s->FormClose();
  EXPECT_FALSE(std::filesystem::exists(dir.Path("offsets.bin")));
}

}  // namespace
