#include "maintenance/zip_export.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

#include <future>
#include <map>

#include "support/recording_host.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using Members = std::map<std::string, std::string>;
using Lines = std::vector<std::string>;

namespace {

// Every member of a ZIP archive with its content; empty when it cannot be read.
Members ReadZip(const std::string& archive) {
  Members members;
  int err = 0;
  zip_t* za = zip_open(archive.c_str(), ZIP_RDONLY, &err);
  if (!za) return members;
  for (zip_int64_t i = 0; i < zip_get_num_entries(za, 0); ++i) {
    zip_stat_t st;
    zip_stat_index(za, i, 0, &st);
    std::string data(st.size, '\0');
    zip_file_t* f = zip_fopen_index(za, i, 0);
    const zip_int64_t got = zip_fread(f, data.data(), data.size());
    zip_fclose(f);
    data.resize(got < 0 ? 0 : got);
    members[st.name] = data;
  }
  zip_discard(za);
  return members;
}

std::string Binary(size_t n, unsigned seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + seed * 7) ^ (i >> 3));
  return s;
}

struct LampRecorder {
  std::mutex mutex;
  ExportLamp lamp;
  ExportLampFn Fn() {
    return [this](ExportLampStep s) {
      std::lock_guard lock(mutex);
      lamp = NextExportLamp(lamp, s);
    };
  }
};

const TDateTime kNow = EncodeDateTime(2026, 12, 5, 14, 3, 27);

}  // namespace

TEST(ZipNames, ArchivesAndBackupsAreNamedByTheUtcDay) {
  TProgParam p;
  p.DataDir = "/st/data";
  p.TrigDir = "/st/trig/";
  const std::vector<std::string> taken = {"/b/20261205.log", "/b/20261205_1.log"};
  auto exists = [&](const std::string& n) { return std::find(taken.begin(), taken.end(), n) != taken.end(); };
  const std::pair<std::string, std::string> rows[] = {
      {LogExportProposedName("KRB", kNow), "KRB20261205"},
      {BackupLogName("/st/backup/", EncodeDateTime(2027, 1, 1, 0, 0, 30)), "/st/backup/20270101.log"},
      // A second backup of the day does not overwrite the first.
      {FreeBackupLogName("/b", kNow, exists), "/b/20261205_2.log"},
      {ExportDestination("/media/usb/Export"), "/media/usb/"},
      {ExportDestination("Export"), "./"},
      {ExportSource(p, ExportSourceKind::LongTimeData), "/st/data/"},
      {ExportSource(p, ExportSourceKind::Triggers), "/st/trig/"}};
  for (const auto& [name, expected] : rows) EXPECT_EQ(name, expected);
}

// The current and the just-ended hour's files may still be written.
TEST(ZipNames, StillWrittenFilesAreLeft) {
  const TDateTime at1410 = EncodeDateTime(2026, 12, 5, 14, 10, 0);
  const struct { const char* name; TDateTime now; bool expected; } rows[] = {
      {"26120514.KRB", at1410, true},   // current hourly file
      {"26120514a.KRB", at1410, true},  // current twenty-minute file
      {"26120513c.KRB", at1410, true},  // the hour ended ten minutes ago
      {"26120512.KRB", at1410, false},
      {"261205140105.KRB", at1410, true},  // trigger of the current hour
      {"26120514.XYZ", at1410, false},     // another station
      {"KRB", at1410, false},
      {"26120513.KRB", EncodeDateTime(2026, 12, 5, 14, 16), false},  // 15 minutes past
      {"26120423.KRB", EncodeDateTime(2026, 12, 5, 0, 5), true}};    // the day before
  for (const auto& r : rows) EXPECT_EQ(IsFileStillWritten(r.name, "KRB", r.now), r.expected) << r.name;
}

// The jobs' own tests see green end dark and a failure stay red.
TEST(ExportLampRule, ANewExportClearsTheRedAndOffPutsItOut) {
  const ExportLamp red{true, true};
  EXPECT_EQ(NextExportLamp(red, ExportLampStep::Start), (ExportLamp{true, false}));
  EXPECT_FALSE(NextExportLamp(red, ExportLampStep::Off).on);
}

