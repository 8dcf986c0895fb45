#pragma once
// Lamps and information fields are models in the core: the station's own
// logic reads them (the time-validity watch reads the GPS fields, the daily
// status text reads the time tag and the converter lamp's colour).
#include <array>
#include <string>

enum class LedColor { Red, Green, Blue, Yellow, Purple };

enum class LedId { PPS, ValidTime, ADStatus, WriteErr, Alarm, SyncReq, TriggerDetected, ExportData };
constexpr int kLedCount = 8;

struct LedState {
  bool on = false;
  LedColor color = LedColor::Red;
  bool operator==(const LedState&) const = default;
};

struct LedInfo {
  const char* name;
  const char* hint;
  LedColor color;
  bool initiallyOn;
};

// One row per lamp, in LedId order.
inline constexpr std::array<LedInfo, kLedCount> kLedTable{{
    {"LedPPS", "GPS Pulse Per Second Indication", LedColor::Red, false},
    {"LedValidTime", "Valid Time Indication", LedColor::Green, false},
    {"LedADStatus", "A/D Card Status Indication", LedColor::Yellow, true},
    {"LedWriteErr", "Hard Disk Write Error", LedColor::Red, false},
    {"LedAlarm", "Alarm Indication", LedColor::Blue, false},
    {"LedSyncReq", "Computer Clock Sync. Request", LedColor::Green, false},
    {"LedTriggerDetected", "Trigger Detection Indicator", LedColor::Red, false},
    {"LedExportData", "Data Exporting Indication", LedColor::Green, false},
}};

enum class InfoField {
  PCtime, Diff, PCDate, GPSDate, GPStime, Latitude, Longitude, Altitude, Samples, TimeTag, PIN, Signal
};
constexpr int kInfoFieldCount = 12;

struct InfoFieldInfo {
  const char* name;
  const char* label;
};

inline constexpr std::array<InfoFieldInfo, kInfoFieldCount> kInfoFieldTable{{
    {"EditPCtime", "Local time:"},   {"EditDiff", "Difference:"},
    {"EditPCDate", "Local date:"},   {"EditGPSDate", "GPS date:"},
    {"EditGPStime", "GPS time:"},    {"EditLatitude", "Latitude:"},
    {"EditLongitude", "Longitude:"}, {"EditAltitude", "Altitude:"},
    {"EditSamples", "Samples:"},     {"EditTimeTag", "Time Tag:"},
    {"EditPIN", "GSM PIN:"},         {"EditSignal", "Signal:"},
}};

class Indicators {
 public:
  Indicators() {
    for (int i = 0; i < kLedCount; ++i) m_leds[i] = {kLedTable[i].initiallyOn, kLedTable[i].color};
    m_fields.fill("N/A");
  }
  const LedState& Led(LedId id) const { return m_leds[static_cast<int>(id)]; }
  // True when something changed.
  bool SetLed(LedId id, bool on) { return Set(m_leds[static_cast<int>(id)].on, on); }
  bool SetLedColor(LedId id, LedColor c) { return Set(m_leds[static_cast<int>(id)].color, c); }
  const std::string& Field(InfoField f) const { return m_fields[static_cast<int>(f)]; }
  bool SetField(InfoField f, const std::string& text) { return Set(m_fields[static_cast<int>(f)], text); }

 private:
  template <class T>
  static bool Set(T& slot, const T& v) {
    if (slot == v) return false;
    slot = v;
    return true;
  }
  std::array<LedState, kLedCount> m_leds;
  std::array<std::string, kInfoFieldCount> m_fields;
};
