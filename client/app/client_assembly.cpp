#include "client_assembly.h"

namespace cv2 {

ClientAssembly::ClientAssembly(RegistryBackend& settingsStore, UserInterface& ui)
    : m_registry(settingsStore), m_state(m_registry, ui, m_clock), m_controller(m_state, m_loader) {
  m_controller.AttachServices({});
}

ClientAssembly::~ClientAssembly() = default;

}  // namespace cv2