TEST(ZipArchive, MemberReadsBackEqualAndIsReplacedOnRepack) {
  TempDir tmp;
  const std::string data = Binary(200'000, 1);  // beyond any single buffer
  WriteFile(tmp.Path("a.bin"), data);
  std::string error;
  ASSERT_TRUE(AddFileToZip(tmp.Path("a.zip"), tmp.Path("a.bin"), "a.bin", error)) << error;
  EXPECT_EQ(ReadZip(tmp.Path("a.zip")), (Members{{"a.bin", data}}));
  WriteFile(tmp.Path("a.bin"), "new");
  ASSERT_TRUE(AddFileToZip(tmp.Path("a.zip"), tmp.Path("a.bin"), "a.bin", error)) << error;
  EXPECT_EQ(ReadZip(tmp.Path("a.zip"))["a.bin"], "new");
}

TEST(ZipArchive, MoveNeverReplacesATarget) {
  TempDir tmp;
  WriteFile(tmp.Path("a"), "A");
  WriteFile(tmp.Path("b"), "B");
  std::string error;
  EXPECT_FALSE(MoveFileNoReplace(tmp.Path("a"), tmp.Path("b"), error));
  EXPECT_EQ(ReadFile(tmp.Path("a")), "A");
  EXPECT_EQ(ReadFile(tmp.Path("b")), "B");
  EXPECT_TRUE(MoveFileNoReplace(tmp.Path("a"), tmp.Path("c"), error)) << error;
  EXPECT_FALSE(fs::exists(tmp.Path("a")));
  EXPECT_EQ(ReadFile(tmp.Path("c")), "A");
}

class DirExport : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(m_tmp.Path("data/12/04"));
    fs::create_directories(m_tmp.Path("data/12/05"));
    fs::create_directories(m_tmp.Path("dest"));
    m_files = {{"12/04/26120410.KRB", Binary(5000, 2)}, {"12/04/26120411.KRB", Binary(7000, 3)},
               {"12/05/26120509.KRB", Binary(100, 4)}};
    for (auto& [rel, data] : m_files) WriteFile(m_tmp.Path("data/" + rel), data);
    m_job = {m_tmp.Path("data/"), m_tmp.Path("dest/"), m_tmp.Path("backup/"), "KRB"};
    m_clock.Set(kNow);
  }
  TempDir m_tmp;
  Members m_files;
  TExporDirAsZipThread m_job;
  ManualClock m_clock;
  RecordingHost m_host;
  LampRecorder m_lamp;
};

TEST_F(DirExport, TreeIsPackedFlatMovedToBackupAndLeftEmpty) {
  EXPECT_EQ(RunExportDir(m_job, m_clock, m_host, m_lamp.Fn()), kZipExportDone);
  for (auto& [rel, data] : m_files) {
    const std::string name = fs::path(rel).filename().string();
    EXPECT_EQ(ReadZip(m_tmp.Path("dest/" + name + ".zip")), (Members{{name, data}}));
    EXPECT_EQ(ReadFile(m_tmp.Path("backup/" + name)), data);
    EXPECT_FALSE(fs::exists(m_tmp.Path("data/" + rel)));
  }
  EXPECT_TRUE(fs::is_empty(m_tmp.Path("data/12/04")));
  EXPECT_TRUE(fs::is_empty(m_tmp.Path("data/12/05")));
  EXPECT_EQ(m_host.LogLines(), Lines{"Inf: Data files from directory: " + m_job.Source + " exported to " +
                                     m_job.Destination + " succesfully."});
  EXPECT_FALSE(m_lamp.lamp.on);
}

// Read-only, hidden and current files stay; a link is not followed.
TEST_F(DirExport, FilesTheStationDidNotFinishStayWithoutError) {
  WriteFile(m_tmp.Path("data/12/05/26120514.KRB"), "being written");
  ::chmod(m_tmp.Path("data/12/04/26120410.KRB").c_str(), 0444);
  WriteFile(m_tmp.Path("data/.26120408.KRB"), "hidden");
  fs::create_directories(m_tmp.Path("outside"));
  WriteFile(m_tmp.Path("outside/26120407.KRB"), "elsewhere");
  fs::create_directory_symlink(m_tmp.Path("outside"), m_tmp.Path("data/link"));
  EXPECT_EQ(ExportDirectory(m_job.Source, m_job, kNow), 0);
  for (const char* kept : {"data/12/05/26120514.KRB", "data/12/04/26120410.KRB", "data/.26120408.KRB",
                           "outside/26120407.KRB"})
    EXPECT_TRUE(fs::exists(m_tmp.Path(kept))) << kept;
  EXPECT_EQ(std::distance(fs::directory_iterator(m_tmp.Path("dest")), fs::directory_iterator()), 2);
  EXPECT_TRUE(fs::exists(m_tmp.Path("dest/26120411.KRB.zip")));
  EXPECT_TRUE(fs::exists(m_tmp.Path("backup/26120411.KRB")));
}

