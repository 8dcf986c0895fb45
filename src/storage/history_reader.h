#pragma once
// Reading stored GSE2 data back for the history view. The file of a moment is
// found by its name alone; inside it the first WID2 block at or after the
// requested moment starts the read, and the requested seconds of every channel
// land in one interleaved array with empty frames counted as errors.
//
// Files we read may be torn by a crash (a WID2/DAT2 block with part of its data
// and no CHK2, followed by a fresh WID2 line), cut short by a copy, garbled or
// not ours at all: every such case ends in a result code, never a crash.
#include <cstdint>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "config/progparam.h"

// Results of a history read. The messages of -2 … -8 are followed by the file
// name and a closing double quote (HistoryMessage).
enum THistoryResult : int32_t {
  kHistOk = 0,              // the data reach the requested end
  kHistShort = -1,          // the file ended first; what was read is valid
  kHistNoFile = -2,
  kHistCannotOpen = -3,     // also while a writer holds the file
  kHistUnknownSize = -4,
  kHistCannotSeek = -5,
  kHistNoRequestedData = -6,
  kHistDamaged = -7,        // a WID2 field or data value that is not a number
  kHistNoMemory = -8,       // the samples do not fit in memory (or an absurd span/rate)
};

// The picture and export data of the last read; one per program. The
// renderer's picture is {Valid, ChannelCount, SampleRate, DisplaySamples}.
struct THistoryRecord {
  TDateTime StartTime = 0;   // of the first block read
  std::string Station;
  std::string InstrumentType;
  int32_t ChannelCount = 0;  // blocks sharing the first block's start time
  int32_t Errors = 0;        // frames of the requested span no block filled
  int32_t CarriedFrames = 0;
  double SampleRate = 0;
  std::vector<double> Calibration;  // nm/s per count, per channel
  std::vector<std::string> AuxIds;
  std::vector<std::string> ChannelCodes;
  std::vector<int32_t> Peak;        // largest-magnitude value placed, sign kept
  std::vector<int32_t> Samples;     // value of channel k of frame f at f * ChannelCount + k
  std::vector<int32_t> DisplaySamples;  // Samples × the channel's calibration, rounded
  bool Valid = false;
  // Why the last read failed with kHistDamaged or kHistNoMemory.
  std::string Problem;
  // The file the picture was read from first, and whether it is a trigger
  // file (set by navigation).
  std::string FileName;
  bool TriggerFile = false;

  // Placement state, kept so that a follow-on read continues the same picture.
  TDateTime RequestStart = 0;
  std::vector<bool> Filled;      // one per value of Samples
  bool HavePreviousSet = false;
  int64_t PreviousSetStartMs = 0;
  int64_t PreviousSetEnd = 0;    // frame after the previous set
};

// Reads data files into a record. Holds the carry buffer: values that fell past
// the end of the last picture, offered to the next read that starts where that
// picture ended.
class THistoryReader {
 public:
  // Fresh read when `record.Valid` is false (the record is rebuilt), follow-on
  // read when it is true (blocks of this file go into the same array, relative
  // to the same requested start). Reads from the first block at or after
  // `startTime` until `endTime`.
  int32_t Read(const std::string& fileName, THistoryRecord& record, TDateTime endTime,
               TDateTime startTime);

  // The same on file contents already in memory (`fileName` only names it).
  int32_t ReadBytes(const std::string& bytes, THistoryRecord& record, TDateTime endTime,
                    TDateTime startTime);

  int32_t CarriedFrames() const;

  // The whole file copied into `bytes` under a shared lock held only for the
  // copy; kHistOk or the code of the failure.
  static int32_t LoadFile(const std::string& fileName, std::string& bytes, std::string& problem);

 private:
  int32_t ReadParsed(const std::string& bytes, THistoryRecord& record, TDateTime endTime,
                     TDateTime startTime);

  std::vector<int32_t> m_carry;  // whole frames of m_carryChannels values
  int32_t m_carryChannels = 0;
  TDateTime m_carryTime = 0;
};

// The box text of a failed read, e.g. "No data file found. \"" + name + "\"";
// empty for kHistOk and kHistShort.
std::string HistoryMessage(int32_t result, const std::string& fileName,
                           const std::string& problem = "");

// Display samples := samples × calibration of each value's channel, rounded to
// nearest and held inside the 32-bit range.
void ComputeDisplaySamples(THistoryRecord& record);

// "15.01.2005 12:00:00": the date and time field of the history panel.
std::string FormatHistoryDateTime(TDateTime t);
// Reads that field back ("dd.mm.yyyy hh:nn:ss"); false when malformed.
bool ParseHistoryDateTime(const std::string& text, TDateTime& out);

// Window caption of a history picture:
// "XYZ 15.01.2005 12:00:00  CMG-4T @100Hz Errors: 0".
std::string HistoryCaption(const THistoryRecord& record);

enum class THistoryStep { None, Previous, Next };

// (3 × seconds shown) div 4 when more than 1 second is shown, else 1.
int32_t HistoryStepSeconds(int32_t secondsShown);

// The file that holds `t`: the trigger file named after it (with seconds), or
// the continuous file of its hour (or 20 minutes).
std::string HistoryFileName(const TProgParam& p, bool trigger, TDateTime t);

// Start times of the first and the last block of a file; false when it has none.
bool HistoryFileSpan(const std::string& fileName, TDateTime& first, TDateTime& last);
// The trigger file of the station before (direction < 0) or after `current`
// in time, anywhere in the trigger tree; empty when there is none.
std::string NeighbourTriggerFile(const TProgParam& p, const std::string& current, int direction);

struct THistoryNavigation {
  int32_t Result = kHistNoFile;
  TDateTime Requested = 0;     // T after the step
  std::string FileName;        // the file whose result is reported
  std::string Message;         // box text when the record is not valid, else empty
  TDateTime Shown = 0;         // what the date/time field shows afterwards
};

// One press of Previous/Next, Enter in the date field, the Trigger box or a
// change of the seconds shown (step None): reads the picture at `typed`
// (moved by the step), continues a continuous read into the next file when the
// first one ends early, and fills the display samples of a valid record. A
// failed read leaves `record` as it was. In trigger mode Previous/Next page
// through the shown record's file and, past its ends, go to the neighbouring
// trigger file.
THistoryNavigation BtnPrevNextClick(THistoryReader& reader, THistoryRecord& record,
                                    const TProgParam& p, TDateTime typed,
                                    int32_t secondsShown, THistoryStep step, bool trigger);
