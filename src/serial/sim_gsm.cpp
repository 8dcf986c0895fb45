#include "serial/sim_gsm.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "common/gsm7.h"

namespace {
std::mutex g_defaultMutex;
SimGsmOptions g_default;

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Octets of a hexadecimal text; false on an odd length or a non-hex digit.
bool HexToOctets(const std::string& hex, std::string& out) {
  if (hex.size() % 2 != 0) return false;
  out.clear();
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int hi = HexValue(hex[i]), lo = HexValue(hex[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out.push_back(static_cast<char>(hi * 16 + lo));
  }
  return true;
}

unsigned Octet(const std::string& o, std::size_t i) { return static_cast<unsigned char>(o[i]); }

// `count` semi-octet digits from o[p]; "F" only as the filler of an odd count.
bool ReadDigits(const std::string& o, std::size_t p, unsigned count, std::string& out) {
  static const char kDigit[] = "0123456789*#abc";
  for (unsigned i = 0; i < count; ++i) {
    const unsigned nibble = (i % 2 == 0) ? (Octet(o, p + i / 2) & 0xF) : (Octet(o, p + i / 2) >> 4);
    if (nibble == 0xF) return false;
    out += kDigit[nibble];
  }
  return count % 2 == 0 || (Octet(o, p + count / 2) >> 4) == 0xF;
}

std::string OneLine(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

std::string ToHex(const std::string& octets) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : octets) {
    out += kDigits[c >> 4];
    out += kDigits[c & 0xF];
  }
  return out;
}
}  // namespace

bool ParseSimGsmScript(const std::string& text, SimGsmScript& script) {
  SimGsmScript s = script;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find(',', pos);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(pos, end - pos);
    pos = end + 1;
    const std::size_t eq = word.find('=');
    const std::string key = word.substr(0, eq);
    int value = 0;
    if (eq != std::string::npos) {
      try {
        std::size_t used = 0;
        value = std::stoi(word.substr(eq + 1), &used);
        if (used != word.size() - eq - 1 || value < 0) return false;
      } catch (...) {
        return false;
      }
    }
    if (word.empty()) continue;
    if (key == "late" && eq != std::string::npos) s.AnswerDelayMs = value;
    else if (key == "unregistered" && eq != std::string::npos) s.UnregisteredMs = value;
    else if (key == "fail" && eq != std::string::npos) s.FailCount = value;
    else if (word == "fail-once") s.FailCount = 1;
    else if (word == "refuse-pin") s.RefusePIN = true;
    else if (word == "silent") s.Silent = true;
    else if (word == "text-mode") s.TextMode = true;
    else return false;
  }
  script = s;
  return true;
}

std::vector<uint8_t> UnpackSeptets(const std::string& octets, std::size_t septetCount,
                                   std::size_t skipBits) {
  std::vector<uint8_t> out;
  for (std::size_t k = 0; k < septetCount; ++k) {
    const std::size_t bit = skipBits + k * 7;
    if (bit + 7 > octets.size() * 8) break;
    unsigned v = Octet(octets, bit / 8);
    if (bit / 8 + 1 < octets.size()) v |= Octet(octets, bit / 8 + 1) << 8;
    out.push_back(static_cast<uint8_t>((v >> (bit % 8)) & 0x7F));
  }
  return out;
}

