#include "messaging/dispatch.h"

#include <gtest/gtest.h>

#include "messaging_rig.h"

namespace {

TProgParam Params() {
  TProgParam p;
  p.IDStation = "VELK";
  p.ScriptFile = "/st/velkor-b.sh";  // the program is named after it
  p.EmailAddr = "seismo@example.org";
  p.GSM.TelNum = {"+420111", "+420222", "+420333"};
  p.GSM.EmailGate = "+420999";
  p.GSM.EmailIndicator = "EM ";
  p.GSM.EmailGateAddr = "seismo*example.org";
  return p;
}

std::vector<std::string> Numbers(const MessagePlan& plan) {
  std::vector<std::string> n;
  for (const auto& a : plan.Actions) {
    EXPECT_EQ(a.Channel, MessageChannel::SMS);
    n.push_back(a.Number);
  }
  return n;
}

TEST(PlanMessage, NothingWithoutEmailOrSmsAndEmailAloneWinsWithTheFirst100CharactersLogged) {
  TProgParam p = Params();
  const MessagePlan none = PlanMessage(p, false, "Test...");
  EXPECT_EQ(none.Message, "VELK Test...");
  EXPECT_TRUE(none.Actions.empty());
  p.SendEmail = p.SendSMS = p.GSM.EmailGateOn = true;
  const std::string text(200, 'x');
  const MessagePlan plan = PlanMessage(p, true, text);
  ASSERT_EQ(plan.Actions.size(), 1u);
  const MessageAction& a = plan.Actions[0];
  EXPECT_EQ(a.Channel, MessageChannel::Email);
  EXPECT_EQ(a.Text, "VELK " + text);
  EXPECT_EQ(a.LogLine, "Msg: Script file generated: /st/velkor-b.sh. seismo@example.org: (velkor-b@VELK) "
                       "VELK " + std::string(95, 'x'));
}

struct ReceiverCase {
  const char* legend;
  bool quarryMode, emailOnly, gateOn, senderIsMainWindow;
  std::vector<std::string> telNum;
  std::vector<std::string> expected;
};

class SmsReceivers : public ::testing::TestWithParam<ReceiverCase> {};

TEST_P(SmsReceivers, NumbersInOrder) {
  const ReceiverCase& c = GetParam();
  TProgParam p = Params();
  p.SendSMS = true;
  p.GSM.QuarryMode = c.quarryMode;
  p.GSM.EmailOnly = c.emailOnly;
  p.GSM.EmailGateOn = c.gateOn;
  p.GSM.TelNum = c.telNum;
  EXPECT_EQ(Numbers(PlanMessage(p, c.senderIsMainWindow, "msg")), c.expected);
}

const std::vector<std::string> kThree{"+420111", "+420222", "+420333"};

INSTANTIATE_TEST_SUITE_P(Routing, SmsReceivers, ::testing::Values(
    ReceiverCase{"all_three", false, false, false, false, kThree, kThree},
    ReceiverCase{"quarry_mode_other_messages_first_only", true, false, false, false, kThree, {"+420111"}},
    ReceiverCase{"quarry_mode_trigger_to_all", true, false, false, true, kThree, kThree},
    ReceiverCase{"empty_entry_ends_the_list", false, false, false, false, {"A", "", "B"}, {"A"}},
    ReceiverCase{"first_empty_sends_none", false, false, false, false, {"", "B", "C"}, {}},
    ReceiverCase{"fewer_entries_than_three", false, false, false, false, {"A"}, {"A"}},
    ReceiverCase{"numbers_then_gateway", false, false, true, false, {"A", "B"}, {"A", "B", "+420999"}},
    ReceiverCase{"email_only_sends_the_gateway_alone", false, true, true, false, kThree, {"+420999"}},
    ReceiverCase{"email_only_without_gateway_sends_nothing", false, true, false, false, kThree, {}}),
    [](const auto& info) { return std::string(info.param.legend); });

TEST(PlanMessage, GatewayMessageIsCutTo160Characters) {
  TProgParam p = Params();
  p.SendSMS = p.GSM.EmailOnly = p.GSM.EmailGateOn = true;
  const std::string text(200, 'y');
  const MessagePlan plan = PlanMessage(p, false, text);
  ASSERT_EQ(plan.Actions.size(), 1u);
  EXPECT_EQ(plan.Actions[0].Text, ("EM seismo*example.org VELK " + text).substr(0, 160));
  EXPECT_EQ(plan.Actions[0].Text.size(), 160u);
  // Counted in septets: each "[" takes two.
  const MessagePlan brackets = PlanMessage(p, false, std::string(200, '['));
  EXPECT_EQ(brackets.Actions[0].Text, "EM seismo*example.org VELK " + std::string(66, '['));
}

TEST(MessageDispatcher, StartsEachJobThenLogsItsId) {
  RecordingHost host;
  std::vector<std::string> started;
  uint64_t next = 100;
  MessageDispatcher d(
      host, [&](const std::string& m) { started.push_back("mail " + m); return next++; },
      [&](const std::string& n, const std::string& t) { started.push_back(n + " " + t); return next++; });
  TProgParam p = Params();
  p.SendSMS = p.GSM.EmailGateOn = true;
  p.GSM.TelNum = {"+420111"};
  EXPECT_EQ(d.SendMessage(p, false, "x"), (std::vector<uint64_t>{100, 101}));
  EXPECT_EQ(started, (std::vector<std::string>{"+420111 VELK x", "+420999 EM seismo*example.org VELK x"}));
  EXPECT_EQ(host.LogLines(), (std::vector<std::string>{
                                "GSM: Trying to send SMS: +420111: \"VELK x\" (100)",
                                "GSM: Trying to send SMS: +420999: \"EM seismo*example.org VELK x\" (101)"}));
  p.SendEmail = true;
  d.SendMessage(p, false, "x");
  EXPECT_EQ(started.back(), "mail VELK x");
  EXPECT_EQ(host.LogLines().back(),
            "Msg: Script file generated: /st/velkor-b.sh. seismo@example.org: (velkor-b@VELK) VELK x (102)");
}

}  // namespace
