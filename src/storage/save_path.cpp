#include "storage/save_path.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "storage/file_naming.h"
#include "storage/gse2.h"

namespace {

int32_t ClampIndex(int64_t index, size_t size) {
  if (index < 0) return 0;
  if (index > static_cast<int64_t>(size)) return static_cast<int32_t>(size);
  return static_cast<int32_t>(index);
}

double LsbOf(const TProgParam& p, int input) {
  return static_cast<size_t>(input) < p.LSBin.size() ? p.LSBin[input] : 1.0;
}

int64_t Magnitude(int32_t v) { return v < 0 ? -static_cast<int64_t>(v) : v; }

// Peaks of Z, N, E and the high-gain-usable flag over the copied frames.
void ComputePeaks(const ArrayOfDataType& samples, const TProgParam& p, SavePreparation& out,
                  bool& highGainUsable) {
  const size_t frames = samples.size() / kChannelCount;
  int32_t largest[6] = {0, 0, 0, 0, 0, 0};
  double peaks[3] = {0, 0, 0};
  for (size_t f = 0; f < frames; ++f) {
    const int32_t* frame = samples.data() + f * kChannelCount;
    for (int input = 0; input < 6; ++input)
      if (Magnitude(frame[input]) > Magnitude(largest[input])) largest[input] = frame[input];
    if (!p.DoubleSensitivity) {
      for (int c = 0; c < 3; ++c) {
        const double v = frame[c] * LsbOf(p, c);
        if (std::abs(v) > std::abs(peaks[c])) peaks[c] = v;
      }
    }
  }
  highGainUsable = Magnitude(largest[1]) < kHighGainLimit ||
                   Magnitude(largest[3]) < kHighGainLimit ||
                   Magnitude(largest[5]) < kHighGainLimit;
  if (p.DoubleSensitivity) {
    for (int c = 0; c < 3; ++c) {
      const int high = 2 * c + 1, low = 2 * c;
      peaks[c] = Magnitude(largest[high]) < kHighGainLimit ? largest[high] * LsbOf(p, high)
                                                           : largest[low] * LsbOf(p, low);
    }
  }
  out.PeakZ = peaks[0];
  out.PeakN = peaks[1];
  out.PeakE = peaks[2];
}

// Stands between a writer and the job's host: forwards everything and lets
// the job wait until the writer's notification has been posted.
class WriterWatch final : public WorkerHost {
 public:
  explicit WriterWatch(WorkerHost& host) : m_host(host) {}
  void WorkerStarting(bool saveThread) override { m_host.WorkerStarting(saveThread); }
  void PostThreadFinished(int code, uint64_t threadId) override {
    m_host.PostThreadFinished(code, threadId);
    std::lock_guard<std::mutex> lk(m_mutex);
    m_code = code;
    m_done = true;
    m_cv.notify_all();
  }
  void Log(const std::string& message) override { m_host.Log(message); }
  // The writer's thread-finished code.
  int Wait() {
    std::unique_lock<std::mutex> lk(m_mutex);
    m_cv.wait(lk, [this] { return m_done; });
    return m_code;
  }

 private:
  WorkerHost& m_host;
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_done = false;
  int m_code = kSaveWriterFailedCode;
};

}  // namespace

void UnwrittenSegments::Add(int64_t position) {
  std::lock_guard<std::mutex> lk(m_mutex);
  m_positions.push_back(position);
}

std::vector<int64_t> UnwrittenSegments::Take() {
  std::lock_guard<std::mutex> lk(m_mutex);
  std::vector<int64_t> out;
  out.swap(m_positions);
  return out;
}

bool UnwrittenSegments::Empty() const {
  std::lock_guard<std::mutex> lk(m_mutex);
  return m_positions.empty();
}

bool SaveContinuation::RetryDue(TDateTime now) {
  if (Unwritten->Empty()) return false;
  if (LastRetry != 0 && SecondsBetween(now, LastRetry) < kRetrySeconds) return false;
  LastRetry = now;
  return true;
}

