#include "maintenance/zip_export.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cstdio>
#include <cstring>
#include <system_error>

#include "platform/platform.h"

namespace fs = std::filesystem;

ExportLamp NextExportLamp(ExportLamp lamp, ExportLampStep step) {
  switch (step) {
    case ExportLampStep::Start:
      return {true, false};
    case ExportLampStep::Fail:
      return {true, true};
    case ExportLampStep::Off:
      return {false, lamp.red};
    case ExportLampStep::OffUnlessRed:
      return lamp.red ? lamp : ExportLamp{false, false};
  }
  return lamp;
}

namespace {

std::string Digits(int value, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", width, value);
  return buf;
}

std::string Yyyymmdd(TDateTime t) {
  const DateTimeParts p = DecodeDateTime(t);
  return Digits(p.year, 4) + Digits(p.month, 2) + Digits(p.day, 2);
}

std::string Yymmddhh(TDateTime t) {
  const DateTimeParts p = DecodeDateTime(t);
  return Digits(p.year % 100, 2) + Digits(p.month, 2) + Digits(p.day, 2) + Digits(p.hour, 2);
}

void Step(const ExportLampFn& lamp, ExportLampStep step) {
  if (lamp) lamp(step);
}

bool IsRoot(const std::string& path) {
  return !path.empty() && path.find_first_not_of('/') == std::string::npos;
}

bool SamePlace(const std::string& a, const std::string& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec);
}

}  // namespace

std::string WithTrailingSlash(const std::string& dir) {
  if (!dir.empty() && dir.back() == '/') return dir;
  return dir + "/";
}

std::string LogExportProposedName(const std::string& idStation, TDateTime nowUtc) {
  return idStation + Yyyymmdd(nowUtc);
}

std::string LogArchiveName(const std::string& chosen) { return chosen + ".zip"; }

std::string BackupLogName(const std::string& backupDir, TDateTime nowUtc) {
  return WithTrailingSlash(backupDir) + Yyyymmdd(nowUtc) + ".log";
}

std::string FreeBackupLogName(const std::string& backupDir, TDateTime nowUtc,
                              const std::function<bool(const std::string&)>& exists) {
  std::string name = BackupLogName(backupDir, nowUtc);
  const std::string stem = WithTrailingSlash(backupDir) + Yyyymmdd(nowUtc);
  for (int n = 1; exists(name); ++n) name = stem + "_" + std::to_string(n) + ".log";
  return name;
}

std::string ExportDestination(const std::string& chosenFile) {
  const size_t slash = chosenFile.rfind('/');
  if (slash == std::string::npos) return "./";
  return chosenFile.substr(0, slash + 1);
}

std::string ExportSource(const TProgParam& p, ExportSourceKind kind) {
  return WithTrailingSlash(kind == ExportSourceKind::Triggers ? p.TrigDir : p.DataDir);
}

std::string DataArchiveName(const std::string& destination, const std::string& fileName) {
  return WithTrailingSlash(destination) + fileName + ".zip";
}

bool IsFileStillWritten(const std::string& fileName, const std::string& idStation,
                        TDateTime nowUtc) {
  const std::string ending = "." + idStation;
  if (fileName.size() < 8 + ending.size() ||
      fileName.compare(fileName.size() - ending.size(), ending.size(), ending) != 0)
    return false;
  const std::string hour = fileName.substr(0, 8);
  return hour == Yymmddhh(nowUtc) || hour == Yymmddhh(AddMs(nowUtc, -15 * 60 * 1000));
}

EntryKind ClassifyEntry(const std::string& name, fs::file_status status) {
  if (name.empty() || name[0] == '.') return EntryKind::Other;
  if ((status.permissions() & fs::perms::owner_write) == fs::perms::none) return EntryKind::Other;
  if (status.type() == fs::file_type::directory) return EntryKind::Directory;
  if (status.type() == fs::file_type::regular) return EntryKind::File;
  return EntryKind::Other;
}

bool MakeDirectories(const std::string& path) {
  std::error_code ec;
  const fs::path p(WithTrailingSlash(path));
  fs::create_directories(p, ec);
  return fs::is_directory(p, ec);
}

