#include "server_log.h"

#include <cstdio>
#include <ctime>

namespace cv2 {

void ServerLog::Line(const std::string& text) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_sink) {
    m_sink(text);
    return;
  }
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
  std::fprintf(stderr, "%s %s\n", stamp, text.c_str());
  std::fflush(stderr);
}

std::string Printable(std::string_view bytes, size_t maxBytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : bytes.substr(0, maxBytes)) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 32 && u < 127 && c != '\\') {
      out += c;
    } else {
      out += "\\x";
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  if (bytes.size() > maxBytes) out += "...";
  return out;
}

}  // namespace cv2
