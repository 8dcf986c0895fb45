#include "config/loadini.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// Written by hand from the file layout (golden/default.ini: 13 sections in order, CR LF lines,
// an empty line after every section but the last); golden/every_key_changed.ini holds no key
// at its default and every value survives loading unchanged, so any key that is not read, not
// written or written differently shows.
std::string Golden(const std::string& name) {
  return ReadFile((fs::path(VELKOR_TEST_DATA).parent_path() / "config" / "golden" / name).string());
}

class LoadIniTest : public ::testing::Test {
 protected:
  LoadIniTest() {
    files.ProgramDir = dir.Dir();
    WriteFile(dir.Path("cosinus.txt"), "1\r\n2\r\n1\r\n");
  }
  int Load(const std::string& text, LoadNotes* notes = nullptr) {
    WriteFile(ini, text);
    return LoadParams(P, files, notes);
  }
  TempDir dir;
  const std::string ini = dir.Path("velkor.ini");
  ProgramFiles files;
  TProgParam P;
};

TEST_F(LoadIniTest, DefaultFileHasTheExactLayoutLoadsLikeNoFileAndNeverOverwrites) {
  ASSERT_EQ(LoadParams(P, files), kLoadOk);
  const std::string without = ParamsToText(P);
  ASSERT_TRUE(WriteDefaultIni(files));
  EXPECT_EQ(ReadFile(ini), Golden("default.ini"));
  EXPECT_FALSE(fs::exists(ini + ".tmp"));
  ASSERT_EQ(LoadParams(P, files), kLoadOk);
  EXPECT_EQ(ParamsToText(P), without);
  WriteFile(ini, "[GPS]\r\nPort=COM5\r\n");
  EXPECT_TRUE(WriteDefaultIni(files));
  EXPECT_EQ(ReadFile(ini), "[GPS]\r\nPort=COM5\r\n");
}

TEST_F(LoadIniTest, NoFileGivesDefaultsWithDirectoriesUnderTheProgramDirectory) {
  ASSERT_EQ(LoadParams(P, files), kLoadOk);
  const std::string d = dir.Dir();
  EXPECT_EQ(P.BackupDir, d + "Backup/");
  EXPECT_EQ(P.PPSChannel, 6);
  EXPECT_EQ(P.AlarmChannel, 0);
  EXPECT_FALSE(P.SendSMS);
  EXPECT_EQ(P.Filter.Coefs, (ArrayOfReal{0.25, 0.5, 0.25}));
  EXPECT_EQ(P.PPSLevel, kInitialPPSLevel);
  EXPECT_EQ(P.PPSPeak, kInitialPPSLevel);
  EXPECT_EQ(P.TestMsg, "Test...");
  EXPECT_EQ(P.GSM.EmailGateAddr, "station*example.com");
  EXPECT_TRUE(P.GSM.EmailGateOn);
  EXPECT_EQ(P.LogFile, d + "velkor.log");
  EXPECT_EQ(P.ScriptFile, d + "velkor.sh");
  EXPECT_EQ(P.HelpFile, d + "docs/manual.html");
  EXPECT_EQ(P.ScriptOptions, "//B //Nologo //T:60");
  EXPECT_EQ(P.SeedLink.Port, 18000);
  EXPECT_TRUE(P.MiniSEED.Archive);
  EXPECT_EQ(P.MiniSEED.ArchiveDir, d + "SDS/");
  EXPECT_EQ(P.MiniSEED.Network, "XX");
}

TEST_F(LoadIniTest, SummaryListsEveryValueInOrder) {
  LoadParams(P, files);
  P.GSM.TelNum = {"+420123456789", "", "777"};
  const std::string d = dir.Dir();
  EXPECT_EQ(ParamsToText(P),
            R"("Kelta-16" "KM-16S1" "1" "English" "IDx" ")" + d + R"(Data" ")" + d + R"(Triggers" ")" + d +
                R"(ASCII" "1" "0" "0" "1" "0" "AIN0=1" "AIN1=1" "AIN2=1" "AIN3=1" "AIN4=1" "AIN5=1" "AIN6=1" )"
                R"("AIN7=1" "AVG0=0" "AVG1=0" "AVG2=0" "AVG3=0" "AVG4=0" "AVG5=0" "AVG6=0" "AVG7=0" "1" "0" )"
                R"("1000" "10" "1" "CMG-4T" "" "BHZ" "BHN" "BHE" "0" "1" "cosinus.txt" "1" "1" "1" "0" "20" )"
                R"("40" "0.5" "800" "550" "6:15" "start" "active" "0" "0" "0" "32000" "" "" )"
                R"("station@example.com" "COM2" "19200" "" "1" "0" "0" "+420123456789" "" "777" )"
                R"("+420000000000" "#" "+420000000001" "COM1" "9600" "0" "DSR" "1" "0" "0" "45" "1" "1")");
}

