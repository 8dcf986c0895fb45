#pragma once
// The strict block layout of a GSE2 file as standard readers expect it: the
// BEGIN header, then WID2 / DAT2 / data lines / CHK2 / empty line blocks whose
// sample counts and checksums agree with their data, then STOP at the very end.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "storage/gse2.h"

namespace gse2_strict {

inline bool IsInteger(std::string_view t) {
  if (!t.empty() && t.front() == '-') t.remove_prefix(1);
  if (t.empty() || t.size() > 10) return false;
  for (char c : t)
    if (c < '0' || c > '9') return false;
  return true;
}

// Empty when the file is well formed end to end, else what is wrong and where.
// `blocks` receives the number of well-formed blocks before the first fault.
inline std::string LayoutProblem(const std::string& bytes, size_t* blocks = nullptr) {
  size_t count = 0;
  const auto fail = [&](size_t at, const std::string& what) {
    if (blocks) *blocks = count;
    return what + " at byte " + std::to_string(at);
  };
  const std::string_view s(bytes);
  const std::string_view begin(kGse2Begin);
  if (s.substr(0, begin.size()) != begin) return fail(0, "no BEGIN header");
  size_t pos = begin.size();
  const auto line = [&](std::string_view& out) {
    const size_t e = s.find('\n', pos);
    if (e == std::string_view::npos) return false;
    out = s.substr(pos, e - pos);
    pos = e + 1;
    return true;
  };
  while (pos < s.size()) {
    if (s.substr(pos) == "STOP") {
      if (blocks) *blocks = count;
      return "";
    }
    const size_t blockAt = pos;
    std::string_view wid;
    if (!line(wid) || wid.substr(0, 5) != "WID2 " || wid.size() < kWid2BaseWidth)
      return fail(blockAt, "no whole WID2 line");
    for (size_t i = 0; i < 23; ++i) {
      const char want = "0000/00/00 00:00:00.000"[i], got = wid[5 + i];
      if (want == '0' ? (got < '0' || got > '9') : got != want) return fail(blockAt, "WID2 date malformed");
    }
    if (wid.substr(44, 3) != "INT") return fail(blockAt, "WID2 format is not INT");
    std::string_view countText = wid.substr(48, 6);
    while (!countText.empty() && countText.back() == ' ') countText.remove_suffix(1);
    if (!IsInteger(countText)) return fail(blockAt, "WID2 sample count malformed");
    const long expected = std::stol(std::string(countText));
    std::string_view l;
    if (!line(l) || l != "DAT2") return fail(pos, "no DAT2 line");
    std::vector<int32_t> values;
    for (;;) {
      const size_t at = pos;
      if (!line(l)) return fail(at, "block ends without CHK2");
      if (l.substr(0, 5) == "CHK2 ") break;
      if (l.empty() || l.size() > 131) return fail(at, "data line empty or too long");
      size_t from = 0;
      while (from <= l.size()) {
        const size_t sp = std::min(l.find(' ', from), l.size());
        const std::string_view v = l.substr(from, sp - from);
        if (!IsInteger(v)) return fail(at, "data value malformed: " + std::string(v));
        values.push_back(static_cast<int32_t>(std::stoll(std::string(v))));
        from = sp + 1;
      }
    }
    if (static_cast<long>(values.size()) != expected)
      return fail(blockAt, "WID2 says " + std::to_string(expected) + " samples, data hold " +
                               std::to_string(values.size()));
    if (!IsInteger(l.substr(5)) || std::stoll(std::string(l.substr(5))) != Gse2Checksum(values))
      return fail(blockAt, "CHK2 does not match the data");
    if (!line(l) || !l.empty()) return fail(pos, "no empty line after CHK2");
    ++count;
  }
  return fail(pos, "file does not end in STOP");
}

}  // namespace gse2_strict
