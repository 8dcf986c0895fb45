#pragma once
// The Export menu's check marks show which job was started last; the menu
// itself belongs to the window, the rule lives here.

enum class ExportMenuItem { LogFile, Triggers, LongTimeData, DeleteBackUpFolder };

struct ExportMenuChecks {
  bool LogFile = false, Triggers = false, LongTimeData = false, DeleteBackUpFolder = false;
  bool operator==(const ExportMenuChecks&) const = default;
};

// The marks after a confirmed start of `item`.
ExportMenuChecks CheckExportMenu(ExportMenuChecks checks, ExportMenuItem item);

inline constexpr const char* kDeleteBackUpQuestion = "Do you really want to delete backup folder?";
// Proposed by the data export's save dialog; only the chosen directory is used.
inline constexpr const char* kDirExportProposedName = "Export";
