#include "messaging/gsm_jobs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <thread>

#include "messaging/pdu.h"
#include "messaging_rig.h"

namespace {

using namespace std::chrono_literals;

class GsmJobs : public ::testing::Test {
 protected:
  void SetUp() override { UseScript(port, script); }
  void Expect(const std::string& command, const std::string& answer) { script->steps.emplace_back(command, answer); }
  GsmLink Link() { return MakeLink(port, lock, sleep.Fn()); }
  void ExpectTranscriptFollowed() {
    EXPECT_TRUE(script->mismatches.empty()) << script->mismatches.front();
    EXPECT_TRUE(script->steps.empty()) << script->steps.size() << " commands never sent, next "
                                       << script->steps.front().first;
    EXPECT_EQ(script->opens, script->closes) << "the port is left open";
    EXPECT_FALSE(lock.ModemBusy());
  }

  std::shared_ptr<ComScript> script = std::make_shared<ComScript>();
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

// A closed port is empty at once; silence after ten seconds.
TEST_F(GsmJobs, SendATGivesUpAfterTenSecondsOfSilenceWithAnEmptyAnswer) {
  EXPECT_EQ(SendAT(port, "AT", "\r\n", sleep.Fn()), "");
  EXPECT_TRUE(script->written.empty());
  EXPECT_EQ(sleep.Ms(), 0);
  Expect("AT\r\n", "");
  ASSERT_TRUE(port.Open());
  EXPECT_EQ(SendAT(port, "AT", "\r\n", sleep.Fn()), "");
  EXPECT_EQ(sleep.Ms(), 10 + 200 * 50);
  // An answer that never completes is silence too.
  Expect("AT\r\n", "\r\n+CSQ: 1");
  EXPECT_EQ(SendAT(port, "AT", "\r\n", sleep.Fn()), "");
}

// Seven tries against silence show in the failed-ping message job below.
TEST_F(GsmJobs, PingRetriesAnErrorAndTakesAnOk) {
  ASSERT_TRUE(port.Open());
  for (int i = 0; i < 2; ++i) Expect("AT\r\n", "\r\nERROR\r\n");
  Expect("AT\r\n", kOk);
  EXPECT_TRUE(PingModem(port, sleep.Fn()));
  EXPECT_EQ(script->written.size(), 3u);
}

using Step = std::pair<std::string, std::string>;

struct PinCase {
  const char* legend;
  std::string pin;
  std::vector<Step> transcript;
  std::vector<int> interim;
  int final;
};

class PinJob : public GsmJobs, public ::testing::WithParamInterface<PinCase> {};

TEST_P(PinJob, PostsThePinCodeThenTheSetUpCode) {
  const PinCase& c = GetParam();
  for (const auto& [cmd, answer] : c.transcript) Expect(cmd, answer);
  std::vector<int> interim;
  EXPECT_EQ(RunPINJob(Link(), c.pin, "+420603052000", [&](int code, uint64_t) { interim.push_back(code); }),
            c.final);
  EXPECT_EQ(interim, c.interim);
  ExpectTranscriptFollowed();
}

const Step kPing{"AT\r\n", kOk}, kSimPin{"AT+CPIN?\r\n", "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n"},
    kReady{"AT+CPIN?\r\n", "\r\n+CPIN: READY\r\n\r\nOK\r\n"},
    kClipOff{"AT+CLIP?\r\n", "\r\n+CLIP: 0,1\r\n\r\nOK\r\n"};

INSTANTIATE_TEST_SUITE_P(Transcripts, PinJob, ::testing::Values(
    PinCase{"ready_and_already_set_up", "", {kPing, kReady, {"AT+CLIP?\r\n", "\r\n+CLIP: 1,0\r\n\r\nOK\r\n"}}, {3}, 5},
    PinCase{"pin_entered_and_modem_set_up", "1234",
            {kPing, kSimPin, {"AT+CPIN=\"1234\"\r\n", kOk}, kClipOff, {"AT+CSCA=+420603052000\r\n", kOk},
             {"AT+CLIP=1\r\n", kOk}, {"AT+COPS=3,0\r\n", kOk}}, {3}, 5},
    // A refused PIN is its own result; the set-up is not tried.
    PinCase{"wrong_pin_is_refused", "9999",
            {kPing, kSimPin, {"AT+CPIN=\"9999\"\r\n", "\r\n+CME ERROR: 16\r\n"}}, {4}, kCodePINRefused},
    PinCase{"sim_pin_without_a_pin_text", "", {kPing, kSimPin}, {4}, kCodePINRefused},
    // A locked SIM answers the set-up with an error, never with OK.
    PinCase{"set_up_needs_an_ok", "", {kPing, kReady, {"AT+CLIP?\r\n", "\r\n+CME ERROR: 11\r\n"}}, {3}, 6},
    PinCase{"set_up_stops_at_the_first_refusal", "",
            {kPing, kReady, kClipOff, {"AT+CSCA=+420603052000\r\n", "\r\nERROR\r\n"}}, {3}, 6},
    PinCase{"silent_modem_gives_4_alone", "1234", {}, {}, 4}),
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

// PDU mode, then the SMS-centre field and the TPDU after the prompt; modems
// of the M1 kind get the centre by command and the bare TPDU.
TEST_F(GsmJobs, SmsJobSendsThePduAfterThePrompt) {
  for (const bool m1 : {false, true}) {
    SCOPED_TRACE(m1 ? "M1" : "centre field");
    const std::string number = m1 ? "777888999" : "+420123456789", text = m1 ? "hellohello" : "abc";
    const std::string tpdu = BuildSubmitTPDU(number, text);
    Expect("AT\r\n", kOk);
    Expect("AT+CMGF=0\r\n", kOk);
    if (m1) Expect("AT+CSCA=\"+420603052000\"\r\n", kOk);
    Expect("AT+CMGS=" + std::to_string(tpdu.size() / 2) + "\r\n", "\r\n> ");
    Expect((m1 ? "" : "0791246030500200") + tpdu + "\x1A", "\r\n+CMGS: 4\r\n\r\nOK\r\n");
    EXPECT_EQ(RunSendSMSJob(Link(), "+420603052000", number, text, m1), 1);
    ExpectTranscriptFollowed();
  }
}

// Without a prompt the PDU is not sent; the job tries again (1 and 5 minutes
// later, as the scripted faults of the strict modem show) and then gives up.
TEST_F(GsmJobs, SmsJobWithoutPromptTriesThreeTimesThenFails) {
  for (int i = 0; i < 3; ++i) {
    Expect("AT\r\n", kOk);
    if (i == 0) Expect("AT+CMGF=0\r\n", kOk);  // once per session
    Expect("AT+CMGS=17\r\n", "\r\nOK\r\n");  // an answer without ">" is no prompt
  }
  EXPECT_EQ(RunSendSMSJob(Link(), "+420603052000", "+420123456789", "abc", false), 2);
  ExpectTranscriptFollowed();
}

TEST_F(GsmJobs, SmsJobAfterAFailedPingAnnounces160Octets) {
  EXPECT_EQ(RunSendSMSJob(Link(), "", "+420123456789", "abc", false), 2);
  ASSERT_EQ(script->written.size(), 3 * 8u);
  EXPECT_EQ(script->written.back(), "AT+CMGS=160\r\n");
}

// The second ticket's holder is already waiting when the first comes: the
// first still goes first. Its wait is seen through the give-up question.
TEST(ModemLock, TicketsAreServedInTheOrderTheyWereTaken) {
  ModemLock lock;
  const uint64_t first = lock.TakeTicket(), second = lock.TakeTicket();
  std::promise<void> waiting;
  std::atomic<bool> told{false};
  std::string order;
  // Every wait gives up after a while: a broken order fails, it does not hang.
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  auto late = [deadline] { return std::chrono::steady_clock::now() > deadline; };
  std::thread later([&] {
    const bool got = lock.Acquire(second, [&] {
      if (!told.exchange(true)) waiting.set_value();
      return late();
    });
    EXPECT_TRUE(got);
    order += "2";
    if (got) lock.Release();
  });
  // Should the second ticket take the modem at once, it never asks.
  EXPECT_EQ(waiting.get_future().wait_until(deadline), std::future_status::ready);
  EXPECT_FALSE(lock.ModemBusy()) << "the second ticket took the modem first";
  const bool gotFirst = lock.Acquire(first, late);
  EXPECT_TRUE(gotFirst);
  order += "1";
  if (gotFirst) lock.Release();
  later.join();
  EXPECT_EQ(order, "12");
  // A ticket whose job never started lets the next one through.
  const uint64_t lost = lock.TakeTicket(), next = lock.TakeTicket();
  lock.Cancel(lost);
  int polls = 0;
  EXPECT_TRUE(lock.Acquire(next, [&] { return ++polls > 100; }));
}

// The strict modem on a clock that the jobs' own waits move.
class ClockedModem : public ::testing::Test {
 protected:
  void Start(const std::string& script) {
    SimGsmOptions o;
    o.Directory = dir.Dir();
    o.PIN = "1234";
    ASSERT_TRUE(ParseSimGsmScript(script, o.Script));
    o.clock = clock;
    o.Power = std::make_shared<SimGsmPowerState>();
    o.Power->PduMode = !o.Script.TextMode;
    port.SetPort("sim-gsm");
    port.SetBackendFactory([o](const std::string&, std::string&) -> std::unique_ptr<ComBackend> {
      return std::make_unique<SimGsmModem>(o);
    });
  }
  GsmLink Link() {
    auto c = clock;
    return MakeLink(port, lock, [c](int ms) { c->AdvanceMs(ms); }, session);
  }

  TempDir dir;
  std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(0);
  std::shared_ptr<GsmSession> session = std::make_shared<GsmSession>(clock.get());
  TComPort port;
  ModemLock lock;
};

// A scripted fault, the PIN job, then two messages.
struct ModemCase {
  const char* legend;
  std::string script;
  int pinCode;
  std::vector<int> smsCodes;
  long long minMs, maxMs;  // modem time the first message took
  std::vector<std::string> jobLines;  // beginnings of the jobs' own log lines
};

class StrictModem : public ClockedModem, public ::testing::WithParamInterface<ModemCase> {};

TEST_P(StrictModem, ScriptedFault) {
  const ModemCase& c = GetParam();
  Start(c.script);
  std::vector<std::string> lines;
  GsmLink link = Link();
  link.log = [&](const std::string& l) { lines.push_back(l); };
  EXPECT_EQ(RunPINJob(link, "1234", "+420603052000", nullptr), c.pinCode);
  const int64_t start = clock->NowUnixMs();
  std::vector<int> codes;
  codes.push_back(RunSendSMSJob(link, "+420603052000", "+420111", "first", false));
  const int64_t took = clock->NowUnixMs() - start;
  codes.push_back(RunSendSMSJob(link, "+420603052000", "+420222", "second", false));
  EXPECT_EQ(codes, c.smsCodes);
  EXPECT_GE(took, c.minMs);
  EXPECT_LE(took, c.maxMs);
  // Each message the modem took is in its log once, under its own number.
  std::vector<std::string> expected;
  if (codes[0] == 1) expected.push_back("+420111 first");
  if (codes[1] == 1) expected.push_back("+420222 second");
  EXPECT_EQ(SimSmsSent(dir), expected);
  ASSERT_EQ(lines.size(), c.jobLines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].rfind(c.jobLines[i], 0), 0u) << lines[i];
}

const char* const kRetry1 = "GSM: SMS not sent, next try in 1 min: +420111 (";
const char* const kRetry5 = "GSM: SMS not sent, next try in 5 min: +420111 (";

INSTANTIATE_TEST_SUITE_P(Scripts, StrictModem, ::testing::Values(
    ModemCase{"healthy", "", 5, {1, 1}, 0, 5000, {}},
    // A network answer after 12 s is the message's own, and sent.
    ModemCase{"late_cmgs", "late=12000", 5, {1, 1}, 12000, 20000, {}},
    // Past the 60 s the line is drained: the late answer still counts and
    // is not read by the next message.
    ModemCase{"answer_after_the_60_s", "late=65000", 5, {1, 1}, 65000, 75000, {}},
    ModemCase{"cms_error_then_retry", "fail-once", 5, {1, 1}, 60000, 70000, {kRetry1}},
    ModemCase{"cms_error_every_time", "fail=3", 5, {2, 1}, 360000, 380000, {kRetry1, kRetry5}},
    ModemCase{"refused_pin", "refuse-pin", kCodePINRefused, {2, 2}, 360000, 380000,
              {kRetry1, kRetry5, "GSM: SMS not sent, next try in 1 min: +420222 (",
               "GSM: SMS not sent, next try in 5 min: +420222 ("}},
    // The first message after the PIN waits for the network, polling.
    ModemCase{"registration_after_20_s", "unregistered=20000", 5, {1, 1}, 20000, 25000, {}}),
    [](const auto& info) { return std::string(info.param.legend); });

// A dead modem at shutdown: 20 s from the close, every queued message is
// given up and logged with its number and text.
TEST_F(ClockedModem, SilentModemReleasesEveryJobWithin20SecondsOfTheClose) {
  Start("silent");
  RecordingHost host;
  lock.Acquire();  // the jobs queue up behind the test
  for (const char* text : {"start", "Alarm activated! x", "Test..."})
    StartSendSMSthread(host, Link(), "+420603052000", "+420111", text, false);
  session->RequestClose();
  lock.Release();
  EXPECT_EQ(host.WaitForCodes(3), std::vector<int>(3, kCodeSMSNotSent));
  EXPECT_LE(clock->NowUnixMs(), kCloseBoundMs + 1000);
  // Those still queued give up together, in no particular order.
  auto log = host.LogLines();
  ASSERT_EQ(log.size(), 3u);
  std::sort(log.begin(), log.end());
  int i = 0;
  for (const std::string text : {"Alarm activated! x", "Test...", "start"})
    EXPECT_EQ(log[i++].rfind("GSM: SMS abandoned at shutdown: +420111: \"" + text + "\" (", 0), 0u);
  EXPECT_FALSE(lock.ModemBusy());
}

}  // namespace
