#include "serial/sim_gsm.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace {

// A modem powered on without a PIN, on a clock the test moves.
class SimGsm : public ::testing::Test {
 protected:
  void Start(const std::string& script = "") {
    SimGsmOptions o;
    o.Directory = dir.Dir();
    ASSERT_TRUE(ParseSimGsmScript(script, o.Script));
    o.clock = clock;
    modem = std::make_unique<SimGsmModem>(o);
    std::string error;
    ASSERT_TRUE(modem->Open(TComSettings{}, {}, error));
  }
  // Everything the modem sends back for these bytes (echo included).
  std::string Say(const std::string& bytes) {
    std::string error;
    EXPECT_TRUE(modem->Write(bytes, error));
    return modem->ReadAvailable(4096);
  }
  std::string Submit(const std::string& pdu, long announced) {
    const std::string prompt = Say("AT+CMGS=" + std::to_string(announced) + "\r\n");
    EXPECT_EQ(prompt.substr(prompt.size() - 4), "\r\n> ") << prompt;
    return Say(pdu + "\x1A");
  }

  TempDir dir;
  std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(0);
  std::unique_ptr<SimGsmModem> modem;
};

TEST_F(SimGsm, EchoesLikeAModemAfterPowerOn) {
  Start();
  EXPECT_EQ(Say("AT\r\n"), "AT\r\r\nOK\r\n");
  EXPECT_EQ(Say("AT+CSQ\r\n"), "AT+CSQ\r\r\n+CSQ: 20,99\r\n\r\nOK\r\n");
  EXPECT_EQ(Say("ATE0\r\n"), "ATE0\r\r\nOK\r\n");
  EXPECT_EQ(Say("AT\r\n"), "\r\nOK\r\n");
}

// 11000C91... is a TPDU of 17 octets ("abc" to +420123456789).
const std::string kTpdu = "11000C912410325476980000AA0361F118";
const std::string kHead = "11000C912410325476980000AA";

struct PduCase {
  const char* legend;
  std::string pdu;
  long announced;
  std::string logged;  // the log line, or "" when the modem refuses with 304
};

class SimGsmPdus : public SimGsm, public ::testing::WithParamInterface<PduCase> {};

TEST_P(SimGsmPdus, TakesWellFormedPdusOnly) {
  const PduCase& c = GetParam();
  Start();
  const std::string answer = Submit(c.pdu, c.announced);
  if (c.logged.empty()) {
    EXPECT_NE(answer.find("\r\n+CMS ERROR: 304\r\n"), std::string::npos) << answer;
    EXPECT_EQ(ReadFile(dir.Path(kSimSmsLogName)), "");
  } else {
    EXPECT_NE(answer.find("\r\n+CMGS: 1\r\n\r\nOK\r\n"), std::string::npos) << answer;
    EXPECT_EQ(ReadFile(dir.Path(kSimSmsLogName)), c.logged + "\n");
  }
}

INSTANTIATE_TEST_SUITE_P(Table, SimGsmPdus, ::testing::Values(
    PduCase{"twelve_digit_centre", "0791246030500200" + kTpdu, 17,
            "+420123456789\t1/1\t0791246030500200" + kTpdu + "\tabc"},
    PduCase{"ten_digit_centre", "06816030500200" + kTpdu, 17, "+420123456789\t1/1\t06816030500200" + kTpdu + "\tabc"},
    // The length octet fixed at 07 for a 10-digit centre.
    PduCase{"centre_length_octet_wrong", "07816030500200" + kTpdu, 17, ""},
    PduCase{"announced_length_wrong", "0791246030500200" + kTpdu, 16, ""},
    PduCase{"bare_tpdu_of_the_m1_kind", kTpdu, 17, "+420123456789\t1/1\t" + kTpdu + "\tabc"},
    PduCase{"over_160_septets", "00" + kHead + "A1" + std::string(282, '0'), 155, ""},
    PduCase{"length_and_octets_disagree", "00" + kHead + "0361F11800", 19, ""},
    PduCase{"odd_hex", "00" + kTpdu + "0", 17, ""},
    PduCase{"not_hex", "00" + kHead + "0361F1GG", 17, ""},
    PduCase{"concatenated_part", "0051000C912410325476980000AA0F0500032A020264335ACD76C3C500", 28,
            "+420123456789\t2/2\t0051000C912410325476980000AA0F0500032A020264335ACD76C3C500\t23456781"},
    PduCase{"part_beyond_the_count", "0051000C912410325476980000AA0F0500032A020364335ACD76C3C500", 28, ""},
    // Read back through the alphabet: "_@[A" and the euro sign, which Latin-1 lacks.
    PduCase{"gsm_alphabet_read_back", "000100038121F300000711C08617DC9401", 16,
            "123\t1/1\t000100038121F300000711C08617DC9401\t_@[A?"}),
    [](const auto& info) { return std::string(info.param.legend); });

// Left in text mode, the modem takes no PDU (the jobs' tests on this modem see
// the network and submit faults through their timing).
TEST_F(SimGsm, TextModeRefusesAPdu) {
  Start("text-mode");
  EXPECT_EQ(Say("AT+CMGS=17\r\n"), "AT+CMGS=17\r\r\n+CMS ERROR: 304\r\n");
}

// Every word is used by a scripted-fault test; a script the modem cannot
// follow must not half apply.
TEST(SimGsmScript, MalformedScriptsAreRefused) {
  for (const char* bad : {"late", "late=x", "late=-1", "loud", "fail-once,bogus"}) {
    SimGsmScript s;
    EXPECT_FALSE(ParseSimGsmScript(bad, s)) << bad;
    EXPECT_EQ(s.FailCount, 0) << bad;
  }
}

}  // namespace
