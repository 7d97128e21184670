#include "session_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <unordered_map>

namespace cv2 {

namespace {
using Clock = std::chrono::steady_clock;

constexpr uint64_t kListenId = 0;
constexpr uint64_t kWakeId = 1;
constexpr size_t kReadChunk = 64 * 1024;
// A client that sends without reading is not read from while this much waits for it.
constexpr size_t kMaxPendingOutput = 256 * 1024;
constexpr int kAcceptBurst = 32;

std::string HostOf(const sockaddr_storage& addr) {
  char text[INET6_ADDRSTRLEN] = "";
  if (addr.ss_family == AF_INET)
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(addr).sin_addr, text, sizeof text);
  else if (addr.ss_family == AF_INET6)
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(addr).sin6_addr, text, sizeof text);
  return text;
}

uint16_t PortOf(const sockaddr_storage& addr) {
  if (addr.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(addr).sin_port);
  if (addr.ss_family == AF_INET6)
    return ntohs(reinterpret_cast<const sockaddr_in6&>(addr).sin6_port);
  return 0;
}
}  // namespace

std::string UrlHost(const std::string& host) {
  return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

class SessionServer::Loop {
 public:
  Loop(SessionServer& owner, std::unique_ptr<ServerStore> store)
      : m_owner(owner), m_store(std::move(store)), m_readBuffer(kReadChunk) {
    m_epoll = epoll_create1(EPOLL_CLOEXEC);
    m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_epoll < 0 || m_wake < 0)
      throw ServerError(std::string("cannot start a loop: ") + strerror(errno));
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kWakeId;
    epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wake, &ev);
    if (!WatchListener())
      throw ServerError(std::string("cannot watch the listening socket: ") + strerror(errno));
  }

  ~Loop() {
    for (auto& [id, conn] : m_conns) {
      close(conn->Fd);
      m_owner.m_open--;
    }
    if (m_epoll >= 0) close(m_epoll);
    if (m_wake >= 0) close(m_wake);
  }

  void Start() {
    m_thread = std::thread([this] { Run(); });
  }
  bool WatchListener() {
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLEXCLUSIVE;
    ev.data.u64 = kListenId;
    return epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_owner.m_listen, &ev) == 0;
  }

  void Stop() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(m_wake, &one, sizeof one);
    if (m_thread.joinable()) m_thread.join();
  }

 private:
  struct Connection {
    int Fd;
    uint64_t Id;
    SessionDialogue Dialogue;
    Clock::time_point Started;
    Clock::time_point LastActive;
    uint32_t Interest = 0;
  };

  void Run() {
    const auto& options = m_owner.m_options;
    const auto sweepEvery =
        std::clamp<Clock::duration>(std::min(options.IdleTimeout, options.SessionTimeout) / 4,
                                    std::chrono::milliseconds(5), std::chrono::seconds(1));
    auto nextSweep = Clock::now() + sweepEvery;
    epoll_event events[64];
    for (;;) {
      const auto wait =
          std::chrono::duration_cast<std::chrono::milliseconds>(nextSweep - Clock::now());
      const int n =
          epoll_wait(m_epoll, events, 64, static_cast<int>(std::max<int64_t>(0, wait.count()) + 1));
      if (n < 0 && errno != EINTR) {
        m_owner.m_log.Line(std::string("session loop failed: ") + strerror(errno));
        return;
      }
      for (int i = 0; i < n; ++i) {
        const uint64_t id = events[i].data.u64;
        if (id == kWakeId) return;
        if (id == kListenId) {
          Accept();
          continue;
        }
        auto it = m_conns.find(id);
        if (it != m_conns.end()) OnEvent(*it->second, events[i].events);
      }
      if (m_acceptPausedUntil && Clock::now() >= *m_acceptPausedUntil) {
        m_acceptPausedUntil.reset();
        WatchListener();
      }
      if (Clock::now() >= nextSweep) {
        Sweep();
        nextSweep = Clock::now() + sweepEvery;
      }
    }
  }

  void Accept() {
    for (int i = 0; i < kAcceptBurst; ++i) {
      sockaddr_storage peer{};
      socklen_t len = sizeof peer;
      const int fd = accept4(m_owner.m_listen, reinterpret_cast<sockaddr*>(&peer), &len,
                             SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) {
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
          // The connection stays queued and the socket stays readable: stop watching it for a
          // moment instead of spinning on it.
          LogSometimes(std::string("cannot accept connections for now: ") + strerror(errno));
          epoll_ctl(m_epoll, EPOLL_CTL_DEL, m_owner.m_listen, nullptr);
          m_acceptPausedUntil = Clock::now() + std::chrono::milliseconds(100);
        }
        return;  // EAGAIN: another loop took it, or none is left
      }
      if (m_owner.m_open.load() >= m_owner.m_options.MaxSessions) {
        close(fd);
        LogSometimes("refused a connection: " + std::to_string(m_owner.m_options.MaxSessions) +
                     " sessions are open");
        continue;
      }
      const int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      sockaddr_storage local{};
      socklen_t localLen = sizeof local;
      getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLen);
      const std::string peerName = UrlHost(HostOf(peer)) + ":" + std::to_string(PortOf(peer));
      const uint64_t id = m_nextId++;
      const auto now = Clock::now();
      auto conn = std::unique_ptr<Connection>(new Connection{
          fd, id,
          SessionDialogue(*m_store, m_owner.m_catalogue, m_owner.m_log, m_owner.m_options.Limits,
                          peerName, PackagesUrlFor(HostOf(local))),
          now, now});
      epoll_event ev{};
      ev.events = EPOLLIN | EPOLLRDHUP;
      ev.data.u64 = id;
      if (epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &ev) != 0) {
        close(fd);
        continue;
      }
      conn->Interest = ev.events;
      m_owner.m_open++;
      m_conns.emplace(id, std::move(conn));
    }
  }

  void OnEvent(Connection& conn, uint32_t events) {
    if (events & EPOLLOUT) {
      if (!Flush(conn)) return CloseConnection(conn);
    }
    if ((events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) && !conn.Dialogue.Finished() &&
        (conn.Interest & EPOLLIN)) {
      const ssize_t got = recv(conn.Fd, m_readBuffer.data(), m_readBuffer.size(), 0);
      if (got > 0) {
        conn.LastActive = Clock::now();
        conn.Dialogue.Receive(std::string_view(m_readBuffer.data(), static_cast<size_t>(got)));
      } else if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        conn.Dialogue.PeerClosed();
        return CloseConnection(conn);
      }
    } else if ((events & (EPOLLHUP | EPOLLERR)) && conn.Dialogue.Finished()) {
      return CloseConnection(conn);
    }
    if (!Flush(conn)) return CloseConnection(conn);
    if (conn.Dialogue.Finished() && conn.Dialogue.Output().empty()) return CloseConnection(conn);
    UpdateInterest(conn);
  }

  // Sends what the dialogue has for the client; false when the connection is broken.
  bool Flush(Connection& conn) {
    std::string& out = conn.Dialogue.Output();
    size_t sent = 0;
    while (sent < out.size()) {
      const ssize_t n = send(conn.Fd, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
      if (n > 0) {
        sent += static_cast<size_t>(n);
        conn.LastActive = Clock::now();
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      if (n < 0 && errno == EINTR) continue;
      conn.Dialogue.PeerClosed();
      return false;
    }
    out.erase(0, sent);
    return true;
  }

  void UpdateInterest(Connection& conn) {
    const std::string& out = conn.Dialogue.Output();
    uint32_t want = 0;
    if (!conn.Dialogue.Finished() && out.size() < kMaxPendingOutput) want |= EPOLLIN | EPOLLRDHUP;
    if (!out.empty()) want |= EPOLLOUT;
    if (want == conn.Interest) return;
    epoll_event ev{};
    ev.events = want;
    ev.data.u64 = conn.Id;
    epoll_ctl(m_epoll, EPOLL_CTL_MOD, conn.Fd, &ev);
    conn.Interest = want;
  }

  void CloseConnection(Connection& conn) {
    epoll_ctl(m_epoll, EPOLL_CTL_DEL, conn.Fd, nullptr);
    close(conn.Fd);
    m_owner.m_open--;
    m_conns.erase(conn.Id);  // destroys conn
  }

  void Sweep() {
    const auto now = Clock::now();
    const auto& options = m_owner.m_options;
    std::vector<Connection*> expired;
    for (auto& [id, conn] : m_conns) {
      if (now - conn->LastActive > options.IdleTimeout) {
        conn->Dialogue.TimedOut("no data for " + std::to_string(options.IdleTimeout.count()) +
                                " ms");
        expired.push_back(conn.get());
      } else if (now - conn->Started > options.SessionTimeout) {
        conn->Dialogue.TimedOut("session longer than " +
                                std::to_string(options.SessionTimeout.count()) + " ms");
        expired.push_back(conn.get());
      }
    }
    for (Connection* conn : expired) CloseConnection(*conn);
  }

  std::string PackagesUrlFor(const std::string& localHost) {
    auto it = m_urls.find(localHost);
    if (it == m_urls.end()) it = m_urls.emplace(localHost, m_owner.m_packagesUrl(localHost)).first;
    return it->second;
  }

  // At most one such line a second, so that a flood does not flood the log.
  void LogSometimes(const std::string& line) {
    const auto now = Clock::now();
    if (now - m_lastWarning < std::chrono::seconds(1)) return;
    m_lastWarning = now;
    m_owner.m_log.Line(line);
  }

  SessionServer& m_owner;
  std::unique_ptr<ServerStore> m_store;
  int m_epoll = -1;
  int m_wake = -1;
  std::thread m_thread;
  std::vector<char> m_readBuffer;
  std::unordered_map<uint64_t, std::unique_ptr<Connection>> m_conns;
  std::unordered_map<std::string, std::string> m_urls;
  uint64_t m_nextId = 2;
  Clock::time_point m_lastWarning{};
  std::optional<Clock::time_point> m_acceptPausedUntil;
};

SessionServer::SessionServer(SessionServerOptions options, StoreFactory stores,
                             CatalogueCache& catalogue, ServerLog& log, PackagesUrl packagesUrl)
    : m_options(std::move(options)),
      m_stores(std::move(stores)),
      m_catalogue(catalogue),
      m_log(log),
      m_packagesUrl(std::move(packagesUrl)),
      m_budget(std::make_unique<BufferBudget>(m_options.MaxBuffersInTransit)) {
  m_options.Limits.Budget = m_budget.get();
}

SessionServer::~SessionServer() {
  Stop();
  if (m_listen >= 0) close(m_listen);
}

void SessionServer::Bind() {
  const std::string where = UrlHost(m_options.Address) + ":" + std::to_string(m_options.Port);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const int rc = getaddrinfo(m_options.Address.c_str(), std::to_string(m_options.Port).c_str(),
                             &hints, &found);
  if (rc != 0) throw ServerError("cannot listen on " + where + ": " + gai_strerror(rc));
  std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> guard(found, freeaddrinfo);
  const int fd = socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) throw ServerError("cannot listen on " + where + ": " + strerror(errno));
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (bind(fd, found->ai_addr, found->ai_addrlen) != 0 || listen(fd, SOMAXCONN) != 0) {
    const int err = errno;
    close(fd);
    throw ServerError("cannot listen on " + where + ": " + strerror(err));
  }
  sockaddr_storage bound{};
  socklen_t len = sizeof bound;
  getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len);
  m_port = PortOf(bound);
  m_listen = fd;
}

void SessionServer::Start() {
  if (m_listen < 0) Bind();
  int loops = m_options.Loops > 0
                  ? m_options.Loops
                  : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  for (int i = 0; i < loops; ++i) m_loops.push_back(std::make_unique<Loop>(*this, m_stores()));
  for (auto& loop : m_loops) loop->Start();
}

void SessionServer::Stop() {
  for (auto& loop : m_loops) loop->Stop();
  m_loops.clear();
}

}  // namespace cv2
