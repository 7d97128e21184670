#include "client_assembly.h"

#include "paths.h"

namespace cv2 {

AssemblyPorts ClientAssembly::Resolve(AssemblyPorts ports, ClientAssembly& self) {
  if (!ports.Libraries) ports.Libraries = &self.m_dlLoader;
  if (!ports.Identity) ports.Identity = &self.m_machine;
  if (!ports.ClockPort) ports.ClockPort = &self.m_systemClock;
  if (ports.DataRoot.empty()) ports.DataRoot = DataRoot();
  return ports;
}

ClientAssembly::ClientAssembly(RegistryBackend& settingsStore, UserInterface& ui,
                               const ClientServices& overrides, AssemblyPorts ports)
    : m_ports(Resolve(std::move(ports), *this)),
      m_registry(settingsStore),
      m_oemInfo(OemInfoContent(*m_ports.Identity)),
      m_state(m_registry, ui, *m_ports.ClockPort),
      m_controller(m_state, *m_ports.Libraries),
      m_identity(m_state, *m_ports.Identity),
      m_inventory(m_state, *m_ports.Libraries),
      m_report(m_state, m_ports.DataRoot),
      m_transports(m_state),
      m_installer(m_state),
      m_delivery(m_state, m_transports, m_installer, m_controller) {
  // The OEM information that Windows keeps in its registry comes from the ACPI tables here.
  m_registry.Mount(kOemInfoKey, m_oemInfo);
  ClientServices services = overrides;
  if (!services.Identity) services.Identity = &m_identity;
  if (!services.Inventory) services.Inventory = &m_inventory;
  if (!services.Report) services.Report = &m_report;
  if (!services.Transfers) services.Transfers = &m_transports;
  if (!services.Extractor) services.Extractor = &m_installer;
  if (!services.Processing) services.Processing = &m_delivery;
  m_session =
      std::make_unique<ServerSession>(m_state, m_socket, m_controller, *services.Processing);
  if (!services.Session) services.Session = m_session.get();
  m_controller.AttachServices(services);
}

ClientAssembly::~ClientAssembly() = default;

}  // namespace cv2
