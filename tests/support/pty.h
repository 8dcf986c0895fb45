#pragma once
// A pseudo-terminal pair: the port under test opens the slave by its path,
// the test plays the device on the master.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

class Pty {
 public:
  Pty() {
    char name[128] = {};
    EXPECT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    path = name;
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  }
  ~Pty() {
    if (master >= 0) close(master);
    if (slave >= 0) close(slave);
  }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  void Send(const std::string& s) const { ASSERT_EQ(write(master, s.data(), s.size()), (ssize_t)s.size()); }
  // What the port wrote, waiting for it on the descriptor (bounded).
  std::string Receive(std::size_t n) const {
    std::string out;
    for (int i = 0; i < 200 && out.size() < n; ++i) {
      pollfd p{master, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      char buf[256];
      const ssize_t got = read(master, buf, sizeof buf);
      if (got > 0) out.append(buf, static_cast<std::size_t>(got));
    }
    return out;
  }
  // Whatever has arrived, without waiting.
  std::string Pending() const {
    char buf[256];
    const ssize_t got = read(master, buf, sizeof buf);
    return got > 0 ? std::string(buf, static_cast<std::size_t>(got)) : std::string();
  }

  int master = -1, slave = -1;
  std::string path;
};
