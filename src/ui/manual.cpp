#include "ui/manual.h"

#include <QDir>
#include <QFileInfo>

QString FindManual(const QString& executableDir, const QString& stationHelpFile) {
  const QDir exe(executableDir);
  const QString candidates[] = {
      exe.filePath(kManualFileName),
      exe.filePath(QString("../share/doc/velkor/") + kManualFileName),
      stationHelpFile,
  };
  for (const QString& path : candidates) {
    if (!path.isEmpty() && QFileInfo(path).isFile()) return QFileInfo(path).absoluteFilePath();
  }
  return {};
}
