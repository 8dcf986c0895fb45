#pragma once
// The state shared by the acquisition cycle, the save path, the displays and
// the worker-thread notifications. The main thread owns it; workers are handed
// copies of the samples. Workers touch only the atomics at the end.
#include <atomic>
#include <cstdint>

#include "common/types.h"

struct StationState {
  ArrayOfDataType RawBlock;
  ArrayOfDataType CarryBlock;
  int32_t BufferLength = 0;
  ArrayOfDataType DataBuffer;
  ArrayOfDataType RawBuffer;
  ArrayOfDataType DisplayBuffer;
  ArrayOfDataType FilteredBuffer;
  int32_t FilteredLength = 0;
  ArrayOfDataType ResampledBuffer;
  int32_t ResampledLength = 0;
  int32_t ResampledSourcePos = 0;
  TArrayOfPPS DataPPS, FilteredPPS, ResampledPPS;
  // The window and tags that the trigger and the writer read; null until the
  // first cycle that processed data (nothing to save).
  const ArrayOfDataType* OutputBuffer = nullptr;
  const TArrayOfPPS* OutputPPS = nullptr;
  ArrayOfDataType Offsets = ArrayOfDataType(kChannelCount, 0);
  int32_t ADHandle = -1;
  std::string ADDescription;
  bool ClockSynchronised = false;
  bool HaltRequested = false;
  bool Closing = false;
  bool PPSAtADInput = false;
  bool AlarmActive = false;
  bool ShowFiltered = false, DisplayPaused = false;
  bool DailyMessageSent = false, SignalChecked = false, OffsetsLogged = false;
  bool KeepOffsetsFile = true;
  TDateTime LastSaveTime = 0;
  // Unix ms: the cycle's time stays in milliseconds.
  int64_t LastPPSLevelTime = 0;
  TDateTime LastValidTime = 0;
  int32_t EmptySaveCount = 0;
  int32_t ADNoDataCount = 0;
  // Incremented on any thread before a worker starts (save jobs start their
  // writers, exports log lines); decremented only by the thread-finished
  // handler on the main thread, where a counter at 0 stays at 0.
  std::atomic<int32_t> PendingThreads{0}, PendingSaveThreads{0};
  std::atomic<bool> LogFileBusy{false};
};
