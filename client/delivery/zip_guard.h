#pragma once
// What an archive from the network may put on disk. An archive is checked as a whole before the
// first byte is written: every entry's name stays inside the extraction folder, no entry is a link
// or a device, and the unpacked size and the packing ratio stay within bounds.
#include <zip.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cv2 {

struct ZipLimits {
  uint64_t MaxEntries = 100000;
  uint64_t MaxTotalBytes = 4ull << 30;  // all entries unpacked together
  // Unpacked size over packed size, for the archive and for each entry; data smaller than
  // RatioFloor is never refused for its ratio.
  uint64_t MaxRatio = 200;
  uint64_t RatioFloor = 1ull << 20;
};

// Why an entry must not be extracted, or nullopt when it may. `madeBy` is the archive's "made by"
// system and `externalAttributes` its external attributes (the Unix mode in the upper half when
// made on Unix).
std::optional<std::string> RefusalOfZipEntry(std::string_view name, uint8_t madeBy,
                                             uint32_t externalAttributes);

// The folders and the file name of an accepted entry below the extraction folder ("\" counts as
// a separator, empty and "." parts are dropped). A name that ends in a separator is a folder and
// leaves `File` empty.
struct ZipEntryPath {
  std::vector<std::string> Folders;
  std::string File;
};
ZipEntryPath SplitZipEntryName(std::string_view name);

// The permission bits an extracted file gets: 0755 when the archive marks it executable on Unix,
// 0644 otherwise. Never setuid, setgid or sticky.
unsigned FileModeOfZipEntry(uint8_t madeBy, uint32_t externalAttributes);

// Checks every entry and the totals of an open archive; the reason of the first refusal, or
// nullopt when the archive may be extracted.
std::optional<std::string> RefusalOfArchive(zip_t* archive, const ZipLimits& limits);

}  // namespace cv2