SavePreparation PrepareBufferForSave(const ArrayOfDataType* window, const TArrayOfPPS* tagList,
                                     SaveContinuation* continuation, const TProgParam& params,
                                     TDateTime start, bool trigger, int32_t& span) {
  SavePreparation result;
  if (!tagList || !window) return result;
  const TArrayOfPPS& tags = *tagList;
  const ArrayOfDataType& buffer = *window;
  const int size = static_cast<int>(tags.size());
  result.Outcome = SaveOutcome::NothingToSave;
  SaveContinuation* const cont = trigger ? nullptr : continuation;
  int occupied = 0;
  while (occupied < size && tags[occupied].Time != 0) ++occupied;
  auto streamPos = [&](int k) { return cont->WindowStart + tags[k].Index; };

  // The first new segment: by position after the last one handed over, or
  // by time after `start`.
  int i0 = 0;
  if (cont) {
    while (i0 < occupied && streamPos(i0) < cont->Next) ++i0;
    if (i0 == occupied) i0 = size;
  } else {
    const int64_t startMs = DateTimeToMs(start);
    while (i0 < size && DateTimeToMs(tags[i0].Time) <= startMs) ++i0;
  }
  int i1 = i0;
  if (i0 < size - 1) {
    const int64_t t0 = DateTimeToMs(tags[i0].Time);
    const int64_t spanMs = static_cast<int64_t>(span) * 1000;
    i1 = i0 + 1;
    while (i1 < size && tags[i1].Time != 0 && DateTimeToMs(tags[i1].Time) - t0 <= spanMs) ++i1;
    // The last segment before the end of the data may still be growing.
    if (i1 < size && (i1 == size - 1 || tags[i1 + 1].Time == 0)) --i1;
    span = (i1 - i0) - span;
  }

  // Segments whose writers failed, while still whole in the window; they
  // all lie before the new ones.
  std::vector<int> chosen;
  if (cont) {
    for (int64_t position : cont->Unwritten->Take()) {
      int k = 0;
      while (k < occupied && streamPos(k) != position) ++k;
      if (k + 1 < occupied && k < i0)
        chosen.push_back(k);
      else
        ++result.Lost;
    }
    std::sort(chosen.begin(), chosen.end());
    chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
  }
  for (int k = i0; k < i1; ++k) chosen.push_back(k);
  // No whole segment yet; the interval's start and LastSaveTime stay as they are.
  if (chosen.empty()) return result;

  if (i1 > i0) {
    if (!trigger || (!params.Continuous && params.Triggers)) result.LastSaveTime = tags[i1 - 1].Time;
    if (cont)
      cont->Next = (i1 < size && tags[i1].Time != 0)
                       ? streamPos(i1)
                       : cont->WindowStart + static_cast<int64_t>(buffer.size());
  }

  SaveJob job;
  job.Start = start;
  job.Trigger = trigger;
  job.Tags.reserve(chosen.size());
  // Runs of neighbouring segments are copied back to back; each segment
  // still ends where the next tag of the copy begins.
  for (size_t r = 0; r < chosen.size();) {
    size_t e = r + 1;
    while (e < chosen.size() && chosen[e] == chosen[e - 1] + 1) ++e;
    const int first = chosen[r], after = chosen[e - 1] + 1;
    const int32_t from = ClampIndex(tags[first].Index, buffer.size());
    int32_t to = (after >= size || tags[after].Time == 0)
                     ? static_cast<int32_t>(buffer.size())
                     : ClampIndex(tags[after].Index, buffer.size());
    if (to < from) to = from;
    const int32_t base = static_cast<int32_t>(job.Samples.size()) - from;
    job.Samples.insert(job.Samples.end(), buffer.begin() + from, buffer.begin() + to);
    for (size_t x = r; x < e; ++x) {
      job.Tags.push_back({tags[chosen[x]].Time, tags[chosen[x]].Index + base});
      if (cont) job.Positions.push_back(streamPos(chosen[x]));
    }
    r = e;
  }
  if (cont) job.Unwritten = cont->Unwritten;
  ComputePeaks(job.Samples, params, result, job.HighGainUsable);

  result.Outcome = SaveOutcome::Saved;
  result.Job = std::move(job);
  return result;
}

