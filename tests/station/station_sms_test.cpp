// A station on the simulated modem, end to end: the messages a phone would
// get, read back from the modem's log.
#include <map>
#include <sstream>

#include "serial/sim_gsm.h"
#include "station/station_rig.h"

namespace {

using StationSms = StationRig;

TEST_F(StationSms, DailyMessageWithGsmSpecialsArrivesWholeInTwoParts) {
  // 200 characters; 0x80 is the euro sign of 8-bit Windows texts, not Latin-1.
  std::string daily = "Daily _@[\x80 check ";
  daily += std::string(200 - daily.size(), 'd');
  auto s = Make("[Common]\r\nIDStation=ST_1\r\n[Registration]\r\nFilter=\r\n[GPS]\r\nUpDateOn=0\r\n"
                "[Communication]\r\nSendSMS=1\r\nSendTime=12:01\r\nDailyMsg=" + daily +
                "\r\n[GSM]\r\nPort=sim-gsm\r\nPIN=1234\r\nSMScentrum=+420603052000\r\n"
                "TelNum0=+420111222333\r\nEmailOnly=0\r\n");
  RunSimulated(*s, clock, 90);
  // What each number received, message by message, from the modem's log
  // (the simulated modem took only PDUs that decode with their announced length).
  using Received = std::pair<std::string, std::vector<std::string>>;  // the text and its parts
  std::map<std::string, std::vector<Received>> got;
  std::istringstream sms(ReadFile(dir.Path(kSimSmsLogName)));
  for (std::string line; std::getline(sms, line);) {
    const std::size_t a = line.find('\t'), b = line.find('\t', a + 1), c = line.find('\t', b + 1);
    ASSERT_NE(c, std::string::npos) << line;
    const std::string part = line.substr(a + 1, b - a - 1);
    std::vector<Received>& to = got[line.substr(0, a)];
    if (part.rfind("1/", 0) == 0) to.push_back({});
    ASSERT_FALSE(to.empty());
    to.back().first += line.substr(c + 1);
    to.back().second.push_back(part);
  }
  // What the station meant to send to the phone, from its own log.
  std::vector<std::string> sent;
  const std::string head = "GSM: Trying to send SMS: +420111222333: \"";
  for (const auto& l : Messages())
    if (l.rfind(head, 0) == 0) sent.push_back(l.substr(head.size(), l.rfind("\" (") - head.size()));
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[1].substr(0, 5 + daily.size()), "ST_1 " + daily);
  for (std::string& t : sent) std::replace(t.begin(), t.end(), '\x80', '?');
  EXPECT_EQ(got["+420111222333"], (std::vector<Received>{{sent[0], {"1/1"}}, {sent[1], {"1/2", "2/2"}}}));
  // The gateway copies stay one SMS each.
  ASSERT_EQ(got["+420000000000"].size(), 2u);
  for (const Received& r : got["+420000000000"]) EXPECT_EQ(r.second, std::vector<std::string>{"1/1"});
  // The PIN job set the modem up; start and daily message to the phone and the gateway.
  EXPECT_EQ(Count("GSM: PIN is OK. ("), 1);
  EXPECT_EQ(Count("GSM: Module activated succesfully. ("), 1);
  EXPECT_EQ(Count("GSM: SMS sent succesfully. ("), 4);
}

}  // namespace
