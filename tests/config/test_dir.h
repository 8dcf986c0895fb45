#pragma once
// A TempDir as the configuration tests use it: names relative to the station directory.
#include <filesystem>
#include <string>

#include "support/temp_dir.h"

class TempStationDir : public TempDir {
 public:
  using TempDir::Path;
  // With trailing "/".
  std::string Path() const { return Dir(); }
  void Write(const std::string& name, const std::string& bytes) const { WriteFile(Path(name), bytes); }
  std::string Read(const std::string& name) const { return ReadFile(Path(name)); }
  bool Exists(const std::string& name) const { return std::filesystem::exists(Path(name)); }
};
