#pragma once
// Package delivery: the package folder over HTTP/1.1 (GET and HEAD, single byte ranges for
// resumed downloads), through cpp-httplib with a bounded pool of worker threads.
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "package_folder.h"
#include "server_log.h"

namespace httplib {
class Server;
}

namespace cv2 {

class PackageServer {
 public:
  PackageServer(const std::string& folder, ServerLog& log, int threads = 4);
  ~PackageServer();
  PackageServer(const PackageServer&) = delete;
  PackageServer& operator=(const PackageServer&) = delete;

  // Raises ServerError with the reason when the address cannot be bound (port 0: any free one).
  void Bind(const std::string& address, uint16_t port);
  uint16_t Port() const { return m_port; }
  void Start();
  void Stop();

 private:
  PackageFolder m_folder;
  ServerLog& m_log;
  std::unique_ptr<httplib::Server> m_http;
  std::thread m_thread;
  uint16_t m_port = 0;
};

}  // namespace cv2
