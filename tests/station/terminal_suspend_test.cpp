// The terminal window borrows the station's ports: the GPS port is closed
// and GSM jobs wait until it gives them back.
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

#include <gtest/gtest.h>

#include "common/datetime.h"
#include "support/station_options.h"
#include "timekeeping/pps_sync.h"

namespace {

TEST(TerminalSuspend, ClosesGpsHoldsSmsJobsAndGivesBothBack) {
  TempDir dir;
  ManualClock clock;
  clock.Set(EncodeDateTime(2026, 1, 15, 12, 0, 0));
  WriteFile(dir.Path("velkor.ini"),
            "[Registration]\r\nFilter=\r\nWaitForSync=0\r\n[Communication]\r\nSendSMS=1\r\n"
            "[GSM]\r\nPort=sim-gsm\r\nPIN=1234\r\nSMScentrum=+420123456789\r\nTelNum0=+420111222333\r\n"
            "EmailOnly=0\r\nEmailGate=\r\n[GPS]\r\nPort=sim-gps\r\nUpDateOn=1\r\nInterval=100\r\n");
  StationController s(SimulatedStationOptions(dir, clock));
  std::vector<std::string> log;
  QObject::connect(&s, &StationController::logLine, [&](const std::string& l) { log.push_back(l.substr(24)); });
  s.FormCreate();
  // The PIN job ends before the terminal opens, so the GSM port is free.
  for (int i = 0; i < 500 && s.State().PendingThreads > 0; ++i) {
    QEventLoop loop;  // the jobs report through queued calls
    QTimer::singleShot(10, &loop, &QEventLoop::quit);
    loop.exec();
  }
  ASSERT_EQ(s.State().PendingThreads, 0);
  ASSERT_TRUE(s.GpsPortOpen());
  const int countdown = s.PPSSync()->SyncCountdown();

  EXPECT_TRUE(s.TerminalSuspend());
  EXPECT_FALSE(s.GpsPortOpen());
  EXPECT_TRUE(s.TerminalActive());
  s.BtnTestSMSClick();  // its job waits for the modem
  s.TerminalResume();
  EXPECT_TRUE(s.GpsPortOpen());
  EXPECT_FALSE(s.TerminalActive());
  EXPECT_EQ(s.PPSSync()->SyncCountdown(), countdown + 5);
  s.FormClose();  // waits for the job

  const auto at = [&](const std::string& text, long from = 0) {
    return std::find_if(log.begin() + from, log.end(),
                        [&](const std::string& l) { return l.rfind(text, 0) == 0; }) -
           log.begin();
  };
  const long suspended = at("Inf: Terminal activated - GPS eventually GSM suspended.");
  const long resumed = at("Inf: Terminal window closed - GPS eventually GSM re-activated.");
  ASSERT_LT(resumed, static_cast<long>(log.size()));
  EXPECT_LT(suspended, resumed);
  // The test message went out only after the terminal gave the modem back.
  EXPECT_GT(at("GSM: SMS sent succesfully.", suspended), resumed);
  EXPECT_LT(at("GSM: SMS sent succesfully.", resumed), static_cast<long>(log.size()));
}

}  // namespace
