// One hour of the default output (100 Hz, inputs 0, 1, 2 and the pulse input
// 6, one segment per second) packed into Steim-2 miniSEED records, with and
// without the SDS archive; BM_Gse2WriterHour writes the same hour as GSE2.
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
#include "storage/save_path.h"
#include "hour_of_data.h"

namespace {

// Feeds every second of the hour to the packer as the station does.
template <typename Sink>
void PackHour(const HourOfData& h, Sink&& sink) {
  MiniSeedPacker packer("XX", "IDX", "", 100.0, sink);
  std::vector<int32_t> samples(100);
  const char* codes[] = {"BHZ", "BHN", "BHE", "HYP"};
  for (size_t s = 0; s < h.writers.size(); ++s) {
    const TSaveSeisDataThread& w = h.writers[s];
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
  const HourOfData& h = Hour();
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
  const HourOfData& h = Hour();
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

}  // namespace
