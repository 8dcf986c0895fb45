#pragma once
// LoadINI: the configuration file and the configuration record.
//
// Directories after loading are absolute and end with "/": a text starting
// with "/" is kept, any other text (with "\" read as "/") is put after the
// program directory, and an empty text is the program directory itself.
// Storage code appends file and folder names to them directly.
#include <cstdint>
#include <string>

#include "config/progparam.h"

struct ProgramFiles {            // derived at start-up by the controller
  std::string ProgramDir;        // station directory, with trailing '/'
  std::string IniName = "velkor.ini", LogName = "velkor.log", ScriptName = "velkor.sh";
  std::string IniPath() const { return ProgramDir + IniName; }
};

constexpr int kLoadOk = 0;
constexpr int kLoadFilterError = -1;  // the filter file failed; the station runs unfiltered
constexpr int kLoadLSBError = -2;     // a Sensor/LSBin value was not a number

// What loading changed or refused, for the log: each text empty when nothing.
struct LoadNotes {
  std::string FilterProblem;      // why the filter file was refused
  std::string StationCodeChange;  // how Common/IDStation was made safe for file names
};

// Seconds of the sample windows; a filter needs fewer frames than they hold.
constexpr int32_t kWindowSeconds = 180;
constexpr size_t kMaxStationCodeLength = 32;

// Fills P from the file (defaults for a missing file or key) and loads the
// filter file it names. 0, kLoadFilterError or kLoadLSBError; the filter
// error wins when both happen. P is complete in every case.
int LoadParams(TProgParam& P, const ProgramFiles& files, LoadNotes* notes = nullptr);

// The station code names every data file: path separators and control
// characters become "_", "." and ".." become the default "IDx", and the
// code is cut to 32 characters. `change` says what was done (empty: nothing).
std::string SanitiseStationCode(const std::string& raw, std::string& change);
// Creates the file with every key at its default; an existing file is left
// alone (true). False when the file could not be written.
bool WriteDefaultIni(const ProgramFiles& files);
// Replaces the file with every key from P, atomically: a failed write leaves
// the old file as it was and returns false.
bool SaveParams(const TProgParam& P, const ProgramFiles& files);
// The whole record on one line for the event log: quoted values joined by blanks.
std::string ParamsToText(const TProgParam& P);

// At least two characters, the first "+" or a digit, the others digits.
bool IsPhoneNumber(const std::string& text);
// Upper-cased text containing "DSR", else "CTS", else "RI"; else none.
uint8_t PPSLineToSignal(const std::string& text);
// "CTS", "DSR", "RI", or empty for none (or any other value).
std::string PPSSignalToLine(uint8_t signal);
// General format: up to 15 significant digits, no trailing zeros, "." as the
// decimal separator; exponent form ("1E-5", "1.5E20") below 1E-4 and from 1E15.
std::string FormatReal(double v);

// The record as a new file holds it: directories and the filter name
// relative, as written by WriteDefaultIni.
TProgParam FileDefaults();
