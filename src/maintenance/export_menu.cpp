#include "maintenance/export_menu.h"

ExportMenuChecks CheckExportMenu(ExportMenuChecks checks, ExportMenuItem item) {
  switch (item) {
    case ExportMenuItem::LogFile:
      checks.DeleteBackUpFolder = false;
      checks.LogFile = true;
      break;
    case ExportMenuItem::Triggers:
      checks.DeleteBackUpFolder = false;
      checks.Triggers = true;
      break;
    case ExportMenuItem::LongTimeData:
      checks.DeleteBackUpFolder = false;
      checks.LongTimeData = true;
      break;
    case ExportMenuItem::DeleteBackUpFolder:
      checks = {false, false, false, true};
      break;
  }
  return checks;
}
