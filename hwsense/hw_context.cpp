#include "hw_context.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "error.h"
#include "paths.h"
#include "text_util.h"

namespace cv2::hwsense {

namespace {
// Attribute files of sysfs are one page at most; anything larger is not an attribute.
constexpr size_t kAttributeLimit = 64 * 1024;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\0';
}

std::string_view StripBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}
}  // namespace

HwContext::HwContext(std::string root, IdStyle style) : m_root(std::move(root)), m_style(style) {
  while (m_root.size() > 1 && m_root.back() == '/') m_root.pop_back();
  if (m_root.empty()) m_root = "/";
}

HwContext HwContext::FromEnvironment() {
  const char* root = std::getenv("HWSENSE_ROOT");
  if (!root || !*root) return HwContext("/");
  if (!IsFolder(root)) throw Error(std::string("HWSENSE_ROOT does not name a folder: ") + root);
  return HwContext(root);
}

std::string HwContext::Path(std::string_view relative) const {
  return JoinPath(m_root, std::string(relative));
}

std::string HwContext::FirstExisting(std::initializer_list<const char*> candidates) const {
  for (const char* candidate : candidates) {
    std::string path = Path(candidate);
    if (access(path.c_str(), R_OK) == 0) return path;
  }
  return Path(*candidates.begin());
}

std::string HwContext::PciIdsPath() const {
  return FirstExisting({"usr/share/misc/pci.ids", "usr/share/hwdata/pci.ids"});
}

std::string HwContext::UsbIdsPath() const {
  return FirstExisting(
      {"usr/share/misc/usb.ids", "usr/share/hwdata/usb.ids", "var/lib/usbutils/usb.ids"});
}

const std::string& HwContext::KernelRelease() const {
  if (!m_release) m_release = ReadAttribute(Path("proc/sys/kernel/osrelease")).value_or("");
  return *m_release;
}

const std::string& HwContext::KernelVersion() const {
  if (!m_version) m_version = ReadAttribute(Path("proc/sys/kernel/version")).value_or("");
  return *m_version;
}

std::string HwContext::ModulesFolder() const {
  return Path("lib/modules/" + KernelRelease());
}

std::optional<std::string> ReadFileLimited(const std::string& path, size_t limit) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  // Large files (the ids files, the module tables) are read in one piece of their size; sysfs
  // attributes report a page and are read in page-sized pieces.
  struct stat st;
  size_t piece = 4096;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
    piece = std::min(limit + 1, static_cast<size_t>(st.st_size) + 1);
  std::string content;
  size_t used = 0;
  for (;;) {
    if (content.size() - used < piece) content.resize(used + piece);
    ssize_t n = read(fd, content.data() + used, content.size() - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    used += static_cast<size_t>(n);
    if (used > limit) {
      close(fd);
      return std::nullopt;
    }
  }
  close(fd);
  content.resize(used);
  return content;
}

std::optional<std::string> ReadAttribute(const std::string& path) {
  auto content = ReadFileLimited(path, kAttributeLimit);
  if (!content) return std::nullopt;
  std::string_view text = *content;
  if (auto end = text.find_first_of("\r\n"); end != std::string_view::npos)
    text = text.substr(0, end);
  return std::string(text);
}

std::optional<uint32_t> ParseHexText(std::string_view text) {
  text = StripBlanks(text);
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    text.remove_prefix(2);
  if (text.empty()) return std::nullopt;
  return ParseHex32(text);
}

std::optional<uint32_t> ParseDecimalText(std::string_view text) {
  text = StripBlanks(text);
  if (text.empty() || text.size() > 9) return std::nullopt;
  uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  return value;
}

std::optional<uint32_t> ReadHexAttribute(const std::string& path) {
  auto text = ReadAttribute(path);
  if (!text) return std::nullopt;
  return ParseHexText(*text);
}

std::optional<uint32_t> ReadDecimalAttribute(const std::string& path) {
  auto text = ReadAttribute(path);
  if (!text) return std::nullopt;
  return ParseDecimalText(*text);
}

std::string LinkBaseName(const std::string& path) {
  char target[PATH_MAX];
  ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
  if (n <= 0) return {};
  std::string_view link(target, static_cast<size_t>(n));
  while (!link.empty() && link.back() == '/') link.remove_suffix(1);
  if (auto slash = link.rfind('/'); slash != std::string_view::npos) link.remove_prefix(slash + 1);
  return std::string(link);
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  if (!realpath(path.c_str(), resolved)) return {};
  return resolved;
}

std::vector<std::string> ListFolder(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = opendir(path.c_str());
  if (!dir) return names;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    names.push_back(std::move(name));
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace cv2::hwsense
