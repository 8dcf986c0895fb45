#include "common/worker.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <system_error>
#include <thread>

uint64_t CurrentThreadId() { return static_cast<uint64_t>(::syscall(SYS_gettid)); }

bool StartWorker(WorkerHost& host, bool saveThread, std::function<int()> body) {
  host.WorkerStarting(saveThread);
  try {
    // Detached: the host's count, not a join, tells when the job is over.
    std::thread([&host, saveThread, body = std::move(body)]() {
      int code;
      try {
        code = body();
      } catch (...) {
        // A job that throws still reports once, as a failure.
        code = saveThread ? kSaveWriterFailedCode : kJobFailedCode;
      }
      host.PostThreadFinished(code, CurrentThreadId());
    }).detach();
  } catch (const std::system_error&) {
    // Nothing will report: undo the count through the normal path.
    host.PostThreadFinished(saveThread ? kSaveWriterFailedCode : kJobFailedCode, 0);
    return false;
  }
  return true;
}
