#pragma once
// Hands each completed output second to the miniSEED packer, whose records go
// to the SDS archive (on a writer thread) and to the SeedLink ring and server.
// The seconds are cut at the same tags and hold the same samples as the
// continuous GSE2 save, so the two formats carry the same data.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "common/types.h"
#include "config/progparam.h"
#include "platform/clock.h"
#include "storage/save_lock.h"

class MiniSeedPacker;
class SdsArchive;
class FileWorkQueue;
class SeedLinkRing;
class SeedLinkServer;
struct StationState;
struct MseedRecord;

struct MseedFeedOptions {
  std::string RingFile;  // where the SeedLink ring persists
  std::string Software;  // name and version for the SeedLink greeting
  const Clock* clock = nullptr;
  std::function<void(const std::string&)> log;  // thread-safe event-log line
};

class MseedFeed {
 public:
  MseedFeed(const TProgParam& params, MseedFeedOptions options);
  ~MseedFeed();  // flushes the records, waits for the files, stops the server

  // After each cycle's tags are made: `newTag` is the DataPPS entry this
  // cycle added (−1: none), `ppsSecond` the pulse second the cycle found (0:
  // none), `timeValid` the GPS time-valid flag. Packs every output second
  // that the newest tag has completed.
  void OnOutputCycle(const StationState& s, int32_t newTag, TDateTime ppsSecond, bool timeValid);
  // Closes the partly filled records (shutdown) and waits for the files.
  void Flush();

  // For tests: the ring, and the server's port (0 without a server).
  SeedLinkRing& Ring() { return *m_ring; }
  uint16_t ServerPort() const;

 private:
  void OnRecord(const MseedRecord& r);
  // One second: its interleaved output frames and its tag.
  void PackSecond(ArrayOfDataType frames, TDateTime tagTime);

  TProgParam m_params;
  MseedFeedOptions m_options;
  SaveLock m_unusedLock;  // the writer table wants one; nothing is written through it
  std::unique_ptr<MiniSeedPacker> m_packer;
  std::unique_ptr<SdsArchive> m_archive;
  std::unique_ptr<FileWorkQueue> m_files;
  std::unique_ptr<SeedLinkRing> m_ring;
  std::unique_ptr<SeedLinkServer> m_server;
  int64_t m_lastPackedMs = INT64_MIN;  // tag time of the last packed second
  // The newest complete second: its last frames may still be revised by the
  // next cycle's decimation, so it is packed one tag later, or at shutdown
  // as the final continuous save sees it.
  ArrayOfDataType m_pendingFrames;
  TDateTime m_pendingTime = 0;
  // Origin of recent tags: time (ms) → from a pulse; the time-valid flag then.
  std::deque<std::pair<int64_t, std::pair<bool, bool>>> m_tagOrigins;
  bool m_timeValidNow = false;
  bool m_diskErrorLogged = false;
  uint64_t m_droppedLogged = 0;
};
