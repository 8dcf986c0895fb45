#include "seedlink/server.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <list>

namespace {

std::string AddressText(const QTcpSocket* s) {
  QHostAddress a = s->peerAddress();
  bool ok = false;
  const QHostAddress v4(a.toIPv4Address(&ok));
  return (ok ? v4 : a).toString().toStdString();
}

}  // namespace

bool ParseAllowList(const std::string& text, std::vector<std::pair<QHostAddress, int>>& out) {
  out.clear();
  std::string item;
  auto flush = [&]() {
    if (item.empty()) return true;
    const QString q = QString::fromStdString(item);
    item.clear();
    if (q.contains('/')) {
      const auto subnet = QHostAddress::parseSubnet(q);
      if (subnet.first.isNull()) return false;
      out.push_back(subnet);
    } else {
      QHostAddress a;
      if (!a.setAddress(q)) return false;
      out.push_back({a, a.protocol() == QAbstractSocket::IPv6Protocol ? 128 : 32});
    }
    return true;
  };
  for (char c : text) {
    if (c == ',' || c == ' ' || c == ';' || c == '\t') {
      if (!flush()) return false;
    } else {
      item += c;
    }
  }
  return flush();
}

struct SeedLinkServer::Worker : QObject {
  struct Client {
    QTcpSocket* socket = nullptr;
    std::unique_ptr<SeedLinkSession> session;
    std::string address;
    int64_t connectedMs = 0;
    int64_t progressMs = 0;  // last time the client took bytes (or connected)
  };

  SeedLinkServer* owner = nullptr;
  QTcpServer* server = nullptr;
  QTimer* timer = nullptr;
  std::list<Client> clients;
  std::vector<std::pair<QHostAddress, int>> allow;
  std::atomic<bool> wakePending{false};

  int64_t Now() const { return owner->m_options.clock->NowUnixMs(); }
  void Log(const std::string& line) const {
    if (owner->m_options.log) owner->m_options.log(line);
  }

  bool Allowed(const QHostAddress& peer) const {
    if (allow.empty()) return true;
    bool ok = false;
    const quint32 v4 = peer.toIPv4Address(&ok);
    const QHostAddress a = ok ? QHostAddress(v4) : peer;
    for (const auto& subnet : allow)
      if (a.isInSubnet(subnet)) return true;
    return false;
  }

  void Accept() {
    while (QTcpSocket* s = server->nextPendingConnection()) {
      const std::string address = AddressText(s);
      if (!Allowed(s->peerAddress())) {
        Log("Net: SeedLink connection from " + address + " refused (not allowed).");
        s->abort();
        s->deleteLater();
        continue;
      }
      if (static_cast<int>(clients.size()) >= kMaxSeedLinkClients) {
        Log("Net: SeedLink connection from " + address + " refused (too many clients).");
        s->abort();
        s->deleteLater();
        continue;
      }
      clients.push_back({});
      auto it = std::prev(clients.end());
      it->socket = s;
      it->session = std::make_unique<SeedLinkSession>(owner->m_ring, owner->m_identity);
      it->address = address;
      it->connectedMs = it->progressMs = Now();
      owner->m_clientCount.store(static_cast<int>(clients.size()));
      Client* c = &*it;
      QObject::connect(s, &QTcpSocket::readyRead, this, [this, c] { OnRead(*c); });
      QObject::connect(s, &QTcpSocket::bytesWritten, this, [this, c](qint64) {
        c->progressMs = Now();
        Feed(*c);
      });
      QObject::connect(s, &QTcpSocket::disconnected, this, [this, c] { Remove(*c, ""); });
    }
  }

  void OnRead(Client& c) {
    const QByteArray data = c.socket->readAll();
    c.session->Receive(data.constData(), static_cast<size_t>(data.size()));
    Feed(c);
  }

  // Sends what the session holds and tops it up from the ring while the
  // socket's own buffer stays under the budget.
  void Feed(Client& c) {
    SeedLinkSession& s = *c.session;
    if (c.socket->bytesToWrite() < static_cast<qint64>(kClientSendBudget))
      s.Pump(kClientSendBudget);
    if (!s.Output().empty()) {
      c.socket->write(s.Output().data(), static_cast<qint64>(s.Output().size()));
      s.Output().clear();
    }
    if (s.Overrun()) return Remove(c, "dropped: too slow, its records left the ring");
    // Only replies it keeps asking for and never reads can pile up this far.
    if (c.socket->bytesToWrite() > static_cast<qint64>(kMaxClientBacklog))
      return Remove(c, "dropped: it does not read its replies");
    if (s.CloseRequested()) {
      c.socket->disconnectFromHost();
      return;
    }
  }

