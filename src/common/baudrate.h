#pragma once
// Baud-rate names of the serial port service; the INI file stores the names.
#include <string>

enum class TBaudRate {
  brCustom, br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200,
  br38400, br56000, br57600, br115200, br128000, br256000
};

// A name not in the list (matched without regard to case) reads as 9600.
TBaudRate StrToBaudRate(const std::string& name);
std::string BaudRateToStr(TBaudRate rate);
// Bits per second; 0 for brCustom.
int BaudRateValue(TBaudRate rate);
