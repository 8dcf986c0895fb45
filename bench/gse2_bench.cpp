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
#include "hour_of_data.h"

namespace {

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
