#include "zip_guard.h"

#include <sys/stat.h>

namespace cv2 {

namespace {

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

std::vector<std::string_view> PartsOf(std::string_view name) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i == name.size() || IsSeparator(name[i])) {
      parts.push_back(name.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

bool TooPacked(uint64_t size, uint64_t packed, const ZipLimits& limits) {
  if (size < limits.RatioFloor) return false;
  return packed == 0 || size / packed > limits.MaxRatio;
}

}  // namespace

std::optional<std::string> RefusalOfZipEntry(std::string_view name, uint8_t madeBy,
                                             uint32_t externalAttributes) {
  if (name.empty()) return "an entry has no name";
  if (name.find('\0') != std::string_view::npos) return "an entry name holds a NUL byte";
  if (IsSeparator(name.front())) return "an entry has an absolute path";
  if (name.size() >= 2 && name[1] == ':' &&
      ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')))
    return "an entry names a drive";
  bool anyPart = false;
  for (std::string_view part : PartsOf(name)) {
    if (part == "..") return "an entry climbs out of its folder with \"..\"";
    if (!part.empty() && part != ".") anyPart = true;
  }
  if (!anyPart) return "an entry name has no file or folder in it";
  if (madeBy == ZIP_OPSYS_UNIX) {
    const unsigned mode = externalAttributes >> 16;
    const unsigned type = mode & S_IFMT;
    if (type == S_IFLNK) return "an entry is a link";
    if (type != 0 && type != S_IFREG && type != S_IFDIR) return "an entry is a special file";
  }
  return std::nullopt;
}

ZipEntryPath SplitZipEntryName(std::string_view name) {
  ZipEntryPath out;
  const bool folder = !name.empty() && IsSeparator(name.back());
  for (std::string_view part : PartsOf(name))
    if (!part.empty() && part != ".") out.Folders.emplace_back(part);
  if (!folder && !out.Folders.empty()) {
    out.File = std::move(out.Folders.back());
    out.Folders.pop_back();
  }
  return out;
}

unsigned FileModeOfZipEntry(uint8_t madeBy, uint32_t externalAttributes) {
  if (madeBy == ZIP_OPSYS_UNIX && ((externalAttributes >> 16) & 0111) != 0) return 0755;
  return 0644;
}

std::optional<std::string> RefusalOfArchive(zip_t* archive, const ZipLimits& limits) {
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  if (count < 0) return "the archive cannot be read";
  if (static_cast<uint64_t>(count) > limits.MaxEntries) return "the archive has too many entries";
  uint64_t total = 0;
  uint64_t packedTotal = 0;
  for (zip_int64_t i = 0; i < count; ++i) {
    const auto index = static_cast<zip_uint64_t>(i);
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_NAME))
      return "an entry cannot be read";
    zip_uint8_t madeBy = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, index, 0, &madeBy, &attributes) != 0)
      return "an entry cannot be read";
    if (auto refusal = RefusalOfZipEntry(stat.name, madeBy, attributes))
      return *refusal + " (\"" + stat.name + "\")";
    const uint64_t size = (stat.valid & ZIP_STAT_SIZE) ? stat.size : 0;
    const uint64_t packed = (stat.valid & ZIP_STAT_COMP_SIZE) ? stat.comp_size : 0;
    if (TooPacked(size, packed, limits))
      return std::string("an entry is packed too tightly to be genuine (\"") + stat.name + "\")";
    if (size > limits.MaxTotalBytes || total + size > limits.MaxTotalBytes)
      return "the archive unpacks to more than " + std::to_string(limits.MaxTotalBytes) + " bytes";
    total += size;
    packedTotal += packed;
  }
  if (TooPacked(total, packedTotal, limits))
    return "the archive is packed too tightly to be genuine";
  return std::nullopt;
}

}  // namespace cv2
