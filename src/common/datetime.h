#pragma once
// TDateTime counts days since 1899-12-30 as a double. Station arithmetic goes
// through integer milliseconds (the helpers below) so that tags compare and
// format exactly; never compare sums of doubles with ==.
#include <cstdint>
#include <string>

using TDateTime = double;

constexpr int64_t kMsPerDay = 86'400'000;
// Milliseconds between 1899-12-30 and 1970-01-01.
constexpr int64_t kUnixEpochMs = 25'569LL * kMsPerDay;

struct DateTimeParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, msec = 0;
};

// Nearest whole millisecond since 1899-12-30.
int64_t DateTimeToMs(TDateTime t);
TDateTime MsToDateTime(int64_t ms);
inline int64_t DateTimeToUnixMs(TDateTime t) { return DateTimeToMs(t) - kUnixEpochMs; }
inline TDateTime UnixMsToDateTime(int64_t unixMs) { return MsToDateTime(unixMs + kUnixEpochMs); }

TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0,
                         int second = 0, int msec = 0);
DateTimeParts DecodeDateTime(TDateTime t);
// False for an impossible date or time of day.
bool IsValidDateTime(int year, int month, int day, int hour, int minute, int second, int msec);

// Whole seconds between two times, the difference truncated toward zero.
int64_t SecondsBetween(TDateTime a, TDateTime b);
// Whole hours between two times, truncated toward zero.
int64_t HoursBetween(TDateTime a, TDateTime b);
// The same time with its milliseconds set to 0.
TDateTime TruncToSecond(TDateTime t);
// True when both fall in the same whole second.
bool SameSecond(TDateTime a, TDateTime b);
TDateTime AddMs(TDateTime t, int64_t ms);

// "05.12.2026 14:03:27.058": the log timestamp, also used in captions and messages.
std::string FormatLogTimestamp(TDateTime t);
// Parses "YYYY-MM-DD hh:mm:ss" (UTC); false when malformed.
bool ParseIsoDateTime(const std::string& text, TDateTime& out);
