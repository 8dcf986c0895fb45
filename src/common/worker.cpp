#include "common/worker.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <system_error>
#include <thread>

uint64_t CurrentThreadId() { return static_cast<uint64_t>(::syscall(SYS_gettid)); }

bool StartWorker(WorkerHost& host, bool saveThread, std::function<int()> body) {
  host.WorkerStarting(saveThread);
  try {
    std::thread([&host, body = std::move(body)]() {
      int code;
      try {
        code = body();
      } catch (...) {
        // A job that throws still reports once, as a failure the host can see.
        code = -1000;
      }
      host.PostThreadFinished(code, CurrentThreadId());
    }).detach();
  } catch (const std::system_error&) {
    // Nothing will report: undo the count through the normal path.
    host.PostThreadFinished(-1000, 0);
    return false;
  }
  return true;
}
