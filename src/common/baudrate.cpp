#include "common/baudrate.h"

#include <strings.h>

#include <array>
#include <utility>

namespace {
struct BaudName {
  TBaudRate rate;
  const char* name;
  int value;
};
constexpr std::array<BaudName, 16> kBaudNames{{
    {TBaudRate::brCustom, "Custom", 0},     {TBaudRate::br110, "110", 110},
    {TBaudRate::br300, "300", 300},         {TBaudRate::br600, "600", 600},
    {TBaudRate::br1200, "1200", 1200},      {TBaudRate::br2400, "2400", 2400},
    {TBaudRate::br4800, "4800", 4800},      {TBaudRate::br9600, "9600", 9600},
    {TBaudRate::br14400, "14400", 14400},   {TBaudRate::br19200, "19200", 19200},
    {TBaudRate::br38400, "38400", 38400},   {TBaudRate::br56000, "56000", 56000},
    {TBaudRate::br57600, "57600", 57600},   {TBaudRate::br115200, "115200", 115200},
    {TBaudRate::br128000, "128000", 128000}, {TBaudRate::br256000, "256000", 256000},
}};
}  // namespace

TBaudRate StrToBaudRate(const std::string& name) {
  for (const auto& b : kBaudNames)
    if (strcasecmp(name.c_str(), b.name) == 0) return b.rate;
  return TBaudRate::br9600;
}

std::string BaudRateToStr(TBaudRate rate) {
  for (const auto& b : kBaudNames)
    if (b.rate == rate) return b.name;
  return "9600";
}

int BaudRateValue(TBaudRate rate) {
  for (const auto& b : kBaudNames)
    if (b.rate == rate) return b.value;
  return 9600;
}
