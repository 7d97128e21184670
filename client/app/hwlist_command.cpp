// cv2ctl hwlist: prints the hardware list of this machine (or of the tree named by HWSENSE_ROOT)
// as libHwSense.so gives it, loaded by name exactly as the client loads it.
#include <exception>
#include <ostream>

#include "cv2ctl_commands.h"
#include "library_loader.h"

namespace cv2 {

namespace {
constexpr const char* kUsage =
    "usage: cv2ctl hwlist [--hardware-ids|--compatible-ids]\n"
    "  prints the hardware list text of libHwSense.so (_GetHwList), or every hardware ID\n"
    "  (_HwList) or compatible ID (_HwCompatibleList) of every present device\n";

using ListCall = const char* (*)();
}  // namespace

int HwListCommand(const Args& args, std::ostream& out, std::ostream& err) {
  std::string entry = "_GetHwList";
  if (args.size() == 1 && args[0] == "--hardware-ids")
    entry = "_HwList";
  else if (args.size() == 1 && args[0] == "--compatible-ids")
    entry = "_HwCompatibleList";
  else if (!args.empty()) {
    err << kUsage;
    return 1;
  }
  DlLibraryLoader loader;
  auto library = loader.Load("libHwSense.so");
  if (!library) {
    err << "cv2ctl: cannot load libHwSense.so: " << loader.Error() << "\n";
    return 2;
  }
  auto call = reinterpret_cast<ListCall>(library->Symbol(entry));
  if (!call) {
    err << "cv2ctl: libHwSense.so has no " << entry << "\n";
    return 2;
  }
  // The text and a failure's exception belong to the library: use them before it is unloaded.
  try {
    const char* text = call();
    if (!text) {
      err << "cv2ctl: the device enumeration could not start\n";
      return 2;
    }
    out << text;
    out.flush();
  } catch (const std::exception& e) {
    err << "cv2ctl: " << entry << " failed: " << e.what() << "\n";
    return 2;
  }
  return 0;
}

}  // namespace cv2
