#pragma once
// Emptying a full station disk: the log and the data files are packed into
// ZIP archives (one member each) and moved to the backup folder, which the
// operator deletes later. Every job runs on a worker thread, logs its own
// result line and reports with codes 92, 93 and 94.
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>

#include "common/datetime.h"
#include "common/thread_codes.h"
#include "common/worker.h"
#include "config/progparam.h"
#include "platform/clock.h"

// ---- LedExportData -----------------------------------------------------

// The lamp is shared by overlapping jobs, so it lives with the controller;
// jobs only send steps, and NextExportLamp is the one rule that applies them.
struct ExportLamp {
  bool on = false;
  bool red = false;  // green otherwise
  bool operator==(const ExportLamp&) const = default;
};
enum class ExportLampStep {
  Start,         // red turns green, otherwise switched on
  Fail,          // on, red
  Off,           // switched off
  OffUnlessRed,  // switched off unless it shows a failure
};
ExportLamp NextExportLamp(ExportLamp lamp, ExportLampStep step);
// Called on the worker thread; the controller hands the step to the main thread.
using ExportLampFn = std::function<void(ExportLampStep)>;

// ---- Names -------------------------------------------------------------

std::string WithTrailingSlash(const std::string& dir);
// Proposed by the save dialog of the log export: IDStation + 'yyyymmdd'.
std::string LogExportProposedName(const std::string& idStation, TDateTime nowUtc);
// The archive of the log export: the chosen name + ".zip".
std::string LogArchiveName(const std::string& chosen);
// BackupDir/'yyyymmdd'.log of the export's UTC day.
std::string BackupLogName(const std::string& backupDir, TDateTime nowUtc);
// A second export on the same day must not overwrite the first backup:
// 'yyyymmdd'.log, then 'yyyymmdd'_1.log, _2 … the first free one.
std::string FreeBackupLogName(const std::string& backupDir, TDateTime nowUtc,
                              const std::function<bool(const std::string&)>& exists);
// Only the directory of the file chosen in the save dialog is used, with "/".
std::string ExportDestination(const std::string& chosenFile);
enum class ExportSourceKind { Triggers, LongTimeData };
// TrigDir or DataDir with a trailing "/".
std::string ExportSource(const TProgParam& p, ExportSourceKind kind);
// destination + name + ".zip".
std::string DataArchiveName(const std::string& destination, const std::string& fileName);

// A file of the current UTC hour, or of the hour 15 minutes ago (a save may
// still be appending the last minutes of the previous hour), named
// 'yymmddhh'….IDStation, may still be written and is left for a later export.
bool IsFileStillWritten(const std::string& fileName, const std::string& idStation,
                        TDateTime nowUtc);

// What the walk does with a directory entry (status not following links).
// Directory: a plain, writable, visible directory; File: a plain, writable,
// visible regular file (what the station writes); Other: read-only, hidden
// (leading "."), links, devices… which are left alone.
enum class EntryKind { Directory, File, Other };
EntryKind ClassifyEntry(const std::string& name, std::filesystem::file_status status);

// ---- File operations (errors as results, never exceptions) -------------

// Every level of `path` exists or is created; false when one cannot be.
bool MakeDirectories(const std::string& path);
// Packs `file` as member `memberName` of `archive`, creating the archive or
// replacing a member of that name; false with `error` filled when it failed.
// A failed write leaves no half archive behind.
bool AddFileToZip(const std::string& archive, const std::string& file,
                  const std::string& memberName, std::string& error);
// Moves a file; never replaces an existing target; works across file systems.
bool MoveFileNoReplace(const std::string& from, const std::string& to, std::string& error);

// ---- Jobs --------------------------------------------------------------

struct TExportLogAsZipThread {
  std::string LogFile;      // the event log
  std::string ArchiveName;  // chosen name + ".zip"
  std::string BackupDir;
};
struct TExporDirAsZipThread {
  std::string Source;       // with trailing "/"
  std::string Destination;  // with trailing "/"
  std::string BackupDir;    // with trailing "/"
  std::string IDStation;    // to recognise the files still being written
};
struct TDeleteWholeFolder {
  std::string Folder;
};

// The bodies, run on the calling thread; each logs through host.Log and
// returns its thread-finished code. `logFileMutex` is the event log's file
// lock: held while the log is packed and moved, so neither a half-written
// line is packed nor a line appended between packing and moving is lost.
int RunExportLog(const TExportLogAsZipThread& job, std::mutex& logFileMutex, const Clock& clock,
                 WorkerHost& host, const ExportLampFn& lamp);
int RunExportDir(const TExporDirAsZipThread& job, const Clock& clock, WorkerHost& host,
                 const ExportLampFn& lamp);
int RunDeleteWholeFolder(const TDeleteWholeFolder& job, WorkerHost& host);

// Export of one directory tree; returns the number of errors.
int ExportDirectory(const std::string& dir, const TExporDirAsZipThread& job, TDateTime nowUtc);
// Removes the folder with every plain file and directory in it; true when
// the folder is gone. Refuses "" and "/". Never follows a link.
bool DeleteFolder(const std::string& folder);

// Start the jobs on worker threads (counted in PendingThreads). The host,
// clock and mutex must outlive the job: the close sequence waits for it.
bool StartExportLog(WorkerHost& host, const Clock& clock, std::mutex& logFileMutex,
                    TExportLogAsZipThread job, ExportLampFn lamp);
bool StartExportDir(WorkerHost& host, const Clock& clock, TExporDirAsZipThread job,
                    ExportLampFn lamp);
bool StartDeleteWholeFolder(WorkerHost& host, TDeleteWholeFolder job);
