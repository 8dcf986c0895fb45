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

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
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
  const std::string digits = DigitsOf(number);
  return HexOctet(static_cast<unsigned>(1 + (digits.size() + 1) / 2)) + TypeOf(number) +
         EncodeSemiOctets(digits);
}

std::string PackUserData(const Septets& septets, const std::vector<uint8_t>& header) {
  std::string bits;  // octets as they fill
  unsigned acc = 0;
  int n = 0;
  auto put = [&](unsigned value, int width) {
    acc |= value << n;
    n += width;
    while (n >= 8) {
      bits += HexOctet(acc & 0xFF);
      acc >>= 8;
      n -= 8;
    }
  };
  for (uint8_t o : header) put(o, 8);
  const std::size_t headerBits = header.size() * 8;
  const int fill = static_cast<int>((7 - headerBits % 7) % 7);
  if (fill > 0) put(0, fill);
  for (uint8_t s : septets) put(s & 0x7F, 7);
  if (n > 0) bits += HexOctet(acc & 0xFF);
  const std::size_t udl = (headerBits + static_cast<std::size_t>(fill)) / 7 + septets.size();
  return HexOctet(static_cast<unsigned>(udl)) + bits;
}

std::string EncodeUserData(const std::string& text) { return PackUserData(Latin1ToGsm7(text)); }

std::vector<Septets> SplitIntoParts(const Septets& septets) {
  if (septets.size() <= kSingleSmsSeptets) return {septets};
  std::vector<Septets> parts;
  std::size_t i = 0;
  while (i < septets.size() && parts.size() < kMaxSmsParts) {
    std::size_t end = std::min(i + kPartSeptets, septets.size());
    // An escape must stay with the character it announces.
    if (end < septets.size() && end > i && septets[end - 1] == kGsmEscape) {
      std::size_t escapes = 0;
      for (std::size_t k = end; k > i && septets[k - 1] == kGsmEscape; --k) ++escapes;
      if (escapes % 2 == 1) --end;
    }
    parts.emplace_back(septets.begin() + static_cast<std::ptrdiff_t>(i),
                       septets.begin() + static_cast<std::ptrdiff_t>(end));
    i = end;
  }
  return parts;
}

std::vector<std::string> BuildSubmitTPDUs(const std::string& number, const std::string& text,
                                          uint8_t reference, bool statusReport) {
  const std::vector<Septets> parts = SplitIntoParts(Latin1ToGsm7(text));
  const bool concatenated = parts.size() > 1;
  const unsigned first = 0x11 | (statusReport ? 0x20 : 0) | (concatenated ? 0x40 : 0);
  std::vector<std::string> out;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    std::vector<uint8_t> header;
    if (concatenated)
      header = {0x05, 0x00, 0x03, reference, static_cast<uint8_t>(parts.size()),
                static_cast<uint8_t>(k + 1)};
    out.push_back(HexOctet(first) + "00" + EncodeDestinationAddress(number) + "0000AA" +
                  PackUserData(parts[k], header));
  }
  return out;
}

std::string BuildSubmitTPDU(const std::string& number, const std::string& text, bool statusReport) {
  return BuildSubmitTPDUs(number, CutToSeptets(text, kSingleSmsSeptets), 0, statusReport).front();
}

bool ATAnswerComplete(const std::string& answer) {
  const std::string up = Upper(answer);
  return up.find("OK") != std::string::npos || up.find("ERROR") != std::string::npos ||
         up.find('>') != std::string::npos;
}

SubmitAnswer SubmitAnswerOf(const std::string& answer) {
  const std::string up = Upper(answer);
  const std::size_t cmgs = up.find("+CMGS:");
  if (cmgs != std::string::npos)
    return up.find("OK", cmgs) != std::string::npos ? SubmitAnswer::Sent : SubmitAnswer::Pending;
  if (up.find("ERROR") != std::string::npos) return SubmitAnswer::Refused;
  return SubmitAnswer::Pending;
}

bool RegisteredInCREG(const std::string& answer) {
  const std::size_t tag = answer.find("+CREG: ");
  if (tag == std::string::npos) return false;
  const std::size_t comma = answer.find(',', tag);
  if (comma == std::string::npos || comma + 1 >= answer.size()) return false;
  const char stat = answer[comma + 1];
  const bool lastDigit = comma + 2 >= answer.size() || !std::isdigit(static_cast<unsigned char>(answer[comma + 2]));
  return lastDigit && (stat == '1' || stat == '5');
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
  if (used != field.size() || rssi < 0 || rssi > 31) return 0;  // 99: not known
  return -static_cast<int>(std::lround(rssi / 0.31));
}
