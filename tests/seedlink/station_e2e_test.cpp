// A simulated station with a SeedLink client inside the test: the archive,
// the GSE2 files and the live stream must hold the same samples, and the
// stream's numbers must carry on across a restart.
#include <gtest/gtest.h>
#include <libmseed.h>

#include <filesystem>
#include <map>
#include <thread>

#include "seedlink_test_support.h"
#include "station/mseed_feed.h"
#include "station/simulated_run.h"
#include "support/station_options.h"

namespace {

// Samples of each channel of the station's GSE2 files, keyed by auxiliary id,
// blocks in file order.
std::map<std::string, std::vector<int32_t>> Gse2Samples(const std::string& dataDir) {
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dataDir))
    if (e.is_regular_file()) files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  std::map<std::string, std::vector<int32_t>> out;
  for (const std::string& f : files) {
    std::istringstream in(ReadFile(f));
    std::string line, aux;
    bool data = false;
    while (std::getline(in, line)) {
      if (line.rfind("WID2", 0) == 0) {
        aux = line.substr(39, 4);
        aux.erase(aux.find_last_not_of(' ') + 1);
      } else if (line == "DAT2") {
        data = true;
      } else if (line.rfind("CHK2", 0) == 0) {
        data = false;
      } else if (data) {
        std::istringstream values(line);
        int32_t v;
        while (values >> v) out[aux].push_back(v);
      }
    }
  }
  return out;
}

struct DayFile {
  std::vector<int32_t> samples;
  std::vector<int64_t> starts;
  std::vector<int> quality;
  std::string bytes;
};

DayFile ReadDayFile(const std::string& path) {
  DayFile d;
  d.bytes = ReadFile(path);
  for (size_t at = 0; at + kMseedRecordLength <= d.bytes.size(); at += kMseedRecordLength) {
    MSRecord* msr = nullptr;
    std::string rec = d.bytes.substr(at, kMseedRecordLength);
    EXPECT_EQ(msr_unpack(rec.data(), kMseedRecordLength, &msr, 1, 0), MS_NOERROR);
    if (!msr) continue;
    const int32_t* s = static_cast<const int32_t*>(msr->datasamples);
    d.samples.insert(d.samples.end(), s, s + msr->numsamples);
    d.starts.push_back(msr->starttime);
    d.quality.push_back(msr->Blkt1001 ? msr->Blkt1001->timing_qual : -1);
    msr_free(&msr);
  }
  return d;
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

// A client that streams from `command` until the station closes the connection.
std::thread StartClient(uint16_t port, std::string command, std::string& bytes) {
  return std::thread([port, command, &bytes] {
    TcpClient c(port);
    c.Send("STATION IDX XX\r" + command + "\r");
    if (c.Receive(8) != "OK\r\nOK\r\n") return;
    c.Send("END\r");
    for (;;) {
      const std::string more = c.Receive(1 << 20, 60'000);
      if (more.empty()) break;
      bytes += more;
    }
  });
}

std::vector<uint32_t> Sequences(const std::vector<Packet>& packets) {
  std::vector<uint32_t> v;
  for (const Packet& p : packets) v.push_back(std::stoul(p.header.substr(2), nullptr, 16));
  return v;
}

TEST(StationMiniSeed, ArchiveStreamAndGse2HoldTheSameSamplesAcrossARestart) {
  TempDir dir;
  WriteFile(dir.Path("velkor.ini"), "[GPS]\r\nPort=sim-gps\r\n");
  const std::map<std::string, std::string> channels = {
      {"Z", "BHZ"}, {"N", "BHN"}, {"E", "BHE"}, {"GPS", "HYP"}};
  std::string firstRun, secondRun;
  {
    ManualClock clock(DateTimeToUnixMs(EncodeDateTime(2026, 1, 15, 12, 0, 0)));
    StationController station(SimulatedStationOptions(dir, clock));
    station.FormCreate();
    ASSERT_NE(station.Mseed(), nullptr);
    std::thread client = StartClient(station.Mseed()->ServerPort(), "DATA 000000", firstRun);
    RunSimulated(station, clock, 600);
    client.join();
  }
  const std::vector<Packet> first = SplitPackets(firstRun);
  ASSERT_GT(first.size(), 100u);
  const std::string sds = dir.Path("SDS/2026/XX/IDX/");
  std::map<std::string, std::string> streamed;  // channel → records as streamed
  for (const Packet& p : first) streamed[p.record.substr(15, 3)] += p.record;
  const auto gse2 = Gse2Samples(dir.Path("Data"));
  for (const auto& [aux, code] : channels) {
    SCOPED_TRACE(code);
    const std::string file = sds + code + ".D/XX.IDX.." + code + ".D.2026.015";
    const DayFile day = ReadDayFile(file);
    ASSERT_TRUE(gse2.count(aux));
    EXPECT_EQ(day.samples.size(), gse2.at(aux).size());
    EXPECT_EQ(day.samples, gse2.at(aux)) << "the archive holds the samples of the GSE2 files";
    EXPECT_EQ(day.bytes, streamed[code]) << "the stream holds the archive's records";
    // One trace; once the pulse tags the seconds, one continuous segment to the end.
    int traces = 0;
    const auto segments = Segments(file, &traces);
    EXPECT_EQ(traces, 1);
    const size_t firstPulse = std::find(day.quality.begin(), day.quality.end(), 100) - day.quality.begin();
    ASSERT_LT(firstPulse, day.starts.size());
    ASSERT_FALSE(segments.empty());
    EXPECT_LE(segments.back().first, day.starts[firstPulse]);
    EXPECT_GT(segments.back().second, kNoonUs + 590'000'000);
  }
  for (size_t i = 0; i < first.size(); ++i) ASSERT_EQ(first[i].header, SeedLinkHeader(i));

  // The restarted station continues the numbers and the day files.
  {
    ManualClock clock(DateTimeToUnixMs(EncodeDateTime(2026, 1, 15, 12, 11, 0)));
    StationController station(SimulatedStationOptions(dir, clock, 5));
    station.FormCreate();
    char command[32];
    std::snprintf(command, sizeof command, "DATA %06X", static_cast<unsigned>(first.size()));
    std::thread client = StartClient(station.Mseed()->ServerPort(), command, secondRun);
    RunSimulated(station, clock, 120);
    client.join();
  }
  const std::vector<Packet> second = SplitPackets(secondRun);
  ASSERT_FALSE(second.empty());
  for (size_t i = 0; i < second.size(); ++i)
    ASSERT_EQ(second[i].header, SeedLinkHeader(first.size() + i));
  const auto gse2After = Gse2Samples(dir.Path("Data"));
  for (const auto& [aux, code] : channels) {
    SCOPED_TRACE(code);
    const DayFile day = ReadDayFile(sds + code + ".D/XX.IDX.." + code + ".D.2026.015");
    EXPECT_EQ(day.samples, gse2After.at(aux));
    EXPECT_TRUE(std::is_sorted(day.starts.begin(), day.starts.end()));
    EXPECT_EQ(std::adjacent_find(day.starts.begin(), day.starts.end()), day.starts.end())
        << "no record twice";
  }
}

}  // namespace
