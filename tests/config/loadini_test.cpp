#include "config/loadini.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <sstream>
#include <type_traits>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// golden/default.ini is written by hand from the file layout (13 sections in order, CR LF lines, an empty
// line after every section but the last); golden/every_key_changed.ini holds no key at its default and
// every value survives loading unchanged, so a key not read, not written or written differently shows.
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

TEST_F(LoadIniTest, DefaultFileHasTheExactLayoutLoadsLikeNoFileNeverOverwritesAndIsSummedUp) {
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
  // The summary of the loaded values, logged at the start, lists every value in order.
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
  o << "StationCodeChange=" << notes.StationCodeChange << "\nFilterProblem=" << notes.FilterProblem << '\n';
  return o.str();
}

// A few keys in an otherwise empty file (none: no file; "<dir>/" is the program directory),
// and the values loading makes of them.
struct KeyCase {
  const char* legend;
  std::optional<std::string> ini;
  std::string expected;  // "Name=value" lines
  int result = kLoadOk;
};

const std::string kReplaced = "path separators and control characters replaced.";
const std::string kTooLong = "The filter has 180 coefficients; the 180 s window holds 180 frames, so nothing would be "
                             "filtered or saved.";

class KeyRuleTest : public LoadIniTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(KeyRuleTest, Loads) {
  LoadNotes notes;
  fs::create_directory(dir.Path("filters"));
  WriteFile(dir.Path("filters/f.txt"), "1\n3\n");
  std::string taps;
  for (int i = 0; i < 179; ++i) taps += "1\r\n";
  WriteFile(dir.Path("short.txt"), taps);
  WriteFile(dir.Path("window.txt"), taps + "1\r\n");
  if (GetParam().ini) {
    std::string text = *GetParam().ini;
    if (const size_t at = text.find("<dir>/"); at != std::string::npos) text.replace(at, 6, dir.Dir());
    EXPECT_EQ(Load(text, &notes), GetParam().result);
  } else {
    EXPECT_EQ(LoadParams(P, files, &notes), GetParam().result);
  }
  const std::string shown = Show(P, notes, dir.Dir());
  std::istringstream expected(GetParam().expected);
  for (std::string line; std::getline(expected, line);)
    EXPECT_TRUE(shown.find('\n' + line + '\n') != std::string::npos) << "no line " << line << " in" << shown;
}

using namespace std::string_literals;

const KeyCase kKeyCases[] = {
    {"NoFileGivesDefaultsWithDirectoriesUnderTheProgramDirectory", std::nullopt,
     "BackupDir=<dir>/Backup/\nLogFile=<dir>/velkor.log\nScriptFile=<dir>/velkor.sh\nHelpFile=<dir>/docs/manual.html\n"
     "PPSChannel=6\nAlarmChannel=0\nSendSMS=0\nFilter.Coefs=0.25,0.5,0.25\nPPSLevel=536870912\nPPSPeak=536870912\n"
     "TestMsg=Test...\nGSM.EmailGateAddr=station*example.com\nGSM.EmailGateOn=1\nScriptOptions=//B //Nologo //T:60\n"
     "SeedLink.Port=18000\nMiniSEED.Archive=1\nMiniSEED.ArchiveDir=<dir>/SDS/\nMiniSEED.Network=XX"},
    // Written BackUpDir, read BackupDir.
    {"DirectoryRules", "[Common]\nBackUpDir=Old\nDataDir=/srv/seis\nTrigDir=Seis\\Trig\\\nASCIIDir=",
     "BackupDir=<dir>/Old/\nDataDir=/srv/seis/\nTrigDir=<dir>/Seis/Trig/\nASCIIDir=<dir>/"},
    {"GarbageAndForeignBytes",
     "\x00\x01garbage\xFF\xFE\n[[[\n==\n[Common]\nIDStation=\xC8\xE9X\n\x00\n[GPS\nPort=COM3\n]]"s,
     "IDStation=\xC8\xE9X\nConverter.Model=Kelta-16\nGPS.Port=COM1"},  // "[GPS" is no header
    {"TriggerSpanAbove50Cut", "[Triggers]\nPredTime=120\nPostTime=51", "PredTime=50\nPostTime=50"},
    {"NegativeTriggerSpanCutToZeroAndPostTimeToOne", "[Triggers]\nPredTime=-5\nPostTime=-1", "PredTime=0\nPostTime=1"},
    // A record must hold at least one second after the event.
    {"PostTimeZeroIsOne", "[Triggers]\nPostTime=0", "PostTime=1"},
    {"TriggerTimesNotNumbers", "[Triggers]\nPredTime=x\nPostTime=\nSTAlength=0,7",
     "PredTime=20\nPostTime=40\nSTAlength=0.5"},
    {"TCPIPportBelowRange", "[Communication]\nTCPIPport=80", "TCPIPport=32000"},
    {"TCPIPportAboveRange", "[Communication]\nTCPIPport=70000", "TCPIPport=32000"},
    {"TCPIPportEdgeKept", "[Communication]\nTCPIPport=1024", "TCPIPport=1024"},
    {"EmailAddrLowerCased", "[Internet]\nEmailAddr=Seis.Station@Example.COM",
     "EmailAddr=seis.station@example.com\nGSM.EmailGateAddr=seis.station*example.com\nGSM.EmailGateOn=1"},
    {"EmailAddrWithoutAtEmptied", "[Internet]\nEmailAddr=nobody.example.com",
     "EmailAddr=\nGSM.EmailGateAddr=\nGSM.EmailGateOn=0"},
    {"GsmTexts", "[GSM]\nEmailGate=\nTelNum0=12a\nTelNum1=5\nTelNum2=+123456789\nEmailIndicator=EM",
     "GSM.EmailGateAddr=\nGSM.EmailGateOn=0\nGSM.TelNum=,,+123456789\nGSM.EmailIndicator=EM "},
    {"TriggerMinuteStarEmptied", "[Communication]\nTriggerMinute=*", "TriggerMinute="},
    {"SendSMSWithoutPINOff", "[Communication]\nSendSMS=1\n[GSM]\nPIN=\nSMScentrum=+420602909909", "SendSMS=0"},
    {"SendSMSWithBadCentreOff", "[Communication]\nSendSMS=1\n[GSM]\nPIN=1234\nSMScentrum=centre", "SendSMS=0"},
    {"SendSMSWithPINAndCentreOn", "[Communication]\nSendSMS=1\n[GSM]\nPIN=1234\nSMScentrum=+420602909909", "SendSMS=1"},
    {"EmailWinsOverSMS", "[Communication]\nSendSMS=1\nSendEmail=1\n[GSM]\nPIN=1234\nSMScentrum=+420602909909",
     "SendSMS=0\nSendEmail=1"},
    {"IntervalAndMaxDiffZeroGive45", "[GPS]\nInterval=0\nMaxDiff=0", "GPS.MaxDiff=45"},
    {"MaxDiffZeroKeptWithInterval", "[GPS]\nInterval=10\nMaxDiff=0", "GPS.Interval=10\nGPS.MaxDiff=0"},
    {"MaxDiffNotANumberIsZero", "[GPS]\nInterval=10\nMaxDiff=abc", "GPS.MaxDiff=0"},
    {"PPSLowerCase", "[GPS]\nPPS=cts", "GPS.PPS=1"},  // kSignalCTS
    {"KeysThatOverrideOthers",
     "[Common]\nAlarmOn=1\n[ADcard]\nFullLoad=0\nDoubleSensitivity=1\n[Registration]\nWaitForSync=1\nAllChannels=1\n"
     "SaveGPS=0\n[GPS]\nUpDateOn=0",
     "AlarmChannel=7\nPPSChannel=3\nDoubleSensitivity=0\nWaitForSync=0\nSaveGPS=1"},
    {"BooleanOnlyOneIsTrue", "[Common]\nSaveLog=yes\nSeparateDirectory=true", "SaveLog=0\nSeparateDirectory=0"},
    {"SendTimeHour25IsDefault", "[Communication]\nSendTime=25:00", "SendHour=6\nSendMinute=15"},
    {"SendTimeWithSeconds", "[Communication]\nSendTime=7:05:30", "SendHour=7\nSendMinute=5\nSendSecond=30"},
    {"HugeNumbersFallBack",
     "[Converter]\nNumber=99999999999999999999\n[ADcard]\nSampleRate=99999999999999999999\n"
     "ReSampling=-99999999999999999999\n[Limits]\nAlarmTreshold=4294967296\n"
     "[Communication]\nTCPIPport=4294999999\n[GPS]\nCorrection=1e99",
     "Converter.Number=0\nSampleRate=1000\nReSampling=10\nAlarmTreshold=5000\nTCPIPport=32000\nGPS.Correction=1"},
    {"SampleRateMustBePositive", "[ADcard]\nSampleRate=0", "SampleRate=1000"},
    {"SampleRateOfTheFastestConverterKept", "[ADcard]\nSampleRate=10000", "SampleRate=10000"},
    {"SampleRateNoConverterOffersIsDefault", "[ADcard]\nSampleRate=2000000", "SampleRate=1000"},
    {"BaudRateNamesMatchWithoutCase", "[GSM]\nBaudRate=custom\n[GPS]\nBaudRate=4801",
     "GSM.BaudRate=Custom\nGPS.BaudRate=9600"},
    {"AveragesNotANumberAreZero", "[Averages]\nAVGin2=12\nAVGin3=x", "AVGin=0,0,12,0,0,0,0,0"},
    {"SeedLinkPortOutOfRange", "[SeedLink]\nPort=70000", "SeedLink.Port=18000"},
    {"OwnSeedLinkPortAndArchive", "[SeedLink]\nPort=18500\n[MiniSEED]\nArchiveDir=/d/sds\nArchive=0",
     "SeedLink.Port=18500\nMiniSEED.Archive=0\nMiniSEED.ArchiveDir=/d/sds/"},
    {"LSBinNotANumberReportsAndTheRestStillLoads", "[Sensor]\nLSBin0=2.5\nLSBin3=abc\n[GPS]\nPort=COM4",
     "LSBin=2.5,1,1,1,1,1,1,1\nGPS.Port=COM4\nFilter.Loaded=1", kLoadLSBError},
    {"FilterErrorWinsOverLSBError", "[Sensor]\nLSBin0=x\n[Registration]\nFilter=missing.txt",
     "Filter.Loaded=0\nFilter.FileName=\nFilter.Coefs=", kLoadFilterError},
    {"EmptyFilterNameMeansNoFilterAndNoError", "[Registration]\nFilter=", "Filter.Loaded=0"},
    {"FilterNameRelativeToTheProgramDirectory", "[Registration]\nFilter=filters\\f.txt",
     "Filter.Coefs=0.25,0.75\nFilter.FileName=filters\\f.txt"},
    {"FilterNameAbsolute", "[Registration]\nFilter=<dir>/filters/f.txt", "Filter.Loaded=1\nFilter.Coefs=0.25,0.75"},
    // The filter's output lags its length behind the 180 s window: at 1 Hz 180 taps leave nothing to save.
    {"FilterShorterThanTheWindow", "[ADcard]\nSampleRate=1\n[Registration]\nFilter=short.txt",
     "Filter.Loaded=1\nFilterProblem="},
    {"FilterAsLongAsTheWindowIsRefusedWithItsReason", "[ADcard]\nSampleRate=1\n[Registration]\nFilter=window.txt",
     "Filter.Loaded=0\nFilter.FileName=\nFilter.Coefs=\nFilterProblem=" + kTooLong, kLoadFilterError},
    // The station code names every data file: it must stay one name in the day folder.
    {"StationCodePlain", "[Common]\nIDStation=ST01", "IDStation=ST01\nStationCodeChange="},
    {"StationCodeClimbing", "[Common]\nIDStation=../../../x",
     "IDStation=.._.._.._x\nStationCodeChange=Station code changed to \".._.._.._x\": " + kReplaced},
    {"StationCodeBackslashAndTab", "[Common]\nIDStation=A\\B\tC",
     "IDStation=A_B_C\nStationCodeChange=Station code changed to \"A_B_C\": " + kReplaced},
    {"StationCodeDotDot", "[Common]\nIDStation=..",
     "IDStation=IDx\nStationCodeChange=Station code changed to \"IDx\": \"..\" cannot name a file."},
    {"StationCodeDot", "[Common]\nIDStation=.",
     "IDStation=IDx\nStationCodeChange=Station code changed to \"IDx\": \".\" cannot name a file."},
    {"StationCode40Characters", "[Common]\nIDStation=QQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQ",
     "IDStation=QQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQ\n"
     "StationCodeChange=Station code changed to \"QQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQ\": cut from 40 to 32 characters."},
};

INSTANTIATE_TEST_SUITE_P(Rules, KeyRuleTest, ::testing::ValuesIn(kKeyCases),
                         [](const auto& info) { return std::string(info.param.legend); });

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

// A failed save (the temp file cannot be made) leaves the old file as it was.
TEST_F(LoadIniTest, SaveDropsUnknownKeysKeepsThePermissionsAndFailsWithoutHarm) {
  WriteFile(ini, "[Common]\r\nObsolete=1\r\n[Extra]\r\nk=v\r\n");
  ::chmod(ini.c_str(), 0600);
  ASSERT_TRUE(SaveParams(FileDefaults(), files));
  EXPECT_EQ(ReadFile(ini), Golden("default.ini"));
  struct stat st{};
  ASSERT_EQ(::stat(ini.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  fs::create_directory(ini + ".tmp");
  TProgParam changed = FileDefaults();
  changed.IDStation = "NEW";
  EXPECT_FALSE(SaveParams(changed, files));
  EXPECT_EQ(ReadFile(ini), Golden("default.ini"));
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
}

}  // namespace
