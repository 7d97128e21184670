#include "paths.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace cv2 {

std::string ProgramFolder() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::current_path().string();
  return exe.parent_path().string();
}

std::string DataRoot() {
  const char* home = std::getenv("CV2_HOME");
  if (home && *home) {
    std::string root = home;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    return root;
  }
  return ProgramFolder();
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  std::string out = folder;
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  size_t start = 0;
  while (start < name.size() && name[start] == '/') ++start;
  if (out != "/") out += '/';
  out += name.substr(start);
  return out;
}

bool ReadWholeFile(const std::string& path, std::string& content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) return false;
  content = buffer.str();
  return true;
}

}  // namespace cv2
