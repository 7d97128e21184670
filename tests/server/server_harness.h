#pragma once
// What the server tests share: a temporary folder, a scripted client peer on a real TCP
// connection, and a running session server over a real SQLite store. Every wait is bounded.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "catalogue_cache.h"
#include "server_log.h"
#include "session_server.h"
#include "sqlite_server_store.h"
#include "text_util.h"
#include "trans_record.h"
#include "zlib_codec.h"

namespace cv2::test {

class TempDir {
 public:
  TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "cv2server-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return m_path; }
  std::string File(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

// The client side of a session, driven step by step by a test.
class ScriptedClient {
 public:
  static constexpr int kTimeoutMs = 10000;

  explicit ScriptedClient(uint16_t port) {
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
      throw std::runtime_error("cannot connect to the server");
    const int one = 1;
    setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
  ~ScriptedClient() { Close(); }
  ScriptedClient(const ScriptedClient&) = delete;
  ScriptedClient& operator=(const ScriptedClient&) = delete;

  void Close() {
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
  }

  // False when the server has closed the connection.
  bool Send(std::string_view bytes) {
    while (!bytes.empty()) {
      ssize_t n = send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
  }
  bool SendLine(const std::string& line) { return Send(line + "\r\n"); }

  // The next line without its CR LF; nothing when the connection closed or the wait ran out.
  std::optional<std::string> ReadLine() {
    for (;;) {
      const size_t end = m_pending.find("\r\n");
      if (end != std::string::npos) {
        std::string line = m_pending.substr(0, end);
        m_pending.erase(0, end + 2);
        return line;
      }
      if (!Fill()) return std::nullopt;
    }
  }

  std::optional<std::string> ReadBytes(size_t n) {
    while (m_pending.size() < n)
      if (!Fill()) return std::nullopt;
    std::string out = m_pending.substr(0, n);
    m_pending.erase(0, n);
    return out;
  }

  // True when the server closes the connection (reading gives end of stream or a reset) within
  // the wait; any bytes it sends before are collected in Pending().
  bool WaitClosed() {
    while (Fill()) {
    }
    return m_closed;
  }
  const std::string& Pending() const { return m_pending; }

 private:
  bool Fill() {
    pollfd p{m_fd, POLLIN, 0};
    if (poll(&p, 1, kTimeoutMs) <= 0) return false;
    char buf[65536];
    ssize_t n = recv(m_fd, buf, sizeof buf, 0);
    if (n <= 0) {
      m_closed = true;
      return false;
    }
    m_pending.append(buf, static_cast<size_t>(n));
    return true;
  }

  int m_fd = -1;
  std::string m_pending;
  bool m_closed = false;
};

// A report as the client composes it: keyword lines, then record lines, CR LF after each.
inline std::string ReportText(const std::vector<std::string>& keywordLines,
                              std::vector<TTransRecord> records) {
  std::string text;
  for (const auto& line : keywordLines) text += line + "\r\n";
  for (auto& record : records) text += record.Transmition() + "\r\n";
  return text;
}

inline TTransRecord Device(const std::string& name, const std::vector<std::string>& ids,
                           const std::string& version) {
  TTransRecord r;
  r.DeviceName = name;
  r.HWID = Join(ids, "\r\n");
  r.Version = version;
  r.OSVersion = "0";
  return r;
}

inline CatalogueEntry Entry(const std::string& key, const std::vector<std::string>& ids,
                            const std::string& version,
                            std::vector<std::pair<std::string, std::string>> conditions = {}) {
  CatalogueEntry e;
  e.Fields.BaseKey = key;
  e.Fields.DeviceName = "catalogue name of " + key;
  e.Fields.Description = "Update " + key;
  e.Fields.Version = version;
  e.Fields.Location = "*http**zip\"{packages}/" + key + "/" + version + "/driver.zip\"";
  e.Ids = ids;
  e.Conditions = std::move(conditions);
  return e;
}

// The records of an update list text.
inline std::vector<TTransRecord> UpdateRecords(const std::string& list) {
  std::vector<TTransRecord> out;
  size_t pos = 0;
  while (pos < list.size()) {
    size_t end = list.find("\r\n", pos);
    if (end == std::string::npos) end = list.size();
    TTransRecord r;
    r.SetTransmition(list.substr(pos, end - pos));
    out.push_back(r);
    pos = end + 2;
  }
  return out;
}

// A session server on a free port of 127.0.0.1 over a store in a temporary folder.
class ServerHarness {
 public:
  static constexpr const char* kPackagesUrl = "http://packages.test:8080";

  explicit ServerHarness(SessionServerOptions options = DefaultOptions())
      : m_store(StoreFile(m_dir.Path())), m_log([this](const std::string& line) {
          std::lock_guard<std::mutex> lock(m_linesMutex);
          m_lines.push_back(line);
        }) {
    options.Address = "127.0.0.1";
    options.Port = 0;
    const std::string file = StoreFile(m_dir.Path());
    m_server = std::make_unique<SessionServer>(
        options, [file] { return std::make_unique<SqliteServerStore>(file); }, m_catalogue, m_log,
        [](const std::string&) { return std::string(kPackagesUrl); });
    m_server->Start();
  }
  ~ServerHarness() { m_server->Stop(); }

  static SessionServerOptions DefaultOptions() {
    SessionServerOptions o;
    o.Loops = 2;
    o.IdleTimeout = std::chrono::seconds(30);
    o.Limits.MaxBuffer = 1u << 20;
    o.Limits.MaxText = 4u << 20;
    return o;
  }

  uint16_t Port() const { return m_server->Port(); }
  SqliteServerStore& Store() { return m_store; }
  std::vector<std::string> LogLines() {
    std::lock_guard<std::mutex> lock(m_linesMutex);
    return m_lines;
  }
  // True when a log line containing the text appears within a few seconds (log lines of a
  // session may be written just after its connection closed).
  bool WaitForLog(const std::string& text) {
    for (int i = 0; i < 1000; ++i) {
      for (const auto& line : LogLines())
        if (line.find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

 private:
  TempDir m_dir;
  SqliteServerStore m_store;
  std::mutex m_linesMutex;
  std::vector<std::string> m_lines;
  ServerLog m_log;
  CatalogueCache m_catalogue;
  std::unique_ptr<SessionServer> m_server;
};

// Runs the main session of a known user up to the server's command line; returns that line.
inline std::optional<std::string> SendReport(ScriptedClient& client, uint32_t user,
                                             const std::string& reportText) {
  const std::string stream = ZlibCompress(reportText);
  client.SendLine("cv2_hardware size=" + HexUpper(static_cast<uint32_t>(stream.size()), 8) +
                  " user=" + HexUpper(user, 8) + " log");
  auto ready = client.ReadLine();
  if (ready != "cv2_ready_for_buffer") return ready;
  client.Send(stream);
  return client.ReadLine();
}

// The buffer announced by a "size=N" command line, taken and decompressed.
inline std::optional<std::string> TakeBuffer(ScriptedClient& client,
                                             const std::string& commandLine) {
  const size_t at = commandLine.find("size=");
  if (at == std::string::npos) return std::nullopt;
  const size_t n = std::stoul(commandLine.substr(at + 5));
  client.SendLine("cv2_ready_for_buffer");
  auto bytes = client.ReadBytes(n);
  if (!bytes) return std::nullopt;
  return ZlibDecompress(*bytes, 64u << 20);
}

}  // namespace cv2::test
