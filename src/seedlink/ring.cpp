#include "seedlink/ring.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "mseed/sds_archive.h"

namespace {

bool ParseHeaderSeq(const char* p, uint32_t& seq) {
  if (p[0] != 'S' || p[1] != 'L') return false;
  uint32_t v = 0;
  for (int i = 2; i < 8; ++i) {
    const char c = p[i];
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return false;
    v = v * 16 + static_cast<uint32_t>(d);
  }
  seq = v;
  return true;
}

void AppendPacket(std::string& out, const RingPacket& p) {
  out += SeedLinkHeader(p.Seq);
  out.append(p.Record->Data.data(), p.Record->Data.size());
}

}  // namespace

std::string SeedLinkHeader(uint32_t seq) {
  char h[16];
  std::snprintf(h, sizeof h, "SL%06X", seq % kSeqModulus);
  return h;
}

SeedLinkRing::SeedLinkRing(std::string file, size_t maxRecords, int64_t keepUs)
    : m_file(std::move(file)), m_max(maxRecords), m_keepUs(keepUs) {
  if (!m_file.empty()) m_writer = std::make_unique<FileWorkQueue>();
}

SeedLinkRing::~SeedLinkRing() { m_writer.reset(); }

void SeedLinkRing::Load() {
  if (m_file.empty()) return;
  std::ifstream in(m_file, std::ios::binary);
  std::lock_guard lock(m_mutex);
  char buf[kSeedLinkPacketLength];
  while (in.read(buf, sizeof buf)) {
    RingPacket p;
    auto rec = std::make_shared<MseedRecord>();
    if (!ParseHeaderSeq(buf, p.Seq) || !ParseRecordHeader(buf + 8, *rec)) break;
    p.Record = std::move(rec);
    m_packets.push_back(std::move(p));
    ++m_fileRecords;
    m_nextSeq = (m_packets.back().Seq + 1) % kSeqModulus;
  }
  // The file holds only what parsed; a garbled tail is cut off by the next write.
  if (!m_packets.empty() || in.gcount() > 0) {
    std::error_code ec;
    std::filesystem::resize_file(m_file, m_fileRecords * kSeedLinkPacketLength, ec);
  }
  TrimLocked();
}

uint32_t SeedLinkRing::Push(const MseedRecord& record) {
  uint32_t seq;
  std::function<void()> listener;
  {
    std::lock_guard lock(m_mutex);
    RingPacket p{m_nextSeq, std::make_shared<const MseedRecord>(record)};
    seq = p.Seq;
    m_nextSeq = (m_nextSeq + 1) % kSeqModulus;
    m_packets.push_back(p);
    TrimLocked();
    PersistLocked(p);
    listener = m_listener;
  }
  if (listener) listener();
  return seq;
}

void SeedLinkRing::SetListener(std::function<void()> listener) {
  std::lock_guard lock(m_mutex);
  m_listener = std::move(listener);
}

void SeedLinkRing::Drain() {
  if (m_writer) m_writer->Drain();
}

void SeedLinkRing::TrimLocked() {
  while (!m_packets.empty() &&
         (m_packets.size() > m_max ||
          m_packets.back().Record->StartUs - m_packets.front().Record->StartUs > m_keepUs)) {
    m_packets.pop_front();
    ++m_beginPos;
  }
}

void SeedLinkRing::PersistLocked(const RingPacket& p) {
  if (!m_writer) return;
  ++m_fileRecords;
  // The file is rewritten with the kept packets once it holds twice as many,
  // so it stays bounded while most writes remain appends.
  if (m_fileRecords > 2 * std::max<size_t>(m_packets.size(), 1024)) {
    auto data = std::make_shared<std::string>();
    data->reserve(m_packets.size() * kSeedLinkPacketLength);
    for (const RingPacket& q : m_packets) AppendPacket(*data, q);
    m_fileRecords = m_packets.size();
    m_writer->Post([file = m_file, data] {
      const std::string tmp = file + ".new";
      {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out.write(data->data(), static_cast<std::streamsize>(data->size()));
        if (!out) return;
      }
      std::error_code ec;
      std::filesystem::rename(tmp, file, ec);
    });
    return;
  }
  auto data = std::make_shared<std::string>();
  AppendPacket(*data, p);
  m_writer->Post([file = m_file, data] {
    std::ofstream out(file, std::ios::binary | std::ios::app);
    out.write(data->data(), static_cast<std::streamsize>(data->size()));
  });
}

uint64_t SeedLinkRing::BeginPos() const {
  std::lock_guard lock(m_mutex);
  return m_beginPos;
}

uint64_t SeedLinkRing::EndPos() const {
  std::lock_guard lock(m_mutex);
  return m_beginPos + m_packets.size();
}

std::vector<RingPacket> SeedLinkRing::Read(uint64_t pos, size_t max) const {
  std::lock_guard lock(m_mutex);
  std::vector<RingPacket> out;
  if (pos < m_beginPos) return out;
  for (uint64_t i = pos - m_beginPos; i < m_packets.size() && out.size() < max; ++i)
    out.push_back(m_packets[i]);
  return out;
}

bool SeedLinkRing::PosOfSeq(uint32_t seq, uint64_t& pos) const {
  std::lock_guard lock(m_mutex);
  if (m_packets.empty()) return false;
  const uint32_t offset = (seq - m_packets.front().Seq) % kSeqModulus;
  if (offset >= m_packets.size() || m_packets[offset].Seq != seq) return false;
  pos = m_beginPos + offset;
  return true;
}

uint64_t SeedLinkRing::PosAfterTime(int64_t timeUs) const {
  std::lock_guard lock(m_mutex);
  for (size_t i = 0; i < m_packets.size(); ++i)
    if (m_packets[i].Record->EndUs() > timeUs) return m_beginPos + i;
  return m_beginPos + m_packets.size();
}

uint32_t SeedLinkRing::NextSeq() const {
  std::lock_guard lock(m_mutex);
  return m_nextSeq;
}

uint32_t SeedLinkRing::OldestSeq() const {
  std::lock_guard lock(m_mutex);
  return m_packets.empty() ? m_nextSeq : m_packets.front().Seq;
}

size_t SeedLinkRing::Size() const {
  std::lock_guard lock(m_mutex);
  return m_packets.size();
}
