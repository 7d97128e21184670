#pragma once
// The session listener: a few event loops (one per processor by default), each an epoll set
// that owns its connections from accept to close. A session costs a socket and its small
// buffers, not a thread, so slow or silent clients tie up nothing; each readiness event reads
// at most one chunk before the loop turns to the next client, so a fast client cannot starve
// the others. The loops share the listening socket (EPOLLEXCLUSIVE wakes one of them per new
// connection) and each has its own store connection; sessions keep no state between them.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "catalogue_cache.h"
#include "error.h"
#include "server_log.h"
#include "server_store.h"
#include "session_dialogue.h"

namespace cv2 {

class ServerError : public Error {
 public:
  using Error::Error;
};

struct SessionServerOptions {
  std::string Address = "127.0.0.1";
  uint16_t Port = 80;                                // 0: any free port
  int Loops = 0;                                     // 0: one per processor
  std::chrono::milliseconds IdleTimeout{120000};     // silence from a client
  std::chrono::milliseconds SessionTimeout{600000};  // a whole session
  size_t MaxSessions = 10000;                        // open at once, over all loops
  size_t MaxBuffersInTransit = 256u << 20;           // client buffers held at once, in bytes
  DialogueLimits Limits;
};

class SessionServer {
 public:
  using StoreFactory = std::function<std::unique_ptr<ServerStore>()>;
  // The package address for a session, given the server address the client connected to.
  using PackagesUrl = std::function<std::string(const std::string& localHost)>;

  SessionServer(SessionServerOptions options, StoreFactory stores, CatalogueCache& catalogue,
                ServerLog& log, PackagesUrl packagesUrl);
  ~SessionServer();
  SessionServer(const SessionServer&) = delete;
  SessionServer& operator=(const SessionServer&) = delete;

  // Binds and listens; raises ServerError with the reason ("cannot listen on 127.0.0.1:80:
  // Permission denied").
  void Bind();
  uint16_t Port() const { return m_port; }
  // Starts the loops (Bind first). Each loop opens its store now, so a store that cannot be
  // opened is reported here.
  void Start();
  // Stops the loops and closes every session.
  void Stop();

 private:
  class Loop;

  SessionServerOptions m_options;
  StoreFactory m_stores;
  CatalogueCache& m_catalogue;
  ServerLog& m_log;
  PackagesUrl m_packagesUrl;
  int m_listen = -1;
  uint16_t m_port = 0;
  std::atomic<size_t> m_open{0};
  std::unique_ptr<BufferBudget> m_budget;
  std::vector<std::unique_ptr<Loop>> m_loops;
};

// Formats a host for a URL: IPv6 addresses in brackets.
std::string UrlHost(const std::string& host);

}  // namespace cv2
