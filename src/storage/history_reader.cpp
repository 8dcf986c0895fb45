#include "storage/history_reader.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <new>
#include <string_view>

#include "storage/file_naming.h"

namespace {

// A picture larger than this is a garbled rate or span, not a request.
constexpr int64_t kMaxValues = int64_t{1} << 26;
// Whole files are read; a data file of an hour is far below this.
constexpr int64_t kMaxFileSize = int64_t{1} << 30;
// The WID2 columns the reader needs end with the calibration (column 79); a
// shorter line is a header torn by a crash.
constexpr size_t kWid2MinLength = 79;
constexpr size_t kWid2DateEnd = 28;

bool AtLineStart(std::string_view s, size_t pos) { return pos == 0 || s[pos - 1] == '\n'; }

// The next line-start occurrence of `word` at or after `from`.
size_t FindAtLineStart(std::string_view s, std::string_view word, size_t from) {
  while (from < s.size()) {
    const size_t p = s.find(word, from);
    if (p == std::string_view::npos) return p;
    if (AtLineStart(s, p)) return p;
    from = p + 1;
  }
  return std::string_view::npos;
}

size_t LineEnd(std::string_view s, size_t from) {
  const size_t e = s.find('\n', from);
  return e == std::string_view::npos ? s.size() : e;
}

// 1-based columns [first, last] of a line, cut at its end.
std::string_view Columns(std::string_view line, size_t first, size_t last) {
  if (first - 1 >= line.size()) return {};
  return line.substr(first - 1, std::min(last, line.size()) - (first - 1));
}

std::string_view Trim(std::string_view v) {
  while (!v.empty() && (v.front() == ' ' || v.front() == '\t' || v.front() == '\r'))
    v.remove_prefix(1);
  while (!v.empty() && (v.back() == ' ' || v.back() == '\t' || v.back() == '\r')) v.remove_suffix(1);
  return v;
}

// Letters, digits, "+" and "-" only.
std::string TextField(std::string_view v) {
  std::string out;
  for (char c : v)
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-') out += c;
  return out;
}

bool ParseDigits(std::string_view v, int& out) {
  if (v.empty()) return false;
  out = 0;
  for (char c : v) {
    if (c < '0' || c > '9') return false;
    out = out * 10 + (c - '0');
  }
  return true;
}

bool ParseInt32(std::string_view v, int32_t& out) {
  if (!v.empty() && v.front() == '+') v.remove_prefix(1);
  if (v.empty()) return false;
  const auto r = std::from_chars(v.data(), v.data() + v.size(), out);
  return r.ec == std::errc() && r.ptr == v.data() + v.size();
}

bool ParseDouble(std::string_view v, double& out) {
  if (!v.empty() && v.front() == '+') v.remove_prefix(1);
  if (v.empty()) return false;
  const auto r = std::from_chars(v.data(), v.data() + v.size(), out);
  return r.ec == std::errc() && r.ptr == v.data() + v.size() && std::isfinite(out);
}

enum class HeaderState { Ok, Torn, Damaged };

struct BlockHeader {
  size_t Pos = 0;        // of "WID2"
  size_t DataFrom = 0;   // after the WID2 line
  size_t End = 0;        // next WID2 or STOP, or the end of the file
  int64_t StartMs = 0;
  std::string Station, Channel, AuxId, Instrument;
  int32_t SampleCount = 0;
  double SampleRate = 0, Calibration = 0;
};

HeaderState ParseStart(std::string_view line, int64_t& ms, std::string& problem) {
  if (line.size() < kWid2DateEnd) return HeaderState::Torn;
  int y, mo, d, h, mi, s, z;
  if (!ParseDigits(line.substr(5, 4), y) || !ParseDigits(line.substr(10, 2), mo) ||
      !ParseDigits(line.substr(13, 2), d) || !ParseDigits(line.substr(16, 2), h) ||
      !ParseDigits(line.substr(19, 2), mi) || !ParseDigits(line.substr(22, 2), s) ||
      !ParseDigits(line.substr(25, 3), z) || !IsValidDateTime(y, mo, d, h, mi, s, z)) {
    problem = "WID2 date is not a date: " + std::string(line.substr(5, 23));
    return HeaderState::Damaged;
  }
  ms = DateTimeToMs(EncodeDateTime(y, mo, d, h, mi, s, z));
  return HeaderState::Ok;
}

HeaderState ParseHeader(std::string_view file, size_t pos, BlockHeader& b, std::string& problem) {
  const size_t lineEnd = LineEnd(file, pos);
  const std::string_view line = file.substr(pos, lineEnd - pos);
  b.Pos = pos;
  b.DataFrom = lineEnd;
  const size_t nextWid2 = std::min(FindAtLineStart(file, "WID2", lineEnd), file.size());
  // Only up to the next block: a search to the closing STOP at the end of the
  // file for every block would make reading an hour quadratic.
  b.End = std::min(FindAtLineStart(file.substr(0, nextWid2), "STOP", lineEnd), nextWid2);
  const HeaderState date = ParseStart(line, b.StartMs, problem);
  if (date != HeaderState::Ok) return date;
  if (line.size() < kWid2MinLength || lineEnd == file.size()) return HeaderState::Torn;
  b.Station = TextField(Columns(line, 30, 34));
  b.Channel = TextField(Columns(line, 36, 38));
  b.AuxId = TextField(Columns(line, 40, 43));
  b.Instrument = TextField(Columns(line, 89, 94));
  if (!ParseInt32(Trim(Columns(line, 49, 54)), b.SampleCount) || b.SampleCount < 0) {
    problem = "WID2 sample count is not a number";
    return HeaderState::Damaged;
  }
  if (!ParseDouble(Trim(Columns(line, 58, 67)), b.SampleRate) || b.SampleRate <= 0) {
    problem = "WID2 sample rate is not a positive number";
    return HeaderState::Damaged;
  }
  if (!ParseDouble(Trim(Columns(line, 70, 79)), b.Calibration)) {
    problem = "WID2 calibration is not a number";
    return HeaderState::Damaged;
  }
  return HeaderState::Ok;
}

// The next block with a whole header at or after `from`; torn headers are
// passed over. False at the end of the file or on a damaged header.
bool NextBlock(std::string_view file, size_t from, BlockHeader& b, HeaderState& state,
               std::string& problem) {
  for (size_t p = FindAtLineStart(file, "WID2", from); p != std::string_view::npos;
       p = FindAtLineStart(file, "WID2", p + 4)) {
    state = ParseHeader(file, p, b, problem);
    if (state == HeaderState::Ok) return true;
    if (state == HeaderState::Damaged) return false;
  }
  state = HeaderState::Ok;
  return false;
}

// The integers between DAT2 and CHK2. A block without CHK2 was torn by a crash:
// its values end at the first text that is not a number (a cut line).
bool BlockValues(std::string_view file, const BlockHeader& b, std::vector<int32_t>& values,
                 std::string& problem) {
  values.clear();
  const std::string_view block = file.substr(b.DataFrom, b.End - b.DataFrom);
  // `block` starts with the WID2 line's line feed, so DAT2 is at a line start.
  const size_t dat = FindAtLineStart(block, "DAT2", 0);
  if (dat == std::string_view::npos) return true;
  const size_t from = LineEnd(block, dat);
  const size_t chk = FindAtLineStart(block, "CHK2", from);
  const bool torn = chk == std::string_view::npos;
  std::string_view data = block.substr(from, (torn ? block.size() : chk) - from);
  while (true) {
    while (!data.empty() && std::isspace(static_cast<unsigned char>(data.front())))
      data.remove_prefix(1);
    if (data.empty()) return true;
    size_t n = 0;
    while (n < data.size() && !std::isspace(static_cast<unsigned char>(data[n]))) ++n;
    int32_t v;
    if (!ParseInt32(data.substr(0, n), v)) {
      if (torn) return true;
      problem = "data value is not a number: " + std::string(data.substr(0, std::min<size_t>(n, 20)));
      return false;
    }
    values.push_back(v);
    data.remove_prefix(n);
  }
}

// Duration of a block by its WID2 sample count and rate.
int64_t BlockMs(const BlockHeader& b) {
  return b.SampleRate > 0 ? std::llround(static_cast<double>(b.SampleCount) * 1000.0 / b.SampleRate)
                          : 0;
}

int64_t FramesToMs(int64_t frames, double rate) {
  return rate > 0 ? std::llround(static_cast<double>(frames) * 1000.0 / rate) : 0;
}

int64_t FramesBetween(int64_t fromMs, int64_t toMs, double rate) {
  return std::llround(static_cast<double>(toMs - fromMs) * rate / 1000.0);
}

// Errors and display samples of what the record holds now.
void Settle(THistoryRecord& r) {
  int64_t empty = 0;
  for (bool filled : r.Filled) empty += filled ? 0 : 1;
  r.Errors = static_cast<int32_t>(empty / std::max(r.ChannelCount, 1));
  ComputeDisplaySamples(r);
}

void Place(THistoryRecord& r, int64_t frame, int32_t channel, int32_t value) {
  const int64_t idx = frame * r.ChannelCount + channel;
  r.Samples[static_cast<size_t>(idx)] = value;
  r.Filled[static_cast<size_t>(idx)] = true;
  int32_t& peak = r.Peak[static_cast<size_t>(channel)];
  if (std::llabs(int64_t{value}) > std::llabs(int64_t{peak})) peak = value;
}

std::string ShortestNumber(double v) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

}  // namespace

