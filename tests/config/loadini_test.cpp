#include "config/loadini.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "test_dir.h"

namespace {

// Written by hand from the file layout: 13 sections in order, CR LF lines, an
// empty line after the last key of every section but GPS.
const char kDefaultIni[] =
    "[Converter]\r\nModel=Kelta-16\r\nModule=KM-16S1\r\nNumber=0\r\nOffsetCompensation=1\r\n\r\n"
    "[Seismograph]\r\nModel=CMG-4T\r\nSerialNo=\r\nFlagZ=BHZ\r\nFlagN=BHN\r\nFlagE=BHE\r\n\r\n"
    "[Common]\r\nLanguage=English\r\nIDStation=IDx\r\nDataDir=Data\r\nTrigDir=Triggers\r\n"
    "ASCIIDir=ASCII\r\nBackUpDir=Backup\r\nSeparateDirectory=1\r\nTwentyMinuteFile=0\r\n"
    "AutoShowDetails=0\r\nSaveLog=1\r\nAlarmOn=0\r\n\r\n"
    "[Sensor]\r\nLSBin0=1\r\nLSBin1=1\r\nLSBin2=1\r\nLSBin3=1\r\nLSBin4=1\r\nLSBin5=1\r\n"
    "LSBin6=1\r\nLSBin7=1\r\n\r\n"
    "[Averages]\r\nAVGin0=0\r\nAVGin1=0\r\nAVGin2=0\r\nAVGin3=0\r\nAVGin4=0\r\nAVGin5=0\r\n"
    "AVGin6=0\r\nAVGin7=0\r\n\r\n"
    "[Limits]\r\nPPSTreshold=5\r\nAlarmTreshold=5000\r\n\r\n"
    "[ADcard]\r\nFullLoad=1\r\nDoubleSensitivity=0\r\nSampleRate=1000\r\nReSampling=10\r\n\r\n"
    "[Registration]\r\nWaitForSync=1\r\nAllChannels=0\r\nSaveGPS=1\r\nFilter=cosinus.txt\r\n"
    "SaveNotValid=1\r\nSaveNoPPS=1\r\nContinuous=1\r\nTriggers=0\r\n\r\n"
    "[Triggers]\r\nPredTime=20\r\nPostTime=40\r\nSTAlength=0.5\r\nStartSTA=800\r\nStopSTA=550\r\n"
    "\r\n"
    "[Communication]\r\nSendTime=06:15\r\nStartMsg=start\r\nDailyMsg=active\r\nSendEmail=0\r\n"
    "SendSMS=0\r\nSendTrigger=0\r\nTCPIPserver=\r\nTCPIPport=32000\r\nTriggerMinute=\r\n\r\n"
    "[Internet]\r\nEmailAddr=station@example.com\r\n\r\n"
    "[GSM]\r\nPort=COM2\r\nBaudRate=19200\r\nPIN=\r\nEmailOnly=1\r\nQuarryMode=0\r\nM1mode=0\r\n"
    "TelNum0=\r\nTelNum1=\r\nTelNum2=\r\nEmailGate=+420000000000\r\nEmailIndicator=#\r\n"
    "SMScentrum=+420000000001\r\n\r\n"
    "[GPS]\r\nPort=COM1\r\nBaudRate=9600\r\nReadingDelay=0\r\nPPS=DSR\r\nUpDateOn=1\r\n"
    "ValidOnly=0\r\nInterval=0\r\nMaxDiff=45\r\nDecNumber=1\r\nCorrection=1\r\n\r\n"
    "[MiniSEED]\r\nNetwork=XX\r\nLocation=\r\nArchive=1\r\nArchiveDir=SDS\r\n\r\n"
    "[SeedLink]\r\nServer=1\r\nPort=18000\r\nAllow=\r\n";

class LoadIniTest : public ::testing::Test {
 protected:
  LoadIniTest() {
    files.ProgramDir = dir.Path();
    dir.Write("cosinus.txt", "1\r\n2\r\n1\r\n");
  }
  int Load(const std::string& ini) {
    dir.Write(files.IniName, ini);
    return LoadParams(P, files);
  }
  TempStationDir dir;
  ProgramFiles files;
  TProgParam P;
};

TEST_F(LoadIniTest, DefaultFileHasTheExactLayout) {
  ASSERT_TRUE(WriteDefaultIni(files));
  EXPECT_EQ(dir.Read("velkor.ini"), kDefaultIni);
  EXPECT_FALSE(dir.Exists("velkor.ini.tmp"));
}

TEST_F(LoadIniTest, DefaultFileNeverOverwritesAnExistingFile) {
  dir.Write("velkor.ini", "[GPS]\r\nPort=COM5\r\n");
  EXPECT_TRUE(WriteDefaultIni(files));
  EXPECT_EQ(dir.Read("velkor.ini"), "[GPS]\r\nPort=COM5\r\n");
}

TEST_F(LoadIniTest, NoFileGivesDefaultsWithDirectoriesUnderTheProgramDirectory) {
  ASSERT_EQ(LoadParams(P, files), kLoadOk);
  const std::string& d = dir.Path();
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
}

TEST_F(LoadIniTest, DefaultFileLoadsLikeNoFile) {
  ASSERT_EQ(LoadParams(P, files), kLoadOk);
  const std::string without = ParamsToText(P);
  ASSERT_TRUE(WriteDefaultIni(files));
  ASSERT_EQ(LoadParams(P, files), kLoadOk);
  EXPECT_EQ(ParamsToText(P), without);
}

TEST_F(LoadIniTest, SummaryListsEveryValueInOrder) {
  LoadParams(P, files);
  P.GSM.TelNum = {"+420123456789", "", "777"};
  const std::string& d = dir.Path();
  const std::string expected =
      "\"Kelta-16\" \"KM-16S1\" \"1\" \"English\" \"IDx\" \"" + d + "Data\" \"" + d +
      "Triggers\" \"" + d +
      "ASCII\" \"1\" \"0\" \"0\" \"1\" \"0\" \"AIN0=1\" \"AIN1=1\" \"AIN2=1\" \"AIN3=1\" "
      "\"AIN4=1\" \"AIN5=1\" \"AIN6=1\" \"AIN7=1\" \"AVG0=0\" \"AVG1=0\" \"AVG2=0\" \"AVG3=0\" "
      "\"AVG4=0\" \"AVG5=0\" \"AVG6=0\" \"AVG7=0\" \"1\" \"0\" \"1000\" \"10\" \"1\" \"CMG-4T\" "
      "\"\" \"BHZ\" \"BHN\" \"BHE\" \"0\" \"1\" \"cosinus.txt\" \"1\" \"1\" \"1\" \"0\" \"20\" "
      "\"40\" \"0.5\" \"800\" \"550\" \"6:15\" \"start\" \"active\" \"0\" \"0\" \"0\" \"32000\" "
      "\"\" \"\" \"station@example.com\" \"COM2\" \"19200\" \"\" \"1\" \"0\" \"0\" "
      "\"+420123456789\" \"\" \"777\" \"+420000000000\" \"#\" \"+420000000001\" \"COM1\" "
      "\"9600\" \"0\" \"DSR\" \"1\" \"0\" \"0\" \"45\" \"1\" \"1\"";
  EXPECT_EQ(ParamsToText(P), expected);
}

template <class... T>
std::vector<long long> Ints(T... v) {
  return {static_cast<long long>(v)...};
}

// One key in an otherwise empty file, and what loading makes of it.
struct KeyCase {
  const char* legend;
  const char* ini;
  std::function<void(const TProgParam&, const std::string& programDir)> check;
};

class KeyRuleTest : public LoadIniTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(KeyRuleTest, Loads) {
  Load(GetParam().ini);
  GetParam().check(P, dir.Path());
}

const KeyCase kKeyCases[] = {
    {"DirectoryRules",
     "[Common]\r\nBackUpDir=Old\r\nDataDir=/srv/seis\r\nTrigDir=Seis\\Trig\\\r\nASCIIDir=\r\n",
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
    {"PostTimeZeroIsOne", "[Triggers]\r\nPostTime=0\r\n",
     [](auto& p, auto&) { EXPECT_EQ(p.PostTime, 1); }},
    {"TriggerTimesNotNumbers", "[Triggers]\r\nPredTime=x\r\nPostTime=\r\nSTAlength=0,7\r\n",
     [](auto& p, auto&) {
       EXPECT_EQ(Ints(p.PredTime, p.PostTime), Ints(20, 40));
       EXPECT_EQ(p.STAlength, 0.5);
     }},
    {"TCPIPportBelowRange", "[Communication]\r\nTCPIPport=80\r\n",
     [](auto& p, auto&) { EXPECT_EQ(p.TCPIPport, 32000); }},
    {"TCPIPportAboveRange", "[Communication]\r\nTCPIPport=70000\r\n",
     [](auto& p, auto&) { EXPECT_EQ(p.TCPIPport, 32000); }},
    {"TCPIPportEdgeKept", "[Communication]\r\nTCPIPport=1024\r\n",
     [](auto& p, auto&) { EXPECT_EQ(p.TCPIPport, 1024); }},
    {"EmailAddrLowerCased", "[Internet]\r\nEmailAddr=Seis.Station@Example.COM\r\n",
     [](auto& p, auto&) {
       EXPECT_EQ(p.EmailAddr, "seis.station@example.com");
       EXPECT_EQ(p.GSM.EmailGateAddr, "seis.station*example.com");
       EXPECT_TRUE(p.GSM.EmailGateOn);
     }},
    {"EmailAddrWithoutAtEmptied", "[Internet]\r\nEmailAddr=nobody.example.com\r\n",
     [](auto& p, auto&) {
       EXPECT_EQ(p.EmailAddr, "");
       EXPECT_EQ(p.GSM.EmailGateAddr, "");
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
    {"SendSMSWithoutPINOff",
     "[Communication]\r\nSendSMS=1\r\n[GSM]\r\nPIN=\r\nSMScentrum=+420602909909\r\n",
     [](auto& p, auto&) { EXPECT_FALSE(p.SendSMS); }},
    {"SendSMSWithBadCentreOff",
     "[Communication]\r\nSendSMS=1\r\n[GSM]\r\nPIN=1234\r\nSMScentrum=centre\r\n",
     [](auto& p, auto&) { EXPECT_FALSE(p.SendSMS); }},
    {"SendSMSWithPINAndCentreOn",
     "[Communication]\r\nSendSMS=1\r\n[GSM]\r\nPIN=1234\r\nSMScentrum=+420602909909\r\n",
     [](auto& p, auto&) { EXPECT_TRUE(p.SendSMS); }},
    {"EmailWinsOverSMS",
     "[Communication]\r\nSendSMS=1\r\nSendEmail=1\r\n[GSM]\r\nPIN=1234\r\n"
     "SMScentrum=+420602909909\r\n",
     [](auto& p, auto&) {
       EXPECT_FALSE(p.SendSMS);
       EXPECT_TRUE(p.SendEmail);
     }},
    {"IntervalAndMaxDiffZeroGive45", "[GPS]\r\nInterval=0\r\nMaxDiff=0\r\n",
     [](auto& p, auto&) { EXPECT_EQ(p.GPS.MaxDiff, 45); }},
    {"MaxDiffZeroKeptWithInterval", "[GPS]\r\nInterval=10\r\nMaxDiff=0\r\n",
     [](auto& p, auto&) { EXPECT_EQ(Ints(p.GPS.Interval, p.GPS.MaxDiff), Ints(10, 0)); }},
    {"MaxDiffNotANumberIsZero", "[GPS]\r\nInterval=10\r\nMaxDiff=abc\r\n",
     [](auto& p, auto&) { EXPECT_EQ(p.GPS.MaxDiff, 0); }},
    {"PPSLowerCase", "[GPS]\r\nPPS=cts\r\n", [](auto& p, auto&) { EXPECT_EQ(p.GPS.PPS, kSignalCTS); }},
    {"UpDateOffForcesNoWaitForSync", "[Registration]\r\nWaitForSync=1\r\n[GPS]\r\nUpDateOn=0\r\n",
     [](auto& p, auto&) { EXPECT_FALSE(p.WaitForSync); }},
    {"AlarmOnUsesChannel7", "[Common]\r\nAlarmOn=1\r\n",
     [](auto& p, auto&) { EXPECT_EQ(p.AlarmChannel, 7); }},
    {"PartialLoadPPSOnChannel3AndNoDoubleSensitivity",
     "[ADcard]\r\nFullLoad=0\r\nDoubleSensitivity=1\r\n", [](auto& p, auto&) {
       EXPECT_EQ(p.PPSChannel, 3);
       EXPECT_FALSE(p.DoubleSensitivity);
     }},
    {"AllChannelsForcesSaveGPS", "[Registration]\r\nAllChannels=1\r\nSaveGPS=0\r\n",
     [](auto& p, auto&) { EXPECT_TRUE(p.SaveGPS); }},
    {"BooleanOnlyOneIsTrue", "[Common]\r\nSaveLog=yes\r\nSeparateDirectory=true\r\n",
     [](auto& p, auto&) {
       EXPECT_FALSE(p.SaveLog);
       EXPECT_FALSE(p.SeparateDirectory);
     }},
    {"SendTimeHour25IsDefault", "[Communication]\r\nSendTime=25:00\r\n",
     [](auto& p, auto&) { EXPECT_EQ(Ints(p.SendHour, p.SendMinute), Ints(6, 15)); }},
    {"SendTimeWithSeconds", "[Communication]\r\nSendTime=7:05:30\r\n", [](auto& p, auto&) {
       EXPECT_EQ(Ints(p.SendHour, p.SendMinute, p.SendSecond), Ints(7, 5, 30));
     }},
    {"HugeNumbersFallBack",
     "[Converter]\r\nNumber=99999999999999999999\r\n[ADcard]\r\nSampleRate=99999999999999999999\r\n"
     "ReSampling=-99999999999999999999\r\n[Limits]\r\nAlarmTreshold=4294967296\r\n"
     "[Communication]\r\nTCPIPport=4294999999\r\n[GPS]\r\nCorrection=1e99\r\n",
     [](auto& p, auto&) {
       EXPECT_EQ(p.Converter.Number, 0);
       EXPECT_EQ(Ints(p.SampleRate, p.ReSampling), Ints(1000, 10));
       EXPECT_EQ(p.AlarmTreshold, 5000);
       EXPECT_EQ(p.TCPIPport, 32000);
       EXPECT_EQ(p.GPS.Correction, 1);
     }},
    {"SampleRateMustBePositive", "[ADcard]\r\nSampleRate=0\r\n",
     [](auto& p, auto&) { EXPECT_EQ(p.SampleRate, 1000); }},
    {"SampleRateOfTheFastestConverterKept", "[ADcard]\r\nSampleRate=10000\r\n",
     [](auto& p, auto&) { EXPECT_EQ(p.SampleRate, 10000); }},
    {"SampleRateNoConverterOffersIsDefault", "[ADcard]\r\nSampleRate=2000000\r\n",
     [](auto& p, auto&) { EXPECT_EQ(p.SampleRate, 1000); }},
    {"BaudRateNamesMatchWithoutCase", "[GSM]\r\nBaudRate=custom\r\n[GPS]\r\nBaudRate=4801\r\n",
     [](auto& p, auto&) {
       EXPECT_EQ(p.GSM.BaudRate, TBaudRate::brCustom);
       EXPECT_EQ(p.GPS.BaudRate, TBaudRate::br9600);
     }},
    {"AveragesNotANumberAreZero", "[Averages]\r\nAVGin2=12\r\nAVGin3=x\r\n",
     [](auto& p, auto&) { EXPECT_EQ(p.AVGin, (ArrayOfChannels{0, 0, 12, 0, 0, 0, 0, 0})); }},
};

INSTANTIATE_TEST_SUITE_P(Rules, KeyRuleTest, ::testing::ValuesIn(kKeyCases),
                         [](const auto& info) { return std::string(info.param.legend); });

TEST_F(LoadIniTest, LSBinNotANumberReportsAndTheRestStillLoads) {
  EXPECT_EQ(Load("[Sensor]\r\nLSBin0=2.5\r\nLSBin3=abc\r\n[GPS]\r\nPort=COM4\r\n"),
            kLoadLSBError);
  EXPECT_EQ(P.LSBin, (ArrayOfReal{2.5, 1, 1, 1, 1, 1, 1, 1}));
  EXPECT_EQ(P.GPS.Port, "COM4");
  EXPECT_TRUE(P.Filter.Loaded);
}

TEST_F(LoadIniTest, FilterErrorWinsOverLSBError) {
  EXPECT_EQ(Load("[Sensor]\r\nLSBin0=x\r\n[Registration]\r\nFilter=missing.txt\r\n"),
            kLoadFilterError);
  EXPECT_FALSE(P.Filter.Loaded);
  EXPECT_EQ(P.Filter.FileName, "");
  EXPECT_TRUE(P.Filter.Coefs.empty());
}

TEST_F(LoadIniTest, EmptyFilterNameMeansNoFilterAndNoError) {
  EXPECT_EQ(Load("[Registration]\r\nFilter=\r\n"), kLoadOk);
  EXPECT_FALSE(P.Filter.Loaded);
}

TEST_F(LoadIniTest, FilterNameIsRelativeToTheProgramDirectoryUnlessAbsolute) {
  std::filesystem::create_directory(dir.Path() + "filters");
  dir.Write("filters/f.txt", "1\n3\n");
  EXPECT_EQ(Load("[Registration]\r\nFilter=filters\\f.txt\r\n"), kLoadOk);
  EXPECT_EQ(P.Filter.Coefs, (ArrayOfReal{0.25, 0.75}));
  EXPECT_EQ(P.Filter.FileName, "filters\\f.txt");
  EXPECT_EQ(Load("[Registration]\r\nFilter=" + dir.Path() + "filters/f.txt\r\n"), kLoadOk);
  EXPECT_TRUE(P.Filter.Loaded);
}

TEST_F(LoadIniTest, GarbageAndForeignBytesLoadWithoutHarm) {
  using namespace std::string_literals;
  const std::string junk =
      "\x00\x01garbage\xFF\xFE\r\n[[[\r\n==\r\n[Common]\r\nIDStation=\xC8\xE9X\r\n"
      "\x00\r\n[GPS\r\nPort=COM3\r\n]]\r\n"s;
  EXPECT_EQ(Load(junk), kLoadOk);
  EXPECT_EQ(P.IDStation, "\xC8\xE9X");
  EXPECT_EQ(P.Converter.Model, "Kelta-16");
  EXPECT_EQ(P.GPS.Port, "COM1");  // "[GPS" is no header: the key stays in Common
}

// No key holds its default, and every value survives loading unchanged, so
// any key that is not read, not written or written differently shows here.
const char kEveryKeyChanged[] =
    "[Converter]\r\nModel=Kelta-16\r\nModule=KM-16S2\r\nNumber=3\r\nOffsetCompensation=0\r\n\r\n"
    "[Seismograph]\r\nModel=LE-3D\r\nSerialNo=SN 77\r\nFlagZ=EHZ\r\nFlagN=EHN\r\nFlagE=EHE\r\n\r\n"
    "[Common]\r\nLanguage=Czech\r\nIDStation=VELK\r\nDataDir=/srv/velkor/data/\r\n"
    "TrigDir=/var/lib/velkor/trig/\r\nASCIIDir=/srv/velkor/ascii/\r\nBackUpDir=/srv/velkor/bak/\r\n"
    "SeparateDirectory=0\r\nTwentyMinuteFile=1\r\nAutoShowDetails=1\r\nSaveLog=0\r\nAlarmOn=1\r\n\r\n"
    "[Sensor]\r\nLSBin0=0.125\r\nLSBin1=1\r\nLSBin2=2.5E-7\r\nLSBin3=3\r\nLSBin4=1E20\r\n"
    "LSBin5=6\r\nLSBin6=7\r\nLSBin7=8\r\n\r\n"
    "[Averages]\r\nAVGin0=-5\r\nAVGin1=0\r\nAVGin2=3\r\nAVGin3=100000\r\nAVGin4=0\r\nAVGin5=0\r\n"
    "AVGin6=0\r\nAVGin7=2147483647\r\n\r\n"
    "[Limits]\r\nPPSTreshold=7\r\nAlarmTreshold=123\r\n\r\n"
    "[ADcard]\r\nFullLoad=1\r\nDoubleSensitivity=1\r\nSampleRate=250\r\nReSampling=5\r\n\r\n"
    "[Registration]\r\nWaitForSync=0\r\nAllChannels=0\r\nSaveGPS=0\r\nFilter=cosinus.txt\r\n"
    "SaveNotValid=0\r\nSaveNoPPS=0\r\nContinuous=0\r\nTriggers=1\r\n\r\n"
    "[Triggers]\r\nPredTime=10\r\nPostTime=50\r\nSTAlength=1.25\r\nStartSTA=900\r\nStopSTA=400\r\n"
    "\r\n"
    "[Communication]\r\nSendTime=07:05\r\nStartMsg=station up\r\nDailyMsg=still alive\r\n"
    "SendEmail=1\r\nSendSMS=0\r\nSendTrigger=1\r\nTCPIPserver=server.example.net\r\n"
    "TCPIPport=40000\r\nTriggerMinute=30\r\n\r\n"
    "[Internet]\r\nEmailAddr=ops@example.org\r\n\r\n"
    "[GSM]\r\nPort=/dev/ttyUSB1\r\nBaudRate=115200\r\nPIN=0000\r\nEmailOnly=0\r\nQuarryMode=1\r\n"
    "M1mode=1\r\nTelNum0=+420111222333\r\nTelNum1=\r\nTelNum2=602000000\r\nEmailGate=1234\r\n"
    "EmailIndicator=EM \r\nSMScentrum=+420602909909\r\n\r\n"
    "[GPS]\r\nPort=sim-gps\r\nBaudRate=4800\r\nReadingDelay=12\r\nPPS=RI\r\nUpDateOn=1\r\n"
    "ValidOnly=1\r\nInterval=60\r\nMaxDiff=0\r\nDecNumber=0\r\nCorrection=-2\r\n\r\n"
    "[MiniSEED]\r\nNetwork=CZ\r\nLocation=00\r\nArchive=0\r\nArchiveDir=/srv/velkor/sds/\r\n\r\n"
    "[SeedLink]\r\nServer=0\r\nPort=18001\r\nAllow=10.0.0.0/8 192.168.1.7\r\n";

TEST_F(LoadIniTest, LoadThenSaveGivesTheFileBack) {
  ASSERT_EQ(Load(kEveryKeyChanged), kLoadOk);
  const std::string loaded = ParamsToText(P);
  std::filesystem::remove(dir.Path() + "velkor.ini");
  ASSERT_TRUE(SaveParams(P, files));
  EXPECT_EQ(dir.Read("velkor.ini"), kEveryKeyChanged);
  EXPECT_FALSE(dir.Exists("velkor.ini.tmp"));
  ASSERT_EQ(LoadParams(P, files), kLoadOk);
  EXPECT_EQ(ParamsToText(P), loaded);
}

TEST_F(LoadIniTest, SaveWritesAsManyLSBinKeysAsTheRecordHolds) {
  TProgParam p = FileDefaults();
  p.LSBin = {2, 3};
  p.AVGin = {1};
  ASSERT_TRUE(SaveParams(p, files));
  const std::string text = dir.Read("velkor.ini");
  EXPECT_NE(text.find("[Sensor]\r\nLSBin0=2\r\nLSBin1=3\r\n\r\n[Averages]\r\nAVGin0=1\r\n\r\n"),
            std::string::npos);
  ASSERT_EQ(LoadParams(P, files), kLoadOk);
  EXPECT_EQ(P.LSBin, (ArrayOfReal{2, 3, 1, 1, 1, 1, 1, 1}));
}

TEST_F(LoadIniTest, SaveDropsUnknownKeys) {
  dir.Write("velkor.ini", "[Common]\r\nObsolete=1\r\n[Extra]\r\nk=v\r\n");
  ASSERT_TRUE(SaveParams(FileDefaults(), files));
  EXPECT_EQ(dir.Read("velkor.ini"), kDefaultIni);
}

TEST_F(LoadIniTest, FailedSaveLeavesTheOldFileIntact) {
  dir.Write("velkor.ini", "[Common]\r\nIDStation=OLD\r\n");
  std::filesystem::create_directory(dir.Path() + "velkor.ini.tmp");  // temp file cannot be made
  EXPECT_FALSE(SaveParams(FileDefaults(), files));
  EXPECT_EQ(dir.Read("velkor.ini"), "[Common]\r\nIDStation=OLD\r\n");
}

TEST_F(LoadIniTest, SaveKeepsThePermissionsOfTheOldFile) {
  dir.Write("velkor.ini", "[Common]\r\n");
  ::chmod((dir.Path() + "velkor.ini").c_str(), 0600);
  ASSERT_TRUE(SaveParams(FileDefaults(), files));
  struct stat st{};
  ASSERT_EQ(::stat((dir.Path() + "velkor.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(LoadIniRulesTest, PhoneNumbers) {
  for (const char* good : {"+420602909909", "12"}) EXPECT_TRUE(IsPhoneNumber(good)) << good;
  for (const char* bad : {"1", "+", "", "12a", "1+2", "++12", " 123"})
    EXPECT_FALSE(IsPhoneNumber(bad)) << '"' << bad << '"';
}

TEST(LoadIniRulesTest, PPSLines) {
  EXPECT_EQ(PPSLineToSignal("DSR"), kSignalDSR);
  EXPECT_EQ(PPSLineToSignal("cts"), kSignalCTS);
  EXPECT_EQ(PPSLineToSignal("Ri"), kSignalRI);
  EXPECT_EQ(PPSLineToSignal("cts/dsr"), kSignalDSR);  // DSR is looked for first
  EXPECT_EQ(PPSLineToSignal(""), kSignalNone);
  EXPECT_EQ(PPSLineToSignal("DCD"), kSignalNone);
  for (uint8_t s : {kSignalCTS, kSignalDSR, kSignalRI})
    EXPECT_EQ(PPSLineToSignal(PPSSignalToLine(s)), s);
  EXPECT_EQ(PPSSignalToLine(kSignalNone), "");
  EXPECT_EQ(PPSSignalToLine(kSignalCTS | kSignalDSR), "");
}

}  // namespace

namespace {

// The station code names every data file: it must stay one name in the day folder.
struct StationCodeCase {
  const char* legend;
  std::string raw, code;
  bool changed;
};

class StationCodeTest : public LoadIniTest, public ::testing::WithParamInterface<StationCodeCase> {};

TEST_P(StationCodeTest, IsMadeSafeForFileNamesAndTheChangeNoted) {
  LoadNotes notes;
  dir.Write(files.IniName, "[Common]\r\nIDStation=" + GetParam().raw + "\r\n");
  LoadParams(P, files, &notes);
  EXPECT_EQ(P.IDStation, GetParam().code);
  EXPECT_EQ(notes.StationCodeChange.empty(), !GetParam().changed) << notes.StationCodeChange;
  if (GetParam().changed)
    EXPECT_EQ(notes.StationCodeChange.rfind("Station code changed to \"" + GetParam().code + "\": ", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, StationCodeTest,
    ::testing::Values(StationCodeCase{"plain", "ST01", "ST01", false},
                      StationCodeCase{"slash", "AB/CD", "AB_CD", true},
                      StationCodeCase{"climbing", "../../../x", ".._.._.._x", true},
                      StationCodeCase{"backslash_and_tab", "A\\B\tC", "A_B_C", true},
                      StationCodeCase{"dot_dot", "..", "IDx", true},
                      StationCodeCase{"dot", ".", "IDx", true},
                      StationCodeCase{"300_characters", std::string(300, 'Q'), std::string(32, 'Q'), true}),
    [](const auto& info) { return std::string(info.param.legend); });

// The filter's output lags its length behind the 180 s window: at 1 Hz a
// filter of 180 coefficients leaves nothing to save and is refused with a reason.
TEST_F(LoadIniTest, AFilterAsLongAsTheWindowIsRefusedWithItsReason) {
  std::string taps;
  for (int i = 0; i < 179; ++i) taps += "1\r\n";
  dir.Write("short.txt", taps);
  dir.Write("window.txt", taps + "1\r\n");
  LoadNotes notes;
  dir.Write(files.IniName, "[ADcard]\r\nSampleRate=1\r\n[Registration]\r\nFilter=short.txt\r\n");
  EXPECT_EQ(LoadParams(P, files, &notes), kLoadOk);
  EXPECT_TRUE(P.Filter.Loaded);
  EXPECT_EQ(notes.FilterProblem, "");
  dir.Write(files.IniName, "[ADcard]\r\nSampleRate=1\r\n[Registration]\r\nFilter=window.txt\r\n");
  EXPECT_EQ(LoadParams(P, files, &notes), kLoadFilterError);
  EXPECT_FALSE(P.Filter.Loaded);
  EXPECT_EQ(P.Filter.FileName, "");
  EXPECT_TRUE(P.Filter.Coefs.empty());
  EXPECT_EQ(notes.FilterProblem,
            "The filter has 180 coefficients; the 180 s window holds 180 frames, so nothing "
            "would be filtered or saved.");
}

}  // namespace
TEST_F(LoadIniTest, MiniSeedAndSeedLinkKeysLoadWithTheirRules) {
  struct Case {
    const char* name;
    const char* file;
    uint16_t port;
    bool archive;
    std::string archiveDir;  // relative to the program directory unless absolute
  } cases[] = {
      {"defaults", "", 18000, true, "SDS/"},
      {"port out of range", "[SeedLink]\r\nPort=70000\r\n", 18000, true, "SDS/"},
      {"port not a number", "[SeedLink]\r\nPort=x\r\n", 18000, true, "SDS/"},
      {"own port and folder", "[SeedLink]\r\nPort=18500\r\n[MiniSEED]\r\nArchiveDir=/d/sds\r\nArchive=0\r\n",
       18500, false, "/d/sds/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dir.Write("velkor.ini", c.file);
    LoadParams(P, files);
    EXPECT_EQ(P.SeedLink.Port, c.port);
    EXPECT_EQ(P.MiniSEED.Archive, c.archive);
    EXPECT_EQ(P.MiniSEED.ArchiveDir, c.archiveDir[0] == '/' ? c.archiveDir : dir.Path() + c.archiveDir);
    if (!c.file[0]) EXPECT_EQ(P.MiniSEED.Network, "XX");
  }
}
