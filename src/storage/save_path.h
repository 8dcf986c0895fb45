#pragma once
// The save path: the main thread cuts an interval of time-tagged segments out
// of the output window and copies it (PrepareBufferForSave); a save job
// (TStartSaveSeisDataThread) names the file and runs one writer
// (TSaveSeisDataThread) per segment, one after another; each writer appends
// its segment under the save lock. Jobs and writers never see the station's
// windows, only their copies.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/types.h"
#include "common/worker.h"
#include "config/progparam.h"
#include "storage/channel_table.h"
#include "storage/save_lock.h"

struct StationState;

// Thread-finished codes of the save path.
constexpr int kSaveWriterOkCode = 31;
constexpr int kSaveWriterFailedCode = kSaveFailedCode;  // 32
constexpr int kSaveJobDoneCode = 90;
// A trigger file written while continuous recording is on.
constexpr int kSaveJobTriggerCode = 91;

// What PrepareBufferForSave hands to a save job: the copied samples
// (interleaved by 8) and their tags, positions relative to the copy.
struct SaveJob {
  TDateTime Start = 0;
  bool Trigger = false;
  bool HighGainUsable = true;
  ArrayOfDataType Samples;
  TArrayOfPPS Tags;
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
};

// Main thread, inside the acquisition lock. Takes the segments whose tags lie
// after `start`, at most `span` seconds from the first; the last segment of
// the window (maybe still growing) is left for the next save. Advances
// LastSaveTime for continuous saves (and for trigger saves when only triggers
// are recorded). On return `span` holds segments taken minus segments asked.
SavePreparation PrepareBufferForSave(StationState& state, const TProgParam& params,
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
