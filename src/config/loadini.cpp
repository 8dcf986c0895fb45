#include "config/loadini.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "common/baudrate.h"
#include "config/atomic_file.h"
#include "config/calibration_files.h"
#include "config/inifile.h"
#include "config/valueconv.h"

namespace {

constexpr char kHelpFileName[] = "docs/manual.html";
constexpr char kScriptOptions[] = "//B //Nologo //T:60";
constexpr int32_t kMaxTriggerSpan = 50;  // seconds before / after a trigger
constexpr int32_t kMaxSampleRate = 10000;  // Hz, the fastest rate of any supported converter

std::string B(bool v) { return v ? "1" : "0"; }
std::string I(int64_t v) { return std::to_string(v); }

std::string TwoDigits(unsigned v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02u", v);
  return buf;
}

// The one table of the file: sections, keys in file order and the encoding of
// every value. Both writers and the defaults of the reader come from it.
std::vector<IniSection> ParamsToSections(const TProgParam& P) {
  std::vector<IniSection> s;
  s.push_back({"Converter",
               {{"Model", P.Converter.Model},
                {"Module", P.Converter.Module},
                {"Number", I(P.Converter.Number)},
                {"OffsetCompensation", B(P.Converter.OffsetCompensation)}}});
  s.push_back({"Seismograph",
               {{"Model", P.Seismograph.Model},
                {"SerialNo", P.Seismograph.SerialNo},
                {"FlagZ", P.Seismograph.FlagZ},
                {"FlagN", P.Seismograph.FlagN},
                {"FlagE", P.Seismograph.FlagE}}});
  s.push_back({"Common",
               {{"Language", P.Language},
                {"IDStation", P.IDStation},
                {"DataDir", P.DataDir},
                {"TrigDir", P.TrigDir},
                {"ASCIIDir", P.ASCIIDir},
                {"BackUpDir", P.BackupDir},
                {"SeparateDirectory", B(P.SeparateDirectory)},
                {"TwentyMinuteFile", B(P.TwentyMinuteFile)},
                {"AutoShowDetails", B(P.AutoShowDetails)},
                {"SaveLog", B(P.SaveLog)},
                {"AlarmOn", B(P.AlarmOn)}}});
  IniSection sensor{"Sensor", {}};
  for (size_t n = 0; n < P.LSBin.size(); ++n)
    sensor.keys.push_back({"LSBin" + I(static_cast<int64_t>(n)), FormatReal(P.LSBin[n])});
  s.push_back(std::move(sensor));
  IniSection averages{"Averages", {}};
  for (size_t n = 0; n < P.AVGin.size(); ++n)
    averages.keys.push_back({"AVGin" + I(static_cast<int64_t>(n)), I(P.AVGin[n])});
  s.push_back(std::move(averages));
  s.push_back({"Limits",
               {{"PPSTreshold", I(P.PPSTreshold)}, {"AlarmTreshold", I(P.AlarmTreshold)}}});
  s.push_back({"ADcard",
               {{"FullLoad", B(P.FullLoad)},
                {"DoubleSensitivity", B(P.DoubleSensitivity)},
                {"SampleRate", I(P.SampleRate)},
                {"ReSampling", I(P.ReSampling)}}});
  s.push_back({"Registration",
               {{"WaitForSync", B(P.WaitForSync)},
                {"AllChannels", B(P.AllChannels)},
                {"SaveGPS", B(P.SaveGPS)},
                {"Filter", P.Filter.FileName},
                {"SaveNotValid", B(P.SaveNotValid)},
                {"SaveNoPPS", B(P.SaveNoPPS)},
                {"Continuous", B(P.Continuous)},
                {"Triggers", B(P.Triggers)}}});
  s.push_back({"Triggers",
               {{"PredTime", I(P.PredTime)},
                {"PostTime", I(P.PostTime)},
                {"STAlength", FormatReal(P.STAlength)},
                {"StartSTA", I(P.StartSTA)},
                {"StopSTA", I(P.StopSTA)}}});
  s.push_back({"Communication",
               {{"SendTime", TwoDigits(P.SendHour) + ":" + TwoDigits(P.SendMinute)},
                {"StartMsg", P.StartMsg},
                {"DailyMsg", P.DailyMsg},
                {"SendEmail", B(P.SendEmail)},
                {"SendSMS", B(P.SendSMS)},
                {"SendTrigger", B(P.SendTrigger)},
                {"TCPIPserver", P.TCPIPserver},
                {"TCPIPport", I(P.TCPIPport)},
                {"TriggerMinute", P.TriggerMinute}}});
  s.push_back({"Internet", {{"EmailAddr", P.EmailAddr}}});
  IniSection gsm{"GSM",
                 {{"Port", P.GSM.Port},
                  {"BaudRate", BaudRateToStr(P.GSM.BaudRate)},
                  {"PIN", P.GSM.PIN},
                  {"EmailOnly", B(P.GSM.EmailOnly)},
                  {"QuarryMode", B(P.GSM.QuarryMode)},
                  {"M1mode", B(P.GSM.M1mode)}}};
  for (size_t n = 0; n < 3; ++n)
    gsm.keys.push_back(
        {"TelNum" + I(static_cast<int64_t>(n)), n < P.GSM.TelNum.size() ? P.GSM.TelNum[n] : ""});
  gsm.keys.push_back({"EmailGate", P.GSM.EmailGate});
  gsm.keys.push_back({"EmailIndicator", P.GSM.EmailIndicator});
  gsm.keys.push_back({"SMScentrum", P.GSM.SMScentrum});
  s.push_back(std::move(gsm));
  s.push_back({"GPS",
               {{"Port", P.GPS.Port},
                {"BaudRate", BaudRateToStr(P.GPS.BaudRate)},
                {"ReadingDelay", I(P.GPS.ReadingDelay)},
                {"PPS", PPSSignalToLine(P.GPS.PPS)},
                {"UpDateOn", B(P.GPS.UpDateOn)},
                {"ValidOnly", B(P.GPS.ValidOnly)},
                {"Interval", I(P.GPS.Interval)},
                {"MaxDiff", I(P.GPS.MaxDiff)},
                {"DecNumber", B(P.GPS.DecNumber)},
                {"Correction", I(P.GPS.Correction)}}});
  s.push_back({"MiniSEED",
               {{"Network", P.MiniSEED.Network},
                {"Location", P.MiniSEED.Location},
                {"Archive", B(P.MiniSEED.Archive)},
                {"ArchiveDir", P.MiniSEED.ArchiveDir}}});
  s.push_back({"SeedLink",
               {{"Server", B(P.SeedLink.Server)},
                {"Port", I(P.SeedLink.Port)},
                {"Allow", P.SeedLink.Allow}}});
  return s;
}

const IniFile& Defaults() {
  static const IniFile defaults = IniFile::Parse(FormatIni(ParamsToSections(FileDefaults())));
  return defaults;
}

// Reads a key as the profile functions do: the text in the file, or the
// default text when the key is missing.
class Reader {
 public:
  explicit Reader(const IniFile& ini) : m_ini(ini) {}
  std::string Text(const char* section, const char* key) const {
    if (const std::string* v = m_ini.Find(section, key)) return *v;
    if (const std::string* d = Defaults().Find(section, key)) return *d;
    return {};
  }
  bool Bool(const char* section, const char* key) const { return Text(section, key) == "1"; }
  int32_t Int(const char* section, const char* key, int32_t fallback) const {
    return ParseInt32(Text(section, key)).value_or(fallback);
  }
  std::optional<double> Real(const char* section, const char* key) const {
    return ParseReal(Text(section, key));
  }

