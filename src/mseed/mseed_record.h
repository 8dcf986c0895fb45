#pragma once
// miniSEED 2.4 records of the station's output: Steim-2, 512 bytes, one
// stream per saved channel, packed second by second as the output seconds
// are completed. Timing quality travels in blockette 1001.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

constexpr int kMseedRecordLength = 512;
// A record is closed at this much data even when it is not full, so that
// live clients never wait longer for a slow-filling stream.
constexpr int64_t kMaxRecordSpanUs = 10'000'000;

// Timing of one second of output, as blockette 1001 and the header flags carry it.
struct SecondTiming {
  uint8_t Quality = 0;        // 0-100 %
  bool ClockLocked = false;   // I/O flag bit 5: the tag came from a GPS pulse
  bool Questionable = false;  // data-quality flag bit 7: the time was not valid
  bool operator==(const SecondTiming&) const = default;
};

// Time quality of a tag: a pulse-tagged second with valid time is exact, a
// clock tag with valid time is close, anything without valid time is unknown.
constexpr uint8_t kQualityPulse = 100;
constexpr uint8_t kQualityClock = 50;
SecondTiming TimingOf(bool fromPulse, bool timeValid);

// One packed record and what the archive and the ring need to know of it.
struct MseedRecord {
  std::string Network, Station, Location, Channel;
  int64_t StartUs = 0;  // first sample, µs since 1970 (UTC)
  int32_t Samples = 0;
  double SampleRate = 0;
  std::array<char, kMseedRecordLength> Data{};
  // Time just after the last sample.
  int64_t EndUs() const;
};

// Header fields of a raw record, read without decoding the data; false when
// the bytes are not a 512-byte miniSEED 2 data record.
bool ParseRecordHeader(const char* data, MseedRecord& out);

// The channel code of an input with no code of its own in the data files.
// The pulse channel is a state-of-health channel "<band>YP" (Y: non-specific
// instrument, P: pulse); spare inputs "<band>Y<input>"; the band letter
// follows the sample rate.
std::string StateOfHealthCode(double sampleRate, int input, bool pulseChannel);
// A second stream of the same component (low-gain input of a double
// sensitivity station) keeps its band and orientation with the "L" (low-gain
// seismometer) instrument letter, so the two never share a stream.
std::string LowGainCode(const std::string& code);

class MiniSeedPacker {
 public:
  using Sink = std::function<void(const MseedRecord&)>;
  MiniSeedPacker(std::string network, std::string station, std::string location,
                 double sampleRate, Sink sink);
  ~MiniSeedPacker();
  MiniSeedPacker(const MiniSeedPacker&) = delete;
  MiniSeedPacker& operator=(const MiniSeedPacker&) = delete;

  // One completed second of one channel: `startUs` is its tag. Full records go
  // to the sink at once; a record also closes when it reaches 10 s of data,
  // when the new second does not continue the buffered data, when the timing
  // changes, and at midnight (records never span two day files).
  void AddSecond(const std::string& channel, int64_t startUs, const int32_t* samples, size_t count,
                 SecondTiming timing);
  // Closes every partly filled record (shutdown).
  void FlushAll();
  double SampleRate() const { return m_rate; }

 private:
  struct Stream;
  Stream& StreamFor(const std::string& channel);
  void Pack(Stream& s, bool flush);

  std::string m_network, m_station, m_location;
  double m_rate;
  Sink m_sink;
  std::vector<std::unique_ptr<Stream>> m_streams;
};
