#pragma once
// Every code a worker posts with the thread-finished notification. The
// numbers are the notification's values: peers and logs know them, so they
// never change. What the station does with each is the controller's table
// (StationController::WMThreadFinished).
enum ThreadCode : int {
  // Signal job: 0 no signal or module error; a negative code is minus the
  // signal in percent of the maximum.
  kCodeNoSignal = 0,
  // SMS job.
  kCodeSMSSent = 1,
  kCodeSMSNotSent = 2,
  // PIN job: 3/4 interim, then 5/6, or 7 when the SIM refused the PIN.
  kCodePINOK = 3,
  kCodePINError = 4,
  kCodeModemActivated = 5,
  kCodeModemActivationError = 6,
  kCodePINRefused = 7,
  // Event log line appended / not written.
  kLogAppended = 11,
  kLogFailed = 12,
  // Mail script: not written, the mail command took the mail, it failed.
  kCodeScriptWriteError = 18,
  kCodeScriptRun = 19,
  kCodeScriptRunError = 20,
  // Save writer of one segment (counted in PendingSaveThreads).
  kSaveWriterOkCode = 31,
  kSaveWriterFailedCode = 32,
  // Save job: done, or a trigger file written while continuous recording is on.
  kSaveJobDoneCode = 90,
  kSaveJobTriggerCode = 91,
  // Exports and the backup folder's deletion.
  kLogExportFinished = 92,
  kZipExportDone = 93,
  kBackupFolderDeleted = 94,
  // A job that threw or could not start.
  kJobFailedCode = 99,
};
