#include "maintenance/backup_guard.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace {

// A station in <tmp>/station with its folders in the usual places, the
// trigger folder elsewhere; each case sets BackupDir (relative to <tmp>).
struct GuardCase {
  const char* legend;
  const char* backup;
  const char* refusedBecause;  // empty: may be deleted
  const char* logFile = "station/velkor.log";  // the log folder need not be the station's
};

class BackupGuardTest : public ::testing::TestWithParam<GuardCase> {
 protected:
  BackupGuardTest() {
    namespace fs = std::filesystem;
    station = tmp.Path("station/");
    for (const char* d : {"station/Data", "station/ASCII", "station/Backup", "trig/Triggers"})
      fs::create_directories(tmp.Path(d));
    fs::create_directory_symlink(tmp.Path("station/Data"), tmp.Path("link-to-data"));
    p.DataDir = station + "Data/";
    p.TrigDir = tmp.Path("trig/Triggers/");
    p.ASCIIDir = station + "ASCII/";
  }
  TempDir tmp;
  std::string station;
  TProgParam p;
};

TEST_P(BackupGuardTest, RefusesEveryFolderThatHoldsOrIsStationData) {
  const std::string folder = tmp.Path(GetParam().backup);
  p.LogFile = tmp.Path(GetParam().logFile);
  const std::string refusal = BackupDeletionRefusal(folder, p, station);
  if (*GetParam().refusedBecause == 0) {
    EXPECT_EQ(refusal, "");
  } else {
    EXPECT_NE(refusal.find(GetParam().refusedBecause), std::string::npos) << refusal;
    EXPECT_EQ(refusal.rfind("The backup folder ", 0), 0u) << refusal;
  }
}

INSTANTIATE_TEST_SUITE_P(Folders, BackupGuardTest, ::testing::Values(
    GuardCase{"default_backup", "station/Backup/", ""},
    GuardCase{"elsewhere", "trig/Backup", ""},
    GuardCase{"empty_is_the_station", "station/", "it is the station folder"},
    GuardCase{"dot", "station/.", "it is the station folder"},
    GuardCase{"climbing_back", "station/Backup/..", "it is the station folder"},
    GuardCase{"data", "station/Data/", "it is the data folder"},
    GuardCase{"inside_data", "station/Data/01", "lies inside the data folder"},
    GuardCase{"link_to_data", "link-to-data", "it is the data folder"},
    GuardCase{"ascii", "station/ASCII", "it is the ASCII folder"},
    GuardCase{"triggers", "trig/Triggers", "it is the trigger folder"},
    GuardCase{"around_triggers", "trig", "it contains the trigger folder"},
    GuardCase{"around_everything", "", "it contains the station folder"},
    GuardCase{"log_folder", "logs", "it is the log folder", "logs/velkor.log"}),
    [](const auto& info) { return std::string(info.param.legend); });

TEST(BackupQuestion, NamesTheFolderAndItsSize) {
  TempDir tmp;
  WriteFile(tmp.Path("a.zip"), std::string(1536, 'x'));
  std::filesystem::create_directory(tmp.Path("sub"));
  WriteFile(tmp.Path("sub/b.zip"), std::string(512, 'x'));
  const FolderSize size = MeasureFolder(tmp.Dir());
  EXPECT_EQ(size.Bytes, 2048u);
  EXPECT_EQ(size.Files, 2u);
  EXPECT_EQ(DeleteBackUpQuestion(tmp.Dir(), size),
            "Do you really want to delete backup folder?\n\n" + tmp.Dir().substr(0, tmp.Dir().size() - 1) +
                "\n2.0 kB in 2 files");
  EXPECT_EQ(FormatByteSize(3u << 20), "3.0 MB");
}

}  // namespace