template <class... T>
std::vector<long long> Ints(T... v) {
  return {static_cast<long long>(v)...};
}

// A few keys in an otherwise empty file, and what loading makes of them.
struct KeyCase {
  const char* legend;
  const char* ini;
  std::function<void(const TProgParam&, const std::string& programDir)> check;
  int result = kLoadOk;
};

class KeyRuleTest : public LoadIniTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(KeyRuleTest, Loads) {
  EXPECT_EQ(Load(GetParam().ini), GetParam().result);
  GetParam().check(P, dir.Dir());
}

const KeyCase kKeyCases[] = {
    {"DirectoryRules", "[Common]\r\nBackUpDir=Old\r\nDataDir=/srv/seis\r\nTrigDir=Seis\\Trig\\\r\nASCIIDir=\r\n",
     [](auto& p, auto& d) {
       EXPECT_EQ(p.BackupDir, d + "Old/");  // written BackUpDir, read BackupDir
       EXPECT_EQ(p.DataDir, "/srv/seis/");
       EXPECT_EQ(p.TrigDir, d + "Seis/Trig/");
       EXPECT_EQ(p.ASCIIDir, d);
     }},
    {"TriggerSpanAbove50Cut", "[Triggers]\r\nPredTime=120\r\nPostTime=51\r\n",
     [](auto& p, auto&) { EXPECT_EQ(Ints(p.PredTime, p.PostTime), Ints(50, 50)); }},
    {"NegativeTriggerSpanCutToZeroAndPostTimeToOne", "[Triggers]\r\nPredTime=-5\r\nPostTime=-1\r\n",
     [](auto& p, auto&) { EXPECT_EQ(Ints(p.PredTime, p.PostTime), Ints(0, 1)); }},
    // A record must hold at least one second after the event.
    {"PostTimeZeroIsOne", "[Triggers]\r\nPostTime=0\r\n", [](auto& p, auto&) { EXPECT_EQ(p.PostTime, 1); }},
    {"TriggerTimesNotNumbers", "[Triggers]\r\nPredTime=x\r\nPostTime=\r\nSTAlength=0,7\r\n", [](auto& p, auto&) {
       EXPECT_EQ(Ints(p.PredTime, p.PostTime), Ints(20, 40));
       EXPECT_EQ(p.STAlength, 0.5);
     }},
    {"TCPIPportBelowRange", "[Communication]\r\nTCPIPport=80\r\n",
     [](auto& p, auto&) { EXPECT_EQ(p.TCPIPport, 32000); }},
    {"TCPIPportAboveRange", "[Communication]\r\nTCPIPport=70000\r\n",
     [](auto& p, auto&) { EXPECT_EQ(p.TCPIPport, 32000); }},
    {"TCPIPportEdgeKept", "[Communication]\r\nTCPIPport=1024\r\n",
     [](auto& p, auto&) { EXPECT_EQ(p.TCPIPport, 1024); }},
    {"EmailAddrLowerCased", "[Internet]\r\nEmailAddr=Seis.Station@Example.COM\r\n", [](auto& p, auto&) {
       EXPECT_EQ(p.EmailAddr, "seis.station@example.com");
       EXPECT_EQ(p.GSM.EmailGateAddr, "seis.station*example.com");
       EXPECT_TRUE(p.GSM.EmailGateOn);
     }},
    {"EmailAddrWithoutAtEmptied", "[Internet]\r\nEmailAddr=nobody.example.com\r\n", [](auto& p, auto&) {
       EXPECT_EQ(p.EmailAddr + p.GSM.EmailGateAddr, "");
       EXPECT_FALSE(p.GSM.EmailGateOn);
     }},
    {"NoGatewayNoGatewayAddress", "[GSM]\r\nEmailGate=\r\n", [](auto& p, auto&) {
       EXPECT_EQ(p.GSM.EmailGateAddr, "");
       EXPECT_FALSE(p.GSM.EmailGateOn);
     }},
    {"TriggerMinuteStarEmptied", "[Communication]\r\nTriggerMinute=*\r\n",
     [](auto& p, auto&) { EXPECT_EQ(p.TriggerMinute, ""); }},
    {"TelephoneNumbers", "[GSM]\r\nTelNum0=12a\r\nTelNum1=5\r\nTelNum2=+123456789\r\n",
     [](auto& p, auto&) { EXPECT_EQ(p.GSM.TelNum, (TArrayOfString{"", "", "+123456789"})); }},
    {"EmailIndicatorTwoLettersGetABlank", "[GSM]\r\nEmailIndicator=EM\r\n",
     [](auto& p, auto&) { EXPECT_EQ(p.GSM.EmailIndicator, "EM "); }},
    {"SendSMSWithoutPINOff", "[Communication]\r\nSendSMS=1\r\n[GSM]\r\nPIN=\r\nSMScentrum=+420602909909\r\n",
     [](auto& p, auto&) { EXPECT_FALSE(p.SendSMS); }},
    {"SendSMSWithBadCentreOff", "[Communication]\r\nSendSMS=1\r\n[GSM]\r\nPIN=1234\r\nSMScentrum=centre\r\n",
     [](auto& p, auto&) { EXPECT_FALSE(p.SendSMS); }},
    {"SendSMSWithPINAndCentreOn", "[Communication]\r\nSendSMS=1\r\n[GSM]\r\nPIN=1234\r\nSMScentrum=+420602909909\r\n",
     [](auto& p, auto&) { EXPECT_TRUE(p.SendSMS); }},
    {"EmailWinsOverSMS",
     "[Communication]\r\nSendSMS=1\r\nSendEmail=1\r\n[GSM]\r\nPIN=1234\r\nSMScentrum=+420602909909\r\n",
     [](auto& p, auto&) { EXPECT_EQ(Ints(p.SendSMS, p.SendEmail), Ints(false, true)); }},
    {"IntervalAndMaxDiffZeroGive45", "[GPS]\r\nInterval=0\r\nMaxDiff=0\r\n",
     [](auto& p, auto&) { EXPECT_EQ(p.GPS.MaxDiff, 45); }},
    {"MaxDiffZeroKeptWithInterval", "[GPS]\r\nInterval=10\r\nMaxDiff=0\r\n",
     [](auto& p, auto&) { EXPECT_EQ(Ints(p.GPS.Interval, p.GPS.MaxDiff), Ints(10, 0)); }},
    {"MaxDiffNotANumberIsZero", "[GPS]\r\nInterval=10\r\nMaxDiff=abc\r\n",
     [](auto& p, auto&) { EXPECT_EQ(p.GPS.MaxDiff, 0); }},
    {"PPSLowerCase", "[GPS]\r\nPPS=cts\r\n", [](auto& p, auto&) { EXPECT_EQ(p.GPS.PPS, kSignalCTS); }},
    {"UpDateOffForcesNoWaitForSync", "[Registration]\r\nWaitForSync=1\r\n[GPS]\r\nUpDateOn=0\r\n",
     [](auto& p, auto&) { EXPECT_FALSE(p.WaitForSync); }},
    {"AlarmOnUsesChannel7", "[Common]\r\nAlarmOn=1\r\n", [](auto& p, auto&) { EXPECT_EQ(p.AlarmChannel, 7); }},
    {"PartialLoadPPSOnChannel3AndNoDoubleSensitivity", "[ADcard]\r\nFullLoad=0\r\nDoubleSensitivity=1\r\n",
     [](auto& p, auto&) { EXPECT_EQ(Ints(p.PPSChannel, p.DoubleSensitivity), Ints(3, false)); }},
    {"AllChannelsForcesSaveGPS", "[Registration]\r\nAllChannels=1\r\nSaveGPS=0\r\n",
     [](auto& p, auto&) { EXPECT_TRUE(p.SaveGPS); }},
    {"BooleanOnlyOneIsTrue", "[Common]\r\nSaveLog=yes\r\nSeparateDirectory=true\r\n",
     [](auto& p, auto&) { EXPECT_EQ(Ints(p.SaveLog, p.SeparateDirectory), Ints(false, false)); }},
    {"SendTimeHour25IsDefault", "[Communication]\r\nSendTime=25:00\r\n",
     [](auto& p, auto&) { EXPECT_EQ(Ints(p.SendHour, p.SendMinute), Ints(6, 15)); }},
    {"SendTimeWithSeconds", "[Communication]\r\nSendTime=7:05:30\r\n",
     [](auto& p, auto&) { EXPECT_EQ(Ints(p.SendHour, p.SendMinute, p.SendSecond), Ints(7, 5, 30)); }},
    {"HugeNumbersFallBack",
     "[Converter]\r\nNumber=99999999999999999999\r\n[ADcard]\r\nSampleRate=99999999999999999999\r\n"
     "ReSampling=-99999999999999999999\r\n[Limits]\r\nAlarmTreshold=4294967296\r\n"
     "[Communication]\r\nTCPIPport=4294999999\r\n[GPS]\r\nCorrection=1e99\r\n",
     [](auto& p, auto&) {
       EXPECT_EQ(Ints(p.Converter.Number, p.SampleRate, p.ReSampling, p.AlarmTreshold, p.TCPIPport, p.GPS.Correction),
                 Ints(0, 1000, 10, 5000, 32000, 1));
     }},
    {"SampleRateMustBePositive", "[ADcard]\r\nSampleRate=0\r\n", [](auto& p, auto&) { EXPECT_EQ(p.SampleRate, 1000); }},
    {"SampleRateOfTheFastestConverterKept", "[ADcard]\r\nSampleRate=10000\r\n",
     [](auto& p, auto&) { EXPECT_EQ(p.SampleRate, 10000); }},
    {"SampleRateNoConverterOffersIsDefault", "[ADcard]\r\nSampleRate=2000000\r\n",
     [](auto& p, auto&) { EXPECT_EQ(p.SampleRate, 1000); }},
    {"BaudRateNamesMatchWithoutCase", "[GSM]\r\nBaudRate=custom\r\n[GPS]\r\nBaudRate=4801\r\n", [](auto& p, auto&) {
       EXPECT_EQ(p.GSM.BaudRate, TBaudRate::brCustom);
       EXPECT_EQ(p.GPS.BaudRate, TBaudRate::br9600);
     }},
    {"AveragesNotANumberAreZero", "[Averages]\r\nAVGin2=12\r\nAVGin3=x\r\n",
     [](auto& p, auto&) { EXPECT_EQ(p.AVGin, (ArrayOfChannels{0, 0, 12, 0, 0, 0, 0, 0})); }},
    {"SeedLinkPortOutOfRange", "[SeedLink]\r\nPort=70000\r\n",
     [](auto& p, auto&) { EXPECT_EQ(p.SeedLink.Port, 18000); }},
    {"SeedLinkPortNotANumber", "[SeedLink]\r\nPort=x\r\n", [](auto& p, auto&) { EXPECT_EQ(p.SeedLink.Port, 18000); }},
    {"OwnSeedLinkPortAndArchive", "[SeedLink]\r\nPort=18500\r\n[MiniSEED]\r\nArchiveDir=/d/sds\r\nArchive=0\r\n",
     [](auto& p, auto&) {
       EXPECT_EQ(Ints(p.SeedLink.Port, p.MiniSEED.Archive), Ints(18500, false));
       EXPECT_EQ(p.MiniSEED.ArchiveDir, "/d/sds/");
     }},
    {"LSBinNotANumberReportsAndTheRestStillLoads", "[Sensor]\r\nLSBin0=2.5\r\nLSBin3=abc\r\n[GPS]\r\nPort=COM4\r\n",
     [](auto& p, auto&) {
       EXPECT_EQ(p.LSBin, (ArrayOfReal{2.5, 1, 1, 1, 1, 1, 1, 1}));
       EXPECT_EQ(p.GPS.Port, "COM4");
       EXPECT_TRUE(p.Filter.Loaded);
     },
     kLoadLSBError},
    {"FilterErrorWinsOverLSBError", "[Sensor]\r\nLSBin0=x\r\n[Registration]\r\nFilter=missing.txt\r\n",
     [](auto& p, auto&) {
       EXPECT_FALSE(p.Filter.Loaded);
       EXPECT_EQ(p.Filter.FileName, "");
       EXPECT_TRUE(p.Filter.Coefs.empty());
     },
     kLoadFilterError},
    {"EmptyFilterNameMeansNoFilterAndNoError", "[Registration]\r\nFilter=\r\n",
     [](auto& p, auto&) { EXPECT_FALSE(p.Filter.Loaded); }},
};

