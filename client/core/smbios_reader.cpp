#include "smbios_reader.h"

#include <cstdint>
#include <vector>

namespace cv2 {

namespace {

uint8_t Byte(std::string_view data, size_t offset) {
  return static_cast<uint8_t>(data[offset]);
}

uint64_t Little(std::string_view data, size_t offset, int bytes) {
  uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | Byte(data, offset + i);
  return value;
}

struct EntryPoint {
  unsigned Major = 0;
  unsigned Minor = 0;
  uint64_t TableLength = 0;
  uint64_t TableAddress = 0;
  unsigned Count = 0;  // 0: not given (3.x), the walk ends at the end of the table
};

std::optional<EntryPoint> ReadEntryPoint(std::string_view ep) {
  EntryPoint out;
  if (ep.starts_with("_SM3_")) {
    if (ep.size() < 0x18) return std::nullopt;
    out.Major = Byte(ep, 0x07);
    out.Minor = Byte(ep, 0x08);
    out.TableLength = Little(ep, 0x0C, 4);
    out.TableAddress = Little(ep, 0x10, 8);
    return out;
  }
  if (ep.starts_with("_SM_")) {
    if (ep.size() < 0x1F) return std::nullopt;
    out.Major = Byte(ep, 0x06);
    out.Minor = Byte(ep, 0x07);
    out.TableLength = Little(ep, 0x16, 2);
    out.TableAddress = Little(ep, 0x18, 4);
    out.Count = static_cast<unsigned>(Little(ep, 0x1C, 2));
    return out;
  }
  if (ep.starts_with("_DMI_")) {
    // The legacy entry point keeps the version as two BCD digits.
    if (ep.size() < 0x0F) return std::nullopt;
    out.Major = Byte(ep, 0x0E) >> 4;
    out.Minor = Byte(ep, 0x0E) & 0x0F;
    out.TableLength = Little(ep, 0x06, 2);
    out.TableAddress = Little(ep, 0x08, 4);
    out.Count = static_cast<unsigned>(Little(ep, 0x0C, 2));
    return out;
  }
  return std::nullopt;
}

// One structure: its formatted area and its string set.
struct Structure {
  std::string_view Formatted;  // header included: offsets count from the type byte
  std::vector<std::string_view> Strings;

  // The string that the byte at an offset of the formatted area names; empty for index 0, an
  // index past the string set, or an offset past the formatted area (an older, shorter layout).
  std::string String(size_t offset) const {
    if (offset >= Formatted.size()) return {};
    const uint8_t index = static_cast<uint8_t>(Formatted[offset]);
    if (index == 0 || index > Strings.size()) return {};
    return std::string(Strings[index - 1]);
  }
};

void Apply(const Structure& s, SmbiosIdentity& id, bool seen[3]) {
  const uint8_t type = static_cast<uint8_t>(s.Formatted[0]);
  if (type < 1 || type > 3 || seen[type - 1]) return;  // the first structure of a type counts
  seen[type - 1] = true;
  switch (type) {
    case 1:
      id.SystemManufacturer = s.String(0x04);
      id.SystemModel = s.String(0x05);
      id.SystemVersion = s.String(0x06);
      break;
    case 2:
      id.MainBoardManufacturer = s.String(0x04);
      id.MainBoardModel = s.String(0x05);
      break;
    case 3:
      id.ChassisManufacturer = s.String(0x04);
      id.ChassisVersion = s.String(0x06);
      break;
  }
}

}  // namespace

std::optional<SmbiosIdentity> ParseSmbios(std::string_view entryPoint, std::string_view table) {
  auto ep = ReadEntryPoint(entryPoint);
  if (!ep) return std::nullopt;
  SmbiosIdentity id;
  id.SMBIOSVersion = std::to_string(ep->Major) + "." + std::to_string(ep->Minor);
  if (ep->TableLength < table.size()) table = table.substr(0, ep->TableLength);

  bool seen[3] = {false, false, false};
  size_t pos = 0;
  for (unsigned n = 0; (ep->Count == 0 || n < ep->Count) && pos + 4 <= table.size(); ++n) {
    const size_t length = Byte(table, pos + 1);
    // A length below the header's own is a broken table; so is a formatted area that runs past
    // the end. The walk stops there.
    if (length < 4 || pos + length > table.size()) break;
    // The string set runs to the first double NUL.
    size_t end = pos + length;
    while (end + 1 < table.size() && (table[end] != '\0' || table[end + 1] != '\0')) ++end;
    if (end + 1 >= table.size()) break;  // no terminator: a truncated structure is dropped
    Structure s{table.substr(pos, length), {}};
    std::string_view strings = table.substr(pos + length, end - (pos + length));
    while (!strings.empty()) {
      const size_t nul = strings.find('\0');
      s.Strings.push_back(strings.substr(0, nul));
      strings = nul == std::string_view::npos ? std::string_view() : strings.substr(nul + 1);
    }
    Apply(s, id, seen);
    if (Byte(table, pos) == 127) break;  // end of table
    pos = end + 2;
  }
  return id;
}

std::optional<SmbiosIdentity> ParseSmbiosDump(std::string_view dump) {
  auto ep = ReadEntryPoint(dump);
  if (!ep || ep->TableAddress > dump.size()) return std::nullopt;
  return ParseSmbios(dump, dump.substr(static_cast<size_t>(ep->TableAddress)));
}

}  // namespace cv2
