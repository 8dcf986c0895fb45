#pragma once
// Rings filled with real records, the packets a session sends, and a blocking TCP client.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "mseed/mseed_test_support.h"
#include "seedlink/ring.h"
#include "seedlink/session.h"

inline SeedLinkIdentity Identity() {
  return {"XX", "IDX", "Velkor station IDX", "velkor 0.1.0", "Velkor station IDX"};
}

// `count` records cycling through BHZ, BHN, HYP, each 10 s of a ramp.
inline std::vector<MseedRecord> TestRecords(int count, int64_t startUs = kNoonUs) {
  std::vector<MseedRecord> out;
  MiniSeedPacker packer("XX", "IDX", "", 20.0, [&out](const MseedRecord& r) { out.push_back(r); });
  std::vector<int32_t> ramp(20);
  for (int s = 0; static_cast<int>(out.size()) < count; ++s) {
    for (int i = 0; i < 20; ++i) ramp[i] = s * 20 + i;
    for (const char* c : {"BHZ", "BHN", "HYP"})
      packer.AddSecond(c, startUs + s * 1'000'000LL, ramp.data(), ramp.size(), TimingOf(true, true));
  }
  out.resize(count);
  return out;
}

inline std::string Bytes(const MseedRecord& r) { return std::string(r.Data.data(), kMseedRecordLength); }

struct Packet {
  std::string header;  // "SL00002A", "SLINFO *", …
  std::string record;
  uint32_t Seq() const { return static_cast<uint32_t>(std::stoul(header.substr(2), nullptr, 16)); }
};

// Splits a byte stream into 520-byte packets; whatever follows ("END", replies) is left in `rest`.
inline std::vector<Packet> SplitPackets(const std::string& bytes, std::string* rest = nullptr) {
  std::vector<Packet> out;
  size_t at = 0;
  while (at + kSeedLinkPacketLength <= bytes.size() && bytes.compare(at, 2, "SL") == 0) {
    out.push_back({bytes.substr(at, 8), bytes.substr(at + 8, kMseedRecordLength)});
    at += kSeedLinkPacketLength;
  }
  if (rest) *rest = bytes.substr(at);
  return out;
}

inline std::vector<uint32_t> Sequences(const std::vector<Packet>& packets) {
  std::vector<uint32_t> out;
  for (const Packet& p : packets) out.push_back(p.Seq());
  return out;
}

inline std::vector<uint32_t> Range(uint32_t from, uint32_t to, uint32_t step = 1) {
  std::vector<uint32_t> v;
  for (uint32_t i = from; i < to; i += step) v.push_back(i);
  return v;
}

class TcpClient {
 public:
  explicit TcpClient(uint16_t port, int receiveBuffer = 0) {
    m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBuffer > 0) ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    m_connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  ~TcpClient() { ::close(m_fd); }
  bool Connected() const { return m_connected; }
  void Send(const std::string& s) { (void)!::send(m_fd, s.data(), s.size(), MSG_NOSIGNAL); }
  // Reads until `size` bytes arrived, the peer closed, or `timeoutMs` passed.
  std::string Receive(size_t size, int timeoutMs = 10'000) {
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < size) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      pollfd p{m_fd, POLLIN, 0};
      if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) break;
      char buf[65536];
      const ssize_t n = ::recv(m_fd, buf, std::min(sizeof buf, size - out.size()), 0);
      if (n <= 0) {
        m_closed = true;
        break;
      }
      out.append(buf, static_cast<size_t>(n));
    }
    return out;
  }
  // True once the server has closed the connection (within `timeoutMs`).
  bool WaitClosed(int timeoutMs = 10'000) {
    while (!m_closed)
      if (Receive(1 << 20, timeoutMs).empty() && !m_closed) return false;
    return true;
  }

 private:
  int m_fd = -1;
  bool m_connected = false, m_closed = false;
};