TEST_F(DirExport, BackupThatCannotBeMadeCountsOneErrorPerFileAndKeepsThem) {
  WriteFile(m_tmp.Path("blocker"), "a file where the backup folder should be");
  m_job.BackupDir = m_tmp.Path("blocker/backup/");
  RunExportDir(m_job, m_clock, m_host, m_lamp.Fn());
  for (auto& [rel, data] : m_files) EXPECT_EQ(ReadFile(m_tmp.Path("data/" + rel)), data);
  ASSERT_EQ(m_host.LogLines().size(), 1u);
  EXPECT_TRUE(m_host.LogLines()[0].ends_with(" with several errors: 3.")) << m_host.LogLines()[0];
  EXPECT_EQ(m_lamp.lamp, (ExportLamp{true, true}));
}

// A missing source is one error.
TEST_F(DirExport, DestinationThatCannotBeWrittenKeepsTheFiles) {
  m_job.Destination = m_tmp.Path("no/such/dest/");
  EXPECT_EQ(ExportDirectory(m_job.Source, m_job, kNow), 3);
  for (auto& [rel, data] : m_files) EXPECT_EQ(ReadFile(m_tmp.Path("data/" + rel)), data);
  EXPECT_FALSE(fs::exists(m_tmp.Path("backup")));
  m_job.Source = m_tmp.Path("nothing/");
  EXPECT_EQ(ExportDirectory(m_job.Source, m_job, kNow), 1);
}

TEST_F(DirExport, DestinationInsideTheSourceIsNotExportedAgain) {
  fs::create_directories(m_tmp.Path("data/out"));
  m_job.Destination = m_tmp.Path("data/out/");
  m_job.BackupDir = m_tmp.Path("data/bak/");
  EXPECT_EQ(ExportDirectory(m_job.Source, m_job, kNow), 0);
  EXPECT_EQ(std::distance(fs::directory_iterator(m_tmp.Path("data/out")), fs::directory_iterator()), 3);
  EXPECT_EQ(std::distance(fs::directory_iterator(m_tmp.Path("data/bak")), fs::directory_iterator()), 3);
}

class LogExport : public testing::Test {
 protected:
  void SetUp() override {
    WriteFile(m_tmp.Path("velkor.log"), m_log);
    m_job = {m_tmp.Path("velkor.log"), m_tmp.Path("KRB20261205.zip"), m_tmp.Path("backup")};
    m_clock.Set(kNow);
  }
  TempDir m_tmp;
  std::string m_log = "05.12.2026 14:00:00.000 Inf: start\r\n05.12.2026 14:01:00.000 Inf: x\r\n";
  TExportLogAsZipThread m_job;
  ManualClock m_clock;
  std::mutex m_fileMutex;
  RecordingHost m_host;
  LampRecorder m_lamp;
};

TEST_F(LogExport, PacksTheLogAndMovesItToTheBackupOfTheDay) {
  EXPECT_EQ(RunExportLog(m_job, m_fileMutex, m_clock, m_host, m_lamp.Fn()), kLogExportFinished);
  EXPECT_EQ(ReadZip(m_job.ArchiveName), (Members{{"velkor.log", m_log}}));
  EXPECT_EQ(ReadFile(m_tmp.Path("backup/20261205.log")), m_log);
  EXPECT_FALSE(fs::exists(m_job.LogFile));
  EXPECT_EQ(m_host.LogLines(), Lines{"Inf: Log-file was saved to: " + m_job.ArchiveName});
  EXPECT_FALSE(m_lamp.lamp.on);
}

TEST_F(LogExport, JustAfterMidnightTheBackupIsNamedByTheNewDayAndNeverOverwritten) {
  m_clock.Set(EncodeDateTime(2026, 12, 6, 0, 0, 30));
  fs::create_directories(m_tmp.Path("backup"));
  WriteFile(m_tmp.Path("backup/20261206.log"), "earlier export");
  RunExportLog(m_job, m_fileMutex, m_clock, m_host, m_lamp.Fn());
  EXPECT_EQ(ReadFile(m_tmp.Path("backup/20261206.log")), "earlier export");
  EXPECT_EQ(ReadFile(m_tmp.Path("backup/20261206_1.log")), m_log);
}