  void FeedAll() {
    wakePending.store(false);
    for (auto it = clients.begin(); it != clients.end();) {
      Client& c = *it++;  // Feed may remove c
      if (c.session->Streaming()) Feed(c);
    }
  }

  void Remove(Client& c, const std::string& why) {
    for (auto it = clients.begin(); it != clients.end(); ++it) {
      if (&*it != &c) continue;
      if (!why.empty()) Log("Net: SeedLink client " + c.address + " " + why + ".");
      QTcpSocket* s = c.socket;
      QObject::disconnect(s, nullptr, this, nullptr);
      s->abort();
      s->deleteLater();
      clients.erase(it);
      owner->m_clientCount.store(static_cast<int>(clients.size()));
      return;
    }
  }

  void Check() {
    const int64_t now = Now();
    const SeedLinkServerOptions& o = owner->m_options;
    for (auto it = clients.begin(); it != clients.end();) {
      Client& c = *it++;
      if (!c.session->Streaming() && now - c.connectedMs > o.HandshakeTimeoutMs)
        Remove(c, "closed: idle");
      else if (c.session->Streaming() && c.socket->bytesToWrite() > 0 &&
               now - c.progressMs > o.StallTimeoutMs)
        Remove(c, "dropped: stalled");
    }
  }
};

SeedLinkServer::SeedLinkServer(SeedLinkRing& ring, SeedLinkIdentity identity,
                               SeedLinkServerOptions options)
    : m_ring(ring), m_identity(std::move(identity)), m_options(std::move(options)) {
  if (!m_options.clock) {
    m_systemClock = std::make_unique<SystemClock>();
    m_options.clock = m_systemClock.get();
  }
}

SeedLinkServer::~SeedLinkServer() {
  m_ring.SetListener({});
  if (m_thread) {
    Worker* w = m_worker;
    QMetaObject::invokeMethod(
        w,
        [w] {
          // What the last records left in the sockets still goes out, briefly.
          w->FeedAll();
          for (auto& c : w->clients) QObject::disconnect(c.socket, nullptr, w, nullptr);
          QDeadlineTimer deadline(2000);
          for (auto& c : w->clients) {
            while (c.socket->bytesToWrite() > 0 && !deadline.hasExpired() &&
                   c.socket->waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
            }
            c.socket->abort();
          }
          w->clients.clear();
          delete w->server;
          delete w->timer;
        },
        Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_worker;
  }
}

bool SeedLinkServer::Start() {
  if (m_thread) return m_port != 0;
  std::vector<std::pair<QHostAddress, int>> allow;
  if (!ParseAllowList(m_options.Allow, allow)) {
    if (m_options.log) m_options.log("Net: SeedLink allow-list not understood: " + m_options.Allow);
    return false;
  }
  m_thread = std::make_unique<QThread>();
  m_worker = new Worker;
  m_worker->owner = this;
  m_worker->allow = std::move(allow);
  m_worker->moveToThread(m_thread.get());
  m_thread->start();
  bool ok = false;
  Worker* w = m_worker;
  QMetaObject::invokeMethod(
      w,
      [this, w, &ok] {
        w->server = new QTcpServer;
        w->server->setMaxPendingConnections(kMaxSeedLinkClients);
        QObject::connect(w->server, &QTcpServer::newConnection, w, [w] { w->Accept(); });
        ok = w->server->listen(QHostAddress::Any, m_options.Port);
        if (ok) {
          m_port = w->server->serverPort();
          w->timer = new QTimer;
          QObject::connect(w->timer, &QTimer::timeout, w, [w] { w->Check(); });
          w->timer->start(1000);
        } else if (m_options.log) {
          m_options.log("Net: SeedLink server cannot listen on port " +
                        std::to_string(m_options.Port) + ": " +
                        w->server->errorString().toStdString());
        }
      },
      Qt::BlockingQueuedConnection);
  if (!ok) return false;
  m_ring.SetListener([w] {
    // One wake-up at a time: a burst of records costs one pass over the clients.
    if (!w->wakePending.exchange(true))
      QMetaObject::invokeMethod(w, [w] { w->FeedAll(); }, Qt::QueuedConnection);
  });
  return true;
}

void SeedLinkServer::CheckClients() {
  if (!m_thread) return;
  Worker* w = m_worker;
  QMetaObject::invokeMethod(w, [w] { w->Check(); }, Qt::BlockingQueuedConnection);
}
