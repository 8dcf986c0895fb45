#include "config/calibration_files.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "test_dir.h"

namespace {

struct FilterCase {
  const char* legend;
  const char* text;
  bool ok;
  ArrayOfReal coefs;
};

class FilterFileTest : public ::testing::TestWithParam<FilterCase> {};

TEST_P(FilterFileTest, Loads) {
  const FilterCase& c = GetParam();
  TempStationDir dir;
  dir.Write("f.txt", c.text);
  ArrayOfReal coefs{9, 9};
  EXPECT_EQ(LoadFilterFile(dir.Path() + "f.txt", coefs), c.ok);
  EXPECT_EQ(coefs, c.coefs);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FilterFileTest,
    ::testing::Values(
        FilterCase{"OneTwoOne", "1\r\n2\r\n1", true, {0.25, 0.5, 0.25}},
        FilterCase{"TrailingLineBreak", "1\r\n2\r\n1\r\n", true, {0.25, 0.5, 0.25}},
        FilterCase{"LFOnly", "1\n2\n1\n", true, {0.25, 0.5, 0.25}},
        FilterCase{"SingleValue", "4", true, {1.0}},
        FilterCase{"NegativeWeights", "-1\r\n3\r\n", true, {-0.5, 1.5}},
        FilterCase{"RealsWithBlanks", " 0.5 \r\n1.5\r\n", true, {0.25, 0.75}},
        FilterCase{"SumZero", "1\r\n-1\r\n", false, {}},
        FilterCase{"BlankLineBetween", "1\r\n\r\n2\r\n", false, {}},
        FilterCase{"TwoTrailingLineBreaks", "1\r\n2\r\n\r\n", false, {}},
        FilterCase{"NotANumber", "1\r\nabc\r\n", false, {}},
        FilterCase{"CommaDecimal", "0,5\r\n1\r\n", false, {}},
        FilterCase{"Empty", "", false, {}}),
    [](const ::testing::TestParamInfo<FilterCase>& info) { return std::string(info.param.legend); });

TEST(FilterFileTest, MissingFileOrDirectoryFails) {
  TempStationDir dir;
  ArrayOfReal coefs{1};
  EXPECT_FALSE(LoadFilterFile(dir.Path() + "cosinus.txt", coefs));
  EXPECT_TRUE(coefs.empty());
  EXPECT_FALSE(LoadFilterFile(dir.Path(), coefs));
}

constexpr int64_t kHourMs = 3'600'000;
constexpr int64_t kWrittenMs = 1'780'000'000'000;  // a fixed instant in 2026

class OffsetsTest : public ::testing::Test {
 protected:
  void WriteStamped(const std::string& text, int64_t unixMs) {
    dir.Write("offsets.bin", text);
    const std::string path = dir.Path() + "offsets.bin";
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = unixMs / 1000;
    times[0].tv_nsec = times[1].tv_nsec = (unixMs % 1000) * 1'000'000;
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }
  TempStationDir dir;
};

TEST_F(OffsetsTest, WrittenLayoutHasCRLFBetweenAndNoneAfter) {
  ASSERT_TRUE(WriteOffsets(dir.Path(), {12, -3, 0, 0, 0, 0, 0, 7}));
  EXPECT_EQ(dir.Read("offsets.bin"), "12\r\n-3\r\n0\r\n0\r\n0\r\n0\r\n0\r\n7");
  EXPECT_FALSE(dir.Exists("offsets.bin.tmp"));
}

TEST_F(OffsetsTest, WriteThenReadGivesTheOffsetsBack) {
  const ArrayOfDataType written{INT32_MIN, -1, 0, 1, 2, 3, 4, INT32_MAX};
  ASSERT_TRUE(WriteOffsets(dir.Path(), written));
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

TEST_F(OffsetsTest, MissingFileLeavesOffsetsUntouched) {
  ArrayOfDataType offsets{4, 4};
  ReadOffsets(dir.Path(), offsets, kWrittenMs);
  EXPECT_EQ(offsets, (ArrayOfDataType{4, 4}));
}

TEST_F(OffsetsTest, DeleteRemovesTheFileAndToleratesItsAbsence) {
  ASSERT_TRUE(WriteOffsets(dir.Path(), ArrayOfDataType(8, 1)));
  EXPECT_TRUE(DeleteOffsets(dir.Path()));
  EXPECT_FALSE(dir.Exists("offsets.bin"));
  EXPECT_TRUE(DeleteOffsets(dir.Path()));
}

TEST_F(OffsetsTest, FailedWriteKeepsTheOldFile) {
  dir.Write("offsets.bin", "1\r\n2");
  std::filesystem::create_directory(dir.Path() + "offsets.bin.tmp");
  EXPECT_FALSE(WriteOffsets(dir.Path(), ArrayOfDataType(8, 5)));
  EXPECT_EQ(dir.Read("offsets.bin"), "1\r\n2");
}

}  // namespace
