#pragma once
// Worker jobs run one function on a short-lived thread and report exactly once
// through the thread-finished notification (code, thread id). The host counts
// a job before it starts and counts it down only when the notification is
// handled on the main thread.
#include <cstdint>
#include <functional>
#include <string>

#include "common/thread_codes.h"

class WorkerHost {
 public:
  virtual ~WorkerHost() = default;
  // Called on the starting thread just before the job starts: counts it in
  // PendingSaveThreads (save writers) or PendingThreads (everything else).
  virtual void WorkerStarting(bool saveThread) = 0;
  // Thread-safe: queues the notification to the main thread.
  virtual void PostThreadFinished(int code, uint64_t threadId) = 0;
  // Thread-safe: one event-log line (message with its category prefix).
  virtual void Log(const std::string& message) = 0;
};

// Identifier of the calling thread as the notification carries it.
uint64_t CurrentThreadId();

// Counts the job, runs `body` on a detached thread and posts its result code.
// Returns false (and counts nothing) when the thread could not be started.
// Nothing joins the thread: it holds `host` (and whatever `body` holds) by
// reference, so the host must outlive every job it counted. The station's
// host waits for its count to reach 0 when it closes.
bool StartWorker(WorkerHost& host, bool saveThread, std::function<int()> body);
