#include "station/station_controller.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "config/calibration_files.h"
#include "maintenance/backup_guard.h"
#include "station/acquisition.h"
#include "station/converter.h"
#include "processing/conditioning.h"
#include "processing/alarm.h"
#include "processing/fir_filter.h"
#include "storage/save_path.h"
#include "station/mseed_feed.h"
#include "station/station_gps.h"
#include "station/station_gsm.h"
#include "timekeeping/pps_sync.h"
#include "platform/service.h"

namespace {
const char* const kDefaultTitle = "velkor";

// The cycle's filter step over the loaded coefficients.
class FirCycleFilter final : public CycleFilter {
 public:
  explicit FirCycleFilter(const TProgParam& params) : m_params(params) {}
  int32_t FilterStep(const ArrayOfDataType& data, int32_t newCount, ArrayOfDataType& filtered,
                     int32_t& filteredLength, int32_t& ppsPosition) override {
    return RunFilter(data, filtered, filteredLength, m_params, newCount, ppsPosition);
  }

 private:
  const TProgParam& m_params;
};

class AlarmCycleDetector final : public CycleAlarmDetector {
 public:
  AlarmCycleDetector(int32_t channel, int32_t threshold) : m_detector(channel, threshold) {}
  void BeginCycle() override { m_detector.BeginCycle(); }
  bool DetectAt(int32_t position, int32_t value) override {
    return m_detector.DetectAt(position, value);
  }

 private:
  AlarmDetector m_detector;
};

// What the station does with each thread-finished code. A negative code is
// the signal job's percentage; a code not in the table is only counted down.
enum class CodeEffect { None, WriteErrOff, WriteErrOn, PINOK, PINError, NoSignal };
struct CodeReaction {
  int code;
  const char* log;  // then " (" thread id ")"; null: nothing logged
  CodeEffect effect;
  bool saveWriter;  // counted in PendingSaveThreads, not PendingThreads
};
constexpr CodeReaction kCodeReactions[] = {
    {kCodeNoSignal, "GSM: No signal or module error.", CodeEffect::NoSignal, false},
    {kCodeSMSSent, "GSM: SMS sent succesfully.", CodeEffect::None, false},
    {kCodeSMSNotSent, "GSM: Error sending SMS.", CodeEffect::None, false},
    {kCodePINOK, "GSM: PIN is OK.", CodeEffect::PINOK, false},
    {kCodePINError, "GSM: PIN error.", CodeEffect::PINError, false},
    {kCodeModemActivated, "GSM: Module activated succesfully.", CodeEffect::None, false},
    {kCodeModemActivationError, "GSM: Activation error.", CodeEffect::None, false},
    {kCodePINRefused, "GSM: SIM not unlocked, module not activated.", CodeEffect::None, false},
    {kLogAppended, nullptr, CodeEffect::WriteErrOff, false},
    {kLogFailed, nullptr, CodeEffect::WriteErrOn, false},
    // 13 to 17 have no sender any more; a write that succeeded or failed.
    {13, nullptr, CodeEffect::WriteErrOff, false},
    {14, nullptr, CodeEffect::WriteErrOn, false},
    {15, nullptr, CodeEffect::WriteErrOff, false},
    {16, nullptr, CodeEffect::WriteErrOn, false},
    {17, nullptr, CodeEffect::WriteErrOff, false},
    {kCodeScriptWriteError, nullptr, CodeEffect::WriteErrOn, false},
    {kCodeScriptRun, "Msg: Script file run succesfuly.", CodeEffect::None, false},
    {kCodeScriptRunError, "Msg: Script file run error.", CodeEffect::None, false},
    {kSaveWriterOkCode, nullptr, CodeEffect::WriteErrOff, true},
    {kSaveWriterFailedCode, nullptr, CodeEffect::WriteErrOn, true},
    // Silent: the save job's own lines say what it did.
    {kSaveJobDoneCode, nullptr, CodeEffect::None, false},
    {kSaveJobTriggerCode, nullptr, CodeEffect::None, false},
    {kLogExportFinished, "Inf: Log-file export finished.", CodeEffect::None, false},
    {kZipExportDone, "Inf: Zip-export done.", CodeEffect::None, false},
    {kBackupFolderDeleted, "Inf: BackUp folder deleted.", CodeEffect::None, false},
    // Silent: a job that threw or could not start is only counted down.
    {kJobFailedCode, nullptr, CodeEffect::None, false},
};

const CodeReaction* ReactionOf(int code) {
  for (const CodeReaction& r : kCodeReactions)
    if (r.code == code) return &r;
  return nullptr;
}

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}
}  // namespace