bool CreateDirectoriesLevelByLevel(const std::string& dir, std::string& error) {
  namespace fs = std::filesystem;
  std::error_code existing;
  if (fs::is_directory(fs::path(dir), existing)) return true;  // the usual case: one look
  fs::path level;
  for (const fs::path& part : fs::path(dir)) {
    if (part.empty()) continue;
    level /= part;
    std::error_code ec;
    const fs::file_status st = fs::status(level, ec);
    if (fs::is_directory(st)) continue;
    if (fs::exists(st)) {
      error = "cannot create directory " + level.string() + ": a file is in the way";
      return false;
    }
    if (fs::create_directory(level, ec)) continue;
    // Another process may have made it meanwhile.
    std::error_code again;
    if (fs::is_directory(level, again)) continue;
    error = "cannot create directory " + level.string() + ": " +
            (ec ? ec.message() : std::string("unknown error"));
    return false;
  }
  return true;
}

int TSaveSeisDataThread::Execute(SaveLock& lock, WorkerHost& host) const {
  if (!lock.Acquire(kSaveLockLimitMs)) {
    host.Log("Sav: Disk write error. " + FileName + " (save lock not free for " +
             std::to_string(kSaveLockLimitMs / 1000) + " s, segment not written)");
    return -1;
  }
  SaveLockGuard guard(lock);

  std::string error;
  const std::string dir = std::filesystem::path(FileName).parent_path().string();
  if (!dir.empty() && !CreateDirectoriesLevelByLevel(dir, error)) {
    host.Log("Sav: Disk write error. " + FileName + " (" + error + ")");
    return -1;
  }

  Gse2FileWriter file;
  if (file.Open(FileName) && !file.RepairNote().empty()) host.Log("Sav: " + file.RepairNote());
  const size_t n = ChannelCount > 0 ? static_cast<size_t>(ChannelCount) : 0;
  if (n > 0) {
    const size_t perChannel = Samples.size() / n;
    for (size_t c = 0; c < n && c < Samples.size(); ++c) {
      Wid2Fields header;
      header.Start = SegmentStart;
      header.Station = Station;
      if (c < Channels.size()) {
        header.Channel = Channels[c].Code;
        header.AuxId = Channels[c].AuxId;
        header.Calibration = Channels[c].Calibration;
      }
      header.SampleCount = static_cast<int32_t>(perChannel);
      header.SampleRate = SampleRate;
      header.Instrument = Instrument;
      file.WriteBlock(header, Samples.data() + c, perChannel, n);
    }
  }
  int result = file.WriteStop();
  file.Close();
  if (file.Failed()) {
    host.Log("Sav: Disk write error. " + FileName + " (" + file.Error() + ")");
    result = -1;
  }
  return result;
}

TStartSaveSeisDataThread::TStartSaveSeisDataThread(SaveJob job, TProgParam params,
                                                   SaveLock& lock)
    : m_job(std::move(job)), m_params(std::move(params)), m_lock(lock) {}

