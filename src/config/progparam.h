#pragma once
// The station configuration record, filled once from the INI file at start-up.
#include <cstdint>
#include <string>

#include "common/baudrate.h"
#include "common/types.h"

// Modem-status lines that can carry the pulse per second.
enum : uint8_t { kSignalNone = 0, kSignalCTS = 1, kSignalDSR = 2, kSignalRI = 4 };

struct TConverter {
  std::string Model;
  std::string Module;
  bool OffsetCompensation = false;
  int32_t Number = 0;
};

struct TSeismograph {
  std::string Model;
  std::string SerialNo;
  std::string FlagZ, FlagN, FlagE;
};

struct TFilter {
  bool Loaded = false;
  std::string FileName;
  ArrayOfReal Coefs;
};

struct TGSMrec {
  std::string Port;
  TBaudRate BaudRate = TBaudRate::br9600;
  std::string PIN;
  bool EmailGateOn = false;
  bool EmailOnly = false, QuarryMode = false, M1mode = false;
  TArrayOfString TelNum;
  std::string EmailGate;
  std::string EmailIndicator;
  std::string EmailGateAddr;
  std::string SMScentrum;
};

struct TGPSrec {
  std::string Port;
  TBaudRate BaudRate = TBaudRate::br9600;
  uint8_t PPS = kSignalNone;
  bool UpDateOn = false, ValidOnly = false, DecNumber = false;
  int32_t ReadingDelay = 0, Interval = 0, MaxDiff = 0, Correction = 0;
  int32_t InvalidCount = 0, DiffCount = 0;
};

// Live data for the field's tools: miniSEED records, their SDS archive and
// the SeedLink server.
struct TMiniSEEDrec {
  std::string Network;     // SEED network code ("XX": no network)
  std::string Location;    // SEED location code, often empty
  bool Archive = false;    // write the SDS archive
  std::string ArchiveDir;  // its root (absolute after loading)
};

struct TSeedLinkrec {
  bool Server = false;
  uint16_t Port = 0;
  std::string Allow;  // client addresses or subnets; empty: everybody
};

struct TProgParam {
  TConverter Converter;
  TSeismograph Seismograph;
  std::string IDStation;
  std::string Language;
  std::string DataDir, TrigDir, ASCIIDir, BackupDir;
  bool SeparateDirectory = false, TwentyMinuteFile = false, AlarmOn = false, AllChannels = false,
       SaveGPS = false, SaveLog = false, SendSMS = false, SendEmail = false, SendTrigger = false,
       AutoShowDetails = false;
  std::string EmailAddr;
  std::string StartMsg, DailyMsg;
  std::string TestMsg;
  std::string TriggerMinute;
  uint16_t SendHour = 0, SendMinute = 0, SendSecond = 0, SendMSec = 0;
  ArrayOfReal LSBin;
  ArrayOfChannels AVGin;
  bool FullLoad = false, DoubleSensitivity = false;
  int32_t PPSChannel = 0;
  int32_t AlarmChannel = 0;
  int32_t PPSTreshold = 0;
  int32_t PPSLevel = 0, PPSPeak = 0;
  int32_t AlarmTreshold = 0;
  int32_t SampleRate = 0;
  int32_t ReSampling = 0;
  TFilter Filter;
  bool WaitForSync = false, SaveNotValid = false, SaveNoPPS = false, Continuous = false,
       Triggers = false;
  int32_t PredTime = 0, PostTime = 0;
  double STAlength = 0;
  int32_t StartSTA = 0, StopSTA = 0;
  std::string TCPIPserver;
  uint16_t TCPIPport = 0;
  TGSMrec GSM;
  TGPSrec GPS;
  std::string LogFile, HelpFile, ScriptFile;
  std::string ScriptOptions;
  TMiniSEEDrec MiniSEED;
  TSeedLinkrec SeedLink;
};

constexpr int32_t kInitialPPSLevel = 536870912;  // 2^29: above any real sample
