#include "client_assembly.h"

namespace cv2 {

ClientAssembly::ClientAssembly(RegistryBackend& settingsStore, UserInterface& ui)
    : m_registry(settingsStore),
      m_state(m_registry, ui, m_clock),
      m_controller(m_state, m_loader),
      m_transports(m_state),
      m_installer(m_state) {
  ClientServices services;
  services.Transfers = &m_transports;
  services.Extractor = &m_installer;
  m_controller.AttachServices(services);
}

ClientAssembly::~ClientAssembly() = default;

}  // namespace cv2