bool AddFileToZip(const std::string& archive, const std::string& file,
                  const std::string& memberName, std::string& error) {
  int zerr = 0;
  zip_t* za = zip_open(archive.c_str(), ZIP_CREATE, &zerr);
  if (!za) {
    zip_error_t e;
    zip_error_init_with_code(&e, zerr);
    error = zip_error_strerror(&e);
    zip_error_fini(&e);
    return false;
  }
  // libzip reads the file only in zip_close below, so a lock the caller holds
  // around this call covers exactly the bytes packed.
  zip_source_t* src = zip_source_file(za, file.c_str(), 0, -1);
  if (!src) {
    error = zip_strerror(za);
    zip_discard(za);
    return false;
  }
  if (zip_file_add(za, memberName.c_str(), src, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
    error = zip_strerror(za);
    zip_source_free(src);
    zip_discard(za);
    return false;
  }
  // libzip writes a temporary file and renames it over the archive, so a
  // full disk leaves the previous archive (or none) rather than a torn one.
  if (zip_close(za) != 0) {
    error = zip_strerror(za);
    zip_discard(za);
    return false;
  }
  return true;
}

bool MoveFileNoReplace(const std::string& from, const std::string& to, std::string& error) {
  // link + unlink never replaces an existing target, unlike rename.
  if (::link(from.c_str(), to.c_str()) == 0) {
    if (::unlink(from.c_str()) == 0) return true;
    error = std::strerror(errno);
    ::unlink(to.c_str());
    return false;
  }
  const int linkErr = errno;
  if (linkErr != EXDEV && linkErr != EPERM && linkErr != ENOTSUP && linkErr != EMLINK) {
    error = std::strerror(linkErr);
    return false;
  }
  // Another file system: copy, then remove the original only once the copy is whole.
  std::error_code ec;
  if (fs::exists(fs::symlink_status(to, ec))) {
    error = "target exists";
    return false;
  }
  if (!fs::copy_file(from, to, fs::copy_options::none, ec)) {
    error = ec.message();
    fs::remove(to, ec);
    return false;
  }
  if (!fs::remove(from, ec)) {
    error = ec.message();
    fs::remove(to, ec);
    return false;
  }
  return true;
}

int RunExportLog(const TExportLogAsZipThread& job, std::mutex& logFileMutex, const Clock& clock,
                 WorkerHost& host, const ExportLampFn& lamp) {
  LowerThreadPriority();
  Step(lamp, ExportLampStep::Start);
  std::string message;
  bool failed = false;
  {
    std::lock_guard lock(logFileMutex);
    std::string error;
    const std::string member = fs::path(job.LogFile).filename().string();
    if (!AddFileToZip(job.ArchiveName, job.LogFile, member, error)) {
      // Nothing packed is still a failure the operator must see.
      message = "Err: Error saving log-file to: " + job.ArchiveName;
      failed = true;
    } else if (!MakeDirectories(job.BackupDir)) {
      message = "Err: Error saving log-file to: " + job.BackupDir;
      failed = true;
    } else {
      auto taken = [](const std::string& n) {
        std::error_code ec;
        return fs::exists(fs::symlink_status(n, ec));
      };
      const std::string target = FreeBackupLogName(job.BackupDir, clock.NowUtc(), taken);
      if (MoveFileNoReplace(job.LogFile, target, error)) {
        message = "Inf: Log-file was saved to: " + job.ArchiveName;
      } else {
        message = "Err: Error saving log-file to: " + job.ArchiveName;
        failed = true;
      }
    }
  }
  if (failed) Step(lamp, ExportLampStep::Fail);
  host.Log(message);
  Step(lamp, ExportLampStep::OffUnlessRed);
  return kLogExportFinished;
}

int ExportDirectory(const std::string& dir, const TExporDirAsZipThread& job, TDateTime nowUtc) {
  int errors = 0;
  const std::string d = WithTrailingSlash(dir);
  std::error_code ec;
  fs::directory_iterator it(d, ec);
  if (ec) return 1;  // an unreadable folder is one error, not a crash
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code sec;
    const EntryKind kind = ClassifyEntry(name, it->symlink_status(sec));
    if (sec) {
      ++errors;
      continue;
    }
    if (kind == EntryKind::Directory) {
      // Archives or backups kept inside the exported tree are not exported again.
      if (SamePlace(d + name, job.Destination) || SamePlace(d + name, job.BackupDir)) continue;
      errors += ExportDirectory(d + name + "/", job, nowUtc);
    } else if (kind == EntryKind::File) {
      if (IsFileStillWritten(name, job.IDStation, nowUtc)) continue;
      if (SamePlace(d, job.Destination) && name.ends_with(".zip")) continue;
      std::string error;
      // A file that cannot be packed is neither moved nor deleted.
      if (!AddFileToZip(DataArchiveName(job.Destination, name), d + name, name, error) ||
          !MakeDirectories(job.BackupDir) ||
          !MoveFileNoReplace(d + name, WithTrailingSlash(job.BackupDir) + name, error))
        ++errors;
    }
  }
  if (ec) ++errors;
  return errors;
}