int32_t THistoryReader::CarriedFrames() const {
  return m_carryChannels > 0 ? static_cast<int32_t>(m_carry.size() / m_carryChannels) : 0;
}

int32_t THistoryReader::Read(const std::string& fileName, THistoryRecord& record,
                             TDateTime endTime, TDateTime startTime) {
  std::string bytes;
  {
    const int32_t loaded = LoadFile(fileName, bytes, record.Problem);
    if (loaded != kHistOk) return loaded;
  }
  return ReadBytes(bytes, record, endTime, startTime);
}

int32_t THistoryReader::LoadFile(const std::string& fileName, std::string& bytes,
                                 std::string& problem) {
  struct stat st;
  if (::stat(fileName.c_str(), &st) != 0) return kHistNoFile;
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return kHistCannotOpen;
  // Closed (and the shared lock with it) before any parsing: writers of the
  // file wait for it, and only for the copy into memory.
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  // Writers hold an exclusive lock while they append: reading then is refused.
  if (::flock(fd, LOCK_SH | LOCK_NB) != 0) return kHistCannotOpen;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return kHistCannotOpen;
  if (st.st_size <= 0) return kHistUnknownSize;
  if (::lseek(fd, 0, SEEK_SET) != 0) return kHistCannotSeek;
  if (st.st_size > kMaxFileSize) {
    problem = "file of " + std::to_string(st.st_size) + " bytes";
    return kHistNoMemory;
  }
  try {
    bytes.resize(static_cast<size_t>(st.st_size));
  } catch (const std::bad_alloc&) {
    problem = "file of " + std::to_string(st.st_size) + " bytes";
    return kHistNoMemory;
  }
  size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0) return kHistCannotOpen;
    if (n == 0) break;  // shortened meanwhile: read what is there
    got += static_cast<size_t>(n);
  }
  bytes.resize(got);
  return kHistOk;
}

