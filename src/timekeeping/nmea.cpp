#include "timekeeping/nmea.h"

#include <charconv>
#include <cstdio>

namespace {

constexpr char kTimeSep = ':';
constexpr char kDateSep = '.';
constexpr char kDecimalPoint = '.';

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// Two digits at the 1-based position `pos`; false for anything else.
bool TwoDigits(const std::string& s, std::size_t pos, int& out) {
  if (s.size() < pos + 1) return false;
  const char a = s[pos - 1], b = s[pos];
  if (a < '0' || a > '9' || b < '0' || b > '9') return false;
  out = (a - '0') * 10 + (b - '0');
  return true;
}

// Delphi-style Copy: 1-based, clipped to the string.
std::string Copy(const std::string& s, std::size_t pos, std::size_t count) {
  if (pos == 0 || pos > s.size()) return {};
  return s.substr(pos - 1, count);
}

int DayOfWeek(int64_t unixMs) {
  const int64_t days = (unixMs >= 0 ? unixMs : unixMs - (kMsPerDay - 1)) / kMsPerDay;
  // 1970-01-01 was a Thursday; 0 = Sunday.
  return static_cast<int>(((days + 4) % 7 + 7) % 7);
}

// The hhmmss of an RMC time field as seconds of the day; false on garbage.
bool ParseTimeOfDay(const std::string& field, int& h, int& m, int& s) {
  return TwoDigits(field, 1, h) && TwoDigits(field, 3, m) && TwoDigits(field, 5, s) && h < 24 &&
         m < 60 && s < 60;
}

bool ParseDate(const std::string& field, int& y, int& mo, int& d) {
  if (!TwoDigits(field, 1, d) || !TwoDigits(field, 3, mo) || !TwoDigits(field, 5, y)) return false;
  y += 2000;
  return IsValidDateTime(y, mo, d, 0, 0, 0, 0);
}

// One coordinate: `degDigits` digits of degrees, then minutes "mm.ffff".
std::string FormatCoordinate(const std::string& value, const std::string& hemisphere,
                             std::size_t degDigits, bool decimalDegrees) {
  const std::string deg = Copy(value, 1, degDigits);
  const std::string min = Copy(value, degDigits + 1, 2);
  const std::string frac = Copy(value, degDigits + 4, 4);
  if (!AllDigits(deg) || !AllDigits(min) || (!frac.empty() && !AllDigits(frac))) return {};
  if (!decimalDegrees)
    return hemisphere + " " + deg + kDegreeSign + min + kDecimalPoint + frac + "'";
  const std::string minutes = min + "." + (frac.empty() ? "0" : frac);
  double m = 0;
  const auto r = std::from_chars(minutes.data(), minutes.data() + minutes.size(), m);
  if (r.ec != std::errc() || r.ptr != minutes.data() + minutes.size()) return {};
  const double v = std::stoi(deg) + m / 60.0;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return hemisphere + " " + std::string(buf).substr(0, 8) + kDegreeSign;
}

// The panel shows one decimal. Receivers that send two or three decimals are
// cut to the first one instead of having their digits shuffled around a
// second point ("102.907" is 102.9 m, not "102.9.7").
std::string FormatAltitude(const std::string& v) {
  const std::size_t dot = v.find('.');
  if (dot == std::string::npos) return v + " m";
  const std::string decimal = dot + 1 < v.size() ? v.substr(dot + 1, 1) : "0";
  return v.substr(0, dot) + kDecimalPoint + decimal + " m";
}

std::string Two(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", v % 100);
  return buf;
}

}  // namespace

bool SystemTimeIsValid(const TSystemTime& st) {
  return IsValidDateTime(st.Year, st.Month, st.Day, st.Hour, st.Minute, st.Second, st.Milliseconds);
}

TSystemTime UnixMsToSystemTime(int64_t unixMs) {
  const DateTimeParts p = DecodeDateTime(UnixMsToDateTime(unixMs));
  TSystemTime st;
  st.Year = static_cast<uint16_t>(p.year);
  st.Month = static_cast<uint16_t>(p.month);
  st.DayOfWeek = static_cast<uint16_t>(DayOfWeek(unixMs));
  st.Day = static_cast<uint16_t>(p.day);
  st.Hour = static_cast<uint16_t>(p.hour);
  st.Minute = static_cast<uint16_t>(p.minute);
  st.Second = static_cast<uint16_t>(p.second);
  st.Milliseconds = static_cast<uint16_t>(p.msec);
  return st;
}

int64_t SystemTimeToUnixMs(const TSystemTime& st) {
  return DateTimeToUnixMs(
      EncodeDateTime(st.Year, st.Month, st.Day, st.Hour, st.Minute, st.Second, st.Milliseconds));
}

void AdvanceSystemTime(TSystemTime& st, int64_t seconds) {
  if (!SystemTimeIsValid(st)) return;
  st = UnixMsToSystemTime(SystemTimeToUnixMs(st) + seconds * 1000);
}

