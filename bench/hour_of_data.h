#pragma once
// One hour of the default output (100 Hz after resampling by 10, inputs 0, 1,
// 2 and the GPS input 6, one segment per second), made once per benchmark run
// in a temporary directory and shared by the storage benchmarks.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "common/worker.h"
#include "config/progparam.h"
#include "storage/file_naming.h"
#include "storage/save_lock.h"
#include "storage/save_path.h"

class QuietHost final : public WorkerHost {
 public:
  void WorkerStarting(bool) override {}
  void PostThreadFinished(int, uint64_t) override {}
  void Log(const std::string&) override {}
};

struct HourOfData {
  std::string root;
  std::string file;
  std::vector<TSaveSeisDataThread> writers;  // one writer per second, as the save path makes them
  int64_t startUs = 0;
};

inline HourOfData MakeHour() {
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
  h.startUs = DateTimeToUnixMs(start) * 1000;
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

inline const HourOfData& Hour() {
  static const HourOfData h = MakeHour();
  static const RemoveAtExit cleanup{h.root};
  return h;
}