int32_t THistoryReader::ReadBytes(const std::string& bytes, THistoryRecord& record,
                                  TDateTime endTime, TDateTime startTime) {
  // Runs on the main thread, beside acquisition: no allocation failure may
  // leave this function.
  try {
    return ReadParsed(bytes, record, endTime, startTime);
  } catch (const std::bad_alloc&) {
    m_carry = std::vector<int32_t>();
    m_carryChannels = 0;
    record.Problem = "no memory left for the read";
    return kHistNoMemory;
  }
}

namespace {

// The first block at or after the requested start; one dated inside the
// request wins over an earlier one far outside it (a clock jump, a damaged year).
bool FindFirstBlock(std::string_view file, int64_t startMs, int64_t endMs, BlockHeader& first,
                    HeaderState& state, std::string& problem) {
  BlockHeader candidate;
  size_t cur = 0;
  bool found = false;
  while (NextBlock(file, cur, candidate, state, problem)) {
    cur = candidate.End;
    if (candidate.StartMs < startMs) continue;
    if (!found) first = candidate;
    found = true;
    if (candidate.StartMs < endMs + BlockMs(candidate)) {
      first = candidate;
      break;
    }
  }
  return found;
}

// The channels of a fresh picture: one per block sharing the first block's
// start time. False on a damaged header.
bool ReadChannels(std::string_view file, const BlockHeader& first, THistoryRecord& r,
                  std::string& problem) {
  r.StartTime = MsToDateTime(first.StartMs);
  r.Station = first.Station;
  r.InstrumentType = first.Instrument;
  r.SampleRate = first.SampleRate;
  BlockHeader b = first;
  HeaderState state = HeaderState::Ok;
  for (;;) {
    r.Calibration.push_back(b.Calibration);
    r.AuxIds.push_back(b.AuxId);
    r.ChannelCodes.push_back(b.Channel);
    if (!NextBlock(file, b.End, b, state, problem) || b.StartMs != first.StartMs) break;
  }
  r.ChannelCount = static_cast<int32_t>(r.Calibration.size());
  return state != HeaderState::Damaged;
}

// Samples of the requested seconds, no more: a second beyond them would push
// the picture's start out of view and count as missing. False (with
// `problem`) when they do not fit in memory.
bool AllocatePicture(THistoryRecord& r, int64_t startMs, int64_t endMs, std::string& problem) {
  const int64_t seconds = std::max<int64_t>(1, (endMs - startMs + 999) / 1000);
  const double frames = std::round(static_cast<double>(seconds) * r.SampleRate);
  if (!(frames * r.ChannelCount <= static_cast<double>(kMaxValues))) {
    problem = std::to_string(seconds) + " s at " + ShortestNumber(r.SampleRate) + " Hz";
    return false;
  }
  const size_t values = static_cast<size_t>(frames) * static_cast<size_t>(r.ChannelCount);
  try {
    r.Samples.assign(values, 0);
    r.Filled.assign(values, false);
    r.Peak.assign(static_cast<size_t>(r.ChannelCount), 0);
  } catch (const std::bad_alloc&) {
    problem = std::to_string(values) + " values";
    return false;
  }
  return true;
}

// Places the previous picture's carried values at the start of this one;
// returns the frames placed.
int64_t PlaceCarry(THistoryRecord& r, const std::vector<int32_t>& carry) {
  const int64_t carried = static_cast<int64_t>(carry.size()) / r.ChannelCount;
  const int64_t total = static_cast<int64_t>(r.Samples.size()) / r.ChannelCount;
  const int64_t n = std::min(carried, total);
  for (int64_t f = 0; f < n; ++f)
    for (int32_t k = 0; k < r.ChannelCount; ++k)
      Place(r, f, k, carry[static_cast<size_t>(f * r.ChannelCount + k)]);
  return n;
}

// Places the blocks from `first` on into the picture, set by set (one block
// per channel sharing a start time), until the set that reaches `endMs`.
// Values past the picture go to `carry`. False (with `problem`) on a damaged
// header or data value.
class BlockPlacer {
 public:
  BlockPlacer(std::string_view file, THistoryRecord& r, int64_t endMs, bool joinFirstSet,
              std::vector<int32_t>& carry)
      : m_file(file), m_r(r), m_endMs(endMs), m_joinFirstSet(joinFirstSet), m_carry(carry),
        m_count(r.ChannelCount),
        m_totalFrames(static_cast<int64_t>(r.Samples.size()) / r.ChannelCount),
        m_requestMs(DateTimeToMs(r.RequestStart)),
        // Blocks dated outside the request (plus one block either side) are
        // passed over: placed, they would only grow the carry without bound.
        m_requestEndMs(std::max(endMs, m_requestMs + FramesToMs(m_totalFrames, r.SampleRate))) {}

