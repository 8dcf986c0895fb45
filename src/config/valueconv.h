#pragma once
// Text-to-number conversions of the configuration files. Blanks around the
// text are allowed; everything else must be part of the number. The decimal
// separator is always "." whatever the host locale says.
#include <cstdint>
#include <optional>
#include <string_view>

// Decimal with an optional sign; nullopt for anything else, including a value
// that does not fit in 32 bits.
std::optional<int32_t> ParseInt32(std::string_view text);
// Decimal real ("1", "-0.5", "2.5e-3"); infinities, NaN and values beyond the
// range of double are not numbers.
std::optional<double> ParseReal(std::string_view text);

struct TimeOfDay {
  uint16_t hour = 0, minute = 0, second = 0, msec = 0;
};
// "h:mm", "h:mm:ss" or "h:mm:ss.zzz" with ":" as the time separator, each
// part within its range (hour 0..23); nullopt otherwise.
std::optional<TimeOfDay> ParseTimeOfDay(std::string_view text);
