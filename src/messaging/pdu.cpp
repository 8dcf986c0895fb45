#include "messaging/pdu.h"

#include <cctype>
#include <cmath>
#include <cstdio>

namespace {

std::string HexOctet(unsigned v) {
  static const char kDigits[] = "0123456789ABCDEF";
  return {kDigits[(v >> 4) & 0xF], kDigits[v & 0xF]};
}

std::string DigitsOf(const std::string& number) {
  return (!number.empty() && number[0] == '+') ? number.substr(1) : number;
}

std::string TypeOf(const std::string& number) {
  return (!number.empty() && number[0] == '+') ? "91" : "81";
}

}  // namespace

std::string EncodeSemiOctets(const std::string& digits) {
  std::string d = digits;
  if (d.size() % 2 != 0) d += 'F';
  std::string out;
  for (std::size_t i = 0; i < d.size(); i += 2) {
    out += static_cast<char>(std::toupper(static_cast<unsigned char>(d[i + 1])));
    out += static_cast<char>(std::toupper(static_cast<unsigned char>(d[i])));
  }
  return out;
}

std::string EncodeDestinationAddress(const std::string& number) {
  if (number.empty()) return "00";
  const std::string digits = DigitsOf(number);
  return HexOctet(static_cast<unsigned>(digits.size())) + TypeOf(number) + EncodeSemiOctets(digits);
}

std::string EncodeSMSCField(const std::string& number) {
  if (number.empty()) return "00";
  return "07" + TypeOf(number) + EncodeSemiOctets(DigitsOf(number));
}

std::string EncodeUserData(const std::string& text) {
  std::string out = HexOctet(static_cast<unsigned>(text.size()) & 0xFF);
  unsigned acc = 0;
  int bits = 0;
  for (unsigned char c : text) {
    acc |= static_cast<unsigned>(c & 0x7F) << bits;
    bits += 7;
    while (bits >= 8) {
      out += HexOctet(acc & 0xFF);
      acc >>= 8;
      bits -= 8;
    }
  }
  if (bits > 0) out += HexOctet(acc & 0xFF);
  return out;
}

std::string BuildSubmitTPDU(const std::string& number, const std::string& text, bool statusReport) {
  return std::string(statusReport ? "3100" : "1100") + EncodeDestinationAddress(number) + "0000AA" +
         EncodeUserData(text);
}

bool ATAnswerComplete(const std::string& answer) {
  std::string up = answer;
  for (char& c : up) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return up.find("OK") != std::string::npos || up.find("ERROR") != std::string::npos ||
         up.find('>') != std::string::npos;
}

int SignalValueFromCSQ(const std::string& answer) {
  const std::size_t tag = answer.find("+CSQ: ");
  if (tag == std::string::npos) return 0;
  const std::size_t start = tag + 6;
  std::size_t end = answer.find(" ,", start);
  if (end == std::string::npos) end = answer.find(',', start);
  if (end == std::string::npos || end <= start) return 0;
  const std::string field = answer.substr(start, end - start);
  int rssi = 0;
  std::size_t used = 0;
  try {
    rssi = std::stoi(field, &used);
  } catch (...) {
    return 0;
  }
  if (used != field.size()) return 0;
  return -static_cast<int>(std::lround(rssi / 0.31));
}
