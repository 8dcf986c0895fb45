#include "seedlink/session.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>

namespace {

constexpr uint32_t kSeqGapLimit = 100'000;
constexpr size_t kInfoTextPerRecord = kMseedRecordLength - 56;

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  return s.substr(b, e - b);
}

std::string Hex6(uint32_t v) {
  char b[8];
  std::snprintf(b, sizeof b, "%06X", v % kSeqModulus);
  return b;
}

std::string XmlEscape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default:
        // ASCII only: clients decode the text as ASCII.
        if (static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7f) out += c;
    }
  }
  return out;
}

std::string InfoTime(int64_t us) {
  const time_t s = static_cast<time_t>(us / 1'000'000);
  struct tm t {};
  gmtime_r(&s, &t);
  char b[64];
  std::snprintf(b, sizeof b, "%04d/%02d/%02d %02d:%02d:%02d.%04d", t.tm_year + 1900, t.tm_mon + 1,
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, static_cast<int>((us % 1'000'000) / 100));
  return b;
}

void PutBe16(char* p, uint16_t v) {
  p[0] = static_cast<char>(v >> 8);
  p[1] = static_cast<char>(v & 0xff);
}

// One INFO record: ASCII text after B1000 at 56, the byte count in the
// number-of-samples field, rate 0.
std::string InfoRecord(const std::string& chunk, bool error, uint32_t sequence) {
  std::string r(kMseedRecordLength, '\0');
  char head[9];
  std::snprintf(head, sizeof head, "%06uD ", sequence % 1'000'000);
  std::memcpy(&r[0], head, 8);
  std::memcpy(&r[8], "       ", 7);  // station, location
  std::memcpy(&r[15], error ? "ERR" : "INF", 3);
  std::memcpy(&r[18], "  ", 2);
  const time_t now = std::time(nullptr);
  struct tm t {};
  gmtime_r(&now, &t);
  PutBe16(&r[20], static_cast<uint16_t>(t.tm_year + 1900));
  PutBe16(&r[22], static_cast<uint16_t>(t.tm_yday + 1));
  r[24] = static_cast<char>(t.tm_hour);
  r[25] = static_cast<char>(t.tm_min);
  r[26] = static_cast<char>(t.tm_sec);
  PutBe16(&r[30], static_cast<uint16_t>(chunk.size()));
  r[39] = 1;  // one blockette
  PutBe16(&r[44], 56);
  PutBe16(&r[46], 48);
  PutBe16(&r[48], 1000);
  r[52] = 0;  // ASCII
  r[53] = 1;
  r[54] = 9;
  std::memcpy(&r[56], chunk.data(), chunk.size());
  return r;
}

}  // namespace

std::string HelloLine(const SeedLinkIdentity& id) {
  // libslink 2.7 reads the HELLO lines into 100-byte buffers.
  return "SeedLink v3.1 (" + id.Software.substr(0, 60) + ") :: SLPROTO:3.1";
}

bool Selector::Matches(const std::string& location, const std::string& channel, char type) const {
  if (Type != 0 && Type != type) return false;
  std::string loc = location.substr(0, 2);
  loc.resize(2, ' ');
  if (!Location.empty())
    for (int i = 0; i < 2; ++i)
      if (Location[i] != '?' && Location[i] != loc[i]) return false;
  std::string cha = channel.substr(0, 3);
  cha.resize(3, ' ');
  for (int i = 0; i < 3; ++i)
    if (Channel[i] != '?' && Channel[i] != cha[i]) return false;
  return true;
}

bool ParseSelector(const std::string& text, Selector& out) {
  Selector s;
  std::string body = Upper(text);
  if (!body.empty() && body[0] == '!') {
    s.Negative = true;
    body.erase(0, 1);
  }
  const size_t dot = body.find('.');
  if (dot != std::string::npos) {
    const std::string type = body.substr(dot + 1);
    if (type.size() != 1 || std::string("DECOTL").find(type[0]) == std::string::npos) return false;
    s.Type = type[0];
    body.resize(dot);
  }
  auto codeChar = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '?'; };
  if (body.size() == 5) {
    s.Location = body.substr(0, 2);
    for (char& c : s.Location) {
      if (c == '-') c = ' ';  // newer clients write a blank location as "--"
      else if (!codeChar(c)) return false;
    }
    body.erase(0, 2);
  }
  if (body.size() != 3) return false;
  for (char c : body)
    if (!codeChar(c)) return false;
  s.Channel = body;
  out = s;
  return true;
}

