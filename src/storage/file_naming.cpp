#include "storage/file_naming.h"

#include <cstdio>

namespace {

std::string TwoDigits(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", v % 100);
  return buf;
}

std::string JoinRoot(const std::string& root) {
  if (!root.empty() && root.back() == '/') return root;
  return root + "/";
}

// yymmddhh, and nnss when `withSeconds`.
std::string Stamp(const DateTimeParts& p, bool withSeconds) {
  std::string s = TwoDigits(p.year) + TwoDigits(p.month) + TwoDigits(p.day) + TwoDigits(p.hour);
  if (withSeconds) s += TwoDigits(p.minute) + TwoDigits(p.second);
  return s;
}

}  // namespace

std::string MonthDayTree(TDateTime t) {
  const DateTimeParts p = DecodeDateTime(t);
  return TwoDigits(p.month) + "/" + TwoDigits(p.day) + "/";
}

std::string TwentyMinuteSuffix(TDateTime t) {
  const int minute = DecodeDateTime(t).minute;
  if (minute < 20) return "a";
  if (minute < 40) return "b";
  return "c";
}

std::string ContinuousFileName(const std::string& dataDir, const std::string& idStation,
                               bool separateDirectory, bool twentyMinuteFile, TDateTime t) {
  const DateTimeParts p = DecodeDateTime(t);
  std::string name = JoinRoot(dataDir);
  if (separateDirectory) name += MonthDayTree(t);
  name += Stamp(p, false);
  if (twentyMinuteFile) name += TwentyMinuteSuffix(t);
  return name + "." + idStation;
}

std::string ContinuousFileName(const TProgParam& p, TDateTime t) {
  return ContinuousFileName(p.DataDir, p.IDStation, p.SeparateDirectory, p.TwentyMinuteFile, t);
}

std::string TriggerFileName(const std::string& trigDir, const std::string& idStation,
                            bool separateDirectory, TDateTime t) {
  std::string name = JoinRoot(trigDir);
  if (separateDirectory) name += MonthDayTree(t);
  return name + Stamp(DecodeDateTime(t), true) + "." + idStation;
}

std::string TriggerFileName(const TProgParam& p, TDateTime t) {
  return TriggerFileName(p.TrigDir, p.IDStation, p.SeparateDirectory, t);
}

std::string AsciiFileName(const std::string& asciiDir, const std::string& stationCode,
                          TDateTime t) {
  // The code is read from the exported file, which may be foreign: no character
  // of it may make a directory or end the name.
  std::string code = stationCode;
  for (char& c : code)
    if (c == '/' || c == '\\' || c == '\0') c = '_';
  return JoinRoot(asciiDir) + Stamp(DecodeDateTime(t), true) + "." + code;
}
