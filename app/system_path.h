// A path as the core's file calls take it: UTF-8 on Windows, where they
// call the system's wide functions (names in any language reach the file),
// and the locale's file-name encoding elsewhere.
#pragma once

#include <QFile>
#include <QString>

#include <string>

inline std::string SystemPath(const QString& path) {
#ifdef _WIN32
  return path.toStdString();
#else
  return QFile::encodeName(path).toStdString();
#endif
}