INSTANTIATE_TEST_SUITE_P(Rules, KeyRuleTest, ::testing::ValuesIn(kKeyCases),
                         [](const auto& info) { return std::string(info.param.legend); });

TEST_F(LoadIniTest, FilterNameIsRelativeToTheProgramDirectoryUnlessAbsolute) {
  fs::create_directory(dir.Path("filters"));
  WriteFile(dir.Path("filters/f.txt"), "1\n3\n");
  EXPECT_EQ(Load("[Registration]\r\nFilter=filters\\f.txt\r\n"), kLoadOk);
  EXPECT_EQ(P.Filter.Coefs, (ArrayOfReal{0.25, 0.75}));
  EXPECT_EQ(P.Filter.FileName, "filters\\f.txt");
  EXPECT_EQ(Load("[Registration]\r\nFilter=" + dir.Path("filters/f.txt") + "\r\n"), kLoadOk);
  EXPECT_TRUE(P.Filter.Loaded);
}

// The filter's output lags its length behind the 180 s window: at 1 Hz a
// filter of 180 coefficients leaves nothing to save and is refused with a reason.
TEST_F(LoadIniTest, AFilterAsLongAsTheWindowIsRefusedWithItsReason) {
  std::string taps;
  for (int i = 0; i < 179; ++i) taps += "1\r\n";
  WriteFile(dir.Path("short.txt"), taps);
  WriteFile(dir.Path("window.txt"), taps + "1\r\n");
  LoadNotes notes;
  EXPECT_EQ(Load("[ADcard]\r\nSampleRate=1\r\n[Registration]\r\nFilter=short.txt\r\n", &notes), kLoadOk);
  EXPECT_TRUE(P.Filter.Loaded);
  EXPECT_EQ(notes.FilterProblem, "");
  EXPECT_EQ(Load("[ADcard]\r\nSampleRate=1\r\n[Registration]\r\nFilter=window.txt\r\n", &notes), kLoadFilterError);
  EXPECT_FALSE(P.Filter.Loaded);
  EXPECT_EQ(P.Filter.FileName, "");
  EXPECT_TRUE(P.Filter.Coefs.empty());
  EXPECT_EQ(notes.FilterProblem,
            "The filter has 180 coefficients; the 180 s window holds 180 frames, so nothing "
            "would be filtered or saved.");
}