  bool Run(const BlockHeader& first, std::string& problem) {
    BlockHeader b = first;
    HeaderState state = HeaderState::Ok;
    LastBlockMs = first.StartMs;
    for (;;) {
      if (Outside(b)) {
        if (!NextBlock(m_file, b.End, b, state, problem)) break;
        continue;
      }
      if (!m_inSet || b.StartMs != m_setStartMs) {
        if (m_inSet) {
          FinishSet();
          if (m_setStartMs + 1000 >= m_endMs) break;
        }
        BeginSet(b);
      } else {
        ++m_k;
      }
      m_setCount = b.SampleCount;
      LastBlockMs = b.StartMs;
      if (m_k < m_count && !PlaceBlock(b, problem)) return false;
      if (!NextBlock(m_file, b.End, b, state, problem)) break;
    }
    if (m_inSet) FinishSet();
    return state != HeaderState::Damaged;
  }

  int64_t LastBlockMs = 0;

 private:
  bool Outside(const BlockHeader& h) const {
    return h.StartMs + BlockMs(h) < m_requestMs || h.StartMs >= m_requestEndMs + BlockMs(h);
  }

  // Where a set lands: at its start time, or right after the previous set
  // when the two overlap or lie closer than a block, so the writer's timing
  // leaves no holes.
  void BeginSet(const BlockHeader& b) {
    m_inSet = true;
    m_setStartMs = b.StartMs;
    m_k = 0;
    const int64_t pos = FramesBetween(m_requestMs, b.StartMs, m_r.SampleRate);
    m_setFirst = pos;
    if (m_joinFirstSet) {
      m_setFirst = m_r.PreviousSetEnd;
      m_joinFirstSet = false;
    } else if (m_r.HavePreviousSet) {
      const int64_t prevEnd = m_r.PreviousSetEnd;
      const int64_t sinceMs = b.StartMs - m_r.PreviousSetStartMs;
      const bool ended =
          (sinceMs < 5000 && pos - prevEnd <= FramesBetween(0, sinceMs, m_r.SampleRate)) ||
          pos < prevEnd || pos - prevEnd <= b.SampleCount;
      if (ended) m_setFirst = prevEnd;
    }
  }