StationController::StationController(StationOptions options, QObject* parent)
    : QObject(parent), m_options(std::move(options)) {
  if (!m_options.clock) {
    m_systemClock = std::make_unique<SystemClock>();
    m_options.clock = m_systemClock.get();
  }
  if (!m_options.restarter) {
    m_fakeRestarter = std::make_unique<RecordingRestarter>();
    m_options.restarter = m_fakeRestarter.get();
  }
  m_clock = m_options.clock;
  m_restarter = m_options.restarter;
  m_files.ProgramDir = m_options.ProgramDir;
  if (!m_files.ProgramDir.empty() && m_files.ProgramDir.back() != '/') m_files.ProgramDir += '/';
  m_log = std::make_unique<EventLog>(*this, *m_clock);
  m_gps = std::make_unique<StationGps>(*this);
  m_gsm = std::make_unique<StationGsm>(*this);
  m_timer.setSingleShot(true);
  connect(&m_timer, &QTimer::timeout, this, &StationController::TimerTimer);
}

StationController::~StationController() {
  m_mseed.reset();  // its last lines still find the log
  m_gps.reset();
  m_gsm->ClosePort();
  // Every requested line reaches the disk, the END line included.
  if (m_log) m_log->Drain();
  m_log.reset();
}

void StationController::DeriveNames(const std::string& executableName, std::string& title,
                                    ProgramFiles& files) {
  // The base name is the executable's file name without an extension of
  // three letters ("velkor.exe"); Linux executables usually have none, and a
  // name like "velkor.north" stays whole.
  std::string base = std::filesystem::path(executableName).filename().string();
  if (base.size() > 4 && base[base.size() - 4] == '.') base.resize(base.size() - 4);
  title = kDefaultTitle;
  files.IniName = "velkor.ini";
  files.LogName = "velkor.log";
  files.ScriptName = "velkor.sh";
  if (!base.empty() && LowerAscii(base) != LowerAscii(title)) {
    files.IniName = base + ".ini";
    files.LogName = base + ".log";
    files.ScriptName = base + ".sh";
    title = title + " \"" + base + "\"";
  }
}

std::string StationController::ConverterModelText() { return ADModelText(); }

const ArrayOfReal& StationController::ADGain() const {
  static const ArrayOfReal kNone;
  return m_converter ? m_converter->ADGain() : kNone;
}

void StationController::SetLed(LedId id, bool on) {
  if (m_indicators.SetLed(id, on)) emit indicatorsChanged();
}

void StationController::SetLedColor(LedId id, LedColor color) {
  if (m_indicators.SetLedColor(id, color)) emit indicatorsChanged();
}

void StationController::SetField(InfoField field, const std::string& text) {
  if (m_indicators.SetField(field, text)) emit indicatorsChanged();
}

void StationController::IndicateSaveLog(const std::string& message) {
  try {
    const std::string line = m_log->Append(message);
    if (!line.empty()) emit logLine(line);
  } catch (...) {
    // Logging must never take the caller down; the event is lost.
  }
}

void StationController::WorkerStarting(bool saveThread) {
  // Any thread: a save job starts its writers, an export logs its lines.
  (saveThread ? m_state.PendingSaveThreads : m_state.PendingThreads).fetch_add(1);
}

void StationController::PostThreadFinished(int code, uint64_t threadId) {
  QMetaObject::invokeMethod(
      this, [this, code, threadId] { WMThreadFinished(code, threadId); }, Qt::QueuedConnection);
}

void StationController::WMThreadFinished(int code, uint64_t threadId) {
  ReactToThreadCode(code, threadId);
  if (code == kSaveWriterOkCode) LogCleared(m_diskErrors);
  const CodeReaction* r = ReactionOf(code);
  auto& counter = r && r->saveWriter ? m_state.PendingSaveThreads : m_state.PendingThreads;
  // Only this thread counts down, but workers count up meanwhile: the
  // exchange keeps a counter at 0 there without losing their increments.
  int32_t v = counter.load();
  while (v > 0 && !counter.compare_exchange_weak(v, v - 1)) {
  }
}

