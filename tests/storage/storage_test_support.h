#pragma once
// Helpers of the storage tests: readable case names, files of known samples
// and a reader for the files our writer produces (TempDir, ReadFile and
// WriteFile come along).
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "storage/gse2.h"
#include "support/gse2_strict.h"
#include "support/temp_dir.h"

namespace storage_test {

// Readable test names from a case's legend.
template <typename Case>
std::string LegendName(const ::testing::TestParamInfo<Case>& info) {
  std::string name;
  for (const char* c = info.param.legend; *c; ++c)
    name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
  return name + "_" + std::to_string(info.index);
}

constexpr int kRate = 100;
inline const TDateTime kHour = EncodeDateTime(2005, 1, 15, 12, 0, 0);

inline TDateTime At(int seconds, int ms = 0) { return AddMs(kHour, int64_t{seconds} * 1000 + ms); }

// Sample j of channel k in the block of second `second`: distinct, both signs.
inline int32_t Value(int second, int k, int j) {
  const int32_t v = second * 1000 + j + 1;
  return (k % 2 ? -v : v) + k * 100'000;
}

// The header of channel k (Z, N or E) of station ST01 at 100 Hz.
inline Wid2Fields Header(int k, TDateTime start, int count) {
  static const char* kAux[] = {"Z", "N", "E"};
  static const char* kCode[] = {"BHZ", "BHN", "BHE"};
  static const double kCal[] = {1.0, 0.5, 2.0};
  return {start, "ST01", kCode[k], kAux[k], count, kRate, kCal[k], "CMG-4T"};
}

inline std::vector<int> Range(int from, int to) {
  std::vector<int> r;
  for (int s = from; s < to; ++s) r.push_back(s);
  return r;
}

// One set of `channels` blocks per listed second (relative to `base`), each of
// `perBlock` samples, appended through the station's own writer.
inline void WriteSeconds(const std::string& path, const std::vector<int>& seconds, int channels = 3,
                         int perBlock = kRate, TDateTime base = kHour) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  Gse2FileWriter w;
  ASSERT_TRUE(w.Open(path)) << w.Error();
  for (int s : seconds) {
    for (int k = 0; k < channels; ++k) {
      std::vector<int32_t> v;
      for (int j = 0; j < perBlock; ++j) v.push_back(Value(s, k, j));
      ASSERT_TRUE(w.WriteBlock(Header(k, AddMs(base, s * 1000LL), perBlock), v.data(), v.size(), 1));
    }
  }
  ASSERT_EQ(w.WriteStop(), 4);
  w.Close();
}

// One block as read back: the WID2 line split into its fixed columns.
struct ReadBlock {
  std::string Wid2;
  std::string Time, Station, Channel, AuxId;
  int SampleCount = -1;
  std::vector<int32_t> Values;
  long long Checksum = -1;
};

// Field text at a 1-based column, up to the next blank.
inline std::string FieldAt(const std::string& line, int column) {
  const size_t from = static_cast<size_t>(column - 1);
  if (from >= line.size()) return "";
  const size_t end = line.find(' ', from);
  return line.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

// The blocks of a whole file; a file off the strict layout fails the calling test.
inline std::vector<ReadBlock> ParseGse2(const std::string& bytes) {
  EXPECT_EQ(gse2_strict::LayoutProblem(bytes), "");
  std::vector<ReadBlock> blocks;
  std::istringstream in(bytes);
  bool inData = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("WID2 ", 0) == 0) {
      blocks.push_back({line, line.substr(5, 23), FieldAt(line, 30), FieldAt(line, 36),
                        FieldAt(line, 40), std::atoi(FieldAt(line, 49).c_str()), {}, -1});
    } else if (line.rfind("CHK2 ", 0) == 0) {
      blocks.back().Checksum = std::atoll(line.c_str() + 5);
      inData = false;
    } else if (inData) {
      std::istringstream values(line);
      for (long long v; values >> v;) blocks.back().Values.push_back(static_cast<int32_t>(v));
    }
    inData = inData || line == "DAT2";
  }
  return blocks;
}

}  // namespace storage_test
