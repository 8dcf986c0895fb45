#pragma once
// Station texts (log lines, INI values, panel fields, file names) are 8-bit
// Latin-1 everywhere below the window; this is the one place they meet Qt.
#include <QByteArray>
#include <QString>
#include <string>

inline QString Latin1(const std::string& s) {
  return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

// Characters outside Latin-1 become '?'.
inline std::string Latin1(const QString& s) {
  const QByteArray bytes = s.toLatin1();
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}