  void FinishSet() {
    m_r.HavePreviousSet = true;
    m_r.PreviousSetStartMs = m_setStartMs;
    m_r.PreviousSetEnd = m_setFirst + m_setCount;
  }

  bool PlaceBlock(const BlockHeader& b, std::string& problem) {
    if (!BlockValues(m_file, b, m_values, problem)) return false;
    for (size_t j = 0; j < m_values.size(); ++j) {
      const int64_t f = m_setFirst + static_cast<int64_t>(j);
      if (f < 0) continue;
      if (f < m_totalFrames) {
        Place(m_r, f, m_k, m_values[j]);
      } else if (f - m_totalFrames < m_totalFrames) {
        // Carried at most one picture's worth: memory stays bounded by the request.
        const size_t at = static_cast<size_t>((f - m_totalFrames) * m_count + m_k);
        if (at >= m_carry.size()) m_carry.resize((at / m_count + 1) * m_count, 0);
        m_carry[at] = m_values[j];
      }
    }
    return true;
  }

  std::string_view m_file;
  THistoryRecord& m_r;
  const int64_t m_endMs;
  bool m_joinFirstSet;
  std::vector<int32_t>& m_carry;
  const int32_t m_count;
  const int64_t m_totalFrames;
  const int64_t m_requestMs;
  const int64_t m_requestEndMs;
  std::vector<int32_t> m_values;
  bool m_inSet = false;
  int64_t m_setStartMs = 0, m_setFirst = 0, m_setCount = 0;
  int32_t m_k = 0;
};

}  // namespace

