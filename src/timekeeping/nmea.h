#pragma once
// Reading and decoding of the GPS receiver's text. At each pulse the station
// takes what arrived during the past second (at most 77 characters) and
// decodes only $GPRMC and $GPGGA; checksums are not verified.
//
//   $GPRMC,123456.00,A,4912.3456,N,01634.5678,E,0.0,0.0,061226,,,A*5E
//   $GPGGA,123456.00,4912.3456,N,01634.5678,E,1,08,0.9,234.5,M,46.9,M,,*67
//
// Tolerated: truncated and run-together sentences, NUL bytes and binary
// noise, fractions of any length in the time field, empty void sentences.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "common/datetime.h"

constexpr std::size_t kGPSReadingLength = 77;
// Degree sign in the station's 8-bit (Latin-1) text.
inline constexpr char kDegreeSign[] = "\xB0";

// The GPS time record: the UTC time that the next pulse marks, laid out as a
// system-time record. Equality ignores the day of week.
struct TSystemTime {
  uint16_t Year = 0, Month = 0, DayOfWeek = 0, Day = 0;
  uint16_t Hour = 0, Minute = 0, Second = 0, Milliseconds = 0;
  bool operator==(const TSystemTime& o) const {
    return Year == o.Year && Month == o.Month && Day == o.Day && Hour == o.Hour &&
           Minute == o.Minute && Second == o.Second && Milliseconds == o.Milliseconds;
  }
};

// False when the record does not hold a real date and time.
bool SystemTimeIsValid(const TSystemTime& st);
TSystemTime UnixMsToSystemTime(int64_t unixMs);
int64_t SystemTimeToUnixMs(const TSystemTime& st);
// Moves the record by whole seconds through a date-time value, so every field
// rolls over and the day of week is recomputed. An invalid record is kept.
void AdvanceSystemTime(TSystemTime& st, int64_t seconds);

// What ReadGPSText needs of the GPS port; the port adapter lives with the owner.
class GPSTextPort {
 public:
  virtual ~GPSTextPort() = default;
  // Returns at once with at most `max` characters already received.
  virtual std::string ReadAvailable(std::size_t max) = 0;
  // Discards pending input and output.
  virtual void ClearBuffers() = 0;
};

// Adapts any port with ReadAvailable(max) and ClearBuffers(input, output).
template <class Port>
class PortTextAdapter final : public GPSTextPort {
 public:
  explicit PortTextAdapter(Port& port) : m_port(port) {}
  std::string ReadAvailable(std::size_t max) override { return m_port.ReadAvailable(max); }
  void ClearBuffers() override { m_port.ClearBuffers(true, true); }

 private:
  Port& m_port;
};

// Waits `readingDelay` ms, reads at most 77 characters, waits half the delay
// and clears the port, so the next reading holds only what arrives later.
// `wait` is the delay seam (real sleeps on the station, none in tests).
std::string ReadGPSText(GPSTextPort& port, int readingDelay,
                        const std::function<void(int ms)>& wait);

// Field n (1 = the first after the name) of the first `name` sentence in the
// text. Found only when the separator that ends the field was seen; the last
// character of the text is never examined and a NUL ends the scan.
bool ExtractNMEAField(const std::string& text, const std::string& name, int n, std::string& field);

// Decodes the $GPRMC time into `record` as the time of the next pulse: the
// sentence time plus (correction + 1) seconds. A repeated sentence advances
// the record by one second; so does a reading without a usable $GPRMC.
// `valid` is true only for status "A". False for garbage numbers or dates.
bool DecodeRMCTime(const std::string& text, TSystemTime& record, bool& valid, int correction);

struct TGPSInfoTexts {
  std::string GPSDate, GPSTime, Latitude, Longitude, Altitude;
};

// Builds the information-panel texts. Without $GPRMC field 2 it returns
// false and leaves `texts` untouched.
bool FormatGPSInfo(const std::string& text, int correction, bool decimalDegrees,
                   TGPSInfoTexts& texts);

// "hh:nn:ss", "hh:nn:ss.zzz" and "dd.mm.yyyy" of a record or a time.
std::string FormatTimeHMS(const TSystemTime& st);
std::string FormatDateDMY(const TSystemTime& st);
std::string FormatTimeHMSZ(const TSystemTime& st);