std::optional<DecodedSubmit> DecodeSubmitTPDU(const std::string& tpduHex) {
  std::string o;
  if (!HexToOctets(tpduHex, o)) return std::nullopt;
  std::size_t p = 0;
  auto need = [&](std::size_t n) { return p + n <= o.size(); };
  if (!need(3)) return std::nullopt;
  const unsigned first = Octet(o, 0);
  if ((first & 3) != 1) return std::nullopt;  // not an SMS-SUBMIT
  p = 2;                                      // first octet, message reference
  const unsigned digitCount = Octet(o, p++);
  DecodedSubmit d;
  // The type octet is there even for an empty address.
  if (digitCount > 20 || !need(1 + (digitCount + 1) / 2)) return std::nullopt;
  const unsigned type = Octet(o, p++);
  if (!(type & 0x80)) return std::nullopt;
  if (type == 0x91) d.Number = "+";
  if (!ReadDigits(o, p, digitCount, d.Number)) return std::nullopt;
  p += (digitCount + 1) / 2;
  if (!need(2)) return std::nullopt;
  if (Octet(o, p + 1) != 0x00) return std::nullopt;  // only the 7-bit default alphabet
  p += 2;                                            // protocol identifier, data coding scheme
  switch ((first >> 3) & 3) {                        // validity period format
    case 2: p += 1; break;
    case 1:
    case 3: p += 7; break;
    default: break;
  }
  if (!need(1)) return std::nullopt;
  const std::size_t udl = Octet(o, p++);
  if (udl > 160 || o.size() - p != (udl * 7 + 7) / 8) return std::nullopt;
  const std::string ud = o.substr(p);
  std::size_t headerSeptets = 0;
  if (first & 0x40) {
    const std::size_t udhl = ud.empty() ? 0 : Octet(ud, 0);
    headerSeptets = ((1 + udhl) * 8 + 6) / 7;
    if (ud.empty() || 1 + udhl > ud.size() || headerSeptets > udl) return std::nullopt;
    for (std::size_t i = 1; i < 1 + udhl;) {
      if (i + 2 > 1 + udhl) return std::nullopt;
      const unsigned iei = Octet(ud, i), len = Octet(ud, i + 1);
      if (i + 2 + len > 1 + udhl) return std::nullopt;
      if (iei == 0x00 || iei == 0x08) {
        if (len != (iei == 0x00 ? 3u : 4u)) return std::nullopt;
        const std::size_t at = i + 2 + (iei == 0x08 ? 1 : 0);
        d.Reference = static_cast<int>(iei == 0x08 ? (Octet(ud, i + 2) << 8 | Octet(ud, at)) : Octet(ud, at));
        d.Parts = static_cast<int>(Octet(ud, at + 1));
        d.Part = static_cast<int>(Octet(ud, at + 2));
        if (d.Parts < 1 || d.Part < 1 || d.Part > d.Parts) return std::nullopt;
      }
      i += 2 + len;
    }
  }
  d.Text = Gsm7ToLatin1(UnpackSeptets(ud, udl - headerSeptets, headerSeptets * 7));
  return d;
}

std::optional<DecodedSubmit> DecodeSubmitPDU(const std::string& pduHex, long tpduOctets) {
  std::string o;
  if (!HexToOctets(pduHex, o) || tpduOctets < 1) return std::nullopt;
  const long total = static_cast<long>(o.size());
  // A bare TPDU: the modem takes the centre set by AT+CSCA (the M1 kind).
  if (total == tpduOctets) return DecodeSubmitTPDU(pduHex);
  const long smscLength = total - tpduOctets - 1;
  if (smscLength < 0 || static_cast<long>(Octet(o, 0)) != smscLength) return std::nullopt;
  if (smscLength > 0) {
    // Type and at least one octet of digits; at most 20 digits.
    if (smscLength < 2 || smscLength > 11 || !(Octet(o, 1) & 0x80)) return std::nullopt;
    const unsigned lastHigh = Octet(o, static_cast<std::size_t>(smscLength)) >> 4;
    const unsigned digits = static_cast<unsigned>(smscLength - 1) * 2 - (lastHigh == 0xF ? 1 : 0);
    std::string number;
    if (!ReadDigits(o, 2, digits, number)) return std::nullopt;
  }
  return DecodeSubmitTPDU(pduHex.substr(static_cast<std::size_t>(1 + smscLength) * 2));
}

void SetSimGsmDefaultOptions(const SimGsmOptions& options) {
  std::lock_guard lock(g_defaultMutex);
  g_default = options;
  if (const char* script = std::getenv(kSimGsmScriptVariable))
    ParseSimGsmScript(script, g_default.Script);
  g_default.Power = std::make_shared<SimGsmPowerState>();
  g_default.Power->PduMode = !g_default.Script.TextMode;
}

SimGsmOptions SimGsmDefaultOptions() {
  std::lock_guard lock(g_defaultMutex);
  return g_default;
}

SimGsmModem::SimGsmModem(SimGsmOptions options) : m_options(std::move(options)) {
  if (!m_options.Power) {
    m_options.Power = std::make_shared<SimGsmPowerState>();
    m_options.Power->PduMode = !m_options.Script.TextMode;
  }
}

