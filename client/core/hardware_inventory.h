#pragma once
// The hardware list of a run: the hardware library is loaded by file name, asked for its list,
// and the copied text becomes the device tree. The library stays loaded until the run handler
// releases it.
#include <memory>

#include "client_state.h"
#include "library_loader.h"
#include "services.h"

namespace cv2 {

// The file name under which the hardware library is loaded, and its list export.
inline constexpr const char* kHardwareLibrary = "libHwSense.so";
inline constexpr const char* kGetHwListExport = "_GetHwList";

class HardwareInventory : public InventoryService {
 public:
  HardwareInventory(ClientState& state, LibraryLoader& libraries)
      : m_state(state), m_libraries(libraries) {}

  // Loads the library, calls _GetHwList, reads its text into DeviceTree, prunes it, counts the
  // devices and logs "Found: N known devices.". Any failure (no library, no export, an error
  // raised through the call, a level error in the text) logs the four failure lines and returns
  // false; the tree keeps what the failed step left in it.
  bool LoadHardwareList() override;
  void ReleaseHardwareLibrary() override { m_library.reset(); }

  bool LibraryLoaded() const { return m_library != nullptr; }

  // Removes, from the last to the first, every top-level node whose first child has no children
  // (a device without hardware identifiers), and every top-level node without any child.
  static void Prune(Tree& tree);

 private:
  void Load();

  ClientState& m_state;
  LibraryLoader& m_libraries;
  std::unique_ptr<LoadedLibrary> m_library;
};

}  // namespace cv2