std::string ReadGPSText(GPSTextPort& port, int readingDelay,
                        const std::function<void(int ms)>& wait) {
  if (readingDelay < 0) readingDelay = 0;
  if (readingDelay > 255) readingDelay = 255;
  if (wait && readingDelay > 0) wait(readingDelay);
  std::string text = port.ReadAvailable(kGPSReadingLength);
  if (text.size() > kGPSReadingLength) text.resize(kGPSReadingLength);
  if (wait && readingDelay / 2 > 0) wait(readingDelay / 2);
  port.ClearBuffers();
  return text;
}

bool ExtractNMEAField(const std::string& text, const std::string& name, int n, std::string& field) {
  field.clear();
  const std::size_t at = name.empty() ? std::string::npos : text.find(name);
  if (at == std::string::npos) return false;
  const std::size_t p = at + 1;  // 1-based
  if (!(name.size() + p + 1 < text.size())) return false;
  int count = 0;
  // 1-based i stops before the last character, as the scan always has.
  for (std::size_t i = name.size() + p; i < text.size() && count <= n; ++i) {
    const char c = text[i - 1];
    if (c == '\0') break;
    if (c == ',' || c == '*')
      ++count;
    else if (count == n)
      field += c;
  }
  return count > n;
}

bool DecodeRMCTime(const std::string& text, TSystemTime& record, bool& valid, int correction) {
  valid = false;
  std::string time, status, date;
  if (ExtractNMEAField(text, "GPRMC", 1, time) && ExtractNMEAField(text, "GPRMC", 2, status) &&
      ExtractNMEAField(text, "GPRMC", 9, date)) {
    int y, mo, d, h, mi, s;
    if (!ParseDate(date, y, mo, d) || !ParseTimeOfDay(time, h, mi, s)) {
      // Garbage must not freeze the time of the next pulse one second behind.
      AdvanceSystemTime(record, 1);
      return false;
    }
    const int64_t sentence = DateTimeToUnixMs(EncodeDateTime(y, mo, d, h, mi, s, 0));
    const TSystemTime next =
        UnixMsToSystemTime(sentence + (static_cast<int64_t>(correction) + 1) * 1000);
    if (next == record)
      AdvanceSystemTime(record, 1);  // the receiver repeated an old sentence
    else
      record = next;
    valid = status == "A";
    return true;
  }
  AdvanceSystemTime(record, 1);
  return true;
}

bool FormatGPSInfo(const std::string& text, int correction, bool decimalDegrees,
                   TGPSInfoTexts& texts) {
  std::string status;
  if (!ExtractNMEAField(text, "GPRMC", 2, status)) return false;
  texts.Latitude.clear();
  texts.Longitude.clear();
  texts.Altitude.clear();
  if (status == "A") {
    std::string v, hemi;
    if (ExtractNMEAField(text, "GPRMC", 3, v) && ExtractNMEAField(text, "GPRMC", 4, hemi))
      texts.Latitude = FormatCoordinate(v, hemi, 2, decimalDegrees);
    if (ExtractNMEAField(text, "GPRMC", 5, v) && ExtractNMEAField(text, "GPRMC", 6, hemi))
      texts.Longitude = FormatCoordinate(v, hemi, 3, decimalDegrees);
    // The receiver's single decimal digit, shown with our decimal point.
    if (ExtractNMEAField(text, "GPGGA", 9, v) && !v.empty()) texts.Altitude = FormatAltitude(v);
  }
  std::string time, date;
  int h, mi, s, y, mo, d;
  if (ExtractNMEAField(text, "GPRMC", 1, time) && ExtractNMEAField(text, "GPRMC", 9, date) &&
      ParseTimeOfDay(time, h, mi, s) && TwoDigits(date, 1, d) && TwoDigits(date, 3, mo) &&
      TwoDigits(date, 5, y)) {
    int64_t sec = ((static_cast<int64_t>(h) * 60 + mi) * 60 + s + correction) % 86400;
    if (sec < 0) sec += 86400;
    const int hh = static_cast<int>(sec / 3600), nn = static_cast<int>(sec / 60 % 60),
              ss = static_cast<int>(sec % 60);
    texts.GPSTime = Two(hh) + kTimeSep + Two(nn) + kTimeSep + Two(ss);
    // The date stands as sent: the correction may cross midnight, the date does not follow.
    texts.GPSDate = date.substr(0, 2) + kDateSep + date.substr(2, 2) + kDateSep + "20" + date.substr(4, 2);
    return true;
  }
  texts.GPSTime.clear();
  texts.GPSDate.clear();
  return false;
}

std::string FormatTimeHMS(const TSystemTime& st) {
  return Two(st.Hour) + kTimeSep + Two(st.Minute) + kTimeSep + Two(st.Second);
}

std::string FormatTimeHMSZ(const TSystemTime& st) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%03d", st.Milliseconds % 1000);
  return FormatTimeHMS(st) + kDecimalPoint + buf;
}

std::string FormatDateDMY(const TSystemTime& st) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04d", st.Year % 10000);
  return Two(st.Day) + kDateSep + Two(st.Month) + kDateSep + buf;
}
