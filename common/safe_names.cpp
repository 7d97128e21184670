#include "safe_names.h"

namespace cv2 {

std::optional<std::string> PathNameFault(std::string_view name) {
  if (name.empty()) return "is empty";
  if (name == "." || name == "..") return "is \".\" or \"..\"";
  if (name.find("..") != std::string_view::npos) return "holds \"..\"";
  if (name.find_first_of("/\\") != std::string_view::npos) return "holds a path separator";
  for (unsigned char c : name)
    if (c < 32 || c == 127) return "holds a control character";
  const bool driveLetter = (name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z');
  if (name.size() >= 2 && driveLetter && name[1] == ':') return "names a drive";
  return std::nullopt;
}

std::string ItemFileName(const std::string& item) {
  const size_t slash = item.rfind('/');
  return slash == std::string::npos ? item : item.substr(slash + 1);
}

}  // namespace cv2
