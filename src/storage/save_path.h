#pragma once
// The save path: the main thread cuts an interval of time-tagged segments out
// of the output window and copies it (PrepareBufferForSave); a save job
// (TStartSaveSeisDataThread) names the file and runs one writer
// (TSaveSeisDataThread) per segment, one after another; each writer appends
// its segment under the save lock. Jobs and writers never see the station's
// windows, only their copies.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/thread_codes.h"
#include "common/types.h"
#include "common/worker.h"
#include "config/progparam.h"
#include "storage/channel_table.h"
#include "storage/save_lock.h"


// Segments of continuous saves that were not written, by stream position.
// Save jobs add them from their threads; the next continuous save takes them
// on the main thread.
class UnwrittenSegments {
 public:
  void Add(int64_t position);
  std::vector<int64_t> Take();
  bool Empty() const;

 private:
  mutable std::mutex m_mutex;
  std::vector<int64_t> m_positions;
};

// Where continuous saving stands. Positions count the output window's values
// since start-up (stream positions), so they survive the window's slide and
// do not depend on the tags' times, which go backwards when the clock is set.
struct SaveContinuation {
  // A failed segment is tried again this often while it is in the window.
  static constexpr int kRetrySeconds = 10;

  int64_t WindowStart = 0;  // stream position of the window's first value
  int64_t Next = 0;         // first position not yet handed to a continuous save
  std::shared_ptr<UnwrittenSegments> Unwritten = std::make_shared<UnwrittenSegments>();
  TDateTime LastRetry = 0;

  // The cycle moved the output window by its new count.
  void Slide(int32_t newCount) { WindowStart += newCount; }
  // True (and remembered) when failed segments wait and the last retry is
  // kRetrySeconds ago.
  bool RetryDue(TDateTime now);
};

// What PrepareBufferForSave hands to a save job: the copied samples
// (interleaved by 8) and their tags, positions relative to the copy.
struct SaveJob {
  TDateTime Start = 0;
  bool Trigger = false;
  bool HighGainUsable = true;
  ArrayOfDataType Samples;
  TArrayOfPPS Tags;
  // Continuous saves: each tag's stream position, and where the job hands
  // back the segments it could not write.
  std::vector<int64_t> Positions;
  std::shared_ptr<UnwrittenSegments> Unwritten;
};

enum class SaveOutcome {
  NoOutputWindow,  // no cycle has processed data yet: not an empty save
  NothingToSave,   // logged by the continuous saver, counts towards the halt
  Saved,           // Job holds the copy; start it with StartSaveJob
};

struct SavePreparation {
  SaveOutcome Outcome = SaveOutcome::NoOutputWindow;
  // Peak velocities (nm/s, signed) of Z, N and E over the copied interval.
  double PeakZ = 0, PeakN = 0, PeakE = 0;
  std::optional<SaveJob> Job;
  // The new LastSaveTime: set for continuous saves (and for trigger saves
  // when only triggers are recorded) that took new segments.
  std::optional<TDateTime> LastSaveTime;
  // Unwritten segments that left the window before they could be retried.
  int32_t Lost = 0;
};

// Main thread. A continuous save with a
// continuation takes the segments from its position on, plus the unwritten
// segments still in the window; otherwise the segments whose tags lie after
// `start`. At most `span` seconds from the first new segment; the last segment
// of the window (maybe still growing) is left for the next save. On return
// `span` holds new segments taken minus segments asked.
SavePreparation PrepareBufferForSave(const ArrayOfDataType* window, const TArrayOfPPS* tags,
                                     SaveContinuation* continuation, const TProgParam& params,
                                     TDateTime start, bool trigger, int32_t& span);

// One segment to one file. Fields are set by the save job before it starts.
class TSaveSeisDataThread {
 public:
  TDateTime SegmentStart = 0;
  double SampleRate = 0;
  int32_t ChannelCount = 0;
  std::vector<SavedChannel> Channels;
  std::string FileName;
  std::string Instrument;
  std::string Station;
  // Value j of saved channel c at j * ChannelCount + c.
  ArrayOfDataType Samples;

  // The work routine: creates the directories, appends the blocks and STOP
  // under `lock`. Returns the byte count of the STOP write (4), or -1 after
  // any failure, which is also logged through `host` as one "Sav: " line.
  int Execute(SaveLock& lock, WorkerHost& host) const;
};

// Thread-finished code of a writer result.
inline int WriterResultCode(int result) {
  return result >= 0 ? kSaveWriterOkCode : kSaveWriterFailedCode;
}

class TStartSaveSeisDataThread {
 public:
  TStartSaveSeisDataThread(SaveJob job, TProgParam params, SaveLock& lock);

  // The writers of the job, one per tag, in order (not started).
  std::vector<TSaveSeisDataThread> BuildWriters() const;
  // The work routine: starts each writer as a counted save thread through
  // `host` and waits until it has reported before starting the next. Returns
  // the job's own thread-finished code (90, or 91 for a trigger file while
  // continuous recording is on).
  int Execute(WorkerHost& host);
  // The job's place in the order of writing (SaveLock's job tickets); a job
  // without one runs at once.
  void SetTicket(uint64_t ticket) { m_ticket = ticket; }
  std::optional<uint64_t> Ticket() const { return m_ticket; }

 private:
  SaveJob m_job;
  TProgParam m_params;
  SaveLock& m_lock;
  std::optional<uint64_t> m_ticket;
};

// Starts the job on its own thread, counted in PendingThreads. False when the
// thread could not be started (the host has then been notified as usual).
bool StartSaveJob(WorkerHost& host, SaveJob job, const TProgParam& params, SaveLock& lock);

// Creates every missing directory of `dir`, one level at a time from the root.
// False with `error` naming the level that can neither be found nor created.
bool CreateDirectoriesLevelByLevel(const std::string& dir, std::string& error);