int RunExportDir(const TExporDirAsZipThread& job, const Clock& clock, WorkerHost& host,
                 const ExportLampFn& lamp) {
  LowerThreadPriority();
  Step(lamp, ExportLampStep::Start);
  std::string message = "Inf: Data files from directory: " + job.Source + " " + "exported to" +
                        " " + job.Destination + " ";
  const int e = ExportDirectory(job.Source, job, clock.NowUtc());
  if (e > 0) {
    message += "with several errors: " + std::to_string(e) + ".";
    Step(lamp, ExportLampStep::Fail);
  } else {
    message += "succesfully.";
    Step(lamp, ExportLampStep::Off);
  }
  host.Log(message);
  return kZipExportDone;
}

bool DeleteFolder(const std::string& folder) {
  if (folder.empty() || IsRoot(folder)) return false;
  std::error_code ec;
  const fs::file_status self = fs::symlink_status(folder, ec);
  if (ec || self.type() != fs::file_type::directory) return false;
  bool ok = true;
  const std::string d = WithTrailingSlash(folder);
  fs::directory_iterator it(d, ec);
  if (ec) return false;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code sec;
    const fs::file_status st = it->symlink_status(sec);
    if (sec) {
      ok = false;
    } else if (st.type() == fs::file_type::directory) {
      ok = DeleteFolder(d + name) && ok;
    } else if (ClassifyEntry(name, st) == EntryKind::File) {
      if (!fs::remove(d + name, sec)) ok = false;
    }
  }
  if (ec) ok = false;
  if (::rmdir(folder.c_str()) != 0) ok = false;
  return ok;
}

int RunDeleteWholeFolder(const TDeleteWholeFolder& job, WorkerHost& host) {
  LowerThreadPriority();
  const bool ok = DeleteFolder(job.Folder);
  host.Log("Inf: Directory: " + job.Folder + " " +
           (ok ? "was deleted successfully." : "cannot be deleted or is already empty."));
  return kBackupFolderDeleted;
}

bool StartExportLog(WorkerHost& host, const Clock& clock, std::mutex& logFileMutex,
                    TExportLogAsZipThread job, ExportLampFn lamp) {
  return StartWorker(host, false, [&host, &clock, &logFileMutex, job = std::move(job),
                                   lamp = std::move(lamp)] {
    return RunExportLog(job, logFileMutex, clock, host, lamp);
  });
}

bool StartExportDir(WorkerHost& host, const Clock& clock, TExporDirAsZipThread job,
                    ExportLampFn lamp) {
  return StartWorker(host, false, [&host, &clock, job = std::move(job), lamp = std::move(lamp)] {
    return RunExportDir(job, clock, host, lamp);
  });
}

bool StartDeleteWholeFolder(WorkerHost& host, TDeleteWholeFolder job) {
  return StartWorker(host, false,
                     [&host, job = std::move(job)] { return RunDeleteWholeFolder(job, host); });
}
