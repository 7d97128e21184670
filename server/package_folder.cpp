#include "package_folder.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "error.h"
#include "text_util.h"

namespace cv2 {

namespace {
// openat2 with RESOLVE_BENEATH: the kernel refuses any resolution that leaves the folder,
// through ".." or through a symbolic link.
int OpenBeneath(int root, const std::string& relative) {
  open_how how{};
  how.flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;  // a FIFO must not block the open
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  const long fd = syscall(SYS_openat2, root, relative.c_str(), &how, sizeof how);
  if (fd >= 0 || errno != ENOSYS) return static_cast<int>(fd);
  // Kernels before 5.6: no symbolic link is followed at all.
  std::string path;
  int dir = dup(root);
  if (dir < 0) return -1;
  const auto parts = Split(relative, '/');
  for (size_t i = 0; i < parts.size(); ++i) {
    const bool last = i + 1 == parts.size();
    const int next =
        openat(dir, parts[i].c_str(),
               (last ? O_RDONLY | O_NONBLOCK : O_RDONLY | O_DIRECTORY) | O_NOFOLLOW | O_CLOEXEC);
    const int err = errno;
    close(dir);
    if (next < 0) {
      errno = err;
      return -1;
    }
    dir = next;
  }
  return dir;
}
}  // namespace

PackageFolder::PackageFolder(const std::string& root) {
  m_root = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (m_root < 0) throw Error("cannot open the package folder '" + root + "': " + strerror(errno));
}

PackageFolder::~PackageFolder() {
  if (m_root >= 0) close(m_root);
}

bool PackageFolder::IsAcceptablePath(std::string_view path) {
  if (path.size() < 2 || path.front() != '/' || path.size() > 1024) return false;
  for (const std::string& part : Split(path.substr(1), '/')) {
    if (part.empty() || part == "." || part == "..") return false;
    for (char c : part)
      if (c == '\0' || c == '\\' || static_cast<unsigned char>(c) < 32) return false;
  }
  return true;
}

int PackageFolder::Open(std::string_view requestPath) const {
  if (!IsAcceptablePath(requestPath)) {
    errno = ENOENT;
    return -1;
  }
  const int fd = OpenBeneath(m_root, std::string(requestPath.substr(1)));
  if (fd < 0) {
    errno = errno == EACCES ? EACCES : ENOENT;
    return -1;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    errno = ENOENT;
    return -1;
  }
  return fd;
}

}  // namespace cv2
