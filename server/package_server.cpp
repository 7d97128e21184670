#include "package_server.h"

#include <httplib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "session_server.h"
#include "text_util.h"

namespace cv2 {

namespace {
struct OpenFile {
  explicit OpenFile(int fd) : Fd(fd) {}
  ~OpenFile() { close(Fd); }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  int Fd;
};

const char* ContentType(const std::string& path) {
  auto ends = [&](const char* ext) {
    const size_t n = std::strlen(ext);
    return path.size() >= n && IEquals(std::string_view(path).substr(path.size() - n), ext);
  };
  if (ends(".html") || ends(".htm")) return "text/html; charset=utf-8";
  if (ends(".txt")) return "text/plain; charset=utf-8";
  if (ends(".zip")) return "application/zip";
  return "application/octet-stream";
}

// The one range of a request as [first, last] within size, or nothing when the request asks
// for the whole file. False when the range cannot be satisfied.
bool ResolveRange(const httplib::Request& req, size_t size, bool& partial, size_t& first,
                  size_t& last) {
  partial = false;
  // Several ranges are answered with the whole file, which the protocol allows.
  if (req.ranges.size() != 1) return true;
  const auto [a, b] = req.ranges.front();
  if (a < 0) {  // the last b bytes
    if (b <= 0 || size == 0) return false;
    first = size - std::min(size, static_cast<size_t>(b));
    last = size - 1;
  } else {
    if (static_cast<size_t>(a) >= size) return false;
    first = static_cast<size_t>(a);
    last = b < 0 ? size - 1 : std::min(size - 1, static_cast<size_t>(b));
    if (last < first) return false;
  }
  partial = true;
  return true;
}
}  // namespace

PackageServer::PackageServer(const std::string& folder, ServerLog& log, int threads)
    : m_folder(folder), m_log(log), m_http(std::make_unique<httplib::Server>()) {
  m_http->new_task_queue = [threads] {
    return new httplib::ThreadPool(static_cast<size_t>(threads));
  };
  m_http->set_read_timeout(10, 0);
  m_http->set_write_timeout(30, 0);
  m_http->set_keep_alive_timeout(5);
  m_http->set_keep_alive_max_count(100);
  m_http->set_payload_max_length(64 * 1024);
  m_http->Get(R"(/.*)", [this](const httplib::Request& req, httplib::Response& res) {
    const int fd = m_folder.Open(req.path);
    if (fd < 0) {
      res.status = errno == EACCES ? 403 : 404;
      res.set_content(res.status == 403 ? "Forbidden\n" : "Not Found\n", "text/plain");
      m_log.Line("packages: " + std::to_string(res.status) + " for \"" + Printable(req.path) +
                 "\" from " + req.remote_addr);
      return;
    }
    auto file = std::make_shared<OpenFile>(fd);
    struct stat st {};
    if (fstat(fd, &st) != 0) {
      res.status = 500;
      return;
    }
    const auto size = static_cast<size_t>(st.st_size);
    bool partial = false;
    size_t first = 0, last = size == 0 ? 0 : size - 1;
    if (!ResolveRange(req, size, partial, first, last)) {
      // This library version answers unsatisfiable ranges itself with wrong lengths, so the
      // range is taken out of its hands here.
      const_cast<httplib::Request&>(req).ranges.clear();
      res.status = 416;
      res.set_header("Content-Range", "bytes */" + std::to_string(size));
      return;
    }
    const_cast<httplib::Request&>(req).ranges.clear();
    res.set_header("Accept-Ranges", "bytes");
    if (partial) {
      res.status = 206;
      res.set_header("Content-Range", "bytes " + std::to_string(first) + "-" +
                                          std::to_string(last) + "/" + std::to_string(size));
    } else {
      res.status = 200;
    }
    const size_t length = size == 0 ? 0 : last - first + 1;
    if (length == 0) {
      res.set_content("", ContentType(req.path));
      return;
    }
    res.set_content_provider(
        length, ContentType(req.path),
        [file, first, length](size_t offset, size_t want, httplib::DataSink& sink) {
          if (offset >= length) return false;
          char chunk[64 * 1024];
          const size_t n = std::min({want, length - offset, sizeof chunk});
          const ssize_t got = pread(file->Fd, chunk, n, static_cast<off_t>(first + offset));
          if (got <= 0) return false;  // the file shrank or failed: the transfer ends short
          return sink.write(chunk, static_cast<size_t>(got));
        });
  });
}

PackageServer::~PackageServer() {
  Stop();
}

void PackageServer::Bind(const std::string& address, uint16_t port) {
  const std::string where = UrlHost(address) + ":" + std::to_string(port);
  errno = 0;
  if (port == 0) {
    const int bound = m_http->bind_to_any_port(address);
    if (bound > 0) {
      m_port = static_cast<uint16_t>(bound);
      return;
    }
  } else if (m_http->bind_to_port(address, port)) {
    m_port = port;
    return;
  }
  const int err = errno;
  throw ServerError("cannot listen for package downloads on " + where + ": " +
                    (err ? strerror(err) : "the address cannot be used"));
}

void PackageServer::Start() {
  m_thread = std::thread([this] { m_http->listen_after_bind(); });
  // stop() only reaches a server that is already running, so Start returns once it runs.
  for (int i = 0; i < 5000 && !m_http->is_running(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void PackageServer::Stop() {
  if (m_thread.joinable()) {
    m_http->stop();
    m_thread.join();
  }
}

}  // namespace cv2
