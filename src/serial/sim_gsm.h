#pragma once
// The built-in GSM modem ("sim-gsm"). It answers the AT dialogue of the
// station's modem jobs at once, from the thread that writes, and takes SMS
// PDUs: each message is appended to `sim-sms.log` in its directory as two
// lines, the destination number and the text.
//
// Dialogue: AT, AT+CPIN? (READY, or SIM PIN until AT+CPIN="pin" when a PIN is
// set), AT+CLIP? (0,1 after power-on, 1,1 after AT+CLIP=1), AT+CSCA=,
// AT+COPS=, AT+CSQ (the configured rssi), AT+CMGS=n then the PDU ended by
// Ctrl-Z. Anything else answers ERROR. The modem does not echo.
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "serial/com_backend.h"

// What the modem keeps while powered, across openings of the port.
struct SimGsmPowerState {
  std::mutex Mutex;
  bool PINEntered = false;
  bool Clip = false;  // caller-line identification, off at power-on
  int Reference = 0;  // last message reference
};

struct SimGsmOptions {
  std::string Directory = ".";  // where sim-sms.log is written
  std::string PIN;              // empty: the SIM needs no PIN
  int Rssi = 20;                // 0..31, or 99 for "not known"
  // Shared by every modem made from these options; null: a fresh power-on.
  std::shared_ptr<SimGsmPowerState> Power;
};

// Options of ports named "sim-gsm" that get no backend factory; the station
// sets its station directory here before opening the port. Setting them
// powers the modem on afresh (PIN not entered, identification off).
void SetSimGsmDefaultOptions(const SimGsmOptions& options);
SimGsmOptions SimGsmDefaultOptions();

struct DecodedSubmit {
  std::string Number;  // with "+" for an international number
  std::string Text;
};
// Reads back an SMS-SUBMIT TPDU (hexadecimal, no SMS-centre field); nullopt
// when it is not valid hexadecimal or ends early.
std::optional<DecodedSubmit> DecodeSubmitTPDU(const std::string& tpduHex);
// Decodes `septetCount` septets from packed octets.
std::string UnpackSeptets(const std::string& octets, std::size_t septetCount);

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
  void Command(const std::string& line);
  void Pdu(const std::string& hex);
  void Answer(const std::string& text);

  SimGsmOptions m_options;
  std::mutex m_mutex;
  ComBackendEvents m_events;
  bool m_open = false;
  std::string m_line;      // command text not yet ended by CR
  std::string m_rx;        // answers not yet read
  long m_pduOctets = -1;   // after AT+CMGS: the TPDU length announced
};
