#include "messaging/gsm_jobs.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "../support/temp_dir.h"
#include "messaging/pdu.h"
#include "messaging_rig.h"
#include "serial/sim_gsm.h"

namespace {

class GsmJobs : public ::testing::Test {
 protected:
  void SetUp() override { UseScript(port, script); }
  void Expect(const std::string& command, const std::string& answer) {
    script->steps.emplace_back(command, answer);
  }
  GsmLink Link() { return GsmLink{&port, &lock, sleep.Fn()}; }
  void ExpectTranscriptFollowed() {
    EXPECT_TRUE(script->mismatches.empty()) << script->mismatches.front();
    EXPECT_TRUE(script->steps.empty()) << script->steps.size() << " commands never sent, next "
                                       << script->steps.front().first;
    EXPECT_EQ(script->opens, script->closes) << "the port is left open";
    EXPECT_FALSE(lock.ModemBusy());
  }

  std::shared_ptr<ModemScript> script = std::make_shared<ModemScript>();
  TComPort port;
  ModemLock lock;
  CountingSleep sleep;
};

TEST_F(GsmJobs, SendATReturnsTheAnswerAsReceivedFiveCharactersPerPass) {
  const std::string answer = "\r\n+CSQ: 15,99\r\n\r\nOK\r\n";  // 21 characters
  Expect("AT+CSQ\r\n", answer);
  ASSERT_TRUE(port.Open());
  // Complete at "OK\r" after four passes; the rest is cleared by the next command.
  EXPECT_EQ(SendAT(port, "AT+CSQ", "\r\n", sleep.Fn()), answer.substr(0, 20));
  EXPECT_EQ(sleep.Ms(), 10 + 4 * kATPassDelayMs);
}

TEST_F(GsmJobs, SendATGivesUpAfterTenSecondsOfSilenceWithAnEmptyAnswer) {
  Expect("AT\r\n", "");
  ASSERT_TRUE(port.Open());
  EXPECT_EQ(SendAT(port, "AT", "\r\n", sleep.Fn()), "");
  EXPECT_EQ(sleep.Ms(), 10 + 200 * 50);
  // An answer that never completes is silence too.
  Expect("AT\r\n", "\r\n+CSQ: 1");
  EXPECT_EQ(SendAT(port, "AT", "\r\n", sleep.Fn()), "");
}

TEST_F(GsmJobs, SendATOnAClosedPortIsEmptyAtOnce) {
  EXPECT_EQ(SendAT(port, "AT", "\r\n", sleep.Fn()), "");
  EXPECT_TRUE(script->written.empty());
}

TEST_F(GsmJobs, PingTriesSevenTimes) {
  ASSERT_TRUE(port.Open());
  EXPECT_FALSE(PingModem(port, sleep.Fn()));
  EXPECT_EQ(script->written, std::vector<std::string>(7, "AT\r\n"));
  script->written.clear();
  for (int i = 0; i < 2; ++i) Expect("AT\r\n", "\r\nERROR\r\n");
  Expect("AT\r\n", kOk);
  EXPECT_TRUE(PingModem(port, sleep.Fn()));
  EXPECT_EQ(script->written.size(), 3u);
}

struct PinCase {
  const char* legend;
  std::string pin, smsCentre;
  std::vector<std::pair<std::string, std::string>> transcript;
  std::vector<int> interim;
  int final;
};

class PinJob : public GsmJobs, public ::testing::WithParamInterface<PinCase> {};

TEST_P(PinJob, PostsThePinCodeThenTheSetUpCode) {
  const PinCase& c = GetParam();
  for (const auto& [cmd, answer] : c.transcript) Expect(cmd, answer);
  std::vector<int> interim;
  EXPECT_EQ(RunPINJob(Link(), c.pin, c.smsCentre, [&](int code, uint64_t) { interim.push_back(code); }),
            c.final);
  EXPECT_EQ(interim, c.interim);
  ExpectTranscriptFollowed();
}

const std::pair<std::string, std::string> kPing{"AT\r\n", "\r\nOK\r\n"};

INSTANTIATE_TEST_SUITE_P(
    Transcripts, PinJob,
    ::testing::Values(
        PinCase{"ready_and_already_set_up", "", "+420603052000",
                {kPing, {"AT+CPIN?\r\n", "\r\n+CPIN: READY\r\n\r\nOK\r\n"},
                 {"AT+CLIP?\r\n", "\r\n+CLIP: 1,0\r\n\r\nOK\r\n"}},
                {3}, 5},
        PinCase{"pin_entered_and_modem_set_up", "1234", "+420603052000",
                {kPing, {"AT+CPIN?\r\n", "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n"},
                 {"AT+CPIN=\"1234\"\r\n", "\r\nOK\r\n"},
                 {"AT+CLIP?\r\n", "\r\n+CLIP: 0,1\r\n\r\nOK\r\n"},
                 {"AT+CSCA=+420603052000\r\n", "\r\nOK\r\n"}, {"AT+CLIP=1\r\n", "\r\nOK\r\n"},
                 {"AT+COPS=3,0\r\n", "\r\nOK\r\n"}},
                {3}, 5},
        PinCase{"wrong_pin_still_sets_up", "9999", "",
                {kPing, {"AT+CPIN?\r\n", "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n"},
                 {"AT+CPIN=\"9999\"\r\n", "\r\n+CME ERROR: 16\r\n"},
                 {"AT+CLIP?\r\n", "\r\n+CLIP: 0,1\r\n\r\nOK\r\n"}},
                {4}, 5},
        PinCase{"sim_pin_without_a_pin_text", "", "",
                {kPing, {"AT+CPIN?\r\n", "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n"},
                 {"AT+CLIP?\r\n", "\r\n+CLIP: 1,1\r\n\r\nOK\r\n"}},
                {4}, 5},
        PinCase{"set_up_stops_at_the_first_refusal", "", "+420603052000",
                {kPing, {"AT+CPIN?\r\n", "\r\n+CPIN: READY\r\n\r\nOK\r\n"},
                 {"AT+CLIP?\r\n", "\r\n+CLIP: 0,1\r\n\r\nOK\r\n"},
                 {"AT+CSCA=+420603052000\r\n", "\r\nERROR\r\n"}},
                {3}, 6},
        PinCase{"silent_modem_gives_4_alone", "1234", "+420603052000", {}, {}, 4}),
    [](const auto& info) { return std::string(info.param.legend); });

TEST_F(GsmJobs, PortThatDoesNotOpenGivesPin4SignalZeroSms2) {
  script->refuseOpen = true;
  std::vector<int> interim;
  EXPECT_EQ(RunPINJob(Link(), "1234", "", [&](int c, uint64_t) { interim.push_back(c); }), 4);
  EXPECT_TRUE(interim.empty());
  EXPECT_EQ(RunSignalJob(Link()), 0);
  EXPECT_EQ(RunSendSMSJob(Link(), "+420603052000", "+420123456789", "abc", false), 2);
  EXPECT_TRUE(script->written.empty());
  EXPECT_FALSE(lock.ModemBusy());
}

TEST_F(GsmJobs, SignalJobReadsCsq) {
  Expect("AT\r\n", kOk);
  Expect("AT+CSQ\r\n", "\r\n+CSQ: 15,99\r\n\r\nOK\r\n");
  EXPECT_EQ(RunSignalJob(Link()), -48);
  Expect("AT\r\n", kOk);
  Expect("AT+CSQ\r\n", "\r\n+CME ERROR: 100\r\n");
  EXPECT_EQ(RunSignalJob(Link()), 0);
  ExpectTranscriptFollowed();
}

TEST_F(GsmJobs, SmsJobSendsSmsCentreFieldAndTpduAfterThePrompt) {
  const std::string tpdu = BuildSubmitTPDU("+420123456789", "abc");
  Expect("AT\r\n", kOk);
  Expect("AT+CMGS=" + std::to_string(tpdu.size() / 2) + "\r\n", "\r\n> ");
  Expect("0791246030500200" + tpdu + "\x1A", "\r\n+CMGS: 4\r\n\r\nOK\r\n");
  EXPECT_EQ(RunSendSMSJob(Link(), "+420603052000", "+420123456789", "abc", false), 1);
  ExpectTranscriptFollowed();
}

TEST_F(GsmJobs, SmsJobInM1ModeSetsTheCentreByCommandAndSendsTheBareTpdu) {
  const std::string tpdu = BuildSubmitTPDU("777888999", "hellohello");
  Expect("AT\r\n", kOk);
  Expect("AT+CSCA=\"+420603052000\"\r\n", kOk);
  Expect("AT+CMGS=" + std::to_string(tpdu.size() / 2) + "\r\n", "\r\n> ");
  Expect(tpdu + "\x1A", "\r\nOK\r\n");
  EXPECT_EQ(RunSendSMSJob(Link(), "+420603052000", "777888999", "hellohello", true), 1);
  ExpectTranscriptFollowed();
}

TEST_F(GsmJobs, SmsJobWithoutPromptDoesNotSendThePdu) {
  Expect("AT\r\n", kOk);
  Expect("AT+CMGS=17\r\n", "\r\nOK\r\n");  // an answer without ">" is no prompt
  EXPECT_EQ(RunSendSMSJob(Link(), "+420603052000", "+420123456789", "abc", false), 2);
  EXPECT_EQ(script->written.size(), 2u);
  ExpectTranscriptFollowed();
}

TEST_F(GsmJobs, SmsJobAfterAFailedPingAnnounces160Octets) {
  EXPECT_EQ(RunSendSMSJob(Link(), "", "+420123456789", "abc", false), 2);
  ASSERT_EQ(script->written.size(), 8u);
  EXPECT_EQ(script->written.back(), "AT+CMGS=160\r\n");
}

TEST(ModemLock, TerminalAndBusyKeepJobsOff) {
  ModemLock lock;
  lock.SetTerminalActive(true);
  EXPECT_FALSE(lock.TryAcquire());
  lock.SetTerminalActive(false);
  EXPECT_TRUE(lock.TryAcquire());
  EXPECT_FALSE(lock.TryAcquire());
  lock.Release();
  EXPECT_TRUE(lock.TryAcquire());
}

// The simulated modem behind the port's own name, with jobs on threads
// taking turns: every message arrives whole, in the sim's log.
class SimModem : public ::testing::Test {
 protected:
  void SetUp() override {
    SimGsmOptions o;
    o.Directory = dir.Dir();
    o.PIN = "1234";
    o.Rssi = 15;
    SetSimGsmDefaultOptions(o);
    port.SetPort("sim-gsm");
  }
  void TearDown() override { SetSimGsmDefaultOptions(SimGsmOptions{}); }
  GsmLink Link() { return GsmLink{&port, &lock, [](int) {}}; }

