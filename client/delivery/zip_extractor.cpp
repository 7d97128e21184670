#include "zip_extractor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "paths.h"

namespace cv2 {

namespace {

struct ArchiveCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct EntryCloser {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};

std::string Errno(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

// Makes each folder below the base in turn; a link or a file in the way is an error, so that
// nothing is ever written through a link.
std::string MakeFolders(const std::string& base, const std::vector<std::string>& folders) {
  std::string path = base;
  for (const std::string& folder : folders) {
    path = JoinPath(path, folder);
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0) {
      if (!S_ISDIR(info.st_mode)) throw Error(path + " is in the way of a folder of the archive");
      continue;
    }
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
      throw Error(Errno("Cannot create " + path));
  }
  return path;
}

void WriteEntry(zip_t* archive, zip_uint64_t index, const std::string& target, unsigned mode,
                uint64_t declaredSize, uint64_t& budget) {
  struct stat info {};
  if (lstat(target.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) throw Error(target + " is a folder, the archive holds a file there");
    if (unlink(target.c_str()) != 0) throw Error(Errno("Cannot replace " + target));
  }
  std::unique_ptr<zip_file_t, EntryCloser> entry(zip_fopen_index(archive, index, 0));
  if (!entry) throw Error(std::string("Cannot read an entry: ") + zip_strerror(archive));
  const int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) throw Error(Errno("Cannot create " + target));
  std::vector<char> buffer(256 * 1024);
  uint64_t written = 0;
  std::string failure;
  for (;;) {
    const zip_int64_t n = zip_fread(entry.get(), buffer.data(), buffer.size());
    if (n < 0) {
      failure = std::string("Cannot read an entry: ") + zip_file_strerror(entry.get());
      break;
    }
    if (n == 0) break;
    written += static_cast<uint64_t>(n);
    // The data must not outgrow what the archive announced, nor the budget of the whole archive.
    if (written > declaredSize || static_cast<uint64_t>(n) > budget) {
      failure = "An entry unpacks to more than the archive announced";
      break;
    }
    budget -= static_cast<uint64_t>(n);
    const char* data = buffer.data();
    size_t left = static_cast<size_t>(n);
    while (left > 0) {
      const ssize_t w = write(fd, data, left);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) break;
      data += w;
      left -= static_cast<size_t>(w);
    }
    if (left > 0) {
      failure = Errno("Cannot write " + target);
      break;
    }
  }
  if (failure.empty() && fchmod(fd, mode) != 0) failure = Errno("Cannot set the mode of " + target);
  if (close(fd) != 0 && failure.empty()) failure = Errno("Cannot write " + target);
  if (!failure.empty()) {
    unlink(target.c_str());
    throw Error(failure);
  }
}

}  // namespace

void ZipExtractor::Extract(const std::string& zipPath, const std::string& folder) const {
  int code = 0;
  std::unique_ptr<zip_t, ArchiveCloser> archive(
      zip_open(zipPath.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code));
  if (!archive) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    throw Error("Cannot open the archive: " + text);
  }
  if (auto refusal = RefusalOfArchive(archive.get(), m_limits))
    throw Error("Refused the archive: " + *refusal);

  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) throw Error("Cannot create " + folder + ": " + ec.message());
  uint64_t budget = m_limits.MaxTotalBytes;
  const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const auto index = static_cast<zip_uint64_t>(i);
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive.get(), index, 0, &stat) != 0) throw Error("Cannot read an entry");
    zip_uint8_t madeBy = 0;
    zip_uint32_t attributes = 0;
    zip_file_get_external_attributes(archive.get(), index, 0, &madeBy, &attributes);
    const ZipEntryPath path = SplitZipEntryName(stat.name);
    const std::string parent = MakeFolders(folder, path.Folders);
    if (path.File.empty()) continue;
    const uint64_t declared = (stat.valid & ZIP_STAT_SIZE) ? stat.size : 0;
    WriteEntry(archive.get(), index, JoinPath(parent, path.File),
               FileModeOfZipEntry(madeBy, attributes), declared, budget);
  }
}

}  // namespace cv2