bool SelectorsAccept(const std::vector<Selector>& selectors, const std::string& location,
                     const std::string& channel, char type) {
  bool anyPositive = false, positiveMatch = false;
  for (const Selector& s : selectors) {
    const bool m = s.Matches(location, channel, type);
    if (s.Negative) {
      if (m) return false;
    } else {
      anyPositive = true;
      positiveMatch = positiveMatch || m;
    }
  }
  return !anyPositive || positiveMatch;
}

bool ParseSequence(const std::string& text, uint32_t& seq) {
  std::string t = text;
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t.erase(0, 2);
  if (t.empty() || t.size() > 16) return false;
  uint32_t v = 0;
  for (char c : t) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    v = ((v << 4) | static_cast<uint32_t>(d)) % kSeqModulus;
  }
  seq = v;
  return true;
}

bool ParseSeedLinkTime(const std::string& text, int64_t& unixUs) {
  std::vector<long> f;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = text.find(',', start);
    const std::string field = text.substr(start, comma == std::string::npos ? std::string::npos
                                                                            : comma - start);
    if (field.empty() || field.size() > 9) return false;
    for (char c : field)
      if (c < '0' || c > '9') return false;
    f.push_back(std::stol(field));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  // A seventh field (nanoseconds) comes from newer clients; it is ignored.
  if (f.size() < 6 || f.size() > 7) return false;
  if (f[0] < 1970 || f[0] > 2999 || f[1] < 1 || f[1] > 12 || f[2] < 1 || f[2] > 31 || f[3] > 23 ||
      f[4] > 59 || f[5] > 60)
    return false;
  struct tm t {};
  t.tm_year = static_cast<int>(f[0] - 1900);
  t.tm_mon = static_cast<int>(f[1] - 1);
  t.tm_mday = static_cast<int>(f[2]);
  t.tm_hour = static_cast<int>(f[3]);
  t.tm_min = static_cast<int>(f[4]);
  t.tm_sec = static_cast<int>(f[5]);
  const time_t s = timegm(&t);
  if (t.tm_mday != f[2]) return false;  // 31 February and the like
  unixUs = static_cast<int64_t>(s) * 1'000'000;
  return true;
}

std::vector<std::string> SplitCommand(const std::string& line) {
  std::vector<std::string> words;
  std::string w;
  for (char c : line) {
    if (c == ' ' || c == '\t') {
      if (!w.empty()) words.push_back(std::move(w));
      w.clear();
    } else {
      w += c;
    }
  }
  if (!w.empty()) words.push_back(std::move(w));
  return words;
}

SeedLinkSession::SeedLinkSession(const SeedLinkRing& ring, const SeedLinkIdentity& identity)
    : m_ring(ring), m_id(identity) {}

void SeedLinkSession::Receive(const char* data, size_t size) {
  for (size_t i = 0; i < size && !m_close; ++i) {
    const char c = data[i];
    if (c == '\r' || c == '\n') {
      // Empty lines (the gap inside every CR LF) get no reply.
      if (!m_discarding && !m_line.empty()) HandleLine(m_line);
      m_discarding = false;
      m_line.clear();
      continue;
    }
    if (m_discarding) continue;
    if (m_line.size() >= kMaxCommandLength) {
      if (!m_streaming) Reply(false);
      m_discarding = true;
      m_line.clear();
      continue;
    }
    m_line += c;
  }
}

