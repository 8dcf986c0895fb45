#pragma once
// The history picture as tab-separated text for spreadsheets and analysis
// tools. Lines end with CR LF; numbers use "." whatever the locale.
//
//   15.01.05 12:00:00          start time
//   XYZ                        station code
//   0
//   100                        sample rate, shortest form
//   0.0012345<TAB>…            calibration of each channel
//   6000                       samples per channel
//   -1234<TAB>…                peak of each channel
//   Z<TAB>N<TAB>E              auxiliary id of each channel
//   12<TAB>-3<TAB>7            one line per frame, raw values as stored
#include <string>

#include "storage/history_reader.h"

// The whole file text of a valid record with at least one channel.
std::string FormatAsciiExport(const THistoryRecord& record);

struct TAsciiExportResult {
  bool Attempted = false;   // false: the record was not valid, nothing was done
  bool Written = false;
  std::string FileName;
  std::string LogLine;      // for IndicateSaveLog; empty when not attempted
  std::string Error;        // why the file was not written
};

// `BtnAsciiClick`: writes the record to ASCIIDir/yymmddhhnnss.CODE, creating
// the directory with its parents and replacing an existing file.
TAsciiExportResult BtnAsciiClick(const THistoryRecord& record, const std::string& asciiDir);
