// One hour of the default output (100 Hz after resampling by 10, inputs 0, 1,
// 2 and the GPS input 6, one segment per second) through the real GSE2 writer
// into a temporary directory, against the floor: the same bytes in one write.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "common/worker.h"
#include "config/progparam.h"
#include "storage/file_naming.h"
#include "storage/save_lock.h"
#include "storage/save_path.h"

namespace {

class QuietHost final : public WorkerHost {
 public:
  void WorkerStarting(bool) override {}
  void PostThreadFinished(int, uint64_t) override {}
  void Log(const std::string&) override {}
};

struct HourOfData {
  std::string root;
  std::string file;
  std::vector<TSaveSeisDataThread> writers;
};

HourOfData MakeHour() {
  HourOfData h;
  std::string tmpl = (std::filesystem::temp_directory_path() / "velkor-gse2-bench-XXXXXX").string();
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
  SaveJob job;
  job.Samples.resize(static_cast<size_t>(kSeconds) * kFrames * 8);
  std::mt19937 rng(7);
  std::normal_distribution<double> noise(0.0, 20000.0);
  for (size_t i = 0; i < job.Samples.size(); ++i) {
    const int input = static_cast<int>(i % 8);
    const int frame = static_cast<int>((i / 8) % kFrames);
    job.Samples[i] = input == 6 ? (frame < 30 ? 1'000'000 : 0) : static_cast<int32_t>(noise(rng));
  }
  for (int s = 0; s < kSeconds; ++s) job.Tags.push_back({AddMs(start, 1000LL * s), s * kFrames * 8});
  SaveLock lock;
  h.writers = TStartSaveSeisDataThread(std::move(job), p, lock).BuildWriters();
  h.file = ContinuousFileName(p, start);
  return h;
}

// Removes the temporary directory when the benchmark program ends, whichever
// benchmarks ran.
struct RemoveAtExit {
  std::string root;
  ~RemoveAtExit() {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
};

const HourOfData& Hour() {
  static const HourOfData h = MakeHour();
  static const RemoveAtExit cleanup{h.root};
  return h;
}

void BM_Gse2WriterHour(benchmark::State& state) {
  const HourOfData& h = Hour();
  SaveLock lock;
  QuietHost host;
  for (auto _ : state) {
    std::filesystem::remove(h.file);
    for (const TSaveSeisDataThread& w : h.writers)
      if (w.Execute(lock, host) != 4) state.SkipWithError("writer failed");
  }
  state.counters["file_bytes"] = static_cast<double>(std::filesystem::file_size(h.file));
  state.counters["segments"] = static_cast<double>(h.writers.size());
}
BENCHMARK(BM_Gse2WriterHour)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_Gse2OneWriteHour(benchmark::State& state) {
  const HourOfData& h = Hour();
  if (!std::filesystem::exists(h.file)) {
    SaveLock lock;
    QuietHost host;
    for (const TSaveSeisDataThread& w : h.writers) w.Execute(lock, host);
  }
  std::string bytes;
  {
    std::ifstream in(h.file, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const std::string floorFile = h.root + "/one-write.IDx";
  for (auto _ : state) {
    const int fd = ::open(floorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
      state.SkipWithError("write failed");
    if (fd >= 0) ::close(fd);
  }
  state.counters["file_bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_Gse2OneWriteHour)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace
