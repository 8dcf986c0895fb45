#include "mseed/mseed_record.h"

#include <libmseed.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

constexpr int64_t kUsPerDay = 86'400'000'000LL;
constexpr int32_t kMaxHeaderSequence = 999'999;

uint16_t Be16(const char* p) {
  return static_cast<uint16_t>((static_cast<uint8_t>(p[0]) << 8) | static_cast<uint8_t>(p[1]));
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

void CopyCode(char* dest, const std::string& code, size_t limit) {
  const size_t n = std::min(code.size(), limit);
  std::memcpy(dest, code.data(), n);
  dest[n] = '\0';
}

}  // namespace

SecondTiming TimingOf(bool fromPulse, bool timeValid) {
  SecondTiming t;
  t.ClockLocked = fromPulse;
  t.Questionable = !timeValid;
  t.Quality = !timeValid ? 0 : fromPulse ? kQualityPulse : kQualityClock;
  return t;
}

int64_t MseedRecord::EndUs() const {
  if (SampleRate <= 0) return StartUs;
  return StartUs + std::llround(Samples * 1e6 / SampleRate);
}

bool ParseRecordHeader(const char* data, MseedRecord& out) {
  // A torn record is expected after a crash and handled by the caller; the
  // library would print it to the terminal.
  static std::once_flag quiet;
  std::call_once(quiet, [] { ms_loginit(nullptr, nullptr, [](char*) {}, nullptr); });
  MSRecord* msr = nullptr;
  // Only the header: the record is not copied and the data stay packed.
  const int rc = msr_unpack(const_cast<char*>(data), kMseedRecordLength, &msr, 0, 0);
  const bool ok = rc == MS_NOERROR && msr && msr->reclen == kMseedRecordLength && msr->samprate > 0;
  if (ok) {
    out.Network = msr->network;
    out.Station = msr->station;
    out.Location = msr->location;
    out.Channel = msr->channel;
    out.StartUs = msr->starttime;
    out.Samples = static_cast<int32_t>(msr->samplecnt);
    out.SampleRate = msr->samprate;
    std::memcpy(out.Data.data(), data, kMseedRecordLength);
  }
  if (msr) msr_free(&msr);
  return ok;
}

std::string StateOfHealthCode(double sampleRate, int input, bool pulseChannel) {
  const char band = sampleRate >= 1000 ? 'F'
                    : sampleRate >= 250 ? 'C'
                    : sampleRate >= 80  ? 'H'
                    : sampleRate >= 10  ? 'B'
                    : sampleRate > 1    ? 'M'
                                        : 'L';
  std::string code{band, 'Y'};
  code += pulseChannel ? 'P' : static_cast<char>('0' + input % 10);
  return code;
}

std::string LowGainCode(const std::string& code) {
  std::string c = code;
  if (c.size() >= 2) c[1] = 'L';
  return c;
}

struct MiniSeedPacker::Stream {
  std::string Channel;
  std::vector<int32_t> Buffer;
  int64_t AnchorUs = 0;   // time of the first sample of this continuous run
  int64_t Consumed = 0;   // samples of the run already in records
  SecondTiming Timing;
  int32_t Sequence = 1;   // header sequence number, 1..999999

  int64_t TimeOf(int64_t sampleInRun, double rate) const {
    return AnchorUs + std::llround(sampleInRun * 1e6 / rate);
  }
};

MiniSeedPacker::MiniSeedPacker(std::string network, std::string station, std::string location,
                               double sampleRate, Sink sink)
    : m_network(std::move(network)),
      m_station(std::move(station)),
      m_location(std::move(location)),
      m_rate(sampleRate),
      m_sink(std::move(sink)) {}

MiniSeedPacker::~MiniSeedPacker() = default;

MiniSeedPacker::Stream& MiniSeedPacker::StreamFor(const std::string& channel) {
  for (auto& s : m_streams)
    if (s->Channel == channel) return *s;
  m_streams.push_back(std::make_unique<Stream>());
  m_streams.back()->Channel = channel;
  return *m_streams.back();
}