int32_t THistoryReader::ReadParsed(const std::string& bytes, THistoryRecord& record,
                                   TDateTime endTime, TDateTime startTime) {
  const std::string_view file(bytes);
  std::vector<int32_t> carry;
  carry.swap(m_carry);
  const int32_t carryChannels = m_carryChannels;
  m_carryChannels = 0;

  const int64_t startMs = DateTimeToMs(startTime);
  const int64_t endMs = DateTimeToMs(endTime);
  std::string problem;
  const auto damaged = [&] {
    record.Problem = problem;
    return kHistDamaged;
  };

  BlockHeader first;
  HeaderState state = HeaderState::Ok;
  const bool found = FindFirstBlock(file, startMs, endMs, first, state, problem);
  if (state == HeaderState::Damaged) return damaged();
  if (!found) return kHistNoRequestedData;

  // A follow-on read places into the shown picture; a fresh one builds its
  // own and replaces the shown one only when it succeeds.
  const bool followOn = record.Valid;
  THistoryRecord fresh;
  THistoryRecord& r = followOn ? record : fresh;
  bool joinFirstSet = false;
  if (!followOn) {
    if (!ReadChannels(file, first, r, problem)) return damaged();
    if (!AllocatePicture(r, startMs, endMs, record.Problem)) return kHistNoMemory;
    r.RequestStart = startTime;
    r.HavePreviousSet = false;
    // Values of the previous picture that fell past its end continue this one
    // when it starts where that picture stopped.
    if (!carry.empty() && carryChannels == r.ChannelCount &&
        carry.size() % static_cast<size_t>(r.ChannelCount) == 0 &&
        SameSecond(MsToDateTime(first.StartMs), m_carryTime)) {
      r.PreviousSetEnd = PlaceCarry(r, carry);
      joinFirstSet = true;
    }
  }

  BlockPlacer placer(file, r, endMs, joinFirstSet, m_carry);
  if (!placer.Run(first, problem)) {
    if (followOn) Settle(record);
    return damaged();
  }

  const int64_t totalFrames = static_cast<int64_t>(r.Samples.size()) / r.ChannelCount;
  m_carryChannels = m_carry.empty() ? 0 : r.ChannelCount;
  m_carryTime = AddMs(r.StartTime, static_cast<int64_t>(static_cast<double>(totalFrames) / r.SampleRate) * 1000);
  r.CarriedFrames = CarriedFrames();
  r.Problem.clear();
  r.Valid = true;
  Settle(r);
  if (!followOn) record = std::move(fresh);
  return placer.LastBlockMs + 1000 >= endMs ? kHistOk : kHistShort;
}

std::string HistoryMessage(int32_t result, const std::string& fileName, const std::string& problem) {
  std::string text;
  switch (result) {
    case kHistNoFile: text = "No data file found. \""; break;
    case kHistCannotOpen: text = "Data file cannot be opened. \""; break;
    case kHistUnknownSize: text = "Unknown file size. Cannot be read. \""; break;
    case kHistCannotSeek: text = "Cannot find bigining of file. \""; break;
    case kHistNoRequestedData: text = "No requested data in file. \""; break;
    case kHistDamaged: text = "Damaged data file (" + problem + "). \""; break;
    case kHistNoMemory: text = "Not enough memory for the data (" + problem + "). \""; break;
    default: return "";
  }
  return text + fileName + "\"";
}

