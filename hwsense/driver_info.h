#pragma once
// What Linux knows about a bound driver, in the form of a Windows driver class key:
// MatchingDeviceId (the module alias that matched the device, as a Windows ID in lower case),
// DriverDate (M-D-YYYY: the kernel's build date, or the file date of a module built apart from
// the kernel) and DriverVersion (w.x.y.z from the module's version, else the kernel release).
// A value Linux cannot tell stays empty; a date is never made up.
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "hardware_list.h"
#include "hw_context.h"

namespace cv2::hwsense {

struct DriverBinding {
  bool Bound = false;
  std::string Driver;  // the driver's name; empty when the kernel itself handles the device
  std::string Module;  // the module the driver lives in; empty when unknown
};

class DriverInfo {
 public:
  explicit DriverInfo(const HwContext& context);

  // The module of a built-in driver, from modules.builtin; empty when not listed there.
  std::string BuiltinModule(const std::string& driver);
  // Reads the module tables once, keeping only what the given modules need.
  void Prepare(const std::set<std::string>& modules);
  ClassKeyValues For(const DriverBinding& binding,
                     const std::vector<std::string>& modaliases) const;

 private:
  const HwContext& m_context;
  std::optional<std::set<std::string>> m_builtin;
  std::map<std::string, std::vector<std::string>> m_aliases;  // module -> patterns, file order
  std::map<std::string, std::string> m_separateFiles;  // module -> .ko built apart from the kernel
  std::string m_kernelDate;
};

// Helpers, open for tests.
// "M-D-YYYY" of the kernel's build time as `uname -v` prints it; empty when it has none ("@0").
std::string KernelBuildDate(const std::string& kernelVersion);
// The first four numeric runs, zero padded to four parts, each at most 65534; empty without any.
std::string FourPartVersion(const std::string& text);
// A module alias pattern as a Windows ID in lower case ("pci\ven_8086&dev_10d3"); empty when the
// pattern fixes nothing Windows would match on.
std::string AliasAsWindowsId(const std::string& pattern);

}  // namespace cv2::hwsense
