#include <gtest/gtest.h>
#include <libmseed.h>

#include <random>

#include "seedlink/session.h"
#include "seedlink_test_support.h"
#include "support/temp_dir.h"

namespace {

SeedLinkIdentity Identity() {
  SeedLinkIdentity id;
  id.Network = "XX";
  id.Station = "IDX";
  id.Description = "Velkor station IDX";
  id.Software = "velkor 0.1.0";
  id.Organization = "Velkor station IDX";
  return id;
}

std::string Send(SeedLinkSession& s, const std::string& bytes) {
  s.Output().clear();
  s.Receive(bytes.data(), bytes.size());
  std::string out = s.Output();
  s.Output().clear();
  return out;
}

std::string Drain(SeedLinkSession& s) {
  std::string all;
  while (s.Pump(1 << 20) || !s.Output().empty()) {
    all += s.Output();
    s.Output().clear();
  }
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
  if (!c.uni) ASSERT_EQ(Send(s, "STATION IDX XX\r"), "OK\r\n");
  EXPECT_EQ(Send(s, c.input), c.reply);
}

INSTANTIATE_TEST_SUITE_P(
    Handshake, Commands,
    ::testing::Values(
        CommandCase{"Hello", "HELLO\r",
                    "SeedLink v3.1 (velkor 0.1.0) :: SLPROTO:3.1\r\nVelkor station IDX\r\n", true},
        CommandCase{"HelloLowerCaseCrLf", "hello\r\n",
                    "SeedLink v3.1 (velkor 0.1.0) :: SLPROTO:3.1\r\nVelkor station IDX\r\n", true},
        CommandCase{"EmptyLinesGetNoReply", "\r\n\n\r", "", true},
        CommandCase{"Cat", "CAT\r", "XX IDX Velkor station IDX\nEND", true},
        CommandCase{"StationTwoSpaces", "STATION  IDX  XX\r", "OK\r\n", true},
        CommandCase{"StationDefaultNetwork", "STATION idx\n", "OK\r\n", true},
        CommandCase{"StationUnknown", "STATION ABC XX\r", "ERROR\r\n", true},
        CommandCase{"StationOtherNetwork", "STATION IDX GE\r", "ERROR\r\n", true},
        CommandCase{"SelectChannel", "SELECT BH?\r", "OK\r\n"},
        CommandCase{"SelectLocationType", "SELECT 00BHZ.D\r", "OK\r\n"},
        CommandCase{"SelectBlankLocation", "SELECT --BHZ\r", "OK\r\n"},
        CommandCase{"SelectNegative", "SELECT !HYP\r", "OK\r\n"},
        CommandCase{"SelectClears", "SELECT\r", "OK\r\n"},
        CommandCase{"SelectTooShort", "SELECT BH\r", "ERROR\r\n"},
        CommandCase{"SelectBadType", "SELECT BHZ.X\r", "ERROR\r\n"},
        CommandCase{"SelectBadChar", "SELECT B*Z\r", "ERROR\r\n"},
        CommandCase{"DataPlain", "DATA\r", "OK\r\n"},
        CommandCase{"DataObsPySequence", "DATA 0x1a\r", "OK\r\n"},
        CommandCase{"DataSequenceAndTime", "DATA 00001A 2026,1,15,12,0,0\r", "OK\r\n"},
        CommandCase{"DataBadSequence", "DATA 00G01A\r", "ERROR\r\n"},
        CommandCase{"DataBadTime", "DATA 1A 2026,13,15,12,0,0\r", "ERROR\r\n"},
        CommandCase{"FetchPaddedTime", "FETCH 1A 2026,01,15,12,00,00\r", "OK\r\n"},
        CommandCase{"TimeWindow", "TIME 2026,1,15,12,0,0 2026,1,15,12,1,0\r", "OK\r\n"},
        CommandCase{"TimeEndBeforeBegin", "TIME 2026,1,15,12,1,0 2026,1,15,12,0,0\r",
                    "ERROR\r\n"},
        CommandCase{"TimeFiveFields", "TIME 2026,1,15,12,0\r", "ERROR\r\n"},
        CommandCase{"Batch", "BATCH\r", "ERROR\r\n"},
        CommandCase{"Capabilities", "CAPABILITIES EXTREPLY\r", "ERROR\r\n"},
        CommandCase{"InfoWithoutLevel", "INFO\r", "ERROR\r\n"},
        CommandCase{"Unknown", "FOO BAR\r", "ERROR\r\n"},
        CommandCase{"EndWithoutStation", "END\r", "ERROR\r\n", true},
        CommandCase{"TwoCommandsOneSegment", "SELECT BHZ\rSELECT BHN\r", "OK\r\nOK\r\n"}),
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
    MSRecord* msr = nullptr;
    std::string rec = packets[i].record;
    EXPECT_EQ(msr_unpack(rec.data(), kMseedRecordLength, &msr, 1, 0), MS_NOERROR);
    if (!msr) continue;
    text.append(static_cast<const char*>(msr->datasamples), msr->numsamples);
    if (channel) *channel = msr->channel;
    msr_free(&msr);
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

std::vector<uint32_t> Sequences(const std::vector<Packet>& packets) {
  std::vector<uint32_t> out;
  for (const Packet& p : packets) out.push_back(std::stoul(p.header.substr(2), nullptr, 16));
  return out;
}

std::vector<uint32_t> Range(uint32_t from, uint32_t to) {
  std::vector<uint32_t> v;
  for (uint32_t i = from; i < to; ++i) v.push_back(i);
  return v;
}

TEST(SessionStreaming, StartPointsSelectorsAndEndMarkers) {
  SeedLinkRing ring;
  const std::vector<MseedRecord> recs = TestRecords(60);
  for (int i = 0; i < 30; ++i) ring.Push(recs[i]);
  struct Case {
    const char* name;
    const char* commands;
    std::vector<uint32_t> expected;
    const char* rest;
  };
  const Case cases[] = {
      {"UniDataNoBacklog", "DATA\r", {}, ""},
      {"UniDataFromSequence", "DATA 00001B\r", Range(27, 30), ""},
      {"MultiDataBeforeEndSendsNothing", "STATION IDX XX\rDATA 1B\r", {}, "OK\r\nOK\r\n"},
      {"MultiSelectThenEnd", "STATION IDX XX\rSELECT BHZ\rDATA 0\rEND\r", {0, 3, 6, 9, 12, 15, 18, 21, 24, 27}, "OK\r\nOK\r\nOK\r\n"},
      {"NegativeSelector", "SELECT !BH?\rDATA 0x10\r", {17, 20, 23, 26, 29}, "OK\r\n"},
      {"SequenceOlderThanRingStartsAtOldest", "DATA FFFFF0\r", Range(0, 30), ""},
      {"FetchEndsWithEnd", "FETCH 19\r", Range(25, 30), "END"},
      {"DataAll", "DATA ALL\r", Range(0, 30), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SeedLinkSession s(ring, Identity());
    std::string bytes = Send(s, c.commands);
    bytes += Drain(s);
    // Replies come first, packets after.
    std::string rest;
    const size_t firstPacket = bytes.find("SL0");
    const std::string replies = bytes.substr(0, std::min(firstPacket, bytes.size()));
    const std::vector<Packet> packets =
        SplitPackets(firstPacket == std::string::npos ? "" : bytes.substr(firstPacket), &rest);
    EXPECT_EQ(Sequences(packets), c.expected);
    EXPECT_EQ(replies + rest, c.rest);
    for (const Packet& p : packets) {
      const uint32_t seq = std::stoul(p.header.substr(2), nullptr, 16);
      EXPECT_EQ(p.record, std::string(recs[seq].Data.data(), kMseedRecordLength));
    }
  }
}

TEST(SessionStreaming, TimeWindowEndsOnceEveryStreamPassedItsEnd) {
  SeedLinkRing ring;
  const std::vector<MseedRecord> recs = TestRecords(60);
  for (const MseedRecord& r : recs) ring.Push(r);
  SeedLinkSession s(ring, Identity());
  // Records of 10 s: 12:00:20 to 12:00:45 covers seconds 20..45 of each stream.
  std::string bytes = Send(s, "TIME 2026,1,15,12,0,20 2026,1,15,12,0,45\r");
  bytes += Drain(s);
  std::string rest;
  const std::vector<Packet> packets = SplitPackets(bytes, &rest);
  EXPECT_EQ(rest, "END");
  EXPECT_EQ(packets.size(), 9u);  // three records of each stream
  for (const Packet& p : packets) {
    const MseedRecord& r = recs[std::stoul(p.header.substr(2), nullptr, 16)];
    EXPECT_GT(r.EndUs(), kNoonUs + 20'000'000);
    EXPECT_LE(r.StartUs, kNoonUs + 45'000'000);
  }
}

TEST(SessionStreaming, ResumingClientGetsExactlyTheMissedRecordsAcrossARestart) {
  TempDir dir;
  const std::vector<MseedRecord> recs = TestRecords(90);
  uint32_t lastSeen = 0;
  {
    SeedLinkRing ring(dir.Path("station.ring"));
    ring.Load();
    for (int i = 0; i < 40; ++i) ring.Push(recs[i]);
    SeedLinkSession client(ring, Identity());
    std::string bytes = Send(client, "DATA 0\r");
    bytes += Drain(client);
    const std::vector<Packet> got = SplitPackets(bytes);
    ASSERT_EQ(got.size(), 40u);
    lastSeen = Sequences(got).back();
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
  char command[32];
  std::snprintf(command, sizeof command, "DATA %06X\r", lastSeen + 1);
  std::string bytes = Send(client, command);
  bytes += Drain(client);
  const std::vector<Packet> got = SplitPackets(bytes);
  EXPECT_EQ(Sequences(got), Range(40, 70));
  for (const Packet& p : got)
    EXPECT_EQ(p.record, std::string(recs[Sequences({p})[0]].Data.data(), kMseedRecordLength));
}

TEST(Selectors, MatchLikeTheReferenceServers) {
  struct Case {
    const char* selector;
    const char* location;
    const char* channel;
    bool match;
  } cases[] = {{"BHZ", "", "BHZ", true},     {"BH?", "00", "BHN", true},
               {"??BHZ", "", "BHZ", true},   {"00BHZ", "", "BHZ", false},
               {"--BHZ", "", "BHZ", true},   {"BHZ.D", "", "BHZ", true},
               {"BHZ.L", "", "BHZ", false},  {"HYP", "", "BHZ", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.selector);
    Selector s;
    ASSERT_TRUE(ParseSelector(c.selector, s));
    EXPECT_EQ(s.Matches(c.location, c.channel, 'D'), c.match);
  }
}

}  // namespace