TEST_F(LoadIniTest, GarbageAndForeignBytesLoadWithoutHarm) {
  using namespace std::string_literals;
  EXPECT_EQ(Load("\x00\x01garbage\xFF\xFE\r\n[[[\r\n==\r\n[Common]\r\nIDStation=\xC8\xE9X\r\n"
                 "\x00\r\n[GPS\r\nPort=COM3\r\n]]\r\n"s),
            kLoadOk);
  EXPECT_EQ(P.IDStation, "\xC8\xE9X");
  EXPECT_EQ(P.Converter.Model, "Kelta-16");
  EXPECT_EQ(P.GPS.Port, "COM1");  // "[GPS" is no header: the key stays in Common
}

TEST_F(LoadIniTest, LoadThenSaveGivesTheFileBack) {
  const std::string everyKey = Golden("every_key_changed.ini");
  ASSERT_EQ(Load(everyKey), kLoadOk);
  const std::string loaded = ParamsToText(P);
  fs::remove(ini);
  ASSERT_TRUE(SaveParams(P, files));
  EXPECT_EQ(ReadFile(ini), everyKey);
  EXPECT_FALSE(fs::exists(ini + ".tmp"));
  ASSERT_EQ(LoadParams(P, files), kLoadOk);
  EXPECT_EQ(ParamsToText(P), loaded);
}

