#include "config/calibration_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace {

TEST(FilterFile, LoadsNormalisedCoefficientsOrNothing) {
  const std::pair<const char*, ArrayOfReal> rows[] = {  // text (nullptr: a directory), coefficients (empty: refused)
      {"1\r\n2\r\n1", {0.25, 0.5, 0.25}}, {"1\r\n2\r\n1\r\n", {0.25, 0.5, 0.25}}, {"1\n2\n1\n", {0.25, 0.5, 0.25}},
      {"4", {1.0}}, {"-1\r\n3\r\n", {-0.5, 1.5}}, {" 0.5 \r\n1.5\r\n", {0.25, 0.75}},
      {"1\r\n-1\r\n", {}} /* sum zero */, {"1\r\n\r\n2\r\n", {}}, {"1\r\n2\r\n\r\n", {}}, {"1\r\nabc\r\n", {}},
      {"0,5\r\n1\r\n", {}}, {"", {}}, {nullptr, {}}};
  for (const auto& [text, expected] : rows) {
    SCOPED_TRACE(text ? text : "a directory");
    TempDir dir;
    const std::string path = text ? dir.Path("f.txt") : dir.Dir();
    if (text) WriteFile(path, text);
    ArrayOfReal coefs{9, 9};
    EXPECT_EQ(LoadFilterFile(path, coefs), !expected.empty());
    EXPECT_EQ(coefs, expected);
  }
}

constexpr int64_t kHourMs = 3'600'000;
constexpr int64_t kWrittenMs = 1'780'000'000'000;  // a fixed instant in 2026

class OffsetsTest : public ::testing::Test {
 protected:
  void WriteStamped(const std::string& text, int64_t unixMs) {
    WriteFile(file, text);
    const std::chrono::sys_time<std::chrono::milliseconds> stamp{std::chrono::milliseconds(unixMs)};
    std::filesystem::last_write_time(file, std::chrono::file_clock::from_sys(stamp));
  }
  ArrayOfDataType Read(ArrayOfDataType offsets, int64_t nowMs) {
    ReadOffsets(dir.Dir(), offsets, nowMs);
    return offsets;
  }
  TempDir dir;
  const std::string file = dir.Path("offsets.bin");
};

TEST_F(OffsetsTest, WrittenWithCRLFBetweenAndNoneAfterReadBackAndAFailedWriteKeepsTheOldFile) {
  const ArrayOfDataType written{INT32_MIN, -1, 0, 1, 2, 3, 4, INT32_MAX};
  const std::string text = "-2147483648\r\n-1\r\n0\r\n1\r\n2\r\n3\r\n4\r\n2147483647";
  ASSERT_TRUE(WriteOffsets(dir.Dir(), written));
  EXPECT_EQ(ReadFile(file), text);
  EXPECT_FALSE(std::filesystem::exists(file + ".tmp"));
  WriteStamped(text, kWrittenMs);
  EXPECT_EQ(Read({}, kWrittenMs + 1000), written);
  std::filesystem::create_directory(file + ".tmp");
  EXPECT_FALSE(WriteOffsets(dir.Dir(), ArrayOfDataType(8, 5)));
  EXPECT_EQ(ReadFile(file), text);
}

// Offsets are used only while the file is there and younger than three hours, by its time stamp.
TEST_F(OffsetsTest, UsedOnlyWithinThreeHoursOfTheStampAndUntilDeleted) {
  WriteStamped("1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8", kWrittenMs);
  for (const auto& [age, used] : {std::pair{3 * kHourMs, false}, {-3 * kHourMs, false},
                                  {2 * kHourMs + 59 * 60'000, true}, {-kHourMs, true}})
    EXPECT_EQ(Read(ArrayOfDataType(8, -9), kWrittenMs + age),
              used ? (ArrayOfDataType{1, 2, 3, 4, 5, 6, 7, 8}) : ArrayOfDataType(8, -9)) << age;
  EXPECT_TRUE(DeleteOffsets(dir.Dir()));
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_TRUE(DeleteOffsets(dir.Dir()));
  EXPECT_EQ(Read({4, 4}, kWrittenMs), (ArrayOfDataType{4, 4}));
}

TEST_F(OffsetsTest, LinesThatAreNotNumbersOrMissingGiveZeroAndHandEditsRead) {
  const std::pair<const char*, ArrayOfDataType> cases[] = {
      {"10\r\n20\r\n30\r\nx\r\n50\r\n60\r\n70\r\n80", {10, 20, 30, 0, 50, 60, 70, 80}},
      {"5\r\n6\r\n", {5, 6, 0, 0, 0, 0, 0, 0}},
      {" 1\n-2 \n3\n4\n5\n6\n7\n8\n", {1, -2, 3, 4, 5, 6, 7, 8}}};
  for (const auto& [text, expected] : cases) {
    WriteStamped(text, kWrittenMs);
    EXPECT_EQ(Read(ArrayOfDataType(4, -9), kWrittenMs), expected) << text;  // too short, nothing left over
  }
}

}  // namespace
