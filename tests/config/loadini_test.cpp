#include "config/loadini.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <sstream>
#include <type_traits>
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

// The loaded values the key rules speak of, one "Name=value" line each, lists
// joined by commas and the program directory shown as "<dir>/".
std::string Show(const TProgParam& p, const LoadNotes& notes, const std::string& programDir) {
  std::ostringstream o;
  const auto text = [&](const auto& v) {
    using T = std::decay_t<decltype(v)>;
    if constexpr (std::is_same_v<T, std::string>) {
      o << (v.rfind(programDir, 0) == 0 ? "<dir>/" + v.substr(programDir.size()) : v);
    } else if constexpr (std::is_same_v<T, TBaudRate>) {
      o << BaudRateToStr(v);
    } else if constexpr (std::is_arithmetic_v<T>) {
      o << +v;
    } else {
      for (size_t i = 0; i < v.size(); ++i) o << (i ? "," : "") << v[i];
    }
  };
#define SHOW(field) (o << #field "=", text(p.field), o << '\n')
  o << '\n';
  SHOW(BackupDir), SHOW(DataDir), SHOW(TrigDir), SHOW(ASCIIDir), SHOW(LogFile), SHOW(ScriptFile), SHOW(HelpFile);
  SHOW(IDStation), SHOW(TestMsg), SHOW(ScriptOptions), SHOW(Converter.Model), SHOW(Converter.Number);
  SHOW(PredTime), SHOW(PostTime), SHOW(STAlength), SHOW(SampleRate), SHOW(ReSampling), SHOW(AlarmTreshold);
  SHOW(TCPIPport), SHOW(TriggerMinute), SHOW(SendHour), SHOW(SendMinute), SHOW(SendSecond);
  SHOW(EmailAddr), SHOW(SendSMS), SHOW(SendEmail), SHOW(GSM.EmailGateAddr), SHOW(GSM.EmailGateOn);
  SHOW(GSM.TelNum), SHOW(GSM.EmailIndicator), SHOW(GSM.BaudRate), SHOW(GPS.BaudRate), SHOW(GPS.Port);
  SHOW(GPS.Interval), SHOW(GPS.MaxDiff), SHOW(GPS.PPS), SHOW(GPS.Correction), SHOW(WaitForSync);
  SHOW(PPSChannel), SHOW(PPSLevel), SHOW(PPSPeak), SHOW(AlarmChannel), SHOW(DoubleSensitivity), SHOW(SaveGPS);
  SHOW(SaveLog), SHOW(SeparateDirectory), SHOW(AVGin), SHOW(LSBin), SHOW(Filter.Loaded), SHOW(Filter.FileName);
  SHOW(Filter.Coefs), SHOW(SeedLink.Port), SHOW(MiniSEED.Archive), SHOW(MiniSEED.ArchiveDir), SHOW(MiniSEED.Network);
#undef SHOW
  o << "StationCodeChange=" << notes.StationCodeChange << '\n';
  return o.str();
}

// A few keys in an otherwise empty file (nullptr: no file), and the values loading makes of them.
struct KeyCase {
  const char *legend, *ini;
  std::string expected;  // "Name=value" lines
  int result = kLoadOk;
};

const std::string kReplaced = "path separators and control characters replaced.";

class KeyRuleTest : public LoadIniTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(KeyRuleTest, Loads) {
  LoadNotes notes;
  if (GetParam().ini) {
    EXPECT_EQ(Load(GetParam().ini, &notes), GetParam().result);
  } else {
    EXPECT_EQ(LoadParams(P, files, &notes), GetParam().result);
  }
  const std::string shown = Show(P, notes, dir.Dir());
  std::istringstream expected(GetParam().expected);
  for (std::string line; std::getline(expected, line);)
    EXPECT_TRUE(shown.find('\n' + line + '\n') != std::string::npos) << "no line " << line << " in" << shown;
}