int64_t SimGsmModem::Now() const {
  return m_options.clock ? m_options.clock->NowUnixMs() : m_systemClock.NowUnixMs();
}

bool SimGsmModem::Open(const TComSettings&, ComBackendEvents events, std::string&) {
  std::lock_guard lock(m_mutex);
  m_events = std::move(events);
  m_open = true;
  m_line.clear();
  m_rx.clear();
  m_pduOctets = -1;
  return true;
}

void SimGsmModem::Close() {
  std::lock_guard lock(m_mutex);
  m_open = false;
  m_events = {};
}

bool SimGsmModem::Write(const std::string& data, std::string& error) {
  std::size_t received = 0;
  ComBackendEvents events;
  {
    std::lock_guard lock(m_mutex);
    if (!m_open) {
      error = "sim-gsm: the port is closed.";
      return false;
    }
    if (m_options.Script.Silent) return true;
    bool echo;
    {
      std::lock_guard power(m_options.Power->Mutex);
      echo = m_options.Power->Echo;
    }
    const std::size_t before = m_rx.size();
    for (char c : data) {
      if (m_pduOctets >= 0) {
        if (c == '\x1A') {
          Pdu(m_line);
          m_line.clear();
        } else if (c == '\x1B') {  // Esc cancels the message
          m_pduOctets = -1;
          m_line.clear();
          Answer("\r\nOK\r\n");
        } else if (c != '\r' && c != '\n') {
          if (echo) m_rx += c;
          m_line += c;
        }
      } else if (c == '\r') {
        if (echo) m_rx += c;
        Command(m_line);
        m_line.clear();
        std::lock_guard power(m_options.Power->Mutex);
        echo = m_options.Power->Echo;
      } else if (c != '\n') {
        if (echo) m_rx += c;
        m_line += c;
      }
    }
    received = m_rx.size() - before;
    events = m_events;
  }
  if (received > 0 && events.RxChar) events.RxChar(received);
  return true;
}

void SimGsmModem::ReleaseDue() {
  const int64_t now = Now();
  std::lock_guard lock(m_options.Power->Mutex);
  auto& late = m_options.Power->Late;
  while (!late.empty() && late.front().first <= now) {
    m_rx += late.front().second;
    late.erase(late.begin());
  }
}

std::string SimGsmModem::ReadAvailable(std::size_t max) {
  std::lock_guard lock(m_mutex);
  ReleaseDue();
  const std::string out = m_rx.substr(0, max);
  m_rx.erase(0, out.size());
  return out;
}

void SimGsmModem::ClearBuffers(bool input, bool) {
  std::lock_guard lock(m_mutex);
  ReleaseDue();  // what is still on its way stays on its way
  if (input) m_rx.clear();
}

// Called with the power state locked when delayed.
void SimGsmModem::Answer(const std::string& text, int delayMs) {
  if (delayMs <= 0)
    m_rx += text;
  else
    m_options.Power->Late.emplace_back(Now() + delayMs, text);
}

