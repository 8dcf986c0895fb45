#pragma once
// The SeedLink server: a TCP listener on its own thread serving the ring to
// up to 32 clients. Acquisition never waits for it: the ring is the only
// thing the two share, and each client is fed only as fast as it reads.
#include <QHostAddress>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "seedlink/session.h"

class QThread;
class QObject;

constexpr uint16_t kDefaultSeedLinkPort = 18000;
constexpr int kMaxSeedLinkClients = 32;
// Bytes handed to a client's socket ahead of what it has taken.
constexpr size_t kClientSendBudget = 64 * 1024;
// Unsent bytes at which a client is dropped.
constexpr size_t kMaxClientBacklog = 4 * 1024 * 1024;

struct SeedLinkServerOptions {
  uint16_t Port = kDefaultSeedLinkPort;  // 0: any free port (tests)
  std::string Allow;  // client addresses or subnets ("10.0.0.0/8"), blank or comma separated; empty: all
  int64_t HandshakeTimeoutMs = 300'000;  // a client that never starts streaming
  int64_t StallTimeoutMs = 600'000;      // a streaming client that takes nothing
  const Clock* clock = nullptr;          // defaults to the system clock
  std::function<void(const std::string&)> log;  // one event-log line, any thread
};

// Parses the allow-list; false when an entry is not an address or subnet.
bool ParseAllowList(const std::string& text, std::vector<std::pair<QHostAddress, int>>& out);

class SeedLinkServer {
 public:
  SeedLinkServer(SeedLinkRing& ring, SeedLinkIdentity identity, SeedLinkServerOptions options);
  ~SeedLinkServer();  // closes every connection and ends the thread
  SeedLinkServer(const SeedLinkServer&) = delete;
  SeedLinkServer& operator=(const SeedLinkServer&) = delete;

  // Starts the thread and listens; false (and logged) when the port cannot be bound.
  bool Start();
  uint16_t Port() const { return m_port; }
  int ClientCount() const { return m_clientCount.load(); }
  // Runs the timeout checks now (they also run every second).
  void CheckClients();

 private:
  struct Worker;
  SeedLinkRing& m_ring;
  SeedLinkIdentity m_identity;
  SeedLinkServerOptions m_options;
  std::unique_ptr<SystemClock> m_systemClock;
  std::unique_ptr<QThread> m_thread;
  Worker* m_worker = nullptr;  // lives on m_thread
  uint16_t m_port = 0;
  std::atomic<int> m_clientCount{0};
};
