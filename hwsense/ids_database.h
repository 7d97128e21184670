#pragma once
// Names from the pci.ids and usb.ids files of the hwdata package: vendors, their devices, and
// the class section ("C 03  Human Interface Device"). The file is read once and indexed by its
// vendor and class lines; device lines are found under their vendor on demand.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace cv2::hwsense {

class IdsDatabase {
 public:
  // Reads the file; an unreadable file leaves an empty database that knows no names.
  explicit IdsDatabase(const std::string& path);

  std::optional<std::string> VendorName(uint32_t vendor) const;
  std::optional<std::string> DeviceName(uint32_t vendor, uint32_t device) const;
  std::optional<std::string> ClassName(uint32_t classCode) const;
  std::optional<std::string> SubclassName(uint32_t classCode, uint32_t subclass) const;

 private:
  // The name on the line at `offset` after its `skip` leading characters and the blanks after.
  std::string NameAt(size_t offset, size_t skip) const;
  // Looks below the line at `offset` for a line of one TAB and 4 (or 2) hex digits equal to id.
  std::optional<std::string> ChildName(size_t offset, uint32_t id, size_t digits) const;

  std::string m_text;
  std::unordered_map<uint32_t, size_t> m_vendors;  // vendor number -> offset of its line
  std::unordered_map<uint32_t, size_t> m_classes;  // class number -> offset of its "C" line
};

}  // namespace cv2::hwsense