void SimGsmModem::Command(const std::string& raw) {
  std::string cmd;
  for (char c : raw) cmd += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  SimGsmPowerState& power = *m_options.Power;
  std::lock_guard lock(power.Mutex);
  const bool needsPin = !m_options.PIN.empty() && !power.PINEntered;
  if (!needsPin && power.RegisteredAtMs < 0) power.RegisteredAtMs = Now() + m_options.Script.UnregisteredMs;
  if (cmd.empty()) return;
  if (cmd == "AT") {
    Answer("\r\nOK\r\n");
  } else if (cmd == "ATE0" || cmd == "ATE1") {
    power.Echo = cmd.back() == '1';
    Answer("\r\nOK\r\n");
  } else if (cmd == "AT+CPIN?") {
    Answer(needsPin ? "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n" : "\r\n+CPIN: READY\r\n\r\nOK\r\n");
  } else if (StartsWith(cmd, "AT+CPIN=")) {
    std::string pin = raw.substr(8);
    if (pin.size() >= 2 && pin.front() == '"' && pin.back() == '"') pin = pin.substr(1, pin.size() - 2);
    if (!needsPin) {
      Answer("\r\n+CME ERROR: 3\r\n");  // nothing to unlock
    } else if (!m_options.Script.RefusePIN && pin == m_options.PIN) {
      power.PINEntered = true;
      power.RegisteredAtMs = Now() + m_options.Script.UnregisteredMs;
      Answer("\r\nOK\r\n");
    } else {
      Answer("\r\n+CME ERROR: 16\r\n");
    }
  } else if (needsPin) {
    Answer("\r\n+CME ERROR: 11\r\n");  // SIM PIN required
  } else if (StartsWith(cmd, "AT+CSCA=") || StartsWith(cmd, "AT+COPS=")) {
    Answer("\r\nOK\r\n");
  } else if (cmd == "AT+CLIP?") {
    Answer(std::string("\r\n+CLIP: ") + (power.Clip ? "1" : "0") + ",1\r\n\r\nOK\r\n");
  } else if (cmd == "AT+CLIP=1" || cmd == "AT+CLIP=0") {
    power.Clip = cmd.back() == '1';
    Answer("\r\nOK\r\n");
  } else if (cmd == "AT+CSQ") {
    Answer("\r\n+CSQ: " + std::to_string(m_options.Rssi) + ",99\r\n\r\nOK\r\n");
  } else if (cmd == "AT+CMGF=0" || cmd == "AT+CMGF=1") {
    power.PduMode = cmd.back() == '0';
    Answer("\r\nOK\r\n");
  } else if (cmd == "AT+CMGF?") {
    Answer(std::string("\r\n+CMGF: ") + (power.PduMode ? "0" : "1") + "\r\n\r\nOK\r\n");
  } else if (cmd == "AT+CREG?") {
    const bool registered = power.RegisteredAtMs >= 0 && Now() >= power.RegisteredAtMs;
    Answer(std::string("\r\n+CREG: 0,") + (registered ? "1" : "2") + "\r\n\r\nOK\r\n");
  } else if (StartsWith(cmd, "AT+CMGS=")) {
    long n = -1;
    try {
      std::size_t used = 0;
      n = std::stol(cmd.substr(8), &used);
      if (used != cmd.size() - 8) n = -1;
    } catch (...) {
      n = -1;
    }
    if (!power.PduMode) {
      Answer("\r\n+CMS ERROR: 304\r\n");  // a text-mode modem wants a quoted number
    } else if (n < 7 || n > 164) {
      Answer("\r\n+CMS ERROR: 304\r\n");
    } else {
      m_pduOctets = n;
      Answer("\r\n> ");
    }
  } else {
    Answer("\r\nERROR\r\n");
  }
}

void SimGsmModem::Pdu(const std::string& hex) {
  const long announced = m_pduOctets;
  m_pduOctets = -1;
  const std::optional<DecodedSubmit> sms = DecodeSubmitPDU(hex, announced);
  if (!sms) {
    Answer("\r\n+CMS ERROR: 304\r\n");
    return;
  }
  const int delay = m_options.Script.AnswerDelayMs;
  {
    SimGsmPowerState& power = *m_options.Power;
    std::lock_guard lock(power.Mutex);
    if (power.RegisteredAtMs < 0 || Now() < power.RegisteredAtMs) {
      Answer("\r\n+CMS ERROR: 331\r\n", delay);  // no network service
      return;
    }
    if (power.Failures < m_options.Script.FailCount) {
      ++power.Failures;
      Answer("\r\n+CMS ERROR: 42\r\n", delay);  // congestion
      return;
    }
  }
  std::string octets;
  HexToOctets(hex, octets);
  std::error_code ec;
  std::filesystem::create_directories(m_options.Directory, ec);
  std::ofstream log(std::filesystem::path(m_options.Directory) / kSimSmsLogName,
                    std::ios::binary | std::ios::app);
  log << sms->Number << '\t' << sms->Part << '/' << sms->Parts << '\t' << ToHex(octets) << '\t'
      << OneLine(sms->Text) << '\n';
  log.flush();
  if (!log) {
    Answer("\r\n+CMS ERROR: 322\r\n");  // memory full: the message is not taken
    return;
  }
  std::lock_guard lock(m_options.Power->Mutex);
  const int reference = m_options.Power->Reference = (m_options.Power->Reference + 1) % 256;
  Answer("\r\n+CMGS: " + std::to_string(reference) + "\r\n\r\nOK\r\n", delay);
}
