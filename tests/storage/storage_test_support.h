#pragma once
// Helpers of the storage tests: readable case names and a reader for the
// files our writer produces (TempDir, ReadFile and WriteFile come along).
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

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
