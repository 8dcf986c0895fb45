#include "config/calibration_files.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "test_dir.h"

namespace {

TEST(FilterFile, LoadsNormalisedCoefficientsOrNothing) {
  struct Row {
    const char* text;  // nullptr: no file
    ArrayOfReal coefs;  // empty: refused
  };
  const Row rows[] = {
      {"1\r\n2\r\n1", {0.25, 0.5, 0.25}},
      {"1\r\n2\r\n1\r\n", {0.25, 0.5, 0.25}},
      {"1\n2\n1\n", {0.25, 0.5, 0.25}},
      {"4", {1.0}},
      {"-1\r\n3\r\n", {-0.5, 1.5}},
      {" 0.5 \r\n1.5\r\n", {0.25, 0.75}},
      {"1\r\n-1\r\n", {}},  // sum zero
      {"1\r\n\r\n2\r\n", {}},
      {"1\r\n2\r\n\r\n", {}},
      {"1\r\nabc\r\n", {}},
      {"0,5\r\n1\r\n", {}},
      {"", {}},
      {nullptr, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text ? row.text : "no file");
    TempStationDir dir;
    if (row.text) dir.Write("f.txt", row.text);
    ArrayOfReal coefs{9, 9};
    EXPECT_EQ(LoadFilterFile(dir.Path("f.txt"), coefs), !row.coefs.empty());
    EXPECT_EQ(coefs, row.coefs);
  }
  TempStationDir dir;
  ArrayOfReal coefs{1};
  EXPECT_FALSE(LoadFilterFile(dir.Path(), coefs));  // a directory
  EXPECT_TRUE(coefs.empty());
}

constexpr int64_t kHourMs = 3'600'000;
constexpr int64_t kWrittenMs = 1'780'000'000'000;  // a fixed instant in 2026

class OffsetsTest : public ::testing::Test {
 protected:
  void WriteStamped(const std::string& text, int64_t unixMs) {
    dir.Write("offsets.bin", text);
    const std::string path = dir.Path("offsets.bin");
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = unixMs / 1000;
    times[0].tv_nsec = times[1].tv_nsec = (unixMs % 1000) * 1'000'000;
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }
  TempStationDir dir;
};

TEST_F(OffsetsTest, WrittenWithCRLFBetweenAndNoneAfterAndReadBack) {
  const ArrayOfDataType written{INT32_MIN, -1, 0, 1, 2, 3, 4, INT32_MAX};
  ASSERT_TRUE(WriteOffsets(dir.Path(), written));
  EXPECT_EQ(dir.Read("offsets.bin"),
            "-2147483648\r\n-1\r\n0\r\n1\r\n2\r\n3\r\n4\r\n2147483647");
  EXPECT_FALSE(dir.Exists("offsets.bin.tmp"));
  WriteStamped(dir.Read("offsets.bin"), kWrittenMs);
  ArrayOfDataType read;
  ReadOffsets(dir.Path(), read, kWrittenMs + 1000);
  EXPECT_EQ(read, written);
}

// Offsets are used only while the file is younger than three hours, by its time stamp.
TEST_F(OffsetsTest, UsedOnlyWithinThreeHoursOfTheStamp) {
  WriteStamped("1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8", kWrittenMs);
  for (const int64_t age : {3 * kHourMs, -3 * kHourMs}) {
    ArrayOfDataType offsets(8, -9);
    ReadOffsets(dir.Path(), offsets, kWrittenMs + age);
    EXPECT_EQ(offsets, ArrayOfDataType(8, -9)) << age;
  }
  for (const int64_t age : {2 * kHourMs + 59 * 60'000, -kHourMs}) {
    ArrayOfDataType offsets(8, -9);
    ReadOffsets(dir.Path(), offsets, kWrittenMs + age);
    EXPECT_EQ(offsets, (ArrayOfDataType{1, 2, 3, 4, 5, 6, 7, 8})) << age;
  }
}

TEST_F(OffsetsTest, LinesThatAreNotNumbersOrMissingGiveZeroAndHandEditsRead) {
  const std::pair<const char*, ArrayOfDataType> cases[] = {
      {"10\r\n20\r\n30\r\nx\r\n50\r\n60\r\n70\r\n80", {10, 20, 30, 0, 50, 60, 70, 80}},
      {"5\r\n6\r\n", {5, 6, 0, 0, 0, 0, 0, 0}},
      {" 1\n-2 \n3\n4\n5\n6\n7\n8\n", {1, -2, 3, 4, 5, 6, 7, 8}}};
  for (const auto& [text, expected] : cases) {
    WriteStamped(text, kWrittenMs);
    ArrayOfDataType offsets(4, -9);  // too short, and nothing may be left over
    ReadOffsets(dir.Path(), offsets, kWrittenMs);
    EXPECT_EQ(offsets, expected) << text;
  }
}

TEST_F(OffsetsTest, DeletedOrMissingFileLeavesOffsetsUntouched) {
  ASSERT_TRUE(WriteOffsets(dir.Path(), ArrayOfDataType(8, 1)));
  EXPECT_TRUE(DeleteOffsets(dir.Path()));
  EXPECT_FALSE(dir.Exists("offsets.bin"));
  EXPECT_TRUE(DeleteOffsets(dir.Path()));
  ArrayOfDataType offsets{4, 4};
  ReadOffsets(dir.Path(), offsets, kWrittenMs);
  EXPECT_EQ(offsets, (ArrayOfDataType{4, 4}));
}

TEST_F(OffsetsTest, FailedWriteKeepsTheOldFile) {
  dir.Write("offsets.bin", "1\r\n2");
  std::filesystem::create_directory(dir.Path() + "offsets.bin.tmp");
  EXPECT_FALSE(WriteOffsets(dir.Path(), ArrayOfDataType(8, 5)));
  EXPECT_EQ(dir.Read("offsets.bin"), "1\r\n2");
}

}  // namespace
