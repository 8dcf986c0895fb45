#pragma once
// The converter interface: the only place where samples enter the station.
// A handle >= 0 is an open converter; a negative handle means "not open".
// All operations are called from the main thread only.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/types.h"

class Clock;

// What ADClose returns: a handle that reads as "not open".
constexpr int32_t kADClosedHandle = -2147483647;  // 0x80000001

// ADReadBlock results; anything else is a converter error.
constexpr int32_t kADReadOk = 0;
constexpr int32_t kADReadNoData = 1;

class ADConverter {
 public:
  virtual ~ADConverter() = default;
  virtual void ADSelectModule(const std::string& module) = 0;
  // Opens converter `number`; returns the handle and sets `description`.
  virtual int32_t ADInitialize(int32_t number, std::string& description, double sampleRate) = 0;
  // Replaces `block` with whole frames gathered since the previous read.
  virtual int32_t ADReadBlock(int32_t handle, ArrayOfDataType& block) = 0;
  // Returns the new (negative) handle value.
  virtual int32_t ADClose(int32_t handle) = 0;
  virtual int32_t ADChannelCount(const std::string& module) const = 0;
  // µV per count for each channel.
  virtual const ArrayOfReal& ADGain() const = 0;
  // While true the acquisition cycle leaves the converter alone.
  virtual bool ADBusy() const = 0;
};

// The model text shown in the window caption.
const char* ADModelText();

// Pseudo-random samples with spikes and a square pulse on channels 3 and 6
// standing in for the GPS pulse per second. Like hardware, it samples on its
// own clock: each read delivers the frames that fell due since the previous
// one, and the pulse starts on the frame of every whole second of the
// station clock.
class SimulatedConverter final : public ADConverter {
 public:
  static constexpr const char* kDescription = "Simulation Drumlo-4, Drumlo-8, Kelta-16";
  // The caller ignores blocks of fewer frames; they wait for the next read.
  static constexpr int32_t kMinFrames = 11;
  // What the station's windows hold; older frames of a longer stall are lost.
  static constexpr int32_t kMaxSeconds = 180;
  // Pulse length in time, and the run the pulse search needs at low rates.
  static constexpr int32_t kPulseMs = 100;
  static constexpr int32_t kMinPulseFrames = 30;

  // `driftPpm`: sampling clock error; the converter samples at
  // rate × (1 + driftPpm / 10^6). `log` reports lost frames (may be empty).
  SimulatedConverter(const Clock& clock, uint32_t seed, double driftPpm = 0,
                     std::function<void(const std::string&)> log = {});

  void ADSelectModule(const std::string& module) override {}
  int32_t ADInitialize(int32_t number, std::string& description, double sampleRate) override;
  int32_t ADReadBlock(int32_t handle, ArrayOfDataType& block) override;
  int32_t ADClose(int32_t handle) override { return kADClosedHandle; }
  int32_t ADChannelCount(const std::string& module) const override { return kChannelCount; }
  const ArrayOfReal& ADGain() const override { return m_gain; }
  bool ADBusy() const override { return false; }

  // First frame of the pulse in the last block, −1 when it holds none.
  int32_t SimPhase() const { return m_simPhase; }

 private:
  // Frames due since the converter opened, at `unixMs` of the station clock.
  int64_t FramesDue(int64_t unixMs) const;
  // First frame sampled at or after `unixMs`.
  int64_t FrameAt(int64_t unixMs) const;

  // xoshiro128** with a bounded draw: fast, and the same sequence everywhere.
  uint32_t Next();
  int32_t Uniform(int32_t low, int32_t high);  // inclusive bounds

  const Clock& m_clock;
  uint32_t m_rng[4];
  ArrayOfReal m_gain;
  std::function<void(const std::string&)> m_log;
  double m_driftPpm = 0;
  int32_t m_sampleRate = 1000;
  long double m_framesPerMs = 1;
  int64_t m_originMs = 0;
  int64_t m_lastReadMs = 0;
  int64_t m_delivered = 0;  // frames handed out since the converter opened
  bool m_open = false;
  int32_t m_simPhase = -1;
};

// The station's converter; `seed` 0 seeds the generator from the clock.
std::unique_ptr<ADConverter> MakeConverter(const Clock& clock, uint32_t seed, double driftPpm = 0,
                                           std::function<void(const std::string&)> log = {});