void MiniSeedPacker::AddSecond(const std::string& channel, int64_t startUs,
                               const int32_t* samples, size_t count, SecondTiming timing) {
  if (m_rate <= 0 || count == 0) return;
  Stream& s = StreamFor(channel);
  if (!s.Buffer.empty()) {
    const int64_t expected = s.TimeOf(s.Consumed + static_cast<int64_t>(s.Buffer.size()), m_rate);
    const int64_t halfSample = std::llround(0.5e6 / m_rate);
    const bool continues = std::llabs(startUs - expected) < halfSample;
    const bool sameDay =
        FloorDiv(s.TimeOf(s.Consumed, m_rate), kUsPerDay) == FloorDiv(startUs, kUsPerDay);
    if (!continues || !sameDay || !(timing == s.Timing)) Pack(s, true);
  }
  if (s.Buffer.empty()) {
    s.AnchorUs = startUs;
    s.Consumed = 0;
    s.Timing = timing;
  }
  s.Buffer.insert(s.Buffer.end(), samples, samples + count);
  Pack(s, false);
  if (!s.Buffer.empty() &&
      s.TimeOf(s.Consumed + static_cast<int64_t>(s.Buffer.size()), m_rate) -
              s.TimeOf(s.Consumed, m_rate) >=
          kMaxRecordSpanUs)
    Pack(s, true);
}

void MiniSeedPacker::FlushAll() {
  for (auto& s : m_streams) Pack(*s, true);
}

namespace {
struct HandlerContext {
  MiniSeedPacker::Sink* sink;
  const MseedRecord* proto;
  int64_t anchorUs;
  int64_t firstSample;  // index in the run of the next record's first sample
  double rate;
};

void OnRecord(char* record, int length, void* data) {
  auto* ctx = static_cast<HandlerContext*>(data);
  if (length != kMseedRecordLength) return;
  MseedRecord r = *ctx->proto;
  r.Samples = Be16(record + 30);
  r.StartUs = ctx->anchorUs + std::llround(ctx->firstSample * 1e6 / ctx->rate);
  ctx->firstSample += r.Samples;
  std::memcpy(r.Data.data(), record, kMseedRecordLength);
  (*ctx->sink)(r);
}
}  // namespace

void MiniSeedPacker::Pack(Stream& s, bool flush) {
  if (s.Buffer.empty()) return;
  MSRecord* msr = msr_init(nullptr);
  if (!msr) return;
  CopyCode(msr->network, m_network, 2);
  CopyCode(msr->station, m_station, 5);
  CopyCode(msr->location, m_location, 2);
  CopyCode(msr->channel, s.Channel, 3);
  msr->dataquality = 'D';
  msr->starttime = s.TimeOf(s.Consumed, m_rate);
  msr->samprate = m_rate;
  msr->encoding = DE_STEIM2;
  msr->byteorder = 1;  // big-endian, as every SeedLink client expects
  msr->reclen = kMseedRecordLength;
  msr->sequence_number = s.Sequence;
  msr->datasamples = s.Buffer.data();
  msr->numsamples = static_cast<int64_t>(s.Buffer.size());
  msr->sampletype = 'i';
  msr->fsdh = static_cast<struct fsdh_s*>(std::calloc(1, sizeof(struct fsdh_s)));
  if (msr->fsdh) {
    msr->fsdh->io_flags = s.Timing.ClockLocked ? 0x20 : 0;
    msr->fsdh->dq_flags = s.Timing.Questionable ? 0x80 : 0;
  }
  // B1000 first (offset 48), then B1001 (offset 56): the usual layout.
  struct blkt_1000_s b1000 {};
  b1000.encoding = DE_STEIM2;
  b1000.byteorder = 1;
  b1000.reclen = 9;
  msr_addblockette(msr, reinterpret_cast<char*>(&b1000), sizeof b1000, 1000, 0);
  struct blkt_1001_s b1001 {};
  b1001.timing_qual = s.Timing.Quality;
  msr_addblockette(msr, reinterpret_cast<char*>(&b1001), sizeof b1001, 1001, 0);

  MseedRecord proto;
  proto.Network = msr->network;
  proto.Station = msr->station;
  proto.Location = msr->location;
  proto.Channel = msr->channel;
  proto.SampleRate = m_rate;
  HandlerContext ctx{&m_sink, &proto, s.AnchorUs, s.Consumed, m_rate};
  int64_t packed = 0;
  msr_pack(msr, OnRecord, &ctx, &packed, flush ? 1 : 0, 0);
  s.Sequence = msr->sequence_number > kMaxHeaderSequence ? 1 : msr->sequence_number;
  msr->datasamples = nullptr;  // ours, not libmseed's
  msr_free(&msr);
  if (packed > 0) {
    packed = std::min<int64_t>(packed, static_cast<int64_t>(s.Buffer.size()));
    s.Buffer.erase(s.Buffer.begin(), s.Buffer.begin() + packed);
    s.Consumed += packed;
  }
  if (flush) s.Buffer.clear();
}
