// A simulated station with a SeedLink client inside the test: the archive, the GSE2 files and the live
// stream must hold the same samples, and the stream's numbers must carry on across a restart.
#include <gtest/gtest.h>
#include <libmseed.h>

#include <algorithm>

#include <filesystem>
#include <map>
#include <thread>

#include "seedlink_test_support.h"
#include "station/mseed_feed.h"
#include "station/simulated_run.h"
#include "storage/storage_test_support.h"
#include "support/station_options.h"

namespace {

// Samples of each channel of the station's GSE2 files, keyed by auxiliary id, blocks in file order.
std::map<std::string, std::vector<int32_t>> Gse2Samples(const std::string& dataDir) {
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dataDir))
    if (e.is_regular_file()) files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  std::map<std::string, std::vector<int32_t>> out;
  for (const std::string& f : files)
    for (const storage_test::ReadBlock& b : storage_test::ParseGse2(ReadFile(f)))
      out[b.AuxId].insert(out[b.AuxId].end(), b.Values.begin(), b.Values.end());
  return out;
}

// The samples of a day file's records in order; every record whole.
std::vector<int32_t> Samples(const std::vector<DecodedRecord>& records) {
  std::vector<int32_t> out;
  for (const DecodedRecord& d : records) {
    EXPECT_TRUE(d.Ok);
    out.insert(out.end(), d.Samples.begin(), d.Samples.end());
  }
  return out;
}

// libmseed's trace list of a file: trace ids and the segments of each.
std::vector<std::pair<int64_t, int64_t>> Segments(const std::string& path, int* traces) {
  MSTraceList* list = nullptr;
  std::vector<std::pair<int64_t, int64_t>> out;
  EXPECT_EQ(ms_readtracelist(&list, path.c_str(), 0, -1.0, -1.0, 0, 1, 0, 0), MS_NOERROR);
  if (!list) return out;
  *traces = list->numtraces;
  for (MSTraceID* id = list->traces; id; id = id->next)
    for (MSTraceSeg* seg = id->first; seg; seg = seg->next) out.push_back({seg->starttime, seg->endtime});
  mstl_free(&list, 0);
  return out;
}

// Runs a station for `seconds` from `start`; returns what a client streaming from `fromSeq` received.
std::vector<Packet> RunWithClient(const TempDir& dir, TDateTime start, int seconds, uint32_t seed, size_t fromSeq) {
  ManualClock clock(DateTimeToUnixMs(start));
  StationController station(SimulatedStationOptions(dir, clock, seed));
  station.FormCreate();
  if (!station.Mseed()) return {};  // no feed: nothing streamed
  char command[48];
  std::snprintf(command, sizeof command, "STATION IDX XX\rDATA %06X\r", static_cast<unsigned>(fromSeq));
  std::string bytes;
  std::thread client([port = station.Mseed()->ServerPort(), &command, &bytes] {
    TcpClient c(port);
    c.Send(command);
    if (c.Receive(8) != "OK\r\nOK\r\n") return;
    c.Send("END\r");
    for (std::string more; !(more = c.Receive(1 << 20, 60'000)).empty();) bytes += more;
  });
  RunSimulated(station, clock, seconds);
  client.join();
  return SplitPackets(bytes);
}

TEST(StationMiniSeed, ArchiveStreamAndGse2HoldTheSameSamplesAcrossARestart) {
  TempDir dir;
  WriteFile(dir.Path("velkor.ini"), "[GPS]\r\nPort=sim-gps\r\n");
  const std::map<std::string, std::string> channels = {{"Z", "BHZ"}, {"N", "BHN"}, {"E", "BHE"}, {"GPS", "HYP"}};
  const auto dayFile = [&](const std::string& c) {
    return dir.Path("SDS/2026/XX/IDX/" + c + ".D/XX.IDX.." + c + ".D.2026.015");
  };
  const std::vector<Packet> first = RunWithClient(dir, EncodeDateTime(2026, 1, 15, 12, 0, 0), 600, 3, 0);
  ASSERT_GT(first.size(), 100u);
  for (size_t i = 0; i < first.size(); ++i) ASSERT_EQ(first[i].header, SeedLinkHeader(i));
  std::map<std::string, std::string> streamed;  // channel → records as streamed
  for (const Packet& p : first) streamed[p.record.substr(15, 3)] += p.record;
  const auto gse2 = Gse2Samples(dir.Path("Data"));
  for (const auto& [aux, code] : channels) {
    SCOPED_TRACE(code);
    const std::string bytes = ReadFile(dayFile(code));
    const std::vector<DecodedRecord> day = DecodeAll(bytes);
    ASSERT_TRUE(gse2.count(aux));
    EXPECT_EQ(Samples(day), gse2.at(aux)) << "the archive holds the samples of the GSE2 files";
    EXPECT_EQ(bytes, streamed[code]) << "the stream holds the archive's records";
    // One trace; once the pulse tags the seconds, one continuous segment to the end.
    int traces = 0;
    const auto segments = Segments(dayFile(code), &traces);
    EXPECT_EQ(traces, 1);
    const auto firstPulse = std::find_if(day.begin(), day.end(), [](auto& d) { return d.Quality == 100; });
    ASSERT_TRUE(firstPulse != day.end() && !segments.empty());
    EXPECT_LE(segments.back().first, firstPulse->StartUs);
    EXPECT_GT(segments.back().second, kNoonUs + 590'000'000);
  }

  // The restarted station continues the numbers and the day files.
  const std::vector<Packet> second = RunWithClient(dir, EncodeDateTime(2026, 1, 15, 12, 11, 0), 120, 5, first.size());
  ASSERT_FALSE(second.empty());
  for (size_t i = 0; i < second.size(); ++i) ASSERT_EQ(second[i].header, SeedLinkHeader(first.size() + i));
  const auto gse2After = Gse2Samples(dir.Path("Data"));
  for (const auto& [aux, code] : channels) {
    SCOPED_TRACE(code);
    const std::vector<DecodedRecord> day = DecodeAll(ReadFile(dayFile(code)));
    EXPECT_EQ(Samples(day), gse2After.at(aux));
    const auto notLater = [](auto& a, auto& b) { return a.StartUs >= b.StartUs; };
    EXPECT_EQ(std::adjacent_find(day.begin(), day.end(), notLater), day.end()) << "in order, no record twice";
  }
}

}  // namespace