 private:
  const IniFile& m_ini;
};

std::string BackslashesToSlashes(std::string s) {
  for (char& c : s)
    if (c == '\\') c = '/';
  return s;
}

std::string ResolveDir(const std::string& text, const std::string& programDir) {
  std::string dir =
      !text.empty() && text.front() == '/' ? text : programDir + BackslashesToSlashes(text);
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

std::string ResolveFile(const std::string& name, const std::string& programDir) {
  return !name.empty() && name.front() == '/' ? name : programDir + BackslashesToSlashes(name);
}

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

bool FileExists(const std::string& path) {
  struct stat st{};
  return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

TProgParam FileDefaults() {
  TProgParam P;
  P.Converter = {"Kelta-16", "KM-16S1", true, 0};
  P.Seismograph = {"CMG-4T", "", "BHZ", "BHN", "BHE"};
  P.Language = "English";
  P.IDStation = "IDx";
  P.DataDir = "Data";
  P.TrigDir = "Triggers";
  P.ASCIIDir = "ASCII";
  P.BackupDir = "Backup";
  P.SeparateDirectory = true;
  P.TwentyMinuteFile = false;
  P.AutoShowDetails = false;
  P.SaveLog = true;
  P.AlarmOn = false;
  P.LSBin.assign(kChannelCount, 1.0);
  P.AVGin.assign(kChannelCount, 0);
  P.PPSTreshold = 5;
  P.AlarmTreshold = 5000;
  P.FullLoad = true;
  P.DoubleSensitivity = false;
  P.SampleRate = 1000;
  P.ReSampling = 10;
  P.WaitForSync = true;
  P.AllChannels = false;
  P.SaveGPS = true;
  P.Filter.FileName = "cosinus.txt";
  P.SaveNotValid = true;
  P.SaveNoPPS = true;
  P.Continuous = true;
  P.Triggers = false;
  P.PredTime = 20;
  P.PostTime = 40;
  P.STAlength = 0.5;
  P.StartSTA = 800;
  P.StopSTA = 550;
  P.SendHour = 6;
  P.SendMinute = 15;
  P.StartMsg = "start";
  P.DailyMsg = "active";
  P.SendEmail = false;
  P.SendSMS = false;
  P.SendTrigger = false;
  P.TCPIPport = 32000;
  P.EmailAddr = "station@example.com";
  P.GSM.Port = "COM2";
  P.GSM.BaudRate = TBaudRate::br19200;
  P.GSM.EmailOnly = true;
  P.GSM.TelNum.assign(3, "");
  P.GSM.EmailGate = "+420000000000";
  P.GSM.EmailIndicator = "#";
  P.GSM.SMScentrum = "+420000000001";
  P.GPS.Port = "COM1";
  P.GPS.BaudRate = TBaudRate::br9600;
  P.GPS.ReadingDelay = 0;
  P.GPS.PPS = kSignalDSR;
  P.GPS.UpDateOn = true;
  P.GPS.ValidOnly = false;
  P.GPS.Interval = 0;
  P.GPS.MaxDiff = 45;
  P.GPS.DecNumber = true;
  P.GPS.Correction = 1;
  P.MiniSEED.Network = "XX";
  P.MiniSEED.Archive = true;
  P.MiniSEED.ArchiveDir = "SDS";
  P.SeedLink.Server = true;
  P.SeedLink.Port = 18000;
  return P;
}

std::string SanitiseStationCode(const std::string& raw, std::string& change) {
  change.clear();
  std::string code = raw.substr(0, kMaxStationCodeLength);
  bool replaced = false;
  for (char& c : code) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || u < 0x20 || u == 0x7f) {
      c = '_';
      replaced = true;
    }
  }
  std::vector<std::string> what;
  if (replaced) what.push_back("path separators and control characters replaced");
  if (raw.size() > kMaxStationCodeLength)
    what.push_back("cut from " + std::to_string(raw.size()) + " to " +
                   std::to_string(kMaxStationCodeLength) + " characters");
  if (code == "." || code == "..") {
    what.push_back("\"" + code + "\" cannot name a file");
    code = "IDx";
  }
  for (size_t i = 0; i < what.size(); ++i) change += (i ? ", " : "") + what[i];
  return code;
}

int LoadParams(TProgParam& P, const ProgramFiles& files, LoadNotes* notes) {
  LoadNotes unused;
  LoadNotes& note = notes ? *notes : unused;
  note = LoadNotes{};
  const std::string& dir = files.ProgramDir;
  IniFile ini;
  IniFile::Load(files.IniPath(), ini);  // unreadable reads as empty: defaults apply
  const Reader r(ini);
  bool lsbError = false, filterError = false;
  P = TProgParam{};

  P.Converter.Model = r.Text("Converter", "Model");
  P.Converter.Module = r.Text("Converter", "Module");
  P.Converter.Number = r.Int("Converter", "Number", 0);
  P.Converter.OffsetCompensation = r.Bool("Converter", "OffsetCompensation");
  P.Seismograph.Model = r.Text("Seismograph", "Model");
  P.Seismograph.SerialNo = r.Text("Seismograph", "SerialNo");
  P.Seismograph.FlagZ = r.Text("Seismograph", "FlagZ");
  P.Seismograph.FlagN = r.Text("Seismograph", "FlagN");
  P.Seismograph.FlagE = r.Text("Seismograph", "FlagE");
  P.Language = r.Text("Common", "Language");
  std::string codeChange;
  P.IDStation = SanitiseStationCode(r.Text("Common", "IDStation"), codeChange);
  if (!codeChange.empty())
    note.StationCodeChange = "Station code changed to \"" + P.IDStation + "\": " + codeChange + ".";
  P.DataDir = ResolveDir(r.Text("Common", "DataDir"), dir);
  P.TrigDir = ResolveDir(r.Text("Common", "TrigDir"), dir);
  P.ASCIIDir = ResolveDir(r.Text("Common", "ASCIIDir"), dir);
  P.BackupDir = ResolveDir(r.Text("Common", "BackupDir"), dir);
  P.SeparateDirectory = r.Bool("Common", "SeparateDirectory");
  P.TwentyMinuteFile = r.Bool("Common", "TwentyMinuteFile");
  P.AutoShowDetails = r.Bool("Common", "AutoShowDetails");
  P.SaveLog = r.Bool("Common", "SaveLog");
  P.AlarmOn = r.Bool("Common", "AlarmOn");

  P.LogFile = dir + files.LogName;
  P.HelpFile = dir + kHelpFileName;
  P.ScriptFile = dir + files.ScriptName;
  P.ScriptOptions = kScriptOptions;

  P.LSBin.resize(kChannelCount);
  P.AVGin.resize(kChannelCount);
  for (int n = 0; n < kChannelCount; ++n) {
    const std::string lsb = "LSBin" + std::to_string(n), avg = "AVGin" + std::to_string(n);
    std::optional<double> v = r.Real("Sensor", lsb.c_str());
    if (!v) lsbError = true;
    P.LSBin[n] = v.value_or(1.0);
    P.AVGin[n] = r.Int("Averages", avg.c_str(), 0);
  }

  P.PPSTreshold = r.Int("Limits", "PPSTreshold", 5);
  P.AlarmTreshold = r.Int("Limits", "AlarmTreshold", 5000);
  P.PPSLevel = P.PPSPeak = kInitialPPSLevel;
  P.FullLoad = r.Bool("ADcard", "FullLoad");
  P.PPSChannel = P.FullLoad ? 6 : 3;
  P.DoubleSensitivity = P.FullLoad && r.Bool("ADcard", "DoubleSensitivity");
  P.SampleRate = r.Int("ADcard", "SampleRate", 1000);
  // The sample windows are sized by the rate (180 s of 8 channels each) and
  // divided by it: no rate is no data, and a rate beyond the fastest converter
  // would ask for windows of gigabytes and end the start-up.
  if (P.SampleRate < 1 || P.SampleRate > kMaxSampleRate) P.SampleRate = 1000;
  P.ReSampling = r.Int("ADcard", "ReSampling", 10);

  P.WaitForSync = r.Bool("Registration", "WaitForSync");
  P.AllChannels = r.Bool("Registration", "AllChannels");
  P.SaveGPS = P.AllChannels || r.Bool("Registration", "SaveGPS");
  P.Filter.FileName = r.Text("Registration", "Filter");
  if (!P.Filter.FileName.empty()) {
    P.Filter.Loaded = LoadFilterFile(ResolveFile(P.Filter.FileName, dir), P.Filter.Coefs);
    // The filter's output lags its length behind the window: a filter as long
    // as the window leaves nothing to trigger on or to save.
    const int64_t windowFrames = int64_t{kWindowSeconds} * P.SampleRate;
    if (!P.Filter.Loaded) {
      note.FilterProblem = "The filter file \"" + P.Filter.FileName +
                           "\" is missing, empty or holds a line that is not a number.";
    } else if (static_cast<int64_t>(P.Filter.Coefs.size()) >= windowFrames) {
      note.FilterProblem = "The filter has " + std::to_string(P.Filter.Coefs.size()) +
                           " coefficients; the " + std::to_string(kWindowSeconds) +
                           " s window holds " + std::to_string(windowFrames) +
                           " frames, so nothing would be filtered or saved.";
      P.Filter.Loaded = false;
    }
    if (!P.Filter.Loaded) {
      P.Filter.FileName.clear();
      P.Filter.Coefs.clear();
      filterError = true;
    }
  }
  P.SaveNotValid = r.Bool("Registration", "SaveNotValid");
  P.SaveNoPPS = r.Bool("Registration", "SaveNoPPS");
  P.Continuous = r.Bool("Registration", "Continuous");
  P.Triggers = r.Bool("Registration", "Triggers");

  // The trigger record spans [event - PredTime, event + PostTime]; a negative
  // span would reach outside the data it was cut from.
  P.PredTime = std::clamp(r.Int("Triggers", "PredTime", 20), 0, kMaxTriggerSpan);
  // A record saved in the event's first quiet cycle holds none of the event.
  P.PostTime = std::clamp(r.Int("Triggers", "PostTime", 40), 1, kMaxTriggerSpan);
  P.STAlength = r.Real("Triggers", "STAlength").value_or(0.5);
  P.StartSTA = r.Int("Triggers", "StartSTA", 800);
  P.StopSTA = r.Int("Triggers", "StopSTA", 550);

  const TimeOfDay send = ParseTimeOfDay(r.Text("Communication", "SendTime"))
                             .value_or(TimeOfDay{6, 15, 0, 0});
  P.SendHour = send.hour;
  P.SendMinute = send.minute;
  P.SendSecond = send.second;
  P.SendMSec = send.msec;
  P.StartMsg = r.Text("Communication", "StartMsg");
  P.DailyMsg = r.Text("Communication", "DailyMsg");
  P.TestMsg = "Test...";
  P.SendSMS = r.Bool("Communication", "SendSMS");
  P.SendEmail = r.Bool("Communication", "SendEmail");
  P.SendTrigger = r.Bool("Communication", "SendTrigger");
  P.TCPIPserver = r.Text("Communication", "TCPIPserver");
  const int32_t port = r.Int("Communication", "TCPIPport", 32000);
  P.TCPIPport = static_cast<uint16_t>(port < 1024 || port > 65535 ? 32000 : port);
  P.TriggerMinute = r.Text("Communication", "TriggerMinute");
  if (P.TriggerMinute.find('*') != std::string::npos) P.TriggerMinute.clear();
  P.EmailAddr = LowerAscii(r.Text("Internet", "EmailAddr"));
  if (P.EmailAddr.find('@') == std::string::npos) P.EmailAddr.clear();

  P.GSM.Port = r.Text("GSM", "Port");
  P.GSM.BaudRate = StrToBaudRate(r.Text("GSM", "BaudRate"));
  P.GSM.PIN = r.Text("GSM", "PIN");
  P.GSM.EmailOnly = r.Bool("GSM", "EmailOnly");
  P.GSM.QuarryMode = r.Bool("GSM", "QuarryMode");
  P.GSM.M1mode = r.Bool("GSM", "M1mode");
  P.GSM.TelNum.assign(3, "");
  for (int n = 0; n < 3; ++n) {
    const std::string key = "TelNum" + std::to_string(n);
    std::string num = r.Text("GSM", key.c_str());
    if (IsPhoneNumber(num)) P.GSM.TelNum[n] = std::move(num);
  }
  P.GSM.EmailGate = r.Text("GSM", "EmailGate");
  P.GSM.EmailIndicator = r.Text("GSM", "EmailIndicator");
  if (P.GSM.EmailIndicator.size() >= 2) P.GSM.EmailIndicator += ' ';
  const bool addrUsable = P.EmailAddr.find_first_of("@*") != std::string::npos;
  if (addrUsable && !P.GSM.EmailGate.empty()) {
    P.GSM.EmailGateAddr = P.EmailAddr;
    size_t at = P.GSM.EmailGateAddr.find('@');
    if (at != std::string::npos) P.GSM.EmailGateAddr[at] = '*';
  }
  P.GSM.SMScentrum = r.Text("GSM", "SMScentrum");
  P.GSM.EmailGateOn = !P.GSM.EmailGateAddr.empty();
  if (P.SendSMS && (!IsPhoneNumber(P.GSM.SMScentrum) || P.GSM.PIN.empty())) P.SendSMS = false;

  P.GPS.Port = r.Text("GPS", "Port");
  P.GPS.BaudRate = StrToBaudRate(r.Text("GPS", "BaudRate"));
  P.GPS.PPS = PPSLineToSignal(r.Text("GPS", "PPS"));
  P.GPS.UpDateOn = r.Bool("GPS", "UpDateOn");
  P.GPS.ValidOnly = r.Bool("GPS", "ValidOnly");
  P.GPS.Interval = r.Int("GPS", "Interval", 0);
  P.GPS.MaxDiff = r.Int("GPS", "MaxDiff", 0);
  if (P.GPS.Interval == 0 && P.GPS.MaxDiff == 0) P.GPS.MaxDiff = 45;
  P.GPS.ReadingDelay = r.Int("GPS", "ReadingDelay", 0);
  P.GPS.Correction = r.Int("GPS", "Correction", 1);
  P.GPS.DecNumber = r.Bool("GPS", "DecNumber");
  P.GPS.DiffCount = P.GPS.InvalidCount = 0;

  P.MiniSEED.Network = r.Text("MiniSEED", "Network");
  P.MiniSEED.Location = r.Text("MiniSEED", "Location");
  P.MiniSEED.Archive = r.Bool("MiniSEED", "Archive");
  P.MiniSEED.ArchiveDir = ResolveDir(r.Text("MiniSEED", "ArchiveDir"), dir);
  P.SeedLink.Server = r.Bool("SeedLink", "Server");
  const int32_t slPort = r.Int("SeedLink", "Port", 18000);
  P.SeedLink.Port = static_cast<uint16_t>(slPort >= 1 && slPort <= 65535 ? slPort : 18000);
  P.SeedLink.Allow = r.Text("SeedLink", "Allow");

  if (!P.GPS.UpDateOn) P.WaitForSync = false;
  if (P.SendSMS && P.SendEmail) P.SendSMS = false;  // e-mail wins
  if (P.AlarmOn) P.AlarmChannel = 7;

  if (filterError) return kLoadFilterError;
  return lsbError ? kLoadLSBError : kLoadOk;
}

bool WriteDefaultIni(const ProgramFiles& files) {
  if (FileExists(files.IniPath())) return true;
  return WriteFileAtomically(files.IniPath(), FormatIni(ParamsToSections(FileDefaults())));
}

bool SaveParams(const TProgParam& P, const ProgramFiles& files) {
  return WriteFileAtomically(files.IniPath(), FormatIni(ParamsToSections(P)));
}

std::string ParamsToText(const TProgParam& P) {
  std::string out;
  auto add = [&out](const std::string& v) {
    if (!out.empty()) out += ' ';
    out += '"';
    out += v;
    out += '"';
  };
  add(P.Converter.Model);
  add(P.Converter.Module);
  add(B(P.Converter.OffsetCompensation));
  add(P.Language);
  add(P.IDStation);
  // Paths as they are read, without the trailing "/" the storage code uses.
  const auto path = [](std::string d) {
    if (d.size() > 1 && d.back() == '/') d.pop_back();
    return d;
  };
  add(path(P.DataDir));
  add(path(P.TrigDir));
  add(path(P.ASCIIDir));
  add(B(P.SeparateDirectory));
  add(B(P.TwentyMinuteFile));
  add(B(P.AutoShowDetails));
  add(B(P.SaveLog));
  add(B(P.AlarmOn));
  for (size_t i = 0; i < P.LSBin.size(); ++i)
    add("AIN" + std::to_string(i) + "=" + FormatReal(P.LSBin[i]));
  for (size_t i = 0; i < P.AVGin.size(); ++i)
    add("AVG" + std::to_string(i) + "=" + std::to_string(P.AVGin[i]));
  add(B(P.FullLoad));
  add(B(P.DoubleSensitivity));
  add(I(P.SampleRate));
  add(I(P.ReSampling));
  add(B(P.WaitForSync));
  add(P.Seismograph.Model);
  add(P.Seismograph.SerialNo);
  add(P.Seismograph.FlagZ);
  add(P.Seismograph.FlagN);
  add(P.Seismograph.FlagE);
  add(B(P.AllChannels));
  add(B(P.SaveGPS));
  add(P.Filter.FileName);
  add(B(P.SaveNotValid));
  add(B(P.SaveNoPPS));
  add(B(P.Continuous));
  add(B(P.Triggers));
  add(I(P.PredTime));
  add(I(P.PostTime));
  add(FormatReal(P.STAlength));
  add(I(P.StartSTA));
  add(I(P.StopSTA));
  add(I(P.SendHour) + ":" + I(P.SendMinute));
  add(P.StartMsg);
  add(P.DailyMsg);
  add(B(P.SendEmail));
  add(B(P.SendSMS));
  add(B(P.SendTrigger));
  add(I(P.TCPIPport));
  add(P.TCPIPserver);
  add(P.TriggerMinute);
  add(P.EmailAddr);
  add(P.GSM.Port);
  add(BaudRateToStr(P.GSM.BaudRate));
  add(P.GSM.PIN);
  add(B(P.GSM.EmailOnly));
  add(B(P.GSM.QuarryMode));
  add(B(P.GSM.M1mode));
  for (const std::string& num : P.GSM.TelNum) add(num);
  add(P.GSM.EmailGate);
  add(P.GSM.EmailIndicator);
  add(P.GSM.SMScentrum);
  add(P.GPS.Port);
  add(BaudRateToStr(P.GPS.BaudRate));
  add(I(P.GPS.ReadingDelay));
  add(PPSSignalToLine(P.GPS.PPS));
  add(B(P.GPS.UpDateOn));
  add(B(P.GPS.ValidOnly));
  add(I(P.GPS.Interval));
  add(I(P.GPS.MaxDiff));
  add(I(P.GPS.Correction));
  add(B(P.GPS.DecNumber));
  return out;
}

bool IsPhoneNumber(const std::string& text) {
  if (text.size() < 2) return false;
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (text[0] != '+' && !digit(text[0])) return false;
  for (size_t i = 1; i < text.size(); ++i)
    if (!digit(text[i])) return false;
  return true;
}

uint8_t PPSLineToSignal(const std::string& text) {
  std::string up = text;
  for (char& c : up)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (up.find("DSR") != std::string::npos) return kSignalDSR;
  if (up.find("CTS") != std::string::npos) return kSignalCTS;
  if (up.find("RI") != std::string::npos) return kSignalRI;
  return kSignalNone;
}

std::string PPSSignalToLine(uint8_t signal) {
  switch (signal) {
    case kSignalCTS: return "CTS";
    case kSignalDSR: return "DSR";
    case kSignalRI: return "RI";
    default: return "";
  }
}

std::string FormatReal(double v) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
  if (v == 0) return "0";
  // 15 significant digits, correctly rounded: "d.dddddddddddddde±x".
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", std::fabs(v));
  std::string digits;
  const char* p = buf;
  for (; *p != 'e'; ++p)
    if (*p != '.') digits += *p;
  const int exp = std::atoi(p + 1);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = v < 0 ? "-" : "";
  if (exp >= 15 || exp < -4) {
    out += digits[0];
    if (digits.size() > 1) out += "." + digits.substr(1);
    out += "E" + std::to_string(exp);
  } else if (exp >= 0) {
    const size_t intDigits = static_cast<size_t>(exp) + 1;
    if (digits.size() <= intDigits) {
      out += digits + std::string(intDigits - digits.size(), '0');
    } else {
      out += digits.substr(0, intDigits) + "." + digits.substr(intDigits);
    }
  } else {
    out += "0." + std::string(static_cast<size_t>(-exp - 1), '0') + digits;
  }
  return out;
}
