// One hour of the default output (100 Hz, inputs 0, 1, 2 and the pulse input
// 6, one segment per second) packed into Steim-2 miniSEED records, with and
// without the SDS archive, and in the same run written by the GSE2 writer.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "common/worker.h"
#include "config/progparam.h"
#include "mseed/mseed_record.h"
#include "mseed/sds_archive.h"
#include "storage/file_naming.h"
#include "storage/save_lock.h"
#include "storage/save_path.h"

namespace {

class SilentHost final : public WorkerHost {
 public:
  void WorkerStarting(bool) override {}
  void PostThreadFinished(int, uint64_t) override {}
  void Log(const std::string&) override {}
};

struct Hour {
  std::string root, gse2File;
  std::vector<TSaveSeisDataThread> seconds;  // one writer per second, as the save path makes them
  int64_t startUs = 0;
  ~Hour() {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
};

const Hour& TheHour() {
  static const Hour h = [] {
    Hour h;
    std::string tmpl =
        (std::filesystem::temp_directory_path() / "velkor-mseed-bench-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) {
      std::perror("mkdtemp");
      std::exit(1);
    }
    h.root = tmpl;
    TProgParam p;
    p.IDStation = "IDx";
    p.Seismograph.Model = "CMG-4T";
    p.Seismograph.FlagZ = "BHZ";
    p.Seismograph.FlagN = "BHN";
    p.Seismograph.FlagE = "BHE";
    p.DataDir = h.root + "/Data";
    p.SeparateDirectory = true;
    p.FullLoad = true;
    p.PPSChannel = 6;
    p.SaveGPS = true;
    p.Continuous = true;
    p.SampleRate = 1000;
    p.ReSampling = 10;
    p.LSBin = ArrayOfReal(8, 1.0);
    constexpr int kSeconds = 3600, kFrames = 100;
    const TDateTime start = EncodeDateTime(2026, 12, 6, 8, 0, 0);
    h.startUs = DateTimeToUnixMs(start) * 1000;
    SaveJob job;
    job.Samples.resize(static_cast<size_t>(kSeconds) * kFrames * 8);
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 20000.0);
    for (size_t i = 0; i < job.Samples.size(); ++i) {
      const int input = static_cast<int>(i % 8);
      const int frame = static_cast<int>((i / 8) % kFrames);
      job.Samples[i] = input == 6 ? (frame < 30 ? 1'000'000 : 0) : static_cast<int32_t>(noise(rng));
    }
    for (int s = 0; s < kSeconds; ++s)
      job.Tags.push_back({AddMs(start, 1000LL * s), s * kFrames * 8});
    SaveLock lock;
    h.seconds = TStartSaveSeisDataThread(std::move(job), p, lock).BuildWriters();
    h.gse2File = ContinuousFileName(p, start);
    return h;
  }();
  return h;
}

// Feeds every second of the hour to the packer as the station does.
template <typename Sink>
void PackHour(const Hour& h, Sink&& sink) {
  MiniSeedPacker packer("XX", "IDX", "", 100.0, sink);
  std::vector<int32_t> samples(100);
  const char* codes[] = {"BHZ", "BHN", "BHE", "HYP"};
  for (size_t s = 0; s < h.seconds.size(); ++s) {
    const TSaveSeisDataThread& w = h.seconds[s];
    const size_t n = static_cast<size_t>(w.ChannelCount);
    samples.resize(w.Samples.size() / n);
    for (size_t c = 0; c < n; ++c) {
      for (size_t j = 0; j < samples.size(); ++j) samples[j] = w.Samples[j * n + c];
      packer.AddSecond(codes[c], h.startUs + static_cast<int64_t>(s) * 1'000'000, samples.data(),
                       samples.size(), TimingOf(true, true));
    }
  }
  packer.FlushAll();
}

void BM_MiniSeedPackHour(benchmark::State& state) {
  const Hour& h = TheHour();
  size_t records = 0;
  for (auto _ : state) {
    records = 0;
    PackHour(h, [&records](const MseedRecord& r) {
      benchmark::DoNotOptimize(r.Data.data());
      ++records;
    });
  }
  state.counters["records"] = static_cast<double>(records);
  state.counters["bytes"] = static_cast<double>(records * kMseedRecordLength);
}
BENCHMARK(BM_MiniSeedPackHour)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_MiniSeedPackAndArchiveHour(benchmark::State& state) {
  const Hour& h = TheHour();
  const std::string root = h.root + "/SDS/";
  for (auto _ : state) {
    std::filesystem::remove_all(root);
    SdsArchive archive(root);
    std::string error;
    PackHour(h, [&](const MseedRecord& r) {
      if (!archive.Append(r, error)) state.SkipWithError("archive write failed");
    });
  }
}
BENCHMARK(BM_MiniSeedPackAndArchiveHour)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_Gse2WriterSameHour(benchmark::State& state) {
  const Hour& h = TheHour();
  SaveLock lock;
  SilentHost host;
  for (auto _ : state) {
    std::filesystem::remove(h.gse2File);
    for (const TSaveSeisDataThread& w : h.seconds)
      if (w.Execute(lock, host) != 4) state.SkipWithError("writer failed");
  }
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(h.gse2File));
}
BENCHMARK(BM_Gse2WriterSameHour)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace
