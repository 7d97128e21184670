#pragma once
// Every outside input of the library comes through one context: the sysfs tree, /proc, the
// kernel modules folder and the pci.ids and usb.ids files, all below one root folder. The root
// is "/" unless the environment variable HWSENSE_ROOT names a folder laid out like a root (sys/,
// proc/, lib/modules/, usr/share/misc/ or usr/share/hwdata/): a captured machine then replays
// through the library unchanged.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cv2::hwsense {

// How USB and HID identifiers are spelt: the 2000/XP generation writes "USB\Vid_045e&Pid_0039",
// later ones "USB\VID_045E&PID_0039".
enum class IdStyle { Xp, Vista };

class HwContext {
 public:
  // A context over the given root folder ("" or "/" for the machine itself).
  explicit HwContext(std::string root, IdStyle style = IdStyle::Xp);
  // The context of a call: HWSENSE_ROOT when set and not empty, else "/". Raises cv2::Error when
  // HWSENSE_ROOT does not name a folder.
  static HwContext FromEnvironment();

  const std::string& Root() const { return m_root; }
  IdStyle Style() const { return m_style; }
  // The path of a file given relative to the root ("sys/bus/pci/devices").
  std::string Path(std::string_view relative) const;

  std::string PciIdsPath() const;
  std::string UsbIdsPath() const;
  // The kernel release ("6.1.0-18-amd64") and version ("#1 SMP PREEMPT_DYNAMIC ...") of the
  // machine, empty when unknown.
  const std::string& KernelRelease() const;
  const std::string& KernelVersion() const;
  // lib/modules/<release> below the root.
  std::string ModulesFolder() const;

 private:
  std::string FirstExisting(std::initializer_list<const char*> candidates) const;
  std::string m_root;
  IdStyle m_style;
  mutable std::optional<std::string> m_release;
  mutable std::optional<std::string> m_version;
};

// Small readers for sysfs and proc files. Every one of them tolerates a missing or unreadable
// file, a missing final newline, blank padding and oversized content: the answer is then empty.

// The content of a file, at most `limit` bytes; nothing when it cannot be read or is larger.
std::optional<std::string> ReadFileLimited(const std::string& path, size_t limit);
// The first line of a small attribute file without its line end; nothing when unreadable.
std::optional<std::string> ReadAttribute(const std::string& path);
// A hexadecimal attribute ("0x8086", "8086", " 8086 "); nothing when it is not one.
std::optional<uint32_t> ReadHexAttribute(const std::string& path);
// A decimal attribute (" 2"); nothing when it is not one.
std::optional<uint32_t> ReadDecimalAttribute(const std::string& path);
// The last component of a symbolic link's target ("virtio-pci"); empty when there is no link.
std::string LinkBaseName(const std::string& path);
// The resolved path of a file or link; empty when it does not resolve.
std::string RealPath(const std::string& path);
// The names in a folder, sorted bytewise; empty when it cannot be listed.
std::vector<std::string> ListFolder(const std::string& path);
bool IsFolder(const std::string& path);
std::optional<uint32_t> ParseHexText(std::string_view text);
std::optional<uint32_t> ParseDecimalText(std::string_view text);

}  // namespace cv2::hwsense