void StationController::ReactToThreadCode(int code, uint64_t threadId) {
  const std::string id = " (" + std::to_string(threadId) + ")";
  if (code < 0) {
    const std::string pct = std::to_string(-static_cast<int64_t>(code)) + "%";
    IndicateSaveLog("GSM: Signal intensity: " + pct + id);
    SetField(InfoField::Signal, pct);
    return;
  }
  const CodeReaction* r = ReactionOf(code);
  if (!r) return;
  if (r->log) IndicateSaveLog(r->log + id);
  switch (r->effect) {
    case CodeEffect::None: break;
    case CodeEffect::WriteErrOff: SetLed(LedId::WriteErr, false); break;
    case CodeEffect::WriteErrOn: SetLed(LedId::WriteErr, true); break;
    case CodeEffect::PINOK: SetField(InfoField::PIN, "OK"); break;
    case CodeEffect::PINError: SetField(InfoField::PIN, "Error"); break;
    case CodeEffect::NoSignal: SetField(InfoField::Signal, "N/A"); break;
  }
}

void StationController::SetTimerOn(bool on) {
  m_timerOn = on;
  if (m_options.simulated) return;
  if (on)
    m_timer.start(kCycleIntervalMs);
  else
    m_timer.stop();
}

void StationController::FormCreate() {
  if (m_created) return;
  m_created = true;
  // File names, title and caption.
  DeriveNames(m_options.ExecutableName, m_title, m_files);
  m_baseName = m_files.LogName.substr(0, m_files.LogName.size() - 4);
  m_caption = m_title + " (" + ConverterModelText() + ")";
  emit titleChanged(m_title);
  // Configuration and filter file.
  LoadNotes notes;
  const int loaded = LoadParams(m_params, m_files, &notes);
  m_log->Configure(m_params.LogFile, m_params.SaveLog);
  if (loaded == -2 || loaded == -1) {
    const std::string text =
        loaded == -2 ? "Err: Error loading LSB values." : "Err: Error loading filter file.";
    const std::string reason = loaded == -1 ? notes.FilterProblem : std::string();
    emit messageBox(reason.empty() ? text : text + "\n" + reason);
    IndicateSaveLog(text);
    if (!reason.empty()) IndicateSaveLog("Err: " + reason);
  }
  if (!notes.StationCodeChange.empty()) IndicateSaveLog("Err: " + notes.StationCodeChange);
  // Start line and parameter summary.
  IndicateSaveLog(std::string("Inf: ****** S T A R T ****** (") + VELKOR_VERSION + ")");
  IndicateSaveLog("Inf: " + ParamsToText(m_params));
  // User-interface language; a missing translation keeps English.
  if (!m_params.Language.empty() && SwitchLanguage && !SwitchLanguage(m_params.Language))
    IndicateSaveLog("Err: No translation Language/" + m_params.Language + ".qm, English kept.");
  // Every watch starts counting from now.
  const TDateTime now = m_clock->NowUtc();
  m_state.LastSaveTime = now;
  m_state.LastPPSLevelTime = DateTimeToUnixMs(now);
  m_state.LastValidTime = now;
  if (m_params.WaitForSync)
    IndicateSaveLog("Tim: Waiting for valid time...");
  else
    m_state.ClockSynchronised = true;
  // The synchronisation menu mirrors the GPS switch.
  m_menuSyncChecked = m_params.GPS.UpDateOn;
  // Sample windows, then the stored offsets.
  AllocateBuffers(m_state, m_params);
  // The file's age is measured on the computer's clock, which stamped it.
  ReadOffsets(m_files.ProgramDir, m_state.Offsets, SystemClock().NowUnixMs());
  for (size_t k = 0; k < m_state.RawBuffer.size(); ++k)
    m_state.RawBuffer[k] = m_state.Offsets[k % kChannelCount];
  // Filter, alarm and converter; the converter is opened by the first cycle.
  if (m_params.Filter.Loaded) m_filter = std::make_unique<FirCycleFilter>(m_params);
  m_alarm = std::make_unique<AlarmCycleDetector>(m_params.AlarmChannel, m_params.AlarmTreshold);
  m_converter = m_options.converterFactory ? m_options.converterFactory()
                                           : MakeConverter(*m_clock, m_options.converterSeed,
                                                           m_options.converterDriftPpm,
                                                           [this](const std::string& line) {
                                                             IndicateSaveLog(line);
                                                           });
  m_converter->ADSelectModule(m_params.Converter.Module);
  // A station on the simulated receiver never restarts the computer.
  if (m_params.GPS.Port == "sim-gps" && m_restarter != m_fakeRestarter.get()) {
    if (!m_fakeRestarter) m_fakeRestarter = std::make_unique<RecordingRestarter>();
    m_restarter = m_fakeRestarter.get();
  }
  // GPS port.
  if (m_params.GPS.UpDateOn) {
    if (!m_gps->Open()) {
      IndicateSaveLog("GPS: Error opening port.");
      IndicateSaveLog("Err: " + m_gps->ErrorString());
      m_state.HaltRequested = true;
      emit messageBox("GPS: Error opening port.");
    }
  } else {
    m_menuSyncChecked = false;
    m_gpsControlsEnabled = false;
  }
  // GSM port.
  if (m_params.SendSMS) {
    m_gsmControlsEnabled = true;
    if (!m_gsm->StartPINthread()) {
      IndicateSaveLog("GSM: Error opening port.");
      IndicateSaveLog("Err: " + m_gsm->ErrorString());
      m_state.HaltRequested = true;
      emit messageBox("GSM: Error opening port.");
    }
  } else if (!m_params.SendEmail) {
    m_testButtonEnabled = false;
  }
  if (m_params.SendEmail) {
    const std::string missing = CheckMailCommand(kSendmailCommand);
    if (!missing.empty()) IndicateSaveLog(missing);
  }
  m_gsm->CreateDispatcher();
  StartMseedFeed();
  // Acquisition starts unless start-up failed.
  if (!m_state.HaltRequested) SetTimerOn(true);
  // Start message.
  SendMessage(m_params.StartMsg + " " + FormatLogTimestamp(m_clock->NowUtc()));
  emit indicatorsChanged();
}