TEST_F(LoadIniTest, SaveWritesAsManyLSBinKeysAsTheRecordHolds) {
  TProgParam p = FileDefaults();
  p.LSBin = {2, 3};
  p.AVGin = {1};
  ASSERT_TRUE(SaveParams(p, files));
  EXPECT_NE(ReadFile(ini).find("[Sensor]\r\nLSBin0=2\r\nLSBin1=3\r\n\r\n[Averages]\r\nAVGin0=1\r\n\r\n"),
            std::string::npos);
  ASSERT_EQ(LoadParams(P, files), kLoadOk);
  EXPECT_EQ(P.LSBin, (ArrayOfReal{2, 3, 1, 1, 1, 1, 1, 1}));
}

TEST_F(LoadIniTest, SaveDropsUnknownKeysAndKeepsThePermissionsOfTheOldFile) {
  WriteFile(ini, "[Common]\r\nObsolete=1\r\n[Extra]\r\nk=v\r\n");
  ::chmod(ini.c_str(), 0600);
  ASSERT_TRUE(SaveParams(FileDefaults(), files));
  EXPECT_EQ(ReadFile(ini), Golden("default.ini"));
  struct stat st{};
  ASSERT_EQ(::stat(ini.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(LoadIniTest, FailedSaveLeavesTheOldFileIntact) {
  WriteFile(ini, "[Common]\r\nIDStation=OLD\r\n");
  fs::create_directory(ini + ".tmp");  // temp file cannot be made
  EXPECT_FALSE(SaveParams(FileDefaults(), files));
  EXPECT_EQ(ReadFile(ini), "[Common]\r\nIDStation=OLD\r\n");
}

TEST(LoadIniRulesTest, PhoneNumbersAndPPSLines) {
  for (const char* good : {"+420602909909", "12"}) EXPECT_TRUE(IsPhoneNumber(good)) << good;
  for (const char* bad : {"1", "+", "", "12a", "1+2", "++12", " 123"}) EXPECT_FALSE(IsPhoneNumber(bad)) << bad;
  const std::pair<const char*, uint8_t> lines[] = {{"DSR", kSignalDSR}, {"cts", kSignalCTS}, {"Ri", kSignalRI},
                                                   {"cts/dsr", kSignalDSR} /* DSR is looked for first */,
                                                   {"", kSignalNone}, {"DCD", kSignalNone}};
  for (const auto& [line, signal] : lines) EXPECT_EQ(PPSLineToSignal(line), signal) << line;
  for (uint8_t s : {kSignalCTS, kSignalDSR, kSignalRI}) EXPECT_EQ(PPSLineToSignal(PPSSignalToLine(s)), s);
  EXPECT_EQ(PPSSignalToLine(kSignalNone), "");
  EXPECT_EQ(PPSSignalToLine(kSignalCTS | kSignalDSR), "");
}

// The station code names every data file: it must stay one name in the day folder.
struct StationCodeCase {
  const char* legend;
  std::string raw, code;
  bool changed;
};

class StationCodeTest : public LoadIniTest, public ::testing::WithParamInterface<StationCodeCase> {};

TEST_P(StationCodeTest, IsMadeSafeForFileNamesAndTheChangeNoted) {
  const StationCodeCase& c = GetParam();
  LoadNotes notes;
  Load("[Common]\r\nIDStation=" + c.raw + "\r\n", &notes);
  EXPECT_EQ(P.IDStation, c.code);
  EXPECT_EQ(notes.StationCodeChange.empty(), !c.changed) << notes.StationCodeChange;
  if (c.changed) {
    EXPECT_EQ(notes.StationCodeChange.rfind("Station code changed to \"" + c.code + "\": ", 0), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, StationCodeTest,
    ::testing::Values(StationCodeCase{"plain", "ST01", "ST01", false}, StationCodeCase{"slash", "AB/CD", "AB_CD", true},
                      StationCodeCase{"climbing", "../../../x", ".._.._.._x", true},
                      StationCodeCase{"backslash_and_tab", "A\\B\tC", "A_B_C", true},
                      StationCodeCase{"dot_dot", "..", "IDx", true}, StationCodeCase{"dot", ".", "IDx", true},
                      StationCodeCase{"300_characters", std::string(300, 'Q'), std::string(32, 'Q'), true}),
    [](const auto& info) { return std::string(info.param.legend); });

}  // namespace