void SeedLinkSession::HandleLine(const std::string& line) {
  const std::vector<std::string> words = SplitCommand(line);
  if (words.empty()) return;
  const std::string verb = Upper(words[0]);
  const std::vector<std::string> args(words.begin() + 1, words.end());
  if (verb == "BYE") {
    m_close = true;
    return;
  }
  if (verb == "INFO") {
    if (args.size() == 1)
      SendInfo(Upper(args[0]));
    else if (!m_streaming)
      Reply(false);
    return;
  }
  // While streaming a client sends only INFO; an ERROR there would be fatal to it.
  if (m_streaming) return;
  if (verb == "HELLO") {
    m_out += HelloLine(m_id) + "\r\n" + m_id.Organization.substr(0, 96) + "\r\n";
  } else if (verb == "CAT") {
    SendCat();
  } else if (verb == "STATION") {
    m_multi = true;
    m_stationOk = false;
    if (args.size() == 1 || args.size() == 2) {
      const std::string net = args.size() == 2 ? Upper(args[1]) : m_id.Network;
      m_stationOk = Upper(args[0]) == m_id.Station && net == m_id.Network;
    }
    m_selectors.clear();
    m_action = Action::None;
    Reply(m_stationOk);
  } else if (verb == "SELECT") {
    if (m_multi && !m_stationOk) return Reply(false);
    if (args.empty()) {
      m_selectors.clear();
      return Reply(true);
    }
    Selector s;
    if (args.size() != 1 || m_selectors.size() >= kMaxSelectors || !ParseSelector(args[0], s))
      return Reply(false);
    m_selectors.push_back(s);
    Reply(true);
  } else if (verb == "DATA" || verb == "FETCH" || verb == "TIME") {
    if (m_multi && !m_stationOk) return Reply(false);
    const Action a = verb == "DATA" ? Action::Data : verb == "FETCH" ? Action::Fetch : Action::Time;
    const bool ok = StartAction(a, args);
    if (m_multi)
      Reply(ok);
    else if (ok)
      BeginStreaming();  // uni-station: no reply, data flow at once
    else
      Reply(false);
  } else if (verb == "END") {
    if (!m_multi || !m_stationOk) return Reply(false);
    if (m_action == Action::None) m_action = Action::Data;
    BeginStreaming();
  } else {
    Reply(false);  // BATCH, CAPABILITIES and anything unknown
  }
}

bool SeedLinkSession::StartAction(Action action, const std::vector<std::string>& args) {
  std::optional<uint32_t> seq;
  std::optional<int64_t> begin, end;
  bool all = false;
  if (action == Action::Time) {
    if (args.empty() || args.size() > 2) return false;
    int64_t t;
    if (!ParseSeedLinkTime(args[0], t)) return false;
    begin = t;
    if (args.size() == 2) {
      if (!ParseSeedLinkTime(args[1], t) || t < *begin) return false;
      end = t;
    }
  } else {
    if (args.size() > 2) return false;
    if (!args.empty()) {
      uint32_t s;
      if (action == Action::Data && Upper(args[0]) == "ALL")
        all = true;
      else if (!ParseSequence(args[0], s))
        return false;
      else
        seq = s;
    }
    if (args.size() == 2) {
      int64_t t;
      if (!ParseSeedLinkTime(args[1], t)) return false;
      begin = t;
    }
  }
  m_action = action;
  m_seq = seq;
  m_beginUs = begin;
  m_endUs = end;
  if (all) m_seq = m_ring.OldestSeq();
  return true;
}

void SeedLinkSession::BeginStreaming() {
  m_streaming = true;
  const uint64_t begin = m_ring.BeginPos(), end = m_ring.EndPos();
  uint64_t pos = end;
  if (m_action == Action::Time) {
    pos = m_ring.PosAfterTime(*m_beginUs);
  } else if (m_seq) {
    const uint32_t seq = *m_seq;
    uint64_t found;
    if (m_ring.PosOfSeq(seq, found))
      pos = found;
    else if (seq == m_ring.NextSeq())
      pos = end;
    else if ((m_ring.OldestSeq() - seq) % kSeqModulus <= kSeqGapLimit)
      pos = begin;  // away longer than the ring holds: everything there is
    else if (m_beginUs)
      pos = m_ring.PosAfterTime(*m_beginUs);
  } else if (m_beginUs) {
    pos = m_ring.PosAfterTime(*m_beginUs);
  }
  m_cursor = pos;
  m_fetchEnd = end;
  if (m_action == Action::Fetch && m_cursor >= m_fetchEnd) {
    m_out += "END";
    m_ended = true;
  }
}

bool SeedLinkSession::Accepts(const MseedRecord& r) const {
  return SelectorsAccept(m_selectors, Trim(r.Location), Trim(r.Channel), 'D');
}

