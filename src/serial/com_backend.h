#pragma once
// The seam between a port and the device behind it: port settings and the
// interface every backend (termios device, simulations, test fakes) offers.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "common/baudrate.h"

// Modem-status lines. CTS, DSR and RI have the values of the GPS/PPS setting.
enum TComLine : unsigned { clCTS = 1, clDSR = 2, clRing = 4, clRLSD = 8 };

enum TComEvent : unsigned {
  evRxChar = 1u << 0,
  evTxEmpty = 1u << 1,
  evRxFlag = 1u << 2,
  evRing = 1u << 3,
  evBreak = 1u << 4,
  evCTS = 1u << 5,
  evDSR = 1u << 6,
  evError = 1u << 7,
  evRLSD = 1u << 8,
};
using TComEvents = unsigned;
constexpr TComEvents kAllComEvents = 0x1FF;

enum class TSyncMethod { smThreadSync, smNone };
enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };
enum class TDTRFlowControl { dtrDisable, dtrEnable, dtrHandshake };
enum class TRTSFlowControl { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };

struct TFlowControl {
  bool OutCTSFlow = false;
  bool OutDSRFlow = false;
  TDTRFlowControl ControlDTR = TDTRFlowControl::dtrEnable;
  TRTSFlowControl ControlRTS = TRTSFlowControl::rtsDisable;
  bool XonXoffOut = false;
  bool XonXoffIn = false;
};

enum class TParityBits { prNone, prOdd, prEven, prMark, prSpace };
enum class TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };

// The station's own ports keep 8, none, 1; the terminal's may change them.
struct TLineFormat {
  int DataBits = 8;  // 5..8
  TParityBits Parity = TParityBits::prNone;
  TStopBits StopBits = TStopBits::sbOneStopBit;
  bool operator==(const TLineFormat&) const = default;
};

struct TComSettings {
  std::string Port = "COM1";
  TBaudRate BaudRate = TBaudRate::br9600;
  TFlowControl FlowControl;
  TLineFormat Format;
  TThreadPriority EventThreadPriority = TThreadPriority::tpNormal;
};

// What a backend tells its port; called on the backend's event thread.
struct ComBackendEvents {
  std::function<void(std::size_t count)> RxChar;
  // `changed` lines (TComLine bits), the state of all lines after it, and
  // the clock (Unix ms) as read first thing when the change woke the thread.
  std::function<void(unsigned changed, unsigned state, int64_t stampMs)> LineChange;
  // The device failed while open (unplugged, hung up); reported once.
  std::function<void(const std::string& error)> Error;
};

class ComBackend {
 public:
  virtual ~ComBackend() = default;
  virtual bool Open(const TComSettings& settings, ComBackendEvents events, std::string& error) = 0;
  // Ends the event thread; no event is delivered after it returns (unless
  // called from that thread, which then ends after the running handler).
  virtual void Close() = 0;
  virtual bool Apply(const TComSettings& settings, std::string& error) = 0;
  virtual bool Write(const std::string& data, std::string& error) = 0;
  virtual std::string ReadAvailable(std::size_t max) = 0;
  virtual void ClearBuffers(bool input, bool output) = 0;
  virtual bool SetDTR(bool on) = 0;
  virtual unsigned LineState() = 0;
};

// Best effort on the calling thread; a refusal (no privilege) is ignored.
void ApplyThreadPriority(TThreadPriority priority);
