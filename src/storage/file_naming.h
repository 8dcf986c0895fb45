#pragma once
// Names of the station's data files. A file's name follows from its kind and
// its start time alone, so the writer knows where a segment goes and the
// history reader finds the file of a moment without an index.
//
//   continuous  DataDir/[mm/dd/]yymmddhh[a|b|c].ID
//   trigger     TrigDir/[mm/dd/]yymmddhhnnss.ID
//   ASCII       ASCIIDir/yymmddhhnnss.CODE
//
// Roots are used as given (absolute after loading); a trailing "/" is not
// doubled.
#include <string>

#include "common/datetime.h"
#include "config/progparam.h"

// "mm/dd/" of `t`: the month/day tree below a root. No year: names carry it.
std::string MonthDayTree(TDateTime t);

// "a", "b" or "c" for minutes 0-19, 20-39, 40-59 of `t`.
std::string TwentyMinuteSuffix(TDateTime t);

std::string ContinuousFileName(const std::string& dataDir, const std::string& idStation,
                               bool separateDirectory, bool twentyMinuteFile, TDateTime t);
std::string ContinuousFileName(const TProgParam& p, TDateTime t);

std::string TriggerFileName(const std::string& trigDir, const std::string& idStation,
                            bool separateDirectory, TDateTime t);
std::string TriggerFileName(const TProgParam& p, TDateTime t);

// `stationCode` is the code read from the exported data, not the configured one;
// a path separator or NUL in it becomes "_".
std::string AsciiFileName(const std::string& asciiDir, const std::string& stationCode,
                          TDateTime t);