void ComputeDisplaySamples(THistoryRecord& record) {
  const size_t n = record.Samples.size();
  record.DisplaySamples.resize(n);
  const size_t count = static_cast<size_t>(std::max(record.ChannelCount, 1));
  for (size_t i = 0; i < n; ++i) {
    const size_t k = i % count;
    const double cal = k < record.Calibration.size() ? record.Calibration[k] : 1.0;
    const double v = std::nearbyint(static_cast<double>(record.Samples[i]) * cal);
    int32_t out;
    if (!(v == v)) out = 0;
    else if (v >= static_cast<double>(std::numeric_limits<int32_t>::max())) out = std::numeric_limits<int32_t>::max();
    else if (v <= static_cast<double>(std::numeric_limits<int32_t>::min())) out = std::numeric_limits<int32_t>::min();
    else out = static_cast<int32_t>(v);
    record.DisplaySamples[i] = out;
  }
}

std::string FormatHistoryDateTime(TDateTime t) {
  const DateTimeParts p = DecodeDateTime(t);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d.%02d.%04d %02d:%02d:%02d", p.day, p.month, p.year, p.hour,
                p.minute, p.second);
  return buf;
}

bool ParseHistoryDateTime(const std::string& text, TDateTime& out) {
  const std::string_view s(text);
  if (s.size() != 19 || s[2] != '.' || s[5] != '.' || s[10] != ' ' || s[13] != ':' || s[16] != ':')
    return false;
  int d, mo, y, h, mi, sec;
  if (!ParseDigits(s.substr(0, 2), d) || !ParseDigits(s.substr(3, 2), mo) ||
      !ParseDigits(s.substr(6, 4), y) || !ParseDigits(s.substr(11, 2), h) ||
      !ParseDigits(s.substr(14, 2), mi) || !ParseDigits(s.substr(17, 2), sec) ||
      !IsValidDateTime(y, mo, d, h, mi, sec, 0))
    return false;
  out = EncodeDateTime(y, mo, d, h, mi, sec);
  return true;
}

std::string HistoryCaption(const THistoryRecord& record) {
  return record.Station + " " + FormatHistoryDateTime(record.StartTime) + "  " +
         record.InstrumentType + " @" + ShortestNumber(record.SampleRate) + "Hz" +
         " Errors: " + std::to_string(record.Errors);
}

int32_t HistoryStepSeconds(int32_t secondsShown) {
  return secondsShown > 1 ? (3 * secondsShown) / 4 : 1;
}

std::string HistoryFileName(const TProgParam& p, bool trigger, TDateTime t) {
  return trigger ? TriggerFileName(p, t) : ContinuousFileName(p, t);
}

bool HistoryFileSpan(const std::string& fileName, TDateTime& first, TDateTime& last) {
  std::string bytes, problem;
  if (THistoryReader::LoadFile(fileName, bytes, problem) != kHistOk) return false;
  const std::string_view file(bytes);
  BlockHeader b;
  HeaderState state = HeaderState::Ok;
  bool any = false;
  for (size_t cur = 0; NextBlock(file, cur, b, state, problem); cur = b.End) {
    if (!any) first = MsToDateTime(b.StartMs);
    last = MsToDateTime(b.StartMs);
    any = true;
  }
  return any;
}

std::string NeighbourTriggerFile(const TProgParam& p, const std::string& current, int direction) {
  namespace fs = std::filesystem;
  const std::string ext = "." + p.IDStation;
  const auto stemOf = [&](const fs::path& path) -> std::string {
    const std::string name = path.filename().string();
    if (name.size() != 12 + ext.size() || name.compare(12, std::string::npos, ext) != 0) return "";
    for (size_t i = 0; i < 12; ++i)
      if (!std::isdigit(static_cast<unsigned char>(name[i]))) return "";
    return name.substr(0, 12);
  };
  const std::string here = stemOf(current);
  std::string best, bestStem;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(p.TrigDir, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    const std::string stem = stemOf(it->path());
    if (stem.empty() || stem == here) continue;
    const bool after = stem > here;
    if ((direction > 0) != after) continue;
    if (best.empty() || (direction > 0 ? stem < bestStem : stem > bestStem)) {
      best = it->path().string();
      bestStem = stem;
    }
  }
  return best;
}

