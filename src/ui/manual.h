#pragma once
// Where Help → Manual finds the operator's manual.
#include <QString>

inline constexpr char kManualFileName[] = "manual.html";

// The first manual that exists: beside the executable (the build tree), in the
// installed documentation next to it, then the station's own copy
// (`stationHelpFile`, the station directory's docs/manual.html). Empty when
// there is none.
QString FindManual(const QString& executableDir, const QString& stationHelpFile);
