#include "client_assembly.h"

namespace cv2 {

ClientAssembly::ClientAssembly(RegistryBackend& settingsStore, UserInterface& ui,
                               const ClientServices& overrides)
    : m_registry(settingsStore),
      m_state(m_registry, ui, m_clock),
      m_controller(m_state, m_loader),
      m_standIns(m_state) {
  ClientServices services = overrides;
  const bool ownSession = services.Session == nullptr;
  m_standIns.FillGaps(services);
  m_session =
      std::make_unique<ServerSession>(m_state, m_socket, m_controller, *services.Processing);
  if (ownSession) services.Session = m_session.get();
  m_controller.AttachServices(services);
}

ClientAssembly::~ClientAssembly() = default;

}  // namespace cv2
