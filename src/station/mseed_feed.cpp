#include "station/mseed_feed.h"

#include <algorithm>

#include "mseed/mseed_record.h"
#include "mseed/sds_archive.h"
#include "seedlink/ring.h"
#include "seedlink/server.h"
#include "station/station_state.h"
#include "storage/channel_table.h"
#include "storage/save_path.h"

namespace {

std::string UpperCode(const std::string& s, size_t limit) {
  std::string c = s.substr(0, limit);
  for (char& ch : c)
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  return c;
}

int64_t Magnitude(int32_t v) { return v < 0 ? -static_cast<int64_t>(v) : v; }

constexpr size_t kTagOriginsKept = 512;

}  // namespace

MseedFeed::MseedFeed(const TProgParam& params, MseedFeedOptions options)
    : m_params(params), m_options(std::move(options)) {
  const double rate = m_params.ReSampling > 0
                          ? static_cast<double>(m_params.SampleRate) / m_params.ReSampling
                          : 0.0;
  const std::string net = UpperCode(m_params.MiniSEED.Network, 2);
  const std::string sta = UpperCode(m_params.IDStation, 5);
  const std::string loc = UpperCode(m_params.MiniSEED.Location, 2);
  m_packer = std::make_unique<MiniSeedPacker>(net, sta, loc, rate,
                                              [this](const MseedRecord& r) { OnRecord(r); });
  if (m_params.MiniSEED.Archive) {
    m_archive = std::make_unique<SdsArchive>(m_params.MiniSEED.ArchiveDir);
    m_files = std::make_unique<FileWorkQueue>();
  }
  if (m_params.SeedLink.Server) {
    m_ring = std::make_unique<SeedLinkRing>(m_options.RingFile);
    m_ring->Load();
    SeedLinkIdentity id;
    id.Network = net;
    id.Station = sta;
    id.Description = "Velkor station " + sta;
    id.Software = m_options.Software;
    id.Organization = id.Description;
    id.StartedUs = (m_options.clock ? m_options.clock->NowUnixMs() : 0) * 1000;
    SeedLinkServerOptions so;
    so.Port = m_params.SeedLink.Port;
    so.Allow = m_params.SeedLink.Allow;
    so.clock = m_options.clock;
    so.log = m_options.log;
    m_server = std::make_unique<SeedLinkServer>(*m_ring, id, so);
    if (m_server->Start() && m_options.log)
      m_options.log("Net: SeedLink server listening on port " +
                    std::to_string(m_server->Port()) + ".");
  }
}

MseedFeed::~MseedFeed() {
  Flush();
  m_server.reset();
  m_files.reset();
  m_ring.reset();
}

uint16_t MseedFeed::ServerPort() const { return m_server ? m_server->Port() : 0; }

void MseedFeed::OnRecord(const MseedRecord& r) {
  if (m_ring) m_ring->Push(r);
  if (!m_files) return;
  auto record = std::make_shared<MseedRecord>(r);
  const bool queued = m_files->Post([this, record] {
    std::string error;
    if (!m_archive->Append(*record, error) && !m_diskErrorLogged) {
      m_diskErrorLogged = true;  // once: a full disk would flood the log
      if (m_options.log) m_options.log("Sav: miniSEED archive write error: " + error);
    }
  });
  if (!queued && m_options.log) {
    const uint64_t dropped = m_files->Dropped();
    if (dropped >= m_droppedLogged * 2 + 1) {
      m_droppedLogged = dropped;
      m_options.log("Sav: miniSEED archive behind, records dropped: " + std::to_string(dropped));
    }
  }
}