void StationController::WMEndSession() {
  // During a close already under way the line is still worth having; after
  // the END line nothing more is written.
  ArmStopDeadline();
  if (m_endLogged) return;
  IndicateSaveLog("Inf: Windows shutdown... (forced end)");
  FormClose();
}

void StationController::FormClose() {
  // Once only; no more cycles.
  if (m_state.Closing) return;
  m_state.Closing = true;
  m_state.HaltRequested = true;
  SetTimerOn(false);
  if (!m_created) return;
  NotifyServiceStopping();
  // No more pulses.
  m_gps->Close();
  // A station that lost its converter long ago restarts the computer.
  if (m_state.ADHandle < 0 && m_state.EmptySaveCount >= 30) {
    IndicateSaveLog("Inf: rebooting...");
    m_restarter->Restart();
  }
  // Converter.
  if (m_converter) (void)m_converter->ADClose(m_state.ADHandle);
  // Final continuous save.
  const TDateTime now = m_clock->NowUtc();
  if (SecondsBetween(m_state.LastSaveTime, now) > 0 && m_params.Continuous)
    (void)PrepareBufferForSave(m_state.LastSaveTime, 900);
  // Default INI file, if there is none.
  WriteDefaultIni(m_files);
  // Modem jobs give up 20 s from now: a dead modem must not hold the close.
  m_gsm->RequestClose();
  // Wait for the workers while their notifications are processed. Every job
  // holds a reference to the controller; the bound only cuts off a job that
  // hangs, and the process ends after the close.
  if (m_state.PendingThreads.load() > 0) {
    m_title = "Waiting until all threads finish.";
    emit titleChanged(m_title);
  }
  ArmCloseWait();
  while (m_state.PendingThreads.load() >= 1 && !CloseWaitOver()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QThread::msleep(1);
  }
  m_mseed.reset();  // the last records reach the archive before the END line
  // GSM port, after the jobs that used it.
  m_gsm->ClosePort();
  // End line.
  IndicateSaveLog("Inf: ******** E N D ********");
  m_endLogged = true;
  // Offsets kept for the next start, or deleted.
  if (m_state.KeepOffsetsFile)
    WriteOffsets(m_files.ProgramDir, m_state.Offsets);
  else
    DeleteOffsets(m_files.ProgramDir);
  // Release the windows and flush the log.
  m_state.OutputBuffer = nullptr;
  m_state.OutputPPS = nullptr;
  for (ArrayOfDataType* b : {&m_state.RawBlock, &m_state.DataBuffer, &m_state.RawBuffer,
                             &m_state.DisplayBuffer, &m_state.FilteredBuffer,
                             &m_state.ResampledBuffer}) {
    ArrayOfDataType().swap(*b);
  }
  m_log->Drain();
}

