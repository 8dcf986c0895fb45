#pragma once
// Real receivers' logs live in the shared folder beside the repository; a
// checkout without it skips the tests that replay them.
#include <gtest/gtest.h>

#include <filesystem>

inline std::filesystem::path SharedNmeaDir() {
  return std::filesystem::path(VELKOR_SHARED_TESTDATA) / "nmea";
}

#define VELKOR_REQUIRE_SHARED_NMEA()                                                  \
  do {                                                                                \
    if (!std::filesystem::is_directory(SharedNmeaDir()))                              \
      GTEST_SKIP() << "no receiver logs at " << SharedNmeaDir().string();             \
  } while (0)
