// The station on a real computer's timing, the simulated receiver's pulses on
// whole seconds and a converter sampling on its own (maybe drifting) clock:
// every saved second from the first pulse-tagged one on must join the previous
// exactly, across the hour and its file change.
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>

#include "station/station_rig.h"
#include "storage/storage_test_support.h"

namespace {

struct RealTimeCase { const char* name; int32_t rate, resampling; double driftPpm; bool filter; };

// Cycles as a computer gives them: mostly 850 ms plus a few ms (shorter than two pulses apart),
// now and then up to 1500 ms, one 3 s stall and one straight after another (a second read).
std::function<int64_t()> JitteredIntervals(uint32_t seed) {
  auto rng = std::make_shared<std::mt19937>(seed);
  auto n = std::make_shared<int>(0);
  return [rng, n] {
    const int k = (*n)++;
    if (k == 70) return int64_t{3000};
    if (k == 90) return int64_t{0};
    const bool late = std::uniform_int_distribution<int>(0, 3)(*rng) == 0;
    return static_cast<int64_t>(std::uniform_int_distribution<int>(850, late ? 1500 : 880)(*rng));
  };
}

struct SavedSecond { int64_t ms; int samples; };

// Blocks of every channel in the continuous files, in file and block order.
std::map<std::string, std::vector<SavedSecond>> ReadContinuous(const std::string& dataDir) {
  std::map<std::string, std::vector<SavedSecond>> out;
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dataDir))
    if (e.is_regular_file()) files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  for (const auto& file : files) {
    // The reader holds every block to its sample count and checksum.
    for (const auto& b : storage_test::ParseGse2(ReadFile(file))) {
      int y = 0, mo = 1, d = 1, h = 0, mi = 0, sec = 0, ms = 0;
      EXPECT_EQ(std::sscanf(b.Time.c_str(), "%d/%d/%d %d:%d:%d.%d", &y, &mo, &d, &h, &mi, &sec, &ms), 7) << b.Wid2;
      out[b.Channel].push_back({DateTimeToUnixMs(EncodeDateTime(y, mo, d, h, mi, sec, ms)), b.SampleCount});
    }
  }
  return out;
}

class RealTimeCycles : public StationRig, public ::testing::WithParamInterface<RealTimeCase> {};

TEST_P(RealTimeCycles, EverySavedSecondFromTheFirstPulseOnHoldsOneSecondAndJoinsTheLast) {
  const RealTimeCase& c = GetParam();
  if (c.filter) WriteFile(dir.Path("lowpass.txt"), "0.1\r\n0.2\r\n0.4\r\n0.2\r\n0.1\r\n");
  const int64_t start = DateTimeToUnixMs(EncodeDateTime(2026, 1, 15, 11, 58, 0)) + 437;
  auto s = Make("[ADcard]\r\nSampleRate=" + std::to_string(c.rate) + "\r\nReSampling=" +
                    std::to_string(c.resampling) + "\r\n[Registration]\r\nFilter=" +
                    (c.filter ? "lowpass.txt" : "") + "\r\n[GPS]\r\nPort=sim-gps\r\n",
                UnixMsToDateTime(start), [&](StationOptions& o) {
                  o.converterSeed = 5;
                  o.converterDriftPpm = c.driftPpm;
                });
  const int64_t runFor = 200;
  RunSimulated(*s, clock, runFor, JitteredIntervals(static_cast<uint32_t>(c.rate + c.resampling)));

  const std::string log = ReadFile(dir.Path("velkor.log"));
  EXPECT_NE(log.find("Tim: PPS detected and used."), std::string::npos);
  for (const char* never : {"A/D: Error occured", "Err: PPS is at least 60 seconds off", "Sav: No data for save"})
    EXPECT_EQ(log.find(never), std::string::npos) << log;
  EXPECT_EQ(log.find("A/D: Sampling rate correction. (") != std::string::npos, c.driftPpm != 0);

  const int perSecond = c.rate / c.resampling;
  const auto channels = ReadContinuous(dir.Path("Data"));
  ASSERT_EQ(channels.size(), 4u);
  for (const auto& [channel, list] : channels) {
    SCOPED_TRACE(channel);
    size_t first = 0;
    while (first < list.size() && list[first].ms % 1000 != 0) ++first;
    ASSERT_LT(first, list.size());
    // Pulses are found from about 15 s after the converter opens.
    EXPECT_LT(list[first].ms - start, 60'000);
    int wrong = 0;
    bool crossed = false;
    for (size_t i = first; i < list.size(); ++i) {
      crossed |= i > first && list[i].ms % 3'600'000 == 0;
      const bool ok = list[i].samples == perSecond &&
                      (i == first || list[i].ms - list[i - 1].ms == 1000);
      if (!ok && ++wrong <= 5)
        ADD_FAILURE() << "block " << i << " at +" << list[i].ms - start << " ms holds "
                      << list[i].samples << " samples, "
                      << (i > first ? list[i].ms - list[i - 1].ms : 0) << " ms after the last";
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_TRUE(crossed);
    // Saved to within the few seconds still growing at the close.
    EXPECT_GT(list.back().ms, start + (runFor - 5) * 1000);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rates, RealTimeCycles,
    ::testing::Values(
        RealTimeCase{"r1000by10", 1000, 10, 0, false}, RealTimeCase{"r1000by10filtered", 1000, 10, 0, true},
        RealTimeCase{"r10000by1", 10000, 1, 0, false}, RealTimeCase{"r10000by10", 10000, 10, 0, false},
        RealTimeCase{"r200by2", 200, 2, 0, false}, RealTimeCase{"r250by1", 250, 1, 0, false},
        RealTimeCase{"r1000by10fast50ppm", 1000, 10, 50, true},
        RealTimeCase{"r10000by1slow50ppm", 10000, 1, -50, false},
        RealTimeCase{"r10000by10fast50ppm", 10000, 10, 50, false},
        RealTimeCase{"r200by2slow50ppm", 200, 2, -50, false},
        RealTimeCase{"r250by1fast50ppm", 250, 1, 50, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
