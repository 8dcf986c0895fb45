#pragma once
// Helpers of the storage tests: a recording worker host and a reader for the
// files our writer produces (TempDir, ReadFile and WriteFile come along).
#include <gtest/gtest.h>

#include <cctype>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "common/worker.h"
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

// Records what workers report; Wait blocks until `count` notifications came.
class FakeHost final : public WorkerHost {
 public:
  void WorkerStarting(bool saveThread) override {
    std::lock_guard<std::mutex> lk(m_mutex);
    (saveThread ? m_startedSave : m_started)++;
  }
  void PostThreadFinished(int code, uint64_t) override {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_codes.push_back(code);
    m_cv.notify_all();
  }
  void Log(const std::string& message) override {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_log.push_back(message);
  }
  bool WaitForCodes(size_t count) {
    std::unique_lock<std::mutex> lk(m_mutex);
    return m_cv.wait_for(lk, std::chrono::seconds(30), [&] { return m_codes.size() >= count; });
  }
  std::vector<int> Codes() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_codes;
  }
  std::vector<std::string> LogLines() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_log;
  }
  int StartedSave() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_startedSave;
  }
  int Started() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_started;
  }

 private:
  mutable std::mutex m_mutex;
  std::condition_variable m_cv;
  std::vector<int> m_codes;
  std::vector<std::string> m_log;
  int m_started = 0, m_startedSave = 0;
};

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
