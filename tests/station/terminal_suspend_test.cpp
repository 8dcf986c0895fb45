// The terminal window borrows the station's ports: the GPS port is closed
// and GSM jobs wait until it gives them back.
#include "station/station_rig.h"
#include "timekeeping/pps_sync.h"

namespace {

using TerminalSuspend = StationRig;

TEST_F(TerminalSuspend, ClosesGpsHoldsSmsJobsAndGivesBothBack) {
  auto s = Make("[Registration]\r\nFilter=\r\nWaitForSync=0\r\n[Communication]\r\nSendSMS=1\r\n"
                "[GSM]\r\nPort=sim-gsm\r\nPIN=1234\r\nSMScentrum=+420123456789\r\nTelNum0=+420111222333\r\n"
                "EmailOnly=0\r\nEmailGate=\r\n[GPS]\r\nPort=sim-gps\r\nUpDateOn=1\r\nInterval=100\r\n");
  // The PIN job ends before the terminal opens, so the GSM port is free.
  ASSERT_TRUE(WaitUntil([&] { return s->State().PendingThreads.load() == 0; }));
  ASSERT_TRUE(s->GpsPortOpen());
  const int countdown = s->PPSSync()->SyncCountdown();

  EXPECT_TRUE(s->TerminalSuspend());
  EXPECT_FALSE(s->GpsPortOpen());
  EXPECT_TRUE(s->TerminalActive());
  s->BtnTestSMSClick();  // its job waits for the modem
  s->TerminalResume();
  EXPECT_TRUE(s->GpsPortOpen());
  EXPECT_FALSE(s->TerminalActive());
  EXPECT_EQ(s->PPSSync()->SyncCountdown(), countdown + 5);
  s->FormClose();  // waits for the job

  const int suspended = IndexOfPrefix(lines, "Inf: Terminal activated - GPS eventually GSM suspended.");
  const int resumed = IndexOfPrefix(lines, "Inf: Terminal window closed - GPS eventually GSM re-activated.");
  ASSERT_GE(suspended, 0);
  ASSERT_GT(resumed, suspended);
  // The test message went out only after the terminal gave the modem back.
  EXPECT_GT(IndexOfPrefix(lines, "GSM: SMS sent succesfully.", suspended), resumed);
}

}  // namespace
