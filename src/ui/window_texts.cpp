// Captions, titles and hints of the windows that exist before the language is
// known. RetranslateWindow looks them up in their window's context; listing
// them here keeps them in the translation sources that lupdate writes.
#include <QtGlobal>

namespace {

[[maybe_unused]] const char* const kMainFormTexts[] = {
    QT_TRANSLATE_NOOP("TMainForm", "Export"),
    QT_TRANSLATE_NOOP("TMainForm", "Log File"),
    QT_TRANSLATE_NOOP("TMainForm", "Triggers"),
    QT_TRANSLATE_NOOP("TMainForm", "Long Time Data"),
    QT_TRANSLATE_NOOP("TMainForm", "Delete BackUp Folder"),
    QT_TRANSLATE_NOOP("TMainForm", "&General"),
    QT_TRANSLATE_NOOP("TMainForm", "View Actual Measurement"),
    QT_TRANSLATE_NOOP("TMainForm", "View History"),
    QT_TRANSLATE_NOOP("TMainForm", "View Station Information"),
    QT_TRANSLATE_NOOP("TMainForm", "Synchronize PC Clock"),
    QT_TRANSLATE_NOOP("TMainForm", "&Options"),
    QT_TRANSLATE_NOOP("TMainForm", "Parametres"),
    QT_TRANSLATE_NOOP("TMainForm", "View log"),
    QT_TRANSLATE_NOOP("TMainForm", "Terminal"),
    QT_TRANSLATE_NOOP("TMainForm", "Suspend"),
    QT_TRANSLATE_NOOP("TMainForm", "&Help"),
    QT_TRANSLATE_NOOP("TMainForm", "Manual"),
    QT_TRANSLATE_NOOP("TMainForm", "About"),
    QT_TRANSLATE_NOOP("TMainForm", "Close"),
    QT_TRANSLATE_NOOP("TMainForm", "&Actual Measurement >"),
    QT_TRANSLATE_NOOP("TMainForm", "&History >"),
    QT_TRANSLATE_NOOP("TMainForm", "&Info >"),
    QT_TRANSLATE_NOOP("TMainForm", "Information Panel "),
    QT_TRANSLATE_NOOP("TMainForm", "History Control Panel "),
    QT_TRANSLATE_NOOP("TMainForm", "Actual Measurement Control Panel "),
    QT_TRANSLATE_NOOP("TMainForm", "Set PC &Time"),
    QT_TRANSLATE_NOOP("TMainForm", "Force Computer Clock Sychronization"),
    QT_TRANSLATE_NOOP("TMainForm", "Test"),
    QT_TRANSLATE_NOOP("TMainForm", "Send Test Message"),
    QT_TRANSLATE_NOOP("TMainForm", "Signal"),
    QT_TRANSLATE_NOOP("TMainForm", "Scan GSM Signal Intensity"),
    QT_TRANSLATE_NOOP("TMainForm", "&< Previous"),
    QT_TRANSLATE_NOOP("TMainForm", "Next &>"),
    QT_TRANSLATE_NOOP("TMainForm", "Date And Time Currently Displayed Data"),
    QT_TRANSLATE_NOOP("TMainForm", "Number Of Visible Read Periods"),
    QT_TRANSLATE_NOOP("TMainForm", "&Norm"),
    QT_TRANSLATE_NOOP("TMainForm", "T&rigger"),
    QT_TRANSLATE_NOOP("TMainForm", "Email"),
    QT_TRANSLATE_NOOP("TMainForm", "Print"),
    QT_TRANSLATE_NOOP("TMainForm", "Channel &0"),
    QT_TRANSLATE_NOOP("TMainForm", "Channel &1"),
    QT_TRANSLATE_NOOP("TMainForm", "Channel &2"),
    QT_TRANSLATE_NOOP("TMainForm", "Channel &3"),
    QT_TRANSLATE_NOOP("TMainForm", "Channel &4"),
    QT_TRANSLATE_NOOP("TMainForm", "Channel &5"),
    QT_TRANSLATE_NOOP("TMainForm", "Channel &6"),
    QT_TRANSLATE_NOOP("TMainForm", "Channel &7"),
    QT_TRANSLATE_NOOP("TMainForm", "On/Off Channel"),
    QT_TRANSLATE_NOOP("TMainForm", "&Filtered"),
    QT_TRANSLATE_NOOP("TMainForm", "Display Filtered Data"),
    QT_TRANSLATE_NOOP("TMainForm", "Freeze Current Wave Window"),
    QT_TRANSLATE_NOOP("TMainForm", "&counts"),
    // Lamps.
    QT_TRANSLATE_NOOP("TMainForm", "GPS Pulse Per Second Indication"),
    QT_TRANSLATE_NOOP("TMainForm", "Valid Time Indication"),
    QT_TRANSLATE_NOOP("TMainForm", "A/D Card Status Indication"),
    QT_TRANSLATE_NOOP("TMainForm", "Hard Disk Write Error"),
    QT_TRANSLATE_NOOP("TMainForm", "Alarm Indication"),
    QT_TRANSLATE_NOOP("TMainForm", "Computer Clock Sync. Request"),
    QT_TRANSLATE_NOOP("TMainForm", "Trigger Detection Indicator"),
    QT_TRANSLATE_NOOP("TMainForm", "Data Exporting Indication"),
    // Information fields.
    QT_TRANSLATE_NOOP("TMainForm", "Local time:"),
    QT_TRANSLATE_NOOP("TMainForm", "Difference:"),
    QT_TRANSLATE_NOOP("TMainForm", "Local date:"),
    QT_TRANSLATE_NOOP("TMainForm", "GPS date:"),
    QT_TRANSLATE_NOOP("TMainForm", "GPS time:"),
    QT_TRANSLATE_NOOP("TMainForm", "Latitude:"),
    QT_TRANSLATE_NOOP("TMainForm", "Longitude:"),
    QT_TRANSLATE_NOOP("TMainForm", "Altitude:"),
    QT_TRANSLATE_NOOP("TMainForm", "Samples:"),
    QT_TRANSLATE_NOOP("TMainForm", "Time Tag:"),
    QT_TRANSLATE_NOOP("TMainForm", "GSM PIN:"),
    QT_TRANSLATE_NOOP("TMainForm", "Signal:"),
};

// Messages of the history reader, translated when shown.
[[maybe_unused]] const char* const kHistoryMessages[] = {
    QT_TRANSLATE_NOOP("TMainForm", "No later trigger file."),
    QT_TRANSLATE_NOOP("TMainForm", "No earlier trigger file."),
};

[[maybe_unused]] const char* const kLogViewTexts[] = {
    QT_TRANSLATE_NOOP("TLogViewForm", "Log File View"),
    QT_TRANSLATE_NOOP("TLogViewForm", "Pause"),
    QT_TRANSLATE_NOOP("TLogViewForm", "Back"),
};

}  // namespace