void StationController::MenuSuspendClick() {
  m_suspended = !m_suspended;
  if (m_suspended) {
    SetTimerOn(false);
    IndicateSaveLog("Inf: Measuring suspended.");
    SetLedColor(LedId::ADStatus, LedColor::Yellow);
  } else {
    SetTimerOn(true);
    IndicateSaveLog("Inf: Measuring reactivated.");
  }
}

void StationController::TimerTimer() {
  // No cycle starts while this one runs.
  SetTimerOn(false);
  if (m_state.Closing) return;
  const int64_t nowMs = m_clock->NowUnixMs();
  // Each distinct failure is logged once, so a failing step cannot flood the log.
  auto logOnce = [this](const std::string& text) {
    if (m_cycleErrorsLogged.size() < 64 && m_cycleErrorsLogged.insert(text).second)
      IndicateSaveLog(text);
  };
  try {
    CycleBody(nowMs);
  } catch (const std::exception& e) {
    logOnce(std::string("Err: Acquisition cycle failed: ") + e.what());
  } catch (...) {
    logOnce("Err: Acquisition cycle failed.");
  }
  NotifyServiceWatchdog();
  m_gps->RetryLost(nowMs);
  // A fatal condition closes the station.
  if (m_state.HaltRequested && !m_state.Closing) {
    emit closeRequested();
    return;
  }
  // The next cycle counts from the end of this one.
  if (!m_state.Closing && !m_suspended) SetTimerOn(true);
}

void StationController::CycleBody(int64_t nowMs) {
  // Read only with a free converter, a synchronised clock and no halt.
  if (!m_converter->ADBusy() && m_state.ClockSynchronised && !m_state.HaltRequested)
    Acquire(nowMs);
  PeriodicJobs(nowMs);
  // Modem signal and position report every two hours.
  m_gsm->SignalQuery(nowMs);
}

void StationController::Acquire(int64_t nowMs) {
  StationState& s = m_state;
  // Open the converter; the first block comes with the next cycle.
  if (s.ADHandle < 0) {
    std::string description;
    s.ADHandle = m_converter->ADInitialize(m_params.Converter.Number, description,
                                           static_cast<double>(m_params.SampleRate));
    if (s.ADHandle >= 0) {
      s.ADDescription = description;
      IndicateSaveLog("A/D: Inicialized OK. \"" + description + "\"");
    } else {
      IndicateSaveLog("A/D: Inicializing error: " + std::to_string(s.ADHandle));
    }
    return;
  }
  // Read; a converter that keeps returning no data has failed.
  int result = m_converter->ADReadBlock(s.ADHandle, s.RawBlock);
  if (result == 1) {
    if (s.ADNoDataCount == 5) {
      s.ADNoDataCount = 0;
    } else {
      ++s.ADNoDataCount;
      result = 0;
    }
  }
  if (result != 0) {
    SetLedColor(LedId::ADStatus, LedColor::Red);
    s.ADHandle = m_converter->ADClose(s.ADHandle);
    IndicateSaveLog("A/D: Error occured: " + std::to_string(result));
    s.RawBlock.clear();
    return;
  }
  if (!IsUsableBlock(s.RawBlock.size())) return;
  // Append, condition, tag the pulse seconds, filter.
  CycleHooks hooks;
  hooks.filter = m_filter.get();
  hooks.alarm = m_alarm.get();
  CycleResult r = AppendBlock(s, m_params, m_converter->ADGain(), m_displayUnit, nowMs, hooks);
  if (!r.appended) {
    // Not whole frames: the driver broke its contract; the block is dropped.
    s.RawBlock.clear();
    return;
  }
  m_saveContinuation.Slide(r.outputNewCount);
  for (int32_t n : r.rateCorrections)
    IndicateSaveLog("A/D: Sampling rate correction. (" + std::to_string(n) + ")");
  SetField(InfoField::TimeTag, r.editTimeTag);
  // Completed output seconds go out as miniSEED at once, not at the save interval.
  if (m_mseed) m_mseed->OnOutputCycle(s, r.k, r.T, GPSTimeValid());
  if (r.ppsDetectedNow) IndicateSaveLog("Tim: PPS detected and used.");
  if (r.ppsLostNow) IndicateSaveLog("Err: PPS is at least 60 seconds off (at A/D input).");
  // Alarm input.
  AlarmAction(r.alarmFound, nowMs);
  // Trigger.
  if (r.k > m_params.PredTime && m_params.Triggers && s.OutputBuffer && s.OutputPPS)
    RunTrigger(r.outputNewCount, r.k, nowMs);
  // Block consumed.
  SetField(InfoField::Samples, std::to_string(s.RawBlock.size()));
  s.RawBlock.clear();
  // Live display.
  if (m_liveViewVisible && !s.DisplayPaused) {
    // The filter's output lags one second behind.
    emit liveDataChanged(FormatLogTimestamp(UnixMsToDateTime(s.ShowFiltered ? nowMs - 1000 : nowMs)));
  }
}

