#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "seedlink/server.h"
#include "seedlink_test_support.h"

namespace {

// The server's log lines, gathered from its threads.
struct LogLines {
  std::mutex m;
  std::string all;
  SeedLinkServerOptions Options(const Clock* clock = nullptr, const std::string& allow = "") {
    return {.Port = 0, .Allow = allow, .clock = clock, .log = [this](const std::string& line) {
              std::lock_guard g(m);
              all += line + "\n";
            }};
  }
  bool Has(const std::string& part) {
    std::lock_guard g(m);
    return all.find(part) != std::string::npos;
  }
};

TEST(SeedLinkServer, StalledClientIsDroppedWhileTheOtherGetsEverything) {
  LogLines log;
  SeedLinkRing ring("", 300);
  SeedLinkServer server(ring, Identity(), log.Options());
  ASSERT_TRUE(server.Start());
  TcpClient stalled(server.Port(), 4096);
  TcpClient reader(server.Port());
  ASSERT_TRUE(stalled.Connected() && reader.Connected());
  for (TcpClient* c : {&stalled, &reader}) {
    c->Send("STATION IDX XX\rDATA 000000\r");
    ASSERT_EQ(c->Receive(8), "OK\r\nOK\r\n");
    c->Send("END\r");
  }
  // Far more than the kernel buffers of a loopback connection hold.
  const std::vector<MseedRecord> recs = TestRecords(16000);
  std::atomic<int> received{0};
  // The acquisition side pushes on; it never waits for the stalled client.
  std::thread acquisition([&] {
    for (int i = 0; i < static_cast<int>(recs.size()); ++i) {
      while (i - received.load() > 200) std::this_thread::yield();
      ring.Push(recs[i]);
    }
  });
  std::string bytes;
  while (bytes.size() < recs.size() * kSeedLinkPacketLength) {
    const std::string more = reader.Receive(kSeedLinkPacketLength * 10, 20'000);
    if (more.empty()) break;
    bytes += more;
    received = static_cast<int>(bytes.size() / kSeedLinkPacketLength);
  }
  acquisition.join();
  const std::vector<Packet> got = SplitPackets(bytes);
  ASSERT_EQ(Sequences(got), Range(0, static_cast<uint32_t>(recs.size())));
  for (const Packet& p : got) ASSERT_EQ(p.record, Bytes(recs[p.Seq()]));
  EXPECT_TRUE(stalled.WaitClosed());
  EXPECT_TRUE(log.Has("Net: SeedLink client 127.0.0.1 dropped: too slow"));
  EXPECT_EQ(server.ClientCount(), 1);
}

TEST(SeedLinkServer, LimitsAllowListAndIdleConnections) {
  LogLines log;
  ManualClock clock(1'768'478'400'000);
  SeedLinkRing ring;
  {
    SeedLinkServer server(ring, Identity(), log.Options(&clock));
    ASSERT_TRUE(server.Start());
    const std::string hello = HelloLine(Identity()) + "\r\n" + Identity().Organization + "\r\n";
    std::vector<std::unique_ptr<TcpClient>> clients;
    for (int i = 0; i < kMaxSeedLinkClients; ++i) {
      clients.push_back(std::make_unique<TcpClient>(server.Port()));
      clients.back()->Send("HELLO\r");
      ASSERT_EQ(clients.back()->Receive(hello.size()), hello) << i;
    }
    TcpClient extra(server.Port());
    EXPECT_TRUE(extra.WaitClosed());
    EXPECT_TRUE(log.Has("refused (too many clients)"));
    // Garbage does not hurt the others; idle ones are closed.
    clients[0]->Send(std::string(5000, '\x01') + "\r");
    EXPECT_EQ(clients[0]->Receive(7), "ERROR\r\n");
    clients[1]->Send("STATION IDX XX\rEND\r");
    EXPECT_EQ(clients[1]->Receive(4), "OK\r\n");
    clock.AdvanceMs(301'000);
    server.CheckClients();
    EXPECT_TRUE(clients[0]->WaitClosed());
    EXPECT_TRUE(log.Has("closed: idle"));
    EXPECT_EQ(server.ClientCount(), 1) << "the streaming client stays";
    // A client asking for INFO again and again without reading is dropped.
    TcpClient greedy(server.Port(), 4096);
    std::string asks;
    for (int i = 0; i < 40'000; ++i) asks += "INFO ID\r";
    greedy.Send(asks);
    EXPECT_TRUE(greedy.WaitClosed());
    EXPECT_TRUE(log.Has("dropped: it does not read its replies"));
  }
  SeedLinkServer guarded(ring, Identity(), log.Options(nullptr, "10.1.2.3, 192.168.0.0/16"));
  ASSERT_TRUE(guarded.Start());
  TcpClient refused(guarded.Port());
  EXPECT_TRUE(refused.WaitClosed());
  EXPECT_TRUE(log.Has("Net: SeedLink connection from 127.0.0.1 refused (not allowed)."));
  std::vector<std::pair<QHostAddress, int>> parsed;
  EXPECT_FALSE(ParseAllowList("10.1.2.x", parsed));
}

}  // namespace
