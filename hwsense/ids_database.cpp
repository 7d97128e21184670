#include "ids_database.h"

#include "hw_context.h"

namespace cv2::hwsense {

namespace {
constexpr size_t kIdsFileLimit = 64u << 20;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The hex number of `digits` characters at text[pos], or -1.
long HexAt(std::string_view text, size_t pos, size_t digits) {
  if (pos + digits > text.size()) return -1;
  long value = 0;
  for (size_t i = 0; i < digits; ++i) {
    int d = HexDigit(text[pos + i]);
    if (d < 0) return -1;
    value = value * 16 + d;
  }
  return value;
}
}  // namespace

IdsDatabase::IdsDatabase(const std::string& path) {
  m_text = ReadFileLimited(path, kIdsFileLimit).value_or("");
  std::string_view text = m_text;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const size_t length = end - pos;
    // "vvvv  Vendor name" or "C cc  Class name"; everything else belongs to the line above.
    if (length > 5 && text[pos + 4] == ' ' && HexAt(text, pos, 4) >= 0) {
      m_vendors.try_emplace(static_cast<uint32_t>(HexAt(text, pos, 4)), pos);
    } else if (length > 4 && text[pos] == 'C' && text[pos + 1] == ' ') {
      long code = HexAt(text, pos + 2, 2);
      if (code >= 0 && text[pos + 4] == ' ')
        m_classes.try_emplace(static_cast<uint32_t>(code), pos);
    }
    pos = end + 1;
  }
}

std::string IdsDatabase::NameAt(size_t offset, size_t skip) const {
  std::string_view text = m_text;
  size_t end = text.find('\n', offset);
  if (end == std::string_view::npos) end = text.size();
  size_t start = offset + skip;
  while (start < end && (text[start] == ' ' || text[start] == '\t')) ++start;
  while (end > start && (text[end - 1] == '\r' || text[end - 1] == ' ')) --end;
  return std::string(text.substr(start, end - start));
}

std::optional<std::string> IdsDatabase::ChildName(size_t offset, uint32_t id, size_t digits) const {
  std::string_view text = m_text;
  size_t pos = text.find('\n', offset);
  while (pos != std::string_view::npos && pos + 1 < text.size()) {
    ++pos;
    if (text[pos] == '#' || text[pos] == '\n') {
      pos = text.find('\n', pos);
      continue;
    }
    if (text[pos] != '\t') return std::nullopt;  // the next vendor or class
    if (pos + 1 < text.size() && text[pos + 1] != '\t' &&
        HexAt(text, pos + 1, digits) == static_cast<long>(id) && pos + 1 + digits < text.size() &&
        text[pos + 1 + digits] == ' ')
      return NameAt(pos, 1 + digits);
    pos = text.find('\n', pos);
  }
  return std::nullopt;
}

std::optional<std::string> IdsDatabase::VendorName(uint32_t vendor) const {
  auto it = m_vendors.find(vendor);
  if (it == m_vendors.end()) return std::nullopt;
  return NameAt(it->second, 4);
}

std::optional<std::string> IdsDatabase::DeviceName(uint32_t vendor, uint32_t device) const {
  auto it = m_vendors.find(vendor);
  if (it == m_vendors.end()) return std::nullopt;
  return ChildName(it->second, device, 4);
}

std::optional<std::string> IdsDatabase::ClassName(uint32_t classCode) const {
  auto it = m_classes.find(classCode);
  if (it == m_classes.end()) return std::nullopt;
  return NameAt(it->second, 4);
}

std::optional<std::string> IdsDatabase::SubclassName(uint32_t classCode, uint32_t subclass) const {
  auto it = m_classes.find(classCode);
  if (it == m_classes.end()) return std::nullopt;
  return ChildName(it->second, subclass, 2);
}

}  // namespace cv2::hwsense