namespace {

// One read into a fresh record; the record shown is replaced only by a valid one.
void ReadInto(THistoryReader& reader, THistoryRecord& record, const TProgParam& p, bool trigger,
              const std::string& fileName, TDateTime from, TDateTime end, THistoryNavigation& nav) {
  THistoryRecord next;
  nav.FileName = fileName;
  nav.Result = reader.Read(fileName, next, end, from);
  if (!trigger && nav.Result == kHistShort) {
    // The picture runs into the next hour's (or 20 minutes') file. The same
    // file again would place its blocks a second time.
    const std::string following = ContinuousFileName(p, end);
    if (following != nav.FileName) {
      nav.FileName = following;
      nav.Result = reader.Read(following, next, end, next.StartTime);
    }
  }
  if (next.Valid) {
    next.FileName = fileName;
    next.TriggerFile = trigger;
    record = std::move(next);
    nav.Shown = record.StartTime;
  } else {
    nav.Message = HistoryMessage(nav.Result, nav.FileName, next.Problem);
    // The previous picture stays, and the field with it.
    nav.Shown = record.Valid ? record.StartTime : nav.Requested;
  }
}

}  // namespace

THistoryNavigation BtnPrevNextClick(THistoryReader& reader, THistoryRecord& record,
                                    const TProgParam& p, TDateTime typed, int32_t secondsShown,
                                    THistoryStep step, bool trigger) {
  THistoryNavigation nav;
  int64_t t = DateTimeToMs(typed);
  const int64_t stepMs = int64_t{HistoryStepSeconds(secondsShown)} * 1000;
  const int64_t shownMs = int64_t{secondsShown} * 1000;
  std::string fileName;
  TDateTime first = 0, last = 0;
  if (trigger && step != THistoryStep::None && record.Valid && record.TriggerFile &&
      HistoryFileSpan(record.FileName, first, last)) {
    // A trigger record is paged through within its file; past its ends the
    // neighbouring trigger file is shown, or without one the picture stays.
    auto noNeighbour = [&](const char* message) {
      nav.Requested = typed;
      nav.Shown = record.StartTime;
      nav.Result = kHistNoRequestedData;
      nav.Message = message;
      return nav;
    };
    const int64_t firstMs = DateTimeToMs(first), lastMs = DateTimeToMs(last);
    fileName = record.FileName;
    if (step == THistoryStep::Next && t + shownMs > lastMs) {
      fileName = NeighbourTriggerFile(p, record.FileName, +1);
      if (fileName.empty() || !HistoryFileSpan(fileName, first, last))
        return noNeighbour("No later trigger file.");
      t = DateTimeToMs(first);
    } else if (step == THistoryStep::Previous && t <= firstMs) {
      fileName = NeighbourTriggerFile(p, record.FileName, -1);
      if (fileName.empty() || !HistoryFileSpan(fileName, first, last))
        return noNeighbour("No earlier trigger file.");
      // Its last page.
      t = std::max(DateTimeToMs(first), DateTimeToMs(last) - shownMs + 1000);
    } else {
      t = step == THistoryStep::Next ? t + stepMs : std::max(firstMs, t - stepMs);
    }
  } else {
    if (step == THistoryStep::Previous) t -= stepMs;
    if (step == THistoryStep::Next) t += stepMs;
  }
  nav.Requested = MsToDateTime(t);
  if (fileName.empty()) fileName = HistoryFileName(p, trigger, nav.Requested);
  ReadInto(reader, record, p, trigger, fileName, nav.Requested, MsToDateTime(t + shownMs), nav);
  return nav;
}
