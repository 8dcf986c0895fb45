#pragma once
// Helpers of the storage tests: readable case names and a reader for the
// files our writer produces (TempDir, ReadFile and WriteFile come along).
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

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

// Parses a whole file; fails the calling test on anything unexpected.
inline std::vector<ReadBlock> ParseGse2(const std::string& bytes) {
  std::vector<ReadBlock> blocks;
  const std::string begin = "BEGIN GSE2.0\n\n";
  EXPECT_EQ(bytes.compare(0, begin.size(), begin), 0) << "no BEGIN header";
  EXPECT_GE(bytes.size(), begin.size() + 4);
  EXPECT_EQ(bytes.substr(bytes.size() - 4), "STOP") << "file does not end in STOP";
  std::istringstream in(bytes.substr(begin.size(), bytes.size() - begin.size() - 4));
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    EXPECT_EQ(line.rfind("WID2", 0), 0u) << "expected WID2, got: " << line;
    ReadBlock b;
    b.Wid2 = line;
    b.Time = line.substr(5, 23);
    b.Station = FieldAt(line, 30);
    b.Channel = FieldAt(line, 36);
    b.AuxId = FieldAt(line, 40);
    b.SampleCount = std::atoi(FieldAt(line, 49).c_str());
    std::getline(in, line);
    EXPECT_EQ(line, "DAT2");
    while (std::getline(in, line) && line.rfind("CHK2 ", 0) != 0) {
      EXPECT_LE(line.size(), 131u);
      std::istringstream values(line);
      long long v;
      while (values >> v) b.Values.push_back(static_cast<int32_t>(v));
    }
    EXPECT_EQ(line.rfind("CHK2 ", 0), 0u);
    b.Checksum = std::atoll(line.c_str() + 5);
    std::getline(in, line);
    EXPECT_EQ(line, "") << "no empty line after CHK2";
    blocks.push_back(std::move(b));
  }
  return blocks;
}

}  // namespace storage_test
