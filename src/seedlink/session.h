#pragma once
// One SeedLink 3.1 connection without its socket: bytes in, bytes out. The
// server feeds what it receives and sends what Output() holds; packets come
// from the ring only as fast as the client takes them.
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "seedlink/ring.h"

// Longest command line; SeisComP drops a client after 1024 bytes without an end.
constexpr size_t kMaxCommandLength = 1024;
constexpr size_t kMaxSelectors = 100;

struct SeedLinkIdentity {
  std::string Network, Station, Description;
  std::string Software;      // e.g. "velkor 0.1.0", shown inside the HELLO parentheses
  std::string Organization;  // second HELLO line, INFO's organization
  int64_t StartedUs = 0;     // server start, for INFO
};

// "SeedLink v3.1 (<software>) :: SLPROTO:3.1"
std::string HelloLine(const SeedLinkIdentity& id);

struct Selector {
  bool Negative = false;
  std::string Location;  // two characters, '?' any; empty: any location
  std::string Channel;   // three characters, '?' any
  char Type = 0;         // 0: any
  bool Matches(const std::string& location, const std::string& channel, char type) const;
};
// Parses "[!][LL]CCC[.T]"; false for anything else.
bool ParseSelector(const std::string& text, Selector& out);
bool SelectorsAccept(const std::vector<Selector>& selectors, const std::string& location,
                     const std::string& channel, char type);

// A sequence number argument: hex, any case, optional "0x", reduced mod 2^24.
bool ParseSequence(const std::string& text, uint32_t& seq);
// "year,month,day,hour,minute,second[,...]" in UTC, unpadded fields allowed.
bool ParseSeedLinkTime(const std::string& text, int64_t& unixUs);

// Words of a command line: split on blanks, runs collapsed.
std::vector<std::string> SplitCommand(const std::string& line);

class SeedLinkSession {
 public:
  SeedLinkSession(const SeedLinkRing& ring, const SeedLinkIdentity& identity);

  // Bytes received from the client. Replies are appended to Output().
  void Receive(const char* data, size_t size);
  // While streaming, appends packets until Output() holds at least `budget`
  // bytes or the ring has nothing more; true when something was added.
  bool Pump(size_t budget);
  std::string& Output() { return m_out; }

  bool Streaming() const { return m_streaming; }
  // BYE: close the connection.
  bool CloseRequested() const { return m_close; }
  // The ring dropped records this client had not yet received.
  bool Overrun() const {
    return m_overrun || (m_streaming && !m_ended && m_cursor < m_ring.BeginPos());
  }
  uint64_t Cursor() const { return m_cursor; }

 private:
  enum class Action { None, Data, Fetch, Time };
  void HandleLine(const std::string& line);
  void Reply(bool ok) { m_out += ok ? "OK\r\n" : "ERROR\r\n"; }
  bool StartAction(Action action, const std::vector<std::string>& args);
  void BeginStreaming();
  void SendInfo(const std::string& level);
  void SendCat();
  std::string InfoXml(const std::string& level, bool& error) const;
  bool Accepts(const MseedRecord& r) const;

  const SeedLinkRing& m_ring;
  SeedLinkIdentity m_id;
  std::string m_out;
  std::string m_line;
  bool m_discarding = false;  // an oversized line is skipped to its end
  bool m_multi = false;       // STATION was sent
  bool m_stationOk = false;   // the last STATION named this station
  bool m_streaming = false, m_close = false, m_overrun = false, m_ended = false;
  std::vector<Selector> m_selectors;
  Action m_action = Action::None;
  std::optional<uint32_t> m_seq;
  std::optional<int64_t> m_beginUs, m_endUs;
  uint64_t m_cursor = 0;
  uint64_t m_fetchEnd = 0;  // FETCH: one past the newest packet at the request
  std::set<std::string> m_windowSeen, m_windowDone;
  uint32_t m_infoSequence = 0;
};
