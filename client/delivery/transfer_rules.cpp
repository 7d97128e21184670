#include "transfer_rules.h"

#include "text_util.h"

namespace cv2 {

int FtpPortOf(const std::string& portText) {
  const auto port = ParseInt32(portText);
  if (!port || *port < 1 || *port > 65535) return kDefaultFtpPort;
  return *port;
}

FtpItem SplitFtpItem(const std::string& item) {
  FtpItem out;
  const size_t slash = item.find('/');
  std::string path;
  if (slash == std::string::npos) {
    path = item;  // no host at all: the connection fails later
  } else {
    out.Host = item.substr(0, slash);
    path = item.substr(slash + 1);
  }
  for (size_t next = path.find('/'); next != std::string::npos; next = path.find('/')) {
    out.Folders.push_back(path.substr(0, next));
    path.erase(0, next + 1);
  }
  out.FileName = path;
  return out;
}

std::string HttpUrlOf(const std::string& item) {
  if (IStartsWith(item, "http://") || IStartsWith(item, "https://")) return item;
  return "http://" + item;
}

}  // namespace cv2