void MseedFeed::OnOutputCycle(const StationState& s, int32_t newTag, TDateTime ppsSecond,
                              bool timeValid) {
  m_timeValidNow = timeValid;
  if (newTag >= 0 && static_cast<size_t>(newTag) < s.DataPPS.size() &&
      s.DataPPS[newTag].Time != 0) {
    const TDateTime t = s.DataPPS[newTag].Time;
    const bool fromPulse = ppsSecond > 0 && DateTimeToMs(t) == DateTimeToMs(ppsSecond);
    m_tagOrigins.push_back({DateTimeToMs(t), {fromPulse, timeValid}});
    if (m_tagOrigins.size() > kTagOriginsKept) m_tagOrigins.pop_front();
  }
  if (!s.OutputBuffer || !s.OutputPPS) return;
  const ArrayOfDataType& out = *s.OutputBuffer;
  const TArrayOfPPS& tags = *s.OutputPPS;
  // A second is complete once the tag after it exists, as for the continuous
  // save; it is final once one more tag exists.
  auto frames = [&out](const TPPSRecord& tag, int32_t end) {
    const int32_t size = static_cast<int32_t>(out.size());
    const int32_t begin = std::clamp<int32_t>(tag.Index, 0, size);
    end = std::clamp<int32_t>(end, begin, size);
    return ArrayOfDataType(out.begin() + begin, out.begin() + end);
  };
  m_pendingTime = 0;
  for (size_t k = 0; k + 1 < tags.size() && tags[k].Time != 0 && tags[k + 1].Time != 0; ++k) {
    if (DateTimeToMs(tags[k].Time) <= m_lastPackedMs) continue;
    if (k + 2 < tags.size() && tags[k + 2].Time != 0) {
      m_lastPackedMs = DateTimeToMs(tags[k].Time);
      PackSecond(frames(tags[k], tags[k + 1].Index), tags[k].Time);
    } else {
      m_pendingFrames = frames(tags[k], tags[k + 1].Index);
      m_pendingTime = tags[k].Time;
    }
  }
}

void MseedFeed::PackSecond(ArrayOfDataType frames, TDateTime tagTime) {
  if (frames.empty()) return;
  SaveJob job;
  job.Start = tagTime;
  job.Samples = std::move(frames);
  job.Tags = {{tagTime, 0}};
  bool usable = false;
  for (size_t p = 0; p + kChannelCount <= job.Samples.size(); p += kChannelCount)
    for (int input : {1, 3, 5})
      usable = usable || Magnitude(job.Samples[p + input]) < kHighGainLimit;
  job.HighGainUsable = usable;
  // The writer table of the continuous save gives the channels and samples.
  const std::vector<TSaveSeisDataThread> writers =
      TStartSaveSeisDataThread(std::move(job), m_params, m_unusedLock).BuildWriters();
  if (writers.empty()) return;
  const TSaveSeisDataThread& w = writers.front();
  const size_t n = static_cast<size_t>(std::max(w.ChannelCount, 1));
  const size_t perChannel = w.Samples.size() / n;
  if (perChannel == 0) return;

  bool fromPulse = false, valid = m_timeValidNow;
  const int64_t ms = DateTimeToMs(tagTime);
  for (auto it = m_tagOrigins.rbegin(); it != m_tagOrigins.rend(); ++it)
    if (it->first == ms) {
      fromPulse = it->second.first;
      valid = it->second.second;
      break;
    }
  const SecondTiming timing = TimingOf(fromPulse, valid);
  const int64_t startUs = DateTimeToUnixMs(tagTime) * 1000;
  std::vector<int32_t> samples(perChannel);
  for (size_t c = 0; c < w.Channels.size() && c < n; ++c) {
    const SavedChannel& ch = w.Channels[c];
    std::string code = ch.Code;
    if (code.empty())
      code = StateOfHealthCode(m_packer->SampleRate(), ch.Input, ch.Input == m_params.PPSChannel);
    else if (m_params.DoubleSensitivity && ch.Input % 2 == 0 && ch.Input < 6)
      code = LowGainCode(code);
    code = UpperCode(code, 3);
    for (size_t j = 0; j < perChannel; ++j) samples[j] = w.Samples[j * n + c];
    m_packer->AddSecond(code, startUs, samples.data(), samples.size(), timing);
  }
}

void MseedFeed::Flush() {
  if (m_pendingTime != 0 && DateTimeToMs(m_pendingTime) > m_lastPackedMs) {
    m_lastPackedMs = DateTimeToMs(m_pendingTime);
    PackSecond(std::move(m_pendingFrames), m_pendingTime);
  }
  m_pendingTime = 0;
  if (m_packer) m_packer->FlushAll();
  if (m_files) m_files->Drain();
  if (m_ring) m_ring->Drain();
}