void StationController::PeriodicJobs(int64_t nowMs) {
  const DateTimeParts p = DecodeDateTime(UnixMsToDateTime(nowMs));
  // Offsets logged and stored in every odd hour.
  if (m_params.Converter.OffsetCompensation) {
    if (p.hour % 2 == 1) {
      if (!m_state.OffsetsLogged) {
        IndicateSaveLog("Ofs: Actual offsets: " + OffsetsText(m_state.Offsets));
        WriteOffsets(m_files.ProgramDir, m_state.Offsets);
        m_state.OffsetsLogged = true;
      }
    } else {
      m_state.OffsetsLogged = false;
    }
  }
  // Converter lamp green while it is open.
  if (m_state.ADHandle >= 0 && m_indicators.Led(LedId::ADStatus).color != LedColor::Green)
    SetLedColor(LedId::ADStatus, LedColor::Green);
  // Time validity.
  try {
    TimeValidityWatch(nowMs);
  } catch (...) {
  }
  // Continuous save.
  ContinuousSave(nowMs);
  // Daily message.
  DailyMessage(nowMs);
}

void StationController::TimeValidityWatch(int64_t nowMs) {
  TPPSSync* sync = m_gps->Sync();
  if (!sync) return;
  sync->CheckTimeValidity(UnixMsToDateTime(nowMs), m_indicators.Field(InfoField::GPStime),
                          m_indicators.Field(InfoField::GPSDate), m_state.HaltRequested);
  m_state.LastValidTime = sync->LastValidTime();
}

void StationController::ContinuousSave(int64_t nowMs) {
  if (!m_params.Continuous) return;
  const TDateTime now = UnixMsToDateTime(nowMs);
  const bool due = SecondsBetween(m_state.LastSaveTime, now) > 120;
  // Segments whose writers failed are retried while they are in the window.
  if (!due && !m_saveContinuation.RetryDue(now)) return;
  switch (PrepareBufferForSave(m_state.LastSaveTime, 360)) {
    case SaveResult::NoOutput: break;
    case SaveResult::Empty:
      if (!due) break;
      LogLimited(m_noData, "Sav: No data for save, buffer is probably empty.");
      if (m_state.ADHandle < 0 && ++m_state.EmptySaveCount >= 30) m_state.HaltRequested = true;
      break;
    case SaveResult::Saved:
      m_state.EmptySaveCount = 0;
      LogCleared(m_noData);
      break;
  }
}

void StationController::DailyMessage(int64_t nowMs) {
  const DateTimeParts p = DecodeDateTime(UnixMsToDateTime(nowMs));
  const bool sendMinute = p.hour == m_params.SendHour && p.minute == m_params.SendMinute;
  if (!m_state.DailyMessageSent && sendMinute) {
    SendMessage(m_params.DailyMsg + " " + StatusText());
    m_state.DailyMessageSent = true;
  }
  // The latch clears in hour 0, but never inside the send minute itself: a
  // send time in hour 0 must not send again within its own minute.
  if (m_state.DailyMessageSent && p.hour == 0 && !sendMinute) m_state.DailyMessageSent = false;
}