  TempDir dir;
  TComPort port;
  ModemLock lock;
  RecordingHost host;
};

TEST_F(SimModem, PinSetUpSignalAndSmsThroughTheStarters) {
  std::vector<int> interim;
  StartPINthread(host, Link(), "1234", "+420603052000",
                 [&](int code, uint64_t) { interim.push_back(code); });
  host.WaitForPosts(1);
  StartSignalThread(host, Link());
  host.WaitForPosts(2);
  const uint64_t id = StartSendSMSthread(host, Link(), "+420603052000", "+420123456789", "abc", false);
  host.WaitForPosts(3);
  StartSendSMSthread(host, Link(), "+420603052000", "777888999", "hellohello", true);
  const auto posts = host.WaitForPosts(4);
  EXPECT_EQ(interim, std::vector<int>{3});
  EXPECT_EQ(posts[0].first, 5);
  EXPECT_EQ(posts[1].first, -48);
  EXPECT_EQ(posts[2].first, 1);
  EXPECT_EQ(posts[3].first, 1);
  EXPECT_NE(id, 0u);
  EXPECT_EQ(host.Started(), 4);
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(ReadFile(dir.Path(kSimSmsLogName)), "+420123456789\nabc\n777888999\nhellohello\n");
}

TEST_F(SimModem, NoSmsBeforeThePinIsEntered) {
  EXPECT_EQ(RunSendSMSJob(Link(), "+420603052000", "+420123456789", "abc", false), 2);
  EXPECT_FALSE(std::filesystem::exists(dir.Path(kSimSmsLogName)));
}

TEST_F(SimModem, WrongPinIsRefused) {
  std::vector<int> interim;
  EXPECT_EQ(RunPINJob(Link(), "0000", "", [&](int c, uint64_t) { interim.push_back(c); }), 5);
  EXPECT_EQ(interim, std::vector<int>{4});
}

TEST_F(SimModem, ConcurrentJobsTakeTurnsOnTheModem) {
  constexpr int kJobs = 8;
  ASSERT_EQ(RunPINJob(Link(), "1234", "", nullptr), 5);
  for (int i = 0; i < kJobs; ++i)
    StartSendSMSthread(host, Link(), "+420603052000", "+42060000000" + std::to_string(i),
                       "message " + std::to_string(i), i % 2 == 0);
  const auto posts = host.WaitForPosts(kJobs);
  for (const auto& [code, id] : posts) EXPECT_EQ(code, 1);
  const std::string log = ReadFile(dir.Path(kSimSmsLogName));
  for (int i = 0; i < kJobs; ++i)
    EXPECT_NE(log.find("+42060000000" + std::to_string(i) + "\nmessage " + std::to_string(i) + "\n"),
              std::string::npos);
  EXPECT_FALSE(lock.ModemBusy());
}

}  // namespace
