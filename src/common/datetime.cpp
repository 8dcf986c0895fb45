#include "common/datetime.h"

#include <cmath>
#include <cstdio>

namespace {

// Days from 1970-01-01 for a proleptic Gregorian date (Howard Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2));
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

int64_t DateTimeToMs(TDateTime t) { return std::llround(t * static_cast<double>(kMsPerDay)); }

TDateTime MsToDateTime(int64_t ms) {
  // Split so that whole days stay exact and only the fraction rounds.
  const int64_t days = FloorDiv(ms, kMsPerDay);
  const int64_t rest = ms - days * kMsPerDay;
  return static_cast<double>(days) + static_cast<double>(rest) / static_cast<double>(kMsPerDay);
}

bool IsValidDateTime(int year, int month, int day, int hour, int minute, int second, int msec) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  const int dim = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  if (day > dim) return false;
  return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60 &&
         msec >= 0 && msec < 1000;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int msec) {
  const int64_t days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  const int64_t ms = days * kMsPerDay + kUnixEpochMs +
                     ((static_cast<int64_t>(hour) * 60 + minute) * 60 + second) * 1000 + msec;
  return MsToDateTime(ms);
}

DateTimeParts DecodeDateTime(TDateTime t) {
  const int64_t ms = DateTimeToMs(t) - kUnixEpochMs;
  const int64_t days = FloorDiv(ms, kMsPerDay);
  int64_t rest = ms - days * kMsPerDay;
  DateTimeParts p;
  CivilFromDays(days, p.year, p.month, p.day);
  p.msec = static_cast<int>(rest % 1000);
  rest /= 1000;
  p.second = static_cast<int>(rest % 60);
  rest /= 60;
  p.minute = static_cast<int>(rest % 60);
  p.hour = static_cast<int>(rest / 60);
  return p;
}

int64_t SecondsBetween(TDateTime a, TDateTime b) {
  const int64_t d = DateTimeToMs(a) - DateTimeToMs(b);
  return (d < 0 ? -d : d) / 1000;
}

int64_t HoursBetween(TDateTime a, TDateTime b) {
  const int64_t d = DateTimeToMs(a) - DateTimeToMs(b);
  return (d < 0 ? -d : d) / 3'600'000;
}

TDateTime TruncToSecond(TDateTime t) {
  const int64_t ms = DateTimeToMs(t);
  return MsToDateTime(FloorDiv(ms, 1000) * 1000);
}

bool SameSecond(TDateTime a, TDateTime b) {
  return FloorDiv(DateTimeToMs(a), 1000) == FloorDiv(DateTimeToMs(b), 1000);
}

TDateTime AddMs(TDateTime t, int64_t ms) { return MsToDateTime(DateTimeToMs(t) + ms); }

std::string FormatLogTimestamp(TDateTime t) {
  const DateTimeParts p = DecodeDateTime(t);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%02d.%02d.%04d %02d:%02d:%02d.%03d", p.day, p.month, p.year,
                p.hour, p.minute, p.second, p.msec);
  return buf;
}

bool ParseIsoDateTime(const std::string& text, TDateTime& out) {
  int y, mo, d, h, mi, s;
  char tail;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6)
    return false;
  if (!IsValidDateTime(y, mo, d, h, mi, s, 0)) return false;
  out = EncodeDateTime(y, mo, d, h, mi, s, 0);
  return true;
}
