#pragma once
// The built-in GSM modem ("sim-gsm"), as strict as a real one. It echoes
// what it receives (echo is on after power-on), answers the AT dialogue of
// the station's modem jobs from the thread that writes, and takes SMS PDUs
// only when they are well formed: the SMS-centre length octet, the
// user-data length (at most 160 septets, 140 octets) and the total size
// must agree, else "+CMS ERROR: 304". Each accepted PDU is appended to
// `sim-sms.log` in its directory as one line:
//   number TAB part/parts TAB PDU hex TAB text as a phone shows it
// (Latin-1; a CR or LF of the text written as \r or \n).
//
// Dialogue: AT, ATE0/ATE1, AT+CPIN? and AT+CPIN="pin", AT+CLIP?, AT+CLIP=,
// AT+CSCA=, AT+COPS=, AT+CSQ, AT+CMGF=0/1, AT+CREG?, AT+CMGS=n then the PDU
// ended by Ctrl-Z (Esc cancels). Anything else answers ERROR.
//
// Scripted modes, for tests (SimGsmOptions::Script) or a whole station
// (the VELKOR_SIM_GSM environment variable, e.g. "late=12000,fail-once"):
//   late=MS          the network answers a PDU MS milliseconds late
//   refuse-pin       every PIN is wrong (+CME ERROR: 16)
//   unregistered=MS  after the PIN the modem needs MS milliseconds to find
//                    the network; a PDU sent before that is refused (331)
//   fail-once, fail=N  the first PDU (N PDUs) refused with +CMS ERROR: 42
//   silent           a dead modem: no echo, no answer
//   text-mode        left in text mode: no SMS until AT+CMGF=0
// Times are those of the modem's clock.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "serial/com_backend.h"

struct SimGsmScript {
  int AnswerDelayMs = 0;
  bool RefusePIN = false;
  int UnregisteredMs = 0;
  int FailCount = 0;
  bool Silent = false;
  bool TextMode = false;
};
constexpr char kSimGsmScriptVariable[] = "VELKOR_SIM_GSM";
// False (the script unchanged) on a word it does not know.
bool ParseSimGsmScript(const std::string& text, SimGsmScript& script);

// What the modem keeps while powered, across openings of the port.
struct SimGsmPowerState {
  std::mutex Mutex;
  bool PINEntered = false;
  bool Clip = false;           // caller-line identification, off at power-on
  bool PduMode = true;
  bool Echo = true;
  int64_t RegisteredAtMs = -1;  // -1: not searching (PIN not entered)
  int Failures = 0;
  int Reference = 0;           // last message reference
  // Answers still on their way, and when they come: a port closed and
  // opened again meanwhile still gets them.
  std::vector<std::pair<int64_t, std::string>> Late;
};

struct SimGsmOptions {
  std::string Directory = ".";  // where sim-sms.log is written
  std::string PIN;              // empty: the SIM needs no PIN
  int Rssi = 20;                // 0..31, or 99 for "not known"
  SimGsmScript Script;
  std::shared_ptr<const Clock> clock;  // null: the system clock
  // Shared by every modem made from these options; null: a fresh power-on.
  std::shared_ptr<SimGsmPowerState> Power;
};

// Options of ports named "sim-gsm" that get no backend factory; the station
// sets its station directory here before opening the port. Setting them
// powers the modem on afresh; a script in VELKOR_SIM_GSM is added.
void SetSimGsmDefaultOptions(const SimGsmOptions& options);
SimGsmOptions SimGsmDefaultOptions();

struct DecodedSubmit {
  std::string Number;  // with "+" for an international number
  std::string Text;    // Latin-1, through the GSM alphabet
  int Part = 1, Parts = 1, Reference = 0;
};
// Reads back an SMS-SUBMIT TPDU (hexadecimal, no SMS-centre field); nullopt
// when it is malformed: not hexadecimal, a user-data length over 160 septets
// or not matching the octets that follow, a broken header.
std::optional<DecodedSubmit> DecodeSubmitTPDU(const std::string& tpduHex);
// The whole PDU as a modem gets it after AT+CMGS=tpduOctets: the SMS-centre
// field, whose length octet must account for exactly the octets before the
// TPDU, then the TPDU; or the bare TPDU, as modems of the M1 kind take it.
std::optional<DecodedSubmit> DecodeSubmitPDU(const std::string& pduHex, long tpduOctets);
// Unpacks `septetCount` septets from packed octets, skipping `skipBits` first.
std::vector<uint8_t> UnpackSeptets(const std::string& octets, std::size_t septetCount,
                                   std::size_t skipBits = 0);

constexpr char kSimSmsLogName[] = "sim-sms.log";

class SimGsmModem final : public ComBackend {
 public:
  explicit SimGsmModem(SimGsmOptions options);

  bool Open(const TComSettings& settings, ComBackendEvents events, std::string& error) override;
  void Close() override;
  bool Apply(const TComSettings&, std::string&) override { return true; }
  bool Write(const std::string& data, std::string& error) override;
  std::string ReadAvailable(std::size_t max) override;
  void ClearBuffers(bool input, bool output) override;
  bool SetDTR(bool) override { return true; }
  unsigned LineState() override { return clCTS | clDSR; }

 private:
  int64_t Now() const;
  void Command(const std::string& line);
  void Pdu(const std::string& hex);
  void Answer(const std::string& text, int delayMs = 0);
  void ReleaseDue();

  SimGsmOptions m_options;
  SystemClock m_systemClock;
  std::mutex m_mutex;
  ComBackendEvents m_events;
  bool m_open = false;
  std::string m_line;      // command text not yet ended by CR
  std::string m_rx;        // answers not yet read
  long m_pduOctets = -1;   // after AT+CMGS: the TPDU length announced
};
