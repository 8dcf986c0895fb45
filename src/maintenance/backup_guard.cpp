#include "maintenance/backup_guard.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "maintenance/export_menu.h"

namespace fs = std::filesystem;

namespace {

fs::path Normal(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(fs::path(path), ec);
  if (ec) p = fs::absolute(fs::path(path), ec).lexically_normal();
  std::string s = p.lexically_normal().string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return fs::path(s);
}

// True when `inner` is `outer` or lies below it.
bool Within(const fs::path& inner, const fs::path& outer) {
  auto i = inner.begin();
  for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
    if (o->empty()) continue;
    if (i == inner.end() || *i != *o) return false;
  }
  return true;
}

std::string WithoutSlash(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

}  // namespace

std::vector<ProtectedFolder> ProtectedFolders(const TProgParam& p, const std::string& stationDir) {
  return {{"station", stationDir},
          {"data", p.DataDir},
          {"trigger", p.TrigDir},
          {"ASCII", p.ASCIIDir},
          {"log", fs::path(p.LogFile).parent_path().string()}};
}

BackupConflict FindBackupConflict(const std::string& folder, const TProgParam& p, const std::string& stationDir) {
  const fs::path target = Normal(folder);
  const fs::path station = Normal(stationDir);
  for (const ProtectedFolder& f : ProtectedFolders(p, stationDir)) {
    if (f.Path.empty()) continue;
    const fs::path guarded = Normal(f.Path);
    if (target == guarded) return {"is", f};
    if (Within(guarded, target)) return {"contains", f};
    if (guarded != station && Within(target, guarded)) return {"lies inside", f};
  }
  return {};
}

std::string BackupDeletionRefusal(const std::string& folder, const TProgParam& p,
                                  const std::string& stationDir) {
  const BackupConflict c = FindBackupConflict(folder, p, stationDir);
  if (c.How.empty()) return "";
  return "The backup folder " + WithoutSlash(folder) + " is not deleted: it " + c.How + " the " + c.Folder.Name +
         " folder " + WithoutSlash(c.Folder.Path) + ".";
}

FolderSize MeasureFolder(const std::string& folder) {
  FolderSize size;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    std::error_code sec;
    if (it->is_symlink(sec) || !it->is_regular_file(sec)) continue;
    const uintmax_t n = it->file_size(sec);
    if (sec) continue;
    size.Bytes += n;
    ++size.Files;
  }
  return size;
}

std::string FormatByteSize(uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " bytes";
  const char* units[] = {"kB", "MB", "GB", "TB"};
  double v = static_cast<double>(bytes) / 1024.0;
  int u = 0;
  while (v >= 1024.0 && u < 3) {
    v /= 1024.0;
    ++u;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f %s", v, units[u]);
  return buf;
}

std::string DeleteBackUpQuestion(const std::string& folder, const FolderSize& size) {
  return std::string(kDeleteBackUpQuestion) + "\n\n" + WithoutSlash(folder) + "\n" +
         FormatByteSize(size.Bytes) + " in " + std::to_string(size.Files) +
         (size.Files == 1 ? " file" : " files");
}