const KeyCase kKeyCases[] = {
    {"NoFileGivesDefaultsWithDirectoriesUnderTheProgramDirectory", nullptr,
     "BackupDir=<dir>/Backup/\nLogFile=<dir>/velkor.log\nScriptFile=<dir>/velkor.sh\nHelpFile=<dir>/docs/manual.html\n"
     "PPSChannel=6\nAlarmChannel=0\nSendSMS=0\nFilter.Coefs=0.25,0.5,0.25\nPPSLevel=536870912\nPPSPeak=536870912\n"
     "TestMsg=Test...\nGSM.EmailGateAddr=station*example.com\nGSM.EmailGateOn=1\nScriptOptions=//B //Nologo //T:60\n"
     "SeedLink.Port=18000\nMiniSEED.Archive=1\nMiniSEED.ArchiveDir=<dir>/SDS/\nMiniSEED.Network=XX"},
    // Written BackUpDir, read BackupDir.
    {"DirectoryRules", "[Common]\r\nBackUpDir=Old\r\nDataDir=/srv/seis\r\nTrigDir=Seis\\Trig\\\r\nASCIIDir=\r\n",
     "BackupDir=<dir>/Old/\nDataDir=/srv/seis/\nTrigDir=<dir>/Seis/Trig/\nASCIIDir=<dir>/"},
    {"TriggerSpanAbove50Cut", "[Triggers]\r\nPredTime=120\r\nPostTime=51\r\n", "PredTime=50\nPostTime=50"},
    {"NegativeTriggerSpanCutToZeroAndPostTimeToOne", "[Triggers]\r\nPredTime=-5\r\nPostTime=-1\r\n",
     "PredTime=0\nPostTime=1"},
    // A record must hold at least one second after the event.
    {"PostTimeZeroIsOne", "[Triggers]\r\nPostTime=0\r\n", "PostTime=1"},
    {"TriggerTimesNotNumbers", "[Triggers]\r\nPredTime=x\r\nPostTime=\r\nSTAlength=0,7\r\n",
     "PredTime=20\nPostTime=40\nSTAlength=0.5"},
    {"TCPIPportBelowRange", "[Communication]\r\nTCPIPport=80\r\n", "TCPIPport=32000"},
    {"TCPIPportAboveRange", "[Communication]\r\nTCPIPport=70000\r\n", "TCPIPport=32000"},
    {"TCPIPportEdgeKept", "[Communication]\r\nTCPIPport=1024\r\n", "TCPIPport=1024"},
    {"EmailAddrLowerCased", "[Internet]\r\nEmailAddr=Seis.Station@Example.COM\r\n",
     "EmailAddr=seis.station@example.com\nGSM.EmailGateAddr=seis.station*example.com\nGSM.EmailGateOn=1"},
    {"EmailAddrWithoutAtEmptied", "[Internet]\r\nEmailAddr=nobody.example.com\r\n",
     "EmailAddr=\nGSM.EmailGateAddr=\nGSM.EmailGateOn=0"},
    {"NoGatewayNoGatewayAddress", "[GSM]\r\nEmailGate=\r\n", "GSM.EmailGateAddr=\nGSM.EmailGateOn=0"},
    {"TriggerMinuteStarEmptied", "[Communication]\r\nTriggerMinute=*\r\n", "TriggerMinute="},
    {"TelephoneNumbers", "[GSM]\r\nTelNum0=12a\r\nTelNum1=5\r\nTelNum2=+123456789\r\n", "GSM.TelNum=,,+123456789"},
    {"EmailIndicatorTwoLettersGetABlank", "[GSM]\r\nEmailIndicator=EM\r\n", "GSM.EmailIndicator=EM "},
    {"SendSMSWithoutPINOff", "[Communication]\r\nSendSMS=1\r\n[GSM]\r\nPIN=\r\nSMScentrum=+420602909909\r\n",
     "SendSMS=0"},
    {"SendSMSWithBadCentreOff", "[Communication]\r\nSendSMS=1\r\n[GSM]\r\nPIN=1234\r\nSMScentrum=centre\r\n",
     "SendSMS=0"},
    {"SendSMSWithPINAndCentreOn", "[Communication]\r\nSendSMS=1\r\n[GSM]\r\nPIN=1234\r\nSMScentrum=+420602909909\r\n",
     "SendSMS=1"},
    {"EmailWinsOverSMS",
     "[Communication]\r\nSendSMS=1\r\nSendEmail=1\r\n[GSM]\r\nPIN=1234\r\nSMScentrum=+420602909909\r\n",
     "SendSMS=0\nSendEmail=1"},
    {"IntervalAndMaxDiffZeroGive45", "[GPS]\r\nInterval=0\r\nMaxDiff=0\r\n", "GPS.MaxDiff=45"},
    {"MaxDiffZeroKeptWithInterval", "[GPS]\r\nInterval=10\r\nMaxDiff=0\r\n", "GPS.Interval=10\nGPS.MaxDiff=0"},
    {"MaxDiffNotANumberIsZero", "[GPS]\r\nInterval=10\r\nMaxDiff=abc\r\n", "GPS.MaxDiff=0"},
    {"PPSLowerCase", "[GPS]\r\nPPS=cts\r\n", "GPS.PPS=1"},  // kSignalCTS
    {"UpDateOffForcesNoWaitForSync", "[Registration]\r\nWaitForSync=1\r\n[GPS]\r\nUpDateOn=0\r\n", "WaitForSync=0"},
    {"AlarmOnUsesChannel7", "[Common]\r\nAlarmOn=1\r\n", "AlarmChannel=7"},
    {"PartialLoadPPSOnChannel3AndNoDoubleSensitivity", "[ADcard]\r\nFullLoad=0\r\nDoubleSensitivity=1\r\n",
     "PPSChannel=3\nDoubleSensitivity=0"},
    {"AllChannelsForcesSaveGPS", "[Registration]\r\nAllChannels=1\r\nSaveGPS=0\r\n", "SaveGPS=1"},
    {"BooleanOnlyOneIsTrue", "[Common]\r\nSaveLog=yes\r\nSeparateDirectory=true\r\n", "SaveLog=0\nSeparateDirectory=0"},
    {"SendTimeHour25IsDefault", "[Communication]\r\nSendTime=25:00\r\n", "SendHour=6\nSendMinute=15"},
    {"SendTimeWithSeconds", "[Communication]\r\nSendTime=7:05:30\r\n", "SendHour=7\nSendMinute=5\nSendSecond=30"},
    {"HugeNumbersFallBack",
     "[Converter]\r\nNumber=99999999999999999999\r\n[ADcard]\r\nSampleRate=99999999999999999999\r\n"
     "ReSampling=-99999999999999999999\r\n[Limits]\r\nAlarmTreshold=4294967296\r\n"
     "[Communication]\r\nTCPIPport=4294999999\r\n[GPS]\r\nCorrection=1e99\r\n",
     "Converter.Number=0\nSampleRate=1000\nReSampling=10\nAlarmTreshold=5000\nTCPIPport=32000\nGPS.Correction=1"},
    {"SampleRateMustBePositive", "[ADcard]\r\nSampleRate=0\r\n", "SampleRate=1000"},
    {"SampleRateOfTheFastestConverterKept", "[ADcard]\r\nSampleRate=10000\r\n", "SampleRate=10000"},
    {"SampleRateNoConverterOffersIsDefault", "[ADcard]\r\nSampleRate=2000000\r\n", "SampleRate=1000"},
    {"BaudRateNamesMatchWithoutCase", "[GSM]\r\nBaudRate=custom\r\n[GPS]\r\nBaudRate=4801\r\n",
     "GSM.BaudRate=Custom\nGPS.BaudRate=9600"},
    {"AveragesNotANumberAreZero", "[Averages]\r\nAVGin2=12\r\nAVGin3=x\r\n", "AVGin=0,0,12,0,0,0,0,0"},
    {"SeedLinkPortOutOfRange", "[SeedLink]\r\nPort=70000\r\n", "SeedLink.Port=18000"},
    {"SeedLinkPortNotANumber", "[SeedLink]\r\nPort=x\r\n", "SeedLink.Port=18000"},
    {"OwnSeedLinkPortAndArchive", "[SeedLink]\r\nPort=18500\r\n[MiniSEED]\r\nArchiveDir=/d/sds\r\nArchive=0\r\n",
     "SeedLink.Port=18500\nMiniSEED.Archive=0\nMiniSEED.ArchiveDir=/d/sds/"},
    {"LSBinNotANumberReportsAndTheRestStillLoads", "[Sensor]\r\nLSBin0=2.5\r\nLSBin3=abc\r\n[GPS]\r\nPort=COM4\r\n",
     "LSBin=2.5,1,1,1,1,1,1,1\nGPS.Port=COM4\nFilter.Loaded=1", kLoadLSBError},
    {"FilterErrorWinsOverLSBError", "[Sensor]\r\nLSBin0=x\r\n[Registration]\r\nFilter=missing.txt\r\n",
     "Filter.Loaded=0\nFilter.FileName=\nFilter.Coefs=", kLoadFilterError},
    {"EmptyFilterNameMeansNoFilterAndNoError", "[Registration]\r\nFilter=\r\n", "Filter.Loaded=0"},
    // The station code names every data file: it must stay one name in the day folder.
    {"StationCodePlain", "[Common]\r\nIDStation=ST01\r\n", "IDStation=ST01\nStationCodeChange="},
    {"StationCodeSlash", "[Common]\r\nIDStation=AB/CD\r\n",
     "IDStation=AB_CD\nStationCodeChange=Station code changed to \"AB_CD\": " + kReplaced},
    {"StationCodeClimbing", "[Common]\r\nIDStation=../../../x\r\n",
     "IDStation=.._.._.._x\nStationCodeChange=Station code changed to \".._.._.._x\": " + kReplaced},
    {"StationCodeBackslashAndTab", "[Common]\r\nIDStation=A\\B\tC\r\n",
     "IDStation=A_B_C\nStationCodeChange=Station code changed to \"A_B_C\": " + kReplaced},
    {"StationCodeDotDot", "[Common]\r\nIDStation=..\r\n",
     "IDStation=IDx\nStationCodeChange=Station code changed to \"IDx\": \"..\" cannot name a file."},
    {"StationCodeDot", "[Common]\r\nIDStation=.\r\n",
     "IDStation=IDx\nStationCodeChange=Station code changed to \"IDx\": \".\" cannot name a file."},
    {"StationCode40Characters", "[Common]\r\nIDStation=QQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQ\r\n",
     "IDStation=QQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQ\n"
     "StationCodeChange=Station code changed to \"QQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQ\": cut from 40 to 32 characters."},
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

}  // namespace
