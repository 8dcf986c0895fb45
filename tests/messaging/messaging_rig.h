#pragma once
// Shared pieces of the messaging tests: links to a scripted or simulated
// modem, a sleep that only counts, and the simulated modem's log.
#include <gtest/gtest.h>

#include <atomic>
#include <sstream>

#include "messaging/gsm_jobs.h"
#include "serial/sim_gsm.h"
#include "support/recording_host.h"
#include "support/scripted_com.h"
#include "support/temp_dir.h"

// Counts the time a job would have waited.
struct CountingSleep {
  std::shared_ptr<std::atomic<long long>> total = std::make_shared<std::atomic<long long>>(0);
  SleepFn Fn() const {
    auto t = total;
    return [t](int ms) { *t += ms; };
  }
  long long Ms() const { return total->load(); }
};

inline const std::string kOk = "\r\nOK\r\n";

inline GsmLink MakeLink(TComPort& port, ModemLock& lock, SleepFn sleep,
                        std::shared_ptr<GsmSession> session = nullptr) {
  GsmLink link;
  link.port = &port;
  link.lock = &lock;
  link.sleep = std::move(sleep);
  link.session = std::move(session);
  return link;
}

// The messages the simulated modem took, "number text" each. A log line has
// four fields: number, part/parts, PDU, text.
inline std::vector<std::string> SimSmsSent(const TempDir& dir) {
  std::vector<std::string> out;
  std::istringstream log(ReadFile(dir.Path(kSimSmsLogName)));
  for (std::string line; std::getline(log, line);) {
    std::size_t text = line.find('\t');
    for (int field = 0; field < 2 && text != std::string::npos; ++field) text = line.find('\t', text + 1);
    EXPECT_NE(text, std::string::npos) << line;
    if (text == std::string::npos) continue;
    out.push_back(line.substr(0, line.find('\t')) + " " + line.substr(text + 1));
  }
  return out;
}
