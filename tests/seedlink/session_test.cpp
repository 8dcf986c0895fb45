#include "seedlink/session.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <tuple>
#include <utility>

#include "seedlink_test_support.h"
#include "support/temp_dir.h"

namespace {

std::string Send(SeedLinkSession& s, const std::string& bytes) {
  s.Output().clear();
  s.Receive(bytes.data(), bytes.size());
  return std::exchange(s.Output(), {});
}

// What the session answers to `bytes`, then everything it streams.
std::string Drain(SeedLinkSession& s, const std::string& bytes = "") {
  std::string all = Send(s, bytes);
  while (s.Pump(1 << 20) || !s.Output().empty()) all += std::exchange(s.Output(), {});
  return all;
}

struct CommandCase {
  const char* name;
  const char* input;  // sent after "STATION IDX XX\r" unless `uni`
  const char* reply;
  bool uni = false;
};

class Commands : public ::testing::TestWithParam<CommandCase> {};

TEST_P(Commands, AnswerAsClientsExpect) {
  const CommandCase& c = GetParam();
  SeedLinkRing ring;
  SeedLinkSession s(ring, Identity());
  if (!c.uni) {
    ASSERT_EQ(Send(s, "STATION IDX XX\r"), "OK\r\n");
  }
  EXPECT_EQ(Send(s, c.input), c.reply);
}

const CommandCase kCommands[] = {
    {"Hello", "HELLO\r", "SeedLink v3.1 (velkor 0.1.0) :: SLPROTO:3.1\r\nVelkor station IDX\r\n", true},
    {"HelloLowerCaseCrLf", "hello\r\n", "SeedLink v3.1 (velkor 0.1.0) :: SLPROTO:3.1\r\nVelkor station IDX\r\n", true},
    {"EmptyLinesGetNoReply", "\r\n\n\r", "", true}, {"Cat", "CAT\r", "XX IDX Velkor station IDX\nEND", true},
    {"StationTwoSpaces", "STATION  IDX  XX\r", "OK\r\n", true},
    {"StationDefaultNetwork", "STATION idx\n", "OK\r\n", true},
    {"StationUnknown", "STATION ABC XX\r", "ERROR\r\n", true},
    {"StationOtherNetwork", "STATION IDX GE\r", "ERROR\r\n", true},
    {"EndWithoutStation", "END\r", "ERROR\r\n", true},
    {"SelectLocationType", "SELECT 00BHZ.D\r", "OK\r\n"}, {"SelectClears", "SELECT\r", "OK\r\n"},
    {"SelectTooShort", "SELECT BH\r", "ERROR\r\n"}, {"SelectBadType", "SELECT BHZ.X\r", "ERROR\r\n"},
    {"SelectBadChar", "SELECT B*Z\r", "ERROR\r\n"}, {"DataPlain", "DATA\r", "OK\r\n"},
    {"DataSequenceAndTime", "DATA 00001A 2026,1,15,12,0,0\r", "OK\r\n"},
    {"DataBadSequence", "DATA 00G01A\r", "ERROR\r\n"}, {"DataBadTime", "DATA 1A 2026,13,15,12,0,0\r", "ERROR\r\n"},
    {"FetchPaddedTime", "FETCH 1A 2026,01,15,12,00,00\r", "OK\r\n"},
    {"TimeWindow", "TIME 2026,1,15,12,0,0 2026,1,15,12,1,0\r", "OK\r\n"},
    {"TimeEndBeforeBegin", "TIME 2026,1,15,12,1,0 2026,1,15,12,0,0\r", "ERROR\r\n"},
    {"TimeFiveFields", "TIME 2026,1,15,12,0\r", "ERROR\r\n"}, {"Batch", "BATCH\r", "ERROR\r\n"},
    {"Capabilities", "CAPABILITIES EXTREPLY\r", "ERROR\r\n"}, {"InfoWithoutLevel", "INFO\r", "ERROR\r\n"},
    {"Unknown", "FOO BAR\r", "ERROR\r\n"},
};

INSTANTIATE_TEST_SUITE_P(Handshake, Commands, ::testing::ValuesIn(kCommands),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SessionGarbage, RandomBytesHugeAndHalfLinesAreAnsweredErrorWithoutHarm) {
  SeedLinkRing ring;
  SeedLinkSession s(ring, Identity());
  std::mt19937 rng(11);
  std::string junk(1 << 20, '\0');
  for (char& c : junk) c = static_cast<char>(rng());
  std::string out = Send(s, junk);
  std::string errors;
  while (errors.size() < out.size()) errors += "ERROR\r\n";
  EXPECT_EQ(out, errors.substr(0, out.size())) << "nothing but ERROR replies";
  Send(s, "\r");  // ends the last random line
  // A 10 MB line: one ERROR, nothing kept of it.
  EXPECT_EQ(Send(s, std::string(10 << 20, 'A')), "ERROR\r\n");
  EXPECT_EQ(Send(s, std::string(1 << 20, 'B') + "\r"), "");
  // Half commands wait for their end.
  EXPECT_EQ(Send(s, "HEL"), "");
  EXPECT_EQ(Send(s, "LO\r").substr(0, 13), "SeedLink v3.1");
  EXPECT_EQ(Send(s, "STATION IDX"), "");
  EXPECT_EQ(Send(s, " XX\r\n"), "OK\r\n");
  EXPECT_FALSE(s.CloseRequested());
  Send(s, "BYE\r");
  EXPECT_TRUE(s.CloseRequested());
}

// Concatenated text of INFO packets, checked the way clients read them.
std::string InfoText(const std::string& bytes, std::string* channel = nullptr) {
  std::string text;
  const std::vector<Packet> packets = SplitPackets(bytes);
  for (size_t i = 0; i < packets.size(); ++i) {
    EXPECT_EQ(packets[i].header, i + 1 == packets.size() ? "SLINFO  " : "SLINFO *");
    const DecodedRecord d = Decode(packets[i].record.data());
    EXPECT_TRUE(d.Unpacked);
    text += d.Text;
    if (channel) *channel = d.Channel;
  }
  return text;
}

TEST(SessionInfo, LevelsAnswerInTerminatedInfoPackets) {
  SeedLinkRing ring;
  for (const MseedRecord& r : TestRecords(30)) ring.Push(r);
  SeedLinkSession s(ring, Identity());
  std::string channel;
  const std::string id = InfoText(Send(s, "INFO ID\r"), &channel);
  EXPECT_EQ(SplitPackets(Send(s, "INFO ID\r")).size(), 1u) << "a keepalive fits one packet";
  EXPECT_EQ(channel, "INF");
  EXPECT_NE(id.find("software=\"SeedLink v3.1 (velkor 0.1.0) :: SLPROTO:3.1\""), std::string::npos);
  const std::string caps = InfoText(Send(s, "INFO capabilities\r"));
  EXPECT_NE(caps.find("<capability name=\"multistation\"/>"), std::string::npos);
  const std::string stations = InfoText(Send(s, "INFO STATIONS\r"));
  EXPECT_NE(stations.find("name=\"IDX\" network=\"XX\""), std::string::npos);
  EXPECT_NE(stations.find("begin_seq=\"000000\" end_seq=\"00001E\""), std::string::npos);
  const std::string streams = InfoText(Send(s, "INFO STREAMS\r"));
  for (const char* c : {"BHZ", "BHN", "HYP"})
    EXPECT_NE(streams.find(std::string("seedname=\"") + c + "\""), std::string::npos) << c;
  EXPECT_EQ(streams.substr(streams.size() - 12), "</seedlink>\n");
  InfoText(Send(s, "INFO GAPS\r"), &channel);
  EXPECT_EQ(channel, "ERR");
}

TEST(SessionStreaming, StartPointsSelectorsAndEndMarkers) {
  SeedLinkRing ring;
  const std::vector<MseedRecord> recs = TestRecords(30);
  for (const MseedRecord& r : recs) ring.Push(r);
  // name, commands, sequences streamed, the replies and what follows the packets
  const std::tuple<const char*, const char*, std::vector<uint32_t>, const char*> cases[] = {
      {"UniDataNoBacklog", "DATA\r", {}, ""},
      {"UniDataFromSequence", "DATA 00001B\r", Range(27, 30), ""},
      {"MultiDataBeforeEndSendsNothing", "STATION IDX XX\rDATA 1B\r", {}, "OK\r\nOK\r\n"},
      {"MultiSelectThenEnd", "STATION IDX XX\rSELECT BHZ\rDATA 0\rEND\r", Range(0, 30, 3), "OK\r\nOK\r\nOK\r\n"},
      {"NegativeSelector", "SELECT !BH?\rDATA 0x10\r", Range(17, 30, 3), "OK\r\n"},
      {"SequenceOlderThanRingStartsAtOldest", "DATA FFFFF0\r", Range(0, 30), ""},
      {"FetchEndsWithEnd", "FETCH 19\r", Range(25, 30), "END"},
      {"DataAll", "DATA ALL\r", Range(0, 30), ""},
      // Records of 10 s: 12:00:20 to 12:00:45 covers seconds 20..45 of each stream.
      {"TimeWindowEndsOnceEveryStreamPassedItsEnd", "TIME 2026,1,15,12,0,20 2026,1,15,12,0,45\r", Range(6, 15), "END"},
  };
  for (const auto& [name, commands, expected, replies] : cases) {
    SCOPED_TRACE(name);
    SeedLinkSession s(ring, Identity());
    const std::string bytes = Drain(s, commands);
    // Replies come first, packets after.
    const size_t firstPacket = std::min(bytes.find("SL0"), bytes.size());
    std::string rest;
    const std::vector<Packet> packets = SplitPackets(bytes.substr(firstPacket), &rest);
    EXPECT_EQ(Sequences(packets), expected);
    EXPECT_EQ(bytes.substr(0, firstPacket) + rest, replies);
    for (const Packet& p : packets) EXPECT_EQ(p.record, Bytes(recs[p.Seq()]));
  }
}

TEST(SessionStreaming, ResumingClientGetsExactlyTheMissedRecordsAcrossARestart) {
  TempDir dir;
  const std::vector<MseedRecord> recs = TestRecords(70);
  {
    SeedLinkRing ring(dir.Path("station.ring"));
    ring.Load();
    for (int i = 0; i < 40; ++i) ring.Push(recs[i]);
    SeedLinkSession client(ring, Identity());
    const std::vector<Packet> got = SplitPackets(Drain(client, "DATA 0\r"));
    ASSERT_EQ(Sequences(got), Range(0, 40));
    for (int i = 40; i < 55; ++i) ring.Push(recs[i]);  // while the client is away
    ring.Drain();
  }
  // The station restarts; a torn packet at the end of the file is ignored.
  std::ofstream(dir.Path("station.ring"), std::ios::binary | std::ios::app) << "SL00003";
  SeedLinkRing ring(dir.Path("station.ring"));
  ring.Load();
  EXPECT_EQ(ring.NextSeq(), 55u);
  for (int i = 55; i < 70; ++i) ring.Push(recs[i]);
  SeedLinkSession client(ring, Identity());
  const std::vector<Packet> got = SplitPackets(Drain(client, "DATA 000028\r"));  // the one after the last seen
  EXPECT_EQ(Sequences(got), Range(40, 70));
  for (const Packet& p : got) EXPECT_EQ(p.record, Bytes(recs[p.Seq()]));
}

TEST(Selectors, MatchLikeTheReferenceServers) {
  for (const auto& [selector, location, channel, match] :
       {std::tuple{"BH?", "00", "BHN", true}, {"??BHZ", "", "BHZ", true}, {"00BHZ", "", "BHZ", false},
        {"--BHZ", "", "BHZ", true}, {"BHZ.D", "", "BHZ", true}, {"BHZ.L", "", "BHZ", false}}) {
    SCOPED_TRACE(selector);
    Selector s;
    ASSERT_TRUE(ParseSelector(selector, s));
    EXPECT_EQ(s.Matches(location, channel, 'D'), match);
  }
}

}  // namespace
