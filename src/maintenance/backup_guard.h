#pragma once
// "Delete BackUp Folder" removes a whole tree. A backup folder set to the
// station directory (BackupDir= empty), to a data folder or around one would
// take the INI, the log and the recordings with it: such a folder is refused.
#include <cstdint>
#include <string>
#include <vector>

#include "config/progparam.h"

struct ProtectedFolder {
  std::string Name;  // "station", "data", "trigger", "ASCII", "log"
  std::string Path;
};

// The station, data, trigger, ASCII and log folders of `p`.
std::vector<ProtectedFolder> ProtectedFolders(const TProgParam& p, const std::string& stationDir);

struct BackupConflict {
  std::string How;  // "is", "contains" or "lies inside"; empty: no conflict
  ProtectedFolder Folder;
};
// The first protected folder that forbids deleting `folder`, and how.
BackupConflict FindBackupConflict(const std::string& folder, const TProgParam& p, const std::string& stationDir);

// Empty when `folder` may be deleted; otherwise the sentence that says why
// not. Refused: a folder that is or contains a protected folder, or lies
// inside one other than the station directory (where the backup folder
// lives by default). Links and ".." are resolved before comparing.
std::string BackupDeletionRefusal(const std::string& folder, const TProgParam& p,
                                  const std::string& stationDir);

struct FolderSize {
  uint64_t Bytes = 0;
  uint64_t Files = 0;
};
// Regular files below `folder`, links not followed; a missing folder is empty.
FolderSize MeasureFolder(const std::string& folder);
// "12.3 MB", "512 bytes".
std::string FormatByteSize(uint64_t bytes);
// The confirmation question, naming the folder and its size.
std::string DeleteBackUpQuestion(const std::string& folder, const FolderSize& size);
