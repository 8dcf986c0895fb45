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
class TComPort;
class TComLed;
class TPPSSync;
class GPSTextPort;
struct TPPSEffect;
class CycleFilter;
class CycleAlarmDetector;
class MseedFeed;

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
  void WMThreadFinished(int code, uint64_t threadId);
  void TimerTimer();

  void IndicateSaveLog(const std::string& message);

  // WorkerHost
  void WorkerStarting(bool saveThread) override;
  void PostThreadFinished(int code, uint64_t threadId) override;
  void Log(const std::string& message) override;

  // Runs cycles back to back on a manual clock, 1000 ms of station time per
  // cycle (or as many as `intervalMs` gives before each next cycle, like the
  // timer and the scheduler of a real computer), for `seconds` of station
  // time, then closes.
  void RunSimulated(ManualClock& clock, int64_t seconds,
                    const std::function<int64_t()>& intervalMs = {});

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
  TPPSSync* PPSSync() { return m_ppsSync.get(); }
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
  bool TerminalActive() const { return m_modemLock.TerminalActive(); }

  // Start-up step 8: the views switch to the configured language; false when
  // it has no translation (English stays). Headless there is nothing to switch.
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
  void SetTimerOn(bool on);
  void CycleBody(TDateTime now);
  void Acquire(TDateTime now);
  void PeriodicJobs(TDateTime now);
  void TimeValidityWatch(TDateTime now);
  void ContinuousSave(TDateTime now);
  void DailyMessage(TDateTime now);
  void SignalQuery(TDateTime now);
  void AlarmAction(bool found, TDateTime now);
  void RunTrigger(int32_t newCount, int32_t k, TDateTime now);
  // Hands the text to the dispatcher (SMS and/or e-mail by the configuration).
  // The sender matters for quarry mode: true only for trigger messages.
  void SendMessage(const std::string& text, bool senderIsMainWindow = false);
  bool StartPINthread();
  GsmLink GsmLinkOf();
  void CreateDispatcher();
  // The reaction to a thread's result code, without counting the thread down.
  void ReactToThreadCode(int code, uint64_t threadId);
  bool OpenGpsPort();
  void CloseGpsPort();
  void ApplyPPSEffects(const std::vector<TPPSEffect>& effects);
  // Hands work from a port's event thread to the main thread, in order.
  void RunOnMainThread(std::function<void()> work);
  void CloseGsmPort();
  // Asks the save path for the span after LastSaveTime; false when there was nothing to save.
  enum class SaveResult { NoOutput, Empty, Saved };
  struct Peaks {
    double Z = 0, N = 0, E = 0;
  };
  SaveResult PrepareBufferForSave(TDateTime from, int maxSeconds, bool trigger = false,
                                  Peaks* peaks = nullptr);

  StationOptions m_options;
  std::unique_ptr<SystemClock> m_systemClock;
  std::unique_ptr<RecordingClockSetter> m_fakeSetter;
  std::unique_ptr<RecordingRestarter> m_fakeRestarter;
  const Clock* m_clock = nullptr;
  ClockSetter* m_clockSetter = nullptr;
  Restarter* m_restarter = nullptr;

  ProgramFiles m_files;
  TProgParam m_params;
  StationState m_state;
  Indicators m_indicators;
  std::unique_ptr<ADConverter> m_converter;
  std::unique_ptr<CycleFilter> m_filter;
  std::unique_ptr<CycleAlarmDetector> m_alarm;
  TriggerState m_trigger;
  std::unique_ptr<TComPort> m_gpsPort;
  std::unique_ptr<TComPort> m_gsmPort;
  ModemLock m_modemLock;
  std::shared_ptr<GsmSession> m_gsmSession;
  std::unique_ptr<MessageDispatcher> m_dispatcher;
  std::string m_baseName = "velkor";
  ExportLamp m_exportLamp{};
  void StepExportLamp(ExportLampStep step);
  std::unique_ptr<TComLed> m_ppsLed;
  std::unique_ptr<GPSTextPort> m_gpsText;
  std::unique_ptr<ClockSetter> m_gpsClockSetter;
  std::unique_ptr<TPPSSync> m_ppsSync;
  bool m_terminalGpsWasOpen = false;
  SaveLock m_saveLock;
  // Where continuous saving goes on in the output window.
  SaveContinuation m_saveContinuation;
  std::unique_ptr<EventLog> m_log;
  std::mutex m_counterLock;
  std::mutex m_acquisitionLock;
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

  // The host around the station (station_host.cpp): a bounded close after a
  // request to stop, log floods, ports that vanish and come back.
  void ArmStopDeadline();
  bool PastStopDeadline() const;
  void LogLimited(RepeatLimiter& limiter, const std::string& line);
  void LogCleared(RepeatLimiter& limiter);
  void OnGpsPortError(const std::string& text);
  void RetryLostPorts(TDateTime now);
  void OnGsmPortOpened(bool opened, const std::string& error);
  bool m_gsmLost = false;
  RepeatLimiter m_diskErrors{"Sav: Disk writes succeed again."};
  RepeatLimiter m_noData{"Sav: Data for save found again."};
  int64_t m_stopDeadlineMs = -1;  // steady clock
  bool m_gpsLost = false;
  int64_t m_gpsRetryMs = 0;
};
