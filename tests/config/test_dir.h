#pragma once
// A fresh station directory per test, removed afterwards.
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

class TempStationDir {
 public:
  TempStationDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "velkor-config-XXXXXX").string();
    char* made = ::mkdtemp(tmpl.data());
    EXPECT_NE(made, nullptr);
    m_path = tmpl + "/";
  }
  ~TempStationDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  TempStationDir(const TempStationDir&) = delete;
  TempStationDir& operator=(const TempStationDir&) = delete;

  // With trailing "/".
  const std::string& Path() const { return m_path; }

  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream out(m_path + name, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(m_path + name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  bool Exists(const std::string& name) const { return std::filesystem::exists(m_path + name); }

 private:
  std::string m_path;
};
