#pragma once
// The station controller: owns the station state, brings the station up and
// down in a fixed order, runs the 850 ms acquisition cycle and receives the
// thread-finished notifications of every worker. Views mirror it and forward
// the operator's actions; headless, it runs alone.
#include <QObject>
#include <QTimer>

#include <functional>
#include <vector>

#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "common/repeat_limiter.h"
#include "common/worker.h"
#include "config/loadini.h"
#include "config/progparam.h"
#include "platform/clock.h"
#include "platform/platform.h"
#include "station/event_log.h"
#include "station/indicators.h"
#include "maintenance/zip_export.h"
#include "messaging/dispatch.h"
#include "messaging/gsm_jobs.h"
#include "processing/conditioning.h"
#include "processing/trigger.h"
#include "station/station_state.h"
#include "storage/save_lock.h"
#include "storage/save_path.h"

class ADConverter;
class TPPSSync;
class CycleFilter;
class CycleAlarmDetector;
class MseedFeed;
class StationGps;
class StationGsm;

struct StationOptions {
  std::string ProgramDir;                // station directory, trailing '/'
  std::string ExecutableName = "velkor"; // file name of the running executable
  const Clock* clock = nullptr;          // defaults to the system clock
  // The clock that simulated GPS corrections move (simulated runs and tests).
  ManualClock* manualClock = nullptr;
  // Overrides the setter chosen by the GPS port (system clock only for a real
  // device on the host clock).
  ClockSetter* clockSetter = nullptr;
  // The real restarter is used only by a station on a real GPS device.
  Restarter* restarter = nullptr;        // defaults to a recording fake
  bool simulated = false;                // cycles driven by RunSimulated, not by a timer
  uint32_t converterSeed = 0;            // 0: seeded from the clock
  double converterDriftPpm = 0;          // sampling clock error of the simulated converter
  // Replaces the converter module (a hardware driver, or a test's script).
  std::function<std::unique_ptr<ADConverter>()> converterFactory;
};

constexpr int kCycleIntervalMs = 850;

class StationController : public QObject, public WorkerHost {
  Q_OBJECT
 public:
  explicit StationController(StationOptions options, QObject* parent = nullptr);
  ~StationController() override;

  // Start-up sequence; runs once.
  void FormCreate();
  // Close sequence; a second call does nothing.
  void FormClose();
  // End of the session (SIGTERM, SIGINT, the session manager): logs it and closes.
  void WMEndSession();
  void MenuSuspendClick();
  bool Suspended() const { return m_suspended; }
  // Runs on the main thread: the code's reaction, then the job counted down.
  void WMThreadFinished(int code, uint64_t threadId);
  void TimerTimer();

  void IndicateSaveLog(const std::string& message);

  // WorkerHost. Jobs run on detached threads and keep a reference to the
  // controller (GSM jobs also to its modem port and lock): it outlives them
  // because FormClose waits until every counted job has reported, within a
  // bound that jobs with time limits of their own stay inside, and the
  // process ends soon after the close. WorkerStarting and Log run on any thread.
  void WorkerStarting(bool saveThread) override;
  void PostThreadFinished(int code, uint64_t threadId) override;
  void Log(const std::string& message) override;

  const StationState& State() const { return m_state; }
  const TProgParam& Params() const { return m_params; }
  const ProgramFiles& Files() const { return m_files; }
  const Indicators& Lamps() const { return m_indicators; }
  const std::string& Title() const { return m_title; }
  const std::string& Caption() const { return m_caption; }
  bool TimerOn() const { return m_timerOn; }
  bool MenuSyncPCClockChecked() const { return m_menuSyncChecked; }
  bool GpsControlsEnabled() const { return m_gpsControlsEnabled; }
  bool GsmControlsEnabled() const { return m_gsmControlsEnabled; }
  bool TestButtonEnabled() const { return m_testButtonEnabled; }
  const Clock& StationClock() const { return *m_clock; }
  // The pulse handling of the GPS port; null when GPS/UpDateOn is off.
  TPPSSync* PPSSync();
  // "Set PC Time" and "Synchronize PC Clock".
  void BtnSetTimeClick();
  // "Test": a test message; "Signal": the GSM signal query.
  void BtnTestSMSClick();
  void BtnSignalClick();
  // Export menu, after the operator chose the target file: the log as a ZIP
  // archive, the trigger or continuous data tree file by file, the backup
  // folder deleted. Each runs as a counted job.
  void ExportLogClick(const std::string& chosenFile);
  void ExportDirClick(ExportSourceKind kind, const std::string& chosenFile);
  void DeleteBackUpFolderClick();
  bool GPSTimeValid() const;
  // µV per count of each channel (empty before start-up).
  const ArrayOfReal& ADGain() const;
  // The converter's model text shown in the caption.
  static std::string ConverterModelText();
  // The daily status text.
  std::string StatusText() const;
  // Display unit of the live view.
  void SetDisplayUnit(DisplayUnitKind unit) { m_displayUnit = unit; }
  DisplayUnitKind DisplayUnit() const { return m_displayUnit; }
  // Whether the live display may redraw (history closed, waveform window visible).
  void SetLiveViewVisible(bool visible) { m_liveViewVisible = visible; }

  void SetLed(LedId id, bool on);
  void SetLedColor(LedId id, LedColor color);
  void SetField(InfoField field, const std::string& text);
  // miniSEED records, SDS archive and SeedLink server; null when both are off.
  MseedFeed* Mseed() { return m_mseed.get(); }

