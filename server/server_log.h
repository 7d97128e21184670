#pragma once
// The server's log: one line per event, safe to write from every thread. By default lines go
// to standard error with a UTC time stamp; tests collect them.
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace cv2 {

class ServerLog {
 public:
  using Sink = std::function<void(const std::string& line)>;
  // Without a sink, lines go to standard error.
  explicit ServerLog(Sink sink = {}) : m_sink(std::move(sink)) {}

  void Line(const std::string& text);

 private:
  std::mutex m_mutex;
  Sink m_sink;
};

// A client's bytes as a log may show them: printable ASCII kept, anything else as \xNN,
// cut after maxBytes.
std::string Printable(std::string_view bytes, size_t maxBytes = 80);

}  // namespace cv2