std::string StationController::StatusText() const {
  std::string s;
  switch (m_indicators.Led(LedId::ADStatus).color) {
    case LedColor::Red: s += "R"; break;
    case LedColor::Green: s += "G"; break;
    case LedColor::Yellow: s += "Y"; break;
    default: s += "x"; break;
  }
  s += GPSTimeValid() ? "A" : "V";
  s += m_state.PPSAtADInput ? "P " : "A ";
  const int64_t f = FreeSpaceBytes(m_params.DataDir);
  if (f >= 0) {
    if (f > 1'000'000'000)
      s += std::to_string(f / (1024LL * 1024 * 1024)) + "GB";
    else if (f > 1'000'000)
      s += std::to_string(f / (1024LL * 1024)) + "MB";
    else
      s += std::to_string(f / 1024) + "kB";
  }
  s += " " + FormatLogTimestamp(m_state.LastSaveTime).substr(0, 19);
  s += " " + m_indicators.Field(InfoField::TimeTag);
  return s;
}

void StationController::SendMessage(const std::string& text, bool senderIsMainWindow) {
  emit messageDispatched(text);
  m_gsm->SendMessage(text, senderIsMainWindow);
}

void StationController::BtnTestSMSClick() { SendMessage(m_params.TestMsg); }

void StationController::StepExportLamp(ExportLampStep step) {
  m_exportLamp = NextExportLamp(m_exportLamp, step);
  SetLedColor(LedId::ExportData, m_exportLamp.red ? LedColor::Red : LedColor::Green);
  SetLed(LedId::ExportData, m_exportLamp.on);
}

void StationController::ExportLogClick(const std::string& chosenFile) {
  // Lines still queued for the writer belong in the archive, and a log not yet
  // written at all must not fail the export.
  m_log->Drain();
  TExportLogAsZipThread job{m_params.LogFile, LogArchiveName(chosenFile), m_params.BackupDir};
  StartExportLog(*this, *m_clock, m_log->FileMutex(), std::move(job), [this](ExportLampStep step) {
    RunOnMainThread([this, step] { StepExportLamp(step); });
  });
}

void StationController::ExportDirClick(ExportSourceKind kind, const std::string& chosenFile) {
  TExporDirAsZipThread job{ExportSource(m_params, kind), ExportDestination(chosenFile),
                           WithTrailingSlash(m_params.BackupDir), m_params.IDStation};
  StartExportDir(*this, *m_clock, std::move(job), [this](ExportLampStep step) {
    RunOnMainThread([this, step] { StepExportLamp(step); });
  });
}

void StationController::DeleteBackUpFolderClick() {
  const std::string refusal = BackupDeletionRefusal(m_params.BackupDir, m_params, m_files.ProgramDir);
  if (!refusal.empty()) return IndicateSaveLog("Err: " + refusal);
  StartDeleteWholeFolder(*this, TDeleteWholeFolder{m_params.BackupDir});
}

void StationController::BtnSignalClick() { m_gsm->StartSignalThread(); }

void StationController::RunOnMainThread(std::function<void()> work) {
  // Work raised on the main thread itself (the validity watch) keeps its
  // place among the cycle's own lines.
  if (QThread::currentThread() == thread())
    work();
  else
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

TPPSSync* StationController::PPSSync() { return m_gps->Sync(); }

bool StationController::TerminalSuspend() {
  if (m_params.SendSMS) m_gsm->SetTerminalActive(true);
  m_gps->Suspend();
  // A GSM job may be holding the port right now.
  const bool gsmFree = !m_gsm->PortOpen();
  IndicateSaveLog("Inf: Terminal activated - GPS eventually GSM suspended.");
  return gsmFree;
}

bool StationController::GpsPortOpen() const { return m_gps->IsOpen(); }

bool StationController::TerminalActive() const { return m_gsm->TerminalActive(); }

void StationController::TerminalResume() {
  m_gps->Resume();
  if (m_params.SendSMS) m_gsm->SetTerminalActive(false);
  IndicateSaveLog("Inf: Terminal window closed - GPS eventually GSM re-activated.");
}

void StationController::BtnSetTimeClick() {
  if (TPPSSync* sync = m_gps->Sync()) sync->BtnSetTimeClick();
}

bool StationController::GPSTimeValid() const {
  const TPPSSync* sync = m_gps->Sync();
  return sync && sync->GPSTimeValid();
}

StationController::SaveResult StationController::PrepareBufferForSave(TDateTime from,
                                                                      int maxSeconds,
                                                                      bool trigger,
                                                                      Peaks* peaks) {
  int32_t span = maxSeconds;
  SavePreparation prep =
      ::PrepareBufferForSave(m_state.OutputBuffer, m_state.OutputPPS,
                             trigger ? nullptr : &m_saveContinuation, m_params, from, trigger, span);
  if (prep.LastSaveTime) m_state.LastSaveTime = *prep.LastSaveTime;
  if (prep.Lost > 0)
    IndicateSaveLog("Sav: " + std::to_string(prep.Lost) +
                    " s of data could not be written before leaving the buffer.");
  if (peaks) *peaks = {prep.PeakZ, prep.PeakN, prep.PeakE};
  switch (prep.Outcome) {
    case SaveOutcome::NoOutputWindow: return SaveResult::NoOutput;
    case SaveOutcome::NothingToSave: return SaveResult::Empty;
    case SaveOutcome::Saved: break;
  }
  if (prep.Job) StartSaveJob(*this, std::move(*prep.Job), m_params, m_saveLock);
  return SaveResult::Saved;
}

void StationController::AlarmAction(bool found, int64_t nowMs) {
  const TDateTime now = UnixMsToDateTime(nowMs);
  if (found && !m_state.AlarmActive) {
    m_state.AlarmActive = true;
    SetLed(LedId::Alarm, true);
    IndicateSaveLog("Alr: Alarm signal activated.");
    SendMessage("Alarm activated! " + FormatLogTimestamp(now));
  } else if (!found && m_state.AlarmActive) {
    m_state.AlarmActive = false;
    SetLed(LedId::Alarm, false);
    IndicateSaveLog("Alr: Alarm signal dropped down.");
    SendMessage("Alarm deactivated. " + FormatLogTimestamp(now));
  }
}

void StationController::RunTrigger(int32_t newCount, int32_t k, int64_t nowMs) {
  const TriggerDecision d =
      TriggerRun(m_trigger, m_params, *m_state.OutputBuffer, *m_state.OutputPPS, newCount, k);
  if (d.EventBegan) {
    SetLed(LedId::TriggerDetected, true);
    IndicateSaveLog("Trg: A trigger event has arise. " + FormatLogTimestamp(UnixMsToDateTime(nowMs)));
  }
  if (!d.Save) return;
  Peaks peaks;
  PrepareBufferForSave(d.StartTime, d.Seconds, true, &peaks);
  const std::string peakText = TriggerPeakText(peaks.Z, peaks.N, peaks.E);
  if (m_params.SendTrigger && TriggerMinuteAllows(m_params.TriggerMinute, d.EventTime))
    SendMessage("TRIGGER " + FormatLogTimestamp(d.EventTime) + " " + peakText, true);
  IndicateSaveLog("Trg: Saving trigger due to PredTime and PostTime. Time: " +
                  FormatLogTimestamp(d.EventTime) + " " + "Length:" + " " +
                  std::to_string(d.Seconds - 1) + "s" + peakText);
  SetLed(LedId::TriggerDetected, false);
}

void StationController::StartMseedFeed() {
  if (!m_params.MiniSEED.Archive && !m_params.SeedLink.Server) return;
  MseedFeedOptions o;
  o.RingFile = m_files.ProgramDir + m_baseName + ".ring";
  o.Software = std::string("velkor ") + VELKOR_VERSION;
  o.clock = m_clock;
  o.log = [this](const std::string& line) {
    RunOnMainThread([this, line] { IndicateSaveLog(line); });
  };
  TProgParam p = m_params;
  // A simulated station is never the real one: it serves on a free port.
  if (m_options.simulated) p.SeedLink.Port = 0;
  m_mseed = std::make_unique<MseedFeed>(p, std::move(o));
}

// Operations of the window.

void StationController::SetShowFiltered(bool shown) {
  if (m_params.Filter.Loaded) m_state.ShowFiltered = shown;
}

void StationController::SetDisplayPaused(bool paused) { m_state.DisplayPaused = paused; }

void StationController::ApplySavedParameters(bool keepOffsetsFile) {
  m_state.KeepOffsetsFile = keepOffsetsFile;
}