  // Terminal window: the station closes its GPS port and keeps GSM jobs
  // waiting (both logged); true when the main GSM port is free for the
  // terminal. Resume gives both back.
  bool TerminalSuspend();
  void TerminalResume();
  bool GpsPortOpen() const;
  bool TerminalActive() const;

  // At start-up, after the parameter summary, the views switch to the
  // configured language; false when it has no translation (English stays).
  // Headless there is nothing to switch.
  std::function<bool(const std::string& language)> SwitchLanguage;

  // Derives the base name, title and file names from the executable name.
  static void DeriveNames(const std::string& executableName, std::string& title,
                          ProgramFiles& files);

  // What the window asks of the station; it reads State() and Params() but
  // never writes them.
  // The live view shows the filtered window; ignored without a loaded filter.
  void SetShowFiltered(bool shown);
  // Frozen, the live view keeps its picture while the cycles go on.
  void SetDisplayPaused(bool paused);
  // The parameters dialog saved the INI file: whether the offsets file is
  // kept at close follows its offset compensation box.
  void ApplySavedParameters(bool keepOffsetsFile);
  // Tests that must set up raw state (tests/support/station_test_access.h).
  friend struct StationTestAccess;

 signals:
  void logLine(const std::string& line);
  void messageBox(const std::string& text);
  void indicatorsChanged();
  void titleChanged(const std::string& title);
  // The cycle found HaltRequested: the window (or the headless runner) closes.
  void closeRequested();
  // A cycle changed the live picture; the caption is the log timestamp of the data end.
  void liveDataChanged(const std::string& caption);
  // A station message (start, daily) was handed to dispatch.
  void messageDispatched(const std::string& text);

 private:
  // The GPS and GSM wiring and the simulated-time driver work on the
  // controller's state and its main-thread operations.
  friend class StationGps;
  friend class StationGsm;
  friend void RunSimulated(StationController&, ManualClock&, int64_t,
                           const std::function<int64_t()>&);

  void SetTimerOn(bool on);
  // A cycle's time travels as Unix milliseconds of the station clock.
  void CycleBody(int64_t nowMs);
  void Acquire(int64_t nowMs);
  void PeriodicJobs(int64_t nowMs);
  void TimeValidityWatch(int64_t nowMs);
  void ContinuousSave(int64_t nowMs);
  void DailyMessage(int64_t nowMs);
  void AlarmAction(bool found, int64_t nowMs);
  void RunTrigger(int32_t newCount, int32_t k, int64_t nowMs);
  // Hands the text to the dispatcher (SMS and/or e-mail by the configuration).
  // The sender matters for quarry mode: true only for trigger messages.
  void SendMessage(const std::string& text, bool senderIsMainWindow = false);
  // The reaction to a thread's result code, without counting the thread down.
  void ReactToThreadCode(int code, uint64_t threadId);
  // Hands work from a port's event thread to the main thread, in order.
  void RunOnMainThread(std::function<void()> work);
  // Asks the save path for the span after LastSaveTime; false when there was nothing to save.
  enum class SaveResult { NoOutput, Empty, Saved };
  struct Peaks {
    double Z = 0, N = 0, E = 0;
  };
  SaveResult PrepareBufferForSave(TDateTime from, int maxSeconds, bool trigger = false,
                                  Peaks* peaks = nullptr);

  StationOptions m_options;
  std::unique_ptr<SystemClock> m_systemClock;
  std::unique_ptr<RecordingRestarter> m_fakeRestarter;
  const Clock* m_clock = nullptr;
  Restarter* m_restarter = nullptr;

  ProgramFiles m_files;
  TProgParam m_params;
  StationState m_state;
  Indicators m_indicators;
  std::unique_ptr<ADConverter> m_converter;
  std::unique_ptr<CycleFilter> m_filter;
  std::unique_ptr<CycleAlarmDetector> m_alarm;
  TriggerState m_trigger;
  std::unique_ptr<StationGps> m_gps;
  std::unique_ptr<StationGsm> m_gsm;
  std::string m_baseName = "velkor";
  ExportLamp m_exportLamp{};
  void StepExportLamp(ExportLampStep step);
  SaveLock m_saveLock;
  // Where continuous saving goes on in the output window.
  SaveContinuation m_saveContinuation;
  std::unique_ptr<EventLog> m_log;
  QTimer m_timer;
  bool m_timerOn = false;
  bool m_suspended = false;
  bool m_created = false;
  bool m_endLogged = false;
  bool m_menuSyncChecked = false;
  bool m_gpsControlsEnabled = true;
  bool m_gsmControlsEnabled = false;
  bool m_testButtonEnabled = true;
  bool m_liveViewVisible = false;
  std::string m_title = "velkor";
  std::string m_caption;
  DisplayUnitKind m_displayUnit = DisplayUnitKind::Counts;
  std::set<std::string> m_cycleErrorsLogged;
  std::unique_ptr<MseedFeed> m_mseed;
  void StartMseedFeed();

  // The host around the station (station_host.cpp): a bounded close, log
  // floods.
  void ArmStopDeadline();
  // Starts the close sequence's bound on its wait for the jobs.
  void ArmCloseWait();
  bool CloseWaitOver() const;
  void LogLimited(RepeatLimiter& limiter, const std::string& line);
  void LogCleared(RepeatLimiter& limiter);
  RepeatLimiter m_diskErrors{"Sav: Disk writes succeed again."};
  RepeatLimiter m_noData{"Sav: Data for save found again."};
  int64_t m_stopDeadlineMs = -1;   // steady clock
  int64_t m_closeWaitEndMs = -1;   // steady clock
};
