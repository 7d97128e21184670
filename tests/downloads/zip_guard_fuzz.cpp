// Fuzz target of the zip guard. An input that starts with "PK" is opened as an archive and checked
// as a whole; any other input is one entry: the "made by" system (1 byte), the external attributes
// (4 bytes, little-endian) and the name. Whatever the guard accepts must stay inside its folder.
#include <zip.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "zip_guard.h"

namespace {

void CheckAccepted(std::string_view name) {
  const cv2::ZipEntryPath path = cv2::SplitZipEntryName(name);
  std::vector<std::string> parts = path.Folders;
  if (!path.File.empty()) parts.push_back(path.File);
  if (parts.empty()) __builtin_trap();
  for (const std::string& part : parts)
    if (part.empty() || part == "." || part == ".." || part.find('/') != std::string::npos ||
        part.find('\\') != std::string::npos)
      __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= 2 && data[0] == 'P' && data[1] == 'K') {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(data, size, 0, &error);
    if (!source) return 0;
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!archive) {
      zip_source_free(source);
      zip_error_fini(&error);
      return 0;
    }
    if (!cv2::RefusalOfArchive(archive, cv2::ZipLimits{})) {
      const zip_int64_t count = zip_get_num_entries(archive, 0);
      for (zip_int64_t i = 0; i < count; ++i)
        if (const char* name = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0))
          CheckAccepted(name);
    }
    zip_discard(archive);
    zip_error_fini(&error);
    return 0;
  }
  if (size < 5) return 0;
  const uint8_t madeBy = data[0];
  const uint32_t attributes = static_cast<uint32_t>(data[1]) | static_cast<uint32_t>(data[2]) << 8 |
                              static_cast<uint32_t>(data[3]) << 16 |
                              static_cast<uint32_t>(data[4]) << 24;
  const std::string_view name(reinterpret_cast<const char*>(data) + 5, size - 5);
  if (!cv2::RefusalOfZipEntry(name, madeBy, attributes)) CheckAccepted(name);
  (void)cv2::FileModeOfZipEntry(madeBy, attributes);
  return 0;
}
