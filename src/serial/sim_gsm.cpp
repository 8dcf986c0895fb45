#include "serial/sim_gsm.h"

#include <cctype>
#include <filesystem>
#include <fstream>


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
}  // namespace

std::string UnpackSeptets(const std::string& octets, std::size_t septetCount) {
  std::string out;
  unsigned acc = 0;
  int bits = 0;
  std::size_t k = 0;
  while (out.size() < septetCount) {
    if (bits < 7) {
      if (k >= octets.size()) break;
      acc |= static_cast<unsigned>(static_cast<unsigned char>(octets[k++])) << bits;
      bits += 8;
    }
    out += static_cast<char>(acc & 0x7F);
    acc >>= 7;
    bits -= 7;
  }
  return out;
}

std::optional<DecodedSubmit> DecodeSubmitTPDU(const std::string& tpduHex) {
  std::string o;
  if (!HexToOctets(tpduHex, o)) return std::nullopt;
  std::size_t p = 0;
  auto need = [&](std::size_t n) { return p + n <= o.size(); };
  if (!need(3)) return std::nullopt;
  const unsigned first = static_cast<unsigned char>(o[p]);
  p += 2;  // first octet, message reference
  const unsigned digitCount = static_cast<unsigned char>(o[p++]);
  DecodedSubmit d;
  if (digitCount > 0) {
    if (!need(1 + (digitCount + 1) / 2)) return std::nullopt;
    const unsigned type = static_cast<unsigned char>(o[p++]);
    if (type == 0x91) d.Number = "+";
    for (unsigned i = 0; i < digitCount; ++i) {
      const unsigned octet = static_cast<unsigned char>(o[p + i / 2]);
      const unsigned nibble = (i % 2 == 0) ? (octet & 0xF) : (octet >> 4);
      d.Number += nibble < 10 ? static_cast<char>('0' + nibble) : static_cast<char>('A' + nibble - 10);
    }
    p += (digitCount + 1) / 2;
  }
  if (!need(2)) return std::nullopt;
  p += 2;  // protocol identifier, data coding scheme
  switch ((first >> 3) & 3) {  // validity period format
    case 2: p += 1; break;
    case 1:
    case 3: p += 7; break;
    default: break;
  }
  if (!need(1)) return std::nullopt;
  const std::size_t septets = static_cast<unsigned char>(o[p++]);
  const std::size_t octetCount = (septets * 7 + 7) / 8;
  if (!need(octetCount)) return std::nullopt;
  d.Text = UnpackSeptets(o.substr(p, octetCount), septets);
  return d;
}

void SetSimGsmDefaultOptions(const SimGsmOptions& options) {
  std::lock_guard lock(g_defaultMutex);
  g_default = options;
  g_default.Power = std::make_shared<SimGsmPowerState>();
}

SimGsmOptions SimGsmDefaultOptions() {
  std::lock_guard lock(g_defaultMutex);
  return g_default;
}

SimGsmModem::SimGsmModem(SimGsmOptions options) : m_options(std::move(options)) {
  if (!m_options.Power) m_options.Power = std::make_shared<SimGsmPowerState>();
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
          m_line += c;
        }
      } else if (c == '\r') {
        Command(m_line);
        m_line.clear();
      } else if (c != '\n') {
        m_line += c;
      }
    }
    received = m_rx.size() - before;
    events = m_events;
  }
  if (received > 0 && events.RxChar) events.RxChar(received);
  return true;
}

std::string SimGsmModem::ReadAvailable(std::size_t max) {
  std::lock_guard lock(m_mutex);
  const std::string out = m_rx.substr(0, max);
  m_rx.erase(0, out.size());
  return out;
}

void SimGsmModem::ClearBuffers(bool input, bool) {
  std::lock_guard lock(m_mutex);
  if (input) m_rx.clear();
}

void SimGsmModem::Answer(const std::string& text) { m_rx += text; }

void SimGsmModem::Command(const std::string& raw) {
  std::string cmd;
  for (char c : raw) cmd += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  SimGsmPowerState& power = *m_options.Power;
  std::lock_guard lock(power.Mutex);
  const bool needsPin = !m_options.PIN.empty() && !power.PINEntered;
  if (cmd.empty()) return;
  if (cmd == "AT" || StartsWith(cmd, "AT+CSCA=") || StartsWith(cmd, "AT+COPS=")) {
    Answer("\r\nOK\r\n");
  } else if (cmd == "AT+CPIN?") {
    Answer(needsPin ? "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n" : "\r\n+CPIN: READY\r\n\r\nOK\r\n");
  } else if (StartsWith(cmd, "AT+CPIN=")) {
    std::string pin = raw.substr(8);
    if (pin.size() >= 2 && pin.front() == '"' && pin.back() == '"') pin = pin.substr(1, pin.size() - 2);
    if (!m_options.PIN.empty() && pin == m_options.PIN) {
      power.PINEntered = true;
      Answer("\r\nOK\r\n");
    } else {
      Answer("\r\n+CME ERROR: 16\r\n");
    }
  } else if (needsPin) {
    Answer("\r\n+CME ERROR: 11\r\n");  // SIM PIN required
  } else if (cmd == "AT+CLIP?") {
    Answer(std::string("\r\n+CLIP: ") + (power.Clip ? "1" : "0") + ",1\r\n\r\nOK\r\n");
  } else if (cmd == "AT+CLIP=1" || cmd == "AT+CLIP=0") {
    power.Clip = cmd.back() == '1';
    Answer("\r\nOK\r\n");
  } else if (cmd == "AT+CSQ") {
    Answer("\r\n+CSQ: " + std::to_string(m_options.Rssi) + ",99\r\n\r\nOK\r\n");
  } else if (StartsWith(cmd, "AT+CMGS=")) {
    try {
      m_pduOctets = std::stol(cmd.substr(8));
    } catch (...) {
      m_pduOctets = -1;
    }
    if (m_pduOctets > 0) {
      Answer("\r\n> ");
    } else {
      m_pduOctets = -1;
      Answer("\r\nERROR\r\n");
    }
  } else {
    Answer("\r\nERROR\r\n");
  }
}

void SimGsmModem::Pdu(const std::string& hex) {
  const long announced = m_pduOctets;
  m_pduOctets = -1;
  // What precedes the announced TPDU length is the SMS-centre field.
  const long total = static_cast<long>(hex.size() / 2);
  std::optional<DecodedSubmit> sms;
  if (hex.size() % 2 == 0 && total >= announced)
    sms = DecodeSubmitTPDU(hex.substr(static_cast<std::size_t>(total - announced) * 2));
  if (!sms) {
    Answer("\r\n+CMS ERROR: 304\r\n");
    return;
  }
  std::error_code ec;
  std::filesystem::create_directories(m_options.Directory, ec);
  std::ofstream log(std::filesystem::path(m_options.Directory) / kSimSmsLogName,
                    std::ios::binary | std::ios::app);
  log << sms->Number << '\n' << sms->Text << '\n';
  log.flush();
  if (!log) {
    Answer("\r\n+CMS ERROR: 322\r\n");  // memory full: the message is not taken
    return;
  }
  int reference;
  {
    std::lock_guard lock(m_options.Power->Mutex);
    reference = m_options.Power->Reference = (m_options.Power->Reference + 1) % 256;
  }
  Answer("\r\n+CMGS: " + std::to_string(reference) + "\r\n\r\nOK\r\n");
}