std::vector<TSaveSeisDataThread> TStartSaveSeisDataThread::BuildWriters() const {
  const std::vector<SavedChannel> channels = BuildChannelTable(m_params);
  const size_t n = channels.size();
  int slotOf[kChannelCount];
  std::fill(std::begin(slotOf), std::end(slotOf), -1);
  for (size_t c = 0; c < n; ++c) slotOf[channels[c].Input] = static_cast<int>(c);
  int sourceOf[kChannelCount];
  for (int input = 0; input < kChannelCount; ++input)
    sourceOf[input] = LowGainSourceFor(m_params, m_job.HighGainUsable, input);

  const double rate =
      static_cast<double>(m_params.SampleRate) / (m_params.ReSampling > 1 ? m_params.ReSampling : 1);
  const ArrayOfDataType& samples = m_job.Samples;
  const int64_t total = static_cast<int64_t>(samples.size());

  std::vector<TSaveSeisDataThread> writers;
  writers.reserve(m_job.Tags.size());
  for (size_t k = 0; k < m_job.Tags.size(); ++k) {
    const TPPSRecord& tag = m_job.Tags[k];
    TSaveSeisDataThread w;
    w.SegmentStart = tag.Time;
    w.SampleRate = rate;
    w.FileName = m_job.Trigger ? TriggerFileName(m_params, m_job.Tags.front().Time)
                               : ContinuousFileName(m_params, tag.Time);
    w.Instrument = m_params.Seismograph.Model;
    w.Station = m_params.IDStation;
    w.Channels = channels;
    w.ChannelCount = static_cast<int32_t>(n);

    const int64_t begin = std::max<int64_t>(0, tag.Index);
    int64_t end = total;
    if (k + 1 < m_job.Tags.size() && m_job.Tags[k + 1].Index >= 0) end = m_job.Tags[k + 1].Index;
    const size_t capacity = end > begin ? static_cast<size_t>((end - begin) / kChannelCount) * n : 0;
    w.Samples.reserve(capacity);
    for (int64_t p = begin; p < end && w.Samples.size() < capacity && p < total; ++p) {
      const int input = static_cast<int>(p % kChannelCount);
      if (slotOf[input] < 0) continue;
      const int low = sourceOf[input];
      if (low >= 0 && p - (input - low) >= 0) {
        w.Samples.push_back(ConvertLowToHighGain(samples[p - (input - low)], LsbOf(m_params, low),
                                                 LsbOf(m_params, input)));
      } else {
        w.Samples.push_back(samples[p]);
      }
    }
    writers.push_back(std::move(w));
  }
  return writers;
}

int TStartSaveSeisDataThread::Execute(WorkerHost& host) {
  if (m_ticket) m_lock.WaitJobTurn(*m_ticket);
  struct TurnEnd {
    SaveLock& lock;
    std::optional<uint64_t> ticket;
    ~TurnEnd() {
      if (ticket) lock.EndJobTurn(*ticket);
    }
  } turnEnd{m_lock, m_ticket};
  std::vector<TSaveSeisDataThread> writers = BuildWriters();
  // The copy is no longer needed once the writers hold their segments.
  m_job.Samples = ArrayOfDataType();
  // A job that can hand its failed segments back for a retry stops writing
  // to a file at its first failure there: the rest would fail alike, each
  // with its own log line.
  const bool handsBack = m_job.Unwritten && m_job.Positions.size() == writers.size();
  std::string failedFile;
  for (size_t k = 0; k < writers.size(); ++k) {
    auto writer = std::make_shared<TSaveSeisDataThread>(std::move(writers[k]));
    bool written = false;
    if (!handsBack || writer->FileName != failedFile) {
      auto watch = std::make_shared<WriterWatch>(host);
      SaveLock* lock = &m_lock;
      if (StartWorker(*watch, true, [watch, writer, lock]() {
            return WriterResultCode(writer->Execute(*lock, *watch));
          }))
        written = watch->Wait() == kSaveWriterOkCode;
      else
        host.Log("Sav: Disk write error. " + writer->FileName + " (writer thread not started)");
    }
    if (!written && handsBack) {
      m_job.Unwritten->Add(m_job.Positions[k]);
      failedFile = writer->FileName;
    }
  }
  return m_job.Trigger && m_params.Continuous ? kSaveJobTriggerCode : kSaveJobDoneCode;
}

bool StartSaveJob(WorkerHost& host, SaveJob job, const TProgParam& params, SaveLock& lock) {
  // Kept for the job's own failure: its segments are then all unwritten.
  const std::shared_ptr<UnwrittenSegments> unwritten = job.Unwritten;
  const std::vector<int64_t> positions = unwritten ? job.Positions : std::vector<int64_t>();
  auto saveJob = std::make_shared<TStartSaveSeisDataThread>(std::move(job), params, lock);
  saveJob->SetTicket(lock.TakeJobTicket());
  if (StartWorker(host, false, [saveJob, &host]() { return saveJob->Execute(host); })) return true;
  for (int64_t position : positions) unwritten->Add(position);
  lock.EndJobTurn(*saveJob->Ticket());
  host.Log("Sav: Save job not started, its data are not saved.");
  return false;
}