bool SeedLinkSession::Pump(size_t budget) {
  if (!m_streaming || m_ended || m_close) return false;
  bool added = false;
  while (m_out.size() < budget && !m_ended) {
    if (m_cursor < m_ring.BeginPos()) {
      m_overrun = true;
      return added;
    }
    const std::vector<RingPacket> packets = m_ring.Read(m_cursor, 32);
    if (packets.empty()) break;
    for (const RingPacket& p : packets) {
      if (m_out.size() >= budget) break;
      if (m_action == Action::Fetch && m_cursor >= m_fetchEnd) break;
      ++m_cursor;
      const MseedRecord& r = *p.Record;
      if (!Accepts(r)) continue;
      if (m_beginUs && r.EndUs() <= *m_beginUs) continue;
      if (m_endUs && r.StartUs > *m_endUs) {
        m_windowDone.insert(r.Channel);
        if (!m_windowSeen.empty() && m_windowDone.size() >= m_windowSeen.size()) {
          bool all = true;
          for (const std::string& c : m_windowSeen) all = all && m_windowDone.count(c);
          if (all) {
            m_out += "END";
            m_ended = true;
            return true;
          }
        }
        continue;
      }
      if (m_endUs) m_windowSeen.insert(r.Channel);
      m_out += SeedLinkHeader(p.Seq);
      m_out.append(r.Data.data(), r.Data.size());
      added = true;
    }
    if (m_action == Action::Fetch && m_cursor >= m_fetchEnd) {
      m_out += "END";
      m_ended = true;
      return true;
    }
  }
  return added;
}

void SeedLinkSession::SendCat() {
  m_out += m_id.Network + " " + m_id.Station + " " + m_id.Description + "\n";
  m_out += "END";
}

std::string SeedLinkSession::InfoXml(const std::string& level, bool& error) const {
  error = !(level == "ID" || level == "CAPABILITIES" || level == "STATIONS" || level == "STREAMS");
  std::string x = "<?xml version=\"1.0\"?>\n<seedlink software=\"" + XmlEscape(HelloLine(m_id)) +
                  "\" organization=\"" + XmlEscape(m_id.Organization) + "\" started=\"" +
                  InfoTime(m_id.StartedUs) + "\"";
  if (error || level == "ID") return x + "/>\n";
  x += ">\n";
  if (level == "CAPABILITIES") {
    for (const char* c : {"dialup", "multistation", "window-extraction", "info:id",
                          "info:capabilities", "info:stations", "info:streams"})
      x += std::string("  <capability name=\"") + c + "\"/>\n";
  } else {
    x += "  <station name=\"" + XmlEscape(m_id.Station) + "\" network=\"" +
         XmlEscape(m_id.Network) + "\" description=\"" + XmlEscape(m_id.Description) +
         "\" begin_seq=\"" + Hex6(m_ring.OldestSeq()) + "\" end_seq=\"" + Hex6(m_ring.NextSeq()) +
         "\" stream_check=\"enabled\"";
    if (level == "STATIONS") {
      x += "/>\n";
    } else {
      x += ">\n";
      struct Span {
        int64_t begin, end;
      };
      std::map<std::pair<std::string, std::string>, Span> streams;
      const uint64_t b = m_ring.BeginPos();
      for (const RingPacket& p : m_ring.Read(b, m_ring.EndPos() - b)) {
        const MseedRecord& r = *p.Record;
        auto [it, fresh] = streams.try_emplace({Trim(r.Location), Trim(r.Channel)},
                                               Span{r.StartUs, r.EndUs()});
        if (!fresh) {
          it->second.begin = std::min(it->second.begin, r.StartUs);
          it->second.end = std::max(it->second.end, r.EndUs());
        }
      }
      for (const auto& [key, span] : streams)
        x += "    <stream location=\"" + XmlEscape(key.first) + "\" seedname=\"" +
             XmlEscape(key.second) + "\" type=\"D\" begin_time=\"" + InfoTime(span.begin) +
             "\" end_time=\"" + InfoTime(span.end) + "\"/>\n";
      x += "  </station>\n";
    }
  }
  return x + "</seedlink>\n";
}

void SeedLinkSession::SendInfo(const std::string& level) {
  bool error = false;
  const std::string xml = InfoXml(level, error);
  size_t at = 0;
  do {
    const std::string chunk = xml.substr(at, kInfoTextPerRecord);
    at += chunk.size();
    const bool last = at >= xml.size();
    m_infoSequence = m_infoSequence % 999'999 + 1;
    m_out += last ? "SLINFO  " : "SLINFO *";
    m_out += InfoRecord(chunk, error, m_infoSequence);
  } while (at < xml.size());
}
