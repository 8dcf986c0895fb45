#pragma once
// The SeedLink record ring: every packed record with its 24-bit sequence
// number, the last hour (at least) kept in memory and in a file in the
// station directory, so that numbers carry on across a restart and a client
// resuming after one still gets exactly the records it missed.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "mseed/mseed_record.h"

class FileWorkQueue;

constexpr uint32_t kSeqModulus = 1u << 24;
constexpr int kSeedLinkPacketLength = 8 + kMseedRecordLength;
// Records kept: whatever lies within this span of the newest record's time...
constexpr int64_t kRingKeepUs = 3'660'000'000LL;
// ...but never more than this many (1000 Hz, eight channels, for an hour).
constexpr size_t kRingMaxRecords = 131'072;

struct RingPacket {
  uint32_t Seq = 0;  // 0..FFFFFF
  std::shared_ptr<const MseedRecord> Record;
};

class SeedLinkRing {
 public:
  // `file`: where the ring persists ("" keeps it in memory only).
  explicit SeedLinkRing(std::string file = "", size_t maxRecords = kRingMaxRecords,
                        int64_t keepUs = kRingKeepUs);
  ~SeedLinkRing();
  // Reads the ring file: the kept records and the next number. A torn or
  // garbled tail is ignored. Call once before the first Push.
  void Load();
  // Adds a record and returns its number. Called from the acquisition thread.
  uint32_t Push(const MseedRecord& record);
  // Called (outside the lock) after each Push, e.g. to wake the server.
  void SetListener(std::function<void()> listener);
  // Waits until the ring file holds every pushed record.
  void Drain();

  // Positions are absolute counts since the ring was created (never reused);
  // a client keeps one and reads on from it.
  uint64_t BeginPos() const;
  uint64_t EndPos() const;  // one past the newest
  // Up to `max` packets from `pos` on; `pos` before BeginPos() yields nothing.
  std::vector<RingPacket> Read(uint64_t pos, size_t max) const;
  // The position of the packet numbered `seq`, if it is kept.
  bool PosOfSeq(uint32_t seq, uint64_t& pos) const;
  // The position of the first packet whose record ends after `timeUs`.
  uint64_t PosAfterTime(int64_t timeUs) const;
  uint32_t NextSeq() const;
  uint32_t OldestSeq() const;  // NextSeq() when empty
  size_t Size() const;

 private:
  void TrimLocked();
  void PersistLocked(const RingPacket& p);

  std::string m_file;
  size_t m_max;
  int64_t m_keepUs;
  mutable std::mutex m_mutex;
  std::deque<RingPacket> m_packets;
  uint64_t m_beginPos = 0;
  uint32_t m_nextSeq = 0;
  std::function<void()> m_listener;
  std::unique_ptr<FileWorkQueue> m_writer;
  uint64_t m_fileRecords = 0;  // packets in the file, for the compaction
};

// "SL" + six upper-case hex digits.
std::string SeedLinkHeader(uint32_t seq);
