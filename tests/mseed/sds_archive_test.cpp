#include "mseed/sds_archive.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <tuple>
#include <mutex>

#include "mseed_test_support.h"
#include "support/temp_dir.h"

namespace {

std::vector<int64_t> StartsIn(const std::string& path) {
  const std::string bytes = ReadFile(path);
  EXPECT_EQ(bytes.size() % kMseedRecordLength, 0u);
  std::vector<int64_t> starts;
  for (const DecodedRecord& d : DecodeAll(bytes)) starts.push_back(d.StartUs);
  return starts;
}

TEST(SdsPath, FollowsTheSdsLayout) {
  for (const auto& [startUs, location, path] :
       {std::tuple{kNoonUs, "00", "R/2026/XX/IDX/BHZ.D/XX.IDX.00.BHZ.D.2026.015"},
        {1'767'225'600'000'000LL, "", "R/2026/XX/IDX/BHZ.D/XX.IDX..BHZ.D.2026.001"},
        {1'735'689'599'000'000LL, "", "R/2024/XX/IDX/BHZ.D/XX.IDX..BHZ.D.2024.366"}})
    EXPECT_EQ(SdsPath("R/", MseedRecord{"XX", "IDX", location, "BHZ", startUs}), path);
}

TEST(SdsArchive, DayFilesRollOverAtMidnight) {
  TempDir dir;
  SdsArchive archive(dir.Path("SDS"));
  std::string error;
  constexpr int64_t kMidnight = 1'768'521'600'000'000LL;
  // 23:59:40 to 00:00:20 at 100 Hz
  for (const MseedRecord& r : Pack(std::vector<int32_t>(4000, 42), kMidnight - 20'000'000))
    ASSERT_TRUE(archive.Append(r, error));
  const std::string d15 = dir.Path("SDS/2026/XX/IDX/BHZ.D/XX.IDX..BHZ.D.2026.015");
  const std::string d16 = dir.Path("SDS/2026/XX/IDX/BHZ.D/XX.IDX..BHZ.D.2026.016");
  size_t samples = 0;
  for (const std::string& f : {d15, d16}) {
    for (const DecodedRecord& d : DecodeAll(ReadFile(f))) {
      const int64_t end = d.StartUs + static_cast<int64_t>(d.Samples.size()) * 10'000;
      EXPECT_TRUE(f == d15 ? end <= kMidnight : d.StartUs >= kMidnight) << f;
      samples += d.Samples.size();
    }
  }
  EXPECT_EQ(samples, 4000u);
  ASSERT_FALSE(StartsIn(d16).empty());
  EXPECT_EQ(StartsIn(d16)[0], kMidnight);
}

TEST(SdsArchive, RestartContinuesTheDayFileWithoutDuplicatesAndCutsATornTail) {
  TempDir dir;
  const std::vector<MseedRecord> recs = Pack(std::vector<int32_t>(6000, 42), kNoonUs);
  std::vector<int64_t> expected;
  for (const MseedRecord& r : recs) expected.push_back(r.StartUs);
  const std::string file = SdsPath(dir.Path("SDS") + "/", recs[0]);
  std::string error;
  {
    SdsArchive first(dir.Path("SDS"));
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(first.Append(recs[i], error));
  }
  for (const auto& [name, tail] : {std::pair<const char*, std::string>{"clean end", ""},
                                   {"half a record", std::string(recs[3].Data.data(), 200)},
                                   {"a zeroed record", std::string(kMseedRecordLength, '\0')}}) {
    SCOPED_TRACE(name);
    std::filesystem::resize_file(file, 3 * kMseedRecordLength);
    std::ofstream(file, std::ios::binary | std::ios::app) << tail;
    SdsArchive restarted(dir.Path("SDS"));
    // The restarted station offers the last record again, then new ones.
    for (size_t i = 2; i < recs.size(); ++i) ASSERT_TRUE(restarted.Append(recs[i], error));
    EXPECT_EQ(StartsIn(file), expected);
  }
}

TEST(FileWorkQueue, RunsWorkInOrderAndDropsWhenFull) {
  std::vector<int> done;
  {
    FileWorkQueue q(1000);
    for (int i = 0; i < 100; ++i) EXPECT_TRUE(q.Post([&done, i] { done.push_back(i); }));
    q.Drain();
    EXPECT_EQ(done.size(), 100u);
  }
  for (int i = 0; i < 100; ++i) EXPECT_EQ(done[i], i);
  std::mutex gate;
  std::unique_lock hold(gate);
  FileWorkQueue q(2);
  q.Post([&gate] { std::lock_guard wait(gate); });  // blocks the writer
  int posted = 0;
  for (int i = 0; i < 5; ++i) posted += q.Post([] {}) ? 1 : 0;
  EXPECT_LE(posted, 3);
  EXPECT_GE(q.Dropped(), 2u);
  hold.unlock();
}

}  // namespace
