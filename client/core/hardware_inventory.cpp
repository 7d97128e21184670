#include "hardware_inventory.h"

#include "unavailable_services.h"

namespace cv2 {

namespace {
// The export takes no arguments and returns a zero-terminated text that the library owns.
using GetHwListFunction = const char* (*)();
}  // namespace

void HardwareInventory::Prune(Tree& tree) {
  for (size_t i = tree.Roots.size(); i-- > 0;) {
    const TreeNode& device = tree.Roots[i];
    // A device line without any child line (a second description string) has no identifiers
    // to report either; it goes with the devices whose identifier section is empty.
    if (device.Children.empty() || device.Children.front().Children.empty())
      tree.Roots.erase(tree.Roots.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

void HardwareInventory::Load() {
  m_library.reset();
  m_library = m_libraries.Load(kHardwareLibrary);
  if (!m_library) throw Error("cannot load " + std::string(kHardwareLibrary));
  void* symbol = m_library->Symbol(kGetHwListExport);
  if (!symbol) throw Error("no export " + std::string(kGetHwListExport));
  const auto getHwList = reinterpret_cast<GetHwListFunction>(symbol);
  // The text stays the library's: copy it at once. A null result means that the enumeration
  // could not start; the list is then empty.
  const char* result = getHwList();
  const std::string text = result ? std::string(result) : std::string();

  Tree& tree = m_state.DeviceTree;
  tree.Clear();
  ReadTreeText(text, tree);
  Prune(tree);

  m_state.DeviceCount = static_cast<int32_t>(tree.Roots.size());
  StatusBoard& status = m_state.Status();
  status.SetCaption(Caption::DeviceCountLBL, std::to_string(m_state.DeviceCount));
  status.SetProgress(Bar::DownloadProgress, 0, m_state.DeviceCount);
  m_state.AppendLog("Found: " + std::to_string(m_state.DeviceCount) + " known devices.");
}

bool HardwareInventory::LoadHardwareList() {
  try {
    Load();
    return true;
  } catch (...) {
    // Whatever went wrong (an error of ours, one raised through the library's call, or a
    // foreign exception), the load has failed.
    LogHardwareListFailure(m_state);
    return false;
  }
}

}  // namespace cv2