TEST_F(LogExport, BackupThatCannotBeMadeKeepsTheLogAndTurnsRed) {
  WriteFile(m_tmp.Path("blocker"), "");
  m_job.BackupDir = m_tmp.Path("blocker/b");
  RunExportLog(m_job, m_fileMutex, m_clock, m_host, m_lamp.Fn());
  EXPECT_EQ(ReadFile(m_job.LogFile), m_log);
  EXPECT_EQ(m_host.LogLines(), Lines{"Err: Error saving log-file to: " + m_job.BackupDir});
  EXPECT_EQ(m_lamp.lamp, (ExportLamp{true, true}));
}

TEST_F(LogExport, MissingLogIsReportedNotSilent) {
  fs::remove(m_job.LogFile);
  RunExportLog(m_job, m_fileMutex, m_clock, m_host, m_lamp.Fn());
  EXPECT_EQ(m_host.LogLines(), Lines{"Err: Error saving log-file to: " + m_job.ArchiveName});
  EXPECT_FALSE(fs::exists(m_tmp.Path("backup")));
  EXPECT_EQ(m_lamp.lamp, (ExportLamp{true, true}));
}

TEST_F(LogExport, WorkerWaitsForTheLogLockAndPosts92) {
  std::promise<void> started;
  ExportLampFn lamp = [&](ExportLampStep step) {
    if (step == ExportLampStep::Start) started.set_value();
  };
  std::unique_lock held(m_fileMutex);
  ASSERT_TRUE(StartExportLog(m_host, m_clock, m_fileMutex, m_job, lamp));
  EXPECT_EQ(started.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
  // The job is running but must not pack or move the log while a line is
  // being appended under the lock.
  std::ofstream(m_job.LogFile, std::ios::app | std::ios::binary) << "05.12.2026 14:02:00.000 Inf: late\r\n";
  EXPECT_TRUE(fs::exists(m_job.LogFile));
  held.unlock();
  EXPECT_EQ(m_host.WaitForCodes(1), std::vector<int>{kLogExportFinished});
  EXPECT_EQ(ReadZip(m_job.ArchiveName)["velkor.log"], m_log + "05.12.2026 14:02:00.000 Inf: late\r\n");
  EXPECT_FALSE(fs::exists(m_job.LogFile));
}

TEST(BackupDeletion, RemovesTheWholeTree) {
  TempDir tmp;
  fs::create_directories(tmp.Path("backup/sub/deeper"));
  WriteFile(tmp.Path("backup/20261205.log"), "x");
  WriteFile(tmp.Path("backup/sub/deeper/26120410.KRB"), "y");
  RecordingHost host;
  ASSERT_TRUE(StartDeleteWholeFolder(host, {tmp.Path("backup")}));
  EXPECT_EQ(host.WaitForCodes(1), std::vector<int>{kBackupFolderDeleted});
  EXPECT_FALSE(fs::exists(tmp.Path("backup")));
  EXPECT_EQ(host.LogLines(), Lines{"Inf: Directory: " + tmp.Path("backup") + " was deleted successfully."});
}

// A read-only file stays and is reported; a link is not followed out of the folder.
TEST(BackupDeletion, WhatMayNotBeDeletedStays) {
  TempDir tmp;
  fs::create_directories(tmp.Path("backup"));
  fs::create_directories(tmp.Path("outside"));
  WriteFile(tmp.Path("outside/precious"), "p");
  fs::create_directory_symlink(tmp.Path("outside"), tmp.Path("backup/link"));
  WriteFile(tmp.Path("backup/keep.KRB"), "k");
  WriteFile(tmp.Path("backup/gone.KRB"), "g");
  ::chmod(tmp.Path("backup/keep.KRB").c_str(), 0444);
  RecordingHost host;
  RunDeleteWholeFolder({tmp.Path("backup")}, host);
  EXPECT_TRUE(fs::exists(tmp.Path("backup/keep.KRB")));
  EXPECT_FALSE(fs::exists(tmp.Path("backup/gone.KRB")));
  EXPECT_EQ(ReadFile(tmp.Path("outside/precious")), "p");
  EXPECT_EQ(host.LogLines(), Lines{"Inf: Directory: " + tmp.Path("backup") +
                                         " cannot be deleted or is already empty."});
  fs::remove(tmp.Path("backup/keep.KRB"));
  EXPECT_FALSE(DeleteFolder(tmp.Path("backup"))) << "the link alone keeps the folder";
  EXPECT_EQ(ReadFile(tmp.Path("outside/precious")), "p");
  EXPECT_FALSE(DeleteFolder(""));
  EXPECT_FALSE(DeleteFolder(tmp.Path("never-made")));
}
